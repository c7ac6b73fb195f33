// The CoordSys clause and the Units clause of the statement language.
//
// The clause reads at the lexer's current token and builds nothing in the
// lexer's check-only mode. Its numbers are expressions evaluated at once;
// the Projection list goes whole to the number-list reader, which knows how
// many values each projection takes.
#include "kernel/tables/clause_coordsys.h"

#include <cstring>

#include "kernel/coordsys/conv.h"
#include "kernel/coordsys/coordsys_text.h"
#include "kernel/coordsys/unit.h"
#include "kernel/runtime/err.h"
#include "kernel/runtime/fmt.h"
#include "kernel/runtime/kstr.h"
#include "kernel/runtime/kshared.h"
#include "kernel/runtime/valconv.h"
#include "kernel/runtime/value.h"
#include "kernel/tables/lang/expr.h"
#include "kernel/tables/lang/lexer.h"

namespace {

bool check_only() { return g_kshared.lexer_input_mode == 1; }

// Values read by the clause, freed when it ends.
struct ValueList {
  Value v[kCoordSysMaxNumbers] = {};
  int32_t n = 0;
  ValueList() = default;
  ValueList(const ValueList&) = delete;
  ValueList& operator=(const ValueList&) = delete;
  ~ValueList() {
    for (int32_t i = 0; i < n; ++i) value_free(&v[i]);
  }
};

// One expression converted to a double (0 in check-only mode).
bool read_number(double* out) {
  Value v;
  if (!expr_bind(&v, nullptr)) return false;
  if (check_only()) {
    *out = 0;
    return true;
  }
  double d = 0;
  const bool number = v.type == VALUE_DECIMAL || v.type == VALUE_INTEGER || v.type == VALUE_SMALLINT ||
                      v.type == VALUE_FLOAT || v.type == VALUE_LARGEINT;
  const bool ok = number && value_get_double(&v, &d) != 0;
  if (!ok) {
    char text[64];
    value_to_text_plain(&v, text, sizeof text, -1);
    err_push(4, kErrLexExpected, text, kernel_string(613));
  }
  value_free(&v);
  *out = d;
  return ok;
}

// "(" x "," y ")"
bool read_point(DPoint* p) {
  return lex_expect(kKwOpenParen) && read_number(&p->x) && lex_expect(kKwComma) && read_number(&p->y) &&
         lex_expect(kKwCloseParen);
}

bool read_bounds(DRect* out) {
  DPoint a, b;
  if (!read_point(&a) || !read_point(&b)) return false;
  *out = DRect{a.x, a.y, b.x, b.y};
  drect_normalise(out);
  return true;
}

// Affine Units unit , A , B , C , D , E , F (after the keyword Affine).
bool read_affine(CoordSysDef* def) {
  int16_t unit = 0;
  if (!clause_read_units(1, &unit, 0)) return false;
  double a[6];
  for (double& x : a)
    if (!lex_expect(kKwComma) || !read_number(&x)) return false;
  if (check_only()) return true;
  def->flags |= COORDSYS_AFFINE;
  def->affine_units = unit;
  std::memcpy(def->affine, a, sizeof a);
  if (!util_affine_invert(def->affine_inverse)) {
    err_push(4, kErrCsAffine, nullptr, nullptr);
    return false;
  }
  return true;
}

// Projection n {, n}: the list into the number-list reader, the count checked.
bool read_projection(int16_t* type, CoordSysDef* def, DRect* bounds, bool* has_bounds) {
  ValueList list;
  for (;;) {
    if (!expr_bind(&list.v[list.n], nullptr)) return false;
    ++list.n;
    if (list.n == kCoordSysMaxNumbers || !lex_is(kKwComma)) break;
    lex_next();
  }
  if (check_only()) return true;
  int16_t hb = 0;
  int32_t used = 0;
  if (!coordsys_from_numbers(list.v, type, def, bounds, &hb, &used)) return false;
  *has_bounds = hb != 0;
  const int32_t consumed = used - 1;
  if (list.n != consumed) {
    char text[16];
    fmt_format(text, sizeof text, "%d", int32_t{*type});
    err_push(4, list.n > consumed ? kErrCsTooMany : kErrCsTooFew, text, nullptr);
    return false;
  }
  return true;
}

int16_t parse_earth(int16_t* type_out, CoordSysDef* def_out, DRect* bounds_out) {
  int16_t type = PROJ_LATLONG;
  CoordSysDef def;
  coordsys_default_latlong(&def);
  DRect bounds{};
  bool have_bounds = false;
  if (lex_is(kKwProjection)) {
    lex_next();
    if (!read_projection(&type, &def, &bounds, &have_bounds)) return 0;
  }
  if (lex_is(kKwAffine)) {
    lex_next();
    if (!read_affine(&def)) return 0;
  }
  if (lex_is(kKwBounds)) {
    lex_next();
    if (!read_bounds(&bounds)) return 0;
    have_bounds = true;
  }
  if (lex_is(kKwSupportMZ)) {
    lex_next();
    def.support_mz = 1;
  }
  if (check_only()) return 1;
  if (bounds_out) {
    if (have_bounds)
      *bounds_out = bounds;
    else
      coordsys_default_bounds(type, &def, bounds_out);
  }
  *type_out = type;
  std::memcpy(def_out, &def, sizeof def);
  return 1;
}

int16_t parse_nonearth(int16_t* type_out, CoordSysDef* def_out, DRect* bounds_out) {
  int16_t unit = 0;
  if (!clause_read_units(1, &unit, 0)) return 0;
  CoordSysDef def;
  coordsys_clear(&def);
  def.ne.ne_fixed_aspect = 1;
  def.ne.ne_int_orientation = 1;
  def.ne.ne_coord_orientation = 1;
  def.ne.ne_units = unit;
  if (lex_is(kKwAffine)) {
    lex_next();
    if (!read_affine(&def)) return 0;
  }
  DRect bounds{};
  if (bounds_out != nullptr) {
    if (!lex_expect(kKwBounds) || !read_bounds(&bounds)) return 0;
  } else if (lex_is(kKwBounds)) {
    lex_next();
    if (!read_bounds(&bounds)) return 0;
  }
  if (lex_is(kKwSupportMZ)) {
    lex_next();
    def.support_mz = 1;
  }
  if (check_only()) return 1;
  if (bounds_out) *bounds_out = bounds;
  *type_out = PROJ_NONEARTH;
  std::memcpy(def_out, &def, sizeof def);
  return 1;
}

}  // namespace

int16_t clause_parse_coordsys(int16_t* type, CoordSysDef* def, DRect* bounds) {
  if (lex_is(kKwEarth)) {
    lex_next();
    return parse_earth(type, def, bounds);
  }
  if (lex_is(kKwNonEarth)) {
    lex_next();
    return parse_nonearth(type, def, bounds);
  }
  return 1;
}

int16_t clause_read_units(int16_t kind, int16_t* unit, int16_t optional) {
  if (optional && !lex_is(kKwUnits)) {
    *unit = csys_get_units(kind == 3 ? 1000 : 0, kind);
    return 1;
  }
  if (!lex_expect(kKwUnits)) return 0;
  Value v;
  if (!expr_bind(&v, nullptr)) return 0;
  if (check_only()) return 1;
  char* name = nullptr;
  int16_t code = 0;
  const bool text = value_is_text_type(v.type) && value_text_ptr(&v, &name) != nullptr;
  if (!text || !unit_from_name(name, &code)) {
    char shown[64];
    value_to_text_plain(&v, shown, sizeof shown, -1);
    err_push(4, kErrCsUnitName, shown, nullptr);
    value_free(&v);
    return 0;
  }
  value_free(&v);
  int16_t error = 0;
  switch (kind) {
    case 0: error = unit_valid(code) && unit_kind(code) == 1 ? 0 : kErrUnitsNotDistance; break;
    case 1: error = unit_valid(code) && unit_kind(code) == 1 ? 0 : kErrUnitsNotLinear; break;
    case 2: error = unit_valid(code) && unit_kind(code) == 0 ? 0 : kErrUnitsNotArea; break;
    default: error = unit_is_special(code) ? 0 : kErrUnitsNotSpecial; break;
  }
  if (error != 0) {
    err_push(4, error, nullptr, nullptr);
    return 0;
  }
  *unit = code;
  return 1;
}
