#!/usr/bin/env bash
# Start-up benchmark on a private X server (see startup.py).
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
/usr/bin/python3 "$repo/bench/startup.py" "${TESSARY_BUILD_DIR:-$repo/build}"
