#!/bin/bash
# Writes the real-workbook fixtures of the workbook driver tests:
#   1. the sources (Gnumeric XML workbooks and a CSV sheet) and, for each
#      workbook and range, the expected `tabdump --type xls` text, both from
#      the same source values below and the workbook reading rules (column
#      typing, five-zero numbers, day serials), never from our reader;
#   2. the .xls files, converted from the sources by outside programs:
#      Gnumeric's ssconvert (excel_biff7, excel_biff8; *.gnm7.xls,
#      *.gnm8.xls) and LibreOffice headless (BIFF8; *.lo8.xls).
# The output is committed; the tests and CI need none of these programs.
# Needs: python3, ssconvert (gnumeric), soffice (libreoffice-calc-nogui).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out=${1:-$here/../tests/kernel/drivers/xls_fixtures}
mkdir -p "$out"
cd "$out"
rm -f ./*.xls ./*.expected ./*.gnumeric ./*.csv cases.txt

python3 - <<'PY'
import datetime

# ---- the source values ---------------------------------------------------
# A cell: ("t", text) or ("n", number, format); format None is General.
FIVE, ISO, DATE, TIME, STAMP = "00000", "yyyy-mm-dd", "d/m/yyyy", "hh:mm:ss", "yyyy-mm-dd hh:mm:ss"
book = {
    "First": {
        (0, 0): ("t", "Name"), (0, 1): ("t", "Qty"), (0, 2): ("t", "When"),
        (1, 0): ("t", "apple"), (1, 1): ("n", 3, None), (1, 2): ("n", 45000, ISO),
        (2, 0): ("t", "pear"), (2, 1): ("n", 1.5, None), (2, 2): ("n", 45001, ISO),
        (3, 0): ("t", "plum"), (3, 1): ("n", 7.25, None),
    },
    "Second": {
        (0, 1): ("t", "Code"), (0, 2): ("t", "Amount"),
        (1, 1): ("n", 123, FIVE), (1, 2): ("n", 2.5, None),
        (2, 1): ("n", 12345, FIVE), (2, 2): ("n", -7, None),
        (3, 1): ("n", 0, FIVE), (3, 2): ("n", 0, None),
        (4, 0): ("t", "\u041f\u0440\u0438\u0432\u0435\u0442"), (4, 1): ("n", 61, DATE),
        (4, 2): ("n", 61.25, STAMP), (4, 3): ("n", 0.5, TIME),
        (5, 0): ("t", "Gr\u00fc\u00dfe"), (5, 1): ("n", 7, FIVE),
    },
}
book_names = {"Data": ("Second", 1, 1, 3, 2)}          # Second!$B$2:$C$4
book_ranges = [("First!A2:C4", True), ("", False), ("Data", False), ("Second!B2:C4", True),
               ("Second!A5:D5", False), ("Second!A6:B6", False), ("B3", False)]
dates1904 = {
    "Dates": {
        (0, 0): ("t", "Day"), (0, 1): ("t", "Stamp"),
        (1, 0): ("n", 0, ISO), (1, 1): ("n", 1.75, STAMP),
        (2, 0): ("n", 45000, ISO), (2, 1): ("n", 366.5, STAMP),
    },
}
dates_ranges = [("Dates!A2:B3", True)]
BIG = 3000
big = {"big": {(0, 0): ("t", "Id"), (0, 1): ("t", "Label"), (0, 2): ("t", "Value")}}
for r in range(1, BIG + 1):
    big["big"][(r, 0)] = ("n", r, None)
    big["big"][(r, 1)] = ("t", "r%d" % r)
    big["big"][(r, 2)] = ("n", r * 0.25 - 100, None)
big_ranges = [("A2:C%d" % (BIG + 1), True), ("B2999:C3001", False)]

# ---- the reading rules ---------------------------------------------------
def fmt_kind(f):
    """Format kind of a format string: 0 plain, 1 date, 2 five-zero, 3 time, 4 date-time."""
    if f is None:
        return 0
    s, i, date, time, zeros = f.lower(), 0, False, False, 0
    while i < len(s):
        c = s[i]
        if c == '"':
            i = s.index('"', i + 1)
        elif c == "[":
            i = s.index("]", i)
        elif c == "\\":
            i += 1
        elif c in "dy":
            date = True
        elif c in "hs":
            time = True
        if c == "0":
            zeros += 1
            if zeros == 5 and (i + 1 == len(s) or s[i + 1] != "0"):
                return 2
        else:
            zeros = 0
        i += 1
    return 4 if date and time else 1 if date else 3 if time else 0

def num_text(v):
    return "%.10g" % v

def serial(v, y1904):
    base = datetime.datetime(1904, 1, 1) if y1904 else datetime.datetime(1899, 12, 30)
    days = int(v)
    ms = round((v - days) * 86400000)
    return base + datetime.timedelta(days=days, milliseconds=ms)

def cell_value(cell, y1904):
    """(type, value) of a cell as the reader gives it."""
    if cell is None:
        return (None, None)
    if cell[0] == "t":
        return ("Char", cell[1])
    v, k = cell[1], fmt_kind(cell[2])
    if k == 2:
        t = num_text(v)
        if 1 <= v <= 9999:
            t = "0" * (5 - len(str(int(v)))) + t
        return ("Char", t)
    if k == 0:
        return ("Float", v)
    return ({1: "Date", 3: "Time", 4: "DateTime"}[k], serial(v, y1904))

WIDTH = {"Float": 10, "Date": 10, "Time": 11, "DateTime": 22}

def merge(col, t):
    if t is None:
        return col
    if t == "Char":
        return "Char"
    if t == "Float":
        return col if col == "Char" else "Float"
    if t == "Date":
        return "Date" if col in (None, "Date") else "DateTime" if col in ("Time", "DateTime") else "Char"
    if t == "Time":
        return "Time" if col in (None, "Time") else "DateTime" if col in ("Date", "DateTime") else "Char"
    if t == "DateTime":
        return "DateTime" if col in (None, "Date", "Time", "DateTime") else "Char"
    raise ValueError(t)

def show(t, v, coltype):
    """The value as tabdump prints it in a column of coltype."""
    if t is None:
        return ""
    if t == "Char":
        return v
    if t == "Float":
        return num_text(v)
    if coltype == "Char":
        assert t == "Date"
        return v.strftime("%Y%m%d")
    if t == "Date":
        return v.strftime("%Y-%m-%d")
    hms = "%02d:%02d:%02d.%03d" % (v.hour, v.minute, v.second, v.microsecond // 1000)
    return hms if t == "Time" else v.strftime("%Y-%m-%d ") + hms

def ansi(text):
    """The text in the current charset's code page (1252): '?' for what it lacks."""
    return text.encode("cp1252", errors="replace")

def letters(c):
    s = ""
    c += 1
    while c:
        c, r = divmod(c - 1, 26)
        s = chr(65 + r) + s
    return s

def ref(text):
    i = 0
    while text[i].isalpha():
        i += 1
    col = 0
    for ch in text[:i].upper():
        col = col * 26 + ord(ch) - 64
    return int(text[i:]) - 1, col - 1

def resolve(sheets, names, rng):
    if not rng:   # the used area of the first sheet
        sheet = next(iter(sheets))
        cells = sheets[sheet]
        return sheet, 0, 0, max(r for r, _ in cells), max(c for _, c in cells)
    if rng in names:
        return names[rng]
    sheet = next(iter(sheets))
    if "!" in rng:
        sheet, rng = rng.split("!")
    a, _, b = rng.partition(":")
    r0, c0 = ref(a)
    r1, c1 = ref(b) if b else (r0, c0)
    return sheet, r0, c0, r1, c1

def expected(sheets, names, rng, titles, y1904):
    sheet, r0, c0, r1, c1 = resolve(sheets, names, rng)
    cells = sheets[sheet]
    cols = []
    for c in range(c0, c1 + 1):
        name = letters(c)
        if titles and (r0 - 1, c) in cells:
            name = cells[(r0 - 1, c)][1]
        ctype, width = None, 0
        for r in range(r0, r1 + 1):
            t, v = cell_value(cells.get((r, c)), y1904)
            if t is None:
                continue
            width = max(width, len(ansi(v)) if t == "Char" else WIDTH[t])
            ctype = merge(ctype, t)
        cols.append([name, ctype or "Char", width if ctype else 1])
    out = b"".join(b"%s %s %d 0\n" % (n.encode(), t.encode(), w) for n, t, w in cols) + b"--\n"
    for r in range(r0, r1 + 1):
        row = []
        for i, c in enumerate(range(c0, c1 + 1)):
            t, v = cell_value(cells.get((r, c)), y1904)
            row.append(ansi(show(t, v, cols[i][1])))
        out += b"|".join(row) + b"\n"
    return out

# ---- the sources -----------------------------------------------------------
def esc(s):
    return s.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;").replace('"', "&quot;")

def gnumeric(path, sheets, names, y1904):
    x = ['<?xml version="1.0" encoding="UTF-8"?>',
         '<gnm:Workbook xmlns:gnm="http://www.gnumeric.org/v10.dtd">']
    if y1904:
        x.append("<gnm:DateConvention>1904</gnm:DateConvention>")
    x.append("<gnm:SheetNameIndex>")
    x += ["<gnm:SheetName>%s</gnm:SheetName>" % esc(s) for s in sheets]
    x.append("</gnm:SheetNameIndex>")
    if names:
        x.append("<gnm:Names>")
        for n, (s, r0, c0, r1, c1) in names.items():
            v = "%s!$%s$%d:$%s$%d" % (s, letters(c0), r0 + 1, letters(c1), r1 + 1)
            x.append("<gnm:Name><gnm:name>%s</gnm:name><gnm:value>%s</gnm:value>"
                     "<gnm:position>A1</gnm:position></gnm:Name>" % (esc(n), esc(v)))
        x.append("</gnm:Names>")
    x.append("<gnm:Sheets>")
    for s, cells in sheets.items():
        x.append("<gnm:Sheet><gnm:Name>%s</gnm:Name>" % esc(s))
        x.append("<gnm:MaxCol>%d</gnm:MaxCol><gnm:MaxRow>%d</gnm:MaxRow>" %
                 (max(c for _, c in cells), max(r for r, _ in cells)))
        # Number formats as style regions, one per formatted cell.
        x.append("<gnm:Styles>")
        for (r, c), cell in sorted(cells.items()):
            if cell[0] == "n" and cell[2]:
                x.append('<gnm:StyleRegion startCol="%d" startRow="%d" endCol="%d" endRow="%d">'
                         '<gnm:Style Format="%s"/></gnm:StyleRegion>' % (c, r, c, r, esc(cell[2])))
        x.append("</gnm:Styles>")
        x.append("<gnm:Cells>")
        for (r, c), cell in sorted(cells.items()):
            if cell[0] == "t":
                x.append('<gnm:Cell Row="%d" Col="%d" ValueType="60">%s</gnm:Cell>' % (r, c, esc(cell[1])))
            else:
                x.append('<gnm:Cell Row="%d" Col="%d" ValueType="40">%r</gnm:Cell>' % (r, c, cell[1]))
        x.append("</gnm:Cells></gnm:Sheet>")
    x.append("</gnm:Sheets></gnm:Workbook>")
    open(path, "w", encoding="utf-8").write("\n".join(x) + "\n")

def csv(path, sheets):
    cells = next(iter(sheets.values()))
    rows = max(r for r, _ in cells) + 1
    cols = max(c for _, c in cells) + 1
    with open(path, "w", encoding="utf-8") as f:
        for r in range(rows):
            f.write(",".join(str(cells[(r, c)][1]) if (r, c) in cells else "" for c in range(cols)) + "\n")

gnumeric("book.gnumeric", book, book_names, False)
gnumeric("dates1904.gnumeric", dates1904, {}, True)
csv("big.csv", big)

# ---- the expected texts, for every converted file --------------------------
cases = []
for src, sheets, names, ranges, y1904, outs in [
        ("book", book, book_names, book_ranges, False, ["book.gnm7.xls", "book.gnm8.xls", "book.lo8.xls"]),
        ("dates1904", dates1904, {}, dates_ranges, True,
         ["dates1904.gnm7.xls", "dates1904.gnm8.xls", "dates1904.lo8.xls"]),
        ("big", big, {}, big_ranges, False, ["big.gnm8.xls", "big.lo8.xls"])]:
    for rng, titles in ranges:
        text = expected(sheets, names, rng, titles, y1904)
        for f in outs:
            name = "%s.%s%s.expected" % (f, rng or "default", ".titles" if titles else "")
            open(name, "wb").write(text)
            cases.append("%s\t%s\t%d\t%s" % (f, rng, titles, name))
open("cases.txt", "w").write("\n".join(cases) + "\n")
PY

# ---- the conversions ------------------------------------------------------
ssconvert -T Gnumeric_Excel:excel_biff7 book.gnumeric book.gnm7.xls
ssconvert -T Gnumeric_Excel:excel_biff8 book.gnumeric book.gnm8.xls
ssconvert -T Gnumeric_Excel:excel_biff7 dates1904.gnumeric dates1904.gnm7.xls
ssconvert -T Gnumeric_Excel:excel_biff8 dates1904.gnumeric dates1904.gnm8.xls
ssconvert -T Gnumeric_Excel:excel_biff8 big.csv big.gnm8.xls
lo=$(mktemp -d)
# LibreOffice's own Gnumeric import drops number formats, defined names
# and the 1904 system (seen with xlrd), so it reads the workbooks through
# Gnumeric's OpenDocument export; the .xls is LibreOffice's own BIFF8.
# The dates go through calendar dates there, which is why the sources hold
# no 1900-system serial below 61 (the writers count those days differently).
for b in book dates1904; do
  ssconvert -T Gnumeric_OpenCalc:odf $b.gnumeric "$lo/$b.ods"
  soffice --headless -env:UserInstallation=file://"$lo/profile" --convert-to 'xls:MS Excel 97' --outdir "$lo" "$lo/$b.ods"
  mv "$lo/$b.xls" $b.lo8.xls
done
soffice --headless -env:UserInstallation=file://"$lo/profile" --infilter=CSV:44,34,76,1 \
  --convert-to 'xls:MS Excel 97' --outdir "$lo" big.csv
mv "$lo/big.xls" big.lo8.xls
rm -rf "$lo"
