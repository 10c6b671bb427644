"""Shared by the link's tests: the panel's API, a click on a named control, waiting, a plan near
a position, a recorded session replayed, and `ins-host link` started and stopped."""
import json
import math
import os
import re
import signal
import socket
import subprocess
import sys
import time
import urllib.request

HERE = os.path.dirname(os.path.abspath(__file__))

NM_PER_DEG = 60.0


def api(base, path, body=None):
    data = None if body is None else json.dumps(body).encode()
    req = urllib.request.Request(base + path, data=data,
                                 method="POST" if body is not None else "GET")
    if body is not None:
        req.add_header("Content-Type", "application/json")
        req.add_header("X-INS-Panel", "1")
    with urllib.request.urlopen(req, timeout=10) as r:
        return json.loads(r.read())


def until(probe, timeout_s, what, every_s=0.05):
    end = time.time() + timeout_s
    last = None
    while time.time() < end:
        last = probe()
        if last:
            return last
        time.sleep(every_s)
    raise AssertionError(f"timed out after {timeout_s} s waiting for {what} (last: {last})")


def click(base, layout, gauge, control):
    g = next(g for g in layout["gauges"] if g["name"] == gauge)
    box = next(b for b in g["mouse"] if b.get("control") == control)
    x, y = box["x"] + box["width"] // 2, box["y"] + box["height"] // 2
    api(base, "/api/mouse", {"gauge": gauge, "x": x, "y": y, "action": "down"})
    api(base, "/api/mouse", {"gauge": gauge, "x": x, "y": y, "action": "up"})


def course_deg(lat1, lon1, lat2, lon2):
    p1, p2, dl = math.radians(lat1), math.radians(lat2), math.radians(lon2 - lon1)
    y = math.sin(dl) * math.cos(p2)
    x = math.cos(p1) * math.sin(p2) - math.sin(p1) * math.cos(p2) * math.cos(dl)
    return math.degrees(math.atan2(y, x)) % 360


def angle_off(a, b):
    d = (a - b) % 360
    return min(d, 360 - d)


def point_from(lat, lon, course_deg_true, distance_nm):
    """The point DISTANCE_NM from (lat, lon) on a true course (flat over a few NM)."""
    c = math.radians(course_deg_true)
    return (lat + distance_nm * math.cos(c) / NM_PER_DEG,
            lon + distance_nm * math.sin(c) / NM_PER_DEG / math.cos(math.radians(lat)))


def distance_nm(lat1, lon1, lat2, lon2):
    dy = (lat2 - lat1) * NM_PER_DEG
    dx = (lon2 - lon1) * NM_PER_DEG * math.cos(math.radians((lat1 + lat2) / 2))
    return math.hypot(dx, dy)


def write_waypoints(path, waypoints):
    """A plan of named waypoints [(ident, lat, lon), ...], flown from the aligned position."""
    def line(number, ident, la, lo):
        def dm(value, pos, neg):
            v = abs(value)
            return f"{pos if value >= 0 else neg}{int(v)}* {(v - int(v)) * 60:05.2f}'"
        return (f"waypoint.{number}=, {ident}, , {ident}, I, {dm(la, 'N', 'S')}, "
                f"{dm(lo, 'E', 'W')}, +003000.00,\n")

    with open(path, "w") as f:
        f.write("[flightplan]\ntitle=PHNL link test\ntype=VFR\ncruising_altitude=3000\n")
        for number, (ident, la, lo) in enumerate(waypoints, start=1):
            f.write(line(number, ident, la, lo))


def write_plan(path, lat, lon):
    """A plan of two waypoints: ALFA 6 NM north-east of (lat, lon), BRAVO 6 NM north of ALFA.
    Returns ALFA."""
    alfa = point_from(lat, lon, 45, 6)
    bravo = point_from(*alfa, 0, 6)
    write_waypoints(path, [("ALFA", *alfa), ("BRAVO", *bravo)])
    return alfa


def start_replay(recording, log_path, *options):
    """flightgear_replay.py serving tests/link/RECORDING: (its process, its port)."""
    proc = subprocess.Popen([sys.executable, os.path.join(HERE, "flightgear_replay.py"), "replay",
                             os.path.join(HERE, recording), "--log", log_path, *options],
                            stdout=subprocess.PIPE, text=True)
    port = int(proc.stdout.readline().split()[1])
    return proc, port


class Link:
    """ins-host link on a free port; its stderr kept in a file."""

    def __init__(self, program, flightgear, workdir, extra=()):
        os.makedirs(workdir, exist_ok=True)
        self.stderr_path = os.path.join(workdir, "link.err")
        self.proc = subprocess.Popen(
            [program, "link", "--flightgear", flightgear, "--port", "0", "--workdir",
             os.path.join(workdir, "ins"), *extra],
            stdout=subprocess.PIPE, stderr=open(self.stderr_path, "w"), text=True,
            env=dict(os.environ, SDL_AUDIODRIVER="dummy"))
        self.base = None
        while self.base is None:
            line = self.proc.stdout.readline()
            if not line:
                raise AssertionError("ins-host link ended before serving:\n" + self.stderr())
            m = re.match(r"INS panel at (http://\S+)/", line)
            if m:
                self.base = m.group(1)
        self.layout = api(self.base, "/api/layout")

    def panel(self):
        return api(self.base, "/api/panel")

    def click(self, gauge, control):
        click(self.base, self.layout, gauge, control)

    def stderr(self):
        return open(self.stderr_path).read()

    def stop(self):
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
            try:
                self.proc.wait(15)
            except subprocess.TimeoutExpired:
                self.proc.kill()  # not left behind by a failed test
                self.proc.wait()
                raise AssertionError("ins-host link did not end on SIGTERM within 15 s")
        return self.proc.returncode


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Telnet:
    """The few lines of FlightGear's telnet property server this test needs (data mode)."""

    def __init__(self, port, timeout_s=5):
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=timeout_s)
        self.buf = b""
        self.sock.sendall(b"data\r\n")

    def get(self, *paths):
        self.sock.sendall(b"".join(b"get %s\r\n" % p.encode() for p in paths))
        out = []
        while len(out) < len(paths):
            while b"\n" not in self.buf:
                chunk = self.sock.recv(65536)
                if not chunk:
                    raise EOFError("FlightGear closed the connection")
                self.buf += chunk
            line, self.buf = self.buf.split(b"\n", 1)
            out.append(line.rstrip(b"\r").decode())
        return out

    def set(self, kind, path, value):
        self.sock.sendall(f"{kind} {path} {value}\r\n".encode())

    def run(self, command):
        self.sock.sendall(f"run {command}\r\n".encode())


class FlightGear:
    """scripts/start-flightgear.sh on a telnet port: started, ready (its FG_READY line), stopped
    with its Xvfb. `ground` starts it on PHNL's runway; `env` adds to its environment."""

    def __init__(self, source, port, fg_home, log_path, ground=False, env=None):
        self.port = port
        environment = dict(os.environ, FG_HOME=fg_home, FG_LOG=log_path,
                           FG_GROUND="1" if ground else "0", **(env or {}))
        self.proc = subprocess.Popen(
            ["bash", os.path.join(source, "scripts/start-flightgear.sh"), str(port), "0"],
            stdout=subprocess.PIPE, text=True, env=environment, start_new_session=True)
        self.started = time.time()
        self.ready = self.proc.stdout.readline().strip()
        if not self.ready.startswith("FG_READY"):
            self.stop()
            raise AssertionError(f"FlightGear did not start: {self.ready!r}; see {log_path}")
        self.ready_s = time.time() - self.started

    def stop(self):
        if self.proc.poll() is None:
            os.killpg(self.proc.pid, signal.SIGTERM)  # the start script stops fgfs and its Xvfb
            self.proc.wait(30)
