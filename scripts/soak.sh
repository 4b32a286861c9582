#!/usr/bin/env bash
# Runs the whole CTest suite of a built tree RUNS times in a row (10 unless
# given) while two CPU hogs keep the machine busy, to bring out tests that
# pass only when the machine is idle. Every run is made, whatever the earlier
# ones gave; the log of each failed run stays as BUILD/soak/run-K.log. The
# last line is "soak-test: P/RUNS runs passed", and the exit status is 0 only
# when all passed.
#
#   scripts/soak.sh BUILD [RUNS [JOBS]]   (JOBS: ctest -j, as "make test")
#
# The hogs (sha1sum reading /dev/zero) end with this script, also on Ctrl+C or
# an error, and even when it is killed outright: a watcher ends them then.
set -uo pipefail

usage() { echo "usage: $0 BUILD_DIR [RUNS [JOBS]]" >&2; exit 2; }
[[ $# -ge 1 && $# -le 3 ]] || usage
[[ -d "$1" ]] || { echo "$0: no build directory $1" >&2; exit 2; }
build=$(cd "$1" && pwd)
runs=${2:-10}
jobs=${3:-$(nproc)}
[[ "$runs" =~ ^[1-9][0-9]*$ ]] || { echo "$0: RUNS must be a positive number" >&2; exit 2; }
here=$(cd "$(dirname "$0")/.." && pwd)
logs="$build/soak"

hogs=()
watcher=""
ctest_pid=""
# shellcheck disable=SC2317 # run by the traps
cleanup() {
    # A run cut short is stopped as Ctrl+C would stop it. (Polled: the wait
    # builtin, called from a trap that broke into another wait, can hang.)
    if [[ -n "$ctest_pid" ]]; then
        kill -INT "$ctest_pid" 2>/dev/null
        for ((i = 0; i < 300; i++)); do
            kill -0 "$ctest_pid" 2>/dev/null || break
            sleep 0.1
        done
    fi
    kill "${hogs[@]}" $watcher 2>/dev/null
    # An interrupted run leaves the desktop session of the end-to-end tests
    # up (ctest's fixture did not get to stop it).
    "$here/tests/e2e/session.sh" stop "$build/e2e-session" >/dev/null 2>&1
}
trap cleanup EXIT
trap 'echo "soak-test: interrupted"; exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

mkdir -p "$logs"
rm -f "$logs"/run-*.log

for _ in 1 2; do
    sha1sum /dev/zero &
    hogs+=("$!")
done
# $$ is this script, also inside the subshell.
(
    while kill -0 $$ 2>/dev/null; do sleep 1; done
    kill "${hogs[@]}" 2>/dev/null
) &
watcher=$!

passed=0
for ((k = 1; k <= runs; k++)); do
    log="$logs/run-$k.log"
    start=$SECONDS
    # In the background, so that a signal to this script is acted on at once
    # rather than after the run; with Ctrl+C working in it (a background
    # command of a script otherwise ignores it).
    (cd "$build" && exec env --default-signal=INT ctest -j"$jobs" --output-on-failure --timeout 600) \
        >"$log" 2>&1 &
    ctest_pid=$!
    wait "$ctest_pid"
    status=$?
    ctest_pid=""
    summary=$(grep -E '^[0-9]+% tests passed' "$log" | tail -n 1)
    took=$((SECONDS - start))
    if [[ $status -eq 0 ]]; then
        passed=$((passed + 1))
        rm -f "$log"
        echo "soak-test: run $k/$runs passed in ${took} s: $summary"
    else
        echo "soak-test: run $k/$runs FAILED in ${took} s: ${summary:-no summary}; log $log"
        grep -E '^\s*[0-9]+ - .*\((Failed|Timeout|Not Run|SEGFAULT|Subprocess aborted)\)' "$log" |
            sed -E 's/^\s*/    /'
    fi
done

echo "soak-test: $passed/$runs runs passed"
[[ $passed -eq $runs ]]
