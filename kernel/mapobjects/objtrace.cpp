// Object trace text. See objtrace.h.
#include "kernel/mapobjects/objtrace.h"

#include <cmath>
#include <cstdarg>
#include <string>
#include <vector>

#include "kernel/coordsys/xform.h"
#include "kernel/mapobjects/mapobj_sect.h"
#include "kernel/mapobjects/mapstyle.h"
#include "kernel/mapobjects/objgeom_arc.h"
#include "kernel/mapobjects/objprop.h"
#include "kernel/runtime/file.h"
#include "kernel/runtime/fmt.h"
#include "kernel/runtime/mb.h"

namespace {

// Formatted output that counts a write of no characters as a failure.
class Out {
 public:
  explicit Out(int32_t file) : file_(file) {}
  bool ok() const { return ok_; }
  Out& put(const char* format, ...) __attribute__((format(printf, 2, 3))) {
    if (!ok_) return *this;
    va_list args;
    va_start(args, format);
    ok_ = file_vprintf(file_, format, args) > 0;
    va_end(args);
    return *this;
  }
  int32_t file() const { return file_; }
  void fail() { ok_ = false; }

 private:
  int32_t file_;
  bool ok_ = true;
};

double rounded(double v, const TraceNumberFormat* f) { return numfmt_round(v, &f->format); }

void point(Out& o, const CoordXform* xform, const IntPoint& p, const TraceNumberFormat& f, int16_t brackets) {
  if (o.ok() && !trace_write_point(xform, &p, &f, o.file(), brackets)) o.fail();
}

void rect(Out& o, const CoordXform* xform, const IntRect& r, const TraceNumberFormat& f, int16_t brackets) {
  if (o.ok() && !trace_write_rect(xform, &r, &f, o.file(), brackets)) o.fail();
}

std::string variable_clause(const char* variable) {
  return variable ? std::string("Into Variable ") + variable + " " : std::string();
}

void pen_line(Out& o, const PenStyle& pen) {
  char clause[64];
  o.put("    %s\n", pen_to_clause(pen.width, pen.pattern, pen.third, pen.colour, clause, sizeof clause));
}

void brush_line(Out& o, const BrushStyle& b) {
  if (b.transparent)
    o.put("    Brush (%u,%lu)\n", static_cast<unsigned>(b.pattern), static_cast<unsigned long>(b.fore & 0xFFFFFF));
  else
    o.put("    Brush (%u,%lu,%lu)\n", static_cast<unsigned>(b.pattern), static_cast<unsigned long>(b.fore & 0xFFFFFF),
          static_cast<unsigned long>(b.back & 0xFFFFFF));
}

void symbol_line(Out& o, const SymbolStyle& s) {
  char clause[160];
  clause[0] = '\0';
  symbol_to_clause(&s, clause, sizeof clause);
  o.put("    %s\n", clause);
}

std::string font_clause(const FontStyle& f) {
  char out[128];
  fmt_format(out, sizeof out, "Font (\"%s\",%u,%u,%lu", f.name, static_cast<unsigned>(font_get_style(&f)),
             static_cast<unsigned>(f.size), static_cast<unsigned long>(f.fore & 0xFFFFFF));
  std::string s = out;
  if (f.back_flag || f.flags[0]) {
    fmt_format(out, sizeof out, ",%lu", static_cast<unsigned long>(f.back & 0xFFFFFF));
    s += out;
  }
  return s + ")";
}

// Sections of a polyline or region: "  n" and the nodes, per section.
void sections(Out& o, MapObject* obj, const CoordXform* xform, const TraceNumberFormat& f, int16_t brackets,
              bool counts) {
  MapSection* h = mapobj_lock_sections(obj, 0);
  for (int32_t s = 0; h && o.ok() && s < obj->u.poly.sections; ++s) {
    if (counts) o.put("  %d\n", static_cast<int>(h[s].node_count));
    const IntPoint* p = mapobj_section_nodes(h, s);
    for (int32_t i = 0; i < h[s].node_count && o.ok(); ++i) {
      point(o, xform, p[i], f, brackets);
      o.put("\n");
    }
  }
}

void write_region(Out& o, MapObject* obj, const CoordXform* xform, const TraceNumberFormat& f, int16_t brackets,
                  const std::string& v) {
  o.put("Region %s %d\n", v.c_str(), static_cast<int>(obj->u.poly.sections));
  sections(o, obj, xform, f, brackets, true);
  pen_line(o, obj->pen);
  brush_line(o, obj->brush);
  IntPoint c;
  mapobj_get_centroid(obj, &c);
  o.put("    Center ");
  point(o, xform, c, f, brackets);
  o.put("\n");
}

void write_polyline(Out& o, MapObject* obj, const CoordXform* xform, const TraceNumberFormat& f, int16_t brackets,
                    const std::string& v) {
  int32_t n = obj->u.poly.sections;
  if (n == 1) {
    o.put("Pline %s%d\n", v.c_str(), static_cast<int>(mapobj_section_node_count(obj, 0)));
  } else {
    o.put("Pline %sMultiple %d\n", v.c_str(), static_cast<int>(n));
  }
  sections(o, obj, xform, f, brackets, n != 1);
  pen_line(o, obj->pen);
  if (obj->u.poly.line_flags & 1) o.put("    Smooth\n");
}

void write_multipoint(Out& o, MapObject* obj, const CoordXform* xform, const TraceNumberFormat& f, int16_t brackets,
                      const std::string& v) {
  o.put("Multipoint  %d\n", static_cast<int>(obj->u.multipoint.count));
  if (!v.empty()) o.put("%s", v.c_str());
  const auto* p = static_cast<const IntPoint*>(obj->nodes);
  for (int32_t i = 0; p && i < obj->u.multipoint.count && o.ok(); ++i) {
    point(o, xform, p[i], f, brackets);
    o.put("\n");
  }
  symbol_line(o, obj->u.multipoint.symbol);
}

// The string of a text as escaped pieces of at most kTracePieceMax bytes.
std::vector<std::string> text_pieces(const char* text, int32_t length) {
  std::vector<std::string> pieces(1);
  for (int32_t i = 0; i < length && text[i];) {
    std::string unit;
    if (i + 1 < length && text[i + 1] && mb_is_lead_byte(text + i)) {
      unit.assign(text + i, 2);
      i += 2;
    } else {
      char c = text[i++];
      if (c == '\r' && i < length && text[i] == '\n') ++i;
      if (c == '\n' || c == '\r') unit = "\\n";
      else if (c == '"') unit = "\"\"";
      else if (c == '\\') unit = "\\\\";
      else unit.assign(1, c);
    }
    if (pieces.back().size() + unit.size() > static_cast<size_t>(kTracePieceMax)) pieces.emplace_back();
    pieces.back() += unit;
  }
  return pieces;
}

void write_text(Out& o, MapObject* obj, const CoordXform* xform, const TraceNumberFormat& f, int16_t brackets,
                const char* variable) {
  const MapTextPart& t = obj->u.text;
  if (variable) o.put("Text Into Variable %s \n", variable);
  else o.put("Text\n");
  auto pieces = text_pieces(static_cast<const char*>(obj->nodes ? obj->nodes : ""), obj->nodes ? t.length : 0);
  if (!brackets) {
    o.put("    \"");
    for (const std::string& piece : pieces)
      if (!piece.empty()) o.put("%s", piece.c_str());
    o.put("\"\n");
  } else {
    for (size_t i = 0; i < pieces.size(); ++i) o.put("    \"%s\"%s\n", pieces[i].c_str(), i + 1 < pieces.size() ? "+" : "");
  }
  IntRect box;
  objtext_unrotated_box(obj, xform, &box);
  o.put("    ");
  rect(o, xform, box, f, brackets);
  o.put("\n    %s\n", font_clause(t.font).c_str());
  if (t.angle != 0) o.put("    Angle %g\n", t.angle / 10.0);
  int32_t justify = (t.flags >> 1) & 3, spacing = (t.flags >> 3) & 3, label = (t.flags >> 5) & 7;
  if (justify == 1) o.put("    Justify Center\n");
  if (justify == 2) o.put("    Justify Right\n");
  if (spacing == 1) o.put("    Spacing %g", 1.5);
  if (spacing == 2) o.put("    Spacing %g", 2.0);
  if (spacing == 3) o.put("    Spacing %g", 1.0);
  if (label != 0) {
    o.put("    Label Line %s ", label == 1 ? "Simple" : "Arrow");
    point(o, xform, t.label_end, f, brackets);
  }
  o.put("\n");
}

void write_arc(Out& o, MapObject* obj, const CoordXform* xform, const TraceNumberFormat& f, int16_t brackets,
               const std::string& v) {
  const IntRect& r = obj->u.arc.rect;
  IntPoint corners[2] = {{r.x1, r.y1}, {r.x2, r.y2}};
  DPoint user[2];
  xform_int_to_xy(corners, user, xform, 2);
  int16_t flip_x = static_cast<int16_t>((user[0].x > user[1].x) != (r.x1 > r.x2));
  int16_t flip_y = static_cast<int16_t>((user[0].y > user[1].y) != (r.y1 > r.y2));
  int16_t s = obj->u.arc.start, e = obj->u.arc.end;
  mapobjx_arc_mirror_angles(&s, &e, flip_x, flip_y);
  o.put("Arc %s", v.c_str());
  rect(o, xform, r, f, brackets);
  o.put(" %g %g\n", (s % 3600) / 10.0, (e % 3600) / 10.0);
  pen_line(o, obj->pen);
}

void write_boxed(Out& o, MapObject* obj, const CoordXform* xform, const TraceNumberFormat& f, int16_t brackets,
                 const std::string& v, const char* keyword) {
  o.put("%s %s", keyword, v.c_str());
  rect(o, xform, obj->mbr, f, brackets);
  if (obj->type == MAPOBJ_ROUNDRECT) {
    o.put(" ");
    if (o.ok() && !trace_write_length(xform, obj->u.roundrect.corner_width, &f, o.file())) o.fail();
  }
  o.put("\n");
  pen_line(o, obj->pen);
  brush_line(o, obj->brush);
  if (obj->type == MAPOBJ_FRAME) {
    o.put("    Title %s\n", "\"\"");
    o.put("    FillFrame %s\n", obj->u.frame.frame_flags & 1 ? "On" : "Off");
  }
}

}  // namespace

int16_t trace_write_point(const CoordXform* xform, const IntPoint* p, const TraceNumberFormat* f, int32_t file,
                          int16_t brackets) {
  DPoint u;
  xform_int_to_xy(p, &u, xform, 1);
  Out o(file);
  o.put(brackets ? "(%.10g,%.10g)" : "%.10g %.10g", rounded(u.x, f), rounded(u.y, f));
  return o.ok() ? 1 : 0;
}

int16_t trace_write_rect(const CoordXform* xform, const IntRect* r, const TraceNumberFormat* f, int32_t file,
                         int16_t brackets) {
  DRect u;
  xform_int_rect_to_xy(r, &u, xform);
  Out o(file);
  o.put(brackets ? "(%.10g,%.10g) (%.10g,%.10g)" : "%.10g %.10g %.10g %.10g", rounded(u.x1, f), rounded(u.y1, f),
        rounded(u.x2, f), rounded(u.y2, f));
  return o.ok() ? 1 : 0;
}

int16_t trace_write_length(const CoordXform* xform, int32_t length, const TraceNumberFormat* f, int32_t file) {
  IntPoint p[2] = {{0, 0}, {length, 0}};
  DPoint u[2];
  xform_int_to_xy(p, u, xform, 2);
  Out o(file);
  o.put("%.10g", rounded(std::hypot(u[1].x - u[0].x, u[1].y - u[0].y), f));
  return o.ok() ? 1 : 0;
}

int16_t object_write_text(int32_t file, MapObject* obj, const CoordXform* xform, int16_t brackets,
                          const char* variable) {
  TraceNumberFormat f{};
  f.unit = xform_units(xform);
  f.format.kind = f.unit;
  IntPoint centre;
  rect_center(&obj->mbr, &centre);
  xform_precision_at(xform, &centre, &f.format, nullptr, nullptr);
  const std::string v = variable_clause(variable);
  Out o(file);
  switch (obj->type) {
    case MAPOBJ_POINT:
      o.put("Point %s", v.c_str());
      point(o, xform, obj->u.point.location, f, brackets);
      o.put("\n");
      symbol_line(o, obj->u.point.symbol);
      break;
    case MAPOBJ_LINE:
      o.put("Line %s", v.c_str());
      point(o, xform, obj->u.line.start, f, brackets);
      o.put(" ");
      point(o, xform, obj->u.line.end, f, brackets);
      o.put("\n");
      pen_line(o, obj->pen);
      break;
    case MAPOBJ_ARC: write_arc(o, obj, xform, f, brackets, v); break;
    case MAPOBJ_POLYLINE: write_polyline(o, obj, xform, f, brackets, v); break;
    case MAPOBJ_REGION: write_region(o, obj, xform, f, brackets, v); break;
    case MAPOBJ_TEXT: write_text(o, obj, xform, f, brackets, variable); break;
    case MAPOBJ_RECT: write_boxed(o, obj, xform, f, brackets, v, "Rect"); break;
    case MAPOBJ_ROUNDRECT: write_boxed(o, obj, xform, f, brackets, v, "Roundrect"); break;
    case MAPOBJ_ELLIPSE: write_boxed(o, obj, xform, f, brackets, v, "Ellipse"); break;
    case MAPOBJ_FRAME: write_boxed(o, obj, xform, f, brackets, v, "Frame"); break;
    case MAPOBJ_MULTIPOINT: write_multipoint(o, obj, xform, f, brackets, v); break;
    case MAPOBJ_COLLECTION: {
      MapObject* parts[3] = {obj->u.collection.region, obj->u.collection.polyline, obj->u.collection.multipoint};
      int present = 0;
      for (MapObject* part : parts) present += part && !mapobj_is_empty(part) ? 1 : 0;
      o.put("Collection %d\n", present);
      if (!v.empty()) o.put("%s", v.c_str());
      if (parts[0] && !mapobj_is_empty(parts[0])) write_region(o, parts[0], xform, f, brackets, "");
      if (parts[1] && !mapobj_is_empty(parts[1])) write_polyline(o, parts[1], xform, f, brackets, "");
      if (parts[2] && !mapobj_is_empty(parts[2])) write_multipoint(o, parts[2], xform, f, brackets, "");
      break;
    }
    default: return 0;
  }
  return o.ok() ? 1 : 0;
}
