#!/usr/bin/python3
"""Small coastline files of the same content in the three formats.

Takes the first polygons of the little-endian GSHHS file that lie wholly in
the eastern hemisphere (so their 0..360 longitudes read the same in the text
format) and writes them as coast_le.b (GSHHS, little-endian), coast_be.b
(GSHHS, big-endian) and coast_text.txt (text, six decimals: exactly the
micro-degrees of the GSHHS points).

Usage: make_coast_slices.py COAST_GSHHS_LE_B [OUT_FOLDER]
The source is coast_gshhs_le.b of the project's shared map data (derived from
GSHHG 2.2.0, Wessel & Smith, LGPL-3+).
"""
import os
import struct
import sys

HEADER = struct.Struct('<8i2h')
POLYGONS, MAX_POINTS = 12, 80


def polygons(data):
    pos = 0
    while pos + HEADER.size <= len(data):
        header = HEADER.unpack_from(data, pos)
        n = header[1]
        points = struct.unpack_from('<%di' % (2 * n), data, pos + HEADER.size)
        yield header, points
        pos += HEADER.size + 8 * n


def decimal(micro):
    sign = '-' if micro < 0 else ''
    return '%s%d.%06d' % (sign, abs(micro) // 1000000, abs(micro) % 1000000)


def main():
    data = open(sys.argv[1], 'rb').read()
    folder = sys.argv[2] if len(sys.argv) > 2 else '.'
    chosen = []
    for header, points in polygons(data):
        if header[1] <= MAX_POINTS and all(0 <= x <= 180000000 for x in points[0::2]):
            chosen.append((header, points))
        if len(chosen) == POLYGONS:
            break
    le, be, text = [], [], []
    for new_id, (header, points) in enumerate(chosen):
        header = (new_id,) + header[1:]
        le.append(HEADER.pack(*header) + struct.pack('<%di' % len(points), *points))
        be.append(struct.pack('>8i2h', *header) + struct.pack('>%di' % len(points), *points))
        text.append('# -b\n')
        text += ['%s\t%s\n' % (decimal(points[i]), decimal(points[i + 1]))
                 for i in range(0, len(points), 2)]
    open(os.path.join(folder, 'coast_le.b'), 'wb').write(b''.join(le))
    open(os.path.join(folder, 'coast_be.b'), 'wb').write(b''.join(be))
    open(os.path.join(folder, 'coast_text.txt'), 'w').write(''.join(text))
    print('%d polygons, %d points' % (len(chosen), sum(len(p) // 2 for _, p in chosen)))


if __name__ == '__main__':
    main()
