// Object trace text: a map object written to a text file as statement
// language, one keyword line per type, coordinates in the table's user
// units rounded to the precision one integer unit shows at the object's
// centre, then the object's style clauses.
//
// Every "\n" goes through the file layer, which writes the file's line end.
// A text's string is written in pieces of at most 254 converted bytes, never
// splitting an escape or a double-byte pair. A frame's title is not stored:
// it is written as "".
#pragma once
#include <cstdint>

#include "kernel/mapobjects/mapobj.h"
#include "kernel/runtime/valcmp.h"

struct CoordXform;

constexpr int32_t kTracePieceMax = 254;

struct TraceNumberFormat {
  int16_t unit;
  NumFormat format;
};

// 1 when every write succeeded; types 0, 11, 12 and unknown types write
// nothing and answer 0.
int16_t object_write_text(int32_t file, MapObject* obj, const CoordXform* xform, int16_t brackets,
                          const char* variable);
int16_t trace_write_point(const CoordXform* xform, const IntPoint* point, const TraceNumberFormat* format,
                          int32_t file, int16_t brackets);
int16_t trace_write_rect(const CoordXform* xform, const IntRect* rect, const TraceNumberFormat* format, int32_t file,
                         int16_t brackets);
int16_t trace_write_length(const CoordXform* xform, int32_t length, const TraceNumberFormat* format, int32_t file);
