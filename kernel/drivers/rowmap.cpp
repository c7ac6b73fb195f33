// The row map of an Access table (see rowmap.h): its file operations, the
// build from the whole table and the bringing up to date with records
// added since.
#include "kernel/drivers/rowmap.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "kernel/drivers/access.h"
#include "kernel/runtime/err.h"
#include "kernel/runtime/file.h"
#include "kernel/runtime/kstr.h"
#include "kernel/tables/tabdef.h"

namespace {

constexpr int32_t kZeroPiece = 256;

// The byte offset of entry n, or -1 beyond the file layer's 32-bit offsets.
int64_t entry_offset(int32_t n) {
  const int64_t off = (static_cast<int64_t>(n) - 1) * 4;
  return off + 4 > INT32_MAX ? -1 : off;
}

void put_le32(unsigned char* b, int32_t v) {
  const auto u = static_cast<uint32_t>(v);
  b[0] = static_cast<unsigned char>(u & 0xFF);
  b[1] = static_cast<unsigned char>((u >> 8) & 0xFF);
  b[2] = static_cast<unsigned char>((u >> 16) & 0xFF);
  b[3] = static_cast<unsigned char>((u >> 24) & 0xFF);
}

int32_t get_le32(const unsigned char* b) {
  return static_cast<int32_t>(static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) |
                              (static_cast<uint32_t>(b[2]) << 16) | (static_cast<uint32_t>(b[3]) << 24));
}

// A 32-bit key of a VARIANT (VT_I4 only).
bool key_of(const Variant& v, int32_t* key) {
  if (v.vt != VT_I4) return false;
  *key = v.lVal;
  return true;
}

}  // namespace

int16_t rowmap_create(DaoTable* st, int32_t base, const char* path, int32_t ext_id) {
  if (ext_id == -1) ext_id = kRowMapExt;
  const int32_t h = file_register_companion(base, path, ext_id);
  if (h <= 0) return 0;
  // Created empty: a map left by an earlier table of that name is cut.
  if (file_open_binary(h, 3, nullptr) < 0) {
    file_unregister(h);
    return 0;
  }
  const bool ok = file_set_size(h, 0) == 0;
  file_release(h);
  if (!ok) {
    file_unregister(h);
    return 0;
  }
  st->rowmap_file = h;
  return 1;
}

int16_t rowmap_open_existing(DaoTable* st, int32_t base) {
  const int32_t h = file_register_companion(base, nullptr, kRowMapExt);
  if (h <= 0) return 0;
  if (file_open_binary(h, 1, nullptr) < 0) {
    file_unregister(h);
    return 0;
  }
  file_release(h);
  st->rowmap_file = h;
  return 1;
}

int16_t rowmap_open(DaoTable* st, int16_t mode) {
  if (st->rowmap_file <= 0) return 0;
  return file_open_binary(st->rowmap_file, mode, nullptr) < 0 ? 0 : 1;
}

void rowmap_close(DaoTable* st) {
  if (st->rowmap_file <= 0) return;
  file_unregister(st->rowmap_file);
  st->rowmap_file = 0;
}

int16_t rowmap_delete(DaoTable* st) {
  if (st->rowmap_file <= 0) return 0;
  const int16_t ok = file_delete(st->rowmap_file);
  file_unregister(st->rowmap_file);
  st->rowmap_file = 0;
  return ok;
}

int16_t rowmap_rename(DaoTable* st, const char* new_path, int32_t ext_id, char* old_path) {
  if (st->rowmap_file <= 0) return 0;
  if (old_path != nullptr) file_get_path(st->rowmap_file, old_path);
  char target[kPathSize];
  path_with_extension(target, new_path, ext_id == -1 ? kRowMapExt : ext_id);
  return file_rename(&st->rowmap_file, target, ext_id == -1 ? kRowMapExt : ext_id);
}

int16_t rowmap_copy(DaoTable* st, const char* path, int32_t ext_id) {
  if (st->rowmap_file <= 0) return 0;
  if (ext_id == -1) ext_id = kRowMapExt;
  char target[kPathSize];
  path_with_extension(target, path, ext_id);
  const int32_t h = file_register_nocheck(target, ext_id);
  if (h <= 0) return 0;
  const int16_t ok = file_copy(st->rowmap_file, h, 0);
  file_unregister(h);
  return ok;
}

int16_t rowmap_read(int32_t n, int32_t* key, int32_t file) {
  if (n <= 0) return 0;
  const int64_t off = entry_offset(n);
  if (off < 0 || file_seek(file, static_cast<int32_t>(off), 0) < 0) return 0;
  unsigned char b[4];
  if (file_read(file, b, 4) != 4) return 0;
  *key = get_le32(b);
  return 1;
}

int16_t rowmap_write(int32_t n, int32_t key, int32_t file) {
  if (n <= 0) return 0;
  const int64_t off = entry_offset(n);
  const int32_t size = file_get_size(file);
  if (off < 0 || size < 0) return 0;
  if (size < off) {
    if (file_seek(file, 0, 2) < 0) return 0;
    static const unsigned char kZeros[kZeroPiece] = {};
    for (int64_t left = off - size; left > 0;) {
      const auto piece = static_cast<int32_t>(std::min<int64_t>(left, kZeroPiece));
      if (file_write(file, kZeros, piece) != piece) return 0;
      left -= piece;
    }
  }
  unsigned char b[4];
  put_le32(b, key);
  if (file_seek(file, static_cast<int32_t>(off), 0) < 0) return 0;
  return file_write(file, b, 4) == 4 ? 1 : 0;
}

int16_t rowmap_flush(DaoTable* st) {
  const int32_t h = st->rowmap_file;
  if (h <= 0) return 0;
  const int32_t mode = file_get_mode(h);
  if ((mode == 2 || mode == 3) && st->row_count > 0) {
    int32_t key = 0;
    if (!rowmap_read(st->row_count, &key, h)) rowmap_write(st->row_count, 0, h);
  }
  return file_release(h) == 0 ? 1 : 0;
}

int16_t rowmap_build(DaoTable* st, int32_t* row_count) {
  if (row_count == nullptr) return 0;
  *row_count = 0;
  if (!rowmap_open(st, 2)) return 0;
  bool ok = true;
  BstrHolder index(st->index_name);
  if (hr_failed(st->recordset->put_Index(index.b))) {
    dao_report_errors();
    ok = false;
  }
  if (ok && !hr_failed(st->recordset->MoveFirst())) {
    ComRef<DaoFields> fields;
    ComRef<DaoField> key_field;
    ok = !hr_failed(st->recordset->get_Fields(fields.out())) &&
         !hr_failed(fields->get_Item(var_i2(st->key_ordinal), key_field.out()));
    int16_t eof = 0;
    while (ok && !hr_failed(st->recordset->get_EOF(&eof)) && !eof) {
      VariantHolder v;
      int32_t key = 0;
      ok = !hr_failed(key_field->get_Value(v.out()));
      // A key that is no 32-bit integer would leave the row unreachable.
      ok = ok && key_of(v.v, &key);
      if (!ok) break;
      ++*row_count;
      st->row_count = *row_count;
      if (!rowmap_write(*row_count, key, st->rowmap_file)) {
        ok = false;
        break;
      }
      st->highest_key = std::max(st->highest_key, key);
      ok = !hr_failed(st->recordset->MoveNext());
    }
    if (!ok && err_count() == 0) dao_report_errors();
  }
  if (!rowmap_flush(st)) ok = false;
  return ok ? 1 : 0;
}

int16_t rowmap_sync(StorageDesc* s) {
  DaoTable* st = dao_state(s);
  AccessOptions* o = dao_options(s);
  if (st == nullptr || o == nullptr || !rowmap_open(st, 1)) return 0;
  const int32_t h = st->rowmap_file;
  const int32_t size = file_get_size(h);
  bool ok = size >= 0;
  if (ok) st->row_count = size / 4;
  // Backwards from the last entry to the first nonzero one; an empty map
  // reads nothing.
  for (int32_t n = st->row_count; ok && n >= 1; --n) {
    int32_t key = 0;
    ok = rowmap_read(n, &key, h) != 0;
    if (ok && key != 0) {
      if (key > st->highest_key) st->highest_key = key;
      break;
    }
  }
  file_release(h);
  ok = ok && rowmap_append_new_rows(st, o->table.c_str());
  if (ok) s->row_count = st->row_count;
  return ok ? 1 : 0;
}

int16_t rowmap_append_new_rows(DaoTable* st, const char* table) {
  char name[kPathSize];
  std::snprintf(name, sizeof name, "%s", table != nullptr ? table : "");
  name_strip_tilde(name);
  char sql[3 * 80 + kPathSize + 32];
  std::snprintf(sql, sizeof sql, kernel_string(7118), st->key_name, name, st->key_name,
                static_cast<long>(st->highest_key));
  ComRef<DaoQueryDef> query;
  ComRef<DaoRecordset> rs;
  VariantHolder empty(var_bstr("")), text(var_bstr(sql));
  if (st->database == nullptr || hr_failed(st->database->CreateQueryDef(empty.v, text.v, query.out())) ||
      hr_failed(query->OpenRecordset(var_i4(dbOpenForwardOnly), var_i4(dbSeeChanges), var_i4(dbOptimistic),
                                     rs.out()))) {
    dao_report_errors();
    return 0;
  }
  bool ok = true;
  int16_t eof = 0;
  if (hr_failed(rs->get_EOF(&eof))) ok = false;
  if (ok && !eof) {
    // The new keys go in ascending: an engine that hands them out in
    // another order must not make a later sync take a key twice.
    std::vector<int32_t> keys;
    ComRef<DaoFields> fields;
    ComRef<DaoField> f;
    ok = !hr_failed(rs->get_Fields(fields.out())) && !hr_failed(fields->get_Item(var_i2(0), f.out()));
    while (ok && !hr_failed(rs->get_EOF(&eof)) && !eof) {
      VariantHolder v;
      int32_t key = 0;
      ok = !hr_failed(f->get_Value(v.out()));
      if (ok && key_of(v.v, &key) && key > st->highest_key) keys.push_back(key);
      ok = ok && !hr_failed(rs->MoveNext());
    }
    if (!ok) dao_report_errors();
    std::sort(keys.begin(), keys.end());
    keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
    if (ok && !keys.empty()) {
      if (!rowmap_open(st, 2)) {
        ok = false;
      } else {
        for (int32_t key : keys) {
          if (!rowmap_write(st->row_count + 1, key, st->rowmap_file)) {
            ok = false;
            break;
          }
          ++st->row_count;
          st->highest_key = key;
        }
        if (!rowmap_flush(st)) ok = false;
      }
    }
  } else if (!ok) {
    dao_report_errors();
  }
  rs->Close();
  return ok ? 1 : 0;
}
