#!/usr/bin/env bash
# Builds the project and runs every benchmark, each printing its figure, the
# floor it measured in the same run, and their ratio.
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bash "$repo/tools/setup.sh" --build-only
bash "$repo/tools/cups.sh" >/dev/null || echo "bench.sh: no CUPS printer; the print benchmark will skip" >&2
for bench in "$repo"/build/bench/bench_*; do
    [[ -f $bench && -x $bench ]] || continue
    echo "== $(basename "$bench")"
    (cd "$repo/build" && "$bench")
done
for script in "$repo"/bench/*.sh; do
    [[ -f $script ]] || continue
    echo "== $(basename "$script")"
    bash "$script"
done
