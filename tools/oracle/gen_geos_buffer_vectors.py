#!/usr/bin/env python3
"""Writes GEOS's buffers for the engine's buffer tests:
tests/data/geos/buffer.csv (two cases per family and width factor) and
tests/data/geos/buffer_wide.csv (a second seed, six per family and factor),
one line per case:

    name;input;width;area;polygons;holes;result

name is the case's label (family and number), input the geometry as WKT,
width the buffer distance (negative only on polygons: GEOS erodes them),
area, polygons and holes GEOS's buffer's area, polygon count and hole count,
and result the buffer as WKT with 17 significant digits, from which the test
measures the Hausdorff distance to the engine's outline both ways.

GEOS buffers with 32 quadrant segments, round caps and round joins (the
default 8 leaves chords far enough inside the true arc to matter beside the
test's bound of 1% of the width). Seeded inputs in general position: a case
is kept only when GEOS gives the same polygon and hole counts at 0.97 and
1.03 times its width, so that no buffer edge just touches another, and no
two point circles cross at a shallow angle.

GEOS is an oracle only: this script talks to libgeos_c through ctypes
(`apt-get install libgeos-c1v5`); the tests read the CSV and need no GEOS.
Run from the repository root, it writes both committed files:

    python3 tools/oracle/gen_geos_buffer_vectors.py

For a wider search by hand,
`--seed N --per-family K --out FILE` writes one other set.
"""
import argparse
import ctypes
import ctypes.util
import math
import os
import random

SEED = 20261211
OUT = os.path.join("tests", "data", "geos", "buffer.csv")
WIDE_SEED = 777
WIDE_PER_FAMILY = 6
WIDE_OUT = os.path.join("tests", "data", "geos", "buffer_wide.csv")

lib = ctypes.CDLL(ctypes.util.find_library("geos_c") or "libgeos_c.so.1")
lib.GEOS_init_r.restype = ctypes.c_void_p
P = ctypes.c_void_p
for name, res, args in [
    ("GEOSWKTReader_create_r", P, [P]),
    ("GEOSWKTReader_read_r", P, [P, P, ctypes.c_char_p]),
    ("GEOSWKTWriter_create_r", P, [P]),
    ("GEOSWKTWriter_setRoundingPrecision_r", None, [P, P, ctypes.c_int]),
    ("GEOSWKTWriter_setTrim_r", None, [P, P, ctypes.c_char]),
    ("GEOSWKTWriter_write_r", ctypes.c_void_p, [P, P, P]),
    ("GEOSFree_r", None, [P, P]),
    ("GEOSGeom_destroy_r", None, [P, P]),
    ("GEOSArea_r", ctypes.c_int, [P, P, ctypes.POINTER(ctypes.c_double)]),
    ("GEOSisSimple_r", ctypes.c_char, [P, P]),
    ("GEOSisValid_r", ctypes.c_char, [P, P]),
    ("GEOSisEmpty_r", ctypes.c_char, [P, P]),
    ("GEOSBufferWithStyle_r", P, [P, P, ctypes.c_double, ctypes.c_int, ctypes.c_int,
                                  ctypes.c_int, ctypes.c_double]),
    ("GEOSGetNumGeometries_r", ctypes.c_int, [P, P]),
    ("GEOSGetGeometryN_r", P, [P, P, ctypes.c_int]),
    ("GEOSGetNumInteriorRings_r", ctypes.c_int, [P, P]),
]:
    fn = getattr(lib, name)
    fn.restype = res
    fn.argtypes = args

H = lib.GEOS_init_r()
READER = lib.GEOSWKTReader_create_r(H)
WRITER = lib.GEOSWKTWriter_create_r(H)
lib.GEOSWKTWriter_setRoundingPrecision_r(H, WRITER, 17)
lib.GEOSWKTWriter_setTrim_r(H, WRITER, b"\x01")

QUADRANT_SEGMENTS = 32
CAP_ROUND = 1
JOIN_ROUND = 1


class Geom:
    def __init__(self, wkt=None, handle=None):
        self.g = handle if handle else lib.GEOSWKTReader_read_r(H, READER, wkt.encode())
        if not self.g:
            raise ValueError(wkt)

    def __del__(self):
        lib.GEOSGeom_destroy_r(H, self.g)

    def wkt(self):
        p = lib.GEOSWKTWriter_write_r(H, WRITER, self.g)
        text = ctypes.string_at(p).decode()
        lib.GEOSFree_r(H, p)
        return text

    def area(self):
        v = ctypes.c_double()
        if not lib.GEOSArea_r(H, self.g, ctypes.byref(v)):
            raise RuntimeError("area")
        return v.value

    def simple(self):
        return lib.GEOSisSimple_r(H, self.g) == b"\x01"

    def valid(self):
        return lib.GEOSisValid_r(H, self.g) == b"\x01"

    def empty(self):
        return lib.GEOSisEmpty_r(H, self.g) == b"\x01"

    def buffer(self, width):
        return Geom(handle=lib.GEOSBufferWithStyle_r(H, self.g, width, QUADRANT_SEGMENTS,
                                                     CAP_ROUND, JOIN_ROUND, 5.0))

    def counts(self):
        """Polygons and holes of a polygon or multipolygon."""
        if self.empty():
            return 0, 0
        n = lib.GEOSGetNumGeometries_r(H, self.g)
        holes = sum(lib.GEOSGetNumInteriorRings_r(H, lib.GEOSGetGeometryN_r(H, self.g, i))
                    for i in range(n))
        return n, holes


def xy(p):
    return "%r %r" % p


def grid(v):
    return round(v, 3)


def rotated(pts, cx, cy, angle):
    c, s = math.cos(angle), math.sin(angle)
    return [(grid(cx + x * c - y * s), grid(cy + x * s + y * c)) for x, y in pts]


def ring_text(pts):
    return "(" + ", ".join(xy(p) for p in pts + [pts[0]]) + ")"


def star(rng, cx, cy, rmin, rmax, n, clockwise=False):
    pts = []
    for i in range(n):
        t = 2 * math.pi * (i + rng.uniform(0.15, 0.85)) / n
        r = rng.uniform(rmin, rmax)
        pts.append((grid(cx + r * math.cos(t)), grid(cy + r * math.sin(t))))
    return pts[::-1] if clockwise else pts


def centre(rng):
    return rng.uniform(-50, 50), rng.uniform(-50, 50)


# Families: each yields (input WKT, size) with size the feature's scale.
def points(rng):
    cx, cy = centre(rng)
    return "POINT (%s)" % xy((grid(cx), grid(cy))), 1.0


def multipoint_apart(rng):
    cx, cy = centre(rng)
    pts = [(grid(cx + 12 * i + rng.uniform(-1, 1)), grid(cy + rng.uniform(-6, 6))) for i in range(3)]
    return "MULTIPOINT (%s)" % ", ".join("(%s)" % xy(p) for p in pts), 1.0


def multipoint_overlapping(rng):
    cx, cy = centre(rng)
    pts = [(grid(cx + rng.uniform(-1.5, 1.5)), grid(cy + rng.uniform(-1.5, 1.5))) for _ in range(4)]
    return "MULTIPOINT (%s)" % ", ".join("(%s)" % xy(p) for p in pts), 1.0


def segment(rng):
    cx, cy = centre(rng)
    length, t = rng.uniform(5, 30), rng.uniform(0, 2 * math.pi)
    pts = rotated([(-length / 2, 0), (length / 2, 0)], cx, cy, t)
    return "LINESTRING (%s)" % ", ".join(xy(p) for p in pts), length


def polyline(rng, crossing):
    while True:
        cx, cy = centre(rng)
        if crossing:
            pts = [(grid(cx + rng.uniform(-10, 10)), grid(cy + rng.uniform(-10, 10)))
                   for _ in range(rng.randint(5, 8))]
        else:
            pts, heading = [(grid(cx), grid(cy))], rng.uniform(0, 2 * math.pi)
            for _ in range(rng.randint(3, 7)):
                heading += rng.uniform(-2.0, 2.0)
                step = rng.uniform(4, 10)
                pts.append((grid(pts[-1][0] + step * math.cos(heading)),
                            grid(pts[-1][1] + step * math.sin(heading))))
        g = Geom("LINESTRING (%s)" % ", ".join(xy(p) for p in pts))
        if g.simple() != crossing:
            return g.wkt(), 10.0


def closed_square(rng):
    cx, cy = centre(rng)
    side = rng.uniform(8, 20)
    h = side / 2
    pts = rotated([(-h, -h), (h, -h), (h, h), (-h, h)], cx, cy, rng.uniform(0, math.pi / 2))
    return "LINESTRING (%s)" % ", ".join(xy(p) for p in pts + [pts[0]]), side


def figure_eight(rng):
    cx, cy = centre(rng)
    a, b = rng.uniform(5, 10), rng.uniform(5, 10)
    pts = rotated([(-a, -b), (a, b), (a, -b), (-a, b)], cx, cy, rng.uniform(0, math.pi))
    return "LINESTRING (%s)" % ", ".join(xy(p) for p in pts + [pts[0]]), min(a, b)


def closed_random(rng):
    """A random walk of 11 steps closed back to its start, crossing itself."""
    while True:
        cx, cy = centre(rng)
        pts = [(grid(cx), grid(cy))]
        for _ in range(11):
            t, step = rng.uniform(0, 2 * math.pi), rng.uniform(0.5, 2.0)
            pts.append((grid(pts[-1][0] + step * math.cos(t)), grid(pts[-1][1] + step * math.sin(t))))
        g = Geom("LINESTRING (%s)" % ", ".join(xy(p) for p in pts + [pts[0]]))
        if not g.simple():
            return g.wkt(), 1.0


def convex(rng):
    cx, cy = centre(rng)
    r = rng.uniform(5, 15)
    pts = star(rng, cx, cy, r, r, rng.randint(5, 10), clockwise=rng.random() < 0.5)
    return "POLYGON (%s)" % ring_text(pts), r


def concave(rng):
    cx, cy = centre(rng)
    r = rng.uniform(8, 15)
    pts = star(rng, cx, cy, 0.45 * r, r, rng.randint(6, 12), clockwise=rng.random() < 0.5)
    return "POLYGON (%s)" % ring_text(pts), r


def with_holes(rng):
    while True:
        cx, cy = centre(rng)
        r = rng.uniform(15, 20)
        outer = star(rng, cx, cy, 0.85 * r, r, rng.randint(8, 14))
        holes = [star(rng, cx - 0.35 * r, cy + rng.uniform(-2, 2), 0.12 * r, 0.25 * r, rng.randint(4, 7)),
                 star(rng, cx + 0.35 * r, cy + rng.uniform(-2, 2), 0.12 * r, 0.25 * r, rng.randint(4, 7))]
        g = Geom("POLYGON (%s)" % ", ".join(ring_text(p) for p in [outer] + holes))
        if g.valid():
            return g.wkt(), 0.25 * r


def dumbbell(rng):
    """Two blobs joined by a neck of width 2h: eroded by more than h it
    falls apart in two polygons."""
    cx, cy = centre(rng)
    r, h, gap = rng.uniform(5, 8), rng.uniform(0.8, 1.5), rng.uniform(4, 8)
    left = [(-gap / 2 - r + r * math.cos(t), r * math.sin(t))
            for t in [2 * math.pi * (k + 0.5) / 9 for k in range(9)]]
    right = [(gap / 2 + r - r * math.cos(t), -r * math.sin(t))
             for t in [2 * math.pi * (k + 0.5) / 9 for k in range(9)]]
    neck_l = [p for p in left if abs(p[1]) > h or p[0] < -gap / 2 - r]
    neck_r = [p for p in right if abs(p[1]) > h or p[0] > gap / 2 + r]
    # Left blob counter-clockwise from its lower neck corner, then the right.
    pts = [(-gap / 2, -h)] + sorted((p for p in neck_l if p[1] < 0), key=lambda q: q[0], reverse=True)
    pts += sorted((p for p in neck_l if p[1] >= 0), key=lambda q: q[0])
    pts += [(-gap / 2, h), (gap / 2, h)]
    pts += sorted((p for p in neck_r if p[1] >= 0), key=lambda q: q[0])
    pts += sorted((p for p in neck_r if p[1] < 0), key=lambda q: q[0], reverse=True)
    pts += [(gap / 2, -h)]
    pts = rotated(pts, cx, cy, rng.uniform(0, math.pi))
    g = Geom("POLYGON (%s)" % ring_text(pts[::-1]))
    if not g.valid():
        return dumbbell(rng)
    return g.wkt(), h


FAMILIES = [
    ("point", points, [0.5, 2.0, 7.5]),
    ("multipoint_apart", multipoint_apart, [1.5, 3.0]),
    ("multipoint_overlap", multipoint_overlapping, [1.0, 2.5]),
    ("segment", segment, [0.03, 0.2, 0.8]),
    ("polyline", lambda rng: polyline(rng, False), [0.03, 0.15, 0.6]),
    ("polyline_crossing", lambda rng: polyline(rng, True), [0.03, 0.12, 0.5]),
    ("closed_square", closed_square, [0.05, 0.2, 0.7]),
    ("figure_eight", figure_eight, [0.05, 0.15, 0.6]),
    ("convex", convex, [0.05, 0.4, 1.5, -0.05, -0.3]),
    ("concave", concave, [0.04, 0.25, 1.0, -0.04, -0.12]),
    ("holes", with_holes, [0.1, 0.4, 1.2, -0.1, -0.3]),
    ("dumbbell", dumbbell, [0.5, 3.0, -0.6, -1.4]),
    # Wide buffers of self-crossing lines: caps and corner arcs crossing
    # parts of the band far along the line.
    ("polyline_crossing_wide", lambda rng: polyline(rng, True), [0.5] * 3),
    # Closed random walks: the band's two sides cross each other and
    # themselves; a closed line has no ends, so no caps.
    ("closed_line_random", closed_random, [0.1, 0.25, 0.4, 0.8]),
]
PER_FAMILY = 2


def shallow(wkt, width):
    """Two point circles crossing at a shallow angle (or nearly touching):
    there the crossing of two stroked circles lies along the lens, away
    from the true one, by many times a chord's sag, whatever the stroke."""
    if not wkt.startswith("MULTIPOINT"):
        return False
    body = wkt[wkt.index("(") + 1:-1].replace("(", "").replace(")", "")
    pts = [tuple(map(float, p.split())) for p in body.split(",")]
    return any(0.85 < math.hypot(a[0] - b[0], a[1] - b[1]) / (2 * abs(width)) < 1.15
               for i, a in enumerate(pts) for b in pts[i + 1:])


def stable(g, width):
    """Same polygon and hole counts a little below and above the width."""
    counts = g.buffer(width).counts()
    return all(g.buffer(width * f).counts() == counts for f in (0.97, 1.03))


def write_set(seed, per_family, out):
    rng = random.Random(seed)
    lines = []
    for family, make, factors in FAMILIES:
        number = 0
        for _ in range(per_family):
            for factor in factors:
                while True:
                    wkt, size = make(rng)
                    width = float("%.6g" % (factor * size * rng.uniform(0.9, 1.1)))
                    g = Geom(wkt)
                    if not stable(g, width) or shallow(wkt, width):
                        continue
                    b = g.buffer(width)
                    if b.empty():
                        continue
                    polygons, holes = b.counts()
                    number += 1
                    lines.append("%s_%d;%s;%r;%.17g;%d;%d;%s" % (family, number, wkt, width, b.area(),
                                                               polygons, holes, b.wkt()))
                    break
    with open(out, "w") as f:
        f.write("\n".join(lines) + "\n")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--seed", type=int)
    parser.add_argument("--per-family", type=int, default=PER_FAMILY)
    parser.add_argument("--out")
    args = parser.parse_args()
    if args.seed is None and args.out is None:
        write_set(SEED, PER_FAMILY, OUT)
        write_set(WIDE_SEED, WIDE_PER_FAMILY, WIDE_OUT)
    else:
        write_set(SEED if args.seed is None else args.seed, args.per_family, args.out or OUT)


if __name__ == "__main__":
    main()
