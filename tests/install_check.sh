#!/usr/bin/env bash
# Checks the installed tree and the Debian package made from a build tree:
# every file where it belongs, the link on the PATH, the program run through
# that link finding its own folder, the desktop entry and the metainfo valid,
# and the package holding the same files under /usr with its dependencies.
#
#   bash tests/install_check.sh [BUILD_DIR]
set -uo pipefail

build=$(cd "${1:-${TESSARY_BUILD_DIR:?give the build folder}}" && pwd)
source_dir=${TESSARY_SOURCE_DIR:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
work=$(realpath "$work")
prefix=$work/prefix

failures=0
pass() { echo "PASS: $*"; }
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
check() {
    local what=$1
    shift
    if "$@"; then pass "$what"; else fail "$what"; fi
}

# What the tree must hold, links included, and nothing else.
expected_files() {
    printf '%s\n' bin/tessary lib/tessary/tessary lib/tessary/x/o.cjs lib/tessary/HAND-M.CUR \
        share/applications/tessary.desktop share/metainfo/tessary.metainfo.xml \
        share/icons/hicolor/{32x32,48x48,128x128,256x256}/apps/tessary.png | sort
}

png_size() {
    # Width and height from the IHDR chunk, big-endian at bytes 16 to 23.
    od -An -tu1 -j16 -N8 "$1" | awk '{ printf "%dx%d", $3 * 256 + $4, $7 * 256 + $8 }'
}

# A settings folder holding the sample card, written as the program's
# settings file is.
sample_config() {
    local config=$1/Darnovi
    mkdir -p "$config"
    cat >"$config/Tessary.conf" <<'EOF'
[General]
Fit=Fit Image to Box
Logo=
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
EOF
}

echo "== installing $build into $prefix"
if ! cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1; then
    cat "$work/install.log" >&2
    fail "cmake --install"
    exit 1
fi

# --- the tree --------------------------------------------------------------
(cd "$prefix" && find . \( -type f -o -type l \) | sed 's|^\./||' | sort) >"$work/installed"
expected_files >"$work/expected"
check "the tree holds exactly the expected files" diff -u "$work/expected" "$work/installed"
check "bin/tessary is a link" test -L "$prefix/bin/tessary"
check "the link is relative: ../lib/tessary/tessary" \
    test "$(readlink "$prefix/bin/tessary")" = ../lib/tessary/tessary
check "the program is executable" test -x "$prefix/lib/tessary/tessary" -a ! -L "$prefix/lib/tessary/tessary"
check "the skin is the shipped one" cmp -s "$source_dir/assets/skin/o.cjs" "$prefix/lib/tessary/x/o.cjs"
check "the hand pointer is the shipped one" cmp -s "$source_dir/assets/HAND-M.CUR" "$prefix/lib/tessary/HAND-M.CUR"
for size in 32 48 128 256; do
    icon=$prefix/share/icons/hicolor/${size}x${size}/apps/tessary.png
    check "icon ${size}x${size} is tessary-$size.png" cmp -s "$source_dir/assets/icons/tessary-$size.png" "$icon"
    check "icon ${size}x${size} has that size" test "$(png_size "$icon")" = "${size}x${size}"
done
check "the program has no run path" \
    bash -c "! readelf -d '$prefix/lib/tessary/tessary' | grep -Eq 'RPATH|RUNPATH'"

# --- desktop entry and metainfo --------------------------------------------
desktop=$prefix/share/applications/tessary.desktop
metainfo=$prefix/share/metainfo/tessary.metainfo.xml
check "desktop-file-validate accepts the entry" desktop-file-validate "$desktop"
for line in Type=Application Name=Tessary Exec=tessary Icon=tessary "Categories=Office;Graphics;"; do
    check "the entry says $line" grep -qxF "$line" "$desktop"
done
check "the entry has a comment" grep -Eq '^Comment=.{10,}' "$desktop"
check "appstreamcli validate --no-net accepts the metainfo" appstreamcli validate --no-net "$metainfo"
check "the metainfo launches tessary.desktop" \
    grep -qF '<launchable type="desktop-id">tessary.desktop</launchable>' "$metainfo"

# --- the program through the link -----------------------------------------
check "tessary --version through the link" \
    test "$("$prefix/bin/tessary" --version)" = "tessary $version"
check "tessary --version found on the PATH, as the desktop entry starts it" \
    test "$(env PATH="$prefix/bin:$PATH" tessary --version)" = "tessary $version"

config=$work/config
sample_config "$config"
mkdir -p "$work/elsewhere"
ln -s "$prefix/bin/tessary" "$work/elsewhere/cards"
for runner in "$prefix/bin/tessary" "$work/elsewhere/cards"; do
    pdf=$work/sheet-$(basename "$runner").pdf
    if env -u QT_QPA_PLATFORM -u DISPLAY -u WAYLAND_DISPLAY XDG_CONFIG_HOME="$config" \
        "$runner" --pdf "$pdf" 2>"$work/pdf.err"; then
        check "--pdf through $runner writes one page" \
            test "$(pdfinfo "$pdf" | sed -n 's/^Pages: *//p')" = 1
        check "--pdf through $runner: six company names" \
            test "$(pdftotext "$pdf" - | grep -o Darnovi | wc -l)" = 6
    else
        cat "$work/pdf.err" >&2
        fail "--pdf through $runner"
    fi
done

# The window, started through the link, reads its skin from the program's
# own folder. Watched with strace where the system lets it trace.
if ! command -v strace >/dev/null; then
    fail "strace is missing (tools/setup.sh --test installs it)"
elif ! strace -qq -e trace=none true 2>/dev/null; then
    echo "SKIP: strace cannot trace here; the skin lookup is not checked"
else
    mkdir -p "$work/stub" "$work/config-window"
    # The start-up opens a web page now and then; here it opens nothing.
    printf '#!/bin/sh\nexit 0\n' >"$work/stub/xdg-open"
    chmod +x "$work/stub/xdg-open"
    env PATH="$work/stub:$PATH" QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME="$work/config-window" \
        strace -f -qq -e trace=openat -o "$work/trace" "$prefix/bin/tessary" </dev/null >/dev/null 2>&1 &
    tracer=$!
    skin_read=false
    # Up to a program start's ceiling (60 s, times TESSARY_WAIT_SCALE).
    deadline=$(awk -v now="$(date +%s)" -v s="${TESSARY_WAIT_SCALE:-1}" \
        'BEGIN { if (s + 0 <= 0) s = 1; printf "%d", now + 60 * s + 1 }')
    while (($(date +%s) < deadline)); do
        if grep -qE "\"$prefix/lib/tessary/x/o\.cjs\", [^)]*\) = [0-9]+" "$work/trace" 2>/dev/null; then
            skin_read=true
            break
        fi
        kill -0 "$tracer" 2>/dev/null || break
        sleep 0.05
    done
    program=$(head -n1 "$work/trace" 2>/dev/null | cut -d' ' -f1)
    [[ $program =~ ^[0-9]+$ ]] && kill "$program" 2>/dev/null
    wait "$tracer" 2>/dev/null
    check "the window started through the link reads lib/tessary/x/o.cjs" $skin_read
fi

# The export reads the hand pointer from the program's folder too: in a copy
# of the tree with a damaged one, it names that file and writes nothing.
cp -a "$prefix" "$work/damaged"
echo "not a cursor" >"$work/damaged/lib/tessary/HAND-M.CUR"
if env XDG_CONFIG_HOME="$config" "$work/damaged/bin/tessary" --pdf "$work/damaged.pdf" 2>"$work/damaged.err"; then
    fail "a damaged hand pointer beside the program ends the export"
else
    check "the failure names the program folder's HAND-M.CUR" \
        grep -qF "$work/damaged/lib/tessary/HAND-M.CUR" "$work/damaged.err"
    check "the failed export left no file" test ! -e "$work/damaged.pdf"
fi

# --- the Debian package ----------------------------------------------------
echo "== packing with cpack -G DEB"
if ! cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/package" >"$work/cpack.log" 2>&1; then
    cat "$work/cpack.log" >&2
    fail "cpack -G DEB"
else
    deb=$(ls "$work"/package/*.deb)
    dpkg-deb -c "$deb" >"$work/listing"
    awk '$1 !~ /^d/ { print $6 }' "$work/listing" | sed 's|^\./usr/||' | sort >"$work/packaged"
    check "the package holds the same files under /usr" diff -u "$work/expected" "$work/packaged"
    check "the package's link is relative" grep -qF './usr/bin/tessary -> ../lib/tessary/tessary' "$work/listing"
    depends=$(dpkg-deb -f "$deb" Depends)
    echo "Depends: $depends"
    for package in fonts-liberation fonts-liberation2 fonts-wine libqt6widgets6 libqt6printsupport6 libc6; do
        check "the package depends on $package" grep -qE "(^|, )$package( |,|$)" <<<"$depends"
    done
    recommends=$(dpkg-deb -f "$deb" Recommends)
    for package in qt6-gtk-platformtheme qt6-xdgdesktopportal-platformtheme; do
        check "the package recommends $package" grep -qE "(^|, )$package( |,|$)" <<<"$recommends"
    done
    for field in Maintainer Description Section; do
        check "the package has a $field" test -n "$(dpkg-deb -f "$deb" "$field")"
    done
    check "the package is version $version" test "$(dpkg-deb -f "$deb" Version)" = "$version"
    dpkg-deb -x "$deb" "$work/unpacked"
    check "the packaged program answers --version" \
        test "$("$work/unpacked/usr/bin/tessary" --version)" = "tessary $version"
fi

if ((failures > 0)); then
    echo "$failures check(s) failed" >&2
    exit 1
fi
echo "every install check passed"
