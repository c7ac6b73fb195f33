#!/usr/bin/env python3
"""Writes GEOS's faces of seeded sets of overlapping rectangles for the
topology engine's face-walk tests: tests/data/geos/faces.csv, one line per
set:

    rectangles,faces,groups

rectangles are "x0 y0 x1 y1" joined by '|'; faces are the areas of the
exterior rings of GEOS's `polygonize` of the `unaryUnion` of the
rectangles' boundaries (the bounded faces of the noded boundaries), sorted
ascending and joined by ';'; groups are, for every set of rectangles whose
boundaries meet, the area of the exterior ring of GEOS's `unaryUnion` of
those rectangles as polygons (the outer boundary of the connected group),
sorted, joined by ';'. Areas with %.6f. Sets are in
general position: every vertical edge on its own x, every horizontal edge
on its own y. GEOS is an oracle only: run this with geosop (geos-bin)
installed.
"""
import os
import random
import re
import subprocess

SEED = 20261211
ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
OUT = os.path.join(ROOT, "tests", "data", "geos", "faces.csv")


def geosop(wkt, op):
    return subprocess.run(["geosop", "-a", wkt, "-f", "wkt", "-p", "17", op], capture_output=True, text=True,
                          check=True).stdout


def exterior_areas(wkt_lines):
    areas = []
    for poly in re.findall(r"\(\(([^()]*)\)", wkt_lines):
        pts = [tuple(map(float, p.split())) for p in poly.split(",")]
        s = sum(a[0] * b[1] - b[0] * a[1] for a, b in zip(pts, pts[1:]))
        areas.append(abs(s) / 2)
    return sorted(areas)


def components(rects):
    """Rectangles whose boundaries meet, grouped (in general position the
    boundaries meet when the rectangles overlap and neither holds the
    other)."""
    def meet(a, b):
        overlap = a[0] < b[2] and b[0] < a[2] and a[1] < b[3] and b[1] < a[3]
        holds = lambda p, q: p[0] < q[0] and q[2] < p[2] and p[1] < q[1] and q[3] < p[3]
        return overlap and not holds(a, b) and not holds(b, a)
    group = list(range(len(rects)))
    def find(k):
        while group[k] != k:
            k = group[k]
        return k
    for i in range(len(rects)):
        for j in range(i + 1, len(rects)):
            if meet(rects[i], rects[j]):
                group[find(i)] = find(j)
    out = {}
    for k in range(len(rects)):
        out.setdefault(find(k), []).append(k)
    return list(out.values())


def rect_set(rng):
    n = rng.randint(2, 5)
    xs = rng.sample(range(0, 41), 2 * n)
    ys = rng.sample(range(0, 41), 2 * n)
    rects = []
    for k in range(n):
        x0, x1 = sorted(xs[2 * k:2 * k + 2])
        y0, y1 = sorted(ys[2 * k:2 * k + 2])
        rects.append((x0 / 2, y0 / 2, x1 / 2, y1 / 2))
    return rects


def main():
    rng = random.Random(SEED)
    rows = []
    for _ in range(12):
        rects = rect_set(rng)
        rings = ["(%g %g, %g %g, %g %g, %g %g, %g %g)" % (a, b, a, d, c, d, c, b, a, b) for a, b, c, d in rects]
        union = geosop("MULTILINESTRING(" + ",".join(rings) + ")", "unaryUnion").strip()
        faces = exterior_areas(geosop(union, "polygonize"))
        groups = []
        for members in components(rects):
            wkt = "MULTIPOLYGON(" + ",".join("(" + rings[k] + ")" for k in members) + ")"
            groups += exterior_areas(geosop(wkt, "unaryUnion"))
        groups.sort()
        rows.append("|".join("%g %g %g %g" % r for r in rects) + "," + ";".join("%.6f" % a for a in faces) + "," +
                    ";".join("%.6f" % a for a in groups))
    with open(OUT, "w") as f:
        f.write("# rectangles,faces,groups: geosop polygonize of the noded boundaries and unaryUnion of the\n")
        f.write("# rectangles, exterior ring areas sorted\n")
        f.write("\n".join(rows) + "\n")


if __name__ == "__main__":
    main()
