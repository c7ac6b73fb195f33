// Stand-in of the map storage: registers the map file and nothing more.
#include "kernel/tables/standin/mapstore.h"

#include "kernel/runtime/file.h"

int16_t mapstore_open(MapStore* store, int16_t type, const char* path) {
  if (store == nullptr || type != 1) return 0;
  const int32_t h = file_register(path, 5);
  if (h <= 0) return 0;
  store->type = type;
  store->file = h;
  return 1;
}

int16_t mapstore_get_type(const MapStore* store) { return store != nullptr ? store->type : 0; }

const CoordXform* mapstore_get_xform(const MapStore* store) { return store != nullptr ? store->xform : nullptr; }

void mapstore_close(MapStore* store) {
  if (store == nullptr) return;
  if (store->file > 0) file_unregister(store->file);
  store->file = 0;
  store->type = 0;
  store->xform = nullptr;
}
