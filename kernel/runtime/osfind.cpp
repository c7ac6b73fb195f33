// Directory search over opendir and fnmatch. The matching names are read
// at the start and handed out in byte order, so a search does not depend
// on the file system's order.
#include "kernel/runtime/osfind.h"

#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>

#include <algorithm>
#include <string>
#include <vector>

#include "kernel/runtime/str.h"

namespace {

struct FindEntry {
  std::string name;
  uint32_t attributes;
};

struct FindState {
  std::vector<FindEntry> entries;
  size_t next = 0;
};

uint32_t attributes_of(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return kFindNormal;
  uint32_t a = S_ISDIR(st.st_mode) ? kFindDirectory : kFindNormal;
  if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) a |= kFindReadOnly;
  return a;
}

int16_t take_next(FindRecord* record) {
  auto* state = static_cast<FindState*>(record->handle);
  while (state != nullptr && state->next < state->entries.size()) {
    const FindEntry& e = state->entries[state->next++];
    if ((e.attributes & record->mask) == 0) continue;
    str_copy_n(record->name, e.name.c_str(), sizeof record->name);
    record->attributes = e.attributes;
    return 1;
  }
  return 0;
}

}  // namespace

int16_t os_find_first(const char* pattern, uint32_t mask, FindRecord* record) {
  if (record == nullptr) return 0;
  record->mask = mask;
  record->name[0] = '\0';
  record->handle = nullptr;
  record->attributes = 0;
  if (pattern == nullptr || pattern[0] == '\0') return 0;
  std::string full(pattern);
  size_t slash = full.find_last_of('/');
  std::string dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : full.substr(0, slash));
  std::string match = slash == std::string::npos ? full : full.substr(slash + 1);
  DIR* d = opendir(dir.c_str());
  if (d == nullptr) return 0;
  auto* state = new FindState;
  while (dirent* ent = readdir(d)) {
    std::string name = ent->d_name;
    if (name == "." || name == "..") continue;
    if (match != "*.*" && fnmatch(match.c_str(), name.c_str(), FNM_CASEFOLD) != 0) continue;
    state->entries.push_back({name, attributes_of(dir + "/" + name)});
  }
  closedir(d);
  std::sort(state->entries.begin(), state->entries.end(),
            [](const FindEntry& a, const FindEntry& b) { return a.name < b.name; });
  record->handle = state;
  if (take_next(record)) return 1;
  os_find_close(record);
  return 0;
}

int16_t os_find_next(FindRecord* record) {
  if (record == nullptr) return 0;
  return take_next(record);
}

void os_find_close(FindRecord* record) {
  if (record == nullptr) return;
  delete static_cast<FindState*>(record->handle);
  record->handle = nullptr;
}
