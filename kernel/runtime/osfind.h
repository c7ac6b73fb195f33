// Directory search: the names in one directory that match a pattern
// ("*.*" matches every name; case is ignored) and share a bit with the
// attribute mask (0x10 directory, 0x80 file, 0x01 read-only).
#pragma once
#include <cstdint>

constexpr uint32_t kFindReadOnly = 0x01;
constexpr uint32_t kFindDirectory = 0x10;
constexpr uint32_t kFindNormal = 0x80;

struct FindRecord {
  uint32_t mask;
  char name[260];
  void* handle;         // the search's state, null when none runs
  uint32_t attributes;  // of the last entry found
};

// 1 and the first qualifying name, or 0 when none qualifies (the search
// is then already ended).
int16_t os_find_first(const char* pattern, uint32_t mask, FindRecord* record);
int16_t os_find_next(FindRecord* record);
void os_find_close(FindRecord* record);
