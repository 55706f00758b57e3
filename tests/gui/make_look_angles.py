#!/usr/bin/python3
"""Azimuth and elevation of NOAA 15 seen from the default home location.

Prints, for the given UTC times of 2019-08-25, where NOAA 15 stood in the
sky of 55.9 N, 3.2 W (height 0): the figures the window's readout is
checked against. Propagation by Debian's python3-sgp4 (WGS-72); the turn
from the TEME frame to the earth (GMST only) and the topocentric angles are
written out here independently of the C++ code.

Usage: make_look_angles.py TLE_FILE HH:MM:SS.S ...
"""
import math
import sys

from sgp4.api import WGS72, Satrec, jday
from sgp4.propagation import gstime

RADIUS = 6378.135              # km, WGS-72 equatorial radius
E2 = 0.006694317778266722      # first eccentricity squared
HOME = (55.9, -3.2)


def elements(path, name):
    lines = [l.rstrip('\r\n') for l in open(path)]
    for i, l in enumerate(lines):
        if l.strip() == name:
            return lines[i + 1], lines[i + 2]
    raise SystemExit('no %s in %s' % (name, path))


def look(sat, hh, mm, ss):
    jd, fr = jday(2019, 8, 25, hh, mm, ss)
    err, r, _ = sat.sgp4(jd, fr)
    if err:
        raise SystemExit('sgp4 error %d' % err)
    gmst = gstime(jd + fr)
    # Satellite into the earth-fixed frame.
    c, s = math.cos(gmst), math.sin(gmst)
    x, y, z = c * r[0] + s * r[1], -s * r[0] + c * r[1], r[2]
    lat, lon = (math.radians(a) for a in HOME)
    n = RADIUS / math.sqrt(1 - E2 * math.sin(lat) ** 2)
    ox = n * math.cos(lat) * math.cos(lon)
    oy = n * math.cos(lat) * math.sin(lon)
    oz = n * (1 - E2) * math.sin(lat)
    dx, dy, dz = x - ox, y - oy, z - oz
    # South, east, zenith.
    south = (math.sin(lat) * math.cos(lon) * dx + math.sin(lat) * math.sin(lon) * dy -
             math.cos(lat) * dz)
    east = -math.sin(lon) * dx + math.cos(lon) * dy
    up = (math.cos(lat) * math.cos(lon) * dx + math.cos(lat) * math.sin(lon) * dy +
          math.sin(lat) * dz)
    rng = math.sqrt(dx * dx + dy * dy + dz * dz)
    elevation = math.degrees(math.asin(up / rng))
    azimuth = math.degrees(math.atan2(east, -south)) % 360
    return azimuth, elevation


def main():
    line1, line2 = elements(sys.argv[1], 'NOAA 15')
    sat = Satrec.twoline2rv(line1, line2, WGS72)
    for t in sys.argv[2:]:
        hh, mm, ss = t.split(':')
        az, el = look(sat, int(hh), int(mm), float(ss))
        print('%s  azimuth %.2f  elevation %.2f' % (t, az, el))


if __name__ == '__main__':
    main()
