#!/usr/bin/env bash
# Builds the Debian package and its debug symbols package, checks them with lintian (any error or
# warning fails; an override needs a written reason beside it), checks the desktop entry and the
# AppStream record, installs the package on this machine, reads its manual page, asks the installed
# program for --help and --version, starts it for a moment (offscreen) from its menu entry and from
# the shell, and removes it again. Needs root.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh lintian man-db
cmake --preset release >/dev/null
cmake --build --preset release --target relvanto relvanto_package_docs

desktop-file-validate resources/linux/org.dovrenix.Relvanto.desktop
appstreamcli validate --no-net --pedantic resources/linux/org.dovrenix.Relvanto.metainfo.xml

rm -f build/release/relvanto_*.deb build/release/relvanto-dbgsym_*.deb
(cd build/release && cpack -G DEB >/dev/null)
deb=$(ls build/release/relvanto_*.deb)
dbgsym=$(ls build/release/relvanto-dbgsym_*.deb)
echo "package: $deb ($(stat -c %s "$deb") bytes), symbols: $dbgsym ($(stat -c %s "$dbgsym") bytes)"
dpkg-deb --field "$deb" Depends
status=0
lintian --fail-on error,warning "$deb" "$dbgsym" || { echo "lintian found faults in the packages"; status=1; }
version=$(dpkg-deb --field "$deb" Version)
changelog=$(dpkg-parsechangelog -l packaging/debian/changelog -S Version)
[ "$changelog" = "$version" ] || { echo "the changelog's last entry is $changelog, the package $version"; status=1; }

export DEBIAN_FRONTEND=noninteractive
apt-get install -y -qq "./$deb" "./$dbgsym" >/dev/null
export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$(mktemp -d)}"
# The trial runs keep their settings in a folder of their own, not in this machine's store.
store=$(mktemp -d)
trap 'rm -rf "$store"' EXIT
export RELVANTO_MACHINE_STORE="$store/machine" RELVANTO_USER_STORE="$store/user"

# Still running after two seconds means it started and shows its window.
starts() {
  local rc=0
  timeout 2 "$@" >/dev/null 2>&1 || rc=$?
  [ "$rc" -eq 124 ]
}
entry=/usr/share/applications/org.dovrenix.Relvanto.desktop
exec_line=$(sed -n 's/^Exec=//p' "$entry")
starts $exec_line || { echo "the menu entry's command did not start: $exec_line"; status=1; }
starts relvanto || { echo "relvanto did not start from the shell"; status=1; }
starts env -u QT_QPA_PLATFORM relvanto -platform offscreen || { echo "relvanto -platform offscreen did not start"; status=1; }
for f in /usr/share/metainfo/org.dovrenix.Relvanto.metainfo.xml \
         /usr/share/doc/relvanto/copyright \
         /usr/share/icons/hicolor/16x16/apps/org.dovrenix.Relvanto.png \
         /usr/share/icons/hicolor/256x256/apps/org.dovrenix.Relvanto.png \
         /usr/share/icons/hicolor/scalable/apps/org.dovrenix.Relvanto.svg; do
  [ -f "$f" ] || { echo "not installed: $f"; status=1; }
done
# The installed program is stripped; a debugger finds its symbols by its build id.
build_id=$(LC_ALL=C readelf -n /usr/bin/relvanto | sed -n 's/.*Build ID: //p')
file /usr/bin/relvanto | grep -q ', stripped' || { echo "/usr/bin/relvanto is not stripped"; status=1; }
[ -f "/usr/lib/debug/.build-id/${build_id:0:2}/${build_id:2}.debug" ] ||
  { echo "no symbols installed for build id '$build_id'"; status=1; }

# The manual page as `man relvanto` shows it: every section there, and groff has nothing to say.
page=$(man -w relvanto 2>/dev/null || true)
[ "$page" = /usr/share/man/man1/relvanto.1.gz ] || { echo "man relvanto finds '$page'"; status=1; }
warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null || true)
[ -z "$warnings" ] || { echo "the manual page has faults:"; echo "$warnings"; status=1; }
rendered=$(MANWIDTH=80 man -l "$page" 2>/dev/null | col -b)
for section in NAME SYNOPSIS DESCRIPTION OPTIONS FILES ENVIRONMENT "EXIT STATUS" "SEE ALSO"; do
  grep -qx "$section" <<<"$rendered" || { echo "the manual page has no $section"; status=1; }
done
for word in dosdevices RELVANTO_MACHINE_STORE RELVANTO_USER_STORE; do
  grep -q "$word" <<<"$rendered" || { echo "the manual page does not mention $word"; status=1; }
done

# --help and --version answer on stdout with status 0, without a display or a window.
for option in --help --version; do
  rc=0
  out=$(env -u QT_QPA_PLATFORM -u DISPLAY -u WAYLAND_DISPLAY timeout 10 relvanto "$option" 2>/dev/null) || rc=$?
  [ "$rc" -eq 0 ] && [ -n "$out" ] || { echo "relvanto $option ended with status $rc, printing '$out'"; status=1; }
done
grep -q "^relvanto (Dovrenix Relvanto) $version\$" <<<"$(relvanto --version)" ||
  { echo "relvanto --version does not say $version"; status=1; }

apt-get remove -y -qq relvanto relvanto-dbgsym >/dev/null
if [ -e /usr/bin/relvanto ] || [ -e "$entry" ] || [ -e /usr/share/man/man1/relvanto.1.gz ] ||
   [ -e "/usr/lib/debug/.build-id/${build_id:0:2}/${build_id:2}.debug" ]; then
  echo "files left behind after removal"
  status=1
fi
[ "$status" -eq 0 ] && echo "package check: built, lintian clean, validated, installed, manual page, --help and --version read, started, removed"
exit "$status"
