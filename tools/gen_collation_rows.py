#!/usr/bin/env python3
"""Writes kernel/runtime/kstr_collation.inc: the source texts of the kernel's
collation tables as kernel string rows.

Each table is given below as its differences from the identity map (weight =
byte value): "W from B1 B2 ..." gives bytes B1, B2 ... the weight W. The
script builds the 256-byte table and writes it in the collation source
syntax: entries "0xHH;" take the current weight and advance it, a group
"(0xHH;0xHH;...0xHH);" shares one weight, "@0xHH;" sets the current weight.
The text is spread evenly over the rows of the table's id run, each row at
most 254 characters and never starting with a blank; the run's last id holds
one blank.
Run once from the repository root; the output is committed.
"""

TABLES = [
    (10000, 10016, "Neutral", """
0x41 from 61; 0x42 from 62; 0x43 from 63; 0x44 from 64; 0x45 from 65; 0x46 from 66; 0x47 from 67; 0x48 from 68; 0x49 from 69; 0x4A from 6A; 0x4B from 6B; 0x4C from 6C; 0x4D from 6D; 0x4E from 6E; 0x4F from 6F; 0x50 from 70; 0x51 from 71; 0x52 from 72; 0x53 from 73; 0x54 from 74; 0x55 from 75; 0x56 from 76; 0x57 from 77; 0x58 from 78; 0x59 from 79; 0x5A from 7A
"""),
    (10100, 10117, "ISO8859_1", """
0x41 from 61 C0 C1 C2 C3 C4 C5 C6 E0 E1 E2 E3 E4 E5 E6; 0x42 from 62; 0x43 from 63 C7 E7; 0x44 from 64 D0 F0; 0x45 from 65 C8 C9 CA CB E8 E9 EA EB; 0x46 from 66; 0x47 from 67; 0x48 from 68; 0x49 from 69 CC CD CE CF EC ED EE EF; 0x4A from 6A; 0x4B from 6B; 0x4C from 6C; 0x4D from 6D; 0x4E from 6E D1 F1; 0x4F from 6F D2 D3 D4 D5 D6 D8 F2 F3 F4 F5 F6 F8; 0x50 from 70; 0x51 from 71; 0x52 from 72; 0x53 from 73 DF; 0x54 from 74 DE FE; 0x55 from 75 D9 DA DB DC F9 FA FB FC; 0x56 from 76; 0x57 from 77; 0x58 from 78; 0x59 from 79 DD FD FF; 0x5A from 7A
"""),
    (11000, 11017, "WindowsLatin1", """
0x41 from 61 C0 C1 C2 C3 C4 C5 C6 E0 E1 E2 E3 E4 E5 E6; 0x42 from 62; 0x43 from 63 C7 E7; 0x44 from 64 D0 F0; 0x45 from 65 C8 C9 CA CB E8 E9 EA EB; 0x46 from 66; 0x47 from 67; 0x48 from 68; 0x49 from 69 CC CD CE CF EC ED EE EF; 0x4A from 6A; 0x4B from 6B; 0x4C from 6C; 0x4D from 6D; 0x4E from 6E D1 F1; 0x4F from 6F 8C 9C D2 D3 D4 D5 D6 D8 F2 F3 F4 F5 F6 F8; 0x50 from 70; 0x51 from 71; 0x52 from 72; 0x53 from 73 8A 9A DF; 0x54 from 74 DE FE; 0x55 from 75 D9 DA DB DC F9 FA FB FC; 0x56 from 76; 0x57 from 77; 0x58 from 78; 0x59 from 79 9F DD FD FF; 0x5A from 7A
"""),
    (11100, 11117, "WindowsLatin2", """
0x41 from 61 A5 B9 C1 C2 C3 C4 E1 E2 E3 E4; 0x42 from 62; 0x43 from 63 C6 C7 C8 E6 E7 E8; 0x44 from 64 CF D0 EF F0; 0x45 from 65 C9 CA CB CC E9 EA EB EC; 0x46 from 66; 0x47 from 67; 0x48 from 68; 0x49 from 69 CD CE ED EE; 0x4A from 6A; 0x4B from 6B; 0x4C from 6C A3 B3 BC BE C5 E5; 0x4D from 6D; 0x4E from 6E D1 D2 F1 F2; 0x4F from 6F D3 D4 D5 D6 F3 F4 F5 F6; 0x50 from 70; 0x51 from 71; 0x52 from 72 C0 D8 E0 F8; 0x53 from 73 8A 8C 9A 9C AA BA DF; 0x54 from 74 8D 9D DE FE; 0x55 from 75 D9 DA DB DC F9 FA FB FC; 0x56 from 76; 0x57 from 77; 0x58 from 78; 0x59 from 79 DD FD; 0x5A from 7A 8E 8F 9E 9F AF BF; 0xF9 from A2; 0xFA from FF; 0xFD from BD; 0xFE from B2; 0xFF from A1
"""),
    (12100, 12120, "MacRoman", """
0x41 from 61 80 81 87 88 89 8A 8B 8C AE BE CB CC E5 E7; 0x42 from 62; 0x43 from 63 82 8D; 0x44 from 64; 0x45 from 65 83 8E 8F 90 91 E6 E8 E9; 0x46 from 66 DE DF; 0x47 from 67; 0x48 from 68; 0x49 from 69 92 93 94 95 EA EB EC ED; 0x4A from 6A; 0x4B from 6B; 0x4C from 6C; 0x4D from 6D; 0x4E from 6E 84 96; 0x4F from 6F 85 97 98 99 9A 9B AF BF CD CE CF EE EF F1; 0x50 from 70; 0x51 from 71; 0x52 from 72; 0x53 from 73 A7; 0x54 from 74; 0x55 from 75 86 9C 9D 9E 9F F2 F3 F4; 0x56 from 76; 0x57 from 77; 0x58 from 78; 0x59 from 79 D8 D9; 0x5A from 7A; 0x82 from E2; 0x83 from C4; 0x84 from E3; 0x85 from C9; 0x86 from A0; 0x87 from E0; 0x88 from F6; 0x89 from E4; 0x8B from DC; 0x91 from D4; 0x92 from D5; 0x93 from D2; 0x94 from D3; 0x95 from A5; 0x96 from D0; 0x97 from D1; 0x98 from F7; 0x99 from AA; 0x9B from DD; 0xA0 from CA; 0xA1 from C1; 0xA4 from DB; 0xA5 from B4; 0xA7 from A4; 0xA8 from AC; 0xAA from BB; 0xAB from C7; 0xAC from C2; 0xAE from A8; 0xAF from F8; 0xB0 from A1; 0xB4 from AB; 0xB6 from A6; 0xB7 from E1; 0xB8 from FC; 0xBA from BC; 0xBB from C8; 0xBF from C0; 0xC0 from AD; 0xC1 from B0; 0xC2 from B2; 0xC4 from B3; 0xC7 from B6; 0xC8 from B7; 0xC9 from B8; 0xCA from B9; 0xCB from BA; 0xCC from BD; 0xCD from D7; 0xF7 from D6
"""),
    (14100, 14117, "CodePage865", """
0x41 from 61 C0 C1 C2 C3 C4 E0 E1 E2 E3 E4; 0x42 from 62; 0x43 from 63 C7 E7; 0x44 from 64 D0 F0; 0x45 from 65 C8 C9 CA CB E8 E9 EA EB; 0x46 from 66; 0x47 from 67; 0x48 from 68; 0x49 from 69 CC CD CE CF EC ED EE EF; 0x4A from 6A; 0x4B from 6B; 0x4C from 6C; 0x4D from 6D; 0x4E from 6E D1 F1; 0x4F from 6F D2 D3 D4 D5 D6 F2 F3 F4 F5 F6; 0x50 from 70; 0x51 from 71; 0x52 from 72; 0x53 from 73 DF; 0x54 from 74 DE FE; 0x55 from 75 D9 DA DB DC F9 FA FB FC; 0x56 from 76; 0x57 from 77; 0x58 from 78; 0x59 from 79 DD FD FF; 0x5A from 7A; 0x5B from C6 E6; 0x5C from D8 F8; 0x5D from C5 E5
"""),
    (15000, 15017, "Nordic (set 50, slot 1 under WindowsLatin1)", """
0x41 from 61 C0 C1 C2 C3 C4 E0 E1 E2 E3 E4; 0x42 from 62; 0x43 from 63 C7 E7; 0x44 from 64 D0 F0; 0x45 from 65 C8 C9 CA CB E8 E9 EA EB; 0x46 from 66; 0x47 from 67; 0x48 from 68; 0x49 from 69 CC CD CE CF EC ED EE EF; 0x4A from 6A; 0x4B from 6B; 0x4C from 6C; 0x4D from 6D; 0x4E from 6E D1 F1; 0x4F from 6F 8C 9C D2 D3 D4 D5 D6 F2 F3 F4 F5 F6; 0x50 from 70; 0x51 from 71; 0x52 from 72; 0x53 from 73 8A 9A DF; 0x54 from 74 DE FE; 0x55 from 75 D9 DA DB DC F9 FA FB FC; 0x56 from 76; 0x57 from 77; 0x58 from 78; 0x59 from 79 9F DD FD FF; 0x5A from 7A; 0x5B from C6 E6; 0x5C from D8 F8; 0x5D from C5 E5
"""),
    (16100, 16117, "Swedish-Finnish (not loaded)", """
0x41 from 61 C0 C1 C2 C3 C6 E0 E1 E2 E3 E6; 0x42 from 62; 0x43 from 63 C7 E7; 0x44 from 64 D0 F0; 0x45 from 65 C8 C9 CA CB E8 E9 EA EB; 0x46 from 66; 0x47 from 67; 0x48 from 68; 0x49 from 69 CC CD CE CF EC ED EE EF; 0x4A from 6A; 0x4B from 6B; 0x4C from 6C; 0x4D from 6D; 0x4E from 6E D1 F1; 0x4F from 6F D2 D3 D4 D5 D8 F2 F3 F4 F5 F8; 0x50 from 70; 0x51 from 71; 0x52 from 72; 0x53 from 73 DF; 0x54 from 74 DE FE; 0x55 from 75 D9 DA DB DC F9 FA FB FC; 0x56 from 76; 0x57 from 77; 0x58 from 78; 0x59 from 79 DD FD FF; 0x5A from 7A; 0x5B from C5 E5; 0x5C from C4 E4; 0x5D from D6 F6; 0x5E from 5B; 0x5F from 5C; 0x60 from 5D; 0x61 from 5E; 0x62 from 5F; 0x63 from 60
"""),
    (17000, 17017, "Swedish-Finnish (slot 3 under WindowsLatin1)", """
0x41 from 61 C0 C1 C2 C3 C6 E0 E1 E2 E3 E6; 0x42 from 62; 0x43 from 63 C7 E7; 0x44 from 64 D0 F0; 0x45 from 65 C8 C9 CA CB E8 E9 EA EB; 0x46 from 66; 0x47 from 67; 0x48 from 68; 0x49 from 69 CC CD CE CF EC ED EE EF; 0x4A from 6A; 0x4B from 6B; 0x4C from 6C; 0x4D from 6D; 0x4E from 6E D1 F1; 0x4F from 6F 8C 9C D2 D3 D4 D5 D8 F2 F3 F4 F5 F8; 0x50 from 70; 0x51 from 71; 0x52 from 72; 0x53 from 73 8A 9A DF; 0x54 from 74 DE FE; 0x55 from 75 D9 DA DB DC F9 FA FB FC; 0x56 from 76; 0x57 from 77; 0x58 from 78; 0x59 from 79 9F DD FD FF; 0x5A from 7A; 0x5B from C5 E5; 0x5C from C4 E4; 0x5D from D6 F6; 0x5E from 5B 5C 5D 5F 60; 0x7B from 7C 7D 7E 7F 80 81 82 83 84 85 86 87 88 89; 0x8D from 8E 8F 90 91 92 93 94 95 96 97 98 99; 0x9D from 9E; 0xA0 from A1 A2 A3 A4 A5 A6 A7 A8 A9 AA AB AC AD AE AF B0 B1 B2 B3 B4 B5 B6 B7 B8 B9 BA BB BC BD BE BF
"""),
]

ROW_MAX = 254


def build(diffs):
    table = list(range(256))
    seen = set()
    for part in diffs.split(";"):
        part = part.strip()
        if not part:
            continue
        weight, rest = part.split(" from ")
        for b in rest.split():
            v = int(b, 16)
            assert v not in seen, f"byte {b} listed twice"
            seen.add(v)
            table[v] = int(weight, 16)
    return table


def source_entries(table):
    """Entry strings in weight order; every byte 1-255 exactly once."""
    out = []
    cur = 1
    for w in range(1, 256):
        members = [b for b in range(1, 256) if table[b] == w]
        if not members:
            continue
        if w != cur:
            out.append("@0x%02X;" % w)
        if len(members) == 1:
            out.append("0x%02X;" % members[0])
        else:
            inner = ";".join("0x%02X" % b for b in members)
            out.append("(" + inner + ");")
        cur = w + 1
    return out


def split_rows(entries, nrows):
    """Spread the entries over nrows rows, each at most ROW_MAX characters."""
    total = sum(len(e) for e in entries)
    rows = []
    i = 0
    for r in range(nrows):
        left_rows = nrows - r
        left_len = sum(len(e) for e in entries[i:])
        target = -(-left_len // left_rows)
        row = ""
        while i < len(entries) and (len(row) < target or r == nrows - 1) \
                and (row == "" or len(entries) - i > left_rows - 1):
            e = entries[i]
            if len(row) + len(e) > ROW_MAX:
                # A group longer than a row is cut inside, at a ';'.
                if row == "" or len(e) > ROW_MAX:
                    room = ROW_MAX - len(row)
                    cut = e.rfind(";", 0, room) + 1
                    assert cut > 0
                    row += e[:cut]
                    entries[i] = e[cut:]
                break
            row += e
            i += 1
        assert row and not row.startswith(" ") and len(row) <= ROW_MAX
        rows.append(row)
    assert i == len(entries), "text does not fit its id run"
    assert "".join(rows) and total == sum(len(r) for r in rows)
    return rows


def main():
    lines = ["// Generated by tools/gen_collation_rows.py; do not edit.",
             "// Kernel string rows holding the collation table sources: {id, text}. Each",
             "// run ends with a row of a single blank.", ""]
    for first, last, name, diffs in TABLES:
        table = build(diffs)
        entries = source_entries(table)
        rows = split_rows(entries, last - first)
        lines.append(f"// {name}")
        for k, row in enumerate(rows):
            lines.append('{%d, "%s"},' % (first + k, row))
        lines.append('{%d, " "},' % last)
    with open("kernel/runtime/kstr_collation.inc", "w") as f:
        f.write("\n".join(lines) + "\n")
    print("wrote kernel/runtime/kstr_collation.inc")


if __name__ == "__main__":
    main()
