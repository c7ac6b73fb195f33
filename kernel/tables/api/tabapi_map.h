// What the table API asks of a table's map storage and index file: access
// brackets, the slot's object cursor, object fetch and insert, class counts
// and key searches. One place, so that the entries read the same whichever
// storage is behind them.
#pragma once
#include <cstdint>

#include "kernel/tables/api/tabapi_kernel.h"

// Access brackets of the map storage (a table without one succeeds).
int16_t apimap_begin(TableDef* table, int32_t mode);
void apimap_end(TableDef* table);
// Whether the table keeps its objects in a map file.
int16_t apimap_is_file(const TableDef* table);
const CoordXform* apimap_xform(const TableDef* table);
// The slot's own object cursor.
int16_t apimap_cursor_open(ApiSlot* slot);
void apimap_cursor_close(ApiSlot* slot);
// The row's object into obj (lent from the cursor when lend is set); an
// empty object (type 0) when the row has none or the fetch fails.
int16_t apimap_fetch(ApiSlot* slot, int32_t row, int16_t lend, MapObject* obj);
// Class counts of the stored objects.
void apimap_counts(const TableDef* table, int32_t* points, int32_t* lines, int32_t* regions);
// Creates the table's map file in the transform and enters it in the mode.
int16_t apimap_create(TableDef* table, const CoordXform* xform, int32_t mode);
// Ends access to the map storage, deletes its map file and .ID file and
// closes it; a table without one succeeds.
int16_t apimap_discard(TableDef* table);
// Widens bounds (all zero: not set yet) by the object's rectangle and gives
// its centroid, both in user coordinates (either output may be null).
void apimap_user_extent(const MapObject* obj, const CoordXform* table, const CoordXform* target, DRect* bounds,
                        DPoint* centre);
// Writes (or, with a null object, deletes) the object of a row.
int16_t apimap_write(TableDef* table, int32_t row, const MapObject* obj, int16_t insert);

// Index searches of a field (field from 0): the first row whose value
// equals key (seeking the field's index), then the next entry's row when its
// key equals key under the index's collation; 0 when none.
int32_t apiindex_find_first(ApiSlot* slot, int32_t field, const Value* key);
int32_t apiindex_find_next(ApiSlot* slot, int32_t field, const Value* key);
// Adds the keys of the row's indexed fields (their current values).
int16_t apiindex_add_row(TableDef* table, int32_t row);
// Reads the row into the fields and removes the keys of its indexed fields.
int16_t apiindex_remove_row(TableDef* table, int32_t row);
// Enters the table's index file (if any) in the mode.
int16_t apiindex_begin(TableDef* table, int32_t mode);
void apiindex_end(TableDef* table);
