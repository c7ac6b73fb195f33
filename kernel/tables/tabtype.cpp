// Data file extensions of the table types, and the registration of a
// foreign data file under a new definition.
#include "kernel/tables/tabtype.h"

#include <cstring>

#include "kernel/runtime/err.h"
#include "kernel/runtime/file.h"
#include "kernel/runtime/path.h"
#include "kernel/tables/tabread.h"
#include "kernel/tables/tabwrite.h"

int32_t tabtype_extension(int32_t type) {
  switch (type) {
    case TABTYPE_DBF: return 18;
    case TABTYPE_WKS: return 20;
    case TABTYPE_ASCII: return 4;
    case TABTYPE_XLS: return 21;
    case TABTYPE_NATIVE: return 17;
    case TABTYPE_RASTER: return 44;
    case TABTYPE_ACCESS: return 63;
    case TABTYPE_QUERY: return 67;
    case TABTYPE_CSV: return 85;
    default: return 0;
  }
}

int32_t tabtype_from_extension(int32_t ext_id) {
  switch (ext_id) {
    case 1: case 2: case 17: return TABTYPE_NATIVE;
    case 4: return TABTYPE_ASCII;
    case 18: case 76: return TABTYPE_DBF;
    case 20: return TABTYPE_WKS;
    case 21: return TABTYPE_XLS;
    case 44: case 69: return TABTYPE_RASTER;
    case 63: return TABTYPE_ACCESS;
    case 67: return TABTYPE_QUERY;
    case 85: return TABTYPE_CSV;
    default: return 0;
  }
}

namespace {

void delete_companion(const char* def_path, int32_t ext_id) {
  char p[kPathSize];
  path_with_extension(p, def_path, ext_id);
  if (file_exists(p, ext_id)) file_remove_path(p);
}

}  // namespace

int16_t tabdef_register_file(const char* def_path, const char* data_path, const StorageDesc* tmpl,
                             const void* object_record, const void* wfs_record, const void* fme_record) {
  TableDef* t = tabdef_new();
  if (t == nullptr) return 0;
  path_to_table_name(def_path, t->name);
  t->def_file = file_register(def_path, 1);
  if (t->def_file <= 0) {
    t->def_file = 0;
    tabdef_free(t);
    return 0;
  }
  t->storage.type = tmpl->type;
  t->storage.query = tmpl->query;
  typeopts_copy_settings(&t->storage.options, tmpl->options);
  t->version = t->read_entire = t->edit = tmpl->type == TABTYPE_ACCESS ? 410 : 300;
  if (auto* access = std::get_if<AccessOptions>(&t->storage.options)) access->row_map = t->def_file;
  char data[kPathSize];
  std::snprintf(data, sizeof data, "%s", data_path);
  const auto* native = std::get_if<NativeOptions>(&t->storage.options);
  const bool shapefile = t->storage.type == TABTYPE_DBF && native != nullptr && native->shapefile;
  if (shapefile) {
    path_set_extension(data, ".dbf");
    delete_companion(def_path, 5);
    delete_companion(def_path, 6);
  }
  if (wfs_record != nullptr) {
    t->wfs = 1;
    t->version = t->read_entire = t->edit = 780;
    delete_companion(def_path, 5);
    delete_companion(def_path, 6);
    delete_companion(def_path, 17);
  }
  int16_t ok = tabtype_read_fields(data, t);
  if (!ok) {
    if (err_first_code() != 1825) err_push(4, kErrRegisterDescribe, def_path, nullptr);
  } else {
    ok = tabfile_write(t, static_cast<const ObjectSystemRecord*>(object_record),
                       static_cast<const WfsRecord*>(wfs_record), static_cast<const FmeRecord*>(fme_record));
    if (!ok) err_push(4, kErrRegisterWrite, def_path, nullptr);
    if (t->storage.type == TABTYPE_FME && t->storage.data_file > 0) {
      file_unregister(t->storage.data_file);
      t->storage.data_file = 0;
    }
    tabtype_close(&t->storage, nullptr);
  }
  tabdef_free(t);
  return ok;
}
