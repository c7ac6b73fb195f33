// Stand-in of the linked-table cache: the overlay's row read.
#include "kernel/tables/standin/tablecache.h"

#include "kernel/tables/storage/tabtype_ops.h"

int16_t storage_overlay_read_row(StorageDesc* s, FieldDef* fields, int32_t n) {
  const TableCache* c = s->edit_overlay;
  if (c == nullptr || c->filling) return 0;
  if (c->held.x1 == 0 && c->held.y1 == 0 && c->held.x2 == 0 && c->held.y2 == 0) return 0;
  return tabtype_read_row(&s->edit_overlay->table, fields, n);
}
