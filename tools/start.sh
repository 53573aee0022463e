#!/usr/bin/env bash
# Installs what is missing, builds the program and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release --target relvanto
program=$PWD/build/release/app/relvanto
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$(mktemp -d)}"

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ] || [ -n "${QT_QPA_PLATFORM:-}" ]; then
  exec "$program"
fi

# No display: the window goes on a virtual screen that only the person running this command can
# reach. The X server asks for a cookie kept in a file only they can read, and VNC asks for a
# password made now and printed once. Both listen on this machine only.
bash tools/install-deps.sh xvfb x11vnc xauth openbox dbus
umask 077
private=$(mktemp -d)
pids=()
# Ends the helpers, newest first; one that hangs on its way out (x11vnc can, once the X server has
# gone) is killed after two seconds.
stop_all() {
  local i pid
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null || true; done
  for _ in $(seq 20); do
    local running=0
    for pid in "${pids[@]}"; do kill -0 "$pid" 2>/dev/null && running=1; done
    [ "$running" -eq 0 ] && break
    sleep 0.1
  done
  for pid in "${pids[@]}"; do kill -KILL "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$private"
}
trap stop_all EXIT
fail() {
  echo "The virtual screen could not be started: $1" >&2
  [ -s "$2" ] && sed 's/^/  /' "$2" >&2
  exit 1
}
# Waits until FILE has a line matching PATTERN, or the process PID has ended (then returns 1).
wait_for_line() {
  local pid=$1 file=$2 pattern=$3
  for _ in $(seq 200); do
    grep -q "$pattern" "$file" 2>/dev/null && return 0
    kill -0 "$pid" 2>/dev/null || { grep -q "$pattern" "$file" 2>/dev/null; return; }
    sleep 0.05
  done
  return 1
}

# A fresh cookie; secrets go through files and pipes, never through command lines that others see.
export XAUTHORITY=$private/Xauthority
: >"$XAUTHORITY"
cookie=$(od -An -N16 -tx1 /dev/urandom | tr -d ' \n')
echo "add :0 . $cookie" | xauth -q -f "$XAUTHORITY" source -

# The server picks a display number nobody uses and writes it to descriptor 3 once it takes
# connections; the server ignores the display number in its authority file.
Xvfb -displayfd 3 -auth "$XAUTHORITY" -nolisten tcp -screen 0 1024x768x24 \
  3>"$private/display" >"$private/xvfb.log" 2>&1 &
pids+=($!)
wait_for_line "$!" "$private/display" '^[0-9]' || fail "Xvfb did not start." "$private/xvfb.log"
screen=:$(head -n 1 "$private/display")
echo "add $screen . $cookie" | xauth -q -f "$XAUTHORITY" source -
export DISPLAY=$screen

# A window manager gives the window a title bar with its close box and window menu (Alt+Space).
openbox >"$private/openbox.log" 2>&1 &
pids+=($!)

# Eight characters: VNC reads no more of a password. x11vnc removes the file once it has read it.
password=$(head -c 48 /dev/urandom | base64 | tr -dc 'A-Za-z0-9')
password=${password:0:8}
echo "$password" >"$private/vncpasswd"
x11vnc -display "$screen" -auth "$XAUTHORITY" -localhost -autoport 5900 \
  -passwdfile "rm:$private/vncpasswd" -forever -shared -quiet >"$private/x11vnc.out" 2>"$private/x11vnc.log" &
pids+=($!)
wait_for_line "$!" "$private/x11vnc.out" '^PORT=' || fail "x11vnc did not start." "$private/x11vnc.log"
port=$(sed -n 's/^PORT=//p' "$private/x11vnc.out" | head -n 1)

# A session bus of its own, in the private folder: accessibility reaches the window through it, and
# libdbus starts no bus behind the window (where dbus-x11 is installed, that one's dbus-launch
# outlives the command). Started here, not through dbus-run-session, which never waits for its bus:
# where the first process reaps no orphans, that bus would be left behind.
dbus-daemon --session --nofork --nosyslog --address="unix:dir=$private" --print-address=3 \
  3>"$private/bus" >"$private/dbus.log" 2>&1 &
pids+=($!)
wait_for_line "$!" "$private/bus" '^unix:' || fail "the session bus did not start." "$private/dbus.log"
export DBUS_SESSION_BUS_ADDRESS=$(head -n 1 "$private/bus")

echo "No display here (DISPLAY and WAYLAND_DISPLAY are unset): the window is on a virtual screen served by VNC at 127.0.0.1:$port with the password $password (made for this run only); from another machine: ssh -L $port:127.0.0.1:$port this-machine, then connect the viewer to 127.0.0.1:$port."
"$program"
