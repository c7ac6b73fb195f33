#!/usr/bin/env python3
"""Writes GEOS's noding of seeded soups of segments and polylines for the
topology engine's intersection-stage tests: tests/data/geos/noding.csv, one
line per soup:

    inputs,noded

inputs are the soup's lines ("x y;x y;..." joined by '|'); noded are the
two-point segments of GEOS's `unaryUnion` of the soup as a MULTILINESTRING
(the soup noded at every crossing), "x y;x y" joined by '|', printed with
%.17g. Soups are in general position: coordinates on a 1e-3 grid, no
vertex within 1e-3 of another line, no two segments parallel and close.
GEOS is an oracle only: run this with geosop (geos-bin) installed.
"""
import os
import random
import re
import subprocess

SEED = 20261211
ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
OUT = os.path.join(ROOT, "tests", "data", "geos", "noding.csv")


def seg_dist(p, a, b):
    dx, dy = b[0] - a[0], b[1] - a[1]
    e = dx * dx + dy * dy
    t = 0 if e == 0 else max(0.0, min(1.0, ((p[0] - a[0]) * dx + (p[1] - a[1]) * dy) / e))
    return ((p[0] - a[0] - t * dx) ** 2 + (p[1] - a[1] - t * dy) ** 2) ** 0.5


def general(lines):
    segs = [(k, a, b) for k, l in enumerate(lines) for a, b in zip(l, l[1:])]
    for k, l in enumerate(lines):
        for p in l:
            for j, a, b in segs:
                if j != k and seg_dist(p, a, b) < 1e-3:
                    return False
    for i, (k, a, b) in enumerate(segs):
        for j, c, d in segs[i + 1:]:
            if j == k:
                continue
            cross = (b[0] - a[0]) * (d[1] - c[1]) - (b[1] - a[1]) * (d[0] - c[0])
            la = ((b[0] - a[0]) ** 2 + (b[1] - a[1]) ** 2) ** 0.5
            lc = ((d[0] - c[0]) ** 2 + (d[1] - c[1]) ** 2) ** 0.5
            if abs(cross) < 1e-3 * la * lc:
                return False
    return True


def pt(rng):
    return (round(rng.uniform(0, 100), 3), round(rng.uniform(0, 100), 3))


def soup(rng, kind):
    if kind == 0:
        return [[pt(rng), pt(rng)] for _ in range(rng.randint(12, 30))]
    lines = []
    for _ in range(rng.randint(5, 10)):
        n = rng.randint(3, 6)
        xs = sorted(round(rng.uniform(0, 100), 3) for _ in range(n))
        lines.append([(x, round(rng.uniform(0, 100), 3)) for x in xs])
    return lines


def main():
    rng = random.Random(SEED)
    rows = []
    while len(rows) < 16:
        lines = soup(rng, len(rows) % 2)
        if not general(lines):
            continue
        wkt = "MULTILINESTRING(" + ",".join("(" + ",".join(f"{x} {y}" for x, y in l) + ")" for l in lines) + ")"
        out = subprocess.run(["geosop", "-a", wkt, "-f", "wkt", "-p", "17", "unaryUnion"], capture_output=True,
                             text=True, check=True).stdout
        segs = []
        for part in re.findall(r"\(([^()]*)\)", out):
            pts = [tuple(map(float, p.split())) for p in part.split(",")]
            segs += [(a, b) for a, b in zip(pts, pts[1:])]
        inputs = "|".join(";".join(f"{x:.3f} {y:.3f}" for x, y in l) for l in lines)
        noded = "|".join(f"{a[0]:.17g} {a[1]:.17g};{b[0]:.17g} {b[1]:.17g}" for a, b in segs)
        rows.append(f"{inputs},{noded}")
    with open(OUT, "w") as f:
        f.write("# inputs,noded: geosop unaryUnion of the soup, as two-point segments\n")
        f.write("\n".join(rows) + "\n")


if __name__ == "__main__":
    main()
