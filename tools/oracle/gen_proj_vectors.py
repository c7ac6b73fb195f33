#!/usr/bin/env python3
"""Writes the vectors that the coordinate-system and object-geometry tests
compare against into tests/data/proj/.

PROJ and GeographicLib are outside oracles only: run this by hand (needs the
proj-bin and geographiclib-tools packages) and commit the files it writes;
builds and tests never need either.

Usage: gen_proj_vectors.py [datum]   ("datum": the datum-shift vectors only)

Datum shifts (PROJ's cct): "lon lat lon_out lat_out" lines (degrees, height 0
in) after comment lines that record the PROJ operation used. The ellipsoids and
shifts are the coordinate-system engine's own table values, passed to PROJ as
numbers (a and 1/f), not as PROJ's named ellipsoids. molodensky_74_ntfgrid.txt
is the French grid method on a constant grid: datum 74 to the NTF ellipsoid
with the grid's translation (the tests' constant grid) as the NTF shifts.

Projections (PROJ's proj and invproj): proj_<name>.csv per definition. Two
comment lines give the CoordSys clause and the PROJ definition, one the vector
area; then rows "lon,lat,x,y,lon_inv,lat_inv": x, y from proj of (lon, lat)
and lon_inv, lat_inv from invproj of (x, y), 12 decimals. Points: a seeded
sample inside the area, its corners and the middles of its edges. Clauses use
datum 999 with zero shifts so that any ellipsoid of the engine's table can be
named; PROJ gets the same ellipsoid as +a +rf (+R for spheres).

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
ELLIPSOIDS = {0: (6378137.0, 298.257222101), 7: (6378206.4, 294.9786982), 10: (6377397.155, 299.1528128),
              28: (6378137.0, 298.257223563), 30: (6378249.2, 293.4660213)}
# Datums used here: number -> (ellipsoid, dx, dy, dz, rx, ry, rz, scale ppm).
DATUMS = {
    62: (7, -8.0, 160.0, 176.0, 0.0, 0.0, 0.0, 0.0),
    104: (28, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0),
    1000: (10, 582.0, 105.0, 414.0, -1.04, -0.35, 3.08, 8.3),
    74: (0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0),
    # The NTF record (datum 107, ellipsoid 30) with the translation of the
    # constant French test grid in place of its shifts.
    "ntf_grid": (30, -165.5, -58.25, 318.75, 0.0, 0.0, 0.0, 0.0),
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
    france = grid([-5.5, -4, -2.5, -1, 0.5, 2, 2.35, 3.5, 5, 6.5, 8, 9.5, 10], [41, 42.5, 44, 45.5, 47, 48.85, 50.5, 52])
    write("molodensky_74_ntfgrid.txt", molodensky_op(74, "ntf_grid"), france)


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


# Ellipsoids of the projection vectors: number -> (a, 1/f); 1/f 0 is a sphere.
PROJ_ELLIPSOIDS = {4: (6378388.0, 297.0), 7: (6378206.4, 294.9786982), 9: (6377563.396, 299.3249646), 10: (6377397.155, 299.1528128),
                   12: (6370997.0, 0.0), 28: (6378137.0, 298.257223563)}
UNITS = {"m": 1.0, "ft": 0.3048, "km": 1000.0}
# Types computed on the sphere of radius a whatever the ellipsoid.
SPHERE_TYPES = {2, 5, 11, 12, 13, 14, 15, 16, 17, 28}
LCC_TURN = 0.0001420431363598774


def fmt(v):
    return "%.12f" % v


def lcc_n(ell, lat1, lat2):
    a, rf = PROJ_ELLIPSOIDS[ell]
    e = 0.0 if rf == 0 else math.sqrt(2.0 / rf - 1.0 / rf ** 2)

    def t(phi):
        s = math.sin(phi)
        return math.sqrt((1 - s) / (1 + s) * ((1 + e * s) / (1 - e * s)) ** e)

    def m(phi):
        return math.cos(phi) / math.sqrt(1 - e * e * math.sin(phi) ** 2)
    p1, p2 = math.radians(lat1), math.radians(lat2)
    if lat1 == lat2:
        return math.sin(p1)
    return (math.log(m(p1)) - math.log(m(p2))) / (math.log(t(p1)) - math.log(t(p2)))


def ellipsoid_args(ptype, ell):
    a, rf = PROJ_ELLIPSOIDS[ell]
    if ptype in SPHERE_TYPES or rf == 0:
        return "+R=%.17g" % a
    return "+a=%.17g +rf=%.17g" % (a, rf)


# name, type, ellipsoid, unit, params, PROJ projection arguments (no ellipsoid,
# units or false origin), area (lon1, lat1, lon2, lat2), false origin (FE, FN).
PROJ_CASES = [
    ("2", 2, 28, "m", [10, 30], "+proj=cea +lon_0=10 +lat_ts=30", (-169, -80, 189, 80), (0, 0)),
    ("3", 3, 28, "m", [9, 40, 45, 55, 500000, 100000], "+proj=lcc +lon_0=9 +lat_0=40 +lat_1=45 +lat_2=55",
     (-21, 20, 39, 80), (500000, 100000)),
    ("3_south", 3, 7, "ft", [-60, -30, -20, -40, 0, 0], "+proj=lcc +lon_0=-60 +lat_0=-30 +lat_1=-20 +lat_2=-40",
     (-90, -70, -30, -5), (0, 0)),
    ("3_one", 3, 10, "m", [20, 50, 50, 50, 0, 0], "+proj=lcc +lon_0=20 +lat_0=50 +lat_1=50 +lat_2=50",
     (0, 30, 40, 70), (0, 0)),
    ("19", 19, 4, "m", [4.5, 90, 49.75, 51.25, 150000, 5400000],
     "+proj=lcc +lon_0=4.5 +lat_0=90 +lat_1=49.75 +lat_2=51.25", (1, 48, 8, 53), (150000, 5400000)),
    ("8", 8, 28, "m", [9, 0, 0.9996, 500000, 0], "+proj=tmerc +approx +lon_0=9 +lat_0=0 +k_0=0.9996",
     (6, -80, 12, 80), (500000, 0)),
    ("8_wide", 8, 7, "m", [-117, 10, 0.9999, 200000, -1000000], "+proj=tmerc +approx +lon_0=-117 +lat_0=10 +k_0=0.9999",
     (-123, -80, -111, 80), (200000, -1000000)),
    ("10", 10, 28, "m", [15], "+proj=merc +lon_0=15", (-164, -85, 194, 85), (0, 0)),
    ("11", 11, 28, "m", [-30], "+proj=mill +lon_0=-30", (-209, -89, 149, 89), (0, 0)),
    ("17", 17, 28, "m", [0], "+proj=gall +lon_0=0", (-179, -89, 179, 89), (0, 0)),
    ("24", 24, 28, "m", [3, 0, 1, 0, 0], "+proj=tmerc +lon_0=3 +lat_0=0 +k_0=1", (-3, -80, 9, 80), (0, 0)),
    ("26", 26, 7, "m", [100, 35], "+proj=merc +lon_0=100 +lat_ts=35", (-79, -85, 279, 85), (0, 0)),
    ("30", 30, 9, "m", [-2, 49, 400000, -100000], "+proj=cass +lon_0=-2 +lat_0=49",
     (-3, -80, -1, 80), (400000, -100000)),
    ("30_wide", 30, 7, "m", [-2, 49, 400000, -100000], "+proj=cass +lon_0=-2 +lat_0=49", (-5, -80, 1, 80),
     (400000, -100000)),
    ("4", 4, 28, "m", [10, 52, 90], "+proj=laea +lon_0=10 +lat_0=52", (-20, 20, 40, 80), (0, 0)),
    ("4_sphere", 4, 12, "km", [-40, -30, 120], "+proj=laea +lon_0=-40 +lat_0=-30", (-100, -80, 20, 20), (0, 0)),
    ("29", 29, 7, "m", [-100, 90, 90], "+proj=laea +lon_0=-100 +lat_0=90", (-279, 5, 79, 89), (0, 0)),
    ("5", 5, 28, "m", [-100, 40, 180], "+proj=aeqd +lon_0=-100 +lat_0=40", (-160, -10, -40, 80), (0, 0)),
    ("28", 28, 28, "m", [60, -90, 180], "+proj=aeqd +lon_0=60 +lat_0=-90", (-119, -89, 239, 30), (0, 0)),
    ("6", 6, 7, "m", [-96, 23, 29.5, 45.5, 100000, 200000],
     "+proj=eqdc +lon_0=-96 +lat_0=23 +lat_1=29.5 +lat_2=45.5", (-130, 10, -60, 70), (100000, 200000)),
    ("9", 9, 7, "m", [-96, 23, 29.5, 45.5, 0, 0], "+proj=aea +lon_0=-96 +lat_0=23 +lat_1=29.5 +lat_2=45.5",
     (-130, 10, -60, 70), (0, 0)),
    ("9_south", 9, 28, "ft", [25, -20, -15, -35, 500000, 0], "+proj=aea +lon_0=25 +lat_0=-20 +lat_1=-15 +lat_2=-35",
     (0, -60, 50, 0), (500000, 0)),
    ("20", 20, 10, "m", [5.387638889, 52.156160556, 0.9999079, 155000, 463000],
     "+proj=stere +lon_0=5.387638889 +lat_0=52.156160556 +k_0=0.9999079", (-10, 35, 20, 70), (155000, 463000)),
    ("20_south", 20, 28, "m", [0, -90, 0.994, 2000000, 2000000], "+proj=stere +lon_0=0 +lat_0=-90 +k_0=0.994",
     (-179, -89, 179, -50), (2000000, 2000000)),
    ("27", 27, 7, "m", [-96, 30, 0, 0], "+proj=poly +lon_0=-96 +lat_0=30", (-130, -10, -60, 70), (0, 0)),
    ("31", 31, 10, "m", [19.1666666667, 52.1666666667, 0.999714, 500000, 500000],
     "+proj=sterea +lon_0=19.1666666667 +lat_0=52.1666666667 +k_0=0.999714", (10, 45, 28, 60), (500000, 500000)),
    ("7", 7, 28, "m", [10, 45, 30, 0.9996, 1000, 2000],
     "+proj=omerc +lonc=10 +lat_0=45 +alpha=30 +gamma=30 +k_0=0.9996 +no_uoff", (0, 35, 20, 55), (1000, 2000)),
    ("7_south", 7, 7, "m", [-60, -20, -40, 0, 0, 0],
     "+proj=omerc +lonc=-60 +lat_0=-20 +alpha=-40 +gamma=-40 +k_0=1 +no_uoff", (-70, -30, -50, -10), (0, 0)),
    ("25", 25, 10, "m", [7.439583333, 46.952405556, 600000, 200000],
     "+proj=somerc +lon_0=7.439583333 +lat_0=46.952405556 +k_0=1", (5, 45, 11, 48.5), (600000, 200000)),
    ("18", 18, 4, "m", [173, -41, 2510000, 6023150], "+proj=nzmg +lon_0=173 +lat_0=-41", (166, -48, 179, -34),
     (2510000, 6023150)),
    ("32", 32, 10, "m", [42.5, 49.5, 78.5, 30.28813975277795, 1000, -2000],
     "+proj=krovak +lon_0=42.5 +lat_0=49.5 +alpha=30.28813975277795 +k=0.9999 +pm=-17.666666666666667",
     (29.5, 47.5, 37, 51.5), (1000, -2000)),
    ("12", 12, 28, "m", [0], "+proj=robin +lon_0=0", (-170, -85, 170, 85), (0, 0)),
    ("13", 13, 28, "m", [20], "+proj=moll +lon_0=20", (-159, -89, 199, 89), (0, 0)),
    ("14", 14, 28, "m", [-10], "+proj=eck4 +lon_0=-10", (-189, -89, 169, 89), (0, 0)),
    ("15", 15, 12, "m", [0], "+proj=eck6 +lon_0=0", (-179, -89, 179, 89), (0, 0)),
    ("16", 16, 28, "m", [30], "+proj=sinu +lon_0=30", (-149, -89, 209, 89), (0, 0)),
]


def robinson_rows():
    """Robinson at the 5-degree rows only: between them PROJ interpolates
    with higher order and the engine linearly. Each latitude lies 1e-10
    degrees poleward of its row: exactly on a row PROJ's index may round down
    to the row before, whose cubic misses the row's value by some 1e-7."""
    pts = []
    for k, lat in enumerate(range(-85, 90, 5)):
        pts.append((-170 + (k * 37) % 340, lat + (-1e-10 if lat < 0 else 1e-10)))
    return pts


# Krovak: the clause's datum carries the prime meridian (9999 form), its
# longitudes count from it, and PROJ's krovak takes no false origin (the
# harness adds it).
KROVAK_PM = -17.666666666666667


def proj_definition(ptype, ell, unit, params, args, fe_fn):
    if ptype == 32:
        fe_fn = (0, 0)
    if ptype == 19:
        n = lcc_n(ell, params[2], params[3])
        args = args.replace("+lon_0=%.17g" % params[0], "+lon_0=%.17g" % (params[0] + math.degrees(LCC_TURN / n)))
    text = "%s %s +to_meter=%.17g +x_0=%.17g +y_0=%.17g +no_defs" % (args, ellipsoid_args(ptype, ell), UNITS[unit],
                                                                   fe_fn[0] * UNITS[unit], fe_fn[1] * UNITS[unit])
    return text.split()


def clause(ptype, ell, unit, params):
    datum = "999, %d, 0, 0, 0" % ell
    if ptype == 32:
        datum = "9999, %d, 0, 0, 0, 0, 0, 0, 0, %.17g" % (ell, KROVAK_PM)
    return 'CoordSys Earth Projection %d, %s, "%s", %s' % (ptype, datum, unit, ", ".join("%.17g" % v for v in params))


def area_points(rng, area, count=20):
    lon1, lat1, lon2, lat2 = area
    pts = [(round(rng.uniform(lon1, lon2), 9), round(rng.uniform(lat1, lat2), 9)) for _ in range(count)]
    mx, my = (lon1 + lon2) / 2, (lat1 + lat2) / 2
    pts += [(lon1, lat1), (lon1, lat2), (lon2, lat1), (lon2, lat2), (mx, lat1), (mx, lat2), (lon1, my), (lon2, my)]
    return pts


def run_proj(prog, definition, points):
    text = "".join("%.17g %.17g\n" % p for p in points)
    res = subprocess.run([prog, "-f", "%.12f"] + definition, input=text, capture_output=True, text=True, check=True)
    out = [tuple(float(v) for v in line.split()[:2]) for line in res.stdout.splitlines()]
    if len(out) != len(points):
        sys.exit("%s gave %d points for %d" % (prog, len(out), len(points)))
    return out


def write_projection_vectors():
    os.makedirs(OUT, exist_ok=True)
    for name, ptype, ell, unit, params, args, area, fe_fn in PROJ_CASES:
        rng = random.Random("proj-" + name)
        definition = proj_definition(ptype, ell, unit, params, args, fe_fn)
        pts = robinson_rows() if ptype == 12 else area_points(rng, area)
        if ptype == 32:
            k = UNITS[unit]
            fwd = [(x / k + fe_fn[0], y / k + fe_fn[1])
                   for x, y in run_proj("proj", definition, [(lon + KROVAK_PM, lat) for lon, lat in pts])]
            inv = [(lon - KROVAK_PM, lat) for lon, lat in
                   run_proj("invproj", definition, [((x - fe_fn[0]) * k, (y - fe_fn[1]) * k) for x, y in fwd])]
        else:
            fwd = run_proj("proj", definition, pts)
            inv = run_proj("invproj", definition, fwd)
        path = os.path.join(OUT, "proj_%s.csv" % name)
        with open(path, "w") as f:
            f.write("# clause: %s\n" % clause(ptype, ell, unit, params))
            f.write("# proj: %s\n" % " ".join(definition))
            f.write("# area: %s\n" % " ".join("%g" % v for v in area))
            f.write("# lon,lat,x,y,lon_inv,lat_inv\n")
            for (lon, lat), (x, y), (u, v) in zip(pts, fwd, inv):
                f.write(",".join(fmt(w) for w in (lon, lat, x, y, u, v)) + "\n")
        print("wrote", path, len(pts), "points")


def main():
    # "datum" writes the datum-shift vectors only.
    write_datum_vectors()
    if sys.argv[1:] == ["datum"]:
        return
    write_sphere_vectors()
    write_projection_vectors()


if __name__ == "__main__":
    main()
