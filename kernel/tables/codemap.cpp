// System colours and code-mapping tables (data, transcribed once).
#include "kernel/tables/codemap.h"

#include <cstring>

#include "kernel/runtime/err.h"
#include "kernel/runtime/file.h"
#include "kernel/runtime/kstr.h"
#include "kernel/runtime/path.h"
#include "kernel/tables/tabdef.h"

namespace {

constexpr uint32_t rgb(uint32_t r, uint32_t g, uint32_t b) { return (r << 16) | (g << 8) | b; }

constexpr uint32_t kSysColours[24] = {
    rgb(192, 192, 192), rgb(255, 255, 255), rgb(128, 128, 128), rgb(0, 0, 0),       rgb(128, 128, 128),
    rgb(255, 255, 255), rgb(0, 0, 0),       rgb(128, 128, 128), rgb(255, 0, 0),     rgb(255, 255, 255),
    rgb(0, 0, 0),       rgb(128, 128, 128), rgb(128, 128, 128), rgb(255, 255, 255), rgb(0, 0, 0),
    rgb(192, 192, 192), rgb(128, 128, 128), rgb(128, 128, 128), rgb(255, 255, 255), rgb(0, 0, 0),
    rgb(0, 0, 0),       rgb(0, 0, 0),       rgb(0, 0, 0),       rgb(0, 0, 0),
};

struct Pair {
  int32_t code;
  int32_t ext;
};

struct MapTable {
  const Pair* to;  // forward pairs, ended by {0, 0}
  int32_t to_default;
  const Pair* from;  // reverse pairs (code, ext), ended by {-1, -1}
  int32_t from_default;
};

constexpr Pair kDialogTo[] = {{1, 3}, {2, 63}, {3, 21}, {4, 18}, {5, 76}, {6, 44}, {7, 69}, {8, 4}, {9, 20}, {10, 85}, {0, 0}};
constexpr Pair kDialogFrom[] = {{1, 3}, {8, 4}, {4, 18}, {9, 20}, {3, 21}, {6, 44}, {2, 63}, {7, 69}, {5, 76}, {10, 85}, {-1, -1}};
constexpr Pair kOpenTo[] = {{1, 18}, {2, 63}, {3, 2}, {0, 0}};
constexpr Pair kOpenFrom[] = {{1, 2}, {2, 18}, {-1, -1}};
constexpr Pair kImportTo[] = {{1, 26}, {2, 24}, {3, 23}, {4, 25}, {5, 81}, {6, 88}, {7, 27}, {0, 0}};
constexpr Pair kImportFrom[] = {{3, 23}, {2, 24}, {4, 25}, {1, 26}, {7, 27}, {5, 81}, {6, 88}, {-1, -1}};
constexpr Pair kExportTo[] = {{1, 4}, {2, 26}, {3, 18}, {4, 85}, {0, 0}};
constexpr Pair kExportFrom[] = {{1, 4}, {3, 18}, {2, 26}, {4, 85}, {-1, -1}};
constexpr Pair kImage1To[] = {{1, 35}, {2, 72}, {3, 54}, {4, 74}, {5, 64}, {6, 48}, {7, 73}, {8, 87}, {9, 86}, {10, 47}, {11, 65}, {0, 0}};
constexpr Pair kImage1From[] = {{1, 35}, {10, 47}, {6, 48}, {3, 54}, {5, 64}, {11, 65}, {2, 72}, {7, 73}, {4, 74}, {9, 86}, {8, 87}, {-1, -1}};
constexpr Pair kImage2To[] = {{1, 35}, {2, 72}, {3, 54}, {4, 74}, {5, 64}, {6, 89}, {7, 48}, {8, 73}, {9, 87}, {10, 86}, {11, 47}, {12, 65}, {0, 0}};
constexpr Pair kImage2From[] = {{1, 35}, {11, 47}, {7, 48}, {3, 54}, {5, 64}, {12, 65}, {2, 72}, {8, 73}, {4, 74}, {10, 86}, {9, 87}, {6, 89}, {-1, -1}};
constexpr Pair kProgramTo[] = {{1, 37}, {2, 38}, {3, 0}, {0, 0}};
constexpr Pair kProgramFrom[] = {{1, 37}, {2, 38}, {3, 0}, {-1, -1}};
constexpr Pair kLibraryTo[] = {{1, 0}, {0, 0}};
constexpr Pair kLibraryFrom[] = {{1, 42}, {-1, -1}};
constexpr Pair kSourceTo[] = {{1, 42}, {2, 37}, {3, 0}, {0, 0}};
constexpr Pair kSourceFrom[] = {{1, 15}, {2, 42}, {-1, -1}};
constexpr Pair kKindTo[] = {{0, 515}, {1, 518}, {2, 520}, {3, 519}, {-2, 0}};
constexpr Pair kNone[] = {{-1, -1}};

// Forward tables end at code 0 (or -2 for the kind table, whose code 0 is
// listed); reverse tables at code -1.
constexpr MapTable kMaps[] = {
    {kDialogTo, 1, kDialogFrom, 0},   {kOpenTo, 1, kOpenFrom, 0},         {kImportTo, 22, kImportFrom, 0},
    {kExportTo, 22, kExportFrom, 0},  {kImage1To, 31, kImage1From, 0},    {kImage2To, 31, kImage2From, 0},
    {kProgramTo, 15, kProgramFrom, 0}, {kLibraryTo, 42, kLibraryFrom, 2}, {kSourceTo, 15, kSourceFrom, 3},
    {kKindTo, 0, kNone, 0},
};

}  // namespace

uint32_t syscolour_get(int32_t index) { return index >= 0 && index < 24 ? kSysColours[index] : 0; }

int32_t syscolour_resolve(int32_t value) {
  if (value == -3) return static_cast<int32_t>(kSysColours[0]);
  if (value == -2) return static_cast<int32_t>(kSysColours[5]);
  if (value == -1) return static_cast<int32_t>(kSysColours[18]);
  return value;
}

int32_t codemap_to_ext(CodeMap map, int32_t code) {
  const MapTable& m = kMaps[map];
  const bool kind = map == CODEMAP_KIND_STRING;
  for (const Pair* p = m.to; kind ? p->code != -2 : p->code != 0; ++p) {
    if (p->code == code) return p->ext;
  }
  return m.to_default;
}

int32_t codemap_from_ext(CodeMap map, int32_t ext_id) {
  const MapTable& m = kMaps[map];
  for (const Pair* p = m.from; p->code != -1; ++p) {
    if (p->ext == ext_id) return p->code;
  }
  return m.from_default;
}

int32_t codemap_query_ext() { return 67; }
int32_t codemap_report_ext() { return 70; }

int16_t codemap_check_target(char* path, int32_t flags, int32_t ext_id) {
  if (path == nullptr) return 0;
  if (flags & 0x40) {
    if (ext_id == 1 || ext_id == 2) ext_id = 17;
    char before[kPathSize];
    std::memcpy(before, path, std::strlen(path) + 1);
    path_set_extension_id(path, ext_id);
    if (std::strcmp(before, path) == 0) path_set_extension_id(path, 1);
    if (std::strcmp(before, path) != 0) kernel_error_message(kernel_string(360), path);
  }
  char tab[kPathSize];
  char with_ext[kPathSize];
  path_with_extension(tab, path, 1);
  path_with_extension(with_ext, path, ext_id);
  if (file_find(path, 0) > 0 || file_find(tab, 1) > 0 || file_find(with_ext, ext_id) > 0) {
    kernel_error_message(kernel_string(3402), path);
    return 0;
  }
  if (flags & 0x20) {
    char name[kTableNameSize];
    path_to_table_name(path, name);
    if (table_name_in_use(name, 0)) {
      if (err_count() > 0) err_report();
      return 0;
    }
  }
  return 1;
}
