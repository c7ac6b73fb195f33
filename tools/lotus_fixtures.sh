#!/bin/bash
# Writes worksheets of our Lotus writer (grid.wks, grid.wk1, grid.wk3, from
# tools/gen_lotus_books.cpp) and LibreOffice headless's CSV of each
# (FILE.csv): an outside reading of the same files. The output is
# committed; the tests need no LibreOffice.
# Needs: a C++20 compiler, soffice (libreoffice-calc-nogui).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out=${1:-$here/../tests/kernel/drivers/lotus_fixtures}
mkdir -p "$out"
tmp=$(mktemp -d)
c++ -std=c++20 -I "$here/../tests/kernel/drivers" "$here/gen_lotus_books.cpp" -o "$tmp/gen"
"$tmp/gen" "$out"
for f in grid.wks grid.wk1 grid.wk3; do
  soffice --headless -env:UserInstallation=file://"$tmp/profile" \
    --convert-to 'csv:Text - txt - csv (StarCalc):44,34,76' --outdir "$tmp/$f" "$out/$f"
  mv "$tmp/$f/grid.csv" "$out/$f.csv"
done
rm -rf "$tmp"
