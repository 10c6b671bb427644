#!/usr/bin/env python3
"""In-air starts of a real FlightGear with `ins-host link --engage-heading` attached throughout:
does each one fly level? Every second start follows a ground start (FG_GROUND=1) in the same
FlightGear home, stopped with the link attached, as a user going from the runway back to the
default start does; the link is never restarted, so it reconnects to each FlightGear as soon
as its port answers.

Usage: start_stability.py INS_HOST SOURCE_DIR [STARTS] [SECONDS]
  STARTS   in-air starts (default 10), SECONDS of FlightGear's time watched in each (default 60)
Prints one line per start (pitch and roll extremes, altitude range, the KAP140's locks at the
end, what the link said) and exits 1 if any start did not fly level: pitch beyond +-15 deg, bank
beyond 45 deg, altitude off 3000 ft by more than 400 ft, or the KAP140 not in heading mode with
altitude hold at the end.
"""
import os
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from link_harness import FlightGear, Link, Telnet, free_port  # noqa: E402

WATCHED = ("/sim/time/elapsed-sec", "/orientation/pitch-deg", "/orientation/roll-deg",
           "/position/altitude-ft", "/autopilot/KAP140/locks/roll-axis",
           "/autopilot/KAP140/locks/hdg-hold", "/autopilot/KAP140/locks/alt-hold")
GROUND_SECONDS = 20
MAX_PITCH_DEG, MAX_ROLL_DEG, MAX_ALT_OFF_FT = 15.0, 45.0, 400.0


def log(*parts):
    print(f"[{time.strftime('%H:%M:%S')}]", *parts, flush=True)


def watch(port, seconds):
    """FlightGear's attitude, altitude and KAP140 locks for SECONDS of its time."""
    fgt = Telnet(port, timeout_s=60)  # FlightGear stands still for seconds as it starts
    rows = []
    first = None
    while True:
        values = fgt.get(*WATCHED)
        t, pitch, roll, alt = (float(v) for v in values[:4])
        locks = tuple(v == "true" for v in values[4:])
        first = t if first is None else first
        rows.append((t - first, pitch, roll, alt, locks))
        if t - first >= seconds:
            return rows
        time.sleep(0.25)


def one_start(host, source, fg_home, work, number, after_ground, seconds):
    port = int(host.flightgear.split(":")[1])
    if after_ground:
        ground = FlightGear(source, port, fg_home, os.path.join(work, f"fg{number}-ground.log"),
                            ground=True)
        time.sleep(GROUND_SECONDS)
        ground.stop()
    err_before = len(host.stderr())
    fg = FlightGear(source, port, fg_home, os.path.join(work, f"fg{number}.log"))
    try:
        rows = watch(port, seconds)
    finally:
        fg.stop()
    said = [line for line in host.stderr()[err_before:].splitlines() if "KAP140 autopilot" in line or "KAP140 heading" in line]
    pitches, rolls, alts = [r[1] for r in rows], [r[2] for r in rows], [r[3] for r in rows]
    locks = rows[-1][4]
    level = (max(abs(p) for p in pitches) <= MAX_PITCH_DEG and
             max(abs(r) for r in rolls) <= MAX_ROLL_DEG and
             max(abs(a - 3000) for a in alts) <= MAX_ALT_OFF_FT and all(locks))
    kind = "after a ground start" if after_ground else "fresh          "
    log(f"start {number:2d} ({kind}): ready in {fg.ready_s:5.1f} s; pitch {min(pitches):6.1f} to "
        f"{max(pitches):5.1f} deg, bank up to {max(abs(r) for r in rolls):5.1f} deg, altitude "
        f"{min(alts):6.0f} to {max(alts):6.0f} ft; locks roll/hdg/alt {locks}; "
        f"{'LEVEL' if level else 'NOT LEVEL'}; link: {' | '.join(said) or 'nothing'}")
    return level


def main():
    program, source = sys.argv[1], sys.argv[2]
    starts = int(sys.argv[3]) if len(sys.argv) > 3 else 10
    seconds = float(sys.argv[4]) if len(sys.argv) > 4 else 60
    work = tempfile.mkdtemp(prefix="ins-fg-starts-")
    fg_home = os.path.join(work, "fg-home")
    log(f"load {os.getloadavg()[0]:.2f}; work in {work}")
    host = Link(program, f"127.0.0.1:{free_port()}", work, ["--engage-heading"])
    host.flightgear = host.proc.args[3]
    try:
        results = [one_start(host, source, fg_home, work, n + 1, n % 2 == 1, seconds)
                   for n in range(starts)]
    finally:
        host.stop()
    log(f"{sum(results)} of {len(results)} starts flew level; load {os.getloadavg()[0]:.2f}")
    return 0 if all(results) else 1


if __name__ == "__main__":
    sys.exit(main())
