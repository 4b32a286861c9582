#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need.
# Does nothing when they are all present; uses sudo when not run as root.
set -euo pipefail

build_pkgs=(cmake make g++ pkg-config qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libgl-dev
    libsndfile1-dev libpulse-dev libjpeg-dev libxcb1-dev)
# Fonts: a Song-style face for the window font, a CJK sans as fallback; Qt's
# own texts (buttons, file dialog) in Chinese.
font_pkgs=(fonts-arphic-uming fonts-wqy-zenhei qt6-translations-l10n)
# Virtual desktop, sound server and tools that the tests drive the program with.
test_pkgs=(xvfb xauth xdotool x11-utils openbox trayer pulseaudio pulseaudio-utils imagemagick
    faketime dbus-daemon python3 libglib2.0-bin
    # the accessibility bus and registry, and the Python client a test reads them with
    at-spi2-core python3-pyatspi
    # the checks of the install and the Debian package
    desktop-file-utils appstream man-db dpkg-dev lintian
    # the real Wayland desktop of the wayland tests: KWin, the desktop portal
    # and its KDE backend (which needs the Qt 5 Wayland plugin), XWayland, and
    # the Qt 6 Wayland plugin for the program
    kwin-wayland xwayland xdg-desktop-portal xdg-desktop-portal-kde qtwayland5 qt6-wayland
    # the real GNOME Shell Wayland desktop: the shell, the tray extension, the
    # daemon that runs custom shortcuts, gjs for the shell's notification
    # service, and dconf's tool to read what the settings hold
    gnome-shell mutter gnome-settings-daemon gnome-shell-extension-appindicator gjs dconf-cli)

want=("${build_pkgs[@]}" "${font_pkgs[@]}")
case "${1:-test}" in
    build) ;;
    run | test | bench) want+=("${test_pkgs[@]}") ;;
    *) echo "usage: $0 [build|run|test|bench]" >&2; exit 2 ;;
esac

missing=()
for p in "${want[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
    [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "Installing: ${missing[*]}"
sudo=()
if [[ $(id -u) -ne 0 ]]; then
    command -v sudo >/dev/null || { echo "need root or sudo to install: ${missing[*]}" >&2; exit 1; }
    sudo=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -q
"${sudo[@]}" apt-get -o DPkg::Lock::Timeout=300 install -y --no-install-recommends "${missing[@]}"
