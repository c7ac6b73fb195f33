#!/usr/bin/env python3
"""Writes resources/VEVIRORU.PRJ, the projection list shipped beside the
program: named coordinate systems, one a line, each a name (with "\\p" and a
numeric code where one exists) and the CoordSys number list. Headings start
with "-". Names holding a comma or a double quote are quoted, inner quotes
doubled, as delimited text is split.

Usage: tools/gen_projlist.py [OUTPUT]   (default resources/VEVIRORU.PRJ)
"""
import os
import sys

WGS84 = 104
NAD83 = 74
METRES = 7


def quote(name):
    if any(c in name for c in ',"'):
        return '"' + name.replace('"', '""') + '"'
    return name


def num(v):
    if isinstance(v, float) and v.is_integer():
        v = int(v)
    return repr(v) if isinstance(v, float) else str(v)


def line(name, numbers):
    return ",".join([quote(name)] + [num(n) for n in numbers])


def entries():
    yield "--- Longitude / Latitude ---", [1, WGS84]  # a heading whose numbers would build
    yield "Longitude / Latitude (WGS 84)\\p4326", [1, WGS84]
    yield "Longitude / Latitude (NAD 83)\\p4269", [1, NAD83]
    yield "Longitude / Latitude (NAD 27)\\p4267", [1, 62]
    yield "--- Universal Transverse Mercator (WGS 84) ---", []
    for hemisphere, base, north in (("north", 32600, 0), ("south", 32700, 10000000)):
        for zone in range(1, 61):
            lon0 = -183 + 6 * zone
            yield (f"UTM Zone {zone}, {hemisphere}ern hemisphere (WGS 84)\\p{base + zone}",
                   [8, WGS84, METRES, lon0, 0, 0.9996, 500000, north])
    yield "--- Conic projections ---", []
    yield ("Conus Albers Equal Area (NAD 83)\\p5070",
           [9, NAD83, METRES, -96, 23, 29.5, 45.5, 0, 0])
    yield ("Lambert Conformal Conic, Europe (WGS 84)\\p3034",
           [3, WGS84, METRES, 10, 52, 35, 65, 4000000, 2800000])
    yield ("Conus Lambert Conformal Conic (NAD 83)\\p102004",
           [3, NAD83, METRES, -96, 39, 33, 45, 0, 0])
    yield "--- Non-earth ---", []
    yield "Non-Earth (metres)", [2000, METRES, 0, 0, 1000000, 1000000]
    yield 'Non-Earth (metres, "survey" sheet)', [2000, METRES, -500000, -500000, 500000, 500000]


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "resources", "VEVIRORU.PRJ")
    with open(out, "w", newline="\n") as f:
        for name, numbers in entries():
            f.write(line(name, numbers) + "\n")


if __name__ == "__main__":
    main()
