#!/usr/bin/env bash
# Runs the end-to-end tests: the real program under a private X server, a
# private D-Bus session and accessibility bus, driven by real key and mouse
# events.
#
#   bash tests/e2e/run.sh            every test
#   bash tests/e2e/run.sh NAME...    only tests whose id contains a NAME
#
# Uses $TESSARY_BUILD_DIR/tessary (default: build/ in the source tree). The
# printing test prints to the default CUPS printer and reads the page from
# $TESSARY_PRINT_OUTDIR (default /root/PDF); with TESSARY_REQUIRE_PRINTER=1 a
# missing printer fails it instead of skipping it.
#
# Tests wait for what they expect under generous ceilings (60 s for a program
# start, 30 s for a window, a box or a printed page). TESSARY_WAIT_SCALE=N
# multiplies every one of them, and the bound on the whole run, by N.
set -uo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(cd "$here/../.." && pwd)
export TESSARY_SOURCE_DIR=${TESSARY_SOURCE_DIR:-$repo}
export TESSARY_BUILD_DIR=${TESSARY_BUILD_DIR:-$repo/build}
# Relative build folders are meant from the source tree.
[[ $TESSARY_BUILD_DIR == /* ]] || TESSARY_BUILD_DIR="$TESSARY_SOURCE_DIR/$TESSARY_BUILD_DIR"

# Debian's own interpreter: the accessibility bindings are installed for it.
python=/usr/bin/python3
export PYTHONDONTWRITEBYTECODE=1

missing=()
for tool in Xvfb xdotool xset xprop import convert dbus-run-session pdfinfo lpstat \
    /usr/libexec/at-spi-bus-launcher "$python"; do
    command -v "$tool" >/dev/null || missing+=("$tool")
done
if ! "$python" -c 'import pyatspi, Xlib' 2>/dev/null; then
    missing+=("python3-pyatspi/python3-xlib")
fi
if ((${#missing[@]} > 0)); then
    echo "run.sh: missing ${missing[*]}; run tools/setup.sh --test" >&2
    echo "0 passed, 1 failed"
    exit 1
fi

scale=${TESSARY_WAIT_SCALE:-1}
if ! bound=$(awk -v s="$scale" 'BEGIN {
        if (s !~ /^[0-9]*\.?[0-9]+([eE][-+]?[0-9]+)?$/ || s + 0 <= 0) exit 1
        printf "%d", 900 * s + 0.5 }'); then
    echo "run.sh: TESSARY_WAIT_SCALE must be a positive number, not '$scale'" >&2
    echo "0 passed, 1 failed"
    exit 1
fi

# The whole run is bounded; the suite cleans up after itself on SIGTERM.
timeout --kill-after=20 "$bound" dbus-run-session -- "$python" "$here/suite.py" "$@"
status=$?
if ((status == 124)); then
    echo "run.sh: the end-to-end tests took longer than $bound s" >&2
fi
exit "$status"
