// The Type, Charset and style clause parsers.
#include "kernel/tables/clauses.h"

#include <cmath>
#include <cstring>
#include <string>

#include "kernel/runtime/charset.h"
#include "kernel/runtime/err.h"
#include "kernel/runtime/kshared.h"
#include "kernel/runtime/kstr.h"
#include "kernel/runtime/mb.h"
#include "kernel/runtime/str.h"
#include "kernel/runtime/valconv.h"
#include "kernel/tables/codemap.h"
#include "kernel/tables/lang/expr.h"
#include "kernel/tables/lang/lexer.h"
#include "kernel/tables/stmt_readers.h"

namespace {

constexpr int16_t kKwCharset = 1349;
constexpr int16_t kKwDelimiter = 1322;
constexpr int16_t kKwTitles = 1348;
constexpr int16_t kKwRange = 1280;
constexpr int16_t kKwInteractive = 1590;
constexpr int16_t kKwTable = 1089;
constexpr int16_t kKwPassword = 1632;
constexpr int16_t kKwDatabase = 1057;
constexpr int16_t kKwVersion = 1319;
constexpr int16_t kKwLine = 1118;
constexpr int16_t kKwPen = 1104;
constexpr int16_t kKwBrush = 1105;
constexpr int16_t kKwSymbol = 1282;
constexpr int16_t kKwFont = 1112;

enum TypeFlag : int16_t { FLAG_NONE = 0, FLAG_SHAPEFILE = 1, FLAG_LINKED = 2, FLAG_WFS = 3, FLAG_QUERY = 4 };

struct TypeName {
  int32_t kstr;
  int32_t type;
  int16_t flag;
};
constexpr TypeName kTypeNames[] = {
    {6600, TABTYPE_ASCII, FLAG_NONE},  {6601, TABTYPE_WKS, FLAG_NONE},        {6602, TABTYPE_XLS, FLAG_NONE},
    {6603, TABTYPE_DBF, FLAG_NONE},    {6604, TABTYPE_NATIVE, FLAG_NONE},     {6609, TABTYPE_ODBC, FLAG_NONE},
    {6613, TABTYPE_DBF, FLAG_SHAPEFILE}, {6607, TABTYPE_ACCESS, FLAG_NONE},   {6606, TABTYPE_NATIVE, FLAG_LINKED},
    {6615, TABTYPE_NATIVE, FLAG_WFS},  {6608, TABTYPE_NATIVE, FLAG_QUERY},    {6618, TABTYPE_FME, FLAG_NONE},
};

bool checking() { return g_kshared.lexer_input_mode == 1; }

// A number in lo..hi that is integral; 465 with the number otherwise.
bool read_ranged(int32_t lo, int32_t hi, int32_t* out) {
  double d = 0;
  if (!stmt_read_number(&d)) return false;
  if (d != std::floor(d) || d < lo || d > hi) {
    value_err_number(kErrStyleRange, d);
    return false;
  }
  *out = static_cast<int32_t>(d);
  return true;
}

bool read_colour(uint32_t* out) {
  int32_t c = 0;
  if (!stmt_read_int(&c)) return false;
  *out = static_cast<uint32_t>(c);
  return true;
}

// The expression form of a style clause: a value of the type, copied.
template <class Get>
bool read_style_value(uint8_t type, int16_t code, Get get) {
  Value v{};
  const bool ok = expr_bind(&v, nullptr) != 0;
  bool good = false;
  if (ok && checking()) good = true;
  else if (ok && v.type == type) good = get(&v) != 0;
  else if (ok) err_push(4, code, nullptr, nullptr);
  value_free(&v);
  return good;
}

bool read_delimiter(AsciiOptions* o) {
  Value v{};
  if (!expr_bind(&v, nullptr)) {
    value_free(&v);
    return false;
  }
  uint8_t delim = 9;
  if (value_is_text_type(v.type)) {
    char* p = nullptr;
    value_text_ptr(&v, &p);
    delim = p != nullptr && p[0] != '\0' ? static_cast<uint8_t>(p[0]) : 9;
  } else {
    int32_t n = 0;
    if (!value_get_int(&v, &n)) {
      value_free(&v);
      lex_error_expected(3);
      return false;
    }
    delim = static_cast<uint8_t>(n & 0xFF);
  }
  value_free(&v);
  if (o != nullptr && !checking()) o->delimiter = delim;
  return true;
}

bool read_charset_into(TypeOptions* options, bool text_charset) {
  int32_t cs = -1;
  if (!clause_parse_charset(&cs)) return false;
  if (checking()) return true;
  if (text_charset) {
    if (auto* a = std::get_if<AsciiOptions>(options)) a->charset = cs;
  } else {
    typeopts_set_charset(options, cs);
  }
  return true;
}

bool read_sheet_options(SheetOptions* o, bool xls) {
  for (;;) {
    if (stmt_accept(kKwTitles)) {
      if (o) o->titles = 1;
    } else if (xls && stmt_accept(kKwInteractive)) {
      if (o) o->interactive = 1;
    } else if (stmt_accept(kKwRange)) {
      std::string r;
      if (!stmt_read_string(&r)) return false;
      if (o && !checking()) o->range = r;
    } else {
      return true;
    }
  }
}

bool read_access_options(AccessOptions* o, int16_t mode) {
  if (mode >= 2) {
    for (;;) {
      if (stmt_accept(kKwDatabase)) {
        std::string d;
        if (!stmt_read_string(&d)) return false;
        if (o && !checking()) o->database = d;
      } else if (stmt_accept(kKwVersion)) {
        double v = 0;
        if (!stmt_read_number(&v)) return false;
        int32_t code = 0;
        if (v == 4.0) code = 5;
        else if (v == 3.0) code = 4;
        else {
          char text[64];
          std::snprintf(text, sizeof text, "%g", v);
          err_push(4, kErrAccessVersion, text, nullptr);
          return false;
        }
        if (o && !checking()) o->version = code;
      } else {
        break;
      }
    }
  }
  if (!stmt_require(kKwTable)) return false;
  std::string name;
  if (!stmt_read_string(&name)) return false;
  if (o && !checking()) o->table = name;
  for (;;) {
    if (stmt_at(kKwCharset)) {
      int32_t cs = -1;
      if (!clause_parse_charset(&cs)) return false;
      if (o && !checking()) o->charset = cs;
    } else if (stmt_accept(kKwPassword)) {
      std::string pw;
      if (!stmt_read_string(&pw)) return false;
      if (o && !checking()) o->password = pw;
    } else {
      return true;
    }
  }
}

}  // namespace

int32_t clause_type_of_name(const char* name, int16_t* flag) {
  char cut[10];
  str_copy_n(cut, name, sizeof cut);
  for (const TypeName& t : kTypeNames) {
    if (mb_str_equal_nocase(cut, kernel_string(t.kstr))) {
      if (flag) *flag = t.flag;
      return t.type;
    }
  }
  if (flag) *flag = FLAG_NONE;
  return 0;
}

int16_t clause_parse_type(StorageDesc* s, int16_t mode, int16_t* linked, int16_t* wfs) {
  s->type = 0;
  if (linked) *linked = 0;
  if (wfs) *wfs = 0;
  if (!lex_is(kTokString)) {
    err_push(4, kErrTypeName, lex_has_token() ? lex_token_text() : "", nullptr);
    return 0;
  }
  int16_t flag = FLAG_NONE;
  const int32_t type = clause_type_of_name(lex_token_text(), &flag);
  if (type == 0 || (flag == FLAG_LINKED && mode != 0)) {
    err_push(4, kErrTypeName, lex_token_text(), nullptr);
    return 0;
  }
  lex_next();
  s->type = static_cast<uint8_t>(type);
  if (flag == FLAG_QUERY) {
    s->query = 1;
  } else {
    typeopts_init(&s->options, type);
  }
  if (flag == FLAG_SHAPEFILE) std::get<NativeOptions>(s->options).shapefile = 1;
  if (flag == FLAG_LINKED && linked) *linked = 1;
  if (flag == FLAG_WFS && wfs) *wfs = 1;
  if (flag == FLAG_QUERY) return 1;
  switch (type) {
    case TABTYPE_DBF:
    case TABTYPE_NATIVE:
    case TABTYPE_FME:
      while (stmt_at(kKwCharset)) {
        if (!read_charset_into(&s->options, false)) return 0;
      }
      return 1;
    case TABTYPE_ASCII: {
      auto* o = std::get_if<AsciiOptions>(&s->options);
      for (;;) {
        if (stmt_accept(kKwDelimiter)) {
          if (!read_delimiter(o)) return 0;
        } else if (stmt_accept(kKwTitles)) {
          if (o && !checking()) o->titles = 1;
        } else if (stmt_at(kKwCharset)) {
          if (!read_charset_into(&s->options, true)) return 0;
        } else {
          return 1;
        }
      }
    }
    case TABTYPE_WKS:
    case TABTYPE_XLS:
      return read_sheet_options(std::get_if<SheetOptions>(&s->options), type == TABTYPE_XLS) ? 1 : 0;
    case TABTYPE_ACCESS:
      return read_access_options(std::get_if<AccessOptions>(&s->options), mode) ? 1 : 0;
    case TABTYPE_ODBC:
      // A linked definition has no options; its link lives in the metadata.
      return mode == 0 ? 1 : 0;
    default:
      return 1;
  }
}

int16_t clause_parse_charset(int32_t* charset) {
  lex_next();  // "Charset"
  std::string name;
  if (!stmt_read_string(&name)) return 0;
  if (checking()) return 1;
  const int16_t n = charset_from_name(name.c_str());
  if (n < 0) {
    err_push(4, kErrNoCharset, name.c_str(), nullptr);
    *charset = -1;
    return 0;
  }
  *charset = n;
  return 1;
}

int16_t clause_parse_pen(PenStyle* pen) {
  lex_next();  // "Pen"
  if (!stmt_accept(kTokOpen)) {
    return read_style_value(VALUE_PEN, kErrPenValue, [&](const Value* v) { return value_get_pen(v, pen); }) ? 1 : 0;
  }
  int32_t width = 0, pattern = 0;
  uint32_t colour = 0, second = 0;
  if (!read_ranged(0, 32767, &width) || !stmt_require(kTokComma) || !read_ranged(0, 255, &pattern) ||
      !stmt_require(kTokComma) || !read_colour(&colour))
    return 0;
  if (stmt_accept(kTokComma)) {
    if (!read_colour(&second)) return 0;
    colour = second;
  }
  if (!stmt_require(kTokClose)) return 0;
  if (checking()) return 1;
  if ((width == 0 || width == 10) && pattern != 1) {
    width = 1;
    pattern = 2;
  }
  pen->width = static_cast<int16_t>(width);
  pen->pattern = pattern;
  pen->third = 0;
  pen->colour = colour;
  return 1;
}

int16_t clause_parse_brush(BrushStyle* brush) {
  lex_next();  // "Brush"
  if (!stmt_accept(kTokOpen)) {
    return read_style_value(VALUE_BRUSH, kErrBrushValue, [&](const Value* v) { return value_get_brush(v, brush); })
               ? 1
               : 0;
  }
  int32_t pattern = 0;
  uint32_t fore = 0, back = 0;
  if (!read_ranged(0, 255, &pattern) || !stmt_require(kTokComma) || !read_colour(&fore)) return 0;
  const bool has_back = stmt_accept(kTokComma);
  if (has_back && !read_colour(&back)) return 0;
  if (!stmt_require(kTokClose)) return 0;
  if (checking()) return 1;
  brush->pattern = pattern;
  brush->fore = fore;
  brush->back = has_back ? back : syscolour_get(18);
  brush->transparent = has_back ? 0 : 1;
  return 1;
}

int16_t clause_parse_symbol(SymbolStyle* symbol) {
  lex_next();  // "Symbol"
  if (!stmt_accept(kTokOpen)) {
    return read_style_value(VALUE_SYMBOL, kErrSymbolValue, [&](const Value* v) { return value_get_symbol(v, symbol); })
               ? 1
               : 0;
  }
  SymbolStyle s{};
  int32_t size = 0;
  // The bitmap form starts with its name.
  if (lex_is(kTokString) && lex_current()->type == VALUE_CHAR_REF) {
    std::string name;
    int32_t style = 0;
    if (!stmt_read_string(&name) || !stmt_require(kTokComma) || !read_colour(&s.colour) ||
        !stmt_require(kTokComma) || !read_ranged(0, 32767, &size) || !stmt_require(kTokComma) ||
        !read_ranged(0, 32767, &style) || !stmt_require(kTokClose))
      return 0;
    if (checking()) return 1;
    s.kind = 2;
    s.size = static_cast<int16_t>(size);
    symbol_set_bitmap_name(&s, name.c_str());
    symbol_set_bitmap_style(&s, style);
    *symbol = s;
    return 1;
  }
  int32_t shape = 0;
  if (!read_ranged(0, 32767, &shape) || !stmt_require(kTokComma) || !read_colour(&s.colour) ||
      !stmt_require(kTokComma) || !read_ranged(0, 32767, &size))
    return 0;
  s.shape = static_cast<int16_t>(shape);
  s.size = static_cast<int16_t>(size);
  if (stmt_accept(kTokComma)) {
    std::string font;
    int32_t style = 0;
    double rotation = 0;
    if (!stmt_read_string(&font) || !stmt_require(kTokComma) || !read_ranged(0, 32767, &style) ||
        !stmt_require(kTokComma) || !stmt_read_number(&rotation) || !stmt_require(kTokClose))
      return 0;
    if (checking()) return 1;
    s.kind = 1;
    style_set_name(s.font.name, font.c_str());
    symbol_set_font_style(&s, style);
    const double tenths = std::round(std::fmod(rotation, 360.0) * 10.0);
    int32_t r = static_cast<int16_t>(static_cast<int32_t>(tenths));
    if (r < 0) r += 3600;
    s.rotation = static_cast<int16_t>(r);
  } else {
    if (!stmt_require(kTokClose)) return 0;
    if (checking()) return 1;
    s.kind = 0;
  }
  *symbol = s;
  return 1;
}

int16_t clause_parse_font(FontStyle* font) {
  lex_next();  // "Font"
  if (!stmt_accept(kTokOpen)) {
    return read_style_value(VALUE_FONT, kErrFontValue, [&](const Value* v) { return value_get_font(v, font); }) ? 1
                                                                                                                : 0;
  }
  FontStyle f{};
  std::string name;
  int32_t style = 0, size = 0;
  uint32_t back = 0;
  if (!stmt_read_string(&name) || !stmt_require(kTokComma) || !read_ranged(0, 32767, &style) ||
      !stmt_require(kTokComma) || !read_ranged(0, 32767, &size) || !stmt_require(kTokComma) ||
      !read_colour(&f.fore))
    return 0;
  const bool has_back = stmt_accept(kTokComma);
  if (has_back && !read_colour(&back)) return 0;
  if (!stmt_require(kTokClose)) return 0;
  if (checking()) return 1;
  style_set_name(f.name, name.c_str());
  font_set_style(&f, style);
  f.size = static_cast<int16_t>(size);
  if (has_back) {
    f.back = back;
    f.back_flag = back != 0xFFFFFFFFu && (style & 256) == 0 ? 1 : 0;
  } else {
    f.back = syscolour_get(18);
    f.back_flag = 0;
  }
  *font = f;
  return 1;
}

int16_t clause_parse_styles(StyleClauses* st) {
  bool any = false;
  for (;;) {
    if (stmt_at(kKwLine)) {
      lex_next();
      if (!stmt_at(kKwPen) || !clause_parse_pen(&st->line)) return 0;
      any = true;
      continue;
    }
    int16_t ok = 1;
    if (stmt_at(kKwPen)) ok = clause_parse_pen(&st->pen);
    else if (stmt_at(kKwBrush)) ok = clause_parse_brush(&st->brush);
    else if (stmt_at(kKwSymbol)) ok = clause_parse_symbol(&st->symbol);
    else if (stmt_at(kKwFont)) ok = clause_parse_font(&st->font);
    else return any ? 1 : 0;
    if (!ok) return 0;
    any = true;
  }
}
