#!/usr/bin/env bash
# Runs the benchmarks against a built tree and prints one figure per line as
# "name: value unit"; every other line starts with '#'.
#
#   scripts/bench.sh BUILD
#
# Everything runs inside a desktop session of its own (tests/e2e/session.sh:
# virtual display, window manager, tray, sound server with the null sink
# "out"), started in BUILD/bench-session and stopped at the end, also on
# Ctrl+C or an error. The 10-minute tick run goes on in the background while
# the others run; the idle-load minutes come before the speech benchmarks, so
# that nothing heavy shares them. A quiet minute of ticks comes first, for
# the jitter. The start-up figures include second_start_ms (a second start
# showing the first copy's window); portal_bind_ms comes from the Wayland
# desktop of the wayland tests; gnome_shortcut_pickup_ms and
# gnome_key_to_command_ms (the desktop's part of a key press through GNOME's
# custom shortcuts) from the GNOME desktop; offset_error_ms and
# offset_check_ms come from 对时 against the tests' own time servers on the
# loopback; the speech figures under load (phrase_gap_under_load_ms,
# count_lateness_under_load_ms) beside two CPU hogs and a disk writer;
# tips_longline_cpu_pct with a tip of 1 MB on show; voicepack_* and
# settings_50mib_* for large files; idle_wakeups_per_s_no_sound_server and
# idle_cpu_pct_no_sound_server with no sound server to reach. About 16
# minutes in all.
#
# HYBENCH_QUICK=1 shortens everything for a try (tick run 60 s, idle 10 s,
# 3 start-ups, RSS after 2 s); HYBENCH_TICK_SECONDS sets the tick run.
set -uo pipefail

usage() { echo "usage: $0 BUILD_DIR" >&2; exit 2; }
[[ $# -eq 1 ]] || usage
[[ -d "$1" ]] || { echo "$0: no build directory $1" >&2; exit 2; }
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")/.." && pwd)
session_sh="$here/tests/e2e/session.sh"
session="$build/bench-session"
wayland="$build/bench-wayland"
gnome="$build/bench-gnome"
logs="$build/bench-logs"

if [[ "${HYBENCH_QUICK:-0}" == 1 ]]; then
    tick_seconds=${HYBENCH_TICK_SECONDS:-60} idle=10 runs=3 settle=2
else
    tick_seconds=${HYBENCH_TICK_SECONDS:-600} idle=60 runs=5 settle=5
fi

for exe in hytune bench/bench_ticks bench/emptywindow bench/textwindow bench/bench_footprint bench/bench_latency \
    bench/bench_portal bench/bench_servertime bench/bench_speechload bench/bench_tips \
    bench/bench_files bench/bench_gnomekeys tests/desktophelper; do
    [[ -x "$build/$exe" ]] || { echo "$0: $build/$exe is not built (make bench builds it)" >&2; exit 1; }
done

# The program asks its web server for tips; nothing answers on port 9.
export HYTUNE_SERVER=http://127.0.0.1:9

started=$SECONDS
failed=0
ticks_pid=
# shellcheck disable=SC2317 # run by the traps
cleanup() {
    "$session_sh" stop "$gnome" >/dev/null 2>&1
    if [[ -n "$ticks_pid" ]]; then
        kill "$ticks_pid" 2>/dev/null
        wait "$ticks_pid" 2>/dev/null
        ticks_pid=
    fi
    "$session_sh" stop "$session" >/dev/null 2>&1
    "$session_sh" stop "$wayland" >/dev/null 2>&1
}
trap cleanup EXIT
trap 'echo "# interrupted"; exit 130' INT TERM

# Passes figure lines and comments through and turns anything else a
# benchmark prints on stdout into a comment.
figures() {
    local line
    while IFS= read -r line; do
        if [[ "$line" =~ ^[A-Za-z0-9_]+:\ [^\ ]+\ [^\ ]+$ || "$line" == \#* ]]; then
            printf '%s\n' "$line"
        else
            printf '# %s\n' "$line"
        fi
    done
}

# Runs one benchmark in the session; its stderr goes to BUILD/bench-logs, of
# which only the comment lines are shown.
run() {
    local name=$1; shift
    "$session_sh" exec "$session" "$@" 2>"$logs/$name.err" | figures
    local rc=${PIPESTATUS[0]}
    grep -h '^#' "$logs/$name.err" # details that a benchmark gives as comments
    if [[ $rc -ne 0 ]]; then
        echo "# $name failed (exit $rc); its messages: $logs/$name.err"
        failed=1
    fi
}

# Runs benchmark NAME in a desktop of its own, started for it and stopped
# after; MISSING names the figures lost when the desktop does not start.
#   in_desktop NAME MISSING DIR START-COMMAND [START-ARGS...] -- BENCH [ARGS...]
in_desktop() {
    local name=$1 missing=$2 desk=$3 start=$4 args=()
    shift 4
    while [[ $1 != -- ]]; do args+=("$1"); shift; done
    shift
    if "$session_sh" "$start" "$desk" "${args[@]}" >"$logs/$name-session.log" 2>&1; then
        "$session_sh" exec "$desk" "$@" 2>"$logs/$name.err" | figures
        [[ ${PIPESTATUS[0]} -eq 0 ]] || { echo "# $name failed; its messages: $logs/$name.err"; failed=1; }
        "$session_sh" stop "$desk" >/dev/null 2>&1
    else
        echo "# the desktop for $name did not start: no $missing"
        sed 's/^/#   /' "$logs/$name-session.log"
        failed=1
    fi
}

load() { echo "# load average $1: $(cut -d' ' -f1-3 /proc/loadavg)"; }

mkdir -p "$logs"
echo "# benchmarks of $build, $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores"
if ! "$session_sh" start "$session" >"$logs/session.log" 2>&1; then
    echo "# the desktop session did not start:"
    sed 's/^/#   /' "$logs/session.log"
    exit 1
fi
sed 's/^/# /' "$logs/session.log"

# 1. Tick schedule: 60 s on a quiet machine for the jitter, then a long run
#    in the background for the drift (its jitter then shows the other
#    benchmarks' load, and is named so).
quiet_seconds=60
[[ "${HYBENCH_QUICK:-0}" == 1 ]] && quiet_seconds=20
echo "# quiet tick run of $quiet_seconds s"
HYBENCH_TICK_SECONDS=$quiet_seconds "$session_sh" exec "$session" "$build/bench/bench_ticks" \
    2>"$logs/ticks-quiet.err" | figures | sed -n \
    -e 's/^tick_drift_ms:/tick_drift_60s_ms:/p' -e 's/^tick_jitter_p99_ms:/&/p' -e 's/^#/#/p'
[[ ${PIPESTATUS[0]} -eq 0 ]] || { echo "# quiet tick run failed; its messages: $logs/ticks-quiet.err"; failed=1; }
echo "# tick run of $tick_seconds s started in the background"
HYBENCH_TICK_SECONDS=$tick_seconds "$session_sh" exec "$session" "$build/bench/bench_ticks" \
    >"$logs/ticks.out" 2>"$logs/ticks.err" &
ticks_pid=$!
ticks_started=$SECONDS

# 2. Start-up, memory, idle load: the program, an empty Qt window, and the
#    peers that are installed.
subjects=(--subject - copy '禾音语音报时器' "$build/hytune"
    --subject empty_qt copy 'hybench empty window' "$build/bench/emptywindow"
    --subject qt_text copy 'hybench text window' "$build/bench/textwindow")
for peer in ktimer kteatime; do
    if path=$(command -v "$peer"); then
        subjects+=(--subject "$peer" inplace '' "$path")
    else
        echo "# $peer is not installed: no startup_ms_$peer, rss_mb_$peer"
    fi
done
echo "# start-up: median of $runs fresh starts each (a copy in a new temporary directory for" \
    "the program and the empty window), timed from fork+exec to the MapNotify of the window;" \
    "RSS $settle s after it; idle load over $idle s"
load before
run footprint "$build/bench/bench_footprint" --runs "$runs" --settle "$settle" --idle "$idle" \
    --idle-only - --idle-only empty_qt --second-start "$runs" "${subjects[@]}"
load after
# The same idle minute with no sound server to reach: nothing may keep trying.
echo "# idle with no sound server (PULSE_SERVER names no socket)"
run footprint-nosound env PULSE_SERVER=unix:/nonexistent/pulse "$build/bench/bench_footprint" \
    --runs 1 --settle "$settle" --idle "$idle" --idle-only - \
    --subject - copy '禾音语音报时器' "$build/hytune" |
    sed -n -e 's/^idle_\(cpu_pct\|wakeups_per_s\):/idle_\1_no_sound_server:/p' -e '/^#/p'

# 3. Speech: tick to sound through the window's whole chain, then the
#    player's own figures.
run latency "$build/bench/bench_latency"
if [[ -x "$build/bench/bench_speech" ]]; then
    run speech "$build/bench/bench_speech"
else
    echo "# bench_speech is not built: no phrase_gap_ms, phrase_overhead_ms, post_latency_us"
fi
if [[ -x "$build/bench/bench_volume" ]]; then
    run volume "$build/bench/bench_volume"
else
    echo "# bench_volume is not built: no volume_change_ms"
fi

# 3b. Speech beside two CPU hogs and a disk writer of its own (so after the
#     other speech figures, which want a quiet machine).
load "before the speech under load"
run speechload "$build/bench/bench_speechload"

# 3c. The tips line with a tip of 1 MB (the program fetches its tips 15 s
#     after its start), and large files: a voice pack and a settings file.
run tips "$build/bench/bench_tips" "$build/hytune"
run files "$build/bench/bench_files"

# 4. The hotkey through the real desktop portal, on the KDE Plasma Wayland
#    desktop of the wayland tests (started only now, as KWin renders on the
#    CPU); then the desktop's part of a key press on GNOME: the program's
#    custom shortcut, run by gsd-media-keys, pressed through Mutter's
#    RemoteDesktop.
in_desktop portal portal_bind_ms "$wayland" start-wayland "$build/tests/desktophelper" -- \
    "$build/bench/bench_portal" "$build/hytune" "$runs"
in_desktop gnomekeys gnome_key_to_command_ms "$gnome" start-gnome "$build/tests/desktophelper" -- \
    "$build/bench/bench_gnomekeys" "$runs" "$build/hytune"

# 5. 对时 against the tests' own SNTP and web servers on the loopback
#    (offset_error_ms, offset_check_ms); no desktop needed, but run in the
#    session like the others so that it shares their conditions.
run servertime "$build/bench/bench_servertime"

# 1 (end). Wait for the tick run.
left=$((tick_seconds - (SECONDS - ticks_started)))
((left > 0)) && echo "# waiting about $left s for the tick run to end"
wait "$ticks_pid"
rc=$?
ticks_pid=
load "at the end of the tick run"
figures <"$logs/ticks.out" | sed -e '/^tick_drift_60s_ms:/d' \
    -e 's/^tick_jitter_p99_ms:/tick_jitter_p99_under_load_ms:/'
if [[ $rc -ne 0 ]]; then
    echo "# tick run failed (exit $rc); its messages: $logs/ticks.err"
    failed=1
fi

echo "# all done in $((SECONDS - started)) s"
exit "$failed"
