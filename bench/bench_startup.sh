#!/usr/bin/env bash
# Start-up benchmark on a private X server (see startup.py).
#
# A desktop session always has a session bus, and both programs talk to it
# as they start, for assistive technology. On a bare X server without one,
# Qt first starts a bus through dbus-launch, a cost of the bare server rather
# than of either program, and one that lands before one window is shown and
# after the other. Both therefore start on a private bus of their own, as in
# the end-to-end tests.
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${TESSARY_BUILD_DIR:-$repo/build}
if command -v dbus-run-session >/dev/null; then
    exec dbus-run-session -- /usr/bin/python3 "$repo/bench/startup.py" "$build"
fi
echo "bench_startup.sh: no dbus-run-session (Debian's dbus package); starting without a session bus" >&2
exec /usr/bin/python3 "$repo/bench/startup.py" "$build"
