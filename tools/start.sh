#!/usr/bin/env bash
# Installs what is missing, builds the program and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release --target relvanto

program=build/release/app/relvanto
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "No display here: the window is served over VNC on port 5900 (connect a VNC viewer to this machine's port 5900); on a desktop it opens as a normal window."
  export QT_QPA_PLATFORM="vnc:size=1024x768:port=5900"
fi
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$(mktemp -d)}"
exec "$program"
