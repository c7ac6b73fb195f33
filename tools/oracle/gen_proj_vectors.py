#!/usr/bin/env python3
"""Writes the sphere vectors the object-geometry tests compare against.

tests/data/proj/sphere_dist.csv: lon1,lat1,lon2,lat2,metres from
`geod +R=6370997 -I` (proj-bin). tests/data/proj/sphere_area.csv: a ring as
"lon lat;lon lat;..." (not closed) and its area in square metres from
GeographicLib's `Planimeter -e 6370997 0` (geographiclib-tools). Rings lie in
one hemisphere, away from the poles and from 180 degrees; some are concave.
The tests need neither tool: run this only to renew the files.
"""
import math
import os
import random
import subprocess

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
OUT = os.path.join(ROOT, "tests", "data", "proj")


def geod(pairs):
    text = "".join(f"{la1!r} {lo1!r} {la2!r} {lo2!r}\n" for lo1, la1, lo2, la2 in pairs)
    out = subprocess.run(["geod", "+R=6370997", "-I", "-f", "%.17g", "-F", "%.9f"], input=text,
                         capture_output=True, text=True, check=True).stdout
    return [float(line.split()[2]) for line in out.splitlines()]


def planimeter(ring):
    text = "".join(f"{lat!r} {lon!r}\n" for lon, lat in ring)
    out = subprocess.run(["Planimeter", "-e", "6370997", "0", "-p", "9"], input=text,
                         capture_output=True, text=True, check=True).stdout
    return abs(float(out.split()[2]))


def star(rng, clon, clat, radius, n):
    angles = sorted(rng.uniform(0, 2 * math.pi) for _ in range(n))
    ring = []
    for a in angles:
        r = radius * rng.uniform(0.3, 1.0)
        ring.append((round(clon + r * math.cos(a), 4), round(clat + r * math.sin(a), 4)))
    return ring


def main():
    rng = random.Random(20261210)
    os.makedirs(OUT, exist_ok=True)
    pairs = [(0.0, 0.0, 90.0, 0.0), (5.0, 50.0, 9.0, 54.0), (-73.9, 40.7, 2.35, 48.85), (10.0, -30.0, 11.0, -30.0)]
    for _ in range(40):
        lo1, la1 = rng.uniform(-170, 170), rng.uniform(-80, 80)
        lo2, la2 = lo1 + rng.uniform(-60, 60), max(-80.0, min(80.0, la1 + rng.uniform(-40, 40)))
        pairs.append((round(lo1, 6), round(la1, 6), round(lo2, 6), round(la2, 6)))
    with open(os.path.join(OUT, "sphere_dist.csv"), "w") as f:
        f.write("# lon1,lat1,lon2,lat2,metres: geod +R=6370997 -I\n")
        for p, d in zip(pairs, geod(pairs)):
            f.write(",".join(repr(v) for v in p) + f",{d!r}\n")
    rings = [[(5, 50), (9, 50), (9, 54), (7, 52), (5, 54)], [(0, 0), (1, 0), (1, 1), (0, 1)],
             [(-10, -20), (-5, -20), (-5, -25), (-10, -25)]]
    for _ in range(20):
        clon, clat = rng.uniform(-150, 150), rng.choice([-1, 1]) * rng.uniform(10, 60)
        rings.append(star(rng, round(clon, 3), round(clat, 3), rng.uniform(0.5, 8), rng.randint(5, 12)))
    with open(os.path.join(OUT, "sphere_area.csv"), "w") as f:
        f.write("# ring (lon lat;...),square metres: Planimeter -e 6370997 0\n")
        for ring in rings:
            f.write(";".join(f"{lon!r} {lat!r}" for lon, lat in ring) + f",{planimeter(ring)!r}\n")


if __name__ == "__main__":
    main()
