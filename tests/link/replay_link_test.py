#!/usr/bin/env python3
"""The real `ins-host link` with the real module, against FlightGear sessions recorded from a real
FlightGear 2020.3 and served back over a real TCP socket (flightgear_replay.py).

Usage: replay_link_test.py INS_HOST SOURCE_DIR session|faults

session  flightgear-align-hold-pause.csv (recorded by real_flightgear_test.py): the INS aligns
         from the recorded position on PHNL's runway, its frames follow FlightGear's clock, HOLD
         steers FlightGear's bug once the recorded KAP140 is in heading mode; the status goes
         live -> paused -> not connected as the recording does, and no bug is written while
         paused, after the stream ended, or while FlightGear's heading is out of range (1e17
         for a while under HOLD): every bug written is a heading. With --prepare, the
         c172p's masters are switched on at the connection; the page's Take off, standing,
         asks FlightGear for an in-air start 1 NM ahead (and, 6.5 s of its time later, cruise
         settings); flying, it is refused.
faults   flightgear-c172p-phnl.csv (a session of the findings), at 8 times its speed, with the
         peer gone mid-stream (reset, then refused), a malformed reply, a missing property and
         a KAP140 whose roll-axis lock stays false when --engage-heading sets it:
         each is said on the status and on stderr, the INS keeps its last values and its frames
         stand, the host runs on and reconnects when the peer is back.
"""
import csv
import json
import os
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import urllib.error  # noqa: E402

from link_harness import (Link, api, distance_nm, start_replay, until,  # noqa: E402
                          write_plan)

HOST_PROGRAM, SOURCE, CASE = sys.argv[1], sys.argv[2], sys.argv[3]
HERE = os.path.join(SOURCE, "tests/link")
BAD_HEADING = (100, 108)  # recorded seconds, while HOLD steers the replayed session


def log(*parts):
    print(f"[{time.strftime('%H:%M:%S')}]", *parts, flush=True)


def first_row(recording):
    with open(os.path.join(HERE, recording), newline="") as f:
        return next(csv.DictReader(f))


def watch(link, seconds, until_state=None):
    """Polls the panel: a list of (state, text, tick, time_s, link sim time, lat, writes)."""
    seen = []
    end = time.time() + seconds
    while time.time() < end:
        p = link.panel()
        seen.append((p["link"]["state"], p["link"]["text"], p["tick"], p["time_s"],
                     p["link"]["sim_time_s"], p["aircraft"]["lat_deg"],
                     p["link"]["heading_bug_writes"], p["link"]["fault"]))
        if until_state and seen[-1][0] == until_state:
            break
        time.sleep(0.04)
    return seen


def session(work):
    recording = "flightgear-align-hold-pause.csv"
    row = first_row(recording)
    lat, lon = float(row["/position/latitude-deg"]), float(row["/position/longitude-deg"])
    plan = os.path.join(work, "PHNL-LINK.PLN")
    write_plan(plan, lat, lon)
    replay_log = os.path.join(work, "replay.jsonl")
    # Slow while the test's clicks start the alignment, then twice and four times as fast.
    # While HOLD steers, FlightGear's heading comes out of range for a while.
    bad_heading = ("--fault", "value:%d:%d:/orientation/heading-magnetic-deg=1e17" % BAD_HEADING)
    replay, port = start_replay(recording, replay_log, "--speed", "0.5", "--speed-from", "5:2",
                                "--speed-from", "63:4", *bad_heading)
    link = Link(HOST_PROGRAM, f"127.0.0.1:{port}", work, ["--plan", plan, "--prepare"])
    try:
        until(lambda: link.panel()["link"]["state"] == "live", 10, "the link live")
        p = link.panel()
        assert abs(p["aircraft"]["lat_deg"] - lat) < 1e-6 and abs(p["aircraft"]["lon_east_deg"] - lon) < 1e-6
        assert api(link.base, "/api/takeoff", {})["ok"]
        # (The INS learns its present position in its frames: import after the first ones.)
        until(lambda: link.panel()["time_s"] > 0.2, 5, "the first frames")
        link.click("INS", "PLAN")
        time.sleep(0.3)
        link.click("ALIGN", "CW")
        time.sleep(0.3)
        link.click("ALIGN", "CW")
        # The frames follow FlightGear's clock: INS time and FlightGear time keep one offset.
        seen = watch(link, 3)
        offsets = [s[4] - s[3] for s in seen if s[4] is not None]
        spread = max(offsets) - min(offsets)
        assert spread < 0.5, f"INS time drifts from FlightGear's by {spread:.2f} s"
        assert seen[-1][3] > seen[0][3], "no frames ran"
        # The waypoint 00 the import wrote is FlightGear's position; the INS aligns from it.
        with open(os.path.join(work, "ins", "WAYPOINTS.DAT")) as f:
            zero = f.readline().split()
        assert abs(float(zero[1]) * 57.29577951308232 - lat) < 1e-4, zero
        # The alignment takes about 60 s of FlightGear's time, which the replay plays at the wall
        # clock's pace: the deadline leaves room for a machine busy with other tests.
        until(lambda: link.panel()["visible"]["ALIGN"]["ready_nav"], 120, "READY NAV")
        log("READY NAV from the recorded position")
        link.click("ALIGN", "CW")  # NAV
        time.sleep(0.2)
        link.click("INS", "WYPT_CHG")
        until(lambda: link.panel()["windows"]["to"].strip() == "01", 5, "TO waypoint 01")
        until(lambda: link.panel()["aircraft"]["ap_heading"], 40, "the recorded heading mode")
        try:
            api(link.base, "/api/takeoff", {})
            raise AssertionError("a take-off was asked of an aircraft in the air")
        except urllib.error.HTTPError as refused:
            assert refused.code == 409 and "flies already" in json.loads(refused.read())["error"]
        link.click("INS", "HOLD")
        until(lambda: link.panel()["visible"]["INS"]["hold_lit"], 5, "HOLD lit")
        until(lambda: link.panel()["link"]["heading_bug_writes"] > 0, 5, "a bug written")
        log("HOLD steers the replayed FlightGear")
        seen = watch(link, 40, until_state="paused")
        assert seen[-1][0] == "paused", "the recorded pause was not seen"
        bad = [s for s in seen if "heading-magnetic-deg" in s[7]]
        assert bad and all(s[0] == "no data" for s in bad), "the heading out of range was not seen"
        paused = watch(link, 10, until_state="live")
        paused_ticks = {s[2] for s in paused if s[0] == "paused"}
        assert len(paused_ticks) == 1, f"frames ran while paused: ticks {sorted(paused_ticks)}"
        ended = watch(link, 15, until_state="not connected")
        assert ended[-1][0] == "not connected", "the end of the stream was not seen"
        writes_at_end = ended[-1][6]
        after = watch(link, 2)
        assert link.proc.poll() is None, "the host ended with the stream"
        assert {s[6] for s in after} == {writes_at_end}, "bug writes counted after the end"
        assert all(abs(s[5] - after[0][5]) < 1e-12 for s in after), "position changed after the end"
        states = [s[0] for s in seen + paused + ended]
        order = [states[0]] + [b for a, b in zip(states, states[1:]) if a != b]
        assert order[-3:] == ["live", "paused", "live"] or order[-4:-1] == ["live", "paused", "live"], order
        # What reached the replayed FlightGear: bug writes, none while it was paused.
        with open(replay_log) as f:
            entries = [json.loads(line) for line in f]
        writes = [e for e in entries if "line" in e and "heading-bug-deg" in e["line"]]
        assert writes, "no bug write reached FlightGear"
        assert not [e for e in writes if e["paused"]], "a bug write arrived while paused"
        # Only bugs a heading can be, and none steered from the heading out of range (a write
        # from the last good sample before it may arrive in its first moment).
        values = [float(e["line"].split()[-1]) for e in writes]
        assert all(0 <= v < 360 for v in values), f"bugs written: {sorted(set(values))}"
        during = [e for e in writes if BAD_HEADING[0] + 0.5 <= e["t"] < BAD_HEADING[1]]
        assert not during, f"bugs written while the heading was out of range: {during}"
        ended_at = max(e["t"] for e in entries if e.get("event") == "ended")
        assert all(e["t"] <= ended_at for e in writes)
        check_prepare_and_takeoff(entries, lat, lon)
        err = link.stderr()
        for said in ("live: FlightGear", "paused: FlightGear", "not connected to FlightGear"):
            assert said in err, f"stderr lacks {said!r}:\n{err}"
        log(f"live -> paused -> not connected; {len(writes)} bug writes, none while paused")
    finally:
        link.stop()
        replay.kill()
        replay.wait()


def check_prepare_and_takeoff(entries, lat, lon):
    """The writes of --prepare and of the take-off asked standing, as the replay received them."""
    lines = [e["line"] for e in entries if "line" in e]
    for master in ("master-bat", "master-alt", "master-avionics"):
        assert f"setb /controls/switches/{master} true" in lines, f"no {master} in {lines[:20]}"
    presets = {ln.split()[1].rsplit("/", 1)[1]: ln.split()[2] for ln in lines
               if ln.startswith("setd /sim/presets/")}
    ahead = distance_nm(lat, lon, float(presets["latitude-deg"]), float(presets["longitude-deg"]))
    assert abs(ahead - 1.0) < 0.01, f"the in-air start {ahead:.3f} NM from the aircraft"
    assert (float(presets["altitude-ft"]), float(presets["airspeed-kt"])) == (3000.0, 100.0)
    reposition = lines.index("run reposition")
    assert lines.index("setb /sim/presets/onground false") < reposition
    assert lines.index("setd /controls/gear/brake-parking 0") < reposition
    at = {e["line"]: e["t"] for e in entries if "line" in e}
    cruise = at["setd /controls/flight/flaps 0"] - at["run reposition"]
    assert 6.0 <= cruise <= 9.0, f"cruise settings {cruise:.1f} s after the reposition"
    log(f"--prepare's masters, the take-off 1 NM ahead, cruise {cruise:.1f} s after it")


def faults(work):
    recording = "flightgear-c172p-phnl.csv"
    replay_log = os.path.join(work, "replay.jsonl")
    replay, port = start_replay(recording, replay_log, "--speed", "8",
                                "--fault", "gone:40:60", "--fault", "malformed:80:95",
                                "--fault", "missing:110:125",
                                # A KAP140 that does not take the link's heading mode
                                "--fault", "value:0:40:/autopilot/KAP140/locks/roll-axis=false")
    link = Link(HOST_PROGRAM, f"127.0.0.1:{port}", work, ["--engage-heading"])
    try:
        until(lambda: link.panel()["link"]["state"] == "live", 10, "the link live")
        seen = watch(link, 30, until_state=None)
        # (Stops polling once the stream has ended for good.)
        states = [s[0] for s in seen]
        order = [states[0]] + [b for a, b in zip(states, states[1:]) if a != b]
        log("states:", " -> ".join(order))
        assert link.proc.poll() is None, "the host ended"
        faults_seen = {s[7] for s in seen if s[7]}
        # Gone: reset, then refused; back: live again.
        gone = [i for i, s in enumerate(seen) if s[0] == "not connected"]
        assert gone, "the peer's loss was not seen"
        assert any(("reset" in s[1] or "refused" in s[1] or "closed" in s[1]) for s in seen
                   if s[0] == "not connected"), faults_seen
        assert any(s[0] == "live" for s in seen[gone[0]:]), "no reconnection"
        malformed = [s for s in seen if '"21.32x5" is not a number' in s[7]]
        missing = [s for s in seen if "/position/latitude-deg has no value" in s[7]]
        assert malformed and all(s[0] == "no data" for s in malformed), faults_seen
        assert missing and all(s[0] == "no data" for s in missing), faults_seen
        # While the data is unusable or gone, the INS keeps its last values and its frames stand.
        # (The first look may still see the frames the last good sample owed.)
        first_loss = []
        for s in seen[gone[0]:]:
            if s[0] != "not connected":
                break
            first_loss.append(s)
        for bad in (malformed, missing, first_loss):
            assert len({s[2] for s in bad[1:]}) <= 1, \
                f"frames ran on bad data: ticks {sorted({s[2] for s in bad})}"
            assert len({s[5] for s in bad[1:]}) <= 1 and abs(bad[0][5] - 21.33) < 0.1
        assert seen[-1][0] == "not connected", "the end of the stream was not seen"
        err = link.stderr()
        for said in ('"21.32x5" is not a number', "/position/latitude-deg has no value",
                     "Connection reset by peer", "not connected to FlightGear", "live: FlightGear"):
            assert said in err, f"stderr lacks {said!r}:\n{err}"
        log("gone, malformed, missing: said, survived, reconnected")
        # The heading mode set but not read back: said, with the lock that refused, never said
        # engaged, and the elevator the KAP140 may have left deflected centred.
        refused = ("could not engage FlightGear's KAP140 heading mode: "
                   "/autopilot/KAP140/locks/roll-axis reads false")
        assert refused in err and "read back true" not in err, err
        with open(replay_log) as f:
            lines = [json.loads(line).get("line") for line in f]
        assert "setb /autopilot/KAP140/locks/roll-axis true" in lines
        assert "setd /controls/flight/elevator 0" in lines
        log("the heading mode refused: said, and the elevator centred")
    finally:
        link.stop()
        replay.kill()
        replay.wait()


def main():
    work = tempfile.mkdtemp(prefix=f"ins-link-{CASE}-")
    {"session": session, "faults": faults}[CASE](work)
    print("PASS")
    return 0


if __name__ == "__main__":
    sys.exit(main())
