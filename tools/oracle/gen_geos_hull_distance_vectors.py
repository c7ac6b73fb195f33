#!/usr/bin/env python3
"""Writes GEOS's convex hulls and nearest distances for the topology
engine's CONVEX_HULL and DISTANCE tests:

tests/data/geos/hull.csv, one point set per line:

    points,hull

points are the set ("x y;x y;..."), repeated points included; hull are the
vertices of GEOS's `convexHull` of the set as a MULTIPOINT (GEOS drops
collinear and repeated points; a set of one or two distinct points, or of
collinear points, gives a point or a line). Sets: small grids with points
left out (collinear hull edges), sets with repeated points, random sets,
and sets of three points or fewer.

tests/data/geos/distance.csv, one case per line, fields split by ';':

    nearest;farthest;wkt;wkt[;wkt[;wkt]]

two to four pairwise disjoint features (points, lines, a multipoint, a
multiline, star-shaped polygons); nearest is the smallest over all pairs of
the length of GEOS's `nearestPoints` line; farthest is the largest distance
between a vertex of one feature and a vertex of another (brute force here).
Coordinates lie on a 1e-3 grid; every pair is at least 0.5 apart and no
feature lies inside a polygon.

GEOS is an oracle only: run this with geosop (geos-bin) installed.
"""
import math
import os
import random
import re
import subprocess

SEED = 20261212
ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
HULL = os.path.join(ROOT, "tests", "data", "geos", "hull.csv")
DIST = os.path.join(ROOT, "tests", "data", "geos", "distance.csv")


def geosop(*args):
    return subprocess.run(["geosop", *args], capture_output=True, text=True, check=True).stdout.strip()


def coords(wkt):
    return [tuple(map(float, p)) for p in re.findall(r"(-?[\d.eE+-]+) (-?[\d.eE+-]+)", wkt)]


def fmt(p):
    return f"{p[0]:.3f} {p[1]:.3f}"


def r3(v):
    return round(v, 3)


# ---- hull sets ---------------------------------------------------------------

def grid_set(rng):
    nx, ny = rng.randint(2, 6), rng.randint(2, 6)
    x0, y0 = r3(rng.uniform(0, 50)), r3(rng.uniform(0, 50))
    dx, dy = r3(rng.uniform(0.5, 8)), r3(rng.uniform(0.5, 8))
    pts = [(r3(x0 + i * dx), r3(y0 + j * dy)) for i in range(nx) for j in range(ny)]
    keep = [p for p in pts if rng.random() < 0.75]
    return keep if len(keep) >= 4 else pts


def repeated_set(rng):
    pts = [(r3(rng.uniform(0, 100)), r3(rng.uniform(0, 100))) for _ in range(rng.randint(4, 12))]
    pts += [rng.choice(pts) for _ in range(rng.randint(2, 6))]
    pts.append(pts[0])
    rng.shuffle(pts)
    return pts


def random_set(rng):
    return [(r3(rng.uniform(0, 100)), r3(rng.uniform(0, 100))) for _ in range(rng.randint(4, 40))]


def small_sets():
    return [
        [(5.0, 5.0)],
        [(1.0, 2.0), (7.5, -3.25)],
        [(0.0, 0.0), (4.0, 1.0), (1.0, 3.0)],
        [(0.0, 0.0), (1.0, 1.0), (3.0, 3.0)],
    ]


def hull_rows(rng):
    sets = [grid_set(rng) for _ in range(12)] + [repeated_set(rng) for _ in range(8)]
    sets += [random_set(rng) for _ in range(12)] + small_sets()
    rows = []
    for pts in sets:
        wkt = "MULTIPOINT(" + ",".join(f"({x} {y})" for x, y in pts) + ")"
        hull = coords(geosop("-a", wkt, "-f", "wkt", "-p", "17", "convexHull"))
        if len(hull) > 1 and hull[0] == hull[-1]:
            hull = hull[:-1]
        rows.append(";".join(fmt(p) for p in pts) + "," + ";".join(f"{x:.17g} {y:.17g}" for x, y in hull))
    return rows


# ---- distance cases ----------------------------------------------------------

def star(rng, cx, cy, size):
    n = rng.randint(3, 7)
    angles = sorted(rng.uniform(0, 2 * math.pi) for _ in range(n))
    pts = [(r3(cx + size * rng.uniform(0.4, 1) * math.cos(a)), r3(cy + size * rng.uniform(0.4, 1) * math.sin(a)))
           for a in angles]
    pts.reverse()  # clockwise
    return pts


def feature(rng):
    cx, cy = rng.uniform(10, 90), rng.uniform(10, 90)
    size = rng.uniform(1, 15)
    kind = rng.randrange(6)

    def near():
        return (r3(cx + rng.uniform(-size, size)), r3(cy + rng.uniform(-size, size)))

    if kind == 0:
        p = near()
        return f"POINT ({p[0]} {p[1]})", [p]
    if kind == 1:
        pts = [near() for _ in range(rng.randint(2, 3))]
        return "MULTIPOINT (" + ", ".join(f"({x} {y})" for x, y in pts) + ")", pts
    if kind == 2 or kind == 3:
        pts = [near() for _ in range(rng.randint(2, 6))]
        return "LINESTRING (" + ", ".join(f"{x} {y}" for x, y in pts) + ")", pts
    if kind == 4:
        a = [near() for _ in range(rng.randint(2, 4))]
        b = [near() for _ in range(rng.randint(2, 4))]
        line = lambda l: "(" + ", ".join(f"{x} {y}" for x, y in l) + ")"
        return f"MULTILINESTRING ({line(a)}, {line(b)})", a + b
    ring = star(rng, cx, cy, size)
    ring.append(ring[0])
    return "POLYGON ((" + ", ".join(f"{x} {y}" for x, y in ring) + "))", ring


def valid(wkt):
    return geosop("-a", wkt, "-f", "txt", "isValid") == "true"


def distance_rows(rng):
    rows = []
    while len(rows) < 24:
        n = 2 + len(rows) % 3
        feats = [feature(rng) for _ in range(n)]
        if not all(valid(w) for w, _ in feats):
            continue
        nearest = math.inf
        ok = True
        for i in range(n):
            for j in range(i + 1, n):
                if geosop("-a", feats[i][0], "-b", feats[j][0], "-f", "txt", "intersects") != "false":
                    ok = False
                    break
                a, b = coords(geosop("-a", feats[i][0], "-b", feats[j][0], "-f", "wkt", "-p", "17", "nearestPoints"))
                nearest = min(nearest, math.hypot(a[0] - b[0], a[1] - b[1]))
            if not ok:
                break
        if not ok or nearest < 0.5:
            continue
        farthest = max(math.hypot(p[0] - q[0], p[1] - q[1])
                       for i in range(n) for j in range(i + 1, n) for p in feats[i][1] for q in feats[j][1])
        rows.append(f"{nearest:.17g};{farthest:.17g};" + ";".join(w for w, _ in feats))
    return rows


def main():
    rng = random.Random(SEED)
    with open(HULL, "w") as f:
        f.write("# points,hull: geosop convexHull of the set, its vertices\n")
        f.write("\n".join(hull_rows(rng)) + "\n")
    with open(DIST, "w") as f:
        f.write("# nearest;farthest;features: nearest over pairs by geosop nearestPoints; farthest vertex pair\n")
        f.write("\n".join(distance_rows(rng)) + "\n")


if __name__ == "__main__":
    main()
