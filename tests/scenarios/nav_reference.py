#!/usr/bin/env python3
"""Independent reference for the expected values of the nav_*.scn scenarios.

The INS computes its guidance with the spherical law of cosines and the atan2 course formula.
This script does the same geometry another way, with unit vectors on a sphere:

  distance       angle = atan2(|a x b|, a . b), 1 nautical mile = 1 minute of arc
  course a->b    the direction of b - (a.b) a projected on the local north and east unit vectors
  cross-track    asin(p . n), n the unit normal of the leg's plane (FROM x TO): + is left
  track error    the angle at the nearer end of the leg between the leg and the line to p
  steering       heading = magnetic course + asin(W sin(wind from - course) / TAS), the wind
                 triangle that keeps the ground track on the course; TAS = sqrt(1517 K) x Mach

and prints what each CDU window must show, with the margin to the next rounding boundary so a
scenario never expects a value that floating-point noise could tip. Waypoints are taken as the
waypoint file holds them: single precision radians written with 8 decimals, read back as single
precision.

Usage: python3 nav_reference.py   (prints the tables the scenarios' comments quote)
"""
import math
import struct

MAGVAR_EAST = -5.0  # 5 degrees west: magnetic = true + 5
WIND_FROM_MAG = 140.0  # host 134.5 true: - variation + 0.5 = 140.0
WIND_KT = 20.0  # host 19.5 + 0.5
MACH = 0.6
OAT_C = 15.0
GS_KT = 420.0
TAS = math.sqrt(1517.0 * (OAT_C + 273.15)) * MACH


def f32(x):
    return struct.unpack("f", struct.pack("f", x))[0]


def stored(deg):
    """A waypoint coordinate as the import stores it (single precision), writes it (8 decimals)
    and a reader takes it back (single precision)."""
    return f32(float("%.8f" % f32(math.radians(deg))))


def vec(lat_rad, lon_east_rad):
    return (math.cos(lat_rad) * math.cos(lon_east_rad), math.cos(lat_rad) * math.sin(lon_east_rad),
            math.sin(lat_rad))


def dot(a, b):
    return sum(x * y for x, y in zip(a, b))


def cross(a, b):
    return (a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0])


def norm(a):
    return math.sqrt(dot(a, a))


def angle(a, b):
    return math.atan2(norm(cross(a, b)), dot(a, b))


def course_deg(a, b):
    """True course from a to b, degrees clockwise from north, [0, 360)."""
    lon = math.atan2(a[1], a[0])
    lat = math.asin(a[2])
    east = (-math.sin(lon), math.cos(lon), 0.0)
    north = (-math.sin(lat) * math.cos(lon), -math.sin(lat) * math.sin(lon), math.cos(lat))
    d = dot(a, b)
    t = tuple(bi - d * ai for ai, bi in zip(a, b))
    return math.degrees(math.atan2(dot(t, east), dot(t, north))) % 360.0


def wp(lat_deg, lon_east_deg):
    return vec(stored(lat_deg), stored(lon_east_deg))


def here(lat_deg, lon_east_deg):
    return vec(math.radians(lat_deg), math.radians(lon_east_deg))


NM_PER_RAD = 60.0 * 180.0 / math.pi


def margin(value, step):
    """How far value lies from the nearest boundary where its display at this step changes."""
    scaled = value / step
    return abs(scaled - math.floor(scaled) - 0.5) * step if step else 0.0


def show(name, fmt_value, value, step, rounding=True):
    m = margin(value, step) if rounding else abs(value - round(value)) % 1.0
    flag = "" if m > 0.004 * step / 0.1 else "   <-- TOO NEAR A BOUNDARY"
    print("  %-9s %-14s (%.5f)%s" % (name, '"' + fmt_value + '"', value, flag))


def report(label, fr, to, p, prev_track=None, heading=None):
    fr_v, to_v, p_v = wp(*fr), wp(*to), here(*p)
    dist = angle(p_v, to_v) * NM_PER_RAD
    leg = angle(fr_v, to_v)
    from_angle = angle(fr_v, p_v)
    n = cross(fr_v, to_v)
    n = tuple(x / norm(n) for x in n)
    xtk = math.asin(dot(p_v, n)) * NM_PER_RAD  # + left
    course_true = course_deg(p_v, to_v)
    course_mag = (course_true - MAGVAR_EAST) % 360.0
    desired = course_mag if course_mag > 0 else 360.0
    track = (desired - xtk) % 360.0
    if leg * 0.5 >= from_angle:  # nearer the TO end
        tke = (course_deg(to_v, p_v) - course_deg(to_v, fr_v) + 180.0) % 360.0 - 180.0
        tke_left = tke > 0  # clockwise from the leg seen backwards from TO: left of the leg
    else:
        tke = (course_deg(fr_v, p_v) - course_deg(fr_v, to_v) + 180.0) % 360.0 - 180.0
        tke_left = tke < 0
    wca = math.degrees(math.asin(WIND_KT * math.sin(math.radians(WIND_FROM_MAG - course_mag)) / TAS))
    steer = (course_mag + wca) % 360.0
    sent = math.floor(steer - 0.5)
    minutes = dist / GS_KT * 60.0
    print("%s: present %s, FROM %s TO %s" % (label, p, fr, to))
    show("DSRTK", "%05.1f DEG" % desired, desired, 0.1)
    show("TK", "%05.1f DEG" % track, track, 0.1)
    show("XTK", "%s%7.2f NM" % ("L " if xtk >= 0 else "R ", abs(xtk)), abs(xtk), 0.01)
    show("TKE", "%s%4.1f DEG" % ("L" if tke_left else "R", abs(tke)), abs(tke), 0.1)
    show("DIS", "%6.1f NM" % dist, dist, 0.1)
    hours = int(minutes // 60)
    mins = minutes - 60 * hours
    show("TIME", "%02d:%02d.%d ET" % (hours, int(mins), int((mins - int(mins)) * 10)), mins * 10,
         1.0, rounding=False)
    print("  WCA %.4f  steering %.4f  sent %d  (steer - 0.5 = %.4f)" % (wca, steer, sent, steer - 0.5))
    if prev_track is not None and heading is not None:
        d = heading - math.trunc(prev_track)
        print("  drift %s %03d (heading %d, previous track %.4f)" %
              ("L" if (heading - prev_track + 180) % 360 - 180 >= 0 else "R", abs(d), heading,
               prev_track))
    return track


if __name__ == "__main__":
    print("TAS %.4f kt" % TAS)
    for deg in (1.0, 2.0):
        print("stored %.1f deg = %.8f" % (deg, f32(math.radians(deg))))
    WP0, WP1, WP2, WP3 = (0, 0), (0, 1), (1, 1), (1, 2)
    t = report("leg 1, 3 NM north of the leg", WP0, WP1, (0.05, 0.2))
    report("  next frame", WP0, WP1, (0.05, 0.2), prev_track=t, heading=98)
    report("leg 1 on track", WP0, WP1, (0.0, 0.5))
    report("leg 1, 15 NM out", WP0, WP1, (0.0, 0.75))
    report("leg 1, 12 NM out", WP0, WP1, (0.0, 0.8))
    report("leg 1, 2.1 NM out", WP0, WP1, (0.0, 0.965))
    report("leg 1, 1.9 NM out", WP0, WP1, (0.0, 1.9 / 60 * -1 + 1))
    report("leg 2 from there", WP1, WP2, (0.0, 1.9 / 60 * -1 + 1))
    report("leg 2 on track", WP1, WP2, (0.5, 1.0))
    report("leg 2, 1.9 NM out", WP1, WP2, (1 - 1.9 / 60, 1.0))
    report("leg 3 from there", WP2, WP3, (1 - 1.9 / 60, 1.0))
    report("leg 3, 1.8 NM out", WP2, WP3, (1.0, 2 - 1.8 / 60))
    report("leg 4 (line 4 at 0,0) from there", WP3, (0, 0), (1.0, 2 - 1.8 / 60))
    report("MAN: leg 2, 0.6 NM out", WP1, WP2, (1 - 0.6 / 60, 1.0))
    report("MAN: leg 2, 0.4 NM out", WP1, WP2, (1 - 0.4 / 60, 1.0))
    report("after LAST WPT + WYPT CHG: FROM stays WP1, TO WP0", WP1, WP0, (1 - 0.4 / 60, 1.0))
