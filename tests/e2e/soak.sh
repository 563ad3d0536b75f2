#!/usr/bin/env bash
# Runs the Windows test suite (ctest --preset windows) N times in a row, optionally beside K
# busy loops that keep the cores occupied, and prints per test how many runs failed and how
# often the harness had to start a Windows program or run the case once more. It finds the
# tests that fail by chance; it is not part of .ci/run.
#   tests/e2e/soak.sh N [--busy K]
# It configures and builds the windows preset first (nothing to do when that is up to date).
# The reproducible_build test is left out: it is two whole builds, not an end-to-end test.
# Each run's CTest output is kept in build/windows/soak/: run-N.log as CTest printed it, and
# output-N.log with what every test printed, a case's attempt that was run once more included.
set -euo pipefail
cd "$(dirname "$0")/../.."

usage() { echo "usage: tests/e2e/soak.sh N [--busy K]" >&2; exit 2; }
runs=${1:-}
[[ $runs =~ ^[1-9][0-9]*$ ]] || usage
busy=0
if (($# > 1)); then
    [[ $# == 3 && $2 == --busy && $3 =~ ^[0-9]+$ ]] || usage
    busy=$3
fi

build=build/windows
logs=$build/soak
cmake --preset windows >/dev/null
cmake --build --preset windows >/dev/null
rm -rf "$logs"
mkdir -p "$logs"

busy_pids=()
stop_busy() {
    local pid
    for pid in "${busy_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${busy_pids[@]}"; do wait "$pid" 2>/dev/null || true; done
    busy_pids=()
}
# On Ctrl-C, CTest would go on with the next test; so CTest runs in a session of its own,
# and its whole process group is stopped here, then the Xvfb and the Wine prefix of the run.
ctest_pid=""
interrupted() {
    echo "soak: interrupted"
    if [[ -n $ctest_pid ]]; then
        kill -- -"$ctest_pid" 2>/dev/null || true
        wait "$ctest_pid" 2>/dev/null || true
    fi
    BUILD="$PWD/$build" bash tests/e2e/harness.sh cleanup >/dev/null 2>&1 || true
    exit 130
}
trap stop_busy EXIT
trap interrupted INT TERM
for ((i = 0; i < busy; i++)); do
    bash -c 'while :; do :; done' &
    busy_pids+=($!)
done

declare -A failed=() skipped=() retried=()
names=()
total_retries=0
for ((run = 1; run <= runs; run++)); do
    log=$logs/run-$run.log
    # In the background, so that an interruption is acted on at once.
    setsid ctest --preset windows -E '^reproducible_build$' >"$log" 2>&1 &
    ctest_pid=$!
    wait "$ctest_pid" || true
    ctest_pid=""
    cp "$build/e2e/retries.log" "$logs/retries-$run.log" 2>/dev/null || : >"$logs/retries-$run.log"
    cp "$build/Testing/Temporary/LastTest.log" "$logs/output-$run.log" 2>/dev/null || true
    run_failed=()
    # "  5/50 Test  #6: e2e.terminates_two_trovimo_instances ...***Failed    2.02 sec"
    while read -r name result; do
        if [[ -z ${failed[$name]+set} ]]; then
            names+=("$name")
            failed[$name]=0 skipped[$name]=0 retried[$name]=0
        fi
        case $result in
        Passed) ;;
        Skipped) skipped[$name]=$((skipped[$name] + 1)) ;;
        *) failed[$name]=$((failed[$name] + 1)) run_failed+=("$name") ;;
        esac
    done < <(sed -nE 's/^ *[0-9]+\/[0-9]+ +Test +#[0-9]+: ([^ ]+) [ .]*[*]*([A-Za-z]+).*/\1 \2/p' "$log")
    grep -qE '^ *[0-9]+/[0-9]+ +Test +#' "$log" || { echo "run $run: no test ran (see $log)"; exit 1; }
    while IFS= read -r line; do
        name=${line%%:*}
        [[ -n ${retried[$name]+set} ]] || { names+=("$name"); failed[$name]=0 skipped[$name]=0 retried[$name]=0; }
        retried[$name]=$((retried[$name] + 1))
        total_retries=$((total_retries + 1))
    done <"$logs/retries-$run.log"
    echo "run $run of $runs: ${#run_failed[@]} failed${run_failed:+ (${run_failed[*]})}," \
        "$(grep -c . "$logs/retries-$run.log" || true) retries"
done
stop_busy

echo
echo "| test | failed runs | skipped runs | retries |"
echo "|---|---|---|---|"
flaky=0
for name in "${names[@]}"; do
    echo "| $name | ${failed[$name]}/$runs | ${skipped[$name]}/$runs | ${retried[$name]} |"
    ((failed[$name] == 0)) || flaky=$((flaky + 1))
done
echo
setting="$runs runs"
((busy == 0)) || setting+=" beside $busy busy loops"
if ((flaky == 0)); then
    echo "soak: $setting: all ${#names[@]} tests passed every run; $total_retries retries"
else
    echo "soak: $setting: $flaky of ${#names[@]} tests failed at least once; $total_retries retries (logs in $logs)"
    exit 1
fi
