// The CoordSys clause: its writer, its reader from a text (over the
// statement language's clause parser) and the number list that the clause
// and the projection list file share.
//
// The writer's output is compared character by character with stored texts:
// every piece is formatted by the kernel formatter (never the C library's,
// never the process locale) and appended within the caller's room, so a long
// clause is cut at the end of the buffer, never past it.
#include "kernel/coordsys/coordsys_text.h"

#include <cmath>
#include <cstring>

#include "kernel/coordsys/conv.h"
#include "kernel/coordsys/datum.h"
#include "kernel/coordsys/unit.h"
#include "kernel/coordsys/xform.h"
#include "kernel/runtime/err.h"
#include "kernel/runtime/fmt.h"
#include "kernel/runtime/kstr.h"
#include "kernel/runtime/valconv.h"
#include "kernel/tables/clause_coordsys.h"
#include "kernel/tables/lang/keywords.h"
#include "kernel/tables/lang/lexer.h"

namespace {

constexpr int32_t kFmtEarthHeader = 6270;
constexpr int32_t kFmtBounds = 6271;
constexpr int32_t kFmtNonEarthHeader = 6272;
constexpr int32_t kFmtUnitName = 6273;
constexpr int32_t kFmtDatum9999 = 6274;
constexpr int32_t kFmtLayoutHeader = 6275;
constexpr const char* kFmtDatum999 = ", %d, %.12g, %.12g, %.12g";
constexpr const char* kFmtAffineLead = " Affine Units \"%s\"";

// Appends pieces within the caller's room; notes when one did not fit.
struct ClauseOut {
  char* buffer;
  int32_t size;
  int32_t length = 0;
  bool cut = false;
  void append(const char* piece) {
    const int32_t n = static_cast<int32_t>(std::strlen(piece));
    const int32_t room = size - 1 - length;
    const int32_t take = n < room ? n : room;
    std::memcpy(buffer + length, piece, static_cast<size_t>(take));
    length += take;
    buffer[length] = '\0';
    if (take < n) cut = true;
  }
  template <class... Args>
  void appendf(const char* format, Args... args) {
    char piece[512];
    fmt_format(piece, sizeof piece, format, args...);
    append(piece);
  }
  void append_number(double v) {
    char piece[400];
    number_format_trim(v, piece, sizeof piece);
    append(", ");
    append(piece);
  }
};

void write_affine(ClauseOut& out, const CoordSysDef& def) {
  if (!(def.flags & COORDSYS_AFFINE)) return;
  char name[40];
  unit_get_name(def.affine_units, name, sizeof name);
  out.appendf(kFmtAffineLead, name);
  for (double v : def.affine) out.append_number(v);
}

bool is_whole_world(const DRect& b) {
  const DRect w{-360, -90, 360, 90};
  return std::memcmp(&b, &w, sizeof b) == 0;
}

}  // namespace

int16_t coordsys_to_text(const CoordXform* xform, char* buffer, int32_t size, int16_t with_bounds, int16_t* cut) {
  if (cut) *cut = 0;
  if (buffer == nullptr || size <= 0) return 0;
  buffer[0] = '\0';
  ClauseOut out{buffer, size};
  const int32_t type = xform->type;
  CoordSysDef def;
  std::memcpy(&def, &xform->def, sizeof def);
  const int16_t units = xform_units(xform);
  char proj_name[40], units_name[40];
  unit_get_name(xform_projection_units(xform), proj_name, sizeof proj_name);
  unit_get_name(units, units_name, sizeof units_name);
  bool bounds = with_bounds != 0;
  if (type != PROJ_NONEARTH) {
    const DatumDef& d = def.datum;
    int16_t number = 0;
    if (datum_find_number(&d, &number)) {
      out.appendf(kernel_string(kFmtEarthHeader), type, int32_t{number});
    } else if (d.rx == 0 && d.ry == 0 && d.rz == 0 && d.scale_ppm == 0 && d.prime_meridian == 0) {
      out.appendf(kernel_string(kFmtEarthHeader), type, 999);
      out.appendf(kFmtDatum999, int32_t{d.ellipsoid}, d.dx, d.dy, d.dz);
    } else {
      out.appendf(kernel_string(kFmtEarthHeader), type, 9999);
      out.appendf(kernel_string(kFmtDatum9999), int32_t{d.ellipsoid}, d.dx, d.dy, d.dz, d.rx, d.ry, d.rz,
                  d.scale_ppm, d.prime_meridian);
    }
    if (type != PROJ_LATLONG) {
      out.appendf(kernel_string(kFmtUnitName), proj_name);
      for (int i = 0; i < coordsys_param_count(type); ++i) out.append_number(def.params[i]);
    }
    write_affine(out, def);
  } else if (xform_is_layout(xform)) {
    out.appendf(kernel_string(kFmtLayoutHeader), units_name);
    bounds = false;
  } else {
    out.appendf(kernel_string(kFmtNonEarthHeader), proj_name);
    write_affine(out, def);
  }
  if (bounds) {
    DRect b;
    xform_bounds_in_units(xform, &b, units);
    if (!(type == PROJ_LATLONG && is_whole_world(b))) out.appendf(kernel_string(kFmtBounds), b.x1, b.y1, b.x2, b.y2);
  }
  if (cut) *cut = out.cut ? 1 : 0;
  return 1;
}

int16_t coordsys_parse_text(CoordXform* xform, const char* text, int16_t with_bounds) {
  if (text == nullptr) return 0;
  LexerState saved;
  stmt_save_lexer(&saved);
  lex_begin_text(text);
  lex_next();
  if (lex_is(kKwCoordSys)) lex_next();
  int16_t ok = 0;
  if (lex_is(kKwEarth) || lex_is(kKwNonEarth)) {
    int16_t type = 0;
    CoordSysDef def;
    coordsys_clear(&def);
    DRect bounds{};
    ok = clause_parse_coordsys(&type, &def, with_bounds ? &bounds : nullptr);
    if (ok) {
      xform_init(xform, type, &def);
      if (with_bounds) xform_set_bounds(xform, &bounds);
    }
  }
  lex_begin_text(nullptr);
  stmt_restore_lexer(&saved);
  return ok;
}

int16_t coordsys_from_text(CoordXform* xform, const char* text, int16_t with_bounds) {
  const int16_t ok = coordsys_parse_text(xform, text, with_bounds);
  err_clear();
  return ok;
}

// ---- number list ------------------------------------------------------------------

namespace {

bool value_is_number(const Value* v) {
  switch (v->type) {
    case VALUE_DECIMAL: case VALUE_INTEGER: case VALUE_SMALLINT: case VALUE_FLOAT: case VALUE_LARGEINT:
      return true;
    default:
      return false;
  }
}

bool number_of(const Value* v, double* out) {
  if (!value_is_number(v)) return false;
  return value_get_double(v, out) != 0;
}

// A numeric value as a 16-bit code, only when it fits.
bool code_of(const Value* v, int16_t* out) {
  double d;
  if (!number_of(v, &d)) return false;
  const double r = std::round(d);
  if (!(r >= -32768.0 && r <= 32767.0)) return false;
  *out = static_cast<int16_t>(r);
  return true;
}

// The value as error text: a number with %.12g, a text as it stands.
void push_value_error(int16_t code, const Value* v) {
  char text[64];
  double d;
  char* p = nullptr;
  if (number_of(v, &d))
    fmt_format(text, sizeof text, "%.12g", d);
  else if (value_is_text_type(v->type) && value_text_ptr(v, &p) != nullptr)
    fmt_format(text, sizeof text, "%s", p);
  else
    text[0] = '\0';
  err_push(4, code, text, nullptr);
}

const Value kNone{};

const Value* at(const Value* values, int32_t position) {
  return position >= 1 && position <= kCoordSysMaxNumbers ? &values[position - 1] : &kNone;
}

}  // namespace

int16_t coordsys_read_unit(const Value* value, int16_t* unit) {
  int16_t code = 0;
  char* text = nullptr;
  if (value_is_text_type(value->type)) {
    if (value_text_ptr(value, &text) == nullptr || !unit_from_name(text, &code)) {
      push_value_error(kErrCsUnitName, value);
      return 0;
    }
  } else if (!code_of(value, &code)) {
    if (value->type != VALUE_NONE) push_value_error(kErrCsNotLinear, value);
    return 0;
  }
  if (unit_kind(code) != 1) {
    push_value_error(kErrCsNotLinear, value);
    return 0;
  }
  *unit = code;
  return 1;
}

int16_t coordsys_read_custom_datum(const Value* values, int32_t* position, CoordSysDef* def, int32_t datum_number) {
  DatumDef& d = def->datum;
  datum_clear(&d);
  const Value* ev = at(values, (*position)++);
  int16_t ell = 0;
  if (!code_of(ev, &ell) || ell < 0 || ell >= kEllipsoidCount) {
    if (ev->type != VALUE_NONE) push_value_error(kErrCsEllipsoid, ev);
    return 0;
  }
  d.ellipsoid = static_cast<uint8_t>(ell);
  double* fields[8] = {&d.dx, &d.dy, &d.dz, &d.rx, &d.ry, &d.rz, &d.scale_ppm, &d.prime_meridian};
  const int n = datum_number == 9999 ? 8 : 3;
  for (int i = 0; i < n; ++i)
    if (!number_of(at(values, (*position)++), fields[i])) return 0;
  return 1;
}

int16_t coordsys_from_numbers(const Value* values, int16_t* type, CoordSysDef* def, DRect* bounds,
                              int16_t* has_bounds, int32_t* used) {
  int16_t code = 0;
  if (!code_of(at(values, 1), &code)) {
    push_value_error(kErrCsType, at(values, 1));
    return 0;
  }
  coordsys_clear(def);
  bool trailing = false;
  if (code >= 2000) {
    code = static_cast<int16_t>(code - 2000);
    trailing = true;
  }
  if (code >= 1000) {
    code = static_cast<int16_t>(code - 1000);
    def->flags |= COORDSYS_AFFINE;
  }
  if (!coordsys_type_valid(code)) {
    char text[16];
    fmt_format(text, sizeof text, "%d", int32_t{code});
    err_push(4, kErrCsType, text, nullptr);
    return 0;
  }
  *type = code;
  int32_t pos = 2;
  auto fail = [&]() -> int16_t {
    if (used) *used = pos;
    return 0;
  };
  if (code == PROJ_NONEARTH) {
    int16_t unit = 0;
    if (!coordsys_read_unit(at(values, pos++), &unit)) return fail();
    def->ne.ne_fixed_aspect = 1;
    def->ne.ne_int_orientation = 1;
    def->ne.ne_coord_orientation = 1;
    def->ne.ne_units = unit;
  } else {
    int16_t datum = 0;
    const Value* dv = at(values, pos++);
    if (!code_of(dv, &datum) || !datum_number_valid(datum)) {
      push_value_error(kErrCsDatum, dv);
      return 0;
    }
    if (code == PROJ_LATLONG) {
      const uint32_t affine = def->flags & COORDSYS_AFFINE;
      coordsys_default_latlong(def);
      def->flags |= affine;
    }
    if (datum == 999 || datum == 9999) {
      if (!coordsys_read_custom_datum(values, &pos, def, datum)) return fail();
    } else {
      datum_get(datum, &def->datum);
    }
    if (code != PROJ_LATLONG) {
      if (!coordsys_read_unit(at(values, pos++), &def->units)) return fail();
      for (int i = 0; i < coordsys_param_count(code); ++i)
        if (!number_of(at(values, pos++), &def->params[i])) return fail();
    }
  }
  if (def->flags & COORDSYS_AFFINE) {
    if (!coordsys_read_unit(at(values, pos++), &def->affine_units)) return fail();
    for (double& a : def->affine) {
      if (!number_of(at(values, pos++), &a)) break;
    }
    if (!util_affine_invert(def->affine_inverse)) {
      err_push(4, kErrCsAffine, nullptr, nullptr);
      return fail();
    }
  }
  DRect b{};
  if (trailing) {
    double* corners[4] = {&b.x1, &b.y1, &b.x2, &b.y2};
    for (double* c : corners)
      if (!number_of(at(values, pos++), c)) return fail();
    drect_normalise(&b);
  }
  if (has_bounds) *has_bounds = trailing ? 1 : 0;
  if (trailing && bounds) *bounds = b;
  if (used) *used = pos;
  return 1;
}
