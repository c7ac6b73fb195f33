#!/usr/bin/env bash
# Runs the demo upload against the built tree given as $1: mktab makes a
# native table of the roads fixture (three lines in a map file), which goes through the test ODBC driver (playing Microsoft SQL Server 2005 with
# the spatial extension) into a scratch SQLite database; then the uploaded
# rows, the catalogue row, the registration table and the run log are shown.
set -euo pipefail
build=$(cd "${1:-build/release}" && pwd)
root=$(cd "$(dirname "$0")/../.." && pwd)
exe="$build/app/quendalour"
mktab="$build/app/mktab"
driver="$build/tests/odbc/libqltestodbc.so"
for f in "$exe" "$mktab" "$driver"; do
  if [ ! -e "$f" ]; then
    echo "demo: $f not built yet" >&2
    exit 1
  fi
done

D=$(mktemp -d)
trap 'rm -rf "$D"' EXIT
mkdir -p "$D/db" "$D/reg"
# The roads with their lines, as a native table with its map file.
"$mktab" "$root/tests/fixtures/roads.fxt" "$D/roads.TAB"

# The spatial catalogue, as the catalogue maintenance makes it.
sqlite3 "$D/db/CORVANE.sqlite" <<'SQL'
CREATE TABLE CORVANE_MAPCATALOG(SPATIALTYPE FLOAT, TABLENAME VARCHAR(32), OWNERNAME VARCHAR(32),
  SPATIALCOLUMN VARCHAR(32), DB_X_LL FLOAT, DB_Y_LL FLOAT, DB_X_UR FLOAT, DB_Y_UR FLOAT,
  COORDINATESYSTEM VARCHAR(254), SYMBOL VARCHAR(254), XCOLUMNNAME VARCHAR(32), YCOLUMNNAME VARCHAR(32),
  RENDITIONTYPE INTEGER, RENDITIONCOLUMN VARCHAR(32), RENDITIONTABLE VARCHAR(32), NUMBER_ROWS INTEGER);
CREATE UNIQUE INDEX MAPCATALOG_IDX on CORVANE_MAPCATALOG(TABLENAME, OWNERNAME);
SQL

connect="DRIVER=$driver;DBMS=Microsoft SQL Server;DBMSVER=09.00.1399;DATABASE=testdb;DEFSCHEMA=dbo;UID=u;PWD=p;DB=$D/db;RULES=$root/tests/app/upload/rules/mssql_extension.txt"
echo "demo: quendalour /S... /Q /T$D/roads.TAB|RD /D$D/reg /F$D/run.log"
rc=0
"$exe" "/S$connect" /Q "/T$D/roads.TAB|RD" "/D$D/reg" "/F$D/run.log" || rc=$?
echo "demo: exit code $rc"

echo
echo "== rows of RD"
sqlite3 -header -nullvalue NULL "$D/db/dbo.sqlite" \
  "select NAME, LANES, LENGTH, CV_STYLE, QD_MEMBER, hex(QD_GEOMETRY) as QD_GEOMETRY from RD" || true
echo
echo "== catalogue"
sqlite3 -header "$D/db/CORVANE.sqlite" "select * from CORVANE_MAPCATALOG" || true
echo
echo "== $D/reg/RD_srv.tab"
cat "$D/reg/RD_srv.tab" 2>/dev/null && echo || echo "(not written)"
echo
echo "== run log"
cat "$D/run.log" 2>/dev/null || echo "(no log)"
exit "$rc"
