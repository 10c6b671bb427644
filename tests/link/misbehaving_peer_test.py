#!/usr/bin/env python3
"""The real `ins-host link` and module against a FlightGear peer that misbehaves: a recorded
session (flightgear-c172p-phnl.csv) served back over a real TCP socket by flightgear_replay.py,
at four times its speed, with faults in windows of recorded time.

Usage: misbehaving_peer_test.py INS_HOST SOURCE_DIR CASE

CASE is one of the table below. In each window the link must name the fault on the status line
(state `no data` or `not connected`, never `live`), say it on stderr once, let nothing out of
range or not finite reach the aircraft, the INS's windows or the published state, and be live
again once the window has passed. A window marked `stop` instead ends the host with SIGTERM while
the peer misbehaves: it must end at once, with status 0.
"""
import math
import os
import signal
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from link_harness import Link, start_replay  # noqa: E402

HOST_PROGRAM, SOURCE, CASE = sys.argv[1], sys.argv[2], sys.argv[3]
RECORDING = "flightgear-c172p-phnl.csv"
SPEED = 4  # recorded seconds per second

# One window: the replay's --fault, what the status must say while it lasts, how many lines of
# stderr may say it (at least one), and whether the host is stopped during it.
def window(fault, says, said_at_most=1, stop=False):
    return {"fault": fault, "says": says, "said_at_most": said_at_most, "stop": stop}


CASES = {
    # One reply line more than asked for: every later batch was off by one line, for ever.
    "stray_line": [window("stray:30:40", "not asked for")],
    # Bytes and never a newline: the read never ended, the pending bytes grew without bound.
    "no_newline": [window("flood:30:42", "longer than"),
                   window("flood:60:1000", "longer than", stop=True)],
    "long_line": [window("long-line:30:40", "longer than")],
    # Values no aircraft can have.
    "out_of_range": [
        window("value:30:40:/position/latitude-deg=91", '/position/latitude-deg: "91"'),
        window("value:50:60:/position/longitude-deg=1000", '/position/longitude-deg: "1000"'),
        window("value:70:80:/position/longitude-deg=1e308", '/position/longitude-deg: "1e308"'),
        window("value:90:100:/orientation/heading-magnetic-deg=1e17",
               '/orientation/heading-magnetic-deg: "1e17"'),
        window("value:110:120:/velocities/groundspeed-kt=90000",
               '/velocities/groundspeed-kt: "90000"'),
    ],
    # A clock that cannot be FlightGear's running (it is not paused in the recording there).
    # Where a window ends, the clock jumps back to the recording's: a leap after the first two,
    # and backwards after the last.
    "clock": [window("clock-back:30:42", "backwards", said_at_most=2),
              window("clock-stands:60:76", "stands still"),
              window("clock-leaps:95:105", "leaps", said_at_most=3)],
}

# Where the published state may hold null: FlightGear's bug, time and autopilot locks before it
# has given them, and the panel's fields that are empty on an idle panel.
NULLABLE = {"heading_bug_deg", "sim_time_s", "engaged", "heading_mode", "held", "plan"}


def log(*parts):
    print(f"[{time.strftime('%H:%M:%S')}]", *parts, flush=True)


def insane(panel):
    """What in the published panel is out of range or not finite (null where a number was),
    or nothing."""
    found = []

    def walk(value, where):
        if value is None and where.rsplit(".", 1)[-1] not in NULLABLE:
            found.append(f"{where} is null")
        elif isinstance(value, float) and not math.isfinite(value):
            found.append(f"{where} = {value}")
        elif isinstance(value, dict):
            for key, inner in value.items():
                walk(inner, f"{where}.{key}")
        elif isinstance(value, list):
            for i, inner in enumerate(value):
                walk(inner, f"{where}[{i}]")
    walk(panel, "panel")
    a = panel["aircraft"]
    if abs(a["lat_deg"]) > 90 or abs(a["lon_east_deg"]) > 180:
        found.append(f"aircraft at {a['lat_deg']}, {a['lon_east_deg']}")
    for name in ("heading_mag_deg", "heading_true_deg", "heading_bug_mag_deg"):
        if not 0 <= a[name] <= 360:
            found.append(f"aircraft.{name} = {a[name]}")
    for name, text in panel["windows"].items():
        if "inf" in text or "nan" in text:
            found.append(f"window {name} shows {text!r}")
    # The position windows show degrees of latitude below 90, of longitude below 180.
    for name, most in (("left", 90), ("right", 180)):
        degrees = panel["windows"][name].split("°")[0].strip()
        if degrees.isdigit() and int(degrees) > most:
            found.append(f"window {name} shows {panel['windows'][name]!r}")
    return found


def observe(link, probe, timeout_s, what):
    """Polls the panel, each look checked for sanity, until probe(panel) holds."""
    end = time.time() + timeout_s
    last = None
    while time.time() < end:
        last = link.panel()
        wrong = insane(last)
        assert not wrong, f"while waiting for {what}: {wrong}; link: {last['link']}"
        if probe(last):
            return last
        time.sleep(0.04)
    raise AssertionError(f"timed out after {timeout_s} s waiting for {what}; "
                         f"link: {last and last['link']}")


def run(work, windows):
    replay_log = os.path.join(work, "replay.jsonl")
    options = ["--speed", str(SPEED)]
    for w in windows:
        options += ["--fault", w["fault"]]
    replay, port = start_replay(RECORDING, replay_log, *options)
    link = None
    try:
        link = Link(HOST_PROGRAM, f"127.0.0.1:{port}", work)
        observe(link, lambda p: p["link"]["state"] == "live", 10, "the link live")
        for w in windows:
            def faulty(p):
                return w["says"] in p["link"]["text"] and w["says"] in p["link"]["fault"]
            p = observe(link, faulty, 40, f"the status to say {w['says']!r} ({w['fault']})")
            assert p["link"]["state"] in ("no data", "not connected"), p["link"]
            log(f"{w['fault']}: {p['link']['text']}")
            if w["stop"]:
                asked = time.time()
                link.proc.send_signal(signal.SIGTERM)
                try:
                    status = link.proc.wait(5)
                except Exception:
                    raise AssertionError("SIGTERM did not stop ins-host link within 5 s "
                                         f"while the peer sent {w['fault']}")
                assert status == 0, f"ins-host link ended with {status}"
                log(f"SIGTERM stopped the host in {time.time() - asked:.2f} s")
                break
            # Not live while the fault lasts, live again after it, by itself.
            p = observe(link, lambda p: p["link"]["state"] == "live", 40,
                        f"the link live again after {w['fault']}")
        err = link.stderr()
        lines = err.splitlines()
        # Said once in each window that says it (and once more where said_at_most allows).
        for says in {w["says"] for w in windows}:
            said = [line for line in lines if says in line]
            allowed = sum(w["said_at_most"] for w in windows if w["says"] == says)
            assert 1 <= len(said) <= allowed, \
                f"{says!r} said {len(said)} times on stderr:\n" + "\n".join(lines[-40:])
        # A few lines for each fault, not a line per batch.
        assert len(lines) <= 8 * len(windows) + 4, f"{len(lines)} lines on stderr:\n{err[-3000:]}"
        log(f"{len(lines)} lines on stderr")
    finally:
        try:
            if link is not None:
                link.stop()
        finally:
            replay.kill()
            replay.wait()


def main():
    work = tempfile.mkdtemp(prefix=f"ins-link-peer-{CASE}-")
    run(work, CASES[CASE])
    print("PASS")
    return 0


if __name__ == "__main__":
    sys.exit(main())
