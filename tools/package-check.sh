#!/usr/bin/env bash
# Builds the Debian package, checks its desktop entry and AppStream record, installs it on this
# machine, starts the installed program for a moment (offscreen) from its menu entry and from the
# shell, and removes it again. Needs root.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release --target relvanto

desktop-file-validate resources/linux/org.dovrenix.Relvanto.desktop
appstreamcli validate --no-net --pedantic resources/linux/org.dovrenix.Relvanto.metainfo.xml

rm -f build/release/relvanto_*.deb
(cd build/release && cpack -G DEB >/dev/null)
deb=$(ls build/release/relvanto_*.deb)
echo "package: $deb"
dpkg-deb --field "$deb" Depends

export DEBIAN_FRONTEND=noninteractive
apt-get install -y -qq "./$deb" >/dev/null
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
status=0
starts $exec_line || { echo "the menu entry's command did not start: $exec_line"; status=1; }
starts relvanto || { echo "relvanto did not start from the shell"; status=1; }
for f in /usr/share/metainfo/org.dovrenix.Relvanto.metainfo.xml \
         /usr/share/icons/hicolor/16x16/apps/org.dovrenix.Relvanto.png \
         /usr/share/icons/hicolor/256x256/apps/org.dovrenix.Relvanto.png \
         /usr/share/icons/hicolor/scalable/apps/org.dovrenix.Relvanto.svg; do
  [ -f "$f" ] || { echo "not installed: $f"; status=1; }
done

apt-get remove -y -qq relvanto >/dev/null
if [ -e /usr/bin/relvanto ] || [ -e "$entry" ]; then
  echo "files left behind after removal"
  status=1
fi
[ "$status" -eq 0 ] && echo "package check: built, validated, installed, started, removed"
exit "$status"
