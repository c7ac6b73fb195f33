#!/usr/bin/env python3
"""Writes GEOS's answers for the engine's coordinate-geometry tests.

GEOS is an oracle only: this script talks to libgeos_c through ctypes
(`apt-get install libgeos-c1v5`) and writes seeded CSV files under
tests/data/geos/; the tests read those files and need no GEOS. Run it from
the repository root after building the release preset:

    python3 tools/oracle/gen_geos_cogo_vectors.py build/release/tests/geometry/topology/cogo/te_cogo_strokes

The argument is the helper that prints this engine's fine strokes of a
curve; the curves family hands GEOS exactly those strokes.

Families (coordinates on a 1e-3 grid in [0, 1000], general position,
near-ambiguous cases dropped with a clearance of 1e-6):
  rings.csv     ring, GEOS area (negated when GEOS finds the ring
                counter-clockwise), centroid, simplicity of the ring
  lines.csv     open polyline, simplicity
  segments.csv  two segments that do not meet: their lengths, GEOS's
                nearest points and distance
  polylines.csv two polylines and the points where they cross
  curves.csv    curve nodes (one curve: its self-crossings; two curves:
                their crossings) with GEOS's crossings of the fine strokes
Every value is printed with %.17g; WKT-like fields hold "x y;x y;...".
"""
import ctypes
import ctypes.util
import math
import os
import random
import subprocess
import sys

SEED = 20261210
OUT = os.path.join("tests", "data", "geos")

lib = ctypes.CDLL(ctypes.util.find_library("geos_c") or "libgeos_c.so.1")
lib.GEOS_init_r.restype = ctypes.c_void_p
lib.GEOSversion.restype = ctypes.c_char_p
P = ctypes.c_void_p
for name, res, args in [
    ("GEOSWKTReader_create_r", P, [P]),
    ("GEOSWKTReader_read_r", P, [P, P, ctypes.c_char_p]),
    ("GEOSGeom_destroy_r", None, [P, P]),
    ("GEOSArea_r", ctypes.c_int, [P, P, ctypes.POINTER(ctypes.c_double)]),
    ("GEOSLength_r", ctypes.c_int, [P, P, ctypes.POINTER(ctypes.c_double)]),
    ("GEOSDistance_r", ctypes.c_int, [P, P, P, ctypes.POINTER(ctypes.c_double)]),
    ("GEOSisSimple_r", ctypes.c_char, [P, P]),
    ("GEOSisValid_r", ctypes.c_char, [P, P]),
    ("GEOSGetCentroid_r", P, [P, P]),
    ("GEOSGeomGetX_r", ctypes.c_int, [P, P, ctypes.POINTER(ctypes.c_double)]),
    ("GEOSGeomGetY_r", ctypes.c_int, [P, P, ctypes.POINTER(ctypes.c_double)]),
    ("GEOSGetExteriorRing_r", P, [P, P]),
    ("GEOSGeom_getCoordSeq_r", P, [P, P]),
    ("GEOSCoordSeq_isCCW_r", ctypes.c_int, [P, P, ctypes.c_char_p]),
    ("GEOSNearestPoints_r", P, [P, P, P]),
    ("GEOSCoordSeq_getX_r", ctypes.c_int, [P, P, ctypes.c_uint, ctypes.POINTER(ctypes.c_double)]),
    ("GEOSCoordSeq_getY_r", ctypes.c_int, [P, P, ctypes.c_uint, ctypes.POINTER(ctypes.c_double)]),
    ("GEOSCoordSeq_destroy_r", None, [P, P]),
    ("GEOSIntersection_r", P, [P, P, P]),
    ("GEOSGetNumGeometries_r", ctypes.c_int, [P, P]),
    ("GEOSGetGeometryN_r", P, [P, P, ctypes.c_int]),
    ("GEOSGeomTypeId_r", ctypes.c_int, [P, P]),
    ("GEOSNode_r", P, [P, P]),
    ("GEOSGeomGetNumPoints_r", ctypes.c_int, [P, P]),
    ("GEOSGeomGetStartPoint_r", P, [P, P]),
    ("GEOSGeomGetEndPoint_r", P, [P, P]),
]:
    fn = getattr(lib, name)
    fn.restype = res
    fn.argtypes = args

H = lib.GEOS_init_r()
READER = lib.GEOSWKTReader_create_r(H)
VERSION = lib.GEOSversion().decode()


class Geom:
    def __init__(self, wkt):
        self.g = lib.GEOSWKTReader_read_r(H, READER, wkt.encode())
        if not self.g:
            raise ValueError(wkt)

    def __del__(self):
        lib.GEOSGeom_destroy_r(H, self.g)


def coords_wkt(pts):
    return ", ".join("%.17g %.17g" % p for p in pts)


def line(pts):
    return Geom("LINESTRING (%s)" % coords_wkt(pts))


def dbl(fn, *args):
    v = ctypes.c_double()
    if not fn(H, *args, ctypes.byref(v)):
        raise RuntimeError(fn)
    return v.value


def point_xy(g):
    return (dbl(lib.GEOSGeomGetX_r, g), dbl(lib.GEOSGeomGetY_r, g))


def distance(a, b):
    return dbl(lib.GEOSDistance_r, a.g, b.g)


def points_of(g):
    """The points of a point or multipoint result; None when it holds more."""
    tid = lib.GEOSGeomTypeId_r(H, g)
    if tid == 7 and lib.GEOSGetNumGeometries_r(H, g) == 0:  # empty collection
        return []
    if tid == 0:
        return [point_xy(g)]
    if tid == 4:
        return [point_xy(lib.GEOSGetGeometryN_r(H, g, i))
                for i in range(lib.GEOSGetNumGeometries_r(H, g))]
    return None


def grid(rng, lo=0.0, hi=1000.0):
    return round(rng.uniform(lo, hi), 3)


def fmt(v):
    return "%.17g" % v


def pts_field(pts):
    return ";".join("%.17g %.17g" % p for p in pts)


def clear_pairs(pts, closed):
    """Non-adjacent segments either cross properly or keep 1e-6 apart;
    adjacent ones do not fold back to within 1e-6."""
    n = len(pts) - 1
    segs = [line([pts[i], pts[i + 1]]) for i in range(n)]
    for i in range(n):
        for j in range(i + 1, n):
            adjacent = j == i + 1 or (closed and i == 0 and j == n - 1)
            if adjacent:
                far_j = pts[j + 1] if j == i + 1 else pts[j]
                far_i = pts[i] if j == i + 1 else pts[i + 1]
                for p, s in ((far_j, segs[i]), (far_i, segs[j])):
                    d = distance(Geom("POINT (%.17g %.17g)" % p), s)
                    if d < 1e-6:
                        return False
                continue
            d = distance(segs[i], segs[j])
            if 0 < d < 1e-6:
                return False
            if d == 0:
                x = points_of(lib.GEOSIntersection_r(H, segs[i].g, segs[j].g))
                if x is None or len(x) != 1:
                    return False
                for p in (pts[i], pts[i + 1], pts[j], pts[j + 1]):
                    if math.hypot(p[0] - x[0][0], p[1] - x[0][1]) < 1e-6:
                        return False
    return True


def rings(rng):
    rows = []
    while len(rows) < 40:
        n = rng.randint(3, 14)
        cx, cy = grid(rng, 200, 800), grid(rng, 200, 800)
        if len(rows) % 2 == 0:  # star-shaped: simple
            angles = sorted(rng.uniform(0, 2 * math.pi) for _ in range(n))
            pts = [(round(cx + rng.uniform(20, 190) * math.cos(a), 3),
                    round(cy + rng.uniform(20, 190) * math.sin(a), 3)) for a in angles]
            if rng.random() < 0.5:
                pts.reverse()
        else:  # any order: usually not simple
            pts = [(grid(rng, cx - 190, cx + 190), grid(rng, cy - 190, cy + 190)) for _ in range(n)]
        pts.append(pts[0])
        if len(set(pts)) != n or not clear_pairs(pts, True):
            continue
        ring = line(pts)
        simple = lib.GEOSisSimple_r(H, ring.g) == b"\x01"
        poly = Geom("POLYGON ((%s))" % coords_wkt(pts))
        area = dbl(lib.GEOSArea_r, poly.g)
        ccw = ctypes.c_char()
        seq = lib.GEOSGeom_getCoordSeq_r(H, lib.GEOSGetExteriorRing_r(H, poly.g))
        lib.GEOSCoordSeq_isCCW_r(H, seq, ctypes.byref(ccw))
        if not simple:
            area = 0.0  # not compared: GEOS measures a self-crossing ring otherwise
        elif ccw.value == b"\x01":
            area = -area
        c = lib.GEOSGetCentroid_r(H, poly.g)
        centroid = point_xy(c)
        lib.GEOSGeom_destroy_r(H, c)
        xs, ys = [p[0] for p in pts], [p[1] for p in pts]
        extent = max(max(xs) - min(xs), max(ys) - min(ys))
        rows.append([pts_field(pts), fmt(area), fmt(centroid[0]), fmt(centroid[1]),
                     "1" if simple else "0", fmt(extent)])
    return ["points", "area_cw", "centroid_x", "centroid_y", "simple", "extent"], rows


def lines(rng):
    rows = []
    while len(rows) < 40:
        n = rng.randint(3, 12)
        pts = [(grid(rng), grid(rng))]
        for _ in range(n - 1):
            a = rng.uniform(0, 2 * math.pi)
            r = rng.uniform(10, 300)
            pts.append((round(min(1000, max(0, pts[-1][0] + r * math.cos(a))), 3),
                        round(min(1000, max(0, pts[-1][1] + r * math.sin(a))), 3)))
        if len(set(pts)) != n or not clear_pairs(pts, False):
            continue
        g = line(pts)
        simple = lib.GEOSisSimple_r(H, g.g) == b"\x01"
        rows.append([pts_field(pts), "1" if simple else "0"])
    return ["points", "simple"], rows


def segments(rng):
    rows = []
    while len(rows) < 40:
        a, b, c, d = [(grid(rng), grid(rng)) for _ in range(4)]
        u = (b[0] - a[0], b[1] - a[1])
        v = (d[0] - c[0], d[1] - c[1])
        lu, lv = math.hypot(*u), math.hypot(*v)
        if lu < 1 or lv < 1 or abs(u[0] * v[1] - u[1] * v[0]) < 1e-3 * lu * lv:
            continue
        s1, s2 = line([a, b]), line([c, d])
        dist = distance(s1, s2)
        if dist < 1e-6:
            continue
        seq = lib.GEOSNearestPoints_r(H, s1.g, s2.g)
        near = [(dbl(lib.GEOSCoordSeq_getX_r, seq, i), dbl(lib.GEOSCoordSeq_getY_r, seq, i))
                for i in range(2)]
        lib.GEOSCoordSeq_destroy_r(H, seq)
        extent = max(max(p[0] for p in (a, b, c, d)) - min(p[0] for p in (a, b, c, d)),
                     max(p[1] for p in (a, b, c, d)) - min(p[1] for p in (a, b, c, d)))
        rows.append([pts_field([a, b, c, d]), fmt(dbl(lib.GEOSLength_r, s1.g)),
                     fmt(dbl(lib.GEOSLength_r, s2.g)), pts_field(near), fmt(dist), fmt(extent)])
    return ["points", "length_ab", "length_cd", "nearest", "distance", "extent"], rows


def polylines(rng):
    rows = []
    while len(rows) < 30:
        a = [(grid(rng), grid(rng)) for _ in range(rng.randint(2, 9))]
        b = [(grid(rng), grid(rng)) for _ in range(rng.randint(2, 9))]
        la, lb = line(a), line(b)
        x = points_of(lib.GEOSIntersection_r(H, la.g, lb.g))
        if x is None:
            continue
        # Proper crossings only: every vertex keeps clear of the other line.
        if any(distance(Geom("POINT (%.17g %.17g)" % p), other) < 1e-6
               for pts, other in ((a, lb), (b, la)) for p in pts):
            continue
        rows.append([pts_field(a), pts_field(b), pts_field(x) if x else "", str(len(x))])
    return ["a", "b", "crossings", "count"], rows


def stroke(tool, nodes):
    out = subprocess.run([tool], input=" ".join("%.17g %.17g" % p for p in nodes) + "\n",
                         capture_output=True, text=True, check=True).stdout.split()
    v = [float(t) for t in out]
    return list(zip(v[0::2], v[1::2]))


def crossings_of_strokes(sa, sb):
    la, lb = line(sa), line(sb)
    return points_of(lib.GEOSIntersection_r(H, la.g, lb.g))


def self_crossings(s):
    """Points where the noded stroke meets itself: end points of three or
    more noded pieces (the stroke's own ends appear once)."""
    g = line(s)
    noded = lib.GEOSNode_r(H, g.g)
    count = {}
    for i in range(lib.GEOSGetNumGeometries_r(H, noded)):
        piece = lib.GEOSGetGeometryN_r(H, noded, i)
        for get in (lib.GEOSGeomGetStartPoint_r, lib.GEOSGeomGetEndPoint_r):
            p = get(H, piece)
            xy = point_xy(p)
            lib.GEOSGeom_destroy_r(H, p)
            count[xy] = count.get(xy, 0) + 1
    lib.GEOSGeom_destroy_r(H, noded)
    return [p for p, k in count.items() if k >= 3]


def wander(rng, n, scale):
    x, y, d = grid(rng, 300, 700), grid(rng, 300, 700), rng.uniform(0, 2 * math.pi)
    pts = [(x, y)]
    for _ in range(n - 1):
        d += rng.uniform(-1.4, 1.4)
        r = rng.uniform(0.5, 1.0) * scale
        x = round(min(1000.0, max(0.0, x + r * math.cos(d))), 3)
        y = round(min(1000.0, max(0.0, y + r * math.sin(d))), 3)
        pts.append((x, y))
    return pts


def separated(points, extent):
    return all(math.hypot(p[0] - q[0], p[1] - q[1]) > 0.02 * extent
               for i, p in enumerate(points) for q in points[i + 1:])


def curves(rng, tool):
    rows = []
    empty = 0
    while len(rows) < 40:
        two = len(rows) % 2 == 0
        a = wander(rng, rng.randint(4, 9), 60)
        b = wander(rng, rng.randint(3, 7), 60) if two else []
        sa = stroke(tool, a)
        if two:
            sb = stroke(tool, b)
            x = crossings_of_strokes(sa, sb)
        else:
            x = self_crossings(sa)
        allp = sa + (stroke(tool, b) if two else [])
        extent = max(max(p[0] for p in allp) - min(p[0] for p in allp),
                     max(p[1] for p in allp) - min(p[1] for p in allp))
        if x is None or not separated(x, extent):
            continue
        # Keep crossings clear of the curves' nodes.
        if any(math.hypot(p[0] - q[0], p[1] - q[1]) < 0.02 * extent for p in x for q in a + b):
            continue
        if not x:  # a few cases without crossings; most with some
            if empty >= 8:
                continue
            empty += 1
        rows.append([pts_field(a), pts_field(b), pts_field(x) if x else "", str(len(x)),
                     fmt(extent)])
    return ["a", "b", "crossings", "count", "extent"], rows


def write(name, family):
    header, rows = family
    path = os.path.join(OUT, name)
    with open(path, "w") as f:
        f.write("# GEOS %s, %s, seed %d; written by tools/oracle/gen_geos_cogo_vectors.py\n"
                % (VERSION, name, SEED))
        f.write(",".join(header) + "\n")
        for r in rows:
            f.write(",".join(r) + "\n")
    print("wrote", path, len(rows), "rows")


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    os.makedirs(OUT, exist_ok=True)
    rng = random.Random(SEED)
    write("rings.csv", rings(rng))
    write("lines.csv", lines(rng))
    write("segments.csv", segments(rng))
    write("polylines.csv", polylines(rng))
    write("curves.csv", curves(rng, sys.argv[1]))


if __name__ == "__main__":
    main()
