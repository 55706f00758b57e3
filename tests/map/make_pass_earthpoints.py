#!/usr/bin/python3
"""Earth points of every picture line of the NOAA 15 pass of 2019-08-25.

Writes noaa15-20190825-182745.lcn: one 408-byte record per picture line
(840 lines, line 0 at 18:27:45 UTC, 0.5 s apart), each 51 little-endian
float32 pairs (latitude, longitude) in degrees at scanner offsets -1000,
-960 ... 1000; and noaa15-20190825-182745-between.lcn: the same for every
40th line at the offsets halfway between (-980, -940 ... 1020). Prints the
mean satellite height.

Propagation by Debian's python3-sgp4 (WGS-72); the scan geometry is written
out here independently of the C++ code: a ray across the track from the
satellite, met with the WGS-72 ellipsoid, and the geodetic latitude of the
point where it lands.

Usage: make_pass_earthpoints.py TLE_FILE [OUT_FOLDER]
"""
import math
import os
import struct
import sys

import numpy as np
from sgp4.api import WGS72, Satrec, jday
from sgp4.propagation import gstime

RADIUS = 6378.135                  # km, WGS-72 equatorial radius
AXIS_RATIO = 1.0033640584000538    # equatorial over polar radius
E2 = 0.006694317778266722          # first eccentricity squared
HALF_ANGLE = 55.37                 # degrees, scanner half-angle
LINES, LINE_SECONDS = 840, 0.5
START = (2019, 8, 25, 18, 27, 45.0)


def elements(path, name):
    lines = [l.rstrip('\n') for l in open(path)]
    for i, l in enumerate(lines):
        if l.strip() == name:
            return lines[i + 1], lines[i + 2]
    raise SystemExit('no %s in %s' % (name, path))


def geodetic(q, gmst):
    """Latitude, longitude (degrees, -180..180) and height (km) of a TEME point."""
    x, y, z = q
    lon = (math.atan2(y, x) - gmst) % (2 * math.pi)
    r = math.hypot(x, y)
    lat = math.atan2(z, r)
    while True:
        c = 1 / math.sqrt(1 - E2 * math.sin(lat) ** 2)
        new = math.atan2(z + RADIUS * c * E2 * math.sin(lat), r)
        if abs(new - lat) < 1e-12:
            lat = new
            break
        lat = new
    c = 1 / math.sqrt(1 - E2 * math.sin(lat) ** 2)
    height = r / math.cos(lat) - RADIUS * c
    lon = math.degrees(lon)
    if lon > 180:
        lon -= 360
    return math.degrees(lat), lon, height


def main():
    tle = sys.argv[1]
    folder = sys.argv[2] if len(sys.argv) > 2 else '.'
    sat = Satrec.twoline2rv(*elements(tle, 'NOAA 15'), WGS72)
    heights = []
    write(sat, range(LINES), 0, os.path.join(folder, 'noaa15-20190825-182745.lcn'), heights)
    write(sat, range(0, LINES, 40), 20,
          os.path.join(folder, 'noaa15-20190825-182745-between.lcn'), [])
    print('mean satellite height %.3f km' % (sum(heights) / len(heights)))


def write(sat, lines, shift, out, heights):
    """Records of the given lines at scanner offsets 40 k - 1000 + shift."""
    e = AXIS_RATIO ** 2 - 1
    records = []
    for line in lines:
        y, mo, d, h, mi, s = START
        jd, fr = jday(y, mo, d, h, mi, s + line * LINE_SECONDS)
        err, r, v = sat.sgp4(jd, fr)
        assert err == 0
        p, vel = np.array(r), np.array(v)
        gmst = gstime(jd + fr)
        heights.append(geodetic(p, gmst)[2])
        nadir = p / np.linalg.norm(p)
        cross = np.cross(p, vel)
        cross /= np.linalg.norm(cross)
        norm = np.linalg.norm(p)
        record = []
        for k in range(51):
            offset = 40 * (k - 25) + shift
            theta = math.radians((offset + 0.5) * HALF_ANGLE / 1023.5)
            u = -math.cos(theta) * nadir + math.sin(theta) * cross
            a = 1 + e * u[2] ** 2
            b = math.cos(theta) * norm - e * p[2] * u[2]
            c = RADIUS ** 2 - norm ** 2 - e * p[2] ** 2
            dist = b / a - math.sqrt((b * b + a * c) / (a * a))
            lat, lon, _ = geodetic(p + dist * u, gmst)
            record += [lat, lon]
        records.append(struct.pack('<102f', *record))
    with open(out, 'wb') as f:
        f.write(b''.join(records))
    print('%d lines written to %s' % (len(records), out))


if __name__ == '__main__':
    main()
