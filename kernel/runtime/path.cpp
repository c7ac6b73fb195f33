// Paths, the directory pool, extensions, temporary names and search
// directories.
#include "kernel/runtime/path.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "kernel/runtime/err.h"
#include "kernel/runtime/file.h"

namespace {

const char* const kExtensions[kExtensionCount] = {
    nullptr, ".TAB", ".",    ".WOR", ".TXT", ".MAP", ".ID",  ".IND", ".TMA", ".TIN",
    ".TDA",  ".PRF", ".CHM", ".FNT", ".ABB", ".VL",  ".VLX", ".DAT", ".DBF", ".WK1",
    ".WKS",  ".XLS", ".CVF", ".MMI", ".VLI", ".IMG", ".DXF", ".PIC", ".CVD", ".RPT",
    ".TAB",  ".BMP", ".LAY", ".PEN", ".PRJ", ".WMF", nullptr, ".DEF", ".ERR", ".EXE",
    ".MNU",  ".VLO", ".VLP", ".CLR", ".BIL", ".EPS", ".RAS", ".GIF", ".TIF", ".TLB",
    ".TMP",  ".wk3", ".cpf", ".PCX", ".JPG", ".TGA", ".LDA", ".LMA", ".LIN", ".lnk",
    ".sql",  ".wk4", ".aid", ".mdb", ".png", ".psd", ".thm", ".QRY", ".mtf", ".mig",
    ".rpt",  ".3tf", ".emf", ".tif", ".jp2", nullptr, ".shp", ".shx", ".ODA", ".OMA",
    ".OIN",  ".gml", nullptr, nullptr, ".cvw", ".csv", ".tif", ".tif", ".xml", ".tif",
};

const int kForced[] = {5,  6,  7,  8,  9,  10, 16, 28, 29, 41, 52, 56, 57,
                       58, 66, 67, 70, 71, 72, 76, 77, 78, 79, 80, 84};

struct PathState {
  std::string pool = std::string(1, '\0');  // records of NUL-terminated texts; offset 0 = ""
  int counter[2] = {0, 0};
  int32_t slots[kSearchSlots] = {};
};
PathState g_path;

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }


bool is_sep(char c) { return c == '/' || c == '\\'; }

// Resolves "." and ".." of rest onto result (which starts with prefix_len
// characters that ".." never removes), with sep as the separator written.
bool walk_components(std::string& result, size_t keep, const char* rest, char sep) {
  const char* p = rest;
  while (*p) {
    while (is_sep(*p)) ++p;
    if (!*p) break;
    const char* e = p;
    while (*e && !is_sep(*e)) ++e;
    const size_t n = static_cast<size_t>(e - p);
    if (n == 1 && p[0] == '.') {
      // skipped
    } else if (n == 2 && p[0] == '.' && p[1] == '.') {
      if (result.size() > keep && result.back() == sep) result.pop_back();
      const size_t cut = result.find_last_of(sep);
      if (cut != std::string::npos && cut + 1 >= keep) result.resize(cut + 1);
      else result.resize(keep);
    } else {
      if (!result.empty() && result.back() != sep) result.push_back(sep);
      result.append(p, n);
    }
    p = e;
  }
  return true;
}

char* store(char* path, const std::string& result) {
  if (result.size() > static_cast<size_t>(kPathMaxLen)) return nullptr;
  std::memcpy(path, result.c_str(), result.size() + 1);
  return path + result.size();
}

const char* name_part(const char* path) {
  const char* name = path;
  for (const char* p = path; *p; ++p) {
    if (is_sep(*p)) name = p + 1;
  }
  return name;
}

void default_sanitize(char* name) {
  auto allowed = [](unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
           c == '#' || c == '_' || c == '~' || c >= 0x80;
  };
  for (char* p = name; *p; ++p) {
    if (!allowed(static_cast<unsigned char>(*p))) *p = '_';
  }
  const char c = name[0];
  if ((c >= '0' && c <= '9') || c == '#' || c == '$' || c == '@' || c == '%' || c == '!' ||
      c == '&') {
    name[30] = '\0';
    std::memmove(name + 1, name, std::strlen(name) + 1);
    name[0] = '_';
  }
}

PathSanitizeHook g_sanitize = default_sanitize;

}  // namespace

bool path_text_equal(const char* a, const char* b) {
  for (; *a && *b; ++a, ++b) {
    if (lower(*a) != lower(*b)) return false;
  }
  return *a == *b;
}

bool path_text_starts_with(const char* text, const char* prefix) {
  for (; *prefix; ++text, ++prefix) {
    if (*text == '\0' || lower(*text) != lower(*prefix)) return false;
  }
  return true;
}

void path_set_sanitize_hook(PathSanitizeHook hook) {
  g_sanitize = hook ? hook : default_sanitize;
}

const char* path_extension(int ext_id) {
  if (ext_id < 0 || ext_id >= kExtensionCount || kExtensions[ext_id] == nullptr) return "";
  return kExtensions[ext_id];
}

int16_t path_extension_forced(int ext_id) {
  for (int f : kForced) {
    if (f == ext_id) return 1;
  }
  return 0;
}

char* path_normalise(char* path) {
  if (path == nullptr) return nullptr;
  std::string result;
  if (!is_sep(path[0])) {
    char cwd[4096];
    if (getcwd(cwd, sizeof cwd) == nullptr) return nullptr;
    result = cwd;
    walk_components(result, 1, path, '/');
  } else {
    result = "/";
    walk_components(result, 1, path, '/');
  }
  if (result.size() > 1 && result.back() == '/') result.pop_back();
  return store(path, result);
}

char* path_normalise_windows(char* path, char current_drive, const char* current_dir) {
  if (path == nullptr) return nullptr;
  std::string result;
  const char* rest = path;
  if (std::strlen(path) >= 3 && is_sep(path[0]) && is_sep(path[1])) {
    result = "\\";
    rest = path + 1;
  } else if (path[0] != '\0' && path[1] == ':' && static_cast<unsigned char>(path[0]) < 0x80) {
    result = std::string{path[0], ':'};
    rest = path + 2;
  } else {
    result = std::string{current_drive, ':'};
  }
  size_t keep = result.size();
  if (!is_sep(*rest) && current_dir != nullptr) {
    std::string dir = current_dir;
    for (char& c : dir) {
      if (c == '/') c = '\\';
    }
    if (dir.empty() || dir.back() != '\\') dir.push_back('\\');
    result = dir;
    keep = result.size() >= 3 && result[1] == ':' ? 3 : 1;
  } else if (is_sep(*rest)) {
    result.push_back('\\');
    keep = result.size();
  }
  walk_components(result, keep, rest, '\\');
  if (!result.empty() && result.back() == '\\') result.pop_back();
  return store(path, result);
}

int32_t path_dir_add(const char* dir) {
  if (dir == nullptr || *dir == '\0') return 0;
  std::string text = dir;
  for (char& c : text) {
    if (c == '\\') c = '/';
  }
  if (text.back() != '/') text.push_back('/');
  size_t off = 1;
  while (off < g_path.pool.size()) {
    const char* rec = g_path.pool.c_str() + off;
    if (path_text_equal(rec, text.c_str())) return static_cast<int32_t>(off);
    off += std::strlen(rec) + 1;
  }
  const auto id = static_cast<int32_t>(g_path.pool.size());
  g_path.pool.append(text);
  g_path.pool.push_back('\0');
  return id;
}

const char* path_dir_text(int32_t dir_id) {
  if (dir_id <= 0 || static_cast<size_t>(dir_id) >= g_path.pool.size()) return "";
  return g_path.pool.c_str() + dir_id;
}

void path_dir_get(const FileNameEntry* entry, char* out) {
  out[0] = '\0';
  if (entry == nullptr) return;
  std::snprintf(out, kPathSize, "%s", path_dir_text(entry->dir_id));
}

void path_of_entry(const FileNameEntry* entry, char* out) {
  out[0] = '\0';
  if (entry == nullptr) return;
  std::snprintf(out, kPathSize, "%s%s", path_dir_text(entry->dir_id), entry->name);
}

int16_t path_split(char* path, char* name_out) {
  size_t n = std::strlen(path);
  while (n > 0 && static_cast<unsigned char>(path[n - 1]) <= ' ') path[--n] = '\0';
  char* name = const_cast<char*>(name_part(path));
  if (std::strlen(name) > static_cast<size_t>(kNameMaxLen)) return 0;
  if (name_out != nullptr) std::memcpy(name_out, name, std::strlen(name) + 1);
  *name = '\0';
  return 1;
}

void path_trim_name(char* path) {
  char* name = const_cast<char*>(name_part(path));
  char* p = name;
  while (*p == ' ') ++p;
  if (p != name) std::memmove(name, p, std::strlen(p) + 1);
  if (std::strlen(name) > 254) name[254] = '\0';
}

void path_current_dir(char* out) { out[0] = '\0'; }

int16_t path_set_extension(char* path, const char* ext) {
  if (path == nullptr || ext == nullptr) return 0;
  std::string work = path;
  if (*ext != '\0') {
    std::vector<char> buf(work.size() + 1);
    std::memcpy(buf.data(), work.c_str(), work.size() + 1);
    path_trim_name(buf.data());
    work = buf.data();
  }
  const size_t name_at = static_cast<size_t>(name_part(work.c_str()) - work.c_str());
  size_t at = work.size();
  const size_t dot = work.find_last_of('.');
  if (dot != std::string::npos && dot >= name_at) {
    for (int id = 0; id < kExtensionCount; ++id) {
      if (kExtensions[id] != nullptr && path_text_equal(work.c_str() + dot, kExtensions[id])) {
        at = dot;
        break;
      }
    }
  }
  while (at > name_at && work[at - 1] == ' ') --at;
  work.resize(at);
  work += ext;
  if (work.size() > static_cast<size_t>(kPathMaxLen) ||
      std::strlen(name_part(work.c_str())) > static_cast<size_t>(kNameMaxLen)) {
    return 0;
  }
  std::memcpy(path, work.c_str(), work.size() + 1);
  return 1;
}

char* path_with_extension(char* out, const char* path, int ext_id) {
  std::snprintf(out, kPathSize, "%s", path);
  path_trim_name(out);
  if (*path_extension(ext_id) == '\0') return nullptr;
  path_set_extension(out, path_extension(ext_id));
  return out;
}

void path_set_extension_id(char* path, int ext_id) {
  if (*path_extension(ext_id) == '\0') return;
  path_set_extension(path, path_extension(ext_id));
}

void path_tab_name(char* out, const char* path) {
  std::snprintf(out, kPathSize, "%s", path);
  path_set_extension(out, ".TAB");
  if (path_text_equal(out, path)) {
    std::snprintf(out, kPathSize, "%s", path);
    path_set_extension(out, ".");
  }
}

void path_to_table_name(const char* path, char* out) {
  std::string name = name_part(path);
  const size_t dot = name.find_last_of('.');
  if (dot != std::string::npos) name.resize(dot);
  if (name.size() > 30) name.resize(30);
  char buf[64] = {};
  std::memcpy(buf, name.c_str(), name.size());
  g_sanitize(buf);
  std::memcpy(out, buf, std::strlen(buf) + 1);
}

int16_t path_make_absolute(char* path, int32_t base_handle) {
  if (path == nullptr) return 0;
  std::string work = path;
  for (char& c : work) {
    if (c == '\\') c = '/';
  }
  if (work.empty() || work[0] != '/') {
    char dir[kPathSize] = {};
    if (file_check_handle(base_handle) >= 0) file_get_dir(base_handle, dir);
    work = std::string(dir) + work;
  }
  if (work.size() > static_cast<size_t>(kPathMaxLen)) return 0;
  char buf[kPathSize];
  std::memcpy(buf, work.c_str(), work.size() + 1);
  if (path_normalise(buf) == nullptr) return 0;
  std::memcpy(path, buf, std::strlen(buf) + 1);
  return 1;
}

namespace {

int16_t parse_entry(const char* path, int ext_id, FileNameEntry* out, bool push) {
  std::memset(out, 0, sizeof *out);
  auto fail = [&]() -> int16_t {
    if (push) err_push(4, kErrPathNotFound, path ? path : "", nullptr);
    return 0;
  };
  if (path == nullptr || std::strlen(path) > static_cast<size_t>(kPathMaxLen)) return fail();
  char buf[kPathSize];
  std::snprintf(buf, sizeof buf, "%s", path);
  if (path_normalise(buf) == nullptr) return fail();
  if (path_extension_forced(ext_id) && !path_set_extension(buf, path_extension(ext_id))) {
    return fail();
  }
  char name[256];
  if (!path_split(buf, name)) return fail();
  std::memcpy(out->name, name, std::strlen(name) + 1);
  out->ext_id = ext_id;
  out->dir_id = path_dir_add(buf);
  return 1;
}

}  // namespace

int16_t path_parse(const char* path, int ext_id, FileNameEntry* out) {
  return parse_entry(path, ext_id, out, true);
}

void path_resolve_case(char* full) {
  struct stat st;
  if (full == nullptr || lstat(full, &st) == 0 || errno != ENOENT) return;
  char* name = const_cast<char*>(name_part(full));
  if (*name == '\0') return;
  std::string dir(full, static_cast<size_t>(name - full));
  DIR* d = opendir(dir.empty() ? "." : dir.c_str());
  if (d == nullptr) return;
  while (dirent* e = readdir(d)) {
    if (path_text_equal(e->d_name, name) && std::strlen(e->d_name) == std::strlen(name)) {
      std::memcpy(name, e->d_name, std::strlen(name));
      break;
    }
  }
  closedir(d);
}

int16_t path_exists(const char* path, int ext_id) {
  FileNameEntry e;
  if (!parse_entry(path, ext_id, &e, false)) return 0;
  char full[kPathSize];
  path_of_entry(&e, full);
  path_resolve_case(full);
  struct stat st;
  return stat(full, &st) == 0 ? 1 : 0;
}

namespace {

int16_t temp_name(char* out, const char* dir_path, const char* ext, int which) {
  out[0] = '\0';
  std::string dir;
  if (dir_path != nullptr && *dir_path != '\0') {
    char buf[kPathSize];
    std::snprintf(buf, sizeof buf, "%s", dir_path);
    if (path_normalise(buf) != nullptr) {
      // A path naming a file gives its directory; a directory stands as is.
      struct stat st;
      if (!(stat(buf, &st) == 0 && S_ISDIR(st.st_mode))) path_split(buf, nullptr);
      dir = path_dir_text(path_dir_add(buf));
    }
  }
  for (int tries = 0; tries < 10000; ++tries) {
    int& c = g_path.counter[which];
    c = c >= 9999 ? 0 : c + 1;
    char name[kPathSize];
    if (ext == nullptr) {
      std::snprintf(name, sizeof name, "%s~MAP%04d.TMP", dir.c_str(), c);
    } else {
      std::snprintf(name, sizeof name, "%s~MAP%04d%s", dir.c_str(), c, ext);
    }
    char full[kPathSize];
    std::snprintf(full, sizeof full, "%s", name);
    if (path_normalise(full) == nullptr) break;
    const int fd = open(full, O_CREAT | O_EXCL | O_NOFOLLOW | O_WRONLY | O_CLOEXEC, 0666);
    if (fd >= 0) {
      close(fd);
      std::memcpy(out, full, std::strlen(full) + 1);
      return 1;
    }
    if (errno != EEXIST) break;
  }
  err_push(4, kErrFileExists, nullptr, nullptr);
  return -1;
}

}  // namespace

int16_t file_temp_name(char* out, const char* dir_path) {
  return temp_name(out, dir_path, nullptr, 0);
}

int16_t file_temp_name_ext(char* out, const char* dir_path, const char* ext) {
  return temp_name(out, dir_path, ext != nullptr ? ext : "TMP", 1);
}

void path_set_search_slot(int slot, int32_t dir_id) {
  if (slot >= 0 && slot < kSearchSlots) g_path.slots[slot] = dir_id;
}

int32_t path_search_slot(int slot) {
  return slot >= 0 && slot < kSearchSlots ? g_path.slots[slot] : 0;
}

void path_init_program_dir() {
  char exe[4096];
  const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (n <= 0) return;
  exe[n] = '\0';
  char* name = const_cast<char*>(name_part(exe));
  *name = '\0';
  if (std::strlen(exe) <= static_cast<size_t>(kPathMaxLen)) {
    g_path.slots[kSearchSlotProgram] = path_dir_add(exe);
  }
}

int16_t path_search_dirs(char* name, int ext_id) {
  if (name == nullptr) return 0;
  // Slots 3 and 5 (indexes 2 and 4) are tried even when unset.
  for (int slot = 0; slot < kSearchSlots; ++slot) {
    if (g_path.slots[slot] == 0 && slot != 2 && slot != kSearchSlotProgram) continue;
    std::string candidate = std::string(path_dir_text(g_path.slots[slot])) + name;
    if (candidate.size() > static_cast<size_t>(kPathMaxLen)) continue;
    FileNameEntry e;
    if (path_exists(candidate.c_str(), ext_id) && parse_entry(candidate.c_str(), ext_id, &e, false)) {
      char full[kPathSize];
      path_of_entry(&e, full);
      path_resolve_case(full);
      std::memcpy(name, full, std::strlen(full) + 1);
      return 1;
    }
  }
  return 0;
}

void path_pool_free() { g_path.pool.assign(1, '\0'); }

void path_reset() { g_path = PathState{}; }

void path_set_temp_counter(int which, int value) {
  if (which == 0 || which == 1) g_path.counter[which] = value;
}
