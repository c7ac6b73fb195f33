#!/usr/bin/env python3
"""Writes the vectors that the coordinate-system and object-geometry tests
compare against into tests/data/proj/.

PROJ and GeographicLib are outside oracles only: run this by hand (needs the
proj-bin and geographiclib-tools packages) and commit the files it writes;
builds and tests never need either.

Datum shifts (PROJ's cct): "lon lat lon_out lat_out" lines (degrees, height 0
in) after comment lines that record the PROJ operation used. The ellipsoids and
shifts are the coordinate-system engine's own table values, passed to PROJ as
numbers (a and 1/f), not as PROJ's named ellipsoids.

Sphere measures: sphere_dist.csv holds lon1,lat1,lon2,lat2,metres from
`geod +R=6370997 -I`; sphere_area.csv a ring as "lon lat;lon lat;..." (not
closed) and its area in square metres from `Planimeter -e 6370997 0`. Rings lie
in one hemisphere, away from the poles and from 180 degrees; some are concave.
"""
import math
import os
import random
import subprocess
import sys

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tests", "data", "proj")

# Ellipsoids used here: number -> (a, 1/f).
ELLIPSOIDS = {7: (6378206.4, 294.9786982), 10: (6377397.155, 299.1528128), 28: (6378137.0, 298.257223563)}
# Datums used here: number -> (ellipsoid, dx, dy, dz, rx, ry, rz, scale ppm).
DATUMS = {
    62: (7, -8.0, 160.0, 176.0, 0.0, 0.0, 0.0, 0.0),
    104: (28, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0),
    1000: (10, 582.0, 105.0, 414.0, -1.04, -0.35, 3.08, 8.3),
}


def cct(op, points):
    text = "".join("%.17g %.17g 0 0\n" % p for p in points)
    res = subprocess.run(["cct", "-d", "15"] + op.split(), input=text, capture_output=True, text=True, check=True)
    out = []
    for line in res.stdout.splitlines():
        f = line.split()
        out.append((float(f[0]), float(f[1])))
    if len(out) != len(points):
        sys.exit("cct gave %d points for %d" % (len(out), len(points)))
    return out


def molodensky_op(src, dst):
    se, sdx, sdy, sdz = DATUMS[src][:4]
    de, ddx, ddy, ddz = DATUMS[dst][:4]
    sa, srf = ELLIPSOIDS[se]
    da, drf = ELLIPSOIDS[de]
    return "+proj=molodensky +a=%.17g +rf=%.17g +dx=%.17g +dy=%.17g +dz=%.17g +da=%.17g +df=%.17g" % (
        sa, srf, sdx - ddx, sdy - ddy, sdz - ddz, da - sa, 1.0 / drf - 1.0 / srf)


def helmert_op(src, dst):
    s = DATUMS[src]
    d = DATUMS[dst]
    sa, srf = ELLIPSOIDS[s[0]]
    da, drf = ELLIPSOIDS[d[0]]
    diff = [s[i] - d[i] for i in range(1, 8)]
    return ("+proj=pipeline +step +proj=cart +a=%.17g +rf=%.17g "
            "+step +proj=helmert +x=%.17g +y=%.17g +z=%.17g +rx=%.17g +ry=%.17g +rz=%.17g +s=%.17g "
            "+convention=coordinate_frame "
            "+step +inv +proj=cart +a=%.17g +rf=%.17g") % tuple([sa, srf] + diff + [da, drf])


def grid(lons, lats):
    return [(x, y) for y in lats for x in lons]


def write(name, op, points):
    out = cct(op, points)
    path = os.path.join(OUT, name)
    with open(path, "w") as f:
        f.write("# cct -d 15 %s\n" % op)
        f.write("# lon lat lon_out lat_out\n")
        for (x, y), (u, v) in zip(points, out):
            f.write("%.17g %.17g %.17g %.17g\n" % (x, y, u, v))
    print("wrote", path, len(points), "points")


def write_datum_vectors():
    os.makedirs(OUT, exist_ok=True)
    world = grid(range(-170, 180, 20), [-80, -60, -35, -10, 0, 15, 40, 65, 85])
    write("molodensky_62_104.txt", molodensky_op(62, 104), world)
    write("molodensky_104_62.txt", molodensky_op(104, 62), world)
    europe = grid(range(-10, 31, 5), [35, 40, 45, 50, 55, 60])
    write("helmert_1000_104.txt", helmert_op(1000, 104), europe)


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


def write_sphere_vectors():
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


def main():
    write_datum_vectors()
    write_sphere_vectors()


if __name__ == "__main__":
    main()
