#!/usr/bin/env python3
"""Flies a plan with `ins-host fly` in a 40-knot crosswind and checks the flown track (GPX)
against the plan file, independently of the INS and of the host's own plan reader: positions
are read from the plan here, distances by the haversine formula on the sphere whose nautical
mile is one minute of arc.

Usage: fly_and_check.py INS_HOST PLAN OUTPUT_DIR
Passes when every plan waypoint after the departure was passed within 2.0 NM and the last one
within 0.5 NM. Exit 0 pass, 1 fail.
"""
import math
import re
import subprocess
import sys
import xml.etree.ElementTree as ET

NM_PER_RADIAN = 60.0 * 180.0 / math.pi
EACH_NM = 2.0
LAST_NM = 0.5
CROSSWIND_KT = 40


def coordinate(text, positive, negative):
    """A hemisphere letter and degrees, minutes and seconds with any separators, or signed
    decimal degrees."""
    text = text.strip()
    if text and text[0] in positive + negative:
        numbers = [float(n) for n in re.findall(r"\d+(?:\.\d+)?", text[1:])]
        value = sum(n / 60.0 ** i for i, n in enumerate(numbers[:3]))
        return -value if text[0] == negative else value
    return float(text)


def plan_positions(path):
    data = open(path, "rb").read()
    if data[:2] in (b"\xff\xfe", b"\xfe\xff"):
        text = data.decode("utf-16")
    else:
        text = data.decode("utf-8-sig", errors="replace")
    positions = []
    if "[flightplan]" in text.lower():
        for line in text.splitlines():
            if not line.lower().startswith("waypoint."):
                continue
            fields = [f.strip() for f in line.split("=", 1)[1].split(",")]
            i = next(k for k, f in enumerate(fields) if f[:1] in "NS" and "*" in f)
            positions.append((coordinate(fields[i], "N", "S"), coordinate(fields[i + 1], "E", "W")))
    else:
        for value in re.findall(r"<WorldPosition>([^<]*)</WorldPosition>", text):
            lat, lon = value.split(",")[:2]
            positions.append((coordinate(lat, "N", "S"), coordinate(lon, "E", "W")))
    return positions


def haversine_nm(a, b):
    lat1, lon1, lat2, lon2 = map(math.radians, (a[0], a[1], b[0], b[1]))
    h = math.sin((lat2 - lat1) / 2) ** 2 + math.cos(lat1) * math.cos(lat2) * math.sin((lon2 - lon1) / 2) ** 2
    return 2 * math.asin(min(1.0, math.sqrt(h))) * NM_PER_RADIAN


def course_deg(a, b):
    lat1, lon1, lat2, lon2 = map(math.radians, (a[0], a[1], b[0], b[1]))
    y = math.sin(lon2 - lon1) * math.cos(lat2)
    x = math.cos(lat1) * math.sin(lat2) - math.sin(lat1) * math.cos(lat2) * math.cos(lon2 - lon1)
    return math.degrees(math.atan2(y, x)) % 360.0


def track_points(gpx):
    ns = {"g": "http://www.topografix.com/GPX/1/1"}
    root = ET.parse(gpx).getroot()
    return [(float(p.get("lat")), float(p.get("lon"))) for p in root.iterfind(".//g:trkpt", ns)]


def main():
    host, plan, output = sys.argv[1:4]
    positions = plan_positions(plan)
    # A crosswind from the right of the whole route's course.
    wind_from = (course_deg(positions[0], positions[-1]) + 90.0) % 360.0
    wind = "%.0f/%d" % (wind_from, CROSSWIND_KT)
    run = subprocess.run([host, "fly", plan, "--wind", wind, "--output", output, "--quiet"],
                         capture_output=True, text=True)
    print(run.stdout)
    print(run.stderr, file=sys.stderr)
    if run.returncode != 0:
        print("FAIL: ins-host fly exited %d" % run.returncode)
        return 1
    track = track_points(output + "/track.gpx")
    if len(track) < 10:
        print("FAIL: the track has %d points" % len(track))
        return 1
    failures = 0
    print("wind %s; %d plan waypoints, %d track points" % (wind, len(positions), len(track)))
    for number, wp in enumerate(positions, start=1):
        closest = min(haversine_nm(wp, p) for p in track)
        limit = LAST_NM if number == len(positions) else EACH_NM
        ok = closest <= limit
        failures += not ok
        print("  %02d %9.4f %10.4f  closest %6.3f NM (limit %.1f) %s"
              % (number, wp[0], wp[1], closest, limit, "ok" if ok else "FAIL"))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
