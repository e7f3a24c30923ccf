#!/usr/bin/env bash
# tessary --pdf and tessary --png on the sample card with a logo, against an
# empty Qt program's start and exit, all started the same way in the same
# run: medians of interleaved runs, and their ratios.
#
#   bash bench/bench_pdf.sh [BUILD_DIR] [RUNS]
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(cd "${1:-${TESSARY_BUILD_DIR:-$repo/build}}" && pwd)
runs=${2:-21}
cmake --build "$build" --target tessary emptyapp >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/config/Darnovi"
cp "$repo/assets/icons/tessary-128.png" "$work/logo.png"
cat >"$work/config/Darnovi/Tessary.conf" <<CONF
[General]
Fit=Fit Image to Box
Logo=$work/logo.png
a=Darnovi
b=Cards that open doors
c=1200 Harbor Street
d="Springfield, IL 62704"
e=" "
f=" "
g=" "
h=support@darnovi.example
i=217-555-0142
j=https://www.darnovi.example
CONF

export XDG_CONFIG_HOME=$work/config QT_QPA_PLATFORM=offscreen

# Microseconds one run of the command takes, start to exit.
time_once() {
    local start=${EPOCHREALTIME/./}
    "$@" >/dev/null 2>&1 || { echo "bench_pdf.sh: $* failed" >&2; exit 1; }
    echo $((${EPOCHREALTIME/./} - start))
}

median() {
    sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'
}

# One of each first, so neither pays for a cold disk cache.
time_once "$build/bench/emptyapp" >/dev/null
time_once "$build/tessary" --pdf "$work/sheet.pdf" >/dev/null
time_once "$build/tessary" --png "$work/card.png" >/dev/null
: >"$work/floor"
: >"$work/export"
: >"$work/picture"
for ((i = 0; i < runs; i++)); do
    time_once "$build/bench/emptyapp" >>"$work/floor"
    time_once "$build/tessary" --pdf "$work/sheet.pdf" >>"$work/export"
    time_once "$build/tessary" --png "$work/card.png" >>"$work/picture"
done
floor=$(median <"$work/floor")
export=$(median <"$work/export")
picture=$(median <"$work/picture")
awk -v e="$export" -v p="$picture" -v f="$floor" -v n="$runs" 'BEGIN {
    printf "%-40s %10.1f ms   floor (%s) %10.1f ms   ratio %.2f   (medians of %d)\n",
        "tessary --pdf, sample card with logo", e / 1000, "empty Qt program", f / 1000, e / f, n
    printf "%-40s %10.1f ms   against tessary --pdf %10.1f ms   ratio %.2f   (medians of %d)\n",
        "tessary --png, the same card", p / 1000, e / 1000, p / e, n
}'
