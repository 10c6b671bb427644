#!/usr/bin/env python3
"""Records a FlightGear telnet property session, and serves it back to ins-host link over a real
TCP socket, as FlightGear would serve it.

  flightgear_replay.py record --flightgear PORT --listen PORT --out FILE.csv
      A proxy between ins-host link and FlightGear's telnet property server (data mode): passes
      every byte both ways and writes each batch's values by property path, at most four rows a
      second ("t" = seconds since the first row, then one column per path, the values exactly as
      FlightGear sent them).
  flightgear_replay.py replay FILE.csv [--port N] [--speed S] [--log FILE.jsonl] [--fault ...]
      Answers each "get PATH" with the value of the row due now (S times faster than recorded);
      a path the recording lacks answers an empty line, as FlightGear answers a property without
      a value. Every other line it receives (setd/setb/seti) is written to the log with the row it
      came during and whether FlightGear was paused then. Prints "REPLAY_PORT N" once listening.
      --speed-from T:S plays from recorded time T on at S times (repeatable; before the first,
      --speed). At the end of the rows the connection is reset and the port closed, as when fgfs was
      stopped. "pwd" answers "/", as FlightGear's answers in data mode. Faults, by recorded time
      T1..T2 (seconds):
        --fault gone:T1:T2       reset the connection at T1 and refuse connections until T2
        --fault malformed:T1:T2  latitude answers "21.32x5"
        --fault missing:T1:T2    latitude answers an empty line
        --fault value:T1:T2:PATH=VALUE  PATH answers VALUE
      A misbehaving peer (what no FlightGear sends, which the link must survive):
        --fault stray:T1:T2      one line nobody asked for, once, after the first batch in T1..T2
        --fault flood:T1:T2      at the first batch in T1..T2, bytes without a newline, without
                                 end, as fast as the connection takes them (until it closes)
        --fault trickle:T1:T2    at the first batch, a byte without a newline every 50 ms, for ever
        --fault long-line:T1:T2  latitude answers a line of 100000 digits
        --fault clock-back:T1:T2    the clock runs backwards (T1 less the time since T1)
        --fault clock-stands:T1:T2  the clock stands at its value at T1, FlightGear not paused
        --fault clock-leaps:T1:T2   the clock leaps 1e9 s at every batch
"""
import argparse
import bisect
import csv
import json
import socket
import struct
import sys
import threading
import time


def reset(sock):
    """Closes with a reset (RST), as the kernel does when fgfs dies with a batch in flight."""
    try:
        sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        sock.close()
    except OSError:
        pass


def record(args):
    listener = socket.socket()
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", args.listen))
    listener.listen(1)
    print("RECORD_PORT", listener.getsockname()[1], flush=True)
    client, _ = listener.accept()
    fg = socket.create_connection(("127.0.0.1", args.flightgear))
    asked = []  # paths whose replies are due, in order
    lock = threading.Lock()
    rows, columns = [], []
    start = [None]

    def upstream():
        buf = b""
        try:
            while True:
                data = client.recv(65536)
                if not data:
                    break
                buf += data
                *lines, buf = buf.split(b"\n")
                with lock:
                    for line in lines:
                        text = line.rstrip(b"\r").decode("latin-1")
                        if text.startswith("get "):
                            asked.append(text[4:])
                fg.sendall(data)
        except OSError:
            pass
        reset(fg)

    threading.Thread(target=upstream, daemon=True).start()
    buf, row, last = b"", {}, -1.0
    try:
        while True:
            data = fg.recv(65536)
            if not data:
                break
            client.sendall(data)
            buf += data
            *lines, buf = buf.split(b"\n")
            with lock:
                for line in lines:
                    if not asked:
                        continue
                    path = asked.pop(0)
                    row[path] = line.rstrip(b"\r").decode("latin-1")
                    if path not in columns:
                        columns.append(path)
                    if not asked:
                        now = time.monotonic()
                        start[0] = start[0] if start[0] is not None else now
                        if now - last >= 0.25:
                            rows.append((now - start[0], dict(row)))
                            last = now
                        row = {}
    except OSError:
        pass
    reset(client)
    with open(args.out, "w", newline="") as f:
        out = csv.writer(f, lineterminator="\n")
        out.writerow(["t"] + columns)
        for t, values in rows:
            out.writerow([f"{t:.3f}"] + [values.get(c, "") for c in columns])
    print("RECORDED", len(rows), "rows", flush=True)


class Replay:
    def __init__(self, args):
        with open(args.csv, newline="") as f:
            reader = csv.reader(f)
            header = next(reader)
            table = list(reader)
        # The recording of the findings names its columns; a recorded session names paths.
        aliases = {"t_host_s": "t", "t_sim": "/sim/time/elapsed-sec",
                   "lat": "/position/latitude-deg", "lon": "/position/longitude-deg",
                   "alt_ft": "/position/altitude-ft", "hdg_true": "/orientation/heading-deg",
                   "hdg_mag": "/orientation/heading-magnetic-deg",
                   "hdg_dg": "/instrumentation/heading-indicator/indicated-heading-deg",
                   "gs_kt": "/velocities/groundspeed-kt",
                   "wind_from": "/environment/wind-from-heading-deg",
                   "wind_kt": "/environment/wind-speed-kt",
                   "oat_c": "/environment/temperature-degc", "mach": "/velocities/mach",
                   "frozen": "/sim/freeze/master", "clock_frozen": "/sim/freeze/clock",
                   "bus_v": "/systems/electrical/volts",
                   "bug": "/autopilot/settings/heading-bug-deg",
                   "ap_roll_axis": "/autopilot/KAP140/locks/roll-axis",
                   "ap_hdg_hold": "/autopilot/KAP140/locks/hdg-hold"}
        header = [aliases.get(h, h) for h in header]
        self.rows = [dict(zip(header, r)) for r in table]
        self.times = [float(r["t"]) for r in self.rows]
        # (recorded time, speed) from which on the rows play at that speed
        self.speeds = [(self.times[0], args.speed)]
        for step in args.speed_from or []:
            t, speed = step.split(":")
            self.speeds.append((float(t), float(speed)))
        self.speeds.sort()
        self.faults = []
        self.values = []  # (t1, t2, path, value) of --fault value
        for fault in args.fault or []:
            kind, t1, t2, *rest = fault.split(":", 3)
            self.faults.append((kind, float(t1), float(t2)))
            if kind == "value":
                path, value = rest[0].split("=", 1)
                self.values.append((float(t1), float(t2), path, value))
        self.stray_sent = False
        self.leaps = 0
        self.log = open(args.log, "a") if args.log else None
        self.started = None
        self.port = args.port

    def now_t(self):
        if self.started is None:
            self.started = time.monotonic()
        wall = time.monotonic() - self.started
        t = self.times[0]
        for i, (start, speed) in enumerate(self.speeds):
            end = self.speeds[i + 1][0] if i + 1 < len(self.speeds) else float("inf")
            span = (end - start) / speed
            if wall <= span:
                return t + wall * speed
            wall -= span
            t = end
        return t

    def fault_at(self, kind, t):
        return any(k == kind and t1 <= t < t2 for k, t1, t2 in self.faults)

    def note(self, **entry):
        if self.log:
            self.log.write(json.dumps(entry) + "\n")
            self.log.flush()

    def fault_start(self, kind):
        return next(t1 for k, t1, t2 in self.faults if k == kind)

    def value(self, row, t, path):
        for t1, t2, fault_path, value in self.values:
            if path == fault_path and t1 <= t < t2:
                return value
        if path == "/position/latitude-deg":
            if self.fault_at("malformed", t):
                return "21.32x5"
            if self.fault_at("missing", t):
                return ""
            if self.fault_at("long-line", t):
                return "2" * 100000
        if path == "/sim/time/elapsed-sec":
            if self.fault_at("clock-back", t):
                start = self.fault_start("clock-back")
                return repr(float(self.rows[bisect.bisect_right(self.times, start) - 1][path])
                            - (t - start))
            if self.fault_at("clock-stands", t):
                start = self.fault_start("clock-stands")
                return self.rows[bisect.bisect_right(self.times, start) - 1][path]
            if self.fault_at("clock-leaps", t):
                self.leaps += 1
                return repr(float(row[path]) + 1e9 * self.leaps)
        return row.get(path, "")

    def without_end(self, conn, t):
        """Bytes without a newline, never ending, while the connection takes them: 'closed'."""
        flood = self.fault_at("flood", t)
        self.note(event="flood" if flood else "trickle", t=round(t, 3))
        conn.settimeout(None)
        try:
            while True:
                conn.sendall(b"7" * 65536 if flood else b"7")
                if not flood:
                    time.sleep(0.05)
        except OSError:
            return "closed"

    def serve(self, conn):
        """One connection; returns 'ended', 'gone' or 'closed'."""
        buf = b""
        conn.settimeout(0.2)
        while True:
            t = self.now_t()
            if t > self.times[-1]:
                reset(conn)
                return "ended"
            if self.fault_at("gone", t):
                reset(conn)
                return "gone"
            try:
                data = conn.recv(65536)
            except socket.timeout:
                continue
            except OSError:
                return "closed"
            if not data:
                conn.close()
                return "closed"
            buf += data
            *lines, buf = buf.split(b"\n")
            t = self.now_t()
            index = max(0, bisect.bisect_right(self.times, t) - 1)
            row = self.rows[index]
            if lines and (self.fault_at("flood", t) or self.fault_at("trickle", t)):
                return self.without_end(conn, t)
            out = []
            for raw in lines:
                line = raw.rstrip(b"\r").decode("latin-1")
                if line.startswith("get "):
                    out.append(self.value(row, t, line[4:]) + "\r\n")
                elif line == "pwd":
                    out.append("/\r\n")
                elif line and line != "data":
                    paused = row.get("/sim/freeze/master") == "true" or \
                        row.get("/sim/freeze/clock") == "true"
                    self.note(line=line, row=index, t=round(t, 3), paused=paused)
            if out and self.fault_at("stray", t) and not self.stray_sent:
                self.stray_sent = True
                out.append("-0.5\r\n")
                self.note(event="stray", t=round(t, 3))
            if out:
                try:
                    conn.sendall("".join(out).encode("latin-1"))
                except OSError:
                    return "closed"

    def listen(self):
        sock = socket.socket()
        sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        sock.bind(("127.0.0.1", self.port))
        sock.listen(5)
        self.port = sock.getsockname()[1]
        return sock

    def run(self):
        listener = self.listen()
        print("REPLAY_PORT", self.port, flush=True)
        while True:
            listener.settimeout(0.1)
            try:
                conn, _ = listener.accept()
            except socket.timeout:
                if self.started is not None and self.now_t() > self.times[-1]:
                    break
                continue
            outcome = self.serve(conn)
            self.note(event=outcome, t=round(self.now_t(), 3))
            if outcome == "ended":
                break
            if outcome == "gone":
                listener.close()  # refused from now on, as with fgfs gone
                while self.fault_at("gone", self.now_t()):
                    time.sleep(0.05)
                listener = self.listen()
                self.note(event="back", t=round(self.now_t(), 3))
        listener.close()
        self.note(event="ended", t=round(self.now_t(), 3))
        print("REPLAY_ENDED", flush=True)
        # Stays, port closed, until stopped: connections are refused.
        while True:
            time.sleep(1)


def main():
    parser = argparse.ArgumentParser()
    sub = parser.add_subparsers(dest="command", required=True)
    rec = sub.add_parser("record")
    rec.add_argument("--flightgear", type=int, required=True)
    rec.add_argument("--listen", type=int, default=0)
    rec.add_argument("--out", required=True)
    rep = sub.add_parser("replay")
    rep.add_argument("csv")
    rep.add_argument("--port", type=int, default=0)
    rep.add_argument("--speed", type=float, default=1.0)
    rep.add_argument("--speed-from", action="append")
    rep.add_argument("--log")
    rep.add_argument("--fault", action="append")
    args = parser.parse_args()
    if args.command == "record":
        record(args)
    else:
        Replay(args).run()


if __name__ == "__main__":
    main()
