#!/bin/bash
# Outside readings of the files our test writers make
# (tests/kernel/drivers/sheet_writer.h), written beside them and committed;
# the tests need none of the programs used here.
#
# 1. tests/kernel/drivers/xlrd_fixtures: the workbooks of
#    tests/kernel/drivers/writer_books.h and, for each, FILE.xlrd: every cell
#    as python3-xlrd reads it, one cell a line, tab-separated:
#      sheet  row  column  kind  value
#    kind: text (the text in code page 1252; for a character the page lacks,
#    '?' in BIFF8 UTF-16 texts, '_' in the 8-bit texts of older workbooks,
#    the substitute of the system's charset conversion), number (%.17g),
#    five (a number under a five-zero format, %.17g), date (xlrd's date and
#    time: YYYY-MM-DD HH:MM:SS, 0000-00-00 for a time of day), bool (0 or 1),
#    error, empty.
# 2. tests/kernel/drivers/lotus_fixtures: grid.wks, grid.wk1 and grid.wk3
#    (tools/gen_lotus_books.cpp) and LibreOffice headless's CSV of each
#    (FILE.csv).
# Needs: a C++20 compiler, python3-xlrd, soffice (libreoffice-calc-nogui).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
drivers=$here/../tests/kernel/drivers
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
for gen in gen_writer_books gen_lotus_books; do
  c++ -std=c++20 -I "$drivers" "$here/$gen.cpp" -o "$tmp/$gen"
done

out=$drivers/xlrd_fixtures
mkdir -p "$out"
"$tmp/gen_writer_books" "$out"
cd "$out"
for f in *.xls; do
  /usr/bin/python3 - "$f" >"$f.xlrd" <<'PY'
import sys, xlrd
path = sys.argv[1]
book = xlrd.open_workbook(path, formatting_info=True, logfile=sys.stderr)
out = sys.stdout.buffer
for sheet in book.sheets():
    for r in range(sheet.nrows):
        for c in range(sheet.ncols):
            cell = sheet.cell(r, c)
            t = cell.ctype
            fmt = ""
            if t == xlrd.XL_CELL_NUMBER and cell.xf_index < len(book.xf_list):
                fmt = book.format_map[book.xf_list[cell.xf_index].format_key].format_str
            if t == xlrd.XL_CELL_TEXT:
                sub = b"?" if book.biff_version >= 80 else b"_"
                value = b"".join(ch.encode("cp1252", errors="replace").replace(b"?", sub) if ch != "?" else b"?"
                                 for ch in cell.value)
                kind = "text"
            elif t == xlrd.XL_CELL_NUMBER:
                kind = "five" if "00000" in fmt else "number"
                value = b"%.17g" % cell.value
            elif t == xlrd.XL_CELL_DATE:
                y, mo, d, h, mi, s = xlrd.xldate_as_tuple(cell.value, book.datemode)
                kind, value = "date", b"%04d-%02d-%02d %02d:%02d:%02d" % (y, mo, d, h, mi, s)
            elif t == xlrd.XL_CELL_BOOLEAN:
                kind, value = "bool", b"%d" % cell.value
            elif t == xlrd.XL_CELL_ERROR:
                kind, value = "error", b"%d" % cell.value
            else:
                kind, value = "empty", b""
            out.write(b"%s\t%d\t%d\t%s\t%s\n" % (sheet.name.encode("cp1252", errors="replace"), r, c,
                                                   kind.encode(), value))
PY
done

out=$drivers/lotus_fixtures
mkdir -p "$out"
"$tmp/gen_lotus_books" "$out"
for f in grid.wks grid.wk1 grid.wk3; do
  soffice --headless -env:UserInstallation=file://"$tmp/profile" \
    --convert-to 'csv:Text - txt - csv (StarCalc):44,34,76' --outdir "$tmp/$f" "$out/$f"
  mv "$tmp/$f/grid.csv" "$out/$f.csv"
done
