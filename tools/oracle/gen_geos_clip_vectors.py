#!/usr/bin/env python3
"""Writes GEOS's answers for the clipping and islands-dissolve tests of the
topology engine: tests/data/geos/clip.csv, one line per case:

    kind;a;b;area;wkt

kind "diff" and "inter": a is the input polygon, b the clip polygon, wkt
GEOS's difference a - b (clip mode 1) or intersection (mode 2) and area its
area. kind "holes": a is a polygon with holes, b is empty, wkt is the union
of its holes and area that union's area; kind "erase": the exterior of a
less that union. Seeded stars in general position. GEOS is an oracle only:
run this with geosop (geos-bin) installed to renew the file.
"""
import math
import os
import random
import subprocess

SEED = 20261211
ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
OUT = os.path.join(ROOT, "tests", "data", "geos", "clip.csv")


def geosop(a, b, op, fmt="wkt"):
    args = ["geosop", "-a", a]
    if b:
        args += ["-b", b]
    args += ["-f", fmt, "-p", "17", op]
    return subprocess.run(args, capture_output=True, text=True, check=True).stdout.strip()


def area_of(wkt):
    """Area of a POLYGON or MULTIPOLYGON text: exteriors less holes."""
    body = wkt[wkt.index("("):]
    depth, total, ring, rings = 0, 0.0, "", []
    for ch in body:
        if ch == "(":
            depth += 1
            ring = ""
        elif ch == ")":
            if ring.strip():
                rings.append((depth, ring))
            ring = ""
            depth -= 1
            if depth == (1 if wkt.startswith("MULTI") else 0):
                for k, (_, r) in enumerate(rings):
                    pts = [tuple(map(float, q.split())) for q in r.split(",")]
                    a = abs(sum(pts[i][0] * pts[i + 1][1] - pts[i + 1][0] * pts[i][1]
                                for i in range(len(pts) - 1))) / 2
                    total += a if k == 0 else -a
                rings = []
        else:
            ring += ch
    return total


def star(rng, cx, cy, rmin, rmax, n):
    pts = []
    for i in range(n):
        t = 2 * math.pi * (i + rng.uniform(0.1, 0.9)) / n
        r = rng.uniform(rmin, rmax)
        pts.append((round(cx + r * math.cos(t), 3), round(cy + r * math.sin(t), 3)))
    return pts


def ring(pts):
    return "(" + ", ".join("%r %r" % p for p in pts + [pts[0]]) + ")"


def main():
    rng = random.Random(SEED)
    lines = []
    for _ in range(12):
        a = "POLYGON (%s)" % ring(star(rng, 0, 0, 4, 8, rng.randint(5, 12)))
        b = "POLYGON (%s)" % ring(star(rng, rng.uniform(-4, 4), rng.uniform(-4, 4), 3, 7,
                                       rng.randint(5, 12)))
        for kind, op in (("diff", "difference"), ("inter", "intersection")):
            wkt = geosop(a, b, op)
            area = area_of(wkt)
            lines.append("%s;%s;%s;%.17g;%s" % (kind, a, b, area, wkt))
    for _ in range(8):
        outer = star(rng, 0, 0, 14, 16, 16)
        holes = []
        # Two holes that overlap, one far from them.
        cx, cy = rng.uniform(-4, -2), rng.uniform(-2, 2)
        holes.append(star(rng, cx, cy, 2, 3, rng.randint(5, 9)))
        holes.append(star(rng, cx + rng.uniform(2, 3), cy + rng.uniform(-1, 1), 2, 3, rng.randint(5, 9)))
        holes.append(star(rng, 6, rng.uniform(-2, 2), 1.5, 2.5, rng.randint(5, 9)))
        a = "POLYGON (%s)" % ", ".join([ring(outer)] + [ring(h) for h in holes])
        union = "MULTIPOLYGON (%s)" % ", ".join("(%s)" % ring(h) for h in holes)
        wkt = geosop(union, None, "unaryUnion")
        area = area_of(wkt)
        lines.append("holes;%s;;%.17g;%s" % (a, area, wkt))
        ext = "POLYGON (%s)" % ring(outer)
        wkt = geosop(ext, wkt, "difference")
        area = area_of(wkt)
        lines.append("erase;%s;;%.17g;%s" % (a, area, wkt))
    with open(OUT, "w") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
