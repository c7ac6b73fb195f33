// Records of the table API that the application sees, and the five table-API
// entries the application calls directly. The table kernel implements the
// entries; until it is linked, the fixture reader under tests/fixtures does.
#pragma once

#include <cstdint>

// Column description handed to callers: 38 bytes, laid out as the table API
// fills it.
struct ColumnInfo {
  char name[32];     // NUL-terminated, at most 31 characters
  uint8_t type;      // value type code
  uint8_t width;
  uint8_t decimals;
  uint8_t spare;     // not set by the API; callers may use it
  int16_t indexed;   // 1 when the column has an index
};
static_assert(sizeof(ColumnInfo) == 38, "ColumnInfo is a 38-byte record");

// Value type codes of the columns the application tests for.
enum : uint8_t {
  COLTYPE_CHAR = 1,
  COLTYPE_DECIMAL = 2,
  COLTYPE_INTEGER = 3,
  COLTYPE_SMALLINT = 4,
  COLTYPE_DATE = 5,
  COLTYPE_LOGICAL = 6,
  COLTYPE_FLOAT = 8,
  COLTYPE_TIME = 37,
  COLTYPE_DATETIME = 38,
  COLTYPE_LARGEINT = 39,
};

// Coordinate system as the table API hands it out: projection type, the
// 248-byte definition (the coordinate-system engine gives it its structure)
// at the next 8-byte boundary, and the bounds in the system's own units.
struct CoordSysInfo {
  int16_t proj_type;
  alignas(8) unsigned char def[248];
  double x1, y1, x2, y2;
};

// Double points and rectangles of user coordinates (bounds and centres of
// row objects).
#ifndef QL_DPOINT_DRECT_DEFINED
#define QL_DPOINT_DRECT_DEFINED
struct DPoint {
  double x, y;
};
struct DRect {
  double x1, y1, x2, y2;
};
#endif

// Records owned by other kernel modules; the application passes them through.
struct ObjRecord;  // external object record
struct ObjStyles;  // styles of one object
struct SdoArrays;  // SDO element-information and ordinate arrays

// The table API interface version the application asks for.
constexpr int TABAPI_VERSION = 6510;

// Starts the table API (only version 6510 is accepted) and clears the joined
// views: 1 on success, 0 on failure.
int ReaderApiInit(int version);
// Ends the table API; the last call closes every open table. Returns 1.
int TabApiTerminate();
// Code of the oldest entry of the kernel error stack (0 when empty).
int TabApiLastError();
// When set, text values of a row text are copied raw instead of quoted.
void TabApiSetRawText(int flag);

class CTableReader;
// A new table reader, or null when none can be made.
CTableReader* CreateTableReader();
