#!/usr/bin/env bash
# Installs the build into a folder of its own and makes the Debian package,
# then checks what a desktop needs of them: the desktop entry, the AppStream
# data and the icons under the program's id, the manual pages, the copyright
# file; and the package with lintian, which must have nothing to say.
# Usage: check-install.sh BUILD_DIR
set -uo pipefail
build=$(realpath "${1:?usage: check-install.sh BUILD_DIR}")
id=example.heyinsoft.hytune
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0
fail() { echo "FAIL: $*"; failed=1; }

cmake --install "$build" --prefix "$work/usr" >"$work/install.log" 2>&1 ||
    { cat "$work/install.log"; fail "cmake --install"; exit 1; }
for f in bin/hytune share/applications/$id.desktop share/metainfo/$id.metainfo.xml \
    share/icons/hicolor/scalable/apps/$id.svg share/icons/hicolor/32x32/apps/$id.png \
    share/icons/hicolor/256x256/apps/$id.png share/man/man1/hytune.1.gz \
    share/man/zh_CN/man1/hytune.1.gz share/doc/hytune/copyright share/doc/hytune/LICENSE.uming \
    share/doc/hytune/changelog.Debian.gz; do
    [[ -s "$work/usr/$f" ]] || fail "not installed: $f"
done
[[ -z $(find "$work/usr/share/icons" -name 'hytune.*') ]] || fail "an icon not named $id"
# The installed program finds its network module: with no bus, --status asks
# over the local socket, which the module serves.
out=$(env -u DBUS_SESSION_BUS_ADDRESS XDG_RUNTIME_DIR="$work" QT_QPA_PLATFORM=offscreen \
    "$work/usr/bin/hytune" --status 2>&1)
grep -q "network module" <<<"$out" && fail "the installed program lacks its network module: $out"

# Any word of the validator is a fault: hints too.
desktop=$work/usr/share/applications/$id.desktop
out=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate failed"
[[ -z "$out" ]] || fail "desktop-file-validate: $out"
grep -qx 'Actions=toggle;show;' "$desktop" || fail "no actions"
grep -qx 'Exec=hytune --toggle' "$desktop" || fail "no --toggle action"
grep -qx "Icon=$id" "$desktop" || fail "icon not named $id"

appstreamcli validate --no-net "$work/usr/share/metainfo/$id.metainfo.xml" ||
    fail "appstreamcli validate"

for page in man1/hytune.1.gz zh_CN/man1/hytune.1.gz; do
    text=$(LC_ALL=C.UTF-8 MANWIDTH=100 man -l "$work/usr/share/man/$page" 2>"$work/man.err")
    # Lines of Chinese, which has no spaces to stretch, cannot be justified:
    # troff says so, and that is all.
    errors=$(grep -v -e "cannot adjust line" -e "can't break line" "$work/man.err")
    [[ -z "$errors" ]] || fail "man $page: $errors"
    for word in --toggle --status example.heyinsoft.hytune.Toggle; do
        grep -q -- "$word" <<<"$text" || fail "man $page does not tell of $word"
    done
done

# The package is made from the same install rules.
(cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" \
    -B "$work/deb" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; fail "cpack"; }
deb=$(ls "$work"/deb/*.deb 2>/dev/null | head -n 1)
if [[ -n "$deb" ]]; then
    contents=$(dpkg-deb -c "$deb")
    for f in ./usr/share/doc/hytune/copyright ./usr/share/doc/hytune/changelog.Debian.gz \
        ./usr/share/applications/$id.desktop ./usr/share/metainfo/$id.metainfo.xml \
        ./usr/share/man/man1/hytune.1.gz; do
        grep -q " $f\$" <<<"$contents" || fail "the package lacks $f"
    done
    # lintian, as a user (as root it says that it would rather not be):
    # any error, warning or other line it prints is a fault.
    lint=(lintian)
    if [[ $(id -u) -eq 0 ]]; then
        chmod -R a+rX "$work"
        lint=(setpriv --reuid=65534 --regid=65534 --clear-groups env HOME="$work" lintian)
    fi
    out=$("${lint[@]}" "$deb" 2>&1) || fail "lintian failed"
    [[ -z "$out" ]] || fail "lintian: $out"
else
    fail "no package made"
fi
[[ $failed -eq 0 ]] && echo "install and package: all checks passed"
exit $failed
