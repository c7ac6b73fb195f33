#!/usr/bin/env python3
"""Writes GEOS's answers for the whole-engine runs of the topology engine
over lines: tests/data/geos/engine_lines.csv, one line per case:

    operation;inputs;parts;length;result

operation is BOUNDARY (the boundary of one line feature, GEOS `boundary`),
CROSSING (the points where two lines that only cross meet, GEOS
`intersection`) or DISSOLVE (the lines merged where exactly two ends meet,
GEOS `lineMerge` of the `unaryUnion` of the inputs; every node of the
inputs has at most two ends). inputs are WKT geometries separated by `|`,
one input feature each. parts is the number of points or lines of the
result, length its total length (0 for points) and result GEOS's WKT.
GEOS is an oracle only: run this with geosop (geos-bin) installed, from
anywhere, to renew the file.
"""
import os
import random
import subprocess

SEED = 20261211
ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
OUT = os.path.join(ROOT, "tests", "data", "geos", "engine_lines.csv")


def geosop(op, a, b=None):
    args = ["geosop", "-a", a]
    if b is not None:
        args += ["-b", b]
    out = subprocess.run(args + ["-f", "wkt", op], capture_output=True, text=True, check=True)
    return out.stdout.strip()


def wkt(pts):
    return "LINESTRING (" + ", ".join(f"{x:.6f} {y:.6f}" for x, y in pts) + ")"


def multi(lines):
    return "MULTILINESTRING (" + ", ".join("(" + ", ".join(f"{x:.6f} {y:.6f}" for x, y in l) + ")"
                                           for l in lines) + ")"


def coords(text):
    nums = [float(t) for t in text.replace("(", " ").replace(")", " ").replace(",", " ").split()
            if t not in ("LINESTRING", "MULTILINESTRING", "POINT", "MULTIPOINT", "EMPTY")]
    return list(zip(nums[0::2], nums[1::2]))


def line_length(text):
    pts = coords(text)
    return sum(((b[0] - a[0]) ** 2 + (b[1] - a[1]) ** 2) ** 0.5 for a, b in zip(pts, pts[1:]))


def merged_lines(inputs):
    """lineMerge of the unaryUnion, each line normalised (geosop writes
    one component per output line)."""
    union = geosop("unaryUnion", "GEOMETRYCOLLECTION (" + ", ".join(inputs) + ")").replace("\n", " ")
    lines = sorted(geosop("normalize", l) for l in geosop("lineMerge", union).splitlines())
    return lines


def parts(result):
    head = result.split(" ", 1)[0]
    if "EMPTY" in result:
        return 0
    if head in ("POINT", "LINESTRING"):
        return 1
    if head == "MULTIPOINT":
        return result.count(",") + 1
    if head == "MULTILINESTRING":
        return result.count("(") - 1
    raise ValueError(result)


def row(op, inputs, result):
    if op == "DISSOLVE":
        lines = result
        length = sum(line_length(l) for l in lines)
        result = lines[0] if len(lines) == 1 else \
            "MULTILINESTRING (" + ", ".join(l[len("LINESTRING "):] for l in lines) + ")"
    else:
        length = 0.0
    return f"{op};{'|'.join(inputs)};{parts(result)};{length:.17g};{result}"


def monotone(rng, x0, y0, n, dx=(0.5, 2.0), dy=(-1.5, 1.5)):
    pts = [(x0, y0)]
    for _ in range(n - 1):
        x, y = pts[-1]
        pts.append((round(x + rng.uniform(*dx), 6), round(y + rng.uniform(*dy), 6)))
    return pts


def main():
    rng = random.Random(SEED)
    rows = []
    # Boundaries of one feature each.
    boundary = [
        "LINESTRING (0 0, 3 1, 4 4)",
        "MULTILINESTRING ((0 0, 1 0), (1 0, 2 1))",
        "LINESTRING (0 0, 2 0, 2 2, 0 0)",
        "MULTILINESTRING ((0 0, 1 0), (1 0, 2 0), (1 0, 1 1))",
        "MULTILINESTRING ((0 0, 1 0), (5 5, 6 7))",
    ]
    for _ in range(4):
        boundary.append(wkt(monotone(rng, rng.uniform(-50, 50), rng.uniform(-50, 50), rng.randint(2, 8))))
    for g in boundary:
        rows.append(row("BOUNDARY", [g], geosop("boundary", g)))
    # Lines that only cross.
    crossing = [
        ("LINESTRING (0 0, 2 2)", "LINESTRING (0 2, 2 0)"),
        ("LINESTRING (0 0, 1 2, 2 0, 3 2)", "LINESTRING (0 1, 3 1)"),
        ("LINESTRING (0 0, 10 1)", "LINESTRING (3 -5, 4 5)"),
    ]
    while len(crossing) < 9:
        a = monotone(rng, 0, 0, rng.randint(3, 9), dy=(-3, 3))
        y = round(rng.uniform(-2, 2), 6)
        b = [(-1.0, y), (round(a[-1][0] + 1, 6), round(y + rng.uniform(-1, 1), 6))]
        ga, gb = wkt(a), wkt(b)
        hit = geosop("intersection", ga, gb)
        if not (hit.startswith("POINT") or hit.startswith("MULTIPOINT")) or "EMPTY" in hit:
            continue
        # Only crossings: no meeting point near a vertex of either line.
        points = coords(hit)
        if all(min(abs(px - vx) + abs(py - vy) for vx, vy in a + b) > 1e-3 for px, py in points):
            crossing.append((ga, gb))
    for a, b in crossing:
        rows.append(row("CROSSING", [a, b], geosop("normalize", geosop("intersection", a, b))))
    # Dissolves: pieces of non-crossing lines, some reversed, shuffled.
    dissolve = [
        ["LINESTRING (0 0, 1 0)", "LINESTRING (1 0, 2 1)", "LINESTRING (2 1, 3 3)"],
        ["LINESTRING (1 0, 0 0)", "LINESTRING (1 0, 2 0)", "LINESTRING (3 0, 2 0)"],
        ["LINESTRING (0 0, 1 1)", "LINESTRING (1 1, 2 0)", "LINESTRING (5 5, 6 5)"],
        ["LINESTRING (0 0, 1 0)", "LINESTRING (1 0, 1 1)", "LINESTRING (1 1, 0 0)"],
    ]
    for _ in range(6):
        pieces = []
        for k in range(rng.randint(1, 3)):
            line = monotone(rng, 0, 100 * k, rng.randint(3, 14))
            at = 0
            while at + 1 < len(line):
                end = min(len(line) - 1, at + rng.randint(1, 4))
                p = line[at:end + 1]
                if rng.random() < 0.5:
                    p = p[::-1]
                pieces.append(wkt(p))
                at = end
        rng.shuffle(pieces)
        dissolve.append(pieces)
    for inputs in dissolve:
        rows.append(row("DISSOLVE", inputs, merged_lines(inputs)))
    with open(OUT, "w") as f:
        f.write("# operation;inputs;parts;length;result (GEOS boundary, intersection, lineMerge of unaryUnion)\n")
        f.write("\n".join(rows) + "\n")


if __name__ == "__main__":
    main()
