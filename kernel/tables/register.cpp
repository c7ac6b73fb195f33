// "Register Table", "Open Table" and "Create View", and the view builder.
#include "kernel/tables/register.h"

#include <cstring>
#include <string>

#include "kernel/runtime/err.h"
#include "kernel/runtime/file.h"
#include "kernel/runtime/mb.h"
#include "kernel/runtime/path.h"
#include "kernel/runtime/str.h"
#include "kernel/tables/clauses.h"
#include "kernel/tables/lang/lexer.h"
#include "kernel/tables/lang/names.h"
#include "kernel/tables/stmt_readers.h"
#include "kernel/tables/tabread.h"
#include "kernel/tables/tabtype.h"

namespace {

constexpr int16_t kKwType = 1090;
constexpr int16_t kKwTable = 1089;
constexpr int16_t kKwView = 1092;
constexpr int16_t kKwInto = 1074;
constexpr int16_t kKwAs = 1052;
constexpr int16_t kKwHide = 1138;
constexpr int16_t kKwInteractive = 1590;
constexpr int16_t kKwReadOnly = 1636;
constexpr int16_t kKwSelect = 1086;
constexpr int16_t kKwFrom = 1066;
constexpr int16_t kKwWhere = 1093;
constexpr int16_t kKwAnd = 18;
constexpr int16_t kKwCoordSys = 1558;
constexpr int16_t kKwControlPoints = 2122;
constexpr int16_t kKwCharset = 1349;
constexpr int16_t kKwLineStyle = 1898;
constexpr int16_t kKwRegionStyle = 1899;
constexpr int16_t kKwSymbol = 1282;
constexpr int16_t kKwFont = 1112;
constexpr int16_t kKwSchema = 2378;
constexpr int16_t kKwSettings = 2379;
constexpr int16_t kKwSingleFile = 2382;
constexpr int16_t kKwFormat = 1829;
constexpr int16_t kKwUse = 1798;
constexpr int16_t kKwColor = 1141;
constexpr int16_t kKwDatabase = 1057;

TableCollection g_collection;

// "CoordSys" and its clause, into the transform when one is given.
bool read_coordsys(CoordXform* xform, bool required) {
  if (!stmt_accept(kKwCoordSys)) {
    if (required) lex_error_expected(kKwCoordSys);
    return !required;
  }
  CoordXform dropped;
  return stmt_read_coordsys(xform != nullptr ? xform : &dropped) != 0;
}

bool read_control_points() {
  bool first = true;
  while (first ? stmt_accept(kKwControlPoints) : stmt_accept(kTokComma)) {
    first = false;
    double x = 0, y = 0, px = 0, py = 0;
    if (!stmt_read_point(&x, &y) || !stmt_read_point(&px, &py)) return false;
  }
  return true;
}

bool read_fme_clauses(FmeRecord* r) {
  for (;;) {
    if (stmt_at(kKwLineStyle) || stmt_at(kKwRegionStyle) || stmt_at(kKwSymbol)) {
      if (!stmt_read_object_styles(&r->style_flags, &r->line_pen, &r->region_pen, &r->region_brush, &r->symbol))
        return false;
    } else if (stmt_at(kKwFont)) {
      if (!clause_parse_font(&r->font)) return false;
      r->style_flags |= kStyleFont;
    } else if (stmt_accept(kKwSchema)) {
      if (!stmt_read_string(&r->schema)) return false;
    } else if (stmt_accept(kKwSettings)) {
      do {
        std::string s;
        if (!stmt_read_string(&s)) return false;
        r->settings.push_back(s);
      } while (stmt_accept(kTokComma));
    } else if (stmt_accept(kKwSingleFile)) {
      r->single_file = 1;
    } else if (stmt_accept(kKwFormat)) {
      if (!stmt_read_string(&r->format)) return false;
    } else if (stmt_at(kKwCoordSys)) {
      if (!read_coordsys(&r->xform, true)) return false;
      r->has_transform = 1;
    } else if (stmt_accept(kKwUse)) {
      if (!stmt_require(kKwColor)) return false;
      r->use_colour = 1;
    } else if (stmt_accept(kKwDatabase)) {
      r->database = 1;
    } else {
      return true;
    }
  }
}

bool name_matches_member(const MemberTable& m, const char* name) {
  char derived[kTableNameSize];
  path_to_table_name(m.path, derived);
  return mb_str_equal_nocase(derived, name) || mb_str_equal_nocase(m.alias, name);
}

}  // namespace

TableCollection* table_collection() { return &g_collection; }

void table_collection_clear() {
  for (MemberTable& m : g_collection.members) fieldlist_free(m.fields, m.field_count);
  g_collection = TableCollection{};
}

int16_t stmt_register_table() {
  char data[kPathSize];
  if (!stmt_read_file_name(data) || !stmt_require(kKwType)) return 0;
  StorageDesc storage;
  std::unique_ptr<ObjectSystemRecord> object;
  std::unique_ptr<WfsRecord> wfs;
  std::unique_ptr<FmeRecord> fme;
  const char* word = lex_is(kTokString) ? lex_token_text() : "";
  if (mb_str_equal_nocase(word, "grid") || mb_str_equal_nocase(word, "raster")) {
    lex_next();
    if (!read_control_points() || !read_coordsys(nullptr, false)) return 0;
    stmt_accept(kKwInteractive);
  } else if (mb_str_equal_nocase(word, "wms")) {
    lex_next();
    if (!read_coordsys(nullptr, true)) return 0;
    while (stmt_at(kKwCharset)) {
      int32_t cs = -1;
      if (!clause_parse_charset(&cs)) return 0;
    }
  } else {
    int16_t wfs_flag = 0;
    if (!clause_parse_type(&storage, 1, nullptr, &wfs_flag)) return 0;
    const auto* native = std::get_if<NativeOptions>(&storage.options);
    if (storage.type == TABTYPE_FME) {
      fme = std::make_unique<FmeRecord>();
      fme->charset = typeopts_charset(storage.options);
      fme->data_file = data;
      data[0] = '\0';
      if (!read_fme_clauses(fme.get())) return 0;
    } else if (storage.type == TABTYPE_DBF && native != nullptr && native->shapefile) {
      object = std::make_unique<ObjectSystemRecord>();
      if (!read_coordsys(&object->xform, true)) return 0;
      object->has_transform = 1;
      if (!stmt_read_object_styles(&object->style_flags, &object->line_pen, &object->region_pen,
                                   &object->region_brush, &object->symbol))
        return 0;
    } else if (storage.type == TABTYPE_NATIVE && wfs_flag) {
      wfs = std::make_unique<WfsRecord>();
      if (!read_coordsys(&wfs->xform, true)) return 0;
      wfs->has_transform = 1;
    }
  }
  char target[kPathSize];
  if (stmt_accept(kKwInto)) {
    if (!stmt_read_file_name(target)) return 0;
    path_set_extension_id(target, 1);
  } else {
    path_tab_name(target, fme ? fme->data_file.c_str() : data);
  }
  const char* data_path = fme ? fme->data_file.c_str() : data;
  if ((data_path[0] != '\0' && file_find(data_path, 0) > 0) || file_find(target, 1) > 0) {
    err_push(4, kErrRegistered, target, nullptr);
    return 0;
  }
  return tabdef_register_file(target, data_path, &storage, object.get(), wfs.get(), fme.get());
}

int16_t stmt_open_table() {
  lex_next();  // "Open"
  if (!stmt_at(kKwTable)) {
    err_push(4, kErrUnexpectedWord, lex_has_token() ? lex_token_text() : "", "open");
    return 0;
  }
  lex_next();
  MemberTable m = {};
  char path[kPathSize];
  if (!stmt_read_file_name(path)) return 0;
  for (;;) {
    if (stmt_accept(kKwAs)) {
      if (!stmt_read_name(m.alias)) return 0;
    } else if (!stmt_accept(kKwHide) && !stmt_accept(kKwInteractive) && !stmt_accept(kKwReadOnly)) {
      break;
    }
  }
  if (m.alias[0] == '\0') path_to_table_name(path, m.alias);
  path_set_extension_id(path, 1);
  if (path_normalise(path) == nullptr) {
    err_push(4, kErrPathNotFound, path, nullptr);
    return 0;
  }
  std::memcpy(m.path, path, sizeof m.path);
  const int32_t h = file_register(m.path, 1);
  if (h > 0) {
    m.fields = tabfile_read_fields(h, &m.field_count, nullptr);
    file_unregister(h);
  }
  g_collection.members.push_back(m);
  return h > 0 ? 1 : 0;
}

int16_t stmt_create_view() {
  lex_next();  // "Create"
  if (!stmt_at(kKwView)) {
    err_push(4, kErrUnexpectedWord, lex_has_token() ? lex_token_text() : "", "create");
    return 0;
  }
  lex_next();
  TabReadContext* ctx = stmt_read_context();
  ctx->phase = 2;
  TableCollection* c = &g_collection;
  bool ok = stmt_read_name(c->view_name) && stmt_require(kKwAs) && stmt_require(kKwSelect);
  if (ok && stmt_accept(kTokStar)) {
    c->star = 1;
    ok = stmt_require(kKwFrom);
  } else if (ok) {
    for (;;) {
      ViewColumn col = {};
      if (!stmt_read_qualified_name(col.name)) {
        ok = false;
        break;
      }
      if (!stmt_at(kKwFrom) && !stmt_at(kTokComma)) {
        std::string alias;
        if (!stmt_read_string(&alias)) {
          ok = false;
          break;
        }
        str_copy_n(col.alias, alias.c_str(), sizeof col.alias);
      }
      c->columns.push_back(col);
      if (stmt_accept(kKwFrom)) break;
      if (!stmt_require(kTokComma)) {
        ok = false;
        break;
      }
    }
  }
  if (ok) {
    int32_t order = 0;
    while (lex_has_token() && !stmt_at(kKwWhere)) {
      char name[kTableNameSize];
      if (!stmt_read_name(name)) {
        ok = false;
        break;
      }
      for (MemberTable& m : c->members) {
        if (m.order == 0 && name_matches_member(m, name)) {
          m.order = ++order;
          break;
        }
      }
      stmt_accept(kTokComma);
    }
  }
  if (ok) ok = stmt_require(kKwWhere);
  while (ok) {
    ViewJoin j = {};
    ok = stmt_read_qualified_name(j.first) && stmt_require(kTokEquals) && stmt_read_qualified_name(j.second);
    if (ok) c->joins.push_back(j);
    if (!ok || !stmt_accept(kKwAnd)) break;
  }
  if (ok) {
    view_drop_unnamed_members(c);
    if (c->star) ok = view_expand_star(c) != 0;
    ok = ok && view_resolve_columns(c) && view_check_join_chain(c);
  }
  view_free_member_fields(c, 1);
  return ok ? 1 : 0;
}

// ---- view builder ----------------------------------------------------------------

const char* name_after_dot(const char* name) {
  const char* dot = std::strchr(name, '.');
  return dot != nullptr ? dot + 1 : name;
}

void view_drop_unnamed_members(TableCollection* c) {
  std::vector<MemberTable> kept;
  for (MemberTable& m : c->members) {
    if (m.order == 0) {
      fieldlist_free(m.fields, m.field_count);
    } else {
      kept.push_back(m);
    }
  }
  c->members = kept;
}

int16_t view_expand_star(TableCollection* c) {
  c->columns.clear();
  for (const MemberTable& m : c->members) {
    for (int32_t i = 0; i < m.field_count; ++i) {
      ViewColumn col = {};
      std::snprintf(col.name, sizeof col.name, "%s.%s", m.alias, m.fields[i].name);
      c->columns.push_back(col);
    }
  }
  return 1;
}

int32_t view_find_member(const TableCollection* c, const char* name) {
  const char* dot = std::strchr(name, '.');
  if (dot != nullptr) {
    const std::string table(name, static_cast<size_t>(dot - name));
    for (size_t i = 0; i < c->members.size(); ++i) {
      if (name_matches_member(c->members[i], table.c_str())) return static_cast<int32_t>(i);
    }
    return -1;
  }
  for (size_t i = 0; i < c->members.size(); ++i) {
    const MemberTable& m = c->members[i];
    for (int32_t f = 0; f < m.field_count; ++f) {
      if (mb_str_equal_nocase(m.fields[f].name, name)) return static_cast<int32_t>(i);
    }
  }
  return -1;
}

int16_t view_resolve_columns(TableCollection* c) {
  auto resolve = [&](char* name, int32_t* member) {
    *member = view_find_member(c, name);
    if (*member < 0) {
      err_push(4, kErrViewColumn, name, nullptr);
      return false;
    }
    const std::string rest = name_after_dot(name);
    std::memcpy(name, rest.c_str(), rest.size() + 1);
    return true;
  };
  for (ViewColumn& col : c->columns) {
    if (!resolve(col.name, &col.member)) return 0;
  }
  for (ViewJoin& j : c->joins) {
    if (!resolve(j.first, &j.first_member) || !resolve(j.second, &j.second_member)) return 0;
  }
  return 1;
}

int16_t view_check_join_chain(TableCollection* c) {
  int32_t k = 0;
  for (const ViewJoin& j : c->joins) {
    const int32_t first = c->members[static_cast<size_t>(j.first_member)].order;
    const int32_t second = c->members[static_cast<size_t>(j.second_member)].order;
    if (first == k + 1 && second == k + 2) ++k;
  }
  if (static_cast<int32_t>(c->members.size()) != k + 1) {
    err_push(4, kErrViewJoins, nullptr, nullptr);
    return 0;
  }
  return 1;
}

void view_free_member_fields(TableCollection* c, int16_t named) {
  for (MemberTable& m : c->members) {
    if ((m.order != 0) == (named != 0)) {
      fieldlist_free(m.fields, m.field_count);
      m.fields = nullptr;
      m.field_count = 0;
    }
  }
}
