// A deterministic writer of small Jet 4 database files (test fixtures
// only): the header page with its masked area, the system catalogue
// (MSysObjects), table definitions with columns and indexes, data pages
// with rows (fixed and variable columns, inline memos, null masks), empty
// index leaf pages and the usage maps of every table. Written from the
// layout the format is known to have; every number little-endian.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace jet4 {

enum Type : uint8_t {
  kBool = 1, kByte = 2, kInt = 3, kLong = 4, kMoney = 5, kSingle = 6, kDouble = 7, kDate = 8,
  kBinary = 9, kText = 10, kOle = 11, kMemo = 12,
};

struct Column {
  std::string name;
  Type type = kLong;
  uint16_t chars = 0;  // Text: the size in characters
  bool autonumber = false;
};

struct Index {
  std::string name;
  std::vector<int> columns;  // positions in the table's columns
  bool unique = false;
  bool primary = false;
};

// One value: null, or an integer (Bool, Byte, Int, Long, Money in
// ten-thousandths), a double (Single, Double, Date) or a UTF-8 text.
struct Cell {
  bool null = true;
  int64_t i = 0;
  double d = 0;
  std::string text;
  static Cell Null() { return Cell{}; }
  static Cell Int(int64_t v) { Cell c; c.null = false; c.i = v; return c; }
  static Cell Real(double v) { Cell c; c.null = false; c.d = v; return c; }
  static Cell Text(std::string v) { Cell c; c.null = false; c.text = std::move(v); return c; }
};

struct Table {
  std::string name;
  std::vector<Column> columns;
  std::vector<Index> indexes;
  std::vector<std::vector<Cell>> rows;
  uint32_t next_autonumber = 1;
};

struct Database {
  std::vector<Table> tables;
  std::string password;    // at most 20 characters
  double created = 40000;  // creation date (an OLE date)
  bool ace = false;        // write the header of a newer (ACE) file instead
};

std::vector<uint8_t> build(const Database& db);
bool write_file(const std::string& path, const Database& db);

// The fixtures the tests and tools/gen_mdb_expected.sh use, by name:
// "data.mdb", "secret.mdb" (password "secret"), "newer.accdb"; extra
// records append that many rows to the first table of data.mdb.
Database fixture(const std::string& name, int extra_records = 0);
// A table of n rows for the benchmark: ID autonumber key, Name Text(30),
// N Long, X Double, D Date.
Database bench_database(int32_t rows);

}  // namespace jet4
