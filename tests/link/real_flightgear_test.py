#!/usr/bin/env python3
"""ins-host link against a real FlightGear, from its runway to a three-leg flight the INS steers.

Usage: real_flightgear_test.py INS_HOST SOURCE_DIR
Needs /usr/games/fgfs (Debian's flightgear) and Xvfb; scripts/test.sh leaves it out (reported as
not run) where fgfs is missing.

The ground path as docs/flightgear.md gives it: FlightGear standing on PHNL's runway, masters
off (no power: the INS is dead); the page's prepare switches them on (battery only, engine
off: the INS's BAT lamp logic sees battery without main power); the INS aligned from
FlightGear's position; the page's Take off puts the c172p in the air ahead, engine running,
set for cruise; `--engage-heading` engages the KAP140 once it flies and says so only when
FlightGear's locks read back. Then HOLD in AUTO flies three legs of about 5 NM (FlightGear sped
up four times), each leg changed by the INS 2 NM before its waypoint, MAN on the last leg
releasing HOLD within 0.5 NM of the last waypoint; FlightGear's bug equal to the INS's
throughout. At the end FlightGear is paused (the INS's ticks stand) and stopped (the link says
it is not connected and the host runs on), then started again in the air in the same home with
the link still attached: the heading mode is read back again and the c172p flies level. About
five minutes.
"""
import json
import os
import sys
import tempfile
import time
import urllib.error

HOST_PROGRAM, SOURCE = sys.argv[1], sys.argv[2]
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import link_harness  # noqa: E402
from link_harness import (FlightGear, Link, Telnet, angle_off, api, distance_nm,  # noqa: E402
                          free_port, point_from, write_waypoints)

SPEED_UP = 4  # FlightGear's time, and with it the INS's, four times the wall clock's
LEG_CHANGE_NM, RELEASE_NM = 2.0, 0.5


# FlightGear's own pace: a look every fifth of a second is plenty.
def until(probe, timeout_s, what):
    return link_harness.until(probe, timeout_s, what, every_s=0.2)


def log(*parts):
    print(f"[{time.strftime('%H:%M:%S')}]", *parts, flush=True)


def post(host, path):
    try:
        return api(host.base, path, {})
    except urllib.error.HTTPError as error:
        raise AssertionError(f"{path}: {error.code} {json.loads(error.read())}") from None


def aligned(panel):
    """Waits for READY NAV (about 60 s of FlightGear's time); False as soon as the status digit
    reads 0 (the alignment thrown away)."""
    started = time.time()
    while time.time() < started + 150:  # FlightGear's time runs slower than the wall's if busy
        p = panel()
        if p["visible"]["ALIGN"]["ready_nav"]:
            return True
        if p["windows"]["right"].strip() == "0" and time.time() > started + 5:
            return False
        time.sleep(0.5)
    raise AssertionError(f"no READY NAV, status {panel()['windows']['right']!r}")


def align(host):
    """Plan imported (waypoint 00 = FlightGear's position), OFF -> STBY -> ALIGN -> NAV."""
    panel, click = host.panel, host.click

    def still():  # the aircraft settles on its wheels after the start
        if abs(panel()["aircraft"]["gs_kt"]) >= 0.2:
            return False
        time.sleep(1)
        return abs(panel()["aircraft"]["gs_kt"]) < 0.2
    until(still, 60, "the aircraft standing still")
    click("INS", "PLAN")
    time.sleep(0.5)
    for _ in range(4):
        click("INS", "SEL_CW")  # the data selector to DSRTK/STS: the alignment's status digit
    click("ALIGN", "CW")
    time.sleep(0.3)
    t_align = time.time()
    for _ in range(4):
        click("ALIGN", "CW")  # ALIGN
        if aligned(panel):
            break
        # A jolt on the wheels threw the alignment away: STBY, and ALIGN again.
        log(f"alignment stopped (ground speed {panel()['aircraft']['gs_kt']:.2f} kt): again")
        click("ALIGN", "CCW")
        time.sleep(0.5)
    else:
        raise AssertionError("the INS did not align")
    log(f"READY NAV after {time.time() - t_align:.1f} s")
    click("ALIGN", "CW")  # NAV
    time.sleep(0.3)
    click("INS", "WYPT_CHG")  # TO = 01, ALFA
    until(lambda: panel()["windows"]["to"].strip() == "01", 5, "TO waypoint 01")


def take_off_and_engage(host, fgt):
    panel = host.panel
    post(host, "/api/takeoff")
    until(lambda: panel()["aircraft"]["alt_ft"] > 2500, 30, "the aircraft in the air")
    until(lambda: float(fgt.get("/engines/engine/rpm")[0]) > 1500, 30, "the engine running")
    log(f"in the air, engine running: {float(fgt.get('/engines/engine/rpm')[0]):.0f} rpm")
    until(lambda: panel()["link"]["heading_mode_engaged"], 40, "the KAP140 in heading mode")
    assert "locks/roll-axis and hdg-hold read back true" in host.stderr(), host.stderr()[-2000:]
    until(lambda: panel()["aircraft"]["ap_master"] and panel()["aircraft"]["ap_heading"], 10,
          "the autopilot's master and heading mode read from FlightGear")
    until(lambda: float(fgt.get("/controls/flight/flaps")[0]) == 0.0, 10, "flaps up for cruise")

    def steady():  # the KAP140 first steadies the aircraft on the bug it was engaged with
        p = panel()
        bug = p["link"]["heading_bug_deg"]
        return bug is not None and angle_off(p["aircraft"]["heading_mag_deg"], bug) < 5 \
            and p["aircraft"]["tas_kt"] > 75
    until(steady, 90, "the KAP140 steady on its bug")


def fly_legs(host, fgt, legs):
    """HOLD in AUTO over the legs, MAN on the last: (rows, leg changes, release)."""
    panel, click = host.panel, host.click
    assert panel()["visible"]["INS"]["auto"], "the INS is not in AUTO"
    for _ in range(2):
        click("INS", "SEL_CCW")  # DSRTK/STS to DIS/TIME: the INS's own distance to go
    click("INS", "HOLD")
    until(lambda: panel()["visible"]["INS"]["hold_lit"], 5, "HOLD lit")
    fgt.set("setd", "/sim/speed-up", SPEED_UP)
    rows, changes, release = [], [], None
    to, ins_left = 1, None
    deadline = time.time() + 300
    polled = time.time()
    while release is None:
        assert time.time() < deadline, f"the flight did not end (TO {to}, rows {rows[-3:]})"
        p = panel()
        a, link = p["aircraft"], p["link"]
        now_to = int(p["windows"]["to"].strip() or 0)
        target = legs[to - 1]
        left = distance_nm(a["lat_deg"], a["lon_east_deg"], target[1], target[2])
        gap = time.time() - polled
        polled = time.time()
        if link["state"] == "live" and link["heading_bug_deg"] is not None:
            rows.append((link["sim_time_s"], a["heading_bug_mag_deg"], link["heading_bug_deg"]))
        if now_to != to:
            changes.append((to, now_to, left, p["visible"]["INS"]["auto"]))
            log(f"leg change TO {to:02d} -> {now_to:02d} at {left:.2f} NM from {target[0]} "
                f"(the INS's distance {ins_left!r} a look before; FlightGear time "
                f"{link['sim_time_s']:.1f} s, {gap:.2f} s since the last look)")
            to = now_to
            if to == len(legs):
                click("INS", "MAN")
                until(lambda: panel()["visible"]["INS"]["man"], 5, "MAN")
        ins_left = p["windows"]["left"].strip()
        if not p["visible"]["INS"]["hold_lit"]:
            release = (left, p["visible"]["INS"]["man"], to)
            log(f"HOLD released at {left:.2f} NM from {target[0]} (MAN {release[1]})")
        time.sleep(0.1)
    fgt.set("setd", "/sim/speed-up", 1)
    return rows, changes, release


def worst_bug_gap(rows):
    """FlightGear's bug against the INS's: each of FlightGear's readings against the nearest
    of the INS's bugs over the last second of wall time (FlightGear's bug comes with the link's
    next batch, a tenth of a second after the INS's changed, a few tenths on a busy machine)."""
    worst = (0.0, None)
    for i, (t, ins_now, fg_bug) in enumerate(rows):
        if t - rows[0][0] < 0.5 * SPEED_UP:
            continue  # FlightGear's bug is still the one the heading mode was engaged with
        recent = [r[1] for r in rows[max(0, i - 10):i + 1] if t - r[0] <= 1.0 * SPEED_UP]
        gap = min(angle_off(ins_bug, fg_bug) for ins_bug in recent)
        if gap > worst[0]:
            worst = (gap, (round(t - rows[0][0], 1), ins_now, fg_bug))
    return worst


def pause_and_stop(host, fgt, fg):
    panel = host.panel
    fgt.run("pause")
    until(lambda: panel()["link"]["state"] == "paused", 5, "the link paused")
    t1, writes = panel()["tick"], panel()["link"]["heading_bug_writes"]
    time.sleep(4)
    p = panel()
    assert p["tick"] == t1, "the INS ran on while FlightGear was paused"
    assert p["link"]["heading_bug_writes"] == writes, "a heading bug was written while paused"
    fgt.run("pause")
    until(lambda: panel()["link"]["state"] == "live", 5, "the link live again")
    log("pause: the INS's ticks stood, and no bug was written, while FlightGear was paused")
    lat = panel()["aircraft"]["lat_deg"]
    fg.stop()
    until(lambda: panel()["link"]["state"] == "not connected", 10, "the link not connected")
    p = panel()
    assert host.proc.poll() is None and abs(p["aircraft"]["lat_deg"] - lat) < 0.01
    log(f"FlightGear stopped: {p['link']['text']}")


def restart_in_the_air(host, work, fg_home, port):
    """FlightGear started again in the air, in the same home, the link attached throughout (it
    reconnects as soon as FlightGear's port answers): the heading mode is engaged and read back
    again, and the c172p flies level."""
    engaged_before = host.stderr().count("read back true")
    fg = FlightGear(SOURCE, port, fg_home, os.path.join(work, "fgfs-in-air.log"))
    try:
        log(f"in the air again: {fg.ready}")
        fgt = Telnet(fg.port, timeout_s=60)
        until(lambda: host.stderr().count("read back true") > engaged_before, 60,
              "the heading mode read back after the restart")
        rows = []
        first = None
        while first is None or rows[-1][0] - first < 30:
            t, pitch, alt = (float(v) for v in fgt.get(
                "/sim/time/elapsed-sec", "/orientation/pitch-deg", "/position/altitude-ft"))
            first = t if first is None else first
            rows.append((t, pitch, alt))
            time.sleep(0.25)
        pitches, alts = [r[1] for r in rows], [r[2] for r in rows]
        log(f"in the air again, 30 s: pitch {min(pitches):.1f} to {max(pitches):.1f} deg, "
            f"altitude {min(alts):.0f} to {max(alts):.0f} ft")
        assert max(abs(p) for p in pitches) <= 15 and max(abs(a - 3000) for a in alts) <= 400
    finally:
        fg.stop()


def main():
    started = time.time()
    work = tempfile.mkdtemp(prefix="ins-link-fg-")
    port = free_port()
    fg_home = os.environ.get("FG_HOME", f"/tmp/fg-home-{os.getuid()}")
    fg = FlightGear(SOURCE, port, fg_home, os.path.join(work, "fgfs-console.log"), ground=True,
                    env={"FG_CRUISE": "0"})
    host = None
    try:
        log(fg.ready)
        fgt = Telnet(port)
        lat, lon, heading = (float(v) for v in fgt.get(
            "/position/latitude-deg", "/position/longitude-deg", "/orientation/heading-deg"))
        # Three legs of 5 NM turning left, from 6 NM ahead of the runway (the take-off puts the
        # aircraft 1 NM ahead of where it stands).
        alfa = ("ALFA", *point_from(lat, lon, heading, 6))
        bravo = ("BRAVO", *point_from(*alfa[1:], heading - 90, 5))
        charlie = ("CHARLIE", *point_from(*bravo[1:], heading - 180, 5))
        legs = [alfa, bravo, charlie]
        plan = os.path.join(work, "PHNL-LINK.PLN")
        write_waypoints(plan, legs)
        link_port = port
        if os.environ.get("INS_LINK_RECORD"):  # the session recorded (tests/link's replays)
            recorder = link_harness.subprocess.Popen(
                [sys.executable, os.path.join(SOURCE, "tests/link/flightgear_replay.py"), "record",
                 "--flightgear", str(port), "--listen", "0", "--out",
                 os.environ["INS_LINK_RECORD"]],
                stdout=link_harness.subprocess.PIPE, text=True)
            link_port = int(recorder.stdout.readline().split()[1])
        host = Link(HOST_PROGRAM, f"127.0.0.1:{link_port}", work, ["--plan", plan,
                                                                   "--engage-heading"])
        panel = host.panel
        until(lambda: panel()["link"]["state"] == "live", 20, "the link live")
        p = panel()
        assert abs(p["aircraft"]["lat_deg"] - lat) < 1e-4, "not FlightGear's position"
        assert not p["aircraft"]["battery"] and not p["aircraft"]["main_power"], \
            "power read with the c172p's masters off"
        post(host, "/api/prepare")
        until(lambda: panel()["aircraft"]["battery"], 10, "the battery on after prepare")
        assert not panel()["aircraft"]["main_power"], "main power from the battery alone"
        align(host)
        take_off_and_engage(host, fgt)
        assert panel()["aircraft"]["main_power"], "no main power with the engine running"
        rows, changes, release = fly_legs(host, fgt, legs)
        worst, where = worst_bug_gap(rows)
        log(f"FlightGear's bug vs the INS's: worst {worst:.2f} deg (at {where}) over {len(rows)} "
            f"samples; "
            f"{time.time() - started:.0f} s so far")
        assert [c[:2] for c in changes] == [(1, 2), (2, 3)], f"leg changes {changes}"
        for before, after, left, auto in changes:
            assert auto and left <= LEG_CHANGE_NM + 0.3, \
                f"leg {before} -> {after} changed at {left:.2f} NM (AUTO {auto})"
        left, man, to = release
        assert man and to == 3 and left <= RELEASE_NM + 0.1, f"HOLD released {release}"
        assert worst <= 0.5, f"FlightGear's bug off the INS's by {worst:.2f} deg"
        pause_and_stop(host, fgt, fg)
        if link_port == port:  # (a recording ends with the FlightGear it recorded)
            restart_in_the_air(host, work, fg_home, port)
        log(f"{time.time() - started:.0f} s in all")
        print("PASS")
        return 0
    finally:
        if host is not None:
            host.stop()
        fg.stop()
        errs = os.path.join(work, "link.err")
        if os.path.exists(errs):
            print("--- ins-host link's stderr:\n" + open(errs).read()[-3000:])


if __name__ == "__main__":
    sys.exit(main())
