// System colours that stand in for a windowing host's, and the small fixed
// mappings between file-dialog entries and extension ids.
#pragma once
#include <cstdint>

// The colour (0x00RRGGBB) at an index 0..23; 0 for any other index.
uint32_t syscolour_get(int32_t index);
// -3, -2 and -1 give the colours at 0, 5 and 18; other values pass.
int32_t syscolour_resolve(int32_t value);

// Mappings: the forward functions give an extension id (a default for codes
// they do not list), the reverse ones a code (0 for ids they do not list).
enum CodeMap {
  CODEMAP_DIALOG,
  CODEMAP_OPEN,
  CODEMAP_IMPORT,
  CODEMAP_EXPORT,
  CODEMAP_IMAGE1,
  CODEMAP_IMAGE2,
  CODEMAP_PROGRAM,
  CODEMAP_LIBRARY,
  CODEMAP_SOURCE,
  CODEMAP_KIND_STRING,
};
int32_t codemap_to_ext(CodeMap map, int32_t code);
int32_t codemap_from_ext(CodeMap map, int32_t ext_id);
int32_t codemap_query_ext();
int32_t codemap_report_ext();

// Checks a path a table is about to be saved under (flags 0x40: give it the
// id's extension; 0x20: refuse a table name an open table has). 0 refuses.
int16_t codemap_check_target(char* path, int32_t flags, int32_t ext_id);
