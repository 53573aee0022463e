#!/usr/bin/env python3
"""Checks that the start command without a display lets nobody else reach the window.

Run as root, in the checkout: another user first takes a display number; then tools/start.sh is
started with no display and its screen is probed as an outsider would. Prints one line per check
and exits non-zero when any fails. With --picture FILE, writes what a VNC viewer sees as a PNG.
"""
import os, re, shutil, signal, socket, struct, subprocess, sys, tempfile, time, zlib

HERE = os.path.dirname(os.path.abspath(__file__))
results = []


def check(ok, what):
    print(("ok   " if ok else "FAIL ") + what)
    results.append(bool(ok))


def wait_until(condition, seconds):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        value = condition()
        if value:
            return value
        time.sleep(0.1)
    return None


def as_nobody(args, env=None):
    return subprocess.run(["setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups", *args],
                          env=env, capture_output=True)


def children(pid):
    out = subprocess.run(["ps", "-o", "pid=,args=", "--ppid", str(pid)], capture_output=True, text=True)
    return [line.strip().split(None, 1) for line in out.stdout.splitlines() if line.strip()]


def recv_exact(sock, n):
    data = b""
    while len(data) < n:
        chunk = sock.recv(n - len(data))
        if not chunk:
            raise ConnectionError("closed")
        data += chunk
    return data


def des_response(password, challenge):
    # VNC's key is the password's bytes with each byte's bits reversed.
    key = bytes(int(f"{b:08b}"[::-1], 2) for b in password.encode()[:8].ljust(8, b"\0"))
    return subprocess.run(["openssl", "enc", "-des-ecb", "-nopad", "-K", key.hex(),
                           "-provider", "legacy", "-provider", "default"],
                          input=challenge, capture_output=True, check=True).stdout


def vnc_session(port, password):
    """Returns (security types offered, authenticated, (width, height) or None, socket or None)."""
    try:
        return vnc_attempt(port, password)
    except (ConnectionError, socket.timeout):
        return [], False, None, None


def vnc_attempt(port, password):
    sock = socket.create_connection(("127.0.0.1", port), timeout=10)
    recv_exact(sock, 12)
    sock.sendall(b"RFB 003.008\n")
    count = recv_exact(sock, 1)[0]
    types = list(recv_exact(sock, count))
    if password is None:
        if 1 in types:
            sock.sendall(b"\x01")
            authenticated = recv_exact(sock, 4) == b"\0\0\0\0"
        else:
            authenticated = False
        sock.close()
        return types, authenticated, None, None
    sock.sendall(b"\x02")
    challenge = recv_exact(sock, 16)
    sock.sendall(des_response(password, challenge))
    if recv_exact(sock, 4) != b"\0\0\0\0":
        sock.close()
        return types, False, None, None
    sock.sendall(b"\x01")  # shared
    width, height = struct.unpack(">HH", recv_exact(sock, 4))
    recv_exact(sock, 16)
    recv_exact(sock, struct.unpack(">I", recv_exact(sock, 4))[0])
    return types, True, (width, height), sock


def grab_png(sock, size, path):
    width, height = size
    # 32 bits per pixel, little endian, true colour, red at bit 16, raw encoding only.
    sock.sendall(struct.pack(">B3xBBBBHHHBBB3x", 0, 32, 24, 0, 1, 255, 255, 255, 16, 8, 0))
    sock.sendall(struct.pack(">BxHi", 2, 1, 0))
    sock.sendall(struct.pack(">BBHHHH", 3, 0, 0, 0, width, height))
    pixels = bytearray(width * height * 4)
    while True:
        kind = recv_exact(sock, 1)[0]
        if kind != 0:
            continue
        recv_exact(sock, 1)
        (rects,) = struct.unpack(">H", recv_exact(sock, 2))
        for _ in range(rects):
            x, y, w, h, enc = struct.unpack(">HHHHi", recv_exact(sock, 12))
            data = recv_exact(sock, w * h * 4)
            for row in range(h):
                start = ((y + row) * width + x) * 4
                pixels[start:start + w * 4] = data[row * w * 4:(row + 1) * w * 4]
        break
    raw = bytearray()
    for row in range(height):
        line = pixels[row * width * 4:(row + 1) * width * 4]
        rgb = bytearray(width * 3)
        rgb[0::3], rgb[1::3], rgb[2::3] = line[2::4], line[1::4], line[0::4]
        raw += b"\0" + rgb

    def chunk(tag, body):
        return struct.pack(">I", len(body)) + tag + body + struct.pack(">I", zlib.crc32(tag + body))
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
                + chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))


def main():
    if os.geteuid() != 0:
        sys.exit("Run this as root: it checks what other users can reach.")
    picture = sys.argv[2] if len(sys.argv) > 2 and sys.argv[1] == "--picture" else None
    work = tempfile.mkdtemp()
    os.chmod(work, 0o755)

    # Another user takes the lowest free display number first (in the usual socket folder, root's).
    if not os.path.isdir("/tmp/.X11-unix"):
        os.mkdir("/tmp/.X11-unix")
        os.chmod("/tmp/.X11-unix", 0o1777)
    squatter_fd = os.path.join(work, "squatter-display")
    open(squatter_fd, "w").close()
    os.chmod(squatter_fd, 0o666)
    squatter = subprocess.Popen(
        ["setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups", "sh", "-c",
         f"exec Xvfb -displayfd 3 -nolisten tcp 3>{squatter_fd}"],
        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
    taken = wait_until(lambda: open(squatter_fd).read().strip(), 20) or "?"
    check(bool(taken), f"another user holds display :{taken}")

    env = {k: v for k, v in os.environ.items()
           if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XAUTHORITY")}
    log = open(os.path.join(work, "start.out"), "w+")
    start = subprocess.Popen(["bash", os.path.join(HERE, "start.sh")], env=env, stdout=log,
                             stderr=subprocess.STDOUT, start_new_session=True)
    try:
        def printed():
            log.seek(0)
            return re.search(r"VNC at 127\.0\.0\.1:(\d+)(?: with the password (\S+) )?", log.read())
        line = wait_until(printed, 600)
        check(bool(line and line.group(2)), "the start command prints the VNC port and a password")
        if not line:
            log.seek(0)
            print(log.read())
            return
        port, password = int(line.group(1)), line.group(2) or ""

        def helpers():
            found = {args.split()[0]: args for _, args in children(start.pid)}
            return found if "x11vnc" in found else None
        procs = wait_until(helpers, 30) or {}
        display = re.search(r"-display (:\d+)", procs.get("x11vnc", ""))
        display = display.group(1) if display else ":0"
        auth = re.search(r"-auth (\S+)", procs.get("Xvfb", ""))
        auth = auth.group(1) if auth else None
        check(auth is not None, "Xvfb runs with an authority file")
        if auth:
            st = os.stat(auth)
            check(st.st_uid == 0 and (st.st_mode & 0o777) == 0o600, f"{auth} is root's, mode 0600")
            check((os.stat(os.path.dirname(auth)).st_mode & 0o077) == 0, "its folder is closed to others")
            check(as_nobody(["cat", auth]).returncode != 0, "another user cannot read the cookie file")
            cookies = subprocess.run(["xauth", "-f", auth, "list"], capture_output=True, text=True).stdout
            check(re.search(rf"{display}\s+MIT-MAGIC-COOKIE-1\s+[0-9a-f]{{32}}", cookies) is not None,
                  f"it holds a cookie for {display}")
        check(display != f":{taken}", f"the start command took a free display ({display}), not :{taken}")

        def program_bus():
            for pid, args in children(start.pid):
                if args.split()[0].endswith("/relvanto"):
                    with open(f"/proc/{pid}/environ", "rb") as f:
                        env = dict(v.split(b"=", 1) for v in f.read().split(b"\0") if b"=" in v)
                    return env.get(b"DBUS_SESSION_BUS_ADDRESS", b"none").decode()
            return None
        bus = wait_until(program_bus, 30) or "none"
        private = os.path.dirname(auth) if auth else "?"
        check(bus.startswith(f"unix:path={private}/"), f"the program has a session bus of its own ({bus.split(',')[0]})")

        outsider = {"PATH": os.environ["PATH"], "HOME": "/nonexistent"}
        check(as_nobody(["xdpyinfo", "-display", display], outsider).returncode != 0,
              f"another user cannot open {display} through X")
        check(subprocess.run(["xdpyinfo", "-display", display], capture_output=True,
                             env={**outsider, "XAUTHORITY": "/dev/null"}).returncode != 0,
              f"even root cannot open {display} without the cookie")
        owner = {**outsider, "XAUTHORITY": auth or "/dev/null"}
        check(subprocess.run(["xdpyinfo", "-display", display], capture_output=True, env=owner).returncode == 0,
              f"with the cookie {display} opens")
        tree = wait_until(lambda: "relvanto" in subprocess.run(
            ["xwininfo", "-root", "-tree", "-display", display], capture_output=True, text=True,
            env=owner).stdout.lower(), 30)
        check(bool(tree), "the window is on the virtual screen")
        wm = subprocess.run(["xprop", "-root", "-display", display, "_NET_SUPPORTING_WM_CHECK"],
                            capture_output=True, text=True, env=owner).stdout
        check("window id" in wm, "a window manager runs there (title bar, close box, window menu)")

        types, authenticated, _, _ = vnc_session(port, None)
        check(1 not in types and not authenticated, f"VNC offers no access without a password (types {types})")
        _, authenticated, _, _ = vnc_session(port, "wrong" + password[:3])
        check(not authenticated, "VNC refuses a wrong password")
        _, authenticated, size, sock = vnc_session(port, password)
        check(authenticated and size is not None, f"VNC opens with the printed password (screen {size})")
        if sock and picture:
            grab_png(sock, size, picture)
            print(f"     what the viewer sees: {picture}")
        if sock:
            sock.close()
    finally:
        os.killpg(start.pid, signal.SIGTERM)
        start.wait(timeout=30)
        os.killpg(squatter.pid, signal.SIGTERM)
        squatter.wait(timeout=30)
        left = subprocess.run(["pgrep", "-s", str(start.pid)], capture_output=True, text=True).stdout.split()
        check(not left, "nothing of the start command is left running after it ends")
        shutil.rmtree(work, ignore_errors=True)
    print(f"{results.count(True)} passed, {results.count(False)} failed")
    sys.exit(0 if all(results) else 1)


if __name__ == "__main__":
    main()
