#!/usr/bin/env python3
"""Writes a one-leaf index file from the format notes (docs/index-files.md):
one Integer index (key length 4) holding the keys -1, 0, 7 for rows 3, 1, 2.
The language keys and charset of the header (bytes 14-19) are written as
zero: they depend on the collation table in force and are checked by the
test separately."""
import struct, sys

def key_int(v):
    return struct.pack('>I', (v & 0xFFFFFFFF) ^ 0x80000000)

header = struct.pack('<IHHIHHHH', 0x0171E8F8, 100, 512, 0, 1, 0, 0, 0) + bytes(28)
k = 4
m = (512 - 12) // (k + 4)
if m % 2 == 0:
    m -= 1
entry = struct.pack('<IHBB', 512, m, 1, k) + bytes(8)
block0 = (header + entry).ljust(512, b'\0')
entries = [(-1, 3), (0, 1), (7, 2)]
leaf = struct.pack('<III', len(entries), 0, 0)
for v, row in entries:
    leaf += key_int(v) + struct.pack('<I', row)
leaf = leaf.ljust(512, b'\0')
open(sys.argv[1], 'wb').write(block0 + leaf)
