#!/usr/bin/env bash
# Starts the built program. With no display, runs it on a virtual one (Xvfb,
# with a window manager, a tray and a sound server), saves a screenshot of its
# window and keeps it running until Ctrl+C.
set -uo pipefail
build=${1:-build}
exe="$build/hytune"
[[ -x "$exe" ]] || { echo "$exe is not built" >&2; exit 1; }

if [[ -n "${DISPLAY:-}" || -n "${WAYLAND_DISPLAY:-}" ]]; then
    exec "$exe"
fi

echo "No display found: running 禾音语音报时器 on a virtual display (Xvfb)."
session="$(cd "$build" && pwd)/run-session"
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/tests/e2e/session.sh" start "$session" || exit 1
cleanup() {
    [[ -n "${pid:-}" ]] && kill "$pid" 2>/dev/null
    "$here/tests/e2e/session.sh" stop "$session"
}
trap cleanup EXIT
trap 'exit 0' INT TERM
# shellcheck disable=SC1091
source "$session/env"
"$exe" &
pid=$!
if wid=$(timeout 10 xdotool search --sync --name '禾音语音报时器' 2>/dev/null | head -n 1); then
    sleep 0.5
    shot="$build/screenshot.png"
    import -window "$wid" "$shot" 2>/dev/null || import -window root "$shot"
    echo "Screenshot of the window: $shot"
else
    echo "The window did not appear." >&2
fi
echo "Running on display $DISPLAY; press Ctrl+C to stop."
wait "$pid"
