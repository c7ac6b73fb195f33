// Compressed-points tables: a large number of points, each addressed by a
// point number, kept as two small integers on a regular grid in a ".cpf"
// file of fixed records next to a short ".TAB" that marks the table.
//
// Every header number is checked at open and create: the cell size is 1, 2
// or 4, origin and scale are finite and the scales not 0 (else 1900 at
// open, 1903 at create); a negative highest number counts as 0 (674).
// Record offsets are computed in 64 bits; a record past the file's end is
// no point.
#pragma once
#include <cstdint>

#include "kernel/tables/lang/metadata.h"
#include "kernel/tables/tabdef.h"

constexpr int16_t kErrCpfHighest = 674;
constexpr int16_t kErrCpfMagic = 1900;
constexpr int16_t kErrCpfVersion = 1901;
constexpr int16_t kErrCpfShort = 1902;
constexpr int16_t kErrCpfWrite = 1903;
constexpr int16_t kErrCpfBounds = 1904;
constexpr int16_t kErrCpfNumber = 1905;
constexpr uint32_t kCpfMagic = 0x1A465043;
constexpr int kCpfHeaderSize = 64;
constexpr int kCpfExtension = 52;

// The point-table key description.
struct CPointsDesc {
  double origin_x = 0, origin_y = 0;
  double scale_x = 1, scale_y = 1;
  int16_t cell_size = 1;
  int16_t key_width = 0;
  int16_t prefix_size = 0;
  int32_t highest = 0;
  char key_name[kTableNameSize] = {};
};

struct CPointsPoint {
  double x, y;
};

struct CPointsFile {
  double bounds[4] = {};  // x min, y min, x max, y max
  int32_t tab_file = 0;
  int32_t point_file = 0;
  MetadataNode* metadata = nullptr;
  uint8_t header[kCpfHeaderSize] = {};
  CPointsDesc desc;
};

int16_t cpoints_create(const char* tab_path, const CPointsDesc* desc, CPointsFile** out);
int16_t cpoints_open(const char* tab_path, int16_t mode, CPointsFile** out);
int16_t cpoints_read_point(CPointsFile* file, const char* number, CPointsPoint* out);
int16_t cpoints_read_point_by_number(CPointsFile* file, int32_t number, char* text, CPointsPoint* out);
int16_t cpoints_write_point(CPointsFile* file, const char* number, const CPointsPoint* point);
// Writes the marking .TAB again with the metadata tree as it now is.
int16_t cpoints_save_metadata(CPointsFile* file);
int16_t cpoints_count(const CPointsFile* file, int32_t* count);
int16_t cpoints_get_header(const CPointsFile* file, CPointsDesc* out);
// The table's files (.TAB and .cpf) into out; answers how many.
int32_t cpoints_component_files(const CPointsFile* file, ComponentFile* out);
// Closes and unregisters the files and frees the record; null is accepted.
void cpoints_table_free(CPointsFile* file);
