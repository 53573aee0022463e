#!/usr/bin/env bash
# Installs what is missing, builds the program and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release --target relvanto
program=build/release/app/relvanto
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$(mktemp -d)}"

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ] || [ -n "${QT_QPA_PLATFORM:-}" ]; then
  exec "$program"
fi

# No display: show the window on a virtual screen and serve that screen over VNC, on loopback only.
bash tools/install-deps.sh xvfb x11vnc
port=5900
screen=:57
echo "No display here (DISPLAY and WAYLAND_DISPLAY are unset): the window is on a virtual screen served by VNC at 127.0.0.1:$port; connect a VNC viewer there (from another machine: ssh -L $port:127.0.0.1:$port this-machine)."
Xvfb "$screen" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb ${vnc:-} 2>/dev/null || true' EXIT
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${screen#:}" ] && break; sleep 0.1; done
x11vnc -display "$screen" -localhost -rfbport "$port" -forever -nopw -quiet >/dev/null 2>&1 &
vnc=$!
DISPLAY="$screen" "$program"
