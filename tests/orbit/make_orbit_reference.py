#!/usr/bin/python3
"""Writes the orbit reference data the orbit tests compare against.

A development tool: run it by hand after changing the chosen element sets;
the tests read only the files it writes.

  tests/data/orbit-reference.csv   positions (km) and velocities (km/s) in the
      true-equator mean-equinox frame, from Debian's python3-sgp4 with WGS-72
      constants in its "afspc" operations mode, at -1 .. +3 days from epoch.
  tests/data/pass-08251827-noaa15.csv   the NOAA 15 pass of 2019-08-25 18:27:45
      UTC: sub-satellite point and scan-line earth points at a few picture
      lines, by python3-sgp4 positions and a geometry written here in numpy
      (ray and ellipsoid as a quadratic, closed-form geodetic latitude).

Usage: /usr/bin/python3 tests/orbit/make_orbit_reference.py
"""

import math
import os

import numpy as np
from sgp4.api import WGS72, Satrec, jday
from sgp4.propagation import gstime

HERE = os.path.dirname(os.path.abspath(__file__))
DATA = os.path.join(HERE, "..", "data")

# (name line in the file, file)
SETS = [
    ("NOAA 15", "weather-2019-08-25.txt"),
    ("NOAA 18", "weather-2019-08-25.txt"),
    ("NOAA 19", "weather-2019-08-25.txt"),
    ("METEOSAT-8 (MSG-1)", "weather-2019-08-25.txt"),
    ("GOES 13", "weather-2019-08-25.txt"),
    ("SGP4 TEST 88888", "orbit-test-sets.tle"),
    ("SDP4 TEST 11801", "orbit-test-sets.tle"),
    ("MOLNIYA TYPE 99901", "orbit-test-sets.tle"),
]
MINUTES = [m * 360.0 for m in range(-4, 13)]  # -1 day .. +3 days, every 6 hours


def read_set(name, file):
    with open(os.path.join(DATA, file), newline="") as f:
        lines = [line.rstrip("\r\n") for line in f]
    for i, line in enumerate(lines):
        if line.strip() == name:
            return lines[i + 1], lines[i + 2]
    raise SystemExit("no set " + name + " in " + file)


def afspc_satrec(line1, line2):
    """The library's own parse, initialised again in the "afspc" mode."""
    s = Satrec.twoline2rv(line1, line2, WGS72)
    epoch = s.jdsatepoch + s.jdsatepochF - 2433281.5
    a = Satrec()
    a.sgp4init(WGS72, "a", s.satnum, epoch, s.bstar, s.ndot, s.nddot, s.ecco, s.argpo, s.inclo,
               s.mo, s.no_kozai, s.nodeo)
    return s, a


def write_propagation():
    rows = ["catalogue,minutes,x,y,z,vx,vy,vz"]
    for name, file in SETS:
        line1, line2 = read_set(name, file)
        _, sat = afspc_satrec(line1, line2)
        for t in MINUTES:
            err, r, v = sat.sgp4_tsince(t)
            if err:
                raise SystemExit("sgp4 error %d for %s at %g" % (err, name, t))
            rows.append("%s,%.1f,%.8f,%.8f,%.8f,%.11f,%.11f,%.11f" %
                        ((line1[2:7], t) + tuple(r) + tuple(v)))
    with open(os.path.join(DATA, "orbit-reference.csv"), "w") as f:
        f.write("\n".join(rows) + "\n")


# WGS-72 ellipsoid of the program.
A_EARTH = 6378.135
F_EARTH = 1 / 298.26
B_EARTH = A_EARTH * (1 - F_EARTH)


def geodetic(p):
    """Closed-form geodetic latitude and height (Heikkinen) of an earth-fixed point."""
    x, y, z = p
    a, b = A_EARTH, B_EARTH
    e2 = 1 - b * b / (a * a)
    ep2 = a * a / (b * b) - 1
    r = math.hypot(x, y)
    big_f = 54 * b * b * z * z
    g = r * r + (1 - e2) * z * z - e2 * (a * a - b * b)
    c = e2 * e2 * big_f * r * r / g**3
    s = (1 + c + math.sqrt(c * c + 2 * c))**(1 / 3)
    k = s + 1 + 1 / s
    big_p = big_f / (3 * k * k * g * g)
    q = math.sqrt(1 + 2 * e2 * e2 * big_p)
    r0 = (-big_p * e2 * r / (1 + q) +
          math.sqrt(a * a / 2 * (1 + 1 / q) - big_p * (1 - e2) * z * z / (q * (1 + q)) -
                    big_p * r * r / 2))
    u = math.hypot(r - e2 * r0, z)
    v = math.sqrt((r - e2 * r0)**2 + (1 - e2) * z * z)
    z0 = b * b * z / (a * v)
    lat = math.atan((z + ep2 * z0) / r)
    height = u * (1 - b * b / (a * v))
    lon = math.atan2(y, x)
    return math.degrees(lat), math.degrees(lon), height


def ray_to_ellipsoid(p, u):
    """Nearer intersection of p + d u with x^2/a^2 + y^2/a^2 + z^2/b^2 = 1."""
    w = np.array([1 / A_EARTH**2, 1 / A_EARTH**2, 1 / B_EARTH**2])
    qa = np.sum(w * u * u)
    qb = 2 * np.sum(w * p * u)
    qc = np.sum(w * p * p) - 1
    disc = qb * qb - 4 * qa * qc
    return p + (-qb - math.sqrt(disc)) / (2 * qa) * u


def write_pass():
    line1, line2 = read_set("NOAA 15", "weather-2019-08-25.txt")
    lib, sat = afspc_satrec(line1, line2)
    rows = ["line,point,latitude,longitude,height"]
    for line in (0, 240, 480, 720):
        seconds = 45 + 0.5 * line
        jd, fr = jday(2019, 8, 25, 18, 27, 0)
        fr += seconds / 86400
        tsince = ((jd - lib.jdsatepoch) + (fr - lib.jdsatepochF)) * 1440
        err, r, v = sat.sgp4_tsince(tsince)
        assert err == 0
        r, v = np.array(r), np.array(v)
        # Earth-fixed = inertial turned back by the sidereal angle.
        g = gstime(jd + fr)
        turn = np.array([[math.cos(g), math.sin(g), 0], [-math.sin(g), math.cos(g), 0], [0, 0, 1]])
        lat, lon, h = geodetic(turn @ r)
        rows.append("%d,-1,%.6f,%.6f,%.4f" % (line, lat, lon, h))
        nadir = r / np.linalg.norm(r)
        cross = np.cross(r, v)
        cross /= np.linalg.norm(cross)
        for point in (0, 5, 20, 25, 30, 45, 50):
            s = 40 * (point - 25)
            angle = math.radians((s + 0.5) * 55.37 / 1023.5)
            u = -math.cos(angle) * nadir + math.sin(angle) * cross
            lat, lon, h = geodetic(turn @ ray_to_ellipsoid(r, u))
            assert abs(h) < 1e-6
            rows.append("%d,%d,%.6f,%.6f,0" % (line, point, lat, lon))
    with open(os.path.join(DATA, "pass-08251827-noaa15.csv"), "w") as f:
        f.write("\n".join(rows) + "\n")


def check_modes():
    """How far the library's own modes differ, for the record."""
    worst = 0.0
    for name, file in SETS:
        s, a = afspc_satrec(*read_set(name, file))
        for t in MINUTES:
            worst = max(worst, np.linalg.norm(np.subtract(s.sgp4_tsince(t)[1],
                                                          a.sgp4_tsince(t)[1])))
    print("largest difference between the library's modes: %.3f km" % worst)


if __name__ == "__main__":
    write_propagation()
    write_pass()
    check_modes()
