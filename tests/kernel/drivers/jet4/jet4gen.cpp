// The Jet 4 fixture writer (see jet4gen.h).
#include "kernel/drivers/jet4/jet4gen.h"

#include <cstdio>
#include <cstring>

namespace jet4 {
namespace {

constexpr size_t kPage = 4096;
constexpr size_t kHeaderMasked = 0x18;  // start of the masked header area
constexpr size_t kHeaderMaskedLen = 128;
const uint8_t kHeaderKey[4] = {0xC7, 0xDA, 0x39, 0x6B};

using Bytes = std::vector<uint8_t>;

void put16(Bytes& b, size_t at, uint32_t v) {
  if (b.size() < at + 2) b.resize(at + 2);
  b[at] = static_cast<uint8_t>(v & 0xFF);
  b[at + 1] = static_cast<uint8_t>((v >> 8) & 0xFF);
}
void put32(Bytes& b, size_t at, uint32_t v) {
  put16(b, at, v & 0xFFFF);
  put16(b, at + 2, v >> 16);
}
void put64(Bytes& b, size_t at, uint64_t v) {
  put32(b, at, static_cast<uint32_t>(v));
  put32(b, at + 4, static_cast<uint32_t>(v >> 32));
}
void add16(Bytes& b, uint32_t v) { put16(b, b.size(), v); }
void add32(Bytes& b, uint32_t v) { put32(b, b.size(), v); }
void add_double(Bytes& b, double d) {
  uint64_t u = 0;
  std::memcpy(&u, &d, sizeof u);
  put64(b, b.size(), u);
}

// UTF-8 (characters of the first plane) to UCS-2 little-endian.
Bytes ucs2(const std::string& s) {
  Bytes out;
  for (size_t i = 0; i < s.size();) {
    const auto c = static_cast<uint8_t>(s[i]);
    uint32_t cp = c;
    size_t n = 1;
    if (c >= 0xE0 && i + 2 < s.size()) {
      cp = ((c & 0x0F) << 12) | ((static_cast<uint8_t>(s[i + 1]) & 0x3F) << 6) | (static_cast<uint8_t>(s[i + 2]) & 0x3F);
      n = 3;
    } else if (c >= 0xC0 && i + 1 < s.size()) {
      cp = ((c & 0x1F) << 6) | (static_cast<uint8_t>(s[i + 1]) & 0x3F);
      n = 2;
    }
    add16(out, cp);
    i += n;
  }
  return out;
}

void add_name(Bytes& b, const std::string& name) {
  const Bytes u = ucs2(name);
  add16(b, static_cast<uint32_t>(u.size()));
  b.insert(b.end(), u.begin(), u.end());
}

bool is_fixed(Type t) { return t != kText && t != kMemo && t != kOle && t != kBinary; }

size_t fixed_size(Type t) {
  switch (t) {
    case kBool: return 0;
    case kByte: return 1;
    case kInt: return 2;
    case kLong: case kSingle: return 4;
    case kMoney: case kDouble: case kDate: return 8;
    default: return 0;
  }
}

void rc4(const uint8_t* key, size_t key_len, uint8_t* data, size_t len) {
  uint8_t s[256];
  for (int i = 0; i < 256; ++i) s[i] = static_cast<uint8_t>(i);
  for (int i = 0, j = 0; i < 256; ++i) {
    j = (j + s[i] + key[i % key_len]) & 0xFF;
    std::swap(s[i], s[j]);
  }
  for (size_t k = 0, i = 0, j = 0; k < len; ++k) {
    i = (i + 1) & 0xFF;
    j = (j + s[i]) & 0xFF;
    std::swap(s[i], s[j]);
    data[k] ^= s[(s[i] + s[j]) & 0xFF];
  }
}

// The layout of a table's columns: fixed offsets and variable numbers.
struct Layout {
  std::vector<size_t> fixed_offset;
  std::vector<int> var_number;
  size_t fixed_bytes = 0;
  int vars = 0;
};

Layout layout_of(const Table& t) {
  Layout l;
  for (const auto& c : t.columns) {
    l.fixed_offset.push_back(is_fixed(c.type) ? l.fixed_bytes : 0);
    l.var_number.push_back(is_fixed(c.type) ? 0 : l.vars);
    if (is_fixed(c.type)) l.fixed_bytes += fixed_size(c.type);
    else ++l.vars;
  }
  return l;
}

Bytes encode_row(const Table& t, const Layout& l, const std::vector<Cell>& row) {
  const size_t n = t.columns.size();
  Bytes b;
  add16(b, static_cast<uint32_t>(n));
  b.resize(2 + l.fixed_bytes, 0);
  std::vector<uint8_t> mask((n + 7) / 8, 0);
  std::vector<uint32_t> var_start;
  for (size_t i = 0; i < n; ++i) {
    const Column& c = t.columns[i];
    const Cell& v = row[i];
    const bool present = !v.null && !(c.type == kBool && v.i == 0);
    if (present) mask[i / 8] |= static_cast<uint8_t>(1u << (i % 8));
    if (is_fixed(c.type)) {
      const size_t at = 2 + l.fixed_offset[i];
      if (v.null) continue;
      switch (c.type) {
        case kByte: b[at] = static_cast<uint8_t>(v.i); break;
        case kInt: put16(b, at, static_cast<uint32_t>(v.i)); break;
        case kLong: put32(b, at, static_cast<uint32_t>(v.i)); break;
        case kMoney: put64(b, at, static_cast<uint64_t>(v.i)); break;
        case kSingle: {
          const float f = static_cast<float>(v.d);
          uint32_t u = 0;
          std::memcpy(&u, &f, sizeof u);
          put32(b, at, u);
          break;
        }
        case kDouble: case kDate: {
          uint64_t u = 0;
          std::memcpy(&u, &v.d, sizeof u);
          put64(b, at, u);
          break;
        }
        default: break;
      }
      continue;
    }
    var_start.push_back(static_cast<uint32_t>(b.size()));
    if (v.null) continue;
    const Bytes u = ucs2(v.text);
    if (c.type == kMemo) {
      add32(b, static_cast<uint32_t>(u.size()) | 0x80000000u);
      add32(b, 0);
      add32(b, 0);
    }
    b.insert(b.end(), u.begin(), u.end());
  }
  const auto eod = static_cast<uint32_t>(b.size());
  add16(b, eod);
  for (size_t k = var_start.size(); k-- > 0;) add16(b, var_start[k]);
  add16(b, static_cast<uint32_t>(var_start.size()));
  b.insert(b.end(), mask.begin(), mask.end());
  return b;
}

// Data pages holding the rows (each at most one page), owned by tdef.
std::vector<Bytes> data_pages(const std::vector<Bytes>& rows, uint32_t tdef) {
  std::vector<Bytes> pages;
  size_t i = 0;
  do {
    Bytes p(kPage, 0);
    p[0] = 0x01;
    p[1] = 0x01;
    put32(p, 4, tdef);
    size_t end = kPage;
    uint32_t count = 0;
    while (i < rows.size()) {
      const Bytes& r = rows[i];
      const size_t table_end = 0x0E + 2 * (count + 1);
      if (end < r.size() || end - r.size() < table_end) break;
      end -= r.size();
      std::memcpy(p.data() + end, r.data(), r.size());
      put16(p, 0x0E + 2 * count, static_cast<uint32_t>(end));
      ++count;
      ++i;
    }
    put16(p, 0x0C, count);
    put16(p, 0x02, static_cast<uint32_t>(end - (0x0E + 2 * count)));
    pages.push_back(std::move(p));
  } while (i < rows.size());
  return pages;
}

Bytes index_leaf(uint32_t tdef) {
  Bytes p(kPage, 0);
  p[0] = 0x04;
  p[1] = 0x01;
  put16(p, 2, static_cast<uint32_t>(kPage - 0x1E0));
  put32(p, 4, tdef);
  return p;
}

// A table definition page; map_row / map_row + 1 are its usage map and free
// space map on page 1.
Bytes tdef_page(const Table& t, bool system, uint32_t map_row, const std::vector<uint32_t>& index_pages) {
  const Layout l = layout_of(t);
  Bytes p(0x3F, 0);
  p[0] = 0x02;
  p[1] = 0x01;
  p[2] = 'V';
  p[3] = 'C';
  put32(p, 0x10, static_cast<uint32_t>(t.rows.size()));
  put32(p, 0x14, t.next_autonumber);
  p[0x28] = system ? 0x53 : 0x4E;
  put16(p, 0x29, static_cast<uint32_t>(t.columns.size()));
  put16(p, 0x2B, static_cast<uint32_t>(l.vars));
  put16(p, 0x2D, static_cast<uint32_t>(t.columns.size()));
  put32(p, 0x2F, static_cast<uint32_t>(t.indexes.size()));
  put32(p, 0x33, static_cast<uint32_t>(t.indexes.size()));
  put32(p, 0x37, (1u << 8) | map_row);
  put32(p, 0x3B, (1u << 8) | (map_row + 1));
  for (size_t i = 0; i < t.indexes.size(); ++i) {
    add32(p, 0);
    add32(p, static_cast<uint32_t>(t.rows.size()));
    add32(p, 0);
  }
  for (size_t i = 0; i < t.columns.size(); ++i) {
    const Column& c = t.columns[i];
    Bytes e(25, 0);
    e[0] = c.type;
    put16(e, 5, static_cast<uint32_t>(i));
    put16(e, 7, static_cast<uint32_t>(l.var_number[i]));
    put16(e, 9, static_cast<uint32_t>(i));
    if (c.type == kText || c.type == kMemo) put16(e, 11, 0x0409);
    e[15] = static_cast<uint8_t>((is_fixed(c.type) ? 0x01 : 0x00) | (c.autonumber ? 0x04 : 0x02));
    put16(e, 21, static_cast<uint32_t>(l.fixed_offset[i]));
    put16(e, 23, static_cast<uint32_t>(c.type == kText ? 2 * c.chars : fixed_size(c.type)));
    p.insert(p.end(), e.begin(), e.end());
  }
  for (const auto& c : t.columns) add_name(p, c.name);
  for (size_t i = 0; i < t.indexes.size(); ++i) {
    const Index& ix = t.indexes[i];
    Bytes e(52, 0);
    for (size_t k = 0; k < 10; ++k) {
      put16(e, 4 + 3 * k, k < ix.columns.size() ? static_cast<uint32_t>(ix.columns[k]) : 0xFFFF);
      e[6 + 3 * k] = k < ix.columns.size() ? 0x01 : 0x00;
    }
    put32(e, 38, index_pages[i]);
    e[46] = static_cast<uint8_t>((ix.unique ? 0x01 : 0) | (ix.primary ? 0x08 : 0));
    p.insert(p.end(), e.begin(), e.end());
  }
  for (size_t i = 0; i < t.indexes.size(); ++i) {
    Bytes e(28, 0);
    put32(e, 4, static_cast<uint32_t>(i));
    put32(e, 8, static_cast<uint32_t>(i));
    put32(e, 13, 0xFFFFFFFFu);
    e[23] = t.indexes[i].primary ? 0x01 : 0x00;
    p.insert(p.end(), e.begin(), e.end());
  }
  for (const auto& ix : t.indexes) add_name(p, ix.name);
  add16(p, 0xFFFF);
  put32(p, 0x08, static_cast<uint32_t>(p.size() - 8));
  p.resize(kPage, 0);
  return p;
}

Bytes header_page(const Database& db) {
  Bytes p(kPage, 0);
  p[1] = 0x01;
  const char* magic = db.ace ? "Standard ACE DB" : "Standard Jet DB";
  std::memcpy(p.data() + 4, magic, std::strlen(magic) + 1);
  put32(p, 0x14, db.ace ? 2 : 1);
  put16(p, 0x3A, 0x0409);  // language
  put16(p, 0x3C, 1252);    // code page
  // The password field: 20 UCS-2 characters, each byte masked with the
  // creation date's bytes.
  Bytes date;
  add_double(date, db.created);
  const Bytes pw = ucs2(db.password.substr(0, 20));
  for (size_t i = 0; i < 40; ++i) p[0x42 + i] = static_cast<uint8_t>((i < pw.size() ? pw[i] : 0) ^ date[i % 8]);
  std::memcpy(p.data() + 0x72, date.data(), 8);
  rc4(kHeaderKey, sizeof kHeaderKey, p.data() + kHeaderMasked, kHeaderMaskedLen);
  return p;
}

Table catalog_table(const Database& db, const std::vector<uint32_t>& tdefs) {
  Table t;
  t.name = "MSysObjects";
  t.columns = {{"Id", kLong, 0, false},   {"ParentId", kLong, 0, false}, {"Name", kText, 128, false},
               {"Type", kInt, 0, false},  {"Flags", kLong, 0, false},    {"DateCreate", kDate, 0, false},
               {"LvProp", kOle, 0, false}};
  auto row = [&](uint32_t id, const std::string& name, int64_t flags) {
    t.rows.push_back({Cell::Int(id), Cell::Int(0x0F000000), Cell::Text(name), Cell::Int(1), Cell::Int(flags),
                      Cell::Real(db.created), Cell::Null()});
  };
  row(2, "MSysObjects", static_cast<int64_t>(static_cast<int32_t>(0x80000002u)));
  for (size_t i = 0; i < db.tables.size(); ++i) row(tdefs[i], db.tables[i].name, 0);
  return t;
}

}  // namespace

std::vector<uint8_t> build(const Database& db) {
  // Pages: 0 header, 1 usage maps, 2 catalogue definition, then per table
  // its definition, index leaves and data; the catalogue's data last.
  std::vector<Bytes> pages(3);
  std::vector<uint32_t> tdefs;
  std::vector<std::vector<uint32_t>> owned(db.tables.size() + 1);  // pages per table; the catalogue last
  std::vector<Bytes> tdef_pages;
  for (size_t i = 0; i < db.tables.size(); ++i) {
    const Table& t = db.tables[i];
    const auto tdef = static_cast<uint32_t>(pages.size());
    tdefs.push_back(tdef);
    pages.emplace_back();  // filled below, once the index pages are known
    std::vector<uint32_t> leaves;
    for (size_t k = 0; k < t.indexes.size(); ++k) {
      leaves.push_back(static_cast<uint32_t>(pages.size()));
      pages.push_back(index_leaf(tdef));
    }
    pages[tdef] = tdef_page(t, false, static_cast<uint32_t>(2 * (i + 1)), leaves);
    const Layout l = layout_of(t);
    std::vector<Bytes> rows;
    for (const auto& r : t.rows) rows.push_back(encode_row(t, l, r));
    for (auto& dp : data_pages(rows, tdef)) {
      owned[i].push_back(static_cast<uint32_t>(pages.size()));
      pages.push_back(std::move(dp));
    }
  }
  const Table cat = catalog_table(db, tdefs);
  pages[2] = tdef_page(cat, true, 0, {});
  const Layout cl = layout_of(cat);
  std::vector<Bytes> cat_rows;
  for (const auto& r : cat.rows) cat_rows.push_back(encode_row(cat, cl, r));
  for (auto& dp : data_pages(cat_rows, 2)) {
    owned.back().push_back(static_cast<uint32_t>(pages.size()));
    pages.push_back(std::move(dp));
  }
  // Page 1: the usage maps (rows 0 and 1 the catalogue's, then two per
  // table): type 0, first page 0, one bit per page.
  const size_t bitmap = (pages.size() + 7) / 8;
  std::vector<Bytes> maps;
  auto map_of = [&](const std::vector<uint32_t>& used) {
    Bytes m(5 + bitmap, 0);
    for (uint32_t pg : used) m[5 + pg / 8] |= static_cast<uint8_t>(1u << (pg % 8));
    return m;
  };
  maps.push_back(map_of(owned.back()));
  maps.push_back(map_of({}));
  for (size_t i = 0; i < db.tables.size(); ++i) {
    maps.push_back(map_of(owned[i]));
    maps.push_back(map_of({}));
  }
  auto map_pages = data_pages(maps, 0);
  pages[1] = map_pages.front();
  pages[0] = header_page(db);
  Bytes out;
  out.reserve(pages.size() * kPage);
  for (const auto& p : pages) out.insert(out.end(), p.begin(), p.end());
  return out;
}

bool write_file(const std::string& path, const Database& db) {
  const Bytes b = build(db);
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  const bool ok = std::fwrite(b.data(), 1, b.size(), f) == b.size();
  return std::fclose(f) == 0 && ok;
}

Database fixture(const std::string& name, int extra_records) {
  Database db;
  db.created = 43831.5;  // 2020-01-01 12:00
  if (name == "secret.mdb") {
    db.password = "secret";
    Table t;
    t.name = "Items";
    t.columns = {{"ID", kLong, 0, true}, {"Label", kText, 20, false}};
    t.indexes = {{"PrimaryKey", {0}, true, true}};
    t.rows = {{Cell::Int(1), Cell::Text("one")}, {Cell::Int(2), Cell::Text("two")}};
    t.next_autonumber = 3;
    db.tables.push_back(t);
    return db;
  }
  Table people;
  people.name = "People";
  people.columns = {{"ID", kLong, 0, true},       {"Name", kText, 50, false},   {"Active", kBool, 0, false},
                    {"Small", kByte, 0, false},   {"Count", kInt, 0, false},    {"Big", kLong, 0, false},
                    {"Price", kMoney, 0, false},  {"Ratio", kSingle, 0, false}, {"Amount", kDouble, 0, false},
                    {"Born", kDate, 0, false},    {"Notes", kMemo, 0, false},   {"Wide", kText, 255, false}};
  people.indexes = {{"PrimaryKey", {0}, true, true}, {"ByName", {1}, false, false}};
  people.rows = {
      {Cell::Int(1), Cell::Text("Ann"), Cell::Int(1), Cell::Int(200), Cell::Int(-7), Cell::Int(70000),
       Cell::Int(-12346), Cell::Real(1.5), Cell::Real(-2.25), Cell::Real(-1.5), Cell::Text("a memo"),
       Cell::Text("wide text")},
      {Cell::Int(2), Cell::Null(), Cell::Int(0), Cell::Null(), Cell::Null(), Cell::Null(), Cell::Null(), Cell::Null(),
       Cell::Null(), Cell::Null(), Cell::Null(), Cell::Null()},
      {Cell::Int(5), Cell::Text("Zoë €uro"), Cell::Int(1), Cell::Int(0), Cell::Int(32767), Cell::Int(-2147483647),
       Cell::Int(1234567890), Cell::Real(-0.25), Cell::Real(1234.5), Cell::Real(36526.5), Cell::Null(),
       Cell::Text(std::string(255, 'w'))},
      {Cell::Int(9), Cell::Text("  padded  "), Cell::Int(0), Cell::Int(1), Cell::Int(1), Cell::Int(1), Cell::Int(10000),
       Cell::Real(0), Cell::Real(0.1), Cell::Real(39206.5729166667), Cell::Text("x"), Cell::Text("")},
  };
  people.next_autonumber = 10;
  for (int k = 0; k < extra_records; ++k) {
    const auto id = static_cast<int64_t>(people.next_autonumber++);
    people.rows.push_back({Cell::Int(id), Cell::Text("extra " + std::to_string(k + 1)), Cell::Int(1), Cell::Int(k),
                           Cell::Int(k), Cell::Int(k), Cell::Int(0), Cell::Real(0), Cell::Real(0), Cell::Null(),
                           Cell::Null(), Cell::Null()});
  }
  Table empty;
  empty.name = "Empty";
  empty.columns = {{"ID", kLong, 0, true}, {"Name", kText, 10, false}};
  empty.indexes = {{"PrimaryKey", {0}, true, true}};
  Table nokey;
  nokey.name = "NoKey";
  nokey.columns = {{"Name", kText, 10, false}, {"N", kLong, 0, false}};
  nokey.rows = {{Cell::Text("a"), Cell::Int(1)}};
  db.tables = {people, empty, nokey};
  db.ace = name == "newer.accdb";
  return db;
}

Database bench_database(int32_t rows) {
  Database db;
  Table t;
  t.name = "Bench";
  t.columns = {{"ID", kLong, 0, true}, {"Name", kText, 30, false}, {"N", kLong, 0, false},
               {"X", kDouble, 0, false}, {"D", kDate, 0, false}};
  t.indexes = {{"PrimaryKey", {0}, true, true}};
  for (int32_t i = 1; i <= rows; ++i) {
    t.rows.push_back({Cell::Int(i), Cell::Text("name " + std::to_string(i)), Cell::Int(i * 3), Cell::Real(i * 0.5),
                      Cell::Real(40000 + i % 1000)});
  }
  t.next_autonumber = static_cast<uint32_t>(rows) + 1;
  db.tables.push_back(t);
  return db;
}

}  // namespace jet4
