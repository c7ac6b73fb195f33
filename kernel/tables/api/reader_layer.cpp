// The reader table layer: starts the table API for the application, opens,
// reads and closes tables by handle (a slot number above 0, a joined view
// below 0), and reads joined views by following their joins through the
// member tables' key searches.
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "kernel/runtime/file.h"
#include "kernel/tables/api/tabapi_kernel.h"
#include <sys/stat.h>

namespace {

struct ViewCol {
  int32_t member;
  int32_t field;  // from 1
  ColumnInfo info;
};
struct ViewStep {
  int32_t first_member, first_field, second_member, second_field;
};
struct JoinedView {
  bool in_use = false;
  std::vector<int32_t> members;
  std::vector<ViewCol> columns;
  std::vector<ViewStep> joins;
  std::vector<std::string> texts;  // one row text buffer per member
};

JoinedView g_views[kReaderViewCount];
std::string g_shared;  // the shared field buffer
bool g_shared_made = false;

JoinedView* view_of(int32_t handle) {
  const int32_t i = -handle - 1;
  if (i < 0 || i >= kReaderViewCount || !g_views[i].in_use) return nullptr;
  return &g_views[i];
}

int32_t driving(const JoinedView& v) {
  return v.joins.empty() ? 0 : v.joins.back().second_member;
}

std::string lower(const char* s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

void close_view(JoinedView& v) {
  for (int32_t slot : v.members) TabApiCloseTableCommit(slot);
  v = JoinedView{};
  bool any = false;
  for (const JoinedView& w : g_views) any = any || w.in_use;
  if (!any) {
    g_shared.clear();
    g_shared.shrink_to_fit();
    g_shared_made = false;
  }
}

// The field of a row text (from 1) or false.
bool text_field(const std::string& text, int32_t n, std::string* out) {
  size_t start = 0;
  for (int32_t i = 1; i < n; ++i) {
    const size_t tab = text.find('\t', start);
    if (tab == std::string::npos) return false;
    start = tab + 1;
  }
  const size_t end = text.find('\t', start);
  *out = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
  return true;
}

bool find_field(const std::vector<ColumnInfo>& fields, const std::string& name, int32_t* number) {
  for (size_t i = 0; i < fields.size(); ++i) {
    if (lower(fields[i].name) == name) {
      *number = static_cast<int32_t>(i) + 1;
      return true;
    }
  }
  return false;
}

int32_t open_view(const char* path, int32_t mode) {
  int32_t index = -1;
  for (int32_t i = 0; i < kReaderViewCount && index < 0; ++i) {
    if (!g_views[i].in_use) index = i;
  }
  if (index < 0) return 0;
  TableInfo* info = nullptr;
  if (!TabApiReadTableInfo(path, &info)) return 0;
  JoinedView& v = g_views[index];
  v = JoinedView{};
  v.in_use = true;
  bool ok = mode == 1 && info->member_count > 0;
  std::vector<std::vector<ColumnInfo>> fields;
  for (int32_t m = 0; ok && m < info->member_count; ++m) {
    const int32_t slot = TabApiOpenTableFile(info->members[m].path, 1);
    ok = slot != 0;
    if (!ok) break;
    v.members.push_back(slot);
    int32_t count = 0;
    ok = TabApiGetFieldCount(slot, &count) && count > 0;
    std::vector<ColumnInfo> f(static_cast<size_t>(count > 0 ? count : 0));
    ok = ok && TabApiGetFieldInfo(slot, f.data());
    fields.push_back(std::move(f));
  }
  for (int32_t c = 0; ok && c < info->column_count; ++c) {
    const TableInfoColumn& col = info->columns[c];
    ok = col.member >= 0 && col.member < info->member_count;
    ViewCol vc{};
    ok = ok && find_field(fields[static_cast<size_t>(col.member)], lower(col.name), &vc.field);
    if (!ok) break;
    vc.member = col.member;
    vc.info = fields[static_cast<size_t>(col.member)][static_cast<size_t>(vc.field - 1)];
    const std::string name = lower(col.alias[0] != '\0' ? col.alias : col.name);
    std::memset(vc.info.name, 0, sizeof vc.info.name);
    std::strncpy(vc.info.name, name.c_str(), sizeof vc.info.name - 1);
    v.columns.push_back(vc);
  }
  for (int32_t j = 0; ok && j + 1 < info->member_count; ++j) {
    ok = j < info->join_count;
    if (!ok) break;
    const TableInfoJoin& join = info->joins[j];
    ViewStep s{join.first_member, 0, join.second_member, 0};
    ok = s.first_member >= 0 && s.first_member < info->member_count && s.second_member >= 0 &&
         s.second_member < info->member_count &&
         find_field(fields[static_cast<size_t>(s.first_member)], lower(join.first), &s.first_field) &&
         find_field(fields[static_cast<size_t>(s.second_member)], lower(join.second), &s.second_field);
    if (ok) v.joins.push_back(s);
  }
  TabApiFreeTableInfo(&info);
  if (!ok) {
    close_view(v);
    return 0;
  }
  v.texts.assign(v.members.size(), std::string());
  g_shared_made = true;
  return -(index + 1);
}

// Reads row n of a view. first_read reads the driving member's row into
// its text buffer (with its object when asked).
template <class FirstRead>
int16_t read_view_row(JoinedView& v, int32_t row, char* text, bool want_object, FirstRead first_read) {
  const int32_t d = driving(v);
  const int32_t slot = v.members[static_cast<size_t>(d)];
  if (text == nullptr) {
    if (!want_object) return 1;
    return first_read(slot, row, nullptr);
  }
  std::vector<char> buf(kApiRowTextSize, '\0');
  if (!first_read(slot, row, buf.data())) return 0;
  v.texts[static_cast<size_t>(d)] = buf.data();
  for (size_t k = v.joins.size(); k-- > 0;) {
    const ViewStep& s = v.joins[k];
    std::string key;
    if (!text_field(v.texts[static_cast<size_t>(s.second_member)], s.second_field, &key)) return 0;
    std::vector<char> keybuf(key.begin(), key.end());
    keybuf.push_back('\0');
    int32_t found = 0;
    const int32_t first_slot = v.members[static_cast<size_t>(s.first_member)];
    if (TabApiFindRow(first_slot, s.first_field, keybuf.data(), 1, &found) != 1) return 0;
    std::fill(buf.begin(), buf.end(), '\0');
    if (!TabApiReadRowText(first_slot, found, buf.data(), nullptr)) return 0;
    v.texts[static_cast<size_t>(s.first_member)] = buf.data();
  }
  // The view's text: its columns in order. Nothing longer than the caller's
  // buffer is handed out.
  std::string out;
  for (size_t c = 0; c < v.columns.size(); ++c) {
    std::string value;
    if (!text_field(v.texts[static_cast<size_t>(v.columns[c].member)], v.columns[c].field, &value)) return 0;
    if (c > 0) out += '\t';
    out += value;
  }
  if (out.size() + 1 >= static_cast<size_t>(kApiRowTextSize - 1)) return 0;
  std::memcpy(text, out.c_str(), out.size() + 1);
  return 1;
}

}  // namespace

int ReaderApiInit(int version) {
  for (JoinedView& v : g_views) v = JoinedView{};
  return TabApiInit(version);
}

int16_t ReaderTerminate() {
  for (JoinedView& v : g_views) {
    if (v.in_use) close_view(v);
  }
  g_shared.clear();
  g_shared_made = false;
  return static_cast<int16_t>(TabApiTerminate());
}

int32_t ReaderOpenTable(const char* path, int32_t mode) {
  struct stat st;
  if (path == nullptr || stat(path, &st) != 0) return 0;
  const int32_t slot = TabApiOpenTableFile(path, mode);
  if (slot != 0) return slot;
  // A view definition is refused by the plain open (its error kept for the
  // caller when it is not a view either).
  const int first = TabApiLastError();
  const int32_t view = open_view(path, mode);
  if (view == 0 && first != 0) {
    err_clear();
    err_push(4, static_cast<int16_t>(first), nullptr, nullptr);
  }
  return view;
}

int16_t ReaderCloseTable(int32_t handle) {
  if (handle > 0) return TabApiCloseTableCommit(handle);
  JoinedView* v = view_of(handle);
  if (v == nullptr) return 0;
  close_view(*v);
  return 1;
}

int16_t ReaderReadRow(int32_t handle, int32_t row, char* text, ObjRecord* record, DRect* bounds, DPoint* centre) {
  if (handle > 0) return TabApiReadRow(handle, row, text, record, bounds, centre);
  JoinedView* v = view_of(handle);
  if (v == nullptr) return 0;
  return read_view_row(*v, row, text, record != nullptr, [&](int32_t slot, int32_t n, char* t) {
    return TabApiReadRow(slot, n, t, record, bounds, centre);
  });
}

int16_t ReaderReadRowText(int32_t handle, int32_t row, char* text, ObjRecord* record) {
  return ReaderReadRow(handle, row, text, record, nullptr, nullptr);
}

int16_t ReaderReadRowGeometry(int32_t handle, int32_t row, char* text, unsigned char** blob, int32_t* code,
                              ObjStyles* styles, DRect* bounds, DPoint* centre) {
  if (handle > 0) return TabApiReadRowGeometry(handle, row, text, blob, code, styles, bounds, centre);
  JoinedView* v = view_of(handle);
  if (v == nullptr) return 0;
  return read_view_row(*v, row, text, blob != nullptr, [&](int32_t slot, int32_t n, char* t) {
    return TabApiReadRowGeometry(slot, n, t, blob, code, styles, bounds, centre);
  });
}

namespace {
int32_t slot_of(int32_t handle) {
  if (handle > 0) return handle;
  JoinedView* v = view_of(handle);
  return v == nullptr ? 0 : v->members[static_cast<size_t>(driving(*v))];
}
}  // namespace

int16_t reader_open_objects(int32_t handle) {
  const int32_t slot = slot_of(handle);
  if (slot <= 0 || !TabApiIsStarted() || slot > tabapi_state().slot_count || api_slot(slot)->key == 0) return 0;
  return TabApiRewindObjects(slot);
}

int16_t reader_close_objects(int32_t handle) {
  const int32_t slot = slot_of(handle);
  if (slot <= 0 || !TabApiIsStarted() || slot > tabapi_state().slot_count || api_slot(slot)->key == 0) return 0;
  return TabApiCloseObjects(slot);
}

int16_t reader_get_row_count(int32_t handle, int32_t* out) { return TabApiGetRowCount(slot_of(handle), out); }

int16_t reader_get_field_count(int32_t handle, int32_t* out) {
  if (handle > 0) return TabApiGetFieldCount(handle, out);
  JoinedView* v = view_of(handle);
  if (v == nullptr) return 0;
  if (out != nullptr) *out = static_cast<int32_t>(v->columns.size());
  return 1;
}

int16_t reader_get_field_info(int32_t handle, ColumnInfo* out) {
  if (handle > 0) return TabApiGetFieldInfo(handle, out);
  JoinedView* v = view_of(handle);
  if (v == nullptr || out == nullptr) return 0;
  for (size_t i = 0; i < v->columns.size(); ++i) out[i] = v->columns[i].info;
  return 1;
}

int16_t reader_get_coordsys(int32_t handle, CoordSysInfo* info, int32_t* srid, int16_t normalise) {
  return TabApiGetCoordSys(slot_of(handle), info, srid, normalise);
}

int16_t reader_get_object_counts(int32_t handle, int32_t* points, int32_t* lines, int32_t* regions) {
  return TabApiGetObjectCounts(slot_of(handle), points, lines, regions);
}

const char* reader_text_field(const char* text, int32_t n) {
  if (text == nullptr) return nullptr;
  std::string value;
  if (n <= 0) {
    value = text;
  } else if (!text_field(text, n, &value)) {
    return nullptr;
  }
  g_shared = value;
  return g_shared.c_str();
}
