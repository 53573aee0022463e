#!/usr/bin/env bash
# Installs what is missing, builds and runs every test: plain, under AddressSanitizer with
# UndefinedBehaviorSanitizer, and the parts without Qt under ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh
export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$(mktemp -d)}"
chmod 700 "$XDG_RUNTIME_DIR"
jobs=$(nproc)

status=0
for preset in release sanitize tsan; do
  echo "=== $preset ==="
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  if ! ctest --preset "$preset" -j "$jobs"; then
    status=1
  fi
done
# The installed program: the Debian package is built, validated, installed, started and removed.
if [ "$(id -u)" -eq 0 ]; then
  echo "=== package ==="
  bash tools/package-check.sh || status=1
  # The start command without a display: only the person who ran it can reach the window, and
  # nothing of it outlives it, even where libdbus could start a session bus of its own (dbus-x11).
  echo "=== start command ==="
  bash tools/install-deps.sh python3 procps xvfb x11vnc xauth openbox dbus dbus-x11
  python3 tools/check-start.py || status=1
fi
# The README's picture is drawn by this command; it must keep working.
echo "=== screenshot ==="
bash tools/screenshot.sh build/screenshot.png || status=1
exit $status
