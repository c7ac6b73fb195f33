#!/usr/bin/env python3
"""Writes tests/fixtures/jgd2000.fxt, the fixture tools/mktab turns into a
small Japan mesh table (jgd2000.tab) for the datum-shift grid tests.

Columns: MESHCODE (Integer, indexed), DLAT and DLON (Float, seconds). The
rows are the cells of a block of 10 by 11 third-level meshes around
(135.03 E, 35.01 N). Each cell's shifts are linear in its south-west corner
(x degrees east, y degrees north):
    DLON = 12 + 0.5 (x - 135) - 0.25 (y - 35)
    DLAT = -11 + 0.125 (x - 135) + 0.75 (y - 35)
so bilinear interpolation between cells gives the same linear field at any
point inside the block, which the tests compute on their own.

Mesh code of the cell with row R (of 30") and column C (of 45") counted from
latitude 0 and longitude 100: p = R // 80, q = R % 80 // 10, r = R % 10,
u = C // 80, v = C % 80 // 10, w = C % 10; code = p*1000000 + u*10000 +
q*1000 + v*100 + r*10 + w.

Usage: tools/gen_jgd_fixture.py [OUTPUT]   (default tests/fixtures/jgd2000.fxt)
"""
import os
import sys

ROWS = range(4197, 4207)     # latitude 34.975 to 35.05
COLUMNS = range(2798, 2809)  # longitude 134.975 to 135.1125


def code(row, col):
    p, q, r = row // 80, row % 80 // 10, row % 10
    u, v, w = col // 80, col % 80 // 10, col % 10
    return p * 1000000 + u * 10000 + q * 1000 + v * 100 + r * 10 + w


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(__file__), '..', 'tests', 'fixtures', 'jgd2000.fxt')
    lines = ['fxt 1',
             '# Japan mesh shifts, linear in the cell corner; written by tools/gen_jgd_fixture.py',
             'column MESHCODE 3 4 0 1',
             'column DLAT 8 8 0 0',
             'column DLON 8 8 0 0',
             'nomap']
    for row in ROWS:
        for col in COLUMNS:
            y = row / 120.0
            x = 100 + col / 80.0
            dlon = 12 + 0.5 * (x - 135) - 0.25 * (y - 35)
            dlat = -11 + 0.125 * (x - 135) + 0.75 * (y - 35)
            lines.append('row\t%d\t%.17g\t%.17g' % (code(row, col), dlat, dlon))
    with open(out, 'w', newline='\n') as f:
        f.write('\n'.join(lines) + '\n')


if __name__ == '__main__':
    main()
