#!/usr/bin/env bash
# Starts or stops the desktop that the end-to-end tests run in: a virtual X
# display (Xvfb) with openbox and a tray host (trayer), and a PulseAudio daemon
# whose default sink is a null sink named "out" (22050 Hz mono s16le), so that
# what the program plays can be recorded from "out.monitor".
#
#   session.sh start DIR   starts everything, writes DIR/env (shell exports)
#   session.sh start-wayland DIR HELPER
#                          the same sound server, and instead of the X desktop
#                          a real KDE Plasma Wayland one: a private session bus
#                          (with XDG_CURRENT_DESKTOP=KDE, so the desktop portal
#                          and its KDE backend start on it when first called),
#                          kwin_wayland --virtual with XWayland, and HELPER
#                          (the tests' tray watcher and notification server)
#   session.sh start-gnome DIR HELPER
#                          the same sound server and a real GNOME Shell 43
#                          Wayland desktop: private session and system buses,
#                          gnome-shell --headless with XWayland, the tray of
#                          its AppIndicator extension, HELPER as the
#                          notification server, and gsd-media-keys, which runs the custom
#                          shortcuts of GNOME's keyboard settings
#   session.sh stop DIR    stops what "start", "start-wayland" or
#                          "start-gnome" started
#   session.sh exec DIR CMD...  runs CMD with DIR/env loaded
#   session.sh pulse-restart DIR  stops the sound server and starts it again,
#                          as a crash and restart of the user's sound server
set -uo pipefail

cmd=${1:?usage: session.sh start|start-wayland|start-gnome|stop|pulse-restart|exec DIR [CMD...]}
dir=${2:?usage: session.sh start|start-wayland|start-gnome|stop|pulse-restart|exec DIR [CMD...]}
shift 2

# A line for the test log, so that a start that fails says where.
step() { echo "$(date +%T.%3N) $*"; }

# Tries a command until it succeeds, for up to $1 tenths of a second of wall
# time. Each try gets 5 s at most: a client of a server that does not answer
# (a stopped sound server, a display that hangs) must not stall the start.
wait_for() {
    local deadline=$(($(date +%s%N) / 100000000 + $1)); shift
    while :; do
        timeout -k 1 5 "$@" >/dev/null 2>&1 && return 0
        (($(date +%s%N) / 100000000 >= deadline)) && return 1
        sleep 0.1
    done
}

start_pulse() {
    export XDG_RUNTIME_DIR="$dir/run" HOME="$dir/home"
    local server="unix:$dir/run/pulse/native" attempt
    # Tried twice: a daemon that does not come up within its time is ended
    # and started afresh, and the second failure is reported with its log.
    for attempt in 1 2; do
        timeout -k 2 20 pulseaudio -D -n --exit-idle-time=-1 --log-target=file:"$dir/pulse.log" \
            --load="module-null-sink sink_name=out rate=22050 channels=1 format=s16le norewinds=1" \
            --load=module-native-protocol-unix >>"$dir/pulse.log" 2>&1
        if wait_for 100 env PULSE_SERVER="$server" pactl info; then
            timeout -k 1 5 env PULSE_SERVER="$server" pactl set-default-sink out >/dev/null 2>&1
            return 0
        fi
        echo "pulseaudio did not start (attempt $attempt):"
        cat "$dir/pulse.log"
        stop_pulse
    done
    return 1
}

stop_pulse() {
    local pid=""
    [[ -f "$dir/run/pulse/pid" ]] && pid=$(cat "$dir/run/pulse/pid" 2>/dev/null)
    # Only a live daemon: a stale pid file may name some other process by now.
    [[ -n "$pid" && "$(cat "/proc/$pid/comm" 2>/dev/null)" == pulseaudio ]] || pid=""
    if [[ -S "$dir/run/pulse/native" ]]; then
        timeout -k 1 5 env PULSE_SERVER="unix:$dir/run/pulse/native" pactl exit >/dev/null 2>&1 || true
    fi
    if [[ -n "$pid" ]]; then
        # CONT as well: a daemon a test left stopped takes no other signal.
        kill -TERM "$pid" 2>/dev/null
        kill -CONT "$pid" 2>/dev/null
        # Gone, or a zombie (the container's first process may not reap it).
        local gone="! grep -qv '^[0-9]* ([^)]*) Z' /proc/$pid/stat"
        wait_for 50 sh -c "$gone" || kill -9 "$pid" 2>/dev/null
        wait_for 20 sh -c "$gone"
    fi
    return 0
}

# DIR/env: what every session gives its programs, then the lines on stdin.
write_env() {
    local server=$1
    {
        echo "export XDG_RUNTIME_DIR='$dir/run'"
        echo "export PULSE_SERVER='$server'"
        echo "export HYTUNE_E2E_DIR='$dir'"
        echo "export DBUS_SESSION_BUS_ADDRESS='unix:path=$dir/run/bus'"
        echo "export NO_AT_BRIDGE=1"
        cat
    } >"$dir/env"
}

start() {
    step "ending what ran before"
    stop
    step "display"
    mkdir -p "$dir/run" "$dir/home" && chmod 700 "$dir/run"
    local xlog="$dir/xvfb.log" dispfile="$dir/display"
    rm -f "$dispfile" "$dir/openbox.log"
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$dispfile" >"$xlog" 2>&1 &
    echo $! >"$dir/xvfb.pid"
    wait_for 100 test -s "$dispfile" || { echo "Xvfb did not start"; cat "$xlog"; return 1; }
    local display=":$(tr -d '[:space:]' <"$dispfile")"
    wait_for 50 env DISPLAY="$display" xdpyinfo || { echo "display $display not ready"; return 1; }

    # The window manager: tried a few times, as it has once been seen to give
    # up on a display that had only just come up; the desktop tests need it.
    local attempt
    step "window manager on $display"
    for attempt in 1 2 3; do
        DISPLAY="$display" openbox --sm-disable >>"$dir/openbox.log" 2>&1 &
        echo $! >"$dir/openbox.pid"
        if wait_for 50 sh -c "DISPLAY=$display xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id #'"; then
            break
        fi
        kill "$(cat "$dir/openbox.pid")" 2>/dev/null
        rm -f "$dir/openbox.pid"
        if [[ $attempt -eq 3 ]]; then
            echo "openbox did not come up on $display:"
            cat "$dir/openbox.log"
            return 1
        fi
        sleep 0.5
    done

    # The tray host. Openbox loses a window mapped while it is still starting
    # (the window never appears): the panel must show in its client list, or
    # it is started again.
    for attempt in 1 2 3; do
        step "tray"
        DISPLAY="$display" trayer --edge bottom --align right --widthtype request --height 24 \
            --transparent false >"$dir/trayer.log" 2>&1 &
        echo $! >"$dir/trayer.pid"
        wait_for 50 sh -c "DISPLAY=$display xprop -root _NET_CLIENT_LIST | grep -q 'window id # 0x'" &&
            break
        kill "$(cat "$dir/trayer.pid")" 2>/dev/null
        rm -f "$dir/trayer.pid"
        if [[ $attempt -eq 3 ]]; then
            echo "the tray host's window was not managed on $display:"
            cat "$dir/trayer.log"
            return 1
        fi
    done

    step "sound server"
    start_pulse || return 1
    local server="unix:$dir/run/pulse/native"

    step "session bus"
    # A session bus, as every desktop has one (without it, D-Bus clients try
    # to launch one on their own at every start).
    timeout -k 1 10 dbus-daemon --session --fork --nosyslog --address="unix:path=$dir/run/bus" \
        --print-pid=3 3>"$dir/dbus.pid" >/dev/null 2>"$dir/dbus.log" ||
        echo "warning: no session bus: $(cat "$dir/dbus.log")"

    write_env "$server" <<ENV
export DISPLAY='$display'
unset QT_QPA_PLATFORM WAYLAND_DISPLAY
ENV
    echo "session up: DISPLAY=$display PULSE_SERVER=$server"
}

# A KDE Plasma Wayland desktop without a screen or a GPU (see the wayland
# notes in the README): KWin, XWayland inside it, the portal on demand.
start_wayland() {
    local helper=${1:?start-wayland needs the helper program}
    stop
    # A new home: the shortcut daemon remembers every shortcut ever bound there.
    rm -rf "$dir/home" "$dir/xdisplay" "$dir/helper.log"
    mkdir -p "$dir/run" "$dir/home" && chmod 700 "$dir/run"
    start_pulse || return 1
    local server="unix:$dir/run/pulse/native" socket=wayland-hytune
    # What the bus passes to what it starts: the portal picks its KDE backend
    # by the desktop's name, and that backend needs the Wayland display.
    XDG_CURRENT_DESKTOP=KDE XDG_SESSION_TYPE=wayland WAYLAND_DISPLAY=$socket \
        dbus-daemon --session --fork --nosyslog --address="unix:path=$dir/run/bus" \
        --print-pid=3 3>"$dir/dbus.pid" >/dev/null 2>"$dir/dbus.log" ||
        { echo "no session bus: $(cat "$dir/dbus.log")"; return 1; }
    export DBUS_SESSION_BUS_ADDRESS="unix:path=$dir/run/bus"
    # A copy, as a plain copy drops the file capability that a container may
    # not grant. In a session of its own, so that stop ends XWayland with it.
    cp /usr/bin/kwin_wayland "$dir/kwin_wayland" || return 1
    XDG_CURRENT_DESKTOP=KDE XDG_SESSION_TYPE=wayland KWIN_SCREENSHOT_NO_PERMISSION_CHECKS=1 \
        setsid "$dir/kwin_wayland" --virtual --xwayland --socket "$socket" --width 1024 \
        --height 768 "sh -c 'echo \$DISPLAY >$dir/xdisplay; exec sleep infinity'" \
        >"$dir/kwin.log" 2>&1 &
    echo $! >"$dir/kwin.pid"
    wait_for 300 test -s "$dir/xdisplay" ||
        { echo "kwin_wayland did not come up"; cat "$dir/kwin.log"; return 1; }
    "$helper" "$dir/helper.log" >>"$dir/helper.err" 2>&1 &
    echo $! >"$dir/helper.pid"
    wait_for 100 grep -q ready "$dir/helper.log" ||
        { echo "the desktop helper did not start"; cat "$dir/helper.err"; return 1; }
    write_env "$server" <<ENV
export WAYLAND_DISPLAY='$socket'
export DISPLAY='$(tr -d '[:space:]' <"$dir/xdisplay")'
export XDG_SESSION_TYPE=wayland
export XDG_CURRENT_DESKTOP=KDE
export HYTUNE_DESKTOP_LOG='$dir/helper.log'
unset QT_QPA_PLATFORM
ENV
    echo "wayland session up: WAYLAND_DISPLAY=$socket DISPLAY=$(cat "$dir/xdisplay")"
}

# A GNOME Shell 43 Wayland desktop without a screen or a GPU (see the GNOME
# notes in the README): gnome-shell --headless with XWayland on private buses,
# with a fresh home so that dconf starts empty.
start_gnome() {
    step "ending what ran before"
    stop
    # Nothing of an earlier run: its Wayland socket would be taken for the new
    # one, its X authority files tried in vain.
    rm -rf "$dir/home" "$dir/run" "$dir/shell.log" "$dir/gsd.log"
    mkdir -p "$dir/run" "$dir/home/.config" && chmod 700 "$dir/run"
    local server="unix:$dir/run/pulse/native" socket=wayland-hytune-gnome b
    step "buses"
    # What the buses pass to what they start (dconf, the notification
    # service): the desktop's name and the home that dconf keeps its file in.
    export XDG_CURRENT_DESKTOP=GNOME XDG_SESSION_TYPE=wayland WAYLAND_DISPLAY=$socket \
        XDG_RUNTIME_DIR="$dir/run" HOME="$dir/home" XDG_CONFIG_HOME="$dir/home/.config" \
        DBUS_SYSTEM_BUS_ADDRESS="unix:path=$dir/run/system_bus" \
        DBUS_SESSION_BUS_ADDRESS="unix:path=$dir/run/bus"
    # The desktop portal with GNOME's backends alone, as on a GNOME desktop:
    # xdg-desktop-portal 1.16 would take KDE's (installed for the KDE tests)
    # for what GNOME's lack, GlobalShortcuts among them.
    mkdir -p "$dir/run/portals"
    for b in /usr/share/xdg-desktop-portal/portals/*.portal; do
        grep -qi '^UseIn=.*gnome' "$b" && ln -s "$b" "$dir/run/portals/"
    done
    export XDG_DESKTOP_PORTAL_DIR="$dir/run/portals"
    # GNOME Shell does not start without a system bus; nothing needs to answer
    # on it, so a second bus of the session kind does.
    for b in sysbus:system_bus dbus:bus; do
        timeout -k 1 10 dbus-daemon --session --fork --nosyslog --address="unix:path=$dir/run/${b#*:}" \
            --print-pid=3 3>"$dir/${b%%:*}.pid" >/dev/null 2>"$dir/dbus.log" ||
            { echo "no ${b#*:}: $(cat "$dir/dbus.log")"; return 1; }
    done
    # The tray is the AppIndicator extension's, which must be enabled before
    # the shell starts (dconf starts on the bus).
    step "extensions"
    timeout -k 1 10 gsettings set org.gnome.shell disable-user-extensions false &&
        timeout -k 1 10 gsettings set org.gnome.shell enabled-extensions "['ubuntu-appindicators@ubuntu.com']" ||
        { echo "gsettings could not enable the tray extension"; return 1; }
    # With /run/systemd present the shell wants logind: hidden in a mount
    # namespace of its own. In a session of its own, so that stop ends
    # XWayland with it.
    # The tests' own notification server, before the shell's: it shows
    # buttons a test can press (the shell's own would need a screen).
    step "notifications"
    local helper=${1:?start-gnome needs the helper program}
    rm -f "$dir/helper.log"
    "$helper" "$dir/helper.log" --notifications-only >>"$dir/helper.err" 2>&1 &
    echo $! >"$dir/helper.pid"
    wait_for 100 grep -q ready "$dir/helper.log" ||
        { echo "the desktop helper did not start"; cat "$dir/helper.err"; return 1; }
    step "gnome-shell"
    local hide=
    [[ -d /run/systemd ]] && hide="mount -t tmpfs none /run/systemd && "
    setsid unshare -m sh -c "${hide}exec gnome-shell --headless --wayland --virtual-monitor 1024x768 \
        --wayland-display=$socket" >"$dir/shell.log" 2>&1 &
    echo $! >"$dir/shell.pid"
    # The sound server and GNOME's shortcut daemon start while the shell
    # does: the daemon waits for the shell on the bus, and needs only the
    # Wayland display.
    step "sound server"
    start_pulse || return 1
    step "media keys"
    wait_for 300 test -S "$dir/run/$socket" ||
        { echo "gnome-shell made no Wayland display"; cat "$dir/shell.log"; return 1; }
    /usr/libexec/gsd-media-keys >"$dir/gsd.log" 2>&1 &
    echo $! >"$dir/gsd.pid"
    step "gnome-shell started?"
    wait_for 300 grep -q "GNOME Shell started" "$dir/shell.log" ||
        { echo "gnome-shell did not come up"; cat "$dir/shell.log"; return 1; }
    local display auth a
    display=$(sed -n 's/.*Using public X11 display \(:[0-9]*\).*/\1/p' "$dir/shell.log" | head -1)
    [[ -n "$display" ]] || { echo "gnome-shell named no X display"; cat "$dir/shell.log"; return 1; }
    step "XWayland $display"
    # Its X authority is one of these; absolute, as programs change folder.
    for a in "$dir"/run/.mutter-Xwaylandauth.*; do
        if wait_for 50 env DISPLAY="$display" XAUTHORITY="$a" xdpyinfo; then auth=$a; break; fi
    done
    [[ -n "${auth:-}" ]] || { echo "no X authority works for $display"; return 1; }
    step "the shortcut daemon, the tray, notifications"
    local name
    for name in org.gnome.SettingsDaemon.MediaKeys org.kde.StatusNotifierWatcher \
        org.freedesktop.Notifications; do
        wait_for 100 sh -c "gdbus call --session --dest org.freedesktop.DBus \
            --object-path /org/freedesktop/DBus --method org.freedesktop.DBus.NameHasOwner $name |
            grep -q true" ||
            { echo "nobody serves $name"; cat "$dir/shell.log" "$dir/gsd.log"; return 1; }
    done
    write_env "$server" <<ENV
export WAYLAND_DISPLAY='$socket'
export DISPLAY='$display'
export XAUTHORITY='$auth'
export XDG_SESSION_TYPE=wayland
export XDG_CURRENT_DESKTOP=GNOME
export DBUS_SYSTEM_BUS_ADDRESS='unix:path=$dir/run/system_bus'
# GSettings clients read dconf's file themselves: the session's home.
export HOME='$dir/home'
export XDG_CONFIG_HOME='$dir/home/.config'
export HYTUNE_DESKTOP_LOG='$dir/helper.log'
unset QT_QPA_PLATFORM
ENV
    step "gnome session up: WAYLAND_DISPLAY=$socket DISPLAY=$display"
}

stop() {
    stop_pulse
    [[ -f "$dir/helper.pid" ]] && kill "$(cat "$dir/helper.pid")" 2>/dev/null
    # KWin or GNOME Shell, each with its XWayland (and KWin's child)
    for p in kwin shell; do
        [[ -f "$dir/$p.pid" ]] && kill -- "-$(cat "$dir/$p.pid")" 2>/dev/null
    done
    rm -f "$dir/helper.pid" "$dir/kwin.pid" "$dir/shell.pid"
    for p in gsd dbus sysbus trayer openbox xvfb; do
        if [[ -f "$dir/$p.pid" ]]; then
            kill "$(cat "$dir/$p.pid")" 2>/dev/null
            rm -f "$dir/$p.pid"
        fi
    done
    rm -f "$dir/env"
    return 0
}

case "$cmd" in
start) start ;;
start-wayland) start_wayland "$@" ;;
start-gnome) start_gnome "$@" ;;
stop) stop ;;
pulse-restart)
    [[ -f "$dir/env" ]] || { echo "no session in $dir (start it first)"; exit 1; }
    stop_pulse
    start_pulse
    ;;
exec)
    [[ -f "$dir/env" ]] || { echo "no session in $dir (start it first)"; exit 1; }
    # shellcheck disable=SC1091
    source "$dir/env"
    exec "$@"
    ;;
*) echo "unknown command $cmd"; exit 2 ;;
esac
