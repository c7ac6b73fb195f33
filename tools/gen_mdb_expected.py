#!/usr/bin/env python3
"""Writes the expected tabdump output of the Access fixtures.

    tools/gen_mdb_expected.py

Regenerates the fixtures with the test-only Jet 4 writer (gen_jet4, built in
build/release), then reads them with mdbtools alone: the rows from mdb-json
(sorted by ascending key) and the columns from mdb-schema (the "access"
backend for types and sizes, the "postgres" one for autonumber columns and
unique indexes). The columns become kernel fields by the describe mapping
(DAO type -> kernel type, width, decimals) and the values are printed in
tabdump's row form. Nothing here reads the files through our own reader.

Output: tests/kernel/drivers/data/*.mdb|.accdb and
tests/kernel/drivers/golden/<file>_<table>.txt and .keys.

Needs: mdbtools (mdb-json, mdb-schema) and a built gen_jet4.
"""
import json
import os
import re
import struct
import subprocess
import sys
from decimal import Decimal

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DATA = os.path.join(ROOT, "tests/kernel/drivers/data")
GOLDEN = os.path.join(ROOT, "tests/kernel/drivers/golden")
GEN = os.path.join(ROOT, "build/release/tests/kernel/drivers/jet4/gen_jet4")

# (file, table): the tables tabdump is checked on.
TABLES = [("data.mdb", "People"), ("data.mdb", "Empty"), ("secret.mdb", "Items")]

# libmdb prints dates before 1 March 1900 wrongly ("1900-01-00" for the OLE
# date -1.5). Such cells carry the value the OLE date rule gives (days from
# 30 December 1899, the fraction taken off for negative days), checked by
# hand: -1.5 is 29 December 1899 at noon.
DATE_FIXES = {("data.mdb", "People", 1, "Born"): "1899-12-29 12:00:00"}

ACCESS_TYPES = {
    "Boolean": 1, "Byte": 2, "Integer": 3, "Long Integer": 4, "Currency": 5, "Single": 6,
    "Double": 7, "DateTime": 8, "Text": 10, "OLE": 11, "Memo/Hyperlink": 12,
}


def run(*args):
    return subprocess.run(args, check=True, capture_output=True).stdout.decode("utf-8")


def columns(path, table):
    """[(name, dao_type, size)] in table order."""
    out = []
    for line in run("mdb-schema", "-T", table, path, "access").splitlines():
        m = re.match(r"\s*\[(.+?)\]\s+(.+?)(?: \((\d+)\))?(?: NOT NULL)?,?\s*$", line)
        if not m or m.group(2) not in ACCESS_TYPES:
            continue
        out.append((m.group(1), ACCESS_TYPES[m.group(2)], int(m.group(3) or 0)))
    return out


def key_column(path, table, cols):
    """The first autonumber Long with a unique one-column index, or None."""
    schema = run("mdb-schema", "-T", table, path, "postgres")
    serial = {m.group(1).lower() for m in re.finditer(r'"(\w+)"\s+SERIAL', schema)}
    unique = set()
    for m in re.finditer(r'PRIMARY KEY \("(\w+)"\)', schema):
        unique.add(m.group(1).lower())
    for m in re.finditer(r'CREATE UNIQUE INDEX "\w+" ON "\w+" \("(\w+)"\)', schema):
        unique.add(m.group(1).lower())
    for name, t, _ in cols:
        if t == 4 and name.lower() in serial and name.lower() in unique:
            return name
    return None


def field(name, dao_type, size, is_key):
    """The describe mapping: (name, type word, width, decimals)."""
    if dao_type == 1:
        return (name, "Logical", 1, 0)
    if dao_type in (2, 3):
        return (name, "Smallint", 6, 0)
    if dao_type == 4:
        return (name, "Integer", 11, 0)
    if dao_type == 5:
        return (name, "Decimal", 20, 4)
    if dao_type in (6, 7):
        return (name, "Float", 19, 9)
    if dao_type == 8:
        return (name, "DateTime", 0, 0)
    if dao_type == 10:
        return (name, "Char", min(size, 254), 0)
    return None


def shortest_fixed(x):
    text = format(Decimal(repr(float(x))), "f")
    if "." in text:
        text = text.rstrip("0").rstrip(".")
    return "0" if text in ("-0", "") else text


def cell(kind, width, dao_type, value):
    if kind == "Logical":
        return "T" if value else "F"
    if kind in ("Integer", "Smallint"):
        return str(int(value)) if value is not None else "0"
    if kind in ("Decimal", "Float"):
        if value is None:
            return "0"
        if dao_type == 6:
            value = struct.unpack("<f", struct.pack("<f", float(value)))[0]
        return shortest_fixed(value)
    if kind == "DateTime":
        return value + ".000" if value else ""
    text = (value or "").encode("cp1252", errors="replace")[:width]
    while text and text[-1] <= 0x20:
        text = text[:-1]
    out = b""
    for b in text:
        out += {0x5C: b"\\\\", 0x7C: b"\\|", 0x0D: b"\\r", 0x0A: b"\\n"}.get(b, bytes([b]))
    return out.decode("latin-1")


def expected(name, table):
    path = os.path.join(DATA, name)
    cols = columns(path, table)
    key = key_column(path, table, cols)
    fields = []
    for col, t, size in cols:
        f = field(col, t, size, col == key)
        if f is not None:
            fields.append((f, t))
    rows = [json.loads(line) for line in run("mdb-json", "-T", "%Y-%m-%d %H:%M:%S", path, table).splitlines() if line]
    if key is not None:
        rows.sort(key=lambda r: r[key])
    lines = ["%s %s %d %d" % f for f, _ in fields] + ["--"]
    for i, r in enumerate(rows):
        values = []
        for (fname, kind, width, _), t in fields:
            v = r.get(fname)
            v = DATE_FIXES.get((name, table, i + 1, fname), v)
            values.append(cell(kind, width, t, v))
        lines.append("|".join(values))
    keys = [str(r[key]) for r in rows] if key is not None else []
    return "\n".join(lines) + "\n", " ".join(keys) + "\n"


def main():
    if not os.path.exists(GEN):
        sys.exit("build gen_jet4 first: cmake --build build/release --target gen_jet4")
    subprocess.run([GEN, DATA], check=True)
    for name, table in TABLES:
        out, keys = expected(name, table)
        base = os.path.join(GOLDEN, "%s_%s" % (name.split(".")[0], table))
        with open(base + ".txt", "w", encoding="latin-1", newline="\n") as f:
            f.write(out)
        with open(base + ".keys", "w", newline="\n") as f:
            f.write(keys)
        print("wrote", base + ".txt")


if __name__ == "__main__":
    main()
