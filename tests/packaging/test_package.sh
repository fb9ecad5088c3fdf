#!/usr/bin/env bash
# Builds the Debian package from this build tree and checks it the way a user and Debian's
# tools meet it: the file list and control fields (dpkg-deb), the unpacked binary answering
# --version with no display, the desktop entry and metainfo validators, and lintian.
# Usage: test_package.sh <build dir> <version> <app id>
set -euo pipefail
build=$1 version=$2 id=$3
arch=$(dpkg --print-architecture)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 || {
    cat "$work/cpack.log"; exit 1; }
deb="$work/out/brevilo_${version}_${arch}.deb"
[ -f "$deb" ] || { ls "$work/out"; echo "FAIL: no $(basename "$deb")" >&2; exit 1; }

# Regular files only, exactly these (that root owns them is lintian's check).
dpkg-deb -c "$deb" | awk '$1 ~ /^-/ {sub(/^\.\//, "/", $6); print $6}' | sort >"$work/files"
printf '%s\n' /usr/bin/brevilo "/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/brevilo/brevilo_keychain.so" \
    "/usr/share/applications/$id.desktop" $(for s in 16 32 48 64 128 256; do echo "/usr/share/icons/hicolor/${s}x$s/apps/$id.png"; done) \
    "/usr/share/icons/hicolor/scalable/apps/$id.svg" "/usr/share/metainfo/$id.metainfo.xml" \
    /usr/share/man/man1/brevilo.1.gz /usr/share/doc/brevilo/changelog.gz /usr/share/doc/brevilo/copyright | sort >"$work/expected"
diff -u "$work/expected" "$work/files" || fail "the package's files differ from the list above"

field() { dpkg-deb -f "$deb" "$1"; }
for pair in Package=brevilo "Version=$version" "Architecture=$arch" Section=mail Priority=optional; do
    [ "$(field "${pair%%=*}")" = "${pair#*=}" ] || fail "${pair%%=*} is not ${pair#*=}"
done
# dpkg-shlibdeps found the linked Qt libraries; qt6-wayland is only recommended.
depends=$(field Depends | sed 's/ *([^)]*)//g; s/, */\n/g')
for lib in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 libqt6network6 libqt6networkauth6 libqt6keychain1 libsecret-1-0; do
    grep -qxF "$lib" <<<"$depends" || fail "Depends lacks $lib"
done
# What Qt loads rather than links must come with the package too: the X11 platform plugin and
# the TLS backend, in whichever packages this Debian ships them.
plugins=$(qtpaths6 --plugin-dir 2>/dev/null || echo /usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/qt6/plugins)
for plugin in platforms/libqxcb.so tls/libqopensslbackend.so; do
    owner=$(dpkg -S "$plugins/$plugin" | cut -d: -f1)
    grep -qxF "$owner" <<<"$depends" || fail "Depends lacks $owner, which ships $plugin"
done
grep -q qt6-wayland <<<"$(field Recommends)" || fail "Recommends lacks qt6-wayland"

root="$work/root"
dpkg-deb -x "$deb" "$root"
# The unpacked binary runs with no display; its other answers are the command line test's.
out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/usr/bin/brevilo" --version) || fail "--version exited with $?"
[ "$out" = "Brevilo $version" ] || fail "--version printed '$out'"

desktop="$root/usr/share/applications/$id.desktop"
desktop-file-validate "$desktop" || fail "desktop-file-validate"
grep -qx "Icon=$id" "$desktop" || fail "the desktop entry's Icon is not $id"
grep -qx "Exec=brevilo" "$desktop" || fail "the desktop entry does not start brevilo"

metainfo="$root/usr/share/metainfo/$id.metainfo.xml"
appstreamcli validate --no-net "$metainfo" || fail "appstreamcli validate"
grep -q "<id>$id</id>" "$metainfo" || fail "the metainfo's id is not $id"
grep -q "<release version=\"$version\"" "$metainfo" || fail "the metainfo has no release $version"
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" || fail "launchable"
# Every screenshot is one the window test renders from the real windows.
shots=$(grep -o 'screenshot_[A-Za-z]*\.png' "$metainfo" | sort -u)
[ -n "$shots" ] || fail "no screenshots"
for shot in $shots; do
    [ -s "$build/tests/app/$shot" ] || fail "$shot is not rendered by the window test"
done

gunzip -c "$root/usr/share/doc/brevilo/changelog.gz" >"$work/changelog"
[ "$(dpkg-parsechangelog -l "$work/changelog" -S Version)" = "$version" ] ||
    fail "the changelog's latest entry is not $version"
gunzip -c "$root/usr/share/man/man1/brevilo.1.gz" | grep -q "^\.TH BREVILO 1 .*\"Brevilo $version\"" ||
    fail "the manual page is not the one of version $version"

# Errors and warnings fail the test (among them the Maintainer's form and the Description's
# synopsis and extended lines); information is printed for the record.
lintian --fail-on error,warning --display-level '>=pedantic' "$deb" || fail "lintian reports errors or warnings"
# The module is no public library: the package runs no ldconfig at install or removal.
dpkg-deb --ctrl-tarfile "$deb" | tar -t | grep -E 'post(inst|rm)$' && fail "the package ships maintainer scripts"

[ $failures -eq 0 ] || { echo "$failures check(s) failed" >&2; exit 1; }
echo "package $(basename "$deb") passed"
