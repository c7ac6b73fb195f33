#!/usr/bin/env python3
"""Writes datum-shift vectors computed by PROJ's cct into tests/data/proj/.

PROJ is an outside oracle only: run this by hand (needs the proj-bin
package) and commit the files it writes; builds and tests never need PROJ.

Each file holds "lon lat lon_out lat_out" lines (degrees, height 0 in) after
comment lines that record the PROJ operation used. The ellipsoids and shifts
are the coordinate-system engine's own table values, passed to PROJ as
numbers (a and 1/f), not as PROJ's named ellipsoids.
"""
import os
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


def main():
    os.makedirs(OUT, exist_ok=True)
    world = grid(range(-170, 180, 20), [-80, -60, -35, -10, 0, 15, 40, 65, 85])
    write("molodensky_62_104.txt", molodensky_op(62, 104), world)
    write("molodensky_104_62.txt", molodensky_op(104, 62), world)
    europe = grid(range(-10, 31, 5), [35, 40, 45, 50, 55, 60])
    write("helmert_1000_104.txt", helmert_op(1000, 104), europe)


if __name__ == "__main__":
    main()
