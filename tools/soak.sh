#!/usr/bin/env bash
# Runs the whole test command while every core is kept busy, to show the
# suites hold on a loaded machine. Not part of CI.
#
#   bash tools/soak.sh [ROUNDS]    ROUNDS runs in a row (default 1); stops at
#                                  the first that fails
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
rounds=${1:-1}
[[ $rounds =~ ^[1-9][0-9]*$ ]] || { echo "usage: bash tools/soak.sh [ROUNDS]" >&2; exit 2; }

if ! command -v stress-ng >/dev/null; then
    as_root=()
    [[ $(id -u) -eq 0 ]] || as_root=(sudo)
    "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -q -y update
    "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -q -y install --no-install-recommends stress-ng
fi

load_pid=
stop_load() {
    [[ -n $load_pid ]] && kill "$load_pid" 2>/dev/null && wait "$load_pid" 2>/dev/null
    load_pid=
}
trap stop_load EXIT

cores=$(nproc)
for ((round = 1; round <= rounds; round++)); do
    echo "==> soak round $round of $rounds: the test command with $cores busy cores"
    stress-ng --cpu "$cores" --timeout 0 --quiet &
    load_pid=$!
    started=$SECONDS
    if bash "$repo/tools/setup.sh" --test; then
        status=passed
    else
        status=failed
    fi
    stop_load
    echo "==> soak round $round: $status in $((SECONDS - started)) s"
    [[ $status == passed ]] || exit 1
done
