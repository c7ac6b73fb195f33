// The projection list file and the name lookup of coordinate systems.
// Lines are split as delimited text (comma, double quotes); each lookup
// reads the list afresh.
#include "kernel/coordsys/projlist.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "kernel/coordsys/coordsys_text.h"
#include "kernel/drivers/ascii_text.h"
#include "kernel/runtime/err.h"
#include "kernel/runtime/file.h"
#include "kernel/runtime/hooks.h"
#include "kernel/runtime/kstr.h"
#include "kernel/runtime/path.h"
#include "kernel/runtime/value.h"

struct ProjListRows {
  std::vector<std::string> lines;
  std::string name;  // column 1 of the current entry, unquoted
  Value values[kProjListColumns - 1];
  bool numbers_ok;
};

namespace {

int32_t g_projlist_file = 0;

bool find_file() {
  if (g_projlist_file > 0 && file_entry(g_projlist_file) != nullptr) return true;
  g_projlist_file = 0;
  char path[kPathSize];
  const char* base = kernel_string(kProjListNameString);
  if (base == nullptr || *base == '\0') return false;
  path_with_extension(path, base, kExtProjList);
  if (!path_search_dirs(path, kExtProjList)) return false;
  const int32_t h = file_register(path, kExtProjList);
  if (h <= 0) return false;
  g_projlist_file = h;
  return true;
}

// Reads the list's lines (empty lines left out).
bool read_lines(std::vector<std::string>* lines) {
  int16_t changed = 0;
  if (file_open_text(g_projlist_file, 1, &changed) <= 0) return false;
  char buffer[4096];
  std::string line;
  while (file_read_line(buffer, sizeof buffer, g_projlist_file) != nullptr) {
    line += buffer;
    if (line.empty() || line.back() != '\n') {
      if (file_eof(g_projlist_file)) break;
      continue;  // a line longer than the buffer: read on
    }
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    if (!line.empty()) lines->push_back(line);
    line.clear();
  }
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  if (!line.empty()) lines->push_back(line);
  file_release_text(g_projlist_file);
  return true;
}

// A field without its quotes (a doubled quote inside stands for one).
std::string unquote(const char* field) {
  std::string s(field);
  if (s.size() >= 1 && s[0] == '"') {
    std::string out;
    size_t end = s.size() >= 2 && s.back() == '"' ? s.size() - 1 : s.size();
    for (size_t i = 1; i < end; ++i) {
      out += s[i];
      if (s[i] == '"' && i + 1 < end && s[i + 1] == '"') ++i;
    }
    return out;
  }
  return s;
}

// A number field: empty is no value; anything but one whole number fails.
bool number_field(const std::string& text, Value* v) {
  size_t b = 0, e = text.size();
  while (b < e && (text[b] == ' ' || text[b] == '\t')) ++b;
  while (e > b && (text[e - 1] == ' ' || text[e - 1] == '\t')) --e;
  std::memset(v, 0, sizeof *v);
  if (b == e) {
    v->type = VALUE_NONE;
    return true;
  }
  const std::string t = text.substr(b, e - b);
  char* end = nullptr;
  const double d = std::strtod(t.c_str(), &end);
  if (end != t.c_str() + t.size() || !std::isfinite(d)) return false;
  v->type = VALUE_FLOAT;
  v->u.d = d;
  return true;
}

bool load_entry(ProjList* list, int32_t entry) {
  ProjListRows* r = list->rows;
  if (r == nullptr || entry < 0 || entry >= static_cast<int32_t>(r->lines.size())) return false;
  if (list->current == entry) return true;
  std::string line = r->lines[static_cast<size_t>(entry)];
  r->name.clear();
  r->numbers_ok = true;
  for (Value& v : r->values) {
    std::memset(&v, 0, sizeof v);
    v.type = VALUE_NONE;
  }
  int32_t column = 0;
  for (char* f = ascii_tokenize(line.data(), ','); f != nullptr; f = ascii_tokenize(nullptr, ',')) {
    if (column == 0) {
      r->name = unquote(f);
    } else if (column < kProjListColumns) {
      if (!number_field(unquote(f), &r->values[column - 1])) r->numbers_ok = false;
    } else if (!unquote(f).empty()) {
      r->numbers_ok = false;  // more columns than a list holds
    }
    ++column;
  }
  list->current = entry;
  return true;
}

// The name cut at "\p" and the code after it (-1 without one).
void split_name(const std::string& text, std::string* name, int32_t* code) {
  const size_t at = text.find("\\p");
  *code = -1;
  if (at == std::string::npos) {
    *name = text;
    return;
  }
  *name = text.substr(0, at);
  const char* digits = text.c_str() + at + 2;
  char* end = nullptr;
  const long n = std::strtol(digits, &end, 10);
  if (end != digits && n >= INT32_MIN && n <= INT32_MAX) *code = static_cast<int32_t>(n);
}

bool name_qualifies(const std::string& name) { return !name.empty() && name[0] != '-'; }

}  // namespace

int16_t projlist_open(ProjList* list) {
  list->rows = nullptr;
  list->current = -1;
  if (!find_file()) return 0;
  auto* rows = new (std::nothrow) ProjListRows{};
  if (rows == nullptr) return 0;
  if (!read_lines(&rows->lines)) {
    delete rows;
    return 0;
  }
  list->rows = rows;
  return 1;
}

void projlist_close(ProjList* list) {
  delete list->rows;
  list->rows = nullptr;
  list->current = -1;
}

void projlist_close_file() {
  if (g_projlist_file > 0 && file_entry(g_projlist_file) != nullptr) file_unregister(g_projlist_file);
  g_projlist_file = 0;
}

int32_t projlist_count(const ProjList* list) {
  return list->rows != nullptr ? static_cast<int32_t>(list->rows->lines.size()) : 0;
}

// The text kernel string 4816 would append with with_code is not in the
// string table: nothing is appended.
int16_t projlist_read_name(ProjList* list, int32_t entry, char* name, int32_t size, int32_t* code,
                           int16_t /*with_code*/) {
  if (name != nullptr && size > 0) name[0] = '\0';
  if (!load_entry(list, entry)) return 0;
  std::string text;
  int32_t c = -1;
  split_name(list->rows->name, &text, &c);
  if (code != nullptr && c != -1) *code = c;
  if (name != nullptr && size > 0) {
    const size_t n = std::min(text.size(), static_cast<size_t>(size - 1));
    std::memcpy(name, text.data(), n);
    name[n] = '\0';
  }
  return 1;
}

int16_t projlist_read_code(ProjList* list, int32_t entry, int32_t* code) {
  *code = 0;
  if (!load_entry(list, entry)) return 0;
  std::string text;
  int32_t c = -1;
  split_name(list->rows->name, &text, &c);
  if (c == -1) return 0;
  *code = c;
  return 1;
}

int16_t projlist_read_coordsys(ProjList* list, int32_t entry, int16_t* type, CoordSysDef* def, DRect* bounds,
                               int16_t* has_bounds) {
  if (!load_entry(list, entry) || !list->rows->numbers_ok) return 0;
  DRect b;
  int16_t hb = 0;
  int32_t used = 0;
  if (!coordsys_from_numbers(list->rows->values, type, def, bounds != nullptr ? bounds : &b,
                             has_bounds != nullptr ? has_bounds : &hb, &used))
    return 0;
  // Numbers past the list's end make the line unsound.
  for (int32_t i = used > 1 ? used - 1 : 1; i < kProjListColumns - 1; ++i) {
    if (list->rows->values[i].type != VALUE_NONE) return 0;
  }
  return 1;
}

int16_t coordsys_find_name(const CoordXform* xform, char* name, int32_t size, int32_t* code) {
  if (code != nullptr) *code = -1;
  if (name != nullptr && size > 0) name[0] = '\0';
  if (name == nullptr || size <= 0) return 0;
  char* near_name = new (std::nothrow) char[static_cast<size_t>(size)];
  if (near_name == nullptr) return 0;
  near_name[0] = '\0';
  kernel_hook_long_operation();
  ProjList list;
  bool exact = false, near = false;
  int32_t near_code = -1;
  if (projlist_open(&list)) {
    const int32_t n = projlist_count(&list);
    for (int32_t i = 0; i < n && !exact; ++i) {
      int16_t type = 0;
      CoordSysDef def;
      if (!projlist_read_coordsys(&list, i, &type, &def, nullptr, nullptr)) {
        err_clear();
        continue;
      }
      if (type != xform->type) continue;
      const CoordSysDef& t = xform->def;
      if (type == 0) {
        def.ne.ne_fixed_aspect = t.ne.ne_fixed_aspect;
        def.ne.ne_int_orientation = t.ne.ne_int_orientation;
      } else if (type == 1) {
        def.params[0] = t.params[0];
        def.int_orientation = t.int_orientation;
      }
      def.support_mz = t.support_mz;
      def.mz_code1 = t.mz_code1;
      std::string entry_name;
      int32_t entry_code = -1;
      if (std::memcmp(&def, &t, sizeof def) == 0) {
        split_name(list.rows->name, &entry_name, &entry_code);
        if (name_qualifies(entry_name)) {
          projlist_read_name(&list, i, name, size, nullptr, 0);
          if (code != nullptr) *code = entry_code;
          exact = true;
          continue;
        }
      }
      if (!near && type != 0) {
        def.datum.number = t.datum.number;
        if (std::memcmp(&def, &t, sizeof def) == 0) {
          split_name(list.rows->name, &entry_name, &entry_code);
          if (name_qualifies(entry_name)) {
            projlist_read_name(&list, i, near_name, size, nullptr, 0);
            near_code = entry_code;
            near = true;
          }
        }
      }
    }
    projlist_close(&list);
  }
  if (!exact && near) {
    std::memcpy(name, near_name, std::strlen(near_name) + 1);
    if (code != nullptr) *code = near_code;
  }
  delete[] near_name;
  return exact || near ? 1 : 0;
}
