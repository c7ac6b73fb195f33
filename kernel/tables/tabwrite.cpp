// The table definition writer and the file-version rules.
#include "kernel/tables/tabwrite.h"

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <string>

#include "kernel/drivers/ascii_text.h"
#include "kernel/coordsys/coordsys_text.h"
#include "kernel/runtime/charset.h"
#include "kernel/runtime/err.h"
#include "kernel/runtime/file.h"
#include "kernel/runtime/kstr.h"
#include "kernel/runtime/path.h"
#include "kernel/runtime/str.h"
#include "kernel/mapobjects/mapobj_sect.h"
#include "kernel/tables/lang/metadata.h"
#include "kernel/mapobjects/mapstore.h"
#include "kernel/tables/index/indexfile.h"
#include "kernel/tables/odbctype.h"
#include "kernel/tables/tabtype.h"

namespace {

// Writes through one text file and remembers whether every write
// succeeded.
struct TabWriter {
  int32_t file;
  bool ok = true;

  void put(const char* format, ...) __attribute__((format(printf, 2, 3))) {
    va_list args;
    va_start(args, format);
    if (file_vprintf(file, format, args) < 0) ok = false;
    va_end(args);
  }
};

std::string quoted(const std::string& text) { return tabfile_quoted(text); }

std::string charset_text(int32_t cs, int32_t version) {
  std::string out = " ";
  out.append(version < 300 ? charset_alias_name(cs) : quoted(charset_name(cs)).c_str());
  return out;
}

std::string pen_clause(const PenStyle& p) {
  char b[96];
  std::snprintf(b, sizeof b, "Pen (%d,%d,%u)", p.width, p.pattern, p.colour);
  return b;
}

std::string brush_clause(const BrushStyle& b) {
  char out[96];
  if (b.transparent) {
    std::snprintf(out, sizeof out, "Brush (%d,%u)", b.pattern, b.fore);
  } else {
    std::snprintf(out, sizeof out, "Brush (%d,%u,%u)", b.pattern, b.fore, b.back);
  }
  return out;
}

std::string symbol_clause(const SymbolStyle& s) {
  char out[160];
  if (s.kind == 1) {
    std::snprintf(out, sizeof out, "Symbol (%d,%u,%d,%s,%d,%g)", s.shape, s.colour, s.size,
                  quoted(s.font.name).c_str(), symbol_get_font_style(&s), s.rotation / 10.0);
  } else if (s.kind == 2) {
    std::snprintf(out, sizeof out, "Symbol (%s,%u,%d,%d)", quoted(s.bitmap.name).c_str(), s.colour, s.size,
                  symbol_get_bitmap_style(&s));
  } else {
    std::snprintf(out, sizeof out, "Symbol (%d,%u,%d)", s.shape, s.colour, s.size);
  }
  return out;
}

}  // namespace

std::string tabfile_quoted(const std::string& text) {
  std::string out(text.size() * 2 + 3, '\0');
  ascii_quote_string(text.c_str(), out.data(), static_cast<int32_t>(out.size()));
  out.resize(std::strlen(out.c_str()));
  return out;
}

std::string tabfile_object_clauses(const ObjectSystemRecord* o) {
  if (o == nullptr) return "";
  std::string s;
  if (o->has_transform) {
    char text[1024];
    if (coordsys_to_text(&o->xform, text, sizeof text, 1) && text[0] != '\0') {
      s += ' ';
      s.append(text);
    }
  }
  if (o->style_flags & kStyleLinePen) (s += " linestyle ") += pen_clause(o->line_pen);
  if (o->style_flags & (kStyleRegionPen | kStyleBrush))
    ((((s += " regionstyle ") += pen_clause(o->region_pen)) += ' ') += brush_clause(o->region_brush));
  if (o->style_flags & kStyleSymbol) (s += " ") += symbol_clause(o->symbol);
  return s;
}

namespace {

bool printable_delimiter(uint8_t c) {
  return c > ' ' && c < 0x7F && c != '"' && c != '\'';
}

// The Type clause of the definition; answers whether the type has one.
bool write_type(TabWriter* w, TableDef* t, const ObjectSystemRecord* object, const FmeRecord* fme) {
  const StorageDesc& s = t->storage;
  const bool modern = t->version >= 300;
  const char* open = modern ? "  Type " : "FORMAT: ";
  const int32_t cs = typeopts_charset(s.options);
  switch (s.type) {
    case TABTYPE_DBF: {
      const auto* o = std::get_if<NativeOptions>(&s.options);
      const bool shp = o != nullptr && o->shapefile;
      w->put("%s%s Charset%s%s\n", open, shp ? "SHAPEFILE" : "DBF", charset_text(cs, t->version).c_str(),
             shp ? tabfile_object_clauses(object).c_str() : "");
      return true;
    }
    case TABTYPE_WKS:
    case TABTYPE_XLS: {
      const auto* o = std::get_if<SheetOptions>(&s.options);
      std::string options;
      if (o != nullptr && o->titles) {
        options += ' ';
        options.append(kernel_string(6180));
      }
      if (o != nullptr && !o->range.empty()) (options += " Range ") += quoted(o->range);
      w->put("%s%s%s\n", open, s.type == TABTYPE_WKS ? "WKS" : "XLS", options.c_str());
      return true;
    }
    case TABTYPE_ASCII: {
      const auto* o = std::get_if<AsciiOptions>(&s.options);
      const uint8_t d = o != nullptr ? o->delimiter : 9;
      char delim[16];
      if (printable_delimiter(d)) {
        std::snprintf(delim, sizeof delim, " \"%c\"", d);
      } else {
        std::snprintf(delim, sizeof delim, " %02d", d);
      }
      w->put("%sASCII Delimiter%s%s Charset%s\n", open, delim, o != nullptr && o->titles ? " Titles" : "",
             charset_text(o != nullptr ? o->charset : cs, t->version).c_str());
      return true;
    }
    case TABTYPE_NATIVE:
      if (!modern) return true;
      w->put("%s%s Charset%s\n", open, t->linked ? "LINKED" : t->wfs ? "WFS" : "NATIVE",
             charset_text(cs, t->version).c_str());
      return true;
    case TABTYPE_ACCESS: {
      const auto* o = std::get_if<AccessOptions>(&s.options);
      w->put("%sACCESS TABLE %s Charset%s\n", open, quoted(o != nullptr ? o->table : "").c_str(),
             charset_text(cs, t->version).c_str());
      return true;
    }
    case TABTYPE_QUERY:
      w->put("%sQUERY", open);
      return true;
    case TABTYPE_ODBC: {
      std::string line;
      if (!odbctype_write_tab(t, &line)) return false;
      w->put("%s", line.c_str());
      return true;
    }
    case TABTYPE_FME:
      w->put("%s%s Charset%s\n", open, kernel_string(6618),
             charset_text(fme != nullptr ? fme->charset : cs, t->version).c_str());
      return true;
    default:
      return false;
  }
}

void write_file_clause(TabWriter* w, const TableDef* t) {
  const StorageDesc& s = t->storage;
  if (s.type == TABTYPE_ODBC || s.type == TABTYPE_FME || s.data_file <= 0) return;
  char rel[kPathSize * 2] = {};
  file_get_relative_path(s.data_file, rel, t->def_file);
  // The definition's own name with the type's data extension.
  char own_name[kPathSize] = {};
  char own_rel[kPathSize] = {};
  file_get_name(t->def_file, own_name);
  path_with_extension(own_rel, own_name, tabtype_extension(s.type));
  if (s.type != TABTYPE_RASTER && path_text_equal(rel, own_rel)) return;
  if (t->version >= 300) {
    w->put("  File %s\n", quoted(rel).c_str());
  } else {
    w->put("FILE: %s\n", rel);
  }
}

// "Open Table path as alias Interactive" for each pair of the two lists,
// until either list ends.
void write_query_members(TabWriter* w, const std::string& paths, const std::string& aliases) {
  size_t p = 0, a = 0;
  while (p < paths.size() && a < aliases.size()) {
    size_t pe = paths.find('/', p);
    size_t ae = aliases.find(',', a);
    if (pe == std::string::npos) pe = paths.size();
    if (ae == std::string::npos) ae = aliases.size();
    w->put("Open Table %s as %s Interactive\n", paths.substr(p, pe - p).c_str(), aliases.substr(a, ae - a).c_str());
    p = pe + 1;
    a = ae + 1;
  }
}

void write_fields(TabWriter* w, const TableDef* t, bool type_ok) {
  const bool modern = t->version >= 300;
  w->put(modern ? "  Fields %d\n" : "FIELDS: %d\n", t->field_count);
  if (!type_ok) return;
  for (int32_t i = 0; i < t->field_count; ++i) {
    const FieldDef& f = t->fields[i];
    char type[64];
    field_type_text(f.value.type, f.width, f.decimals, type, sizeof type);
    std::string line = std::string("    ") + f.name + " " + type;
    if (f.index != nullptr) {
      (line += " Index ") += std::to_string(f.index->number);
      if (f.index->unique) line += " Unique";
    }
    if (f.read_only && f.autokey) line += " Autokey";
    else if (f.read_only) line += " ReadOnly";
    line += modern ? " ;\n" : "\n";
    w->put("%s", line.c_str());
  }
}

}  // namespace

bool version_raise(VersionTriple* t, int32_t v, int32_t r, int32_t e) {
  bool changed = false;
  if (v > t->version) t->version = v, changed = true;
  if (r > t->read_entire) t->read_entire = r, changed = true;
  if (e > t->edit) t->edit = e, changed = true;
  return changed;
}

int32_t version_for_coordsys(int32_t projection_type, int32_t ellipsoid) {
  switch (projection_type) {
    case 26: return 452;
    case 27: return 550;
    case 28: return 600;
    case 29: case 30: return 650;
    case 31: return 700;
    case 32: return 900;
    default: break;
  }
  switch (ellipsoid) {
    case 49: return 550;
    case 50: case 51: return 600;
    case 52: return 700;
    case 53: return 800;
    default: return 0;
  }
}

int32_t version_for_xform(const CoordXform* x) {
  if (x == nullptr) return 0;
  // A non-earth system keeps no datum, so only its projection type counts.
  return version_for_coordsys(x->type, x->type == 0 ? 0 : x->def.datum.ellipsoid);
}

namespace {

int32_t node_bytes(const MapObject* q) {
  int32_t n = 0;
  mapobj_buffer_sizes(q, &n, nullptr, nullptr);
  return n;
}

bool is_poly(const MapObject* q) { return q->type == MAPOBJ_POLYLINE || q->type == MAPOBJ_REGION; }

// The section-order test reads the headers only.
bool sections_in_order(const MapObject* q) { return mapobjx_sections_in_order(const_cast<MapObject*>(q)) != 0; }

}  // namespace

bool tabfile_min_version(const VersionTriple* p, VersionTriple* o, const MapObject* q, const TableDef* t) {
  *o = *p;
  if (p->version >= 452 && p->edit >= 800) return false;
  const int32_t cs = version_for_xform(t != nullptr ? mapstore_get_xform(&t->map) : nullptr);
  if (cs > 0 && version_raise(o, cs, cs, cs)) return true;
  bool raised = false;
  if (q != nullptr && mapobj_is_multi(q)) {
    raised = version_raise(o, 100, 300, mapobj_is_large_format(q, 0) ? 650 : 800) || raised;
  }
  if ((p->version < 800 || p->edit < 800) && q != nullptr) {
    const int32_t table_version = t != nullptr ? t->version : p->version;
    if (mapobj_has_point_pen(q)) {
      raised = version_raise(o, 450, 450, 450) || raised;
    } else if (is_poly(q) && !mapobj_is_small_format(q, 0)) {
      raised = version_raise(o, 100, 300, mapobj_is_large_format(q, 0) ? 450 : 800) || raised;
    } else if (is_poly(q) && table_version < 300) {
      const bool split = q->type == MAPOBJ_POLYLINE ? q->u.poly.sections >= 2 : !sections_in_order(q);
      if (node_bytes(q) > 65000 || split) raised = version_raise(o, 100, 300, 300) || raised;
    } else if (q->type == MAPOBJ_TYPE11 || q->type == MAPOBJ_TYPE12) {
      raised = version_raise(o, 100, 300, 300) || raised;
    }
  }
  if (raised && o->edit > 299) {
    o->version = std::max(o->version, 300);
    o->read_entire = std::max(o->read_entire, 300);
  }
  return raised;
}

int16_t tabfile_version_for_object(int32_t mode, MapObject* q, TableDef* t) {
  if (t == nullptr) return 0;
  const VersionTriple p{t->version, t->read_entire, t->edit};
  VersionTriple o{};
  if (!tabfile_min_version(&p, &o, q, t)) return 1;
  if (mode != 100 || o.edit <= 100) {
    version_copy_into(t, &o);
    return 1;
  }
  const CoordXform* x = mapstore_get_xform(&t->map);
  int32_t need = 0;
  if (x != nullptr) {
    need = std::max(version_for_coordsys(x->type, 0), x->type == 0 ? 0 : version_for_coordsys(0, x->def.datum.ellipsoid));
  }
  if (t->edit < need || (q != nullptr && node_bytes(q) > 65000)) return 0;
  if (q != nullptr && q->type == MAPOBJ_REGION && !sections_in_order(q)) {
    MapSection* h = mapobj_lock_sections(q, 0);
    const int16_t ok = h != nullptr ? mapobjx_reorder_section_nodes(q, h) : 0;
    if (h != nullptr) mapobj_unlock_sections(q, h, 0);
    return ok;
  }
  return 0;
}

int32_t version_for_field_types(const FieldDef* fields, int32_t count, int32_t* type_found) {
  for (int32_t i = 0; fields != nullptr && i < count; ++i) {
    const uint8_t ty = fields[i].value.type;
    if (ty == VALUE_TIME || ty == VALUE_DATETIME || ty == VALUE_LARGEINT) {
      if (type_found) *type_found = ty;
      return 900;
    }
  }
  return 100;
}

void version_set_all(TableDef* t, int32_t v) { t->version = t->read_entire = t->edit = v; }

void version_copy_into(TableDef* t, const VersionTriple* v) {
  t->version = v->version;
  t->read_entire = v->read_entire;
  t->edit = v->edit;
}

VersionTriple version_largest(TableDef* const* tables, int32_t count) {
  VersionTriple out{0, 0, 0};
  for (int32_t i = 0; i < count; ++i) {
    if (tables[i] != nullptr) version_raise(&out, tables[i]->version, tables[i]->read_entire, tables[i]->edit);
  }
  return out;
}

int32_t version_largest_edit(TableDef* const* tables, int32_t count) { return version_largest(tables, count).edit; }

int32_t version_for_column_types(const OpenTable* e, int32_t* type_found) {
  for (const uint8_t ty : {VALUE_TIME, VALUE_DATETIME, VALUE_LARGEINT}) {
    if (open_table_has_column_type(e, ty)) {
      if (type_found) *type_found = ty;
      return 900;
    }
  }
  return 100;
}

void tabfile_apply_version_rules(TableDef* t) {
  VersionTriple v{t->version, t->read_entire, t->edit};
  if (t->wfs && tabdef_has_indexed_field(t)) version_raise(&v, 800, 800, 800);
  const int32_t need = version_for_field_types(t->fields, t->field_count, nullptr);
  version_raise(&v, need, need, need);
  t->version = v.version;
  t->read_entire = v.read_entire;
  t->edit = v.edit;
}

int16_t field_type_text(int32_t type, int32_t width, int32_t decimals, char* out, int32_t size) {
  switch (type) {
    case 1: std::snprintf(out, static_cast<size_t>(size), "%s (%d)", kernel_string(6301), width); return 1;
    case 2: std::snprintf(out, static_cast<size_t>(size), "%s (%d, %d)", kernel_string(6302), width, decimals); return 1;
    case 3: str_copy_n(out, "Integer", size); return 1;
    case 4: str_copy_n(out, "Smallint", size); return 1;
    case 5: str_copy_n(out, "Date", size); return 1;
    case 6: str_copy_n(out, "Logical", size); return 1;
    case 8: str_copy_n(out, "Float", size); return 1;
    case 9: str_copy_n(out, "Memo", size); return 1;
    case 37: str_copy_n(out, kernel_string(6310), size); return 1;
    case 38: str_copy_n(out, kernel_string(6311), size); return 1;
    case 39: str_copy_n(out, kernel_string(6312), size); return 1;
    default:
      if (size > 0) out[0] = '\0';
      return 0;
  }
}

int16_t tabfile_write(TableDef* t, const ObjectSystemRecord* object, const WfsRecord* wfs, const FmeRecord* fme) {
  if (t == nullptr || file_check_handle(t->def_file) < 0) return 0;
  tabfile_apply_version_rules(t);
  char dir[kPathSize] = {};
  file_get_dir(t->def_file, dir);
  char temp[kPathSize];
  if (file_temp_name(temp, dir[0] ? dir : nullptr) != 1) return 0;
  const int32_t h = file_register_nocheck(temp, 0);
  if (h <= 0) {
    file_remove_path(temp);
    return 0;
  }
  file_set_charset(h, t->version < 300 ? charset_from_name("ANSI") : charset_current());
  if (file_open_text(h, 3, nullptr) == 0) {
    file_unregister(h);
    file_remove_path(temp);
    return 0;
  }
  TabWriter w{h};
  const bool modern = t->version >= 300;
  w.put("!table\n!version %d\n", t->version);
  if (const auto* q = std::get_if<QueryOptions>(&t->storage.options); t->storage.type == TABTYPE_QUERY && q) {
    write_query_members(&w, q->paths, q->aliases);
    if (!q->paths2.empty() && !q->aliases2.empty()) write_query_members(&w, q->paths2, q->aliases2);
  }
  if (t->storage.type != TABTYPE_QUERY) {
    if (modern) w.put("!charset %s\n", charset_name(charset_current()));
    if (t->read_entire != t->version) w.put("!readentire_version %d\n", t->read_entire);
    if (t->edit != t->read_entire) w.put("!edit_version %d\n", t->edit);
  }
  if (modern) w.put("\nDefinition Table\n");
  if (!t->description.empty()) {
    if (modern) {
      w.put("  Description %s\n", quoted(t->description).c_str());
    } else {
      w.put("DESCRIPTION: %s\n", t->description.c_str());
    }
  }
  write_file_clause(&w, t);
  const bool type_ok = write_type(&w, t, object, fme);
  const uint8_t type = t->storage.type;
  if (type != TABTYPE_QUERY && type != TABTYPE_ODBC && t->fields != nullptr) write_fields(&w, t, type_ok);
  if (type != TABTYPE_QUERY) {
    const bool records = object != nullptr || wfs != nullptr || fme != nullptr;
    if (records && t->metadata == nullptr) t->metadata = metadata_new();
    if (!metadata_is_empty(t->metadata) || records) {
      if (t->version <= 300) w.put("ReadOnly\n");
      if (!metadata_write(t->metadata, h, nullptr)) w.ok = false;
    }
  }
  if (file_flush_text(h) != 0 || file_error(h) != 0) w.ok = false;
  if (file_release(h) < 0) w.ok = false;
  file_unregister(h);
  if (!w.ok) {
    file_remove_path(temp);
    return 0;
  }
  if (!file_replace(temp, t->def_file)) return 0;
  return type_ok ? 1 : 0;
}

int16_t tabfile_write_plain(TableDef* t) { return tabfile_write(t, nullptr, nullptr, nullptr); }

void tabfile_write_type_clause(std::string* text, int32_t ext_id, const TypeOptions* options) {
  const auto charset = [&](int32_t cs) { return std::string(" Charset ") + quoted(charset_name(cs)); };
  switch (ext_id) {
    case 1: case 2: case 17:
      *text += " TYPE NATIVE";
      if (options) *text += charset(typeopts_charset(*options));
      if (ext_id == 2) *text += " Version 100";
      return;
    case 4: case 85: {
      *text += " TYPE ASCII";
      const auto* o = options ? std::get_if<AsciiOptions>(options) : nullptr;
      if (o != nullptr) {
        (*text += " Delimiter ") += std::to_string(o->delimiter);
        if (o->titles) *text += " Titles";
        *text += charset(o->charset);
      }
      return;
    }
    case 18: case 76: {
      const auto* o = options ? std::get_if<NativeOptions>(options) : nullptr;
      *text += o != nullptr && o->shapefile ? " TYPE SHAPEFILE" : " TYPE DBF";
      if (o != nullptr) *text += charset(o->charset);
      return;
    }
    case 20: case 21: {
      *text += ext_id == 20 ? " TYPE WKS" : " TYPE XLS";
      const auto* o = options ? std::get_if<SheetOptions>(options) : nullptr;
      if (o != nullptr) {
        if (o->titles) *text += " Titles ";
        if (!o->range.empty()) (*text += " Range ") += quoted(o->range);
        if (ext_id == 21 && o->interactive) *text += std::string(" ") + kernel_string(6246);
      }
      return;
    }
    case 63: {
      *text += " Type ACCESS";
      const auto* o = options ? std::get_if<AccessOptions>(options) : nullptr;
      if (o != nullptr) {
        (*text += " Database ") += quoted(o->database);
        if (o->version == 4) *text += " Version 3.0";
        else if (o->version != 0) *text += " Version 4.0";
        (*text += " Table ") += quoted(o->table);
        if (!o->password.empty()) (*text += " Password ") += quoted(o->password);
      }
      return;
    }
    default:
      return;
  }
}
