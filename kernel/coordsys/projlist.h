// The projection list file: named coordinate systems, one a line, each a
// name (optionally followed by "\p" and a decimal code) and the number list
// of the CoordSys clause, comma-separated, quoted as delimited text is.
// Names that are empty or start with "-" (headings) are never returned.
#pragma once
#include <cstdint>

#include "kernel/coordsys/coordsys.h"
#include "kernel/runtime/rect.h"

constexpr int32_t kProjListColumns = 30;
constexpr int kExtProjList = 34;        // ".PRJ"
constexpr int32_t kProjListNameString = 6000;

struct ProjListRows;

// An open list: its rows as read from the file, and the row last split.
struct ProjList {
  ProjListRows* rows;
  int32_t current;  // entry whose fields are held, -1 none
};

int16_t projlist_open(ProjList* list);
void projlist_close(ProjList* list);
// Unregisters the list file when registered and forgets its handle.
void projlist_close_file();
int32_t projlist_count(const ProjList* list);
// The entry's name without the "\p" suffix, cut to size; the code after
// "\p" to code (when given). 0 with an empty name when the row cannot be read.
int16_t projlist_read_name(ProjList* list, int32_t entry, char* name, int32_t size, int32_t* code,
                           int16_t with_code);
int16_t projlist_read_code(ProjList* list, int32_t entry, int32_t* code);
int16_t projlist_read_coordsys(ProjList* list, int32_t entry, int16_t* type, CoordSysDef* def, DRect* bounds,
                               int16_t* has_bounds);

// The name (and the code after "\p") of the first list entry with the
// transform's coordinate system; 0 with an empty name and code -1 when none.
int16_t coordsys_find_name(const CoordXform* xform, char* name, int32_t size, int32_t* code);
