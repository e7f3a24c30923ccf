#!/usr/bin/env bash
# Sets Tessary up on Debian 12 from a fresh clone.
#
#   bash tools/setup.sh               install what is missing, build, start the program
#   bash tools/setup.sh --build-only  install what is missing and build
#   bash tools/setup.sh --test        install what is missing (test tools too),
#                                     build, and run every test suite
#
# Works as root (CI) or as a user with sudo, without a terminal.
set -euo pipefail

# Debian 12 package names, one group per purpose. Add to the group a new need
# belongs to; everything listed is installed only when dpkg says it is missing.
# dpkg-dev: `cpack -G DEB` reads the program's library dependencies with
# dpkg-shlibdeps. libcups2-dev: printing asks the queue for its default
# orientation. libfontconfig-dev: the font configuration starts loading
# beside the toolkit's own start. libjpeg62-turbo-dev: a progressive JPEG is
# decoded with libjpeg itself, the library Qt's own JPEG reader uses.
# zlib1g-dev: the card's picture is compressed with zlib itself.
BUILD_PACKAGES=(g++ cmake ninja-build pkg-config qt6-base-dev qt6-base-dev-tools libgl-dev dpkg-dev
    libcups2-dev libfontconfig-dev libjpeg62-turbo-dev zlib1g-dev)
# On Debian 12 the xcb platform plugin ships in libqt6gui6 (qt6-qpa-plugins
# holds only the VNC and touch plugins), and the CUPS print plugin in
# libqt6printsupport6.
# xdg-utils opens the maker's site in the web browser now and then.
# qt6-wayland lets the program run as a native Wayland client. The two
# platform themes give the desktop's own file chooser: GTK's on GNOME, the
# XDG desktop portal's where it is asked for.
RUNTIME_PACKAGES=(libqt6gui6 libqt6widgets6 libqt6printsupport6 qt6-wayland xdg-utils
    qt6-gtk-platformtheme qt6-xdgdesktopportal-platformtheme)
FONT_PACKAGES=(fonts-liberation fonts-liberation2 fonts-wine fonts-dejavu-core)
PRINT_PACKAGES=(cups cups-bsd cups-client printer-driver-cups-pdf poppler-utils)
# Only needed by the test suites. The PDF printer turns text into outlines,
# so the printing test reads printed text back with OCR. tools/check.sh builds
# with clang for AddressSanitizer, UBSan and libFuzzer (its runtimes are in
# libclang-rt-14-dev) and runs a session under valgrind. qt6ct hands the
# program a dark or high-contrast palette, and weston's headless backend is a
# Wayland desktop without a screen.
TEST_PACKAGES=(xvfb xauth xdotool x11-xserver-utils x11-utils imagemagick
    tesseract-ocr tesseract-ocr-eng qt6ct weston
    python3 python3-xlib at-spi2-core python3-pyatspi dbus dbus-x11
    desktop-file-utils appstream strace
    clang libclang-rt-14-dev valgrind)

BUILD_DIR_NAME=build
BUILD_TYPE=RelWithDebInfo

usage() {
    sed -n '2,7s/^# \{0,1\}//p' "$0"
}

mode="run"
case ${1:-} in
    "") ;;
    --build-only) mode="build" ;;
    --test) mode="test" ;;
    -h | --help)
        usage
        exit 0
        ;;
    *)
        usage >&2
        exit 2
        ;;
esac

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="$repo/$BUILD_DIR_NAME"
cd "$repo"

say() {
    echo "==> $*"
}

as_root() {
    if [[ $(id -u) -eq 0 ]]; then
        "$@"
    elif command -v sudo >/dev/null; then
        # Ask for a password only where someone can type it; without a
        # terminal (CI) never wait on a prompt nobody can answer.
        if [[ -t 0 ]]; then sudo "$@"; else sudo -n "$@"; fi
    else
        echo "setup.sh: not root and sudo is missing; cannot install packages" >&2
        return 1
    fi
}

is_installed() {
    [[ $(dpkg-query -W -f='${Status}' "$1" 2>/dev/null) == "install ok installed" ]]
}

install_missing() {
    local missing=() package
    for package in "$@"; do
        is_installed "$package" || missing+=("$package")
    done
    if ((${#missing[@]} == 0)); then
        say "all ${#} packages are installed"
        return 0
    fi
    say "installing ${missing[*]}"
    # Another apt (an unattended upgrade on a fresh machine) may hold the
    # lock for a while; wait for it instead of failing.
    local apt=(env DEBIAN_FRONTEND=noninteractive apt-get -q -y
        -o DPkg::Lock::Timeout=300 -o Dpkg::Use-Pty=0)
    as_root "${apt[@]}" update
    # Recommends would bring avahi, colord and the like, which nothing here
    # uses; every dependency that matters is a hard one.
    as_root "${apt[@]}" install --no-install-recommends "${missing[@]}"
    for package in "${missing[@]}"; do
        if ! is_installed "$package"; then
            echo "setup.sh: $package did not install" >&2
            return 1
        fi
    done
}

configure_and_build() {
    local generator=()
    # A build tree keeps the generator it was made with; only choose one for
    # a new tree.
    if [[ ! -f $build/CMakeCache.txt ]] && command -v ninja >/dev/null; then
        generator=(-G Ninja)
    fi
    say "configuring $BUILD_DIR_NAME/ ($BUILD_TYPE)"
    cmake -S "$repo" -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE="$BUILD_TYPE"
    say "building"
    cmake --build "$build" --parallel "$(nproc)"
}

packages=("${BUILD_PACKAGES[@]}" "${RUNTIME_PACKAGES[@]}" "${FONT_PACKAGES[@]}" "${PRINT_PACKAGES[@]}")
if [[ $mode == test ]]; then
    packages+=("${TEST_PACKAGES[@]}")
fi
install_missing "${packages[@]}"
configure_and_build

case $mode in
    build)
        say "built $BUILD_DIR_NAME/tessary"
        exit 0
        ;;
    run)
        if [[ -z ${DISPLAY:-} && -z ${WAYLAND_DISPLAY:-} && -z ${QT_QPA_PLATFORM:-} ]]; then
            echo "setup.sh: built $BUILD_DIR_NAME/tessary, but there is no display to show it on" >&2
            exit 1
        fi
        say "starting $BUILD_DIR_NAME/tessary"
        exec "$build/tessary"
        ;;
esac

# --test from here on: run every suite, even after one fails, and report all.
failed=()

# Stop the scheduler afterwards only if this run was the one to start it.
cups_started=false
stop_cups() {
    if $cups_started; then
        bash "$repo/tools/cups.sh" stop || true
    fi
}
trap stop_cups EXIT

if [[ -f $repo/tools/cups.sh ]]; then
    # Printing tests print through the real scheduler to a PDF printer.
    if [[ $(env -u CUPS_SERVER lpstat -r 2>/dev/null) != "scheduler is running" ]]; then
        cups_started=true
    fi
    say "starting the CUPS scheduler and PDF printer"
    if bash "$repo/tools/cups.sh"; then
        # The printing test must not skip itself when the printer is there.
        export TESSARY_REQUIRE_PRINTER=1
        TESSARY_PRINT_OUTDIR=$(bash "$repo/tools/cups.sh" outdir)
        export TESSARY_PRINT_OUTDIR
    else
        failed+=("CUPS set-up")
    fi
fi

say "checking the generated artwork against its generator"
if ! python3 "$repo/tools/make_assets.py" --check; then
    failed+=("assets")
fi

say "running the unit tests"
if ! QT_QPA_PLATFORM=offscreen ctest --test-dir "$build" --output-on-failure --no-tests=error; then
    failed+=(ctest)
fi

say "running the sanitizer, fuzzing and memory checks"
if ! bash "$repo/tools/check.sh" --plain-build "$build"; then
    failed+=("memory checks")
fi

if [[ -f $repo/tests/e2e/run.sh ]]; then
    say "running the end-to-end tests"
    if ! TESSARY_SOURCE_DIR="$repo" TESSARY_BUILD_DIR="$build" bash "$repo/tests/e2e/run.sh"; then
        failed+=(e2e)
    fi
fi

if ((${#failed[@]} > 0)); then
    echo "setup.sh: failed: ${failed[*]}" >&2
    exit 1
fi
say "every test suite passed"
