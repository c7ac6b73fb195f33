// The engine over real Access files through libmdb (see mdbengine.h).
#include "platform/dao/mdbengine.h"

#include <glib.h>  // before mdbtools.h, which includes it inside extern "C"
#include <mdbtools.h>
#include <strings.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <vector>

#include "platform/codepage.h"
#include "platform/dao/dao.h"

namespace {

constexpr size_t kPage = 4096;
constexpr size_t kMasked = 0x18;
constexpr int32_t kMaxColumns = 256;

// ---- errors of the last failing call ---------------------------------------

std::vector<std::pair<int32_t, std::string>> g_errors;

HRESULT fail(int32_t number, const std::string& text) {
  g_errors.assign(1, {number, text});
  return dao_hresult(number);
}
HRESULT read_only(const char* method) {
  return fail(kDaoReadOnly, std::string("Database or object is read-only (") + method + ")");
}
HRESULT no_item(const std::string& name) { return fail(kDaoNoItem, "Item not found in this collection: " + name); }
HRESULT no_current() { return fail(kDaoNoCurrent, "No current record."); }

HRESULT out_text(const std::string& s, BSTR* out) {
  *out = SysAllocStringByteLen(s.data(), static_cast<uint32_t>(s.size()));
  return *out != nullptr ? kHrOk : kHrOutOfMemory;
}

std::string bstr_text(BSTR b) { return b == nullptr ? std::string() : std::string(b, SysStringByteLen(b)); }

bool variant_int(const Variant& v, int64_t* out) {
  switch (v.vt) {
    case VT_I2: *out = v.iVal; return true;
    case VT_I4: *out = v.lVal; return true;
    case VT_UI1: *out = v.bVal; return true;
    default: return false;
  }
}

uint32_t le16(const uint8_t* p) { return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8); }
uint32_t le32(const uint8_t* p) { return le16(p) | (le16(p + 2) << 16); }

// UTF-8 to the ANSI code page.
std::string to_ansi(const char* utf8) {
  bool ascii = true;
  for (const char* p = utf8; *p != '\0' && ascii; ++p) ascii = static_cast<unsigned char>(*p) < 0x80;
  if (ascii) return utf8;
  std::u32string cps;
  for (const auto* p = reinterpret_cast<const unsigned char*>(utf8); *p != 0;) {
    uint32_t c = *p;
    int n = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
    if (n > 0) c &= (0x3Fu >> n);
    ++p;
    for (; n > 0 && (*p & 0xC0) == 0x80; --n, ++p) c = (c << 6) | (*p & 0x3F);
    cps.push_back(n == 0 ? c : 0xFFFD);
  }
  std::string out;
  if (!cp_encode(cp_ansi_page(), cps, out)) out.clear();
  return out;
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


// ---- checks before libmdb reads a table ---------------------------------------
// libmdb trusts the file: a usage map that is not there, a row that runs
// past its page or a definition that claims more than it holds make it read
// outside its buffers. A table's definition, its usage maps and every row
// of its data pages are checked here first (Jet 4 layout); a table that
// fails is refused as a bad format.
class FileCheck {
 public:
  FileCheck(const std::string& path, bool jet3) : jet3_(jet3) {
    fd_ = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st;
    if (fd_ >= 0 && fstat(fd_, &st) == 0) pages_ = st.st_size / static_cast<int64_t>(kPage);
  }
  ~FileCheck() {
    if (fd_ >= 0) close(fd_);
  }
  FileCheck(const FileCheck&) = delete;
  FileCheck& operator=(const FileCheck&) = delete;

  bool table_ok(uint32_t tdef) {
    std::vector<uint8_t> b;
    if (!tdef_bytes(tdef, &b)) return false;
    if (jet3_) return true;  // the Jet 3 layout is left to libmdb
    if (b.size() < 0x3F) return false;
    const uint32_t nvar = le16(&b[0x2B]), nc = le16(&b[0x2D]), ni = le32(&b[0x2F]), nri = le32(&b[0x33]);
    if (nc == 0 || nc > kMaxColumns || nvar > nc || ni > 256 || nri > ni) return false;
    size_t pos = 0x3F + 12 * static_cast<size_t>(nri);
    columns_.clear();
    for (uint32_t i = 0; i < nc; ++i, pos += 25) {
      if (pos + 25 > b.size()) return false;
      Col c;
      c.fixed = (b[pos + 15] & 0x01) != 0;
      c.number = b[pos + 5];
      c.offset = le16(&b[pos + 21]);
      c.size = b[pos] == MDB_BOOL ? 0 : le16(&b[pos + 23]);
      columns_.push_back(c);
    }
    auto names = [&](uint32_t n) {
      for (uint32_t i = 0; i < n; ++i) {
        if (pos + 2 > b.size()) return false;
        pos += 2 + le16(&b[pos]);
        if (pos > b.size()) return false;
      }
      return true;
    };
    if (!names(nc)) return false;
    for (uint32_t i = 0; i < nri; ++i, pos += 52) {
      if (pos + 52 > b.size()) return false;
      for (size_t k = 0; k < 10; ++k) {
        const uint32_t col = le16(&b[pos + 4 + 3 * k]);
        if (col != 0xFFFF && col >= nc) return false;
      }
    }
    pos += 28 * static_cast<size_t>(ni);
    if (pos > b.size() || !names(ni)) return false;
    std::vector<uint8_t> used, free_map;
    if (!row_at(le32(&b[0x37]), &used) || !row_at(le32(&b[0x3B]), &free_map) || used.size() < 5 ||
        free_map.size() < 5 || used[0] > 1 || free_map[0] > 1)
      return false;
    std::vector<uint32_t> data;
    if (!map_pages(used, &data)) return false;
    uint8_t pg[kPage];
    for (uint32_t d : data) {
      if (!page(d, pg) || pg[0] != 0x01 || le32(pg + 4) != tdef) continue;  // libmdb passes these over
      if (!rows_ok(pg, nvar)) return false;
    }
    return true;
  }

 private:
  struct Col {
    bool fixed;
    uint32_t number, offset, size;
  };

  bool page(uint32_t pg, uint8_t* buf) const {
    if (fd_ < 0 || pg >= pages_) return false;
    return pread(fd_, buf, kPage, static_cast<off_t>(pg) * static_cast<off_t>(kPage)) == static_cast<ssize_t>(kPage);
  }
  // The definition's bytes over its chain of pages (each further page from
  // offset 8, as libmdb reads them).
  bool tdef_bytes(uint32_t first, std::vector<uint8_t>* out) const {
    uint8_t pg[kPage];
    std::vector<uint32_t> seen;
    for (uint32_t at = first; at != 0;) {
      if (seen.size() >= 64 || std::find(seen.begin(), seen.end(), at) != seen.end()) return false;
      if (!page(at, pg) || pg[0] != 0x02) return false;
      seen.push_back(at);
      out->insert(out->end(), pg + (out->empty() ? 0 : 8), pg + kPage);
      at = le32(pg + 4);
    }
    return !out->empty();
  }
  // The bytes of a row named by (page << 8 | row).
  bool row_at(uint32_t pointer, std::vector<uint8_t>* out) const {
    uint8_t pg[kPage];
    const uint32_t at = pointer >> 8, row = pointer & 0xFF;
    if (!page(at, pg) || pg[0] != 0x01) return false;
    const uint32_t rows = le16(pg + 0x0C);
    if (row >= rows || 0x0E + 2 * rows > kPage) return false;
    const uint32_t begin = le16(pg + 0x0E + 2 * row) & 0x1FFF;
    const uint32_t end = row == 0 ? kPage : le16(pg + 0x0E + 2 * (row - 1)) & 0x1FFF;
    if (begin < 0x0E + 2 * rows || begin >= end || end > kPage) return false;
    out->assign(pg + begin, pg + end);
    return true;
  }
  bool map_pages(const std::vector<uint8_t>& map, std::vector<uint32_t>* out) const {
    if (map[0] == 0) {
      const uint32_t start = le32(&map[1]);
      for (size_t i = 0; i < (map.size() - 5) * 8; ++i) {
        if ((map[5 + i / 8] & (1u << (i % 8))) && start + i < static_cast<uint64_t>(pages_)) {
          out->push_back(static_cast<uint32_t>(start + i));
        }
      }
      return true;
    }
    // Type 1: pages of bitmaps, each covering (page size - 4) x 8 pages.
    uint8_t pg[kPage];
    for (size_t i = 0; 1 + 4 * i + 4 <= map.size(); ++i) {
      const uint32_t map_pg = le32(&map[1 + 4 * i]);
      if (map_pg == 0) continue;
      if (!page(map_pg, pg) || pg[0] != 0x05) return false;
      const uint64_t base = static_cast<uint64_t>(i) * (kPage - 4) * 8;
      for (size_t k = 0; k < (kPage - 4) * 8; ++k) {
        if ((pg[4 + k / 8] & (1u << (k % 8))) && base + k < static_cast<uint64_t>(pages_)) {
          out->push_back(static_cast<uint32_t>(base + k));
        }
      }
    }
    return true;
  }
  bool rows_ok(const uint8_t* pg, uint32_t nvar) const {
    const uint32_t rows = le16(pg + 0x0C);
    if (0x0E + 2 * rows > kPage) return false;
    for (uint32_t r = 0; r < rows; ++r) {
      const uint32_t raw = le16(pg + 0x0E + 2 * r);
      if (raw & 0x8000) continue;  // deleted
      if (raw & 0x4000) return false;  // an overflow pointer: not followed here
      const uint32_t begin = raw & 0x1FFF;
      const uint32_t end = r == 0 ? kPage : le16(pg + 0x0E + 2 * (r - 1)) & 0x1FFF;
      if (begin < 0x0E + 2 * rows || begin >= end || end > kPage) return false;
      const uint8_t* row = pg + begin;
      const uint32_t size = end - begin;
      if (size < 2) return false;
      const uint32_t cols = le16(row);
      const uint32_t mask = (cols + 7) / 8;
      if (cols == 0 || cols > kMaxColumns || size < 2 + mask) return false;
      uint32_t row_vars = 0;
      uint32_t data_end = size - mask;
      if (nvar > 0) {
        if (size < 2 + mask + 2) return false;
        row_vars = le16(row + size - mask - 2);
        if (row_vars > cols || 2 + mask + 2 + 2 * (row_vars + 1) > size) return false;
        uint32_t previous = 0;
        for (uint32_t i = 0; i <= row_vars; ++i) {
          const uint32_t off = le16(row + size - mask - 4 - 2 * i);
          if (off > size || off < previous) return false;
          previous = off;
        }
        data_end = size - mask - 2 - 2 * (row_vars + 1);
      }
      for (const Col& c : columns_) {
        if (c.number >= mask * 8) continue;  // not in this row: libmdb reads it as null
        if (c.fixed && c.offset + 2 + c.size > data_end) return false;
      }
    }
    return true;
  }

  int fd_ = -1;
  int64_t pages_ = 0;
  bool jet3_;
  std::vector<Col> columns_;
};

// ---- the open file ----------------------------------------------------------------

struct Loc {
  uint32_t page;
  uint16_t row;
};

struct TableInfo {
  MdbTableDef* def = nullptr;
  std::map<int, std::map<int32_t, Loc>> keys;  // by column: key -> record
};

// One reading of the file; a later change of the file makes a new one.
struct FileState {
  std::string path;
  MdbHandle* mdb = nullptr;
  int64_t mtime_ns = 0;
  int64_t size = 0;
  std::string version;
  std::map<std::string, TableInfo> tables;  // by lower-case name
  ~FileState() {
    for (auto& t : tables) {
      if (t.second.def != nullptr) mdb_free_tabledef(t.second.def);
    }
    if (mdb != nullptr) mdb_close(mdb);
  }
};

bool stat_of(const std::string& path, int64_t* mtime_ns, int64_t* size) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return false;
  *mtime_ns = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  *size = st.st_size;
  return true;
}

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::shared_ptr<FileState> open_state(const std::string& path, const std::string& version, HRESULT* h) {
  auto st = std::make_shared<FileState>();
  st->path = path;
  st->version = version;
  if (!stat_of(path, &st->mtime_ns, &st->size)) {
    *h = fail(kDaoNotFound, "Could not find the database file " + path + ".");
    return nullptr;
  }
  // A file shorter than its catalogue or not of whole pages is no database.
  if (st->size < static_cast<int64_t>(3 * kPage) || st->size % static_cast<int64_t>(kPage) != 0) {
    *h = fail(kDaoBadFormat, "Unrecognized database format " + path + ".");
    return nullptr;
  }
  if (!FileCheck(path, version == "3.0").table_ok(2)) {
    *h = fail(kDaoBadFormat, "Unrecognized database format " + path + ".");
    return nullptr;
  }
  st->mdb = mdb_open(path.c_str(), MDB_NOFLAGS);
  if (st->mdb == nullptr || mdb_read_catalog(st->mdb, MDB_ANY) == nullptr) {
    *h = fail(kDaoBadFormat, "Unrecognized database format " + path + ".");
    return nullptr;
  }
  *h = kHrOk;
  return st;
}

// The catalogue's tables (user and system), in catalogue order.
std::vector<MdbCatalogEntry*> table_entries(FileState& st) {
  std::vector<MdbCatalogEntry*> out;
  for (unsigned i = 0; st.mdb->catalog != nullptr && i < st.mdb->num_catalog; ++i) {
    auto* e = static_cast<MdbCatalogEntry*>(g_ptr_array_index(st.mdb->catalog, i));
    if (e->object_type == MDB_TABLE) out.push_back(e);
  }
  return out;
}

TableInfo* table_info(FileState& st, const std::string& name) {
  const std::string key = lower(name);
  auto it = st.tables.find(key);
  if (it != st.tables.end()) return it->second.def != nullptr ? &it->second : nullptr;
  TableInfo& info = st.tables[key];
  for (MdbCatalogEntry* e : table_entries(st)) {
    if (strcasecmp(e->object_name, name.c_str()) != 0) continue;
    if (!FileCheck(st.path, st.version == "3.0").table_ok(static_cast<uint32_t>(e->table_pg))) break;
    info.def = mdb_read_table(e);
    if (info.def != nullptr && (mdb_read_columns(info.def) == nullptr || info.def->num_cols > kMaxColumns)) {
      mdb_free_tabledef(info.def);
      info.def = nullptr;
    }
    if (info.def != nullptr) mdb_read_indices(info.def);
    break;
  }
  return info.def != nullptr ? &info : nullptr;
}

MdbColumn* column_at(MdbTableDef* t, int i) {
  return i >= 0 && static_cast<unsigned>(i) < t->num_cols ? static_cast<MdbColumn*>(g_ptr_array_index(t->columns, i))
                                                           : nullptr;
}

int16_t dao_type(const MdbColumn* c) {
  switch (c->col_type) {
    case MDB_BOOL: return dbBoolean;
    case MDB_BYTE: return dbByte;
    case MDB_INT: return dbInteger;
    case MDB_LONGINT: return dbLong;
    case MDB_MONEY: return dbCurrency;
    case MDB_FLOAT: return dbSingle;
    case MDB_DOUBLE: return dbDouble;
    case MDB_DATETIME: return dbDate;
    case MDB_BINARY: return dbBinary;
    case MDB_TEXT: return dbText;
    case MDB_OLE: return dbLongBinary;
    case MDB_MEMO: return dbMemo;
    case MDB_REPID: return dbGUID;
    case MDB_NUMERIC: return dbDecimal;
    default: return static_cast<int16_t>(100 + c->col_type);
  }
}

int32_t dao_size(const FileState& st, const MdbColumn* c) {
  switch (c->col_type) {
    case MDB_BOOL: case MDB_BYTE: return 1;
    case MDB_INT: return 2;
    case MDB_LONGINT: case MDB_FLOAT: return 4;
    case MDB_MONEY: case MDB_DOUBLE: case MDB_DATETIME: return 8;
    case MDB_TEXT: return st.version == "3.0" ? c->col_size : c->col_size / 2;
    case MDB_BINARY: return c->col_size;
    case MDB_REPID: return 16;
    case MDB_NUMERIC: return 17;
    default: return 0;
  }
}

int32_t dao_attributes(const MdbColumn* c) {
  return (c->is_fixed ? 1 : 2) | (c->is_long_auto ? dbAutoIncrField : 0);
}

// The bytes of one row of a data page in the handle's page buffer, after
// checks that keep libmdb's row reader within the page.
bool row_bounds(MdbHandle* mdb, MdbTableDef* t, uint16_t row, int* start, size_t* len) {
  const uint8_t* pg = mdb->pg_buf;
  if (pg[0] != 0x01) return false;
  const uint32_t rows = le16(pg + 0x0C);
  if (row >= rows || 0x0E + 2 * (rows + 0u) > kPage) return false;
  const uint32_t raw = le16(pg + 0x0E + 2 * row);
  if (raw & 0xC000) return false;  // deleted or an overflow pointer
  const uint32_t begin = raw & 0x1FFF;
  const uint32_t end = row == 0 ? kPage : le16(pg + 0x0E + 2 * (row - 1)) & 0x1FFF;
  if (begin >= end || end > kPage || begin < 0x0E + 2 * rows) return false;
  const uint32_t size = end - begin;
  const uint32_t cols = size >= 2 ? le16(pg + begin) : 0;
  const uint32_t mask = (cols + 7) / 8;
  if (cols == 0 || cols > kMaxColumns || size < 2 + mask + 4) return false;
  if (t->num_var_cols > 0) {
    const uint32_t last = begin + size - 1;
    const uint32_t vars = le16(pg + last - mask - 1);
    if (2 + mask + 2 + 2 * (vars + 1) > size) return false;
    for (uint32_t i = 0; i <= vars; ++i) {
      const uint32_t off = le16(pg + last - mask - 3 - 2 * i);
      if (off > size) return false;
      if (i > 0 && off < le16(pg + last - mask - 3 - 2 * (i - 1))) return false;
    }
  }
  for (unsigned i = 0; i < t->num_cols; ++i) {
    const MdbColumn* c = column_at(t, static_cast<int>(i));
    if (c->is_fixed && static_cast<uint32_t>(c->fixed_offset + 2 + std::max(c->col_size, 0)) > size) return false;
    if (static_cast<uint32_t>(c->col_num) >= mask * 8 + 8) return false;
  }
  *start = static_cast<int>(begin);
  *len = size;
  return true;
}

bool load_row(FileState& st, MdbTableDef* t, const Loc& at, std::vector<MdbField>* fields) {
  MdbHandle* mdb = st.mdb;
  if (mdb->cur_pg != at.page && mdb_read_pg(mdb, at.page) != static_cast<ssize_t>(kPage)) return false;
  int start = 0;
  size_t len = 0;
  if (!row_bounds(mdb, t, at.row, &start, &len)) return false;
  if (fields->size() != kMaxColumns) fields->assign(kMaxColumns, MdbField{});
  const int n = mdb_crack_row(t, start, len, fields->data());
  return n >= 0;
}

// The VARIANT of a cracked field of the column.
void field_value(FileState& st, const MdbColumn* c, const MdbField& f, Variant* out) {
  VariantInit(out);
  out->vt = VT_NULL;
  const auto* p = static_cast<const uint8_t*>(f.value);
  if (c->col_type == MDB_BOOL) {
    out->vt = VT_BOOL;
    out->boolVal = f.is_null ? 0 : -1;
    return;
  }
  if (f.is_null || p == nullptr || f.start < 0 || f.siz < 0 || static_cast<size_t>(f.start) + f.siz > kPage) return;
  const auto need = [&](int n) { return f.siz >= n; };
  switch (c->col_type) {
    case MDB_BYTE: if (need(1)) out->vt = VT_UI1, out->bVal = p[0]; return;
    case MDB_INT: if (need(2)) out->vt = VT_I2, out->iVal = static_cast<int16_t>(le16(p)); return;
    case MDB_LONGINT: if (need(4)) out->vt = VT_I4, out->lVal = static_cast<int32_t>(le32(p)); return;
    case MDB_MONEY:
      if (need(8)) {
        out->vt = VT_CY;
        out->cyVal = static_cast<int64_t>(static_cast<uint64_t>(le32(p)) | (static_cast<uint64_t>(le32(p + 4)) << 32));
      }
      return;
    case MDB_FLOAT:
      if (need(4)) {
        const uint32_t u = le32(p);
        float x = 0;
        std::memcpy(&x, &u, sizeof x);
        out->vt = VT_R4;
        out->fltVal = x;
      }
      return;
    case MDB_DOUBLE: case MDB_DATETIME:
      if (need(8)) {
        const uint64_t u = static_cast<uint64_t>(le32(p)) | (static_cast<uint64_t>(le32(p + 4)) << 32);
        double x = 0;
        std::memcpy(&x, &u, sizeof x);
        out->vt = c->col_type == MDB_DOUBLE ? VT_R8 : VT_DATE;
        if (c->col_type == MDB_DOUBLE) out->dblVal = x;
        else out->date = x;
      }
      return;
    case MDB_TEXT: {
      char* text = f.siz == 0 ? nullptr : mdb_col_to_string(st.mdb, st.mdb->pg_buf, f.start, MDB_TEXT, f.siz);
      const std::string ansi = text != nullptr ? to_ansi(text) : std::string();
      g_free(text);
      out->vt = VT_BSTR;
      out->bstrVal = SysAllocStringByteLen(ansi.data(), static_cast<uint32_t>(ansi.size()));
      if (out->bstrVal == nullptr) out->vt = VT_NULL;
      return;
    }
    default: return;  // not carried: left null
  }
}

// The key -> record map of a Long column, built in one scan of the table.
std::map<int32_t, Loc>* key_map(FileState& st, TableInfo& info, int column) {
  auto it = info.keys.find(column);
  if (it != info.keys.end()) return &it->second;
  std::map<int32_t, Loc>& keys = info.keys[column];
  MdbTableDef* t = info.def;
  const MdbColumn* c = column_at(t, column);
  if (c == nullptr || c->col_type != MDB_LONGINT) return &keys;
  std::vector<MdbField> fields;
  mdb_rewind_table(t);
  while (mdb_fetch_row(t)) {
    const Loc at{t->cur_phys_pg, static_cast<uint16_t>(t->cur_row - 1)};
    if (!load_row(st, t, at, &fields)) continue;
    Variant v;
    field_value(st, c, fields[static_cast<size_t>(column)], &v);
    if (v.vt == VT_I4) keys.emplace(v.lVal, at);
  }
  return &keys;
}

// The database as its holders see it: the current reading of the file,
// renewed when the file changed.
struct Shared {
  std::shared_ptr<FileState> state;
  int64_t generation = 0;
  HRESULT refresh() {
    int64_t m = 0, s = 0;
    if (!stat_of(state->path, &m, &s)) return fail(kDaoNotFound, "Could not find the database file " + state->path + ".");
    if (m == state->mtime_ns && s == state->size) return kHrOk;
    HRESULT h = kHrOk;
    auto fresh = open_state(state->path, state->version, &h);
    if (fresh == nullptr) return h;
    state = fresh;
    ++generation;
    return kHrOk;
  }
};

// ---- objects ---------------------------------------------------------------------

// A collection of a read-only database: nothing is appended or deleted.
template <class T>
struct MCollection : DaoCollection<T> {
  HRESULT Append(ComObject*) override { return read_only("Append"); }
  HRESULT Delete(BSTR) override { return read_only("Delete"); }
  HRESULT Refresh() override { return kHrOk; }
};

struct MError : DaoError {
  int32_t number;
  std::string text;
  MError(int32_t n, std::string t) : number(n), text(std::move(t)) {}
  HRESULT get_Description(BSTR* out) override { return out_text(text, out); }
  HRESULT get_Number(int32_t* out) override { return *out = number, kHrOk; }
};

struct MErrors : MCollection<DaoError> {
  std::vector<std::pair<int32_t, std::string>> list = g_errors;
  HRESULT get_Count(int16_t* out) override { return *out = static_cast<int16_t>(list.size()), kHrOk; }
  HRESULT get_Item(const Variant& item, DaoError** out) override {
    *out = nullptr;
    int64_t n = -1;
    if (!variant_int(item, &n) || n < 0 || n >= static_cast<int64_t>(list.size())) return no_item("error");
    *out = new MError(list[static_cast<size_t>(n)].first, list[static_cast<size_t>(n)].second);
    return kHrOk;
  }
};

struct MRecordset;

// A column: of a table definition, of an index (name only) or of a
// recordset (with the current record's value).
struct MField : DaoField {
  std::shared_ptr<FileState> state;
  MdbColumn* column = nullptr;
  std::string name;  // index fields
  int ordinal = 0;
  MRecordset* set = nullptr;  // referenced
  ~MField() override;
  HRESULT get_Type(int16_t* out) override { return *out = column != nullptr ? dao_type(column) : static_cast<int16_t>(dbLong), kHrOk; }
  HRESULT get_Name(BSTR* out) override { return out_text(column != nullptr ? std::string(column->name) : name, out); }
  HRESULT get_Size(int32_t* out) override { return *out = column != nullptr ? dao_size(*state, column) : 0, kHrOk; }
  HRESULT get_Value(Variant* out) override;
  HRESULT put_Value(const Variant&) override { return read_only("put_Value"); }
  HRESULT get_Attributes(int32_t* out) override { return *out = column != nullptr ? dao_attributes(column) : 0, kHrOk; }
  HRESULT put_Attributes(int32_t) override { return read_only("put_Attributes"); }
  HRESULT put_Required(int16_t) override { return read_only("put_Required"); }
  HRESULT get_CollectionIndex(int16_t* out) override { return *out = static_cast<int16_t>(ordinal), kHrOk; }
};

// The columns of a table (of a recordset when set is given).
struct MFields : MCollection<DaoField> {
  std::shared_ptr<FileState> state;
  MdbTableDef* table = nullptr;
  MRecordset* set = nullptr;  // referenced
  std::vector<std::string> names;  // index fields: names only
  bool index_fields = false;
  ~MFields() override;
  int count() const { return index_fields ? static_cast<int>(names.size()) : static_cast<int>(table->num_cols); }
  HRESULT get_Count(int16_t* out) override { return *out = static_cast<int16_t>(count()), kHrOk; }
  HRESULT get_Item(const Variant& item, DaoField** out) override;
};

struct MIndex : DaoIndex {
  std::shared_ptr<FileState> state;
  MdbTableDef* table = nullptr;
  MdbIndex* index = nullptr;
  HRESULT get_Name(BSTR* out) override { return out_text(index->name, out); }
  HRESULT get_Unique(int16_t* out) override { return *out = (index->flags & MDB_IDX_UNIQUE) ? -1 : 0, kHrOk; }
  HRESULT put_Unique(int16_t) override { return read_only("put_Unique"); }
  HRESULT put_Primary(int16_t) override { return read_only("put_Primary"); }
  HRESULT put_Required(int16_t) override { return read_only("put_Required"); }
  HRESULT put_IgnoreNulls(int16_t) override { return read_only("put_IgnoreNulls"); }
  HRESULT get_Fields(Variant* out) override {
    VariantInit(out);
    auto* f = new MFields;
    f->state = state;
    f->table = table;
    f->index_fields = true;
    for (unsigned k = 0; k < index->num_keys && k < MDB_MAX_IDX_COLS; ++k) {
      const MdbColumn* c = column_at(table, index->key_col_num[k] - 1);
      f->names.push_back(c != nullptr ? c->name : "");
    }
    out->vt = VT_DISPATCH;
    out->pdispVal = f;
    return kHrOk;
  }
  HRESULT CreateField(const Variant&, const Variant&, const Variant&, DaoField** out) override {
    *out = nullptr;
    return read_only("CreateField");
  }
};

struct MIndexes : MCollection<DaoIndex> {
  std::shared_ptr<FileState> state;
  MdbTableDef* table = nullptr;
  std::vector<MdbIndex*> list() const {
    std::vector<MdbIndex*> out;
    for (unsigned i = 0; table->indices != nullptr && i < table->indices->len; ++i) {
      auto* ix = static_cast<MdbIndex*>(g_ptr_array_index(table->indices, i));
      if (ix->index_type != 2) out.push_back(ix);  // relations are no indexes here
    }
    return out;
  }
  HRESULT get_Count(int16_t* out) override { return *out = static_cast<int16_t>(list().size()), kHrOk; }
  HRESULT get_Item(const Variant& item, DaoIndex** out) override {
    *out = nullptr;
    const auto l = list();
    int64_t n = -1;
    MdbIndex* found = nullptr;
    if (variant_int(item, &n)) {
      if (n >= 0 && n < static_cast<int64_t>(l.size())) found = l[static_cast<size_t>(n)];
    } else if (item.vt == VT_BSTR) {
      for (MdbIndex* ix : l) {
        if (strcasecmp(ix->name, bstr_text(item.bstrVal).c_str()) == 0) found = ix;
      }
    }
    if (found == nullptr) return no_item("index");
    auto* ix = new MIndex;
    ix->state = state;
    ix->table = table;
    ix->index = found;
    *out = ix;
    return kHrOk;
  }
};

struct MTableDef : DaoTableDef {
  std::shared_ptr<FileState> state;
  MdbCatalogEntry* entry = nullptr;
  HRESULT get_Attributes(int32_t* out) override {
    *out = mdb_is_user_table(entry) ? 0 : (entry->flags != 0 ? entry->flags : static_cast<int32_t>(0x80000002u));
    return kHrOk;
  }
  HRESULT get_Name(BSTR* out) override { return out_text(entry->object_name, out); }
  HRESULT put_Name(BSTR) override { return read_only("put_Name"); }
  HRESULT get_Fields(DaoFields** out) override {
    *out = nullptr;
    TableInfo* info = table_info(*state, entry->object_name);
    if (info == nullptr) return fail(kDaoBadFormat, std::string("The table cannot be read: ") + entry->object_name);
    auto* f = new MFields;
    f->state = state;
    f->table = info->def;
    *out = f;
    return kHrOk;
  }
  HRESULT get_Indexes(DaoIndexes** out) override {
    *out = nullptr;
    TableInfo* info = table_info(*state, entry->object_name);
    if (info == nullptr) return fail(kDaoBadFormat, std::string("The table cannot be read: ") + entry->object_name);
    auto* ix = new MIndexes;
    ix->state = state;
    ix->table = info->def;
    *out = ix;
    return kHrOk;
  }
  HRESULT CreateField(const Variant&, const Variant&, const Variant&, DaoField** out) override {
    *out = nullptr;
    return read_only("CreateField");
  }
  HRESULT CreateIndex(const Variant&, DaoIndex** out) override {
    *out = nullptr;
    return read_only("CreateIndex");
  }
};

struct MTableDefs : MCollection<DaoTableDef> {
  std::shared_ptr<FileState> state;
  HRESULT get_Count(int16_t* out) override {
    return *out = static_cast<int16_t>(table_entries(*state).size()), kHrOk;
  }
  HRESULT get_Item(const Variant& item, DaoTableDef** out) override {
    *out = nullptr;
    const auto list = table_entries(*state);
    MdbCatalogEntry* found = nullptr;
    int64_t n = -1;
    if (variant_int(item, &n)) {
      if (n >= 0 && n < static_cast<int64_t>(list.size())) found = list[static_cast<size_t>(n)];
    } else if (item.vt == VT_BSTR) {
      for (MdbCatalogEntry* e : list) {
        if (strcasecmp(e->object_name, bstr_text(item.bstrVal).c_str()) == 0) found = e;
      }
    }
    if (found == nullptr) return no_item(item.vt == VT_BSTR ? bstr_text(item.bstrVal) : "table");
    auto* t = new MTableDef;
    t->state = state;
    t->entry = found;
    *out = t;
    return kHrOk;
  }
};

// A table-type recordset (over a key index), or the snapshot of a select.
struct MRecordset : DaoRecordset {
  std::shared_ptr<Shared> db;
  std::shared_ptr<FileState> state;  // the reading the positions belong to
  std::string table;
  int key_column = -1;
  std::map<int32_t, Loc>::const_iterator at;
  std::map<int32_t, Loc>* keys = nullptr;
  bool eof = true;
  bool positioned = false;
  int16_t no_match = 0;
  bool open = true;
  // snapshot
  bool snapshot = false;
  std::string snap_name;
  std::vector<int32_t> snap;
  size_t snap_at = 0;

  TableInfo* table_ = nullptr;  // of state
  std::vector<MdbField> fields_;  // the cracked current record
  const std::map<int32_t, Loc>::value_type* cracked_ = nullptr;
  std::string index_;

  TableInfo* info() {
    if (table_ == nullptr) table_ = table_info(*state, table);
    return table_;
  }
  // Follows a new reading of the file (made by the database when it saw
  // the file change): positions start afresh.
  HRESULT follow() {
    if (state != db->state) {
      state = db->state;
      table_ = nullptr;
      keys = nullptr;
      cracked_ = nullptr;
      positioned = false;
      eof = true;
    }
    if (info() == nullptr) return fail(3078, "No table of that name: " + table);
    if (keys == nullptr && key_column >= 0) keys = key_map(*state, *info(), key_column);
    return kHrOk;
  }
  HRESULT get_Fields(DaoFields** out) override {
    *out = nullptr;
    if (!open) return fail(3420, "The object is no longer set.");
    if (!snapshot) {
      if (HRESULT h = follow()) return h;
    }
    auto* f = new MFields;
    f->state = state;
    f->set = this;
    AddRef();
    if (snapshot) {
      f->index_fields = true;
      f->names.push_back(snap_name);
    } else {
      f->table = info()->def;
    }
    *out = f;
    return kHrOk;
  }
  HRESULT get_Indexes(DaoIndexes** out) override {
    *out = nullptr;
    if (!open || snapshot) return fail(3251, "The operation is not supported here.");
    auto* ix = new MIndexes;
    ix->state = state;
    ix->table = info()->def;
    *out = ix;
    return kHrOk;
  }
  HRESULT put_Index(BSTR name) override {
    if (!open || snapshot) return fail(3251, "The operation is not supported here.");
    if (HRESULT h = follow()) return h;
    const std::string n = bstr_text(name);
    if (n == index_ && keys != nullptr) return kHrOk;
    MdbTableDef* t = info()->def;
    for (unsigned i = 0; t->indices != nullptr && i < t->indices->len; ++i) {
      auto* ix = static_cast<MdbIndex*>(g_ptr_array_index(t->indices, i));
      if (ix->index_type == 2 || strcasecmp(ix->name, n.c_str()) != 0) continue;
      const int column = ix->num_keys > 0 ? ix->key_col_num[0] - 1 : -1;
      if (column != key_column) {
        key_column = column;
        keys = key_map(*state, *info(), column);
        positioned = false;
      }
      index_ = n;
      return kHrOk;
    }
    return fail(3800, "Not an index of this table: " + n);
  }
  HRESULT Seek(BSTR comparison, const Variant* keys_in) override {
    if (!open || snapshot || key_column < 0) return fail(3251, "The operation is not supported here.");
    if (bstr_text(comparison) != "=") return fail(kDaoBadArgument, "Only = is supported.");
    if (HRESULT h = follow()) return h;
    int64_t k = 0;
    no_match = -1;
    eof = true;
    positioned = false;
    if (!variant_int(keys_in[0], &k)) return kHrOk;
    auto it = keys->find(static_cast<int32_t>(k));
    if (it == keys->end()) return kHrOk;
    at = it;
    positioned = true;
    eof = false;
    no_match = 0;
    return kHrOk;
  }
  HRESULT get_NoMatch(int16_t* out) override { return *out = no_match, kHrOk; }
  HRESULT MoveFirst() override {
    if (!open) return fail(3420, "The object is no longer set.");
    if (snapshot) {
      snap_at = 0;
      eof = snap.empty();
      return eof ? no_current() : kHrOk;
    }
    if (HRESULT h = db->refresh()) return h;
    if (HRESULT h = follow()) return h;
    if (keys == nullptr || keys->empty()) {
      eof = true;
      return no_current();
    }
    at = keys->begin();
    positioned = true;
    eof = false;
    return kHrOk;
  }
  HRESULT MoveNext() override {
    if (!open) return fail(3420, "The object is no longer set.");
    if (eof) return no_current();
    if (snapshot) {
      eof = ++snap_at >= snap.size();
      return kHrOk;
    }
    ++at;
    eof = at == keys->end();
    positioned = !eof;
    return kHrOk;
  }
  HRESULT get_EOF(int16_t* out) override { return *out = eof ? -1 : 0, kHrOk; }
  HRESULT AddNew() override { return read_only("AddNew"); }
  HRESULT Edit() override { return read_only("Edit"); }
  HRESULT Update(int32_t, int16_t) override { return read_only("Update"); }
  HRESULT CancelUpdate(int32_t) override { return kHrOk; }
  HRESULT Delete() override { return read_only("Delete"); }
  HRESULT Close() override {
    open = false;
    return kHrOk;
  }
  HRESULT value(int ordinal, Variant* out) {
    VariantInit(out);
    if (!open) return fail(3420, "The object is no longer set.");
    if (snapshot) {
      if (eof) return no_current();
      out->vt = VT_I4;
      out->lVal = snap[snap_at];
      return kHrOk;
    }
    if (!positioned || eof) return no_current();
    if (HRESULT h = follow()) return h;
    if (!positioned) return no_current();
    MdbTableDef* t = info()->def;
    // One record is cracked once for all its columns, while its page is
    // still the one in the handle's buffer.
    if (cracked_ != &*at || state->mdb->cur_pg != at->second.page) {
      cracked_ = nullptr;
      if (!load_row(*state, t, at->second, &fields_)) return fail(kDaoBadFormat, "A record of " + table + " cannot be read.");
      cracked_ = &*at;
    }
    const MdbColumn* c = column_at(t, ordinal);
    if (c == nullptr) return no_item("field");
    field_value(*state, c, fields_[static_cast<size_t>(ordinal)], out);
    return kHrOk;
  }
};

MField::~MField() {
  if (set != nullptr) set->Release();
}

MFields::~MFields() {
  if (set != nullptr) set->Release();
}

HRESULT MFields::get_Item(const Variant& item, DaoField** out) {
  *out = nullptr;
  int64_t n = -1;
  int p = -1;
  if (variant_int(item, &n)) {
    p = n >= 0 && n < count() ? static_cast<int>(n) : -1;
  } else if (item.vt == VT_BSTR) {
    for (int i = 0; i < count() && p < 0; ++i) {
      const char* nm = index_fields ? names[static_cast<size_t>(i)].c_str() : column_at(table, i)->name;
      if (strcasecmp(nm, bstr_text(item.bstrVal).c_str()) == 0) p = i;
    }
  }
  if (p < 0) return no_item(item.vt == VT_BSTR ? bstr_text(item.bstrVal) : "field");
  auto* f = new MField;
  f->state = state;
  f->ordinal = p;
  if (index_fields) f->name = names[static_cast<size_t>(p)];
  else f->column = column_at(table, p);
  f->set = set;
  if (set != nullptr) set->AddRef();
  *out = f;
  return kHrOk;
}

HRESULT MField::get_Value(Variant* out) {
  VariantInit(out);
  if (set == nullptr) return fail(3219, "The operation is not allowed here.");
  return set->value(ordinal, out);
}

struct MQueryDef : DaoQueryDef {
  std::shared_ptr<Shared> db;
  std::string sql;
  HRESULT OpenRecordset(const Variant&, const Variant&, const Variant&, DaoRecordset** out) override {
    *out = nullptr;
    std::string key, table;
    int64_t above = 0;
    if (!dao_parse_select(sql, &key, &table, &above)) return fail(kDaoSyntax, "Syntax error in the query: " + sql);
    if (HRESULT h = db->refresh()) return h;
    TableInfo* info = table_info(*db->state, table);
    if (info == nullptr) return fail(3078, "No table of that name: " + table);
    int column = -1;
    for (unsigned i = 0; i < info->def->num_cols; ++i) {
      if (strcasecmp(column_at(info->def, static_cast<int>(i))->name, key.c_str()) == 0) column = static_cast<int>(i);
    }
    if (column < 0) return fail(3061, "No field of that name: " + key);
    auto* rs = new MRecordset;
    rs->db = db;
    rs->state = db->state;
    rs->snapshot = true;
    rs->snap_name = key;
    for (const auto& kv : *key_map(*db->state, *info, column)) {
      if (kv.first > above) rs->snap.push_back(kv.first);
    }
    rs->eof = rs->snap.empty();
    *out = rs;
    return kHrOk;
  }
};

struct MDatabase : DaoDatabase {
  std::shared_ptr<Shared> db;
  bool open = true;
  HRESULT get_TableDefs(DaoTableDefs** out) override {
    *out = nullptr;
    if (HRESULT h = db->refresh()) return h;
    auto* t = new MTableDefs;
    t->state = db->state;
    *out = t;
    return kHrOk;
  }
  HRESULT get_Version(BSTR* out) override { return out_text(db->state->version, out); }
  HRESULT CreateTableDef(const Variant&, const Variant&, const Variant&, const Variant&, DaoTableDef** out) override {
    *out = nullptr;
    return read_only("CreateTableDef");
  }
  HRESULT CreateQueryDef(const Variant&, const Variant& sql, DaoQueryDef** out) override {
    *out = nullptr;
    if (sql.vt != VT_BSTR) return fail(kDaoSyntax, "A query needs its text.");
    auto* q = new MQueryDef;
    q->db = db;
    q->sql = bstr_text(sql.bstrVal);
    *out = q;
    return kHrOk;
  }
  HRESULT OpenRecordset(BSTR name, const Variant& type, const Variant&, const Variant&, DaoRecordset** out) override {
    *out = nullptr;
    int64_t ty = dbOpenTable;
    variant_int(type, &ty);
    if (ty != dbOpenTable) return fail(kDaoBadArgument, "Only table-type recordsets open on a name.");
    if (HRESULT h = db->refresh()) return h;
    const std::string n = bstr_text(name);
    if (table_info(*db->state, n) == nullptr) return fail(3078, "No table of that name: " + n);
    auto* rs = new MRecordset;
    rs->db = db;
    rs->state = db->state;
    rs->table = n;
    *out = rs;
    return kHrOk;
  }
  HRESULT BeginTrans() override { return read_only("BeginTrans"); }
  HRESULT CommitTrans(int32_t) override { return read_only("CommitTrans"); }
  HRESULT Rollback() override { return read_only("Rollback"); }
  HRESULT Close() override {
    open = false;
    return kHrOk;
  }
};

struct MEngine : DaoEngine {
  HRESULT get_Errors(DaoErrors** out) override {
    *out = new MErrors;
    return kHrOk;
  }
  HRESULT OpenDatabase(BSTR name, const Variant&, const Variant&, const Variant& connect, DaoDatabase** out) override {
    *out = nullptr;
    const std::string path = bstr_text(name);
    std::string format;
    std::u16string stored;
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return fail(kDaoNotFound, "Could not find the database file " + path + ".");
    if (!mdb_dao_read_header(path, &format, &stored) || (format != "3.0" && format != "4.0"))
      return fail(kDaoBadFormat, "Unrecognized database format " + path + ".");
    const std::string c = connect.vt == VT_BSTR ? bstr_text(connect.bstrVal) : std::string();
    const std::string given = c.rfind(";pwd=", 0) == 0 ? c.substr(5) : std::string();
    std::u32string given32;
    cp_decode(cp_ansi_page(), given.data(), given.size(), given32);
    std::u16string given16(given32.begin(), given32.end());
    if (given16 != stored) return fail(kDaoBadPassword, "Not a valid password.");
    HRESULT h = kHrOk;
    auto state = open_state(path, format, &h);
    if (state == nullptr) return h;
    auto* d = new MDatabase;
    d->db = std::make_shared<Shared>();
    d->db->state = state;
    *out = d;
    return kHrOk;
  }
  HRESULT CreateDatabase(BSTR, BSTR, const Variant&, DaoDatabase** out) override {
    *out = nullptr;
    return read_only("CreateDatabase");
  }
};

struct MFactory : ClassFactory {
  HRESULT CreateInstance(const char* iid, ComObject** out) override {
    *out = nullptr;
    if (iid == nullptr || std::strcmp(iid, kDaoEngineIid) != 0) return static_cast<HRESULT>(0x80004002u);
    *out = new MEngine;
    return kHrOk;
  }
};

struct MBackend : ComBackend {
  HRESULT GetClassObject(const char* clsid, ClassFactory** out) override {
    *out = nullptr;
    if (std::strcmp(clsid, kDaoEngineClass36) != 0) return kHrClassNotRegistered;
    *out = new MFactory;
    return kHrOk;
  }
};
MBackend g_backend;

}  // namespace

ComBackend* mdb_dao_backend() { return &g_backend; }

bool mdb_dao_read_header(const std::string& path, std::string* format, std::u16string* password) {
  format->clear();
  password->clear();
  FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return false;
  uint8_t page[kPage] = {};
  const size_t n = std::fread(page, 1, sizeof page, f);
  std::fclose(f);
  if (n < 0x98) return true;
  const bool jet = std::memcmp(page + 4, "Standard Jet DB", 16) == 0;
  const bool ace = std::memcmp(page + 4, "Standard ACE DB", 16) == 0;
  const uint32_t version = le32(page + 0x14);
  if (ace || (jet && version >= 2)) {
    *format = "ACE";
    return true;
  }
  if (!jet || version > 1) return true;
  *format = version == 0 ? "3.0" : "4.0";
  static const uint8_t kKey[4] = {0xC7, 0xDA, 0x39, 0x6B};
  rc4(kKey, sizeof kKey, page + kMasked, version == 0 ? 126 : 128);
  if (version == 0) {
    // Jet 3: 20 single-byte characters, no date mask.
    for (size_t i = 0; i < 20 && page[0x42 + i] != 0; ++i) password->push_back(page[0x42 + i]);
    return true;
  }
  for (size_t i = 0; i + 1 < 40; i += 2) {
    const auto c = static_cast<char16_t>((page[0x42 + i] ^ page[0x72 + i % 8]) |
                                         ((page[0x42 + i + 1] ^ page[0x72 + (i + 1) % 8]) << 8));
    if (c == 0) break;
    password->push_back(c);
  }
  return true;
}
