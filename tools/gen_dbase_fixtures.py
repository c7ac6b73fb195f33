#!/usr/bin/env python3
"""Writes the byte fixtures of the table-type tests from the file layouts
alone (header, field records, records, end mark), independently of the
kernel's writers:

  tests/kernel/tables/storage/golden/ten_fields.dat  native data file
  tests/kernel/tables/storage/golden/ten_fields.dbf  dBASE file

Both hold the same ten fields (Char (10), Decimal (8, 2), Integer, SmallInt,
Date, Time, DateTime, Float, LargeInt, Logical) and the same three rows,
last updated 2007-03-05. Run from the repository root.
"""
import struct

TODAY = (2007, 3, 5)
NAMES = "abcdefghij"
# (char, decimal, integer, smallint, date, time ms or None, (date, ms),
#  float, largeint, logical); a date is (y, m, d), (0, 0, 0) when null.
ROWS = [
    ("ab  ", 123.45, 7, -3, (2007, 3, 5), 43200000, ((2007, 3, 5), 43200000), 1.5, 9000000000, True),
    ("x", -0.5, -2147483648, 32767, (0, 0, 0), None, ((1999, 12, 31), 1), -2.25, -9000000000, False),
    ("abcdefghij", 99999.99, 0, 0, (1999, 12, 31), 86399999, ((2000, 1, 1), 3723004), 0.1, 0, True),
]


def header(fields, count):
    """fields: (name, letter, width, decimals)."""
    record_length = 1 + sum(f[2] for f in fields)
    header_length = 32 * (len(fields) + 1) + 1
    b = bytearray(32)
    b[0] = 0x03
    b[1], b[2], b[3] = TODAY[0] - 1900, TODAY[1], TODAY[2]
    struct.pack_into("<IHH", b, 4, count, header_length, record_length)
    for name, letter, width, decimals in fields:
        r = bytearray(32)
        r[0:len(name)] = name.encode("ascii")
        r[11] = ord(letter)
        r[16] = width
        r[17] = decimals if letter == "N" else 0
        b += r
    b.append(0x0D)
    assert len(b) == header_length
    return b


def fixed(x, width, decimals):
    return ("%*.*f" % (width, decimals, x)).encode("ascii")


def native():
    fields = [("a", "C", 10, 0), ("b", "N", 8, 2), ("c", "C", 4, 0), ("d", "C", 2, 0), ("e", "C", 4, 0),
              ("f", "C", 4, 0), ("g", "C", 8, 0), ("h", "C", 8, 0), ("i", "C", 8, 0), ("j", "L", 1, 0)]
    b = header(fields, len(ROWS))
    for ch, dec, i, s, date, ms, (dt_date, dt_ms), f, ll, logical in ROWS:
        r = bytearray(b" ")
        r += ch.rstrip().encode("ascii").ljust(10, b"\0")
        r += fixed(dec, 8, 2)
        r += struct.pack("<ih", i, s)
        r += struct.pack("<HBB", *date)
        r += struct.pack("<i", -1 if ms is None else ms)
        r += struct.pack("<HBBi", *dt_date, dt_ms)
        r += struct.pack("<dq", f, ll)
        r += bytes([1 if logical else 0])
        b += r
    b.append(0x1A)
    return bytes(b)


def plain_time(ms):
    h, rest = divmod(ms, 3600000)
    m, rest = divmod(rest, 60000)
    s, f = divmod(rest, 1000)
    return ((h * 100 + m) * 100 + s) * 1000 + f


def dbase():
    fields = [("A", "C", 10, 0), ("B", "N", 8, 2), ("C", "N", 11, 0), ("D", "N", 6, 0), ("E", "D", 8, 0),
              ("F", "C", 9, 0), ("G", "C", 17, 0), ("H", "N", 19, 9), ("I", "N", 20, 0), ("J", "L", 1, 0)]
    b = header(fields, len(ROWS))
    for ch, dec, i, s, date, ms, (dt_date, dt_ms), f, ll, logical in ROWS:
        r = bytearray(b" ")
        r += ("%-10.10s" % ch).encode("ascii")
        r += fixed(dec, 8, 2)
        r += ("%11d%6d" % (i, s)).encode("ascii")
        r += ("%04d%02d%02d" % date).encode("ascii")
        r += (" " * 9 if ms is None else "%9d" % plain_time(ms)).encode("ascii")
        r += ("%17d" % ((dt_date[0] * 10000 + dt_date[1] * 100 + dt_date[2]) * 1000000000 + plain_time(dt_ms))).encode("ascii")
        r += fixed(f, 19, 9)
        r += ("%20d" % ll).encode("ascii")
        r += b"T" if logical else b"F"
        b += r
    b.append(0x1A)
    return bytes(b)


if __name__ == "__main__":
    out = "tests/kernel/tables/storage/golden/ten_fields"
    open(out + ".dat", "wb").write(native())
    open(out + ".dbf", "wb").write(dbase())
