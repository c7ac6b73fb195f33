#!/usr/bin/env python3
"""Writes GEOS's answers for the polygon-in-region tests of the topology
engine: tests/data/geos/region_poly.csv, one line per case:

    region,ring,location

region and ring are "x y;x y;..." (not closed); location is 13 when GEOS
finds the region polygon `contains` the ring's polygon and 12 when the two
do not `intersect`. Cases whose ring lies within 1e-3 of the region's
boundary, or crosses it, are left out (the engine's answer there depends on
its tolerance, which the tests check by hand). GEOS is an oracle only: run
this with geosop (geos-bin) installed, from anywhere, to renew the file.
"""
import math
import os
import random
import subprocess

SEED = 20261211
ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
OUT = os.path.join(ROOT, "tests", "data", "geos", "region_poly.csv")


def geosop(a, b, op):
    out = subprocess.run(["geosop", "-a", a, "-b", b, "-f", "txt", op], capture_output=True, text=True,
                         check=True)
    return out.stdout.strip()


def star(rng, cx, cy, rmin, rmax, n):
    ring = []
    for i in range(n):
        a = 2 * math.pi * (i + rng.uniform(-0.3, 0.3)) / n
        r = rng.uniform(rmin, rmax)
        ring.append((round(cx + r * math.cos(a), 3), round(cy + r * math.sin(a), 3)))
    return ring


def poly(ring):
    pts = ring + [ring[0]]
    return "POLYGON((" + ",".join(f"{x} {y}" for x, y in pts) + "))"


def line(ring):
    pts = ring + [ring[0]]
    return "LINESTRING(" + ",".join(f"{x} {y}" for x, y in pts) + ")"


def text(ring):
    return ";".join(f"{x:.3f} {y:.3f}" for x, y in ring)


def main():
    rng = random.Random(SEED)
    rows = []
    for k in range(12):
        region = star(rng, 0, 0, 300, 1000, rng.randint(8, 16))
        kept = {12: 0, 13: 0}
        tries = 0
        while min(kept.values()) < 6 and tries < 400:
            tries += 1
            cx, cy = rng.uniform(-1100, 1100), rng.uniform(-1100, 1100)
            ring = star(rng, cx, cy, 5, 60, rng.randint(3, 7))
            if float(geosop(line(region), poly(ring), "distance")) < 1e-3:
                continue
            if geosop(poly(region), poly(ring), "contains") == "true":
                loc = 13
            elif geosop(poly(region), poly(ring), "intersects") == "false":
                loc = 12
            else:
                continue
            if kept[loc] >= 6:
                continue
            kept[loc] += 1
            rows.append(f"{text(region)},{text(ring)},{loc}")
    with open(OUT, "w") as f:
        f.write("# region,ring,location: geosop contains (13) / not intersects (12)\n")
        f.write("\n".join(rows) + "\n")


if __name__ == "__main__":
    main()
