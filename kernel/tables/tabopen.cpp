// Opening a table from its definition file, the check of file times, the
// component files, and the base-table steps of the open: the refresh of a
// stale foreign definition and the open-table entry.
#include <sys/stat.h>

#include <cstring>
#include <string>

#include "kernel/runtime/err.h"
#include "kernel/runtime/file.h"
#include "kernel/runtime/kstr.h"
#include "kernel/runtime/mb.h"
#include "kernel/runtime/mem.h"
#include "kernel/runtime/path.h"
#include "kernel/tables/lang/lexer.h"
#include "kernel/tables/index/fieldbuild.h"
#include "kernel/tables/index/indexfile.h"
#include "kernel/tables/tabdef.h"
#include "kernel/tables/odbctype.h"
#include "kernel/tables/tabread.h"
#include "kernel/tables/tabtype.h"
#include "kernel/tables/tabwrite.h"

constexpr int16_t kErrCannotExamine = 923;
constexpr int16_t kErrRefused = 1933;

namespace {

std::string g_last_refresh;

// Whole seconds of a file's modification time; false when it cannot be
// examined.
bool mtime_of(const char* path, int64_t* seconds) {
  struct stat st;
  if (file_stat(path, &st) != 0) return false;
  *seconds = static_cast<int64_t>(st.st_mtim.tv_sec);
  return true;
}

std::string with_extension(const char* path, const char* ext) {
  char p[kPathSize];
  std::snprintf(p, sizeof p, "%s", path);
  path_set_extension(p, ext);
  return p;
}

}  // namespace

int16_t file_time_check(const char* def_path, const char* data_path, const TableDef* t) {
  const uint8_t type = t->storage.type;
  if (type == TABTYPE_NATIVE || type == TABTYPE_RASTER || type == TABTYPE_ACCESS) return 0;
  int64_t data_time = 0, def_time = 0;
  if (!mtime_of(data_path, &data_time) || !mtime_of(def_path, &def_time)) {
    err_push(4, kErrTimeUnknown, nullptr, nullptr);
    return 1;
  }
  if (def_time < data_time) {
    err_push(4, kErrDataNewer, nullptr, nullptr);
    return 1;
  }
  return 0;
}

int32_t tabdef_component_files(const TableDef* t, ComponentFile* out) {
  int32_t n = 0;
  auto add = [&](int32_t handle, int32_t ext) {
    file_get_path(handle, out[n].path);
    out[n].ext_id = ext;
    ++n;
  };
  add(t->def_file, 1);
  const uint8_t type = t->storage.type;
  if (type >= TABTYPE_DBF && type <= TABTYPE_NATIVE && t->storage.data_file > 0)
    add(t->storage.data_file, tabtype_extension(type));
  if (t->index != nullptr && t->index->file > 0) add(t->index->file, 7);
  if (mapstore_file_handle(&t->map) > 0) add(mapstore_file_handle(&t->map), 5);
  return n;
}

int16_t tabtypes_data_is_newer(const char* data_path, const char* def_path, int16_t* newer,
                               const void* object_record) {
  int64_t data_time = 0, def_time = 0;
  if (!mtime_of(data_path, &data_time)) {
    err_push(4, kErrCannotExamine, data_path, nullptr);
    return 0;
  }
  if (!mtime_of(def_path, &def_time)) {
    err_push(4, kErrCannotExamine, def_path, nullptr);
    return 0;
  }
  *newer = def_time < data_time ? 1 : 0;
  if (object_record == nullptr || *newer) return 1;
  for (const char* ext : {".shp", ".shx"}) {
    const std::string p = with_extension(data_path, ext);
    int64_t t = 0;
    if (!mtime_of(p.c_str(), &t)) {
      err_push(4, kErrCannotExamine, p.c_str(), nullptr);
      return 0;
    }
    if (def_time < t) *newer = 1;
  }
  return 1;
}

int16_t tabtypes_reregister_if_stale(const char* data_path, const char* def_path, TableDef* t,
                                     const void* object_record, const void* fme_record, int16_t) {
  switch (t->storage.type) {
    case TABTYPE_NATIVE:
    case TABTYPE_XLS:
    case TABTYPE_RASTER:
    case TABTYPE_ACCESS:
    case TABTYPE_ODBC:
      return 1;
    case TABTYPE_WKS:
      err_push(4, kErrNotOpenable, nullptr, nullptr);
      return 0;
    default:
      break;
  }
  int16_t newer = 0;
  if (!tabtypes_data_is_newer(data_path, def_path, &newer, object_record)) return 0;
  if (!newer) return 1;
  file_unregister(t->def_file);
  t->def_file = 0;
  const bool had_index = t->index != nullptr;
  if (had_index) {
    t->index->delete_at_close = 1;
    index_close(t->index);
    t->index = nullptr;
  }
  std::string stmt = kernel_string(6248);
  stmt.append(" ").append(tabfile_quoted(data_path)).append(" ");
  tabfile_write_type_clause(&stmt, tabtype_extension(t->storage.type), &t->storage.options);
  stmt += tabfile_object_clauses(static_cast<const ObjectSystemRecord*>(object_record));
  (void)fme_record;
  stmt.append(" ").append(kernel_string(6035)).append(" ").append(tabfile_quoted(def_path));
  g_last_refresh = stmt;
  FieldDef* old_fields = t->fields;
  const int32_t old_count = t->field_count;
  t->fields = nullptr;
  t->field_count = 0;
  int16_t result = stmt_exec_command(stmt.c_str(), 0);
  t->def_file = file_register(def_path, 1);
  if (t->def_file <= 0) t->def_file = 0, result = 0;
  if (result) {
    IndexFile* none = nullptr;
    t->fields = tabfile_read_fields(t->def_file, &t->field_count, none);
    if (t->fields == nullptr) {
      fieldlist_free(old_fields, old_count);
      return 0;
    }
  }
  if (result && had_index) {
    if (!tabtype_open(data_path, 0, &t->storage, t->storage.type, &t->field_count, &t->fields)) {
      result = 0;
    } else {
      for (int32_t i = 0; result && i < old_count; ++i) {
        if (old_fields[i].index == nullptr) continue;
        for (int32_t j = 0; j < t->field_count; ++j) {
          if (mb_str_equal_nocase(t->fields[j].name, old_fields[i].name)) {
            result = index_get_for_field(t, j, static_cast<int16_t>(old_fields[i].index->unique), nullptr,
                                         nullptr);
            break;
          }
        }
      }
      tabtype_close(&t->storage, nullptr);
    }
  }
  fieldlist_free(old_fields, old_count);
  return result;
}

const char* tabtypes_last_refresh_statement() { return g_last_refresh.c_str(); }

int16_t tabtypes_build_open_entry(int16_t kind, TableDef* t, int16_t shown, int16_t a, int16_t b, int16_t refuse,
                                  int16_t c, int16_t d, int16_t e) {
  if (kind == 5 || refuse != 0) {
    err_push(4, kErrRefused, nullptr, nullptr);
    return 0;
  }
  if (kind != 0) {
    err_push(4, kErrNotOpenable, nullptr, nullptr);
    return 0;
  }
  auto* entry = new OpenTable{};
  entry->temporary = 0;
  entry->shown = static_cast<uint8_t>(shown);
  entry->value_a = a;
  entry->value_b = b;
  const int16_t settings[6] = {1, 0, 1, 0, c, d};
  std::memcpy(entry->settings, settings, sizeof settings);
  entry->context_value = static_cast<int32_t>(e);
  std::memcpy(entry->name, t->name, sizeof entry->name);
  entry->marker = 2;
  entry->kind = 1;
  entry->spare = 0;
  entry->bases.push_back(t);
  t->entry = entry;
  const uint8_t type = t->storage.type;
  if (t->read_only != 0) {
    entry->read_only = t->read_only;
  } else if (type != TABTYPE_DBF && type != TABTYPE_NATIVE && type != TABTYPE_ACCESS && type != TABTYPE_ODBC) {
    t->read_only = 1;
    entry->read_only = 1;
  }
  entry->present = 1;
  entry->columns.resize(static_cast<size_t>(t->field_count));
  bool ok = true;
  for (int32_t i = 0; ok && i < t->field_count; ++i) {
    ok = column_from_field(&entry->columns[static_cast<size_t>(i)], entry, t, &t->fields[i], i) != 0;
  }
  if (mapstore_get_type(&t->map) != 0) entry->object_table = 1;
  if (!ok) {
    open_table_free(entry);
    t->entry = nullptr;
    return 0;
  }
  return 1;
}

void tabdef_open_index(TableDef* t, const char* def_path) {
  char ind[kPathSize];
  path_with_extension(ind, def_path, 7);
  if (!file_exists(ind, 7)) return;
  IndexFile* ix = nullptr;
  if (index_file_open(ind, 7, &ix)) t->index = ix;
}

TableDef* table_open_file(int32_t def_file) {
  TableDef* t = tabdef_new();
  if (t == nullptr) return nullptr;
  TabReadContext ctx;
  ctx.definition_allowed = 1;
  ctx.table = t;
  ctx.file = def_file;
  char def_path[kPathSize];
  file_get_path(def_file, def_path);
  path_to_table_name(def_path, t->name);
  tabdef_open_index(t, def_path);
  auto fail = [&]() -> TableDef* {
    // The caller unregisters the definition file it gave; a handle of a
    // refreshed definition goes with the table.
    if (t->def_file == def_file) t->def_file = 0;
    tabdef_free(t);
    return nullptr;
  };
  if (!tabfile_read(&ctx)) return fail();
  if (ctx.phase == 2 && tabfile_collect()) {
    t->def_file = def_file;
    return t;
  }
  if (ctx.phase != 1) return fail();
  if (tabfile_collect()) {
    err_push(4, kErrCollectOnly, nullptr, nullptr);
    return fail();
  }
  t->def_file = def_file;
  t->metadata = ctx.metadata != nullptr ? ctx.metadata : metadata_new();
  ctx.metadata = nullptr;
  if (ctx.not_read_only) t->read_only = 0;
  if (t->storage.type == TABTYPE_ODBC && !odbctype_attach_link(t)) return fail();
  char data[kPathSize];
  if (ctx.wfs_record != nullptr) {
    if (ctx.has_data_file) std::snprintf(ctx.wfs_record->name, sizeof ctx.wfs_record->name, "%s", ctx.data_file.c_str());
    t->read_only = 3;
    path_with_extension(data, def_path, tabtype_extension(t->storage.type));
  } else if (ctx.has_data_file) {
    // A data path that would not fit is refused, never cut.
    bool fits = ctx.data_file.size() < sizeof data;
    if (fits) {
      std::memcpy(data, ctx.data_file.c_str(), ctx.data_file.size() + 1);
      fits = path_make_absolute(data, def_file) != 0;
    }
    if (!fits) {
      err_push(4, kErrPathNotFound, ctx.data_file.c_str(), nullptr);
      return fail();
    }
  } else {
    path_with_extension(data, def_path, tabtype_extension(t->storage.type));
  }
  const int16_t refreshed = tabtypes_reregister_if_stale(data, def_path, t, nullptr, nullptr, 0);
  if (t->def_file <= 0) return fail();
  if (auto* access = std::get_if<AccessOptions>(&t->storage.options)) access->row_map = t->def_file;
  if (file_time_check(def_path, data, t)) return fail();
  if (!refreshed || !file_exists(data, 0) ||
      !tabtype_open(data, 0, &t->storage, t->storage.type, &t->field_count, &t->fields)) {
    err_push(4, kErrDataMissing, nullptr, nullptr);
    return fail();
  }
  char map[kPathSize];
  path_with_extension(map, def_path, 5);
  if (file_exists(map, 5) && !mapstore_attach(&t->map, map)) return fail();
  if (!tabtypes_build_open_entry(0, t, 1, 0, 0, 0, 0, 0, static_cast<int16_t>(ctx.entry_value))) return fail();
  return t;
}
