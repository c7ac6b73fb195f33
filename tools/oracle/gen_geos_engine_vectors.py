#!/usr/bin/env python3
"""Writes GEOS's answers for whole runs of the topology engine that give
surfaces: tests/data/geos/engine_surface.csv, one line per case:

    name|mode|settings|inputs|area|parts|holes|wkt

inputs are "key WKT" items joined by ";" (key < 0 a target, >= 0 a cutter),
settings the topo_run name=value words; area, parts and holes describe the
expected polygons, wkt lists them as one MULTIPOLYGON (GEOS's text).

The engine answers in faces: every output polygon is a face of the
arrangement of all input boundaries (DISSOLVE and CONVEX_HULL aside). So
the expected polygons are GEOS's faces (polygonize of the noded
boundaries) chosen by how many inputs of which kind cover an interior
point of each (GEOS's interiorPoint and contains):

    SINGLE, ALL        every face
    INTERSECT          faces covered by every input
    SYMMETRIC_DIFFERENCE  faces covered by an odd number of inputs
    DIFFERENCE, ERASE_IN  faces covered by a target and by no cutter
    ERASE_OUT          faces covered by a target and by a cutter
    SPLIT              faces covered by a target
    DISSOLVE           unaryUnion of the inputs
    CONVEX_HULL        convexHull of the inputs

As a check of the face choice, the script asserts that the chosen faces'
area equals the area of GEOS's own overlay of the same inputs
(intersection, symDifference, difference; for SINGLE and ALL, whose
faces include enclosed gaps, at least the union's area). GEOS is an oracle only:
run this with geosop (geos-bin) installed, from anywhere, to renew the file.
"""
import os
import re
import subprocess

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
OUT = os.path.join(ROOT, "tests", "data", "geos", "engine_surface.csv")


def geosop(op, a, b=None, fmt="wkt"):
    args = ["geosop", "-a", a]
    if b is not None:
        args += ["-b", b]
    args += ["-f", fmt, op]
    out = subprocess.run(args, capture_output=True, text=True, check=True)
    return out.stdout.strip()


def square(x, y, s):
    return f"POLYGON (({x} {y}, {x} {y + s}, {x + s} {y + s}, {x + s} {y}, {x} {y}))"


def rings_of(wkt):
    """The rings of a POLYGON or MULTIPOLYGON text as "x y, x y" strings."""
    return re.findall(r"\(([-0-9.e ,]+)\)", wkt)


def boundary_lines(inputs):
    lines = []
    for _, wkt in inputs:
        for ring in rings_of(wkt):
            lines.append("(" + ring + ")")
    return "MULTILINESTRING (" + ", ".join(lines) + ")"


def polygons_of(text):
    """The POLYGON texts of geosop's answer: one geometry a line, each a
    POLYGON, MULTIPOLYGON or GEOMETRYCOLLECTION of polygons."""
    out = []
    for line in text.splitlines():
        if line.strip():
            out += polygons_of_one(line)
    return out


KEYWORD = re.compile(r"(MULTIPOLYGON|POLYGON|MULTILINESTRING|LINESTRING|MULTIPOINT|POINT)\s*(EMPTY|\()")


def closing(text, start):
    depth = 0
    for i in range(start, len(text)):
        depth += {"(": 1, ")": -1}.get(text[i], 0)
        if depth == 0:
            return i
    raise ValueError(text)


def polygons_of_one(text):
    """The polygons of one geometry's text; lines and points are skipped."""
    out, i = [], 0
    while True:
        m = KEYWORD.search(text, i)
        if not m:
            return out
        if m.group(2) == "EMPTY":
            i = m.end()
            continue
        start = m.end() - 1
        end = closing(text, start)
        body = text[start:end + 1]
        if m.group(1) == "POLYGON":
            out.append("POLYGON " + body)
        elif m.group(1) == "MULTIPOLYGON":
            k = 1
            while k < len(body) - 1:
                if body[k] == "(":
                    e = closing(body, k)
                    out.append("POLYGON " + body[k:e + 1])
                    k = e + 1
                else:
                    k += 1
        i = end + 1


def ring_area(ring):
    pts = [tuple(map(float, p.split())) for p in ring.split(",")]
    return abs(sum(pts[i][0] * pts[i + 1][1] - pts[i + 1][0] * pts[i][1] for i in range(len(pts) - 1))) / 2


def area(wkt):
    """Area of GEOS's polygons from their full-precision text (geosop's own
    area answer is printed to six digits)."""
    total = 0.0
    for poly in polygons_of(wkt):
        rings = rings_of(poly)
        total += ring_area(rings[0]) - sum(ring_area(r) for r in rings[1:])
    return total


def faces(inputs):
    noded = geosop("unaryUnion", boundary_lines(inputs))
    return polygons_of(geosop("polygonize", noded))


def covering(face, inputs):
    point = geosop("interiorPoint", face)
    return [key for key, wkt in inputs if geosop("contains", wkt, point, fmt="txt") == "true"]


def choose(mode, face_keys, n_inputs):
    targets = [k for k in face_keys if k < 0]
    cutters = [k for k in face_keys if k >= 0]
    if mode in ("SINGLE", "ALL"):
        return True
    if mode == "INTERSECT":
        return len(face_keys) == n_inputs
    if mode == "SYMMETRIC_DIFFERENCE":
        return len(face_keys) % 2 == 1
    if mode in ("DIFFERENCE", "ERASE_IN"):
        return bool(targets) and not cutters
    if mode == "ERASE_OUT":
        return bool(targets) and bool(cutters)
    if mode == "SPLIT":
        return bool(targets)
    raise ValueError(mode)


def collection(wkts):
    return "GEOMETRYCOLLECTION (" + ", ".join(wkts) + ")"


def overlay_area(mode, inputs):
    """GEOS's own overlay of the inputs, as a check of the chosen faces."""
    polys = [w for _, w in inputs]
    targets = [w for k, w in inputs if k < 0]
    cutters = [w for k, w in inputs if k >= 0]
    if mode in ("SINGLE", "ALL"):
        # Every face, gaps enclosed by the inputs included: at least the union.
        return None
    if mode == "DISSOLVE":
        return area(geosop("unaryUnion", collection(polys)))
    if mode == "INTERSECT":
        acc = polys[0]
        for w in polys[1:]:
            acc = geosop("intersection", acc, w)
        return area(acc)
    if mode == "SYMMETRIC_DIFFERENCE":
        acc = polys[0]
        for w in polys[1:]:
            acc = geosop("symDifference", acc, w)
        return area(acc)
    t = geosop("unaryUnion", collection(targets))
    c = geosop("unaryUnion", collection(cutters))
    if mode in ("DIFFERENCE", "ERASE_IN"):
        return area(geosop("difference", t, c))
    if mode == "ERASE_OUT":
        return area(geosop("intersection", t, c))
    if mode == "SPLIT":
        return area(t)
    raise ValueError(mode)


def expected(mode, inputs):
    if mode == "DISSOLVE":
        chosen = polygons_of(geosop("unaryUnion", collection([w for _, w in inputs])))
    elif mode == "CONVEX_HULL":
        chosen = polygons_of(geosop("convexHull", collection([w for _, w in inputs])))
    else:
        chosen = [f for f in faces(inputs) if choose(mode, covering(f, inputs), len(inputs))]
        total = sum(area(f) for f in chosen)
        check = overlay_area(mode, inputs)
        if check is None:
            union = area(geosop("unaryUnion", collection([w for _, w in inputs])))
            assert total >= union - 1e-9 * union, (mode, total, union)
        else:
            assert abs(total - check) <= 1e-9 * max(1.0, abs(check)), (mode, total, check)
    total = sum(area(f) for f in chosen)
    holes = sum(len(rings_of(f)) - 1 for f in chosen)
    wkt = "MULTIPOLYGON (" + ", ".join(f[len("POLYGON "):] for f in chosen) + ")" if chosen else "MULTIPOLYGON EMPTY"
    return total, len(chosen), holes, wkt


def star(cx, cy, r1, r2, n, turn):
    import math
    pts = []
    for i in range(2 * n):
        r = r1 if i % 2 == 0 else r2
        a = turn + math.pi * i / n
        pts.append((round(cx + r * math.cos(a), 3), round(cy + r * math.sin(a), 3)))
    pts.append(pts[0])
    return "POLYGON ((" + ", ".join(f"{x} {y}" for x, y in pts) + "))"


def cases():
    A, B, C, D = square(0, 0, 4), square(2, 2, 4), "POLYGON ((4 0, 4 2, 6 2, 6 0, 4 0))", square(10, 0, 2)
    abcd = [(-1, A), (-1, B), (-1, C), (-1, D)]
    cut = [(-1, A), (0, B), (-1, C), (-1, D)]
    ring = [(-1, square(x, y, 1)) for x in range(3) for y in range(3) if (x, y) != (1, 1)]
    donut = "POLYGON ((0 0, 0 10, 10 10, 10 0, 0 0), (3 3, 7 3, 7 7, 3 7, 3 3))"
    s1, s2 = star(0, 0, 10, 4, 5, 0.1), star(3, 1, 9, 5, 7, 0.4)
    yield "abcd_single", "SINGLE", abcd
    yield "abcd_all", "ALL", abcd
    yield "abcd_dissolve", "DISSOLVE", abcd
    yield "ring_dissolve", "DISSOLVE", ring
    yield "ring_single", "SINGLE", ring
    yield "ab_intersect", "INTERSECT", [(-1, A), (-1, B)]
    yield "abc_symdiff", "SYMMETRIC_DIFFERENCE", [(-1, A), (-1, B), (-1, C)]
    yield "cut_difference", "DIFFERENCE", cut
    yield "cut_erase_in", "ERASE_IN", cut
    yield "cut_erase_out", "ERASE_OUT", cut
    yield "cut_split", "SPLIT", cut
    yield "abcd_hull", "CONVEX_HULL", abcd
    yield "donut_single", "SINGLE", [(-1, donut), (-1, square(5, 5, 8))]
    yield "donut_intersect", "INTERSECT", [(-1, donut), (-1, square(5, 5, 8))]
    yield "donut_dissolve", "DISSOLVE", [(-1, donut), (-1, square(5, 5, 8))]
    yield "stars_single", "SINGLE", [(-1, s1), (-1, s2)]
    yield "stars_intersect", "INTERSECT", [(-1, s1), (-1, s2)]
    yield "stars_symdiff", "SYMMETRIC_DIFFERENCE", [(-1, s1), (-1, s2)]
    yield "stars_dissolve", "DISSOLVE", [(-1, s1), (-1, s2)]
    yield "stars_difference", "DIFFERENCE", [(-1, s1), (0, s2)]
    yield "stars_erase_out", "ERASE_OUT", [(-1, s1), (0, s2)]


def main():
    rows = ["# name|mode|settings|inputs (key WKT;...)|area|parts|holes|wkt (GEOS faces, union or hull)"]
    for name, mode, inputs in cases():
        total, parts, holes, wkt = expected(mode, inputs)
        text = ";".join(f"{k} {w}" for k, w in inputs)
        rows.append(f"{name}|{mode}|dim=SURFACE|{text}|{total:.17g}|{parts}|{holes}|{wkt}")
    os.makedirs(os.path.dirname(OUT), exist_ok=True)
    with open(OUT, "w") as f:
        f.write("\n".join(rows) + "\n")


if __name__ == "__main__":
    main()
