#!/usr/bin/env bash
# The memory and undefined-behaviour checks, run by `tools/setup.sh --test`
# after the unit tests:
#
#   1. the unit suite built with AddressSanitizer and UndefinedBehaviorSanitizer
#      (clang, in build-asan/), run by CTest
#   2. each libFuzzer target in fuzz/ for a bounded time, from its committed
#      seeds in fuzz/corpus/<target>/
#   3. a scripted session with the main window (tests/memcheck) under
#      valgrind's memcheck in the plain build, and under LeakSanitizer in
#      build-asan/
#
#   bash tools/check.sh [--plain-build DIR] [--fuzz-seconds N]
#
# DIR is the ordinary build tree (default build/; the session is built there
# if it is not yet). Every check runs even after one fails; the exit status
# is 1 if any failed.
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
plain=$repo/build
fuzz_seconds=45
while (($# > 0)); do
    case $1 in
        --plain-build)
            plain=$(realpath "$2")
            shift 2
            ;;
        --fuzz-seconds)
            fuzz_seconds=$2
            shift 2
            ;;
        -h | --help)
            sed -n '2,17s/^# \{0,1\}//p' "$0"
            exit 0
            ;;
        *)
            echo "check.sh: unknown argument $1" >&2
            exit 2
            ;;
    esac
done

asan=$repo/build-asan
logs=$asan/check-logs
failed=()

say() {
    echo "==> $*"
}

elapsed() {
    echo "$((SECONDS - $1)) s"
}

# Qt and the system libraries are not instrumented; their allocations still
# pass through the sanitizer's allocator, so leaks are checked everywhere.
# UBSan stops at the first report (the code is built with
# -fno-sanitize-recover as well), so a report always fails the run.
export ASAN_OPTIONS=detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1:abort_on_error=0
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1:report_error_type=1
export QT_QPA_PLATFORM=offscreen

# --- 1. the sanitizer build and the unit suite -------------------------------
start=$SECONDS
generator=()
if [[ ! -f $asan/CMakeCache.txt ]] && command -v ninja >/dev/null; then
    generator=(-G Ninja)
fi
say "configuring build-asan/ (clang, AddressSanitizer, UndefinedBehaviorSanitizer, libFuzzer)"
built=true
if ! cmake -S "$repo" -B "$asan" "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=clang++ -DTESSARY_SANITIZE=ON -DTESSARY_FUZZ=ON >/dev/null \
    || ! cmake --build "$asan" --parallel "$(nproc)"; then
    failed+=("sanitizer build")
    built=false
fi
say "sanitizer build: $(elapsed "$start")"
mkdir -p "$logs"

if $built; then
    start=$SECONDS
    say "running the unit tests under AddressSanitizer and UBSan"
    if ! ctest --test-dir "$asan" --output-on-failure --no-tests=error; then
        failed+=("sanitizer unit tests")
    fi
    say "sanitizer unit tests: $(elapsed "$start")"
fi

# --- 2. the fuzzers ------------------------------------------------------------
run_fuzzer() {
    local name=$1 work status=0
    work=$(mktemp -d)
    # New inputs go to a scratch folder; the committed seeds stay as they are.
    # Each input has thirty seconds and 2 GB: more is a hang or a runaway
    # allocation, and a failure. (The largest picture the loader takes needs
    # a few seconds under the sanitizers on a busy machine; a hang takes
    # minutes.)
    "$asan/fuzz/$name" "$work" "$repo/fuzz/corpus/$name" \
        -max_total_time="$fuzz_seconds" -timeout=30 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$logs/$name-" >"$logs/$name.log" 2>&1 || status=$?
    rm -rf "$work"
    return $status
}

if $built; then
    start=$SECONDS
    say "fuzzing for ${fuzz_seconds} s each (logs and any failing input in ${logs#"$repo"/}/)"
    rm -f "$logs"/fuzz_*-{crash,leak,timeout,oom,slow-unit}-*
    pids=()
    names=()
    for source in "$repo"/fuzz/fuzz_*.cpp; do
        name=$(basename "$source" .cpp)
        run_fuzzer "$name" &
        pids+=($!)
        names+=("$name")
    done
    for i in "${!pids[@]}"; do
        name=${names[$i]}
        if wait "${pids[$i]}"; then
            echo "$name: $(grep -a -m1 -o 'stat::number_of_executed_units: *[0-9]*' "$logs/$name.log" | grep -o '[0-9]*$') inputs, no failure"
        else
            echo "$name failed; the end of its log:" >&2
            tail -n 60 "$logs/$name.log" >&2
            failed+=("$name")
        fi
    done
    say "fuzzing: $(elapsed "$start")"
fi

# --- 3. the scripted session under the memory checkers -----------------------
start=$SECONDS
if [[ -f $plain/CMakeCache.txt ]] && cmake --build "$plain" --target scripted_run >/dev/null; then
    say "the scripted session under valgrind (memcheck)"
    if ! timeout 600 valgrind --tool=memcheck --leak-check=full --errors-for-leak-kinds=definite \
        --error-exitcode=1 --num-callers=40 --suppressions="$repo/tests/memcheck/valgrind.supp" \
        "$plain/tests/memcheck/scripted_run" >"$logs/valgrind.log" 2>&1; then
        echo "the scripted session failed under valgrind; its report:" >&2
        grep -a -v '^==[0-9]*== *$' "$logs/valgrind.log" | tail -n 80 >&2
        failed+=(valgrind)
    else
        grep -a -E 'ERROR SUMMARY|definitely lost' "$logs/valgrind.log" || true
    fi
else
    echo "check.sh: no plain build to run the scripted session in: $plain" >&2
    failed+=(valgrind)
fi
if $built; then
    say "the scripted session under AddressSanitizer and LeakSanitizer"
    if ! timeout 300 "$asan/tests/memcheck/scripted_run" >"$logs/scripted_run-asan.log" 2>&1; then
        cat "$logs/scripted_run-asan.log" >&2
        failed+=("scripted session under LeakSanitizer")
    fi
fi
say "memory check of the scripted session: $(elapsed "$start")"

if ((${#failed[@]} > 0)); then
    echo "check.sh: failed: ${failed[*]}" >&2
    exit 1
fi
say "every memory and undefined-behaviour check passed"
