// Table API entries for point tables: a compressed-points table (slot kind
// 2), or a native table in longitude/latitude whose first column keys one
// point object per row (slot kind 3). Kind 3 slots reach the row entries
// by standing as plain tables for the length of each call.
#include <strings.h>

#include <algorithm>
#include <cstring>

#include "kernel/runtime/file.h"
#include "kernel/tables/api/tabapi_kernel.h"
#include "kernel/tables/lang/metadata.h"

namespace {

bool fits_path(const char* path) {
  if (path == nullptr) return false;
  const size_t n = std::strlen(path);
  return n > 0 && n < static_cast<size_t>(kApiPathSize);
}

// Runs fn with a kind 3 slot standing as a plain table, then marks it a
// point table again when it is still open.
template <class Fn>
int16_t as_table(int32_t slot, Fn&& fn) {
  ApiSlot* s = api_slot(slot);
  s->kind = 1;
  const int16_t ok = fn();
  s = api_slot(slot);
  if (s->key != 0) s->kind = 3;
  return ok;
}

// The slot's compressed-points table or a kind 3 slot (683 otherwise),
// in the mode asked (0 any).
int16_t point_slot_check(int32_t slot, int32_t mode = 0) {
  if (!api_slot_check(slot, 0, mode)) return 0;
  const int32_t kind = api_slot(slot)->kind;
  if (kind == 2 || kind == 3) return 1;
  err_push(4, kApiErrSlotKind, nullptr, nullptr);
  return 0;
}

CPointsFile* points_of(int32_t slot) { return static_cast<CPointsFile*>(api_slot(slot)->point_store); }

int32_t register_points(CPointsFile* f, int32_t mode) {
  const int32_t slot = table_register(f->tab_file, nullptr, f, mode, 2, 0);
  if (slot == 0) cpoints_table_free(f);
  return slot;
}

// The point object of a row read into record (302 when it is none).
int16_t point_of(const ObjRecord& record, DPoint* point) {
  if (record.code != 201 && record.code != 211 && record.code != 212) {
    err_push(4, kApiErrNotPoint, nullptr, nullptr);
    return 0;
  }
  if (point != nullptr) *point = record.u.point.at;
  return 1;
}

// Reads row of a kind 3 slot and hands out its point.
int16_t read_row_point(int32_t slot, int32_t row, char* text, DPoint* point) {
  char line[kApiRowTextSize];
  ObjRecord record{};
  int16_t ok = as_table(slot, [&]() { return TabApiReadRowText(slot, row, text != nullptr ? text : line, &record); });
  if (ok) ok = point_of(record, point);
  return ok;
}

// The row text of a key for the first column of a kind 3 table.
bool key_line(const TableDef* t, const char* key, char* out) {
  const bool number = t->fields[0].value.type == COLTYPE_INTEGER || t->fields[0].value.type == COLTYPE_SMALLINT;
  const size_t n = std::strlen(key);
  if (n + 3 > static_cast<size_t>(kApiRowTextSize)) return false;
  if (number) {
    std::memcpy(out, key, n + 1);
    return true;
  }
  char* p = out;
  *p++ = '"';
  for (const char* k = key; *k != '\0'; ++k) {
    if (*k == '"' || *k == '\t' || *k == '\n') return false;
    *p++ = *k;
  }
  *p++ = '"';
  *p = '\0';
  return true;
}

}  // namespace

int32_t TabApiOpenAnyTable(const char* path, int32_t mode) {
  int32_t result = 0;
  tabapi_entry([&]() -> int16_t {
    if (!fits_path(path)) {
      err_push(4, kApiErrBadSlot, nullptr, nullptr);
      return 0;
    }
    if (file_find(path, 1) > 0) {
      err_push(4, kApiErrOpenTwice, nullptr, nullptr);
      return 0;
    }
    // Only the metadata block of the definition file says which kind it is.
    bool compressed = false;
    const int32_t def = file_register(path, 1);
    if (def <= 0) return 0;
    if (file_open_text(def, 1, nullptr) != 0) {
      MetadataNode* tree = metadata_new();
      if (tree != nullptr) {
        metadata_read(tree, def, nullptr, 1);
        char value[16] = {};
        compressed = metadata_get(tree, "\\IsCompressedPoints", value, sizeof value) > 0 &&
                     strcasecmp(value, "TRUE") == 0;
        metadata_free(tree);
      }
      file_release_text(def);
    }
    file_unregister(def);
    err_clear();
    if (compressed) {
      CPointsFile* f = nullptr;
      if (!cpoints_open(path, static_cast<int16_t>(mode), &f)) return 0;
      result = register_points(f, mode);
      return result != 0 ? 1 : 0;
    }
    result = TabApiOpenTable(path, mode, nullptr);
    if (result == 0) return 0;
    api_slot(result)->kind = 3;
    return 1;
  });
  return result;
}

int32_t TabApiCreatePointTable(const char* path, const CPointsDesc* key) {
  int32_t result = 0;
  tabapi_entry([&]() -> int16_t {
    if (!fits_path(path) || key == nullptr) {
      err_push(4, kApiErrBadSlot, nullptr, nullptr);
      return 0;
    }
    const char* name = key->key_name;
    while (*name == ' ') ++name;
    if (*name == '\0') {
      if (file_find(path, 1) > 0) {
        err_push(4, kApiErrOpenTwice, nullptr, nullptr);
        return 0;
      }
      CPointsFile* f = nullptr;
      if (!cpoints_create(path, key, &f)) return 0;
      result = register_points(f, 2);
      return result != 0 ? 1 : 0;
    }
    // A keyed native table: an integer key without a width, else a text of
    // the key width (the prefix width when no key width is given).
    const int32_t width = key->key_width > 0 ? key->key_width : key->prefix_size;
    if (width > 254) {
      err_push(4, kApiErrBadSlot, nullptr, nullptr);
      return 0;
    }
    char column_name[sizeof key->key_name + 1] = {};
    std::memcpy(column_name, key->key_name, sizeof key->key_name);
    const ColumnInfo column = width > 0 ? tabapi_column(column_name, COLTYPE_CHAR, static_cast<uint8_t>(width), 0)
                                        : tabapi_column(column_name, COLTYPE_INTEGER, 4, 0);
    CoordSysInfo lonlat{};
    if (!TabApiCoordSysFromText("CoordSys Earth Projection 1, 104", &lonlat)) return 0;
    const int32_t slot = TabApiCreateTableFromColumns(path, 2, &column, 1, &lonlat);
    if (slot == 0) return 0;
    if (!TabApiBuildFieldIndex(slot, 1)) {
      const int16_t code = static_cast<int16_t>(err_first_code());
      TabApiCloseTable(slot, 1);
      err_clear();
      if (code != 0) err_push(4, code, nullptr, nullptr);
      return 0;
    }
    api_slot(slot)->kind = 3;
    result = slot;
    return 1;
  });
  return result;
}

int16_t TabApiClosePointTable(int32_t slot) {
  return tabapi_entry([&]() -> int16_t {
    if (!point_slot_check(slot)) return 0;
    ApiSlot* s = api_slot(slot);
    if (s->kind == 3) {
      s->kind = 1;
      return TabApiCloseTable(slot, 1);
    }
    cpoints_table_free(static_cast<CPointsFile*>(s->point_store));
    *s = ApiSlot{};
    return 1;
  });
}

int16_t TabApiGetPointTableKey(int32_t slot, CPointsDesc* out) {
  return tabapi_entry([&]() -> int16_t {
    if (!point_slot_check(slot) || out == nullptr) return 0;
    if (api_slot(slot)->kind == 2) return cpoints_get_header(points_of(slot), out);
    const TableDef* t = api_slot(slot)->table;
    if (t->field_count < 1) return 0;
    const FieldDef& f = t->fields[0];
    const bool number = f.value.type == COLTYPE_INTEGER || f.value.type == COLTYPE_SMALLINT;
    *out = CPointsDesc{};
    out->origin_x = out->origin_y = 0;
    out->scale_x = out->scale_y = 1.0;
    out->cell_size = 4;
    out->prefix_size = static_cast<int16_t>(number ? 0 : f.width);
    out->highest = number ? 0x7fffffff : 0;
    std::memcpy(out->key_name, f.name, std::min(sizeof out->key_name - 1, sizeof f.name));
    out->key_name[sizeof out->key_name - 1] = '\0';
    return 1;
  });
}

int16_t TabApiWritePoint(int32_t slot, const char* key, const DPoint* point) {
  return tabapi_entry([&]() -> int16_t {
    if (!point_slot_check(slot, 2)) return 0;
    if (key == nullptr || point == nullptr) {
      err_push(4, kApiErrBadSlot, nullptr, nullptr);
      return 0;
    }
    if (api_slot(slot)->kind == 2) {
      const CPointsPoint p{point->x, point->y};
      return cpoints_write_point(points_of(slot), key, &p);
    }
    char line[kApiRowTextSize];
    if (!key_line(api_slot(slot)->table, key, line)) {
      err_push(4, kApiErrBadSlot, nullptr, nullptr);
      return 0;
    }
    ObjRecord record{};
    record.code = 201;
    record.u.point.at = *point;
    record.u.point.symbol.vector.shape = 33;
    record.u.point.symbol.vector.colour = 0;
    record.u.point.symbol.vector.size = 12;
    return as_table(slot, [&]() -> int16_t {
      char search[kApiRowTextSize];
      std::memcpy(search, key, std::strlen(key) + 1);
      int32_t row = 0;
      const int16_t found = TabApiFindRow(slot, 1, search, 1, &row);
      if (found == 0) return 0;
      if (found == 1) return TabApiUpdateRow(slot, row, line, &record);
      return TabApiInsertRow(slot, line, &record, &row);
    });
  });
}

int16_t TabApiGetPointCount(int32_t slot, int32_t* out) {
  return tabapi_entry([&]() -> int16_t {
    if (!point_slot_check(slot)) return 0;
    int32_t n = 0;
    if (api_slot(slot)->kind == 2) {
      if (!cpoints_count(points_of(slot), &n)) return 0;
    } else {
      n = api_slot(slot)->table->storage.row_count;
    }
    if (out != nullptr) *out = n;
    return 1;
  });
}

int16_t TabApiFindPoint(int32_t slot, const char* key, DPoint* point) {
  return tabapi_entry([&]() -> int16_t {
    if (!point_slot_check(slot)) return 0;
    if (key == nullptr) {
      err_push(4, kApiErrBadSlot, nullptr, nullptr);
      return 0;
    }
    if (api_slot(slot)->kind == 2) {
      CPointsPoint p{};
      if (!cpoints_read_point(points_of(slot), key, &p)) {
        if (err_first_code() == 0) err_push(4, kApiErrPointNotFound, key, nullptr);
        return 0;
      }
      if (point != nullptr) *point = DPoint{p.x, p.y};
      return 1;
    }
    const size_t n = std::strlen(key);
    if (n >= static_cast<size_t>(kApiRowTextSize)) {
      err_push(4, kApiErrBadSlot, nullptr, nullptr);
      return 0;
    }
    char search[kApiRowTextSize];
    std::memcpy(search, key, n + 1);
    int32_t row = 0;
    const int16_t found = as_table(slot, [&]() { return TabApiFindRow(slot, 1, search, 1, &row); });
    if (found == 0) return 0;  // no index on the key, say
    if (found != 1) {
      err_clear();
      err_push(4, kApiErrPointNotFound, key, nullptr);
      return 0;
    }
    if (!read_row_point(slot, row, nullptr, point)) {
      if (err_first_code() != kApiErrNotPoint) {
        err_clear();
        err_push(4, kApiErrPointNotFound, key, nullptr);
      }
      return 0;
    }
    return 1;
  });
}

int16_t TabApiReadPoint(int32_t slot, int32_t row, char* text, DPoint* point) {
  return tabapi_entry([&]() -> int16_t {
    if (!point_slot_check(slot)) return 0;
    if (api_slot(slot)->kind == 2) {
      char number[16];
      CPointsPoint p{};
      if (!cpoints_read_point_by_number(points_of(slot), row, text != nullptr ? text : number, &p)) return 0;
      if (point != nullptr) *point = DPoint{p.x, p.y};
      return 1;
    }
    return read_row_point(slot, row, text, point);
  });
}
