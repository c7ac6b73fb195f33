#!/usr/bin/env python3
"""Writes the plane vectors the object-geometry tests compare against, from
GEOS's command-line tool `geosop` (geos-bin).

tests/data/geos/pip.csv: rings,holes,x,y,covered. Rings are "x y;x y;..."
(not closed) joined by '|'; holes gives each ring's holes-following count,
blank-separated; covered is GEOS's `covers` of the point (0 or 1). Cases are
well separated: every point lies more than 1.5 units from every ring.

tests/data/geos/segx.csv: ax,ay,bx,by,cx,cy,dx,dy,meets,x,y. meets is 1 with
the rounded crossing when GEOS's `intersection` is one point lying away from
the segments' ends and from half-unit rounding ties; 0 when the segments lie
more than 1.5 units apart. The tests need no tool: run this only to renew
the files.

tests/data/geos/ogc.csv: flags;case;wkb;wkt for each line of
tests/data/geos/ogc_cases.wkt: GEOS's little-endian WKB and its WKT of the
case (`geosop -a CASE -f wkb copy`, `-f wkt copy`; the case is given as the
argument, so EMPTY cases are read too). flags select the comparisons the
test makes (see the file's header).
"""
import math
import os
import re
import struct
import random
import subprocess
import tempfile

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
OUT = os.path.join(ROOT, "tests", "data", "geos")


def geosop(a, b, op, fmt="txt"):
    out = subprocess.run(["geosop", "-a", a, "-b", b, "-f", fmt, op], capture_output=True, text=True, check=True)
    return out.stdout.split("\n")


def star(rng, cx, cy, rmin, rmax, n):
    ring = []
    for i in range(n):
        a = 2 * math.pi * (i + rng.uniform(-0.3, 0.3)) / n
        r = rng.uniform(rmin, rmax)
        ring.append((int(round(cx + r * math.cos(a))), int(round(cy + r * math.sin(a)))))
    return ring


def seg_dist(p, a, b):
    ax, ay = a
    bx, by = b
    dx, dy = bx - ax, by - ay
    e = dx * dx + dy * dy
    t = 0 if e == 0 else max(0.0, min(1.0, ((p[0] - ax) * dx + (p[1] - ay) * dy) / e))
    return math.hypot(p[0] - ax - t * dx, p[1] - ay - t * dy)


def wkt_ring(ring):
    pts = ring + [ring[0]]
    return "(" + ",".join(f"{x} {y}" for x, y in pts) + ")"


def pip(rng, f):
    for k in range(14):
        R = rng.uniform(200, 1000)
        cx, cy = rng.randint(-2000, 2000), rng.randint(-2000, 2000)
        n = rng.randint(8, 14)
        rings = [star(rng, cx, cy, 0.6 * R, R, n)]
        holes = [0]
        if k % 2 == 0:
            rings.append(star(rng, cx, cy, 0.15 * R, 0.35 * R, 8))
            holes = [1, 0]
            if k % 4 == 0:
                rings.append(star(rng, cx, cy, 0.03 * R, 0.08 * R, 8))
                holes = [1, 0, 0]
        polys, i = [], 0
        while i < len(rings):
            h = holes[i]
            polys.append("(" + ",".join(wkt_ring(r) for r in rings[i:i + 1 + h]) + ")")
            i += 1 + h
        wkt = "MULTIPOLYGON(" + ",".join(polys) + ")"
        xs = [x for r in rings for x, _ in r]
        ys = [y for r in rings for _, y in r]
        points = [(rng.randint(min(xs) - 5, max(xs) + 5), rng.randint(min(ys) - 5, max(ys) + 5)) for _ in range(40)]
        # Rays through vertices: points level with a vertex.
        points += [(rng.randint(min(xs), max(xs)), y) for y in rng.sample(ys, 6)]
        points += [(cx, cy)]
        segs = [(r[i], r[(i + 1) % len(r)]) for r in rings for i in range(len(r))]
        points = [p for p in points if min(seg_dist(p, a, b) for a, b in segs) > 1.5]
        with tempfile.NamedTemporaryFile("w", suffix=".wkt", delete=False) as tmp:
            tmp.write("".join(f"POINT({x} {y})\n" for x, y in points))
        answers = geosop(wkt, tmp.name, "covers")
        os.unlink(tmp.name)
        assert len([a for a in answers if a.strip()]) == len(points)
        text_rings = "|".join(";".join(f"{x} {y}" for x, y in r) for r in rings)
        for p, ans in zip(points, answers):
            f.write(f"{text_rings},{' '.join(map(str, holes))},{p[0]},{p[1]},{1 if ans.strip() == 'true' else 0}\n")


def segx(rng, f):
    written = 0
    while written < 60:
        pts = [(rng.randint(-1000, 1000), rng.randint(-1000, 1000)) for _ in range(4)]
        a, b, c, d = pts
        out = geosop(f"LINESTRING({a[0]} {a[1]},{b[0]} {b[1]})", f"LINESTRING({c[0]} {c[1]},{d[0]} {d[1]})",
                     "intersection", "wkt")[0].strip()
        row = ",".join(f"{x},{y}" for x, y in pts)
        if out.startswith("POINT (") and written % 2 == 0:
            x, y = map(float, out[7:-1].split())
            if min(abs(x - math.floor(x) - 0.5), abs(y - math.floor(y) - 0.5)) < 0.1:
                continue
            if min(math.hypot(x - p[0], y - p[1]) for p in pts) < 2:
                continue
            f.write(f"{row},1,{int(round(x))},{int(round(y))}\n")
            written += 1
        elif out.endswith("EMPTY") and written % 2 == 1:
            if min(seg_dist(p, s, t) for p, (s, t) in [(a, (c, d)), (b, (c, d)), (c, (a, b)), (d, (a, b))]) < 1.5:
                continue
            f.write(f"{row},0,0,0\n")
            written += 1


def geosop_one(case, fmt):
    out = subprocess.run(["geosop", "-a", case, "-f", fmt, "copy"], capture_output=True, text=True, check=True)
    return out.stdout.strip()


def wkb_rings(data):
    """The rings of every polygon in a little-endian WKB: [[ring coords...]...]."""
    polygons = []

    def geometry(at):
        order = data[at]
        assert order == 1
        (code,) = struct.unpack_from("<I", data, at + 1)
        at += 5
        if code == 1:
            return at + 16
        if code == 2:
            (n,) = struct.unpack_from("<I", data, at)
            return at + 4 + 16 * n
        if code == 3:
            (n,) = struct.unpack_from("<I", data, at)
            at += 4
            rings = []
            for _ in range(n):
                (k,) = struct.unpack_from("<I", data, at)
                at += 4
                rings.append([struct.unpack_from("<dd", data, at + 16 * i) for i in range(k)])
                at += 16 * k
            polygons.append(rings)
            return at
        (n,) = struct.unpack_from("<I", data, at)
        at += 4
        for _ in range(n):
            at = geometry(at)
        return at

    geometry(0)
    return polygons


def ring_area(ring):
    return sum(ring[i][0] * ring[i + 1][1] - ring[i + 1][0] * ring[i][1] for i in range(len(ring) - 1))


def plain_number(text):
    v = float(text)
    return v == 0 or (1e-4 <= abs(v) < 1e12 and float(f"{v:.12g}") == v)


def ogc(f):
    with open(os.path.join(OUT, "ogc_cases.wkt")) as cases:
        for case in (line.strip() for line in cases):
            if not case:
                continue
            wkb = geosop_one(case, "wkb").upper()
            wkt = geosop_one(case, "wkt")
            empty = "EMPTY" in case
            whole_empty = case.endswith(" EMPTY") and "(" not in case
            nested = "GEOMETRYCOLLECTION" in case and (case.count("GEOMETRYCOLLECTION") > 1 or "MULTI" in case)
            oriented = all(
                (ring_area(r) > 0) == (i == 0) for poly in wkb_rings(bytes.fromhex(wkb)) for i, r in enumerate(poly)
            ) if not empty else False
            numbers = re.findall(r"-?[0-9][0-9.eE+-]*", wkt)
            plain = all(plain_number(t) for t in numbers)
            exact = [float(t) for t in numbers] == [float(t) for t in re.findall(r"-?[0-9][0-9.eE+-]*", case)]
            flags = ""
            flags += "a" if not empty and not nested and oriented else ""
            flags += "b" if "F87F" not in wkb else ""
            flags += "t" if exact else ""
            flags += "c" if not nested and plain and (not empty or whole_empty) else ""
            f.write(f"{flags or '-'};{case};{wkb};{wkt}\n")


def main():
    rng = random.Random(20261210)
    os.makedirs(OUT, exist_ok=True)
    with open(os.path.join(OUT, "pip.csv"), "w") as f:
        f.write("# rings,holes,x,y,covered: geosop covers\n")
        pip(rng, f)
    with open(os.path.join(OUT, "segx.csv"), "w") as f:
        f.write("# ax,ay,bx,by,cx,cy,dx,dy,meets,x,y: geosop intersection\n")
        segx(rng, f)
    version = subprocess.run(["geosop", "-h"], capture_output=True, text=True).stdout.split("\n")[0].strip()
    with open(os.path.join(OUT, "ogc.csv"), "w") as f:
        f.write(f"# flags;case;wkb;wkt from {version}: `geosop -a CASE -f wkb copy` and `-f wkt copy`\n")
        f.write("# flags: a = no EMPTY, no nested collection, exteriors counterclockwise and holes clockwise\n")
        f.write("#   (our WKT read of the case, written as WKB, is GEOS's bytes);\n")
        f.write("#   b = no NaN point (GEOS writes POINT EMPTY as a NaN point; ours is the bare header)\n")
        f.write("#   (GEOS's WKB read by us gives the object the case gives);\n")
        f.write("#   t = GEOS's WKT keeps every number of the case (its WKT read by us gives that object too);\n")
        f.write("#   c = no collection holding a collection or multiple type, no EMPTY member, every number 0 or at most 12 significant\n")
        f.write("#   digits with 1e-4 <= |v| < 1e12 (our WKT is GEOS's with ', ' and ' (' made ',' and '(').\n")
        f.write("# Known differences: empties (GEOS writes counts of 0 and NaN points; we write the bare\n")
        f.write("#   5-byte header and drop EMPTY members), nesting (we flatten collections and\n")
        f.write("#   multiple types inside collections), 16-digit numbers in GEOS's WKT,\n")
        f.write("#   MULTIPOINT (we read points without their own parentheses), Z (GEOS writes it; we\n")
        f.write("#   drop it on writing and refuse it on reading).\n")
        ogc(f)


if __name__ == "__main__":
    main()
