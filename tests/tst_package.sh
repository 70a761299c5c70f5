#!/bin/sh
# Builds the Debian package from a build folder and looks inside it (files, declared
# dependencies, lintian, the menu entry); then installs the programs under a temporary
# prefix and runs the installed console, which must write only under the user's folders.
# The monitor's service unit is checked by systemd-analyze in the unpacked package.
# Usage: tst_package.sh BUILD_DIR SOURCE_DIR
set -eu
build=$(cd "$1" && pwd)
source=$(cd "$2" && pwd)
tmp=$(mktemp -d)
pid=""
cleanup() {
    [ -z "$pid" ] || kill -KILL "$pid" 2>/dev/null || true
    rm -rf "$tmp"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

echo "== package"
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$tmp/package" >"$tmp/cpack.log" 2>&1 ||
    { cat "$tmp/cpack.log"; fail "cpack did not build the package"; }
deb=$(ls "$tmp"/package/*.deb)
dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|' | grep -v '/$' | sort >"$tmp/files"
cat >"$tmp/expected" <<EOF
/usr/bin/norda-cli
/usr/bin/norda-console
/usr/bin/norda-devsim
/usr/lib/systemd/system/norda-monitor@.service
/usr/share/applications/norda-console.desktop
/usr/share/doc/norda-console/changelog.gz
/usr/share/doc/norda-console/copyright
/usr/share/icons/hicolor/48x48/apps/norda-console.png
/usr/share/man/man1/norda-cli.1.gz
/usr/share/man/man1/norda-console.1.gz
/usr/share/man/man1/norda-devsim.1.gz
/usr/share/norda-console/installed
EOF
diff -u "$tmp/expected" "$tmp/files" || fail "the package holds other files than expected"

depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for library in libc6 libstdc++6 libqt5core5a libqt5gui5 libqt5widgets5 libqt5network5 \
    libqt5serialport5 libqt5sql5 libqt5sql5-sqlite qttranslations5-l10n libxlsxwriter; do
    printf '%s\n' "$depends" | tr ',' '\n' | sed 's/^ *//' | grep -q "^$library" ||
        fail "Depends lacks $library"
done
[ "$(dpkg-deb -f "$deb" Package)" = "norda-console" ] || fail "package name"
[ "$(dpkg-deb -f "$deb" Architecture)" = "$(dpkg --print-architecture)" ] || fail "architecture"

# Errors fail, and so does any remark on the manual pages; the warnings left are listed in
# docs/developer.md.
lintian --fail-on error --tag-display-limit 0 "$deb" >"$tmp/lintian.log" 2>&1 ||
    { cat "$tmp/lintian.log"; fail "lintian found errors"; }
cat "$tmp/lintian.log"
! grep -Ei 'manual-page|manpage' "$tmp/lintian.log" || fail "lintian remarks on the manual pages"

echo "== service unit"
# The unpacked package over the host's own units: verify checks the command exists in it
# and that the Documentation= page is installed.
mkdir -p "$tmp/root/usr/lib/systemd/system"
cp -a /usr/lib/systemd/system/. "$tmp/root/usr/lib/systemd/system/"
dpkg-deb -x "$deb" "$tmp/root"
MANPATH="$tmp/root/usr/share/man" timeout 60 systemd-analyze verify --root="$tmp/root" \
    norda-monitor@site.service >"$tmp/verify.log" 2>&1 ||
    { cat "$tmp/verify.log"; fail "systemd-analyze verify failed"; }
[ ! -s "$tmp/verify.log" ] || { cat "$tmp/verify.log"; fail "systemd-analyze verify remarks"; }
unit="$tmp/root/usr/lib/systemd/system/norda-monitor@.service"
grep -qx 'ExecStart=/usr/bin/norda-cli monitor --config /etc/norda-console/%i.ini' "$unit" ||
    fail "the unit does not run the monitor on its instance's configuration"
timeout 60 systemd-analyze security --offline=true --no-pager "$unit" >"$tmp/security.log" 2>&1 || true
exposure=$(sed -n 's/.*Overall exposure level for [^:]*: \([0-9.]*\).*/\1/p' "$tmp/security.log")
echo "exposure: $exposure"
[ -n "$exposure" ] || { cat "$tmp/security.log"; fail "no exposure score"; }
awk -v e="$exposure" 'BEGIN { exit !(e < 2.0) }' || fail "exposure $exposure is not below 2.0"
desktop-file-validate "$source/packaging/norda-console.desktop" || fail "menu entry"

echo "== installed copy"
cmake --install "$build" --prefix "$tmp/prefix" >/dev/null
find "$tmp/prefix" | sort >"$tmp/prefix-before"
mkdir -p "$tmp/home/.config/norda-console" "$tmp/cwd"
# One loudspeaker on a loopback address nobody answers: monitoring mode opens the
# journals and polls it.
cat >"$tmp/project.mpj" <<EOF
{ "name": "installed", "id_obj": 1, "nodes": [
  { "nodetype": "device", "id_obj": 1, "type": "horn", "serial": 701, "ip_enabled": true,
    "ip_addr": "127.0.77.2" } ] }
EOF
cat >"$tmp/home/.config/norda-console/settings.ini" <<EOF
[application]
rivar=1
[paths]
lastproject=$tmp/project.mpj
EOF
cp "$tmp/project.mpj" "$tmp/project.before"
(cd "$tmp/cwd" && exec env -u XDG_CONFIG_HOME -u XDG_DATA_HOME HOME="$tmp/home" \
    QT_QPA_PLATFORM=offscreen "$tmp/prefix/bin/norda-console") >"$tmp/console.log" 2>&1 &
pid=$!
data="$tmp/home/.local/share/norda-console"
waited=0
until [ -f "$data/log.sqlite" ] && [ -f "$data/params.sqlite" ]; do
    kill -0 "$pid" 2>/dev/null || { cat "$tmp/console.log"; fail "the console ended early"; }
    [ "$waited" -lt 300 ] || { cat "$tmp/console.log"; fail "no journals in $data after 30 s"; }
    sleep 0.1
    waited=$((waited + 1))
done
kill -TERM "$pid"
status=0
wait "$pid" || status=$?
pid=""
[ "$status" -eq 0 ] || { cat "$tmp/console.log"; fail "the console ended with $status"; }
[ -z "$(ls -A "$tmp/cwd")" ] || fail "the console wrote into the folder it was started in: $(ls -A "$tmp/cwd")"
find "$tmp/prefix" | sort | diff -u "$tmp/prefix-before" - || fail "the console wrote below its prefix"
cmp -s "$tmp/project.mpj" "$tmp/project.before" || fail "the project file changed"
[ "$(sqlite3 "$data/log.sqlite" 'PRAGMA integrity_check;')" = "ok" ] || fail "journal"
grep -q '^lastproject=' "$tmp/home/.config/norda-console/settings.ini" || fail "settings"
echo "PASS"
