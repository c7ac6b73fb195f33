// Typed values: layout, life cycle and sizes. See value.h.
#include "kernel/runtime/value.h"

#include <cmath>
#include <cstring>

#include "kernel/runtime/err.h"
#include "kernel/runtime/fmt.h"
#include "kernel/runtime/mem.h"
#include "kernel/runtime/num.h"
#include "kernel/runtime/str.h"

namespace {

const ValueObjectOps* g_object_ops = nullptr;

void push_bad() { err_push(4, kErrBadDateTime, nullptr, nullptr); }

// The bytes of payload a type's record takes: what value_init copies.
size_t payload_size(int32_t type) {
  switch (type) {
    case 2: case 8: case 39: return 8;
    case 3: case 5: return 4;
    case 4: return 2;
    case 6: return 1;
    case 37: return sizeof(Time);
    case 38: return sizeof(DateTime);
    case 11: case 12: case 14: case 15: return sizeof(void*);
    case 13: return sizeof(void*) + 1;
    case 9: case 27: return sizeof(void*) + sizeof(int32_t);
    default: return 0;
  }
}

template <class T>
T* new_record() {
  T* rec = nullptr;
  if (!mem_alloc_zeroed(static_cast<int64_t>(sizeof(T)), &rec, static_cast<T**>(nullptr))) return nullptr;
  return rec;
}

// Allocates an owned text block of room + 1 bytes into the value's text.
bool alloc_text_block(Value* value, int32_t room) {
  char* block = nullptr;
  if (!mem_alloc_zeroed(static_cast<int64_t>(room < 0 ? 0 : room) + 1, &block, static_cast<char**>(nullptr)))
    return false;
  value->u.text.ptr = block;
  return true;
}

bool in_range(double x, double lo, double hi) { return x >= lo && x <= hi; }

// A style argument out of range: 465 with the number, the record freed.
template <class T>
int16_t style_range_fail(Value* value, T** record, double x) {
  value_err_number(kErrStyleRange, x);
  mem_free(record);
  std::memset(&value->u, 0, sizeof value->u);
  return 0;
}

int32_t saturate32(int64_t n) { return n > INT32_MAX ? INT32_MAX : n < INT32_MIN ? INT32_MIN : int32_t(n); }
int16_t saturate16(int64_t n) { return n > 32767 ? int16_t(32767) : n < -32768 ? int16_t(-32768) : int16_t(n); }

int16_t make_pen(Value* value, int32_t width, int32_t pattern, uint32_t colour) {
  PenStyle* pen = new_record<PenStyle>();
  if (!pen) return 0;
  if (!in_range(width, 0, 2047)) return style_range_fail(value, &pen, width);
  if (!in_range(pattern, 0, 255)) return style_range_fail(value, &pen, pattern);
  if ((width == 0 || width == 10) && pattern != 1) {
    width = 1;
    pattern = 2;
  }
  *pen = PenStyle{static_cast<int16_t>(width), pattern, 0, colour};
  value->u.pen = pen;
  return 1;
}

int16_t make_brush(Value* value, int32_t pattern, int32_t fore, int32_t back) {
  BrushStyle* brush = new_record<BrushStyle>();
  if (!brush) return 0;
  if (!in_range(pattern, 1, 255)) return style_range_fail(value, &brush, pattern);
  brush->pattern = pattern;
  brush->fore = static_cast<uint32_t>(fore);
  if (back == -1) {
    brush->back = 16777215;
    brush->transparent = 1;
  } else {
    brush->back = static_cast<uint32_t>(back);
    brush->transparent = 0;
  }
  value->u.brush = brush;
  return 1;
}

int16_t make_symbol(Value* value, va_list args) {
  int32_t kind = va_arg(args, int);
  SymbolStyle* sym = new_record<SymbolStyle>();
  if (!sym) return 0;
  sym->kind = static_cast<uint8_t>(kind);
  if (kind == 0 || kind == 1) {
    int32_t shape = va_arg(args, int);
    uint32_t colour = va_arg(args, unsigned int);
    int32_t size = va_arg(args, int);
    if (!in_range(shape, 0, 32767)) return style_range_fail(value, &sym, shape);
    if (!in_range(size, 1, 240)) return style_range_fail(value, &sym, size);
    sym->shape = static_cast<int16_t>(shape);
    sym->colour = colour;
    sym->size = static_cast<int16_t>(size);
    if (kind == 1) {
      const char* name = va_arg(args, const char*);
      int32_t style = va_arg(args, int);
      int32_t rotation = va_arg(args, int);
      if (!in_range(style, 0, 32767)) return style_range_fail(value, &sym, style);
      if (!in_range(rotation, -3600, 3600)) return style_range_fail(value, &sym, rotation);
      style_set_name(sym->font.name, name);
      font_set_style(&sym->font, style);
      sym->rotation = static_cast<int16_t>(rotation);
    }
  } else if (kind == 2) {
    const char* name = va_arg(args, const char*);
    uint32_t colour = va_arg(args, unsigned int);
    int32_t size = va_arg(args, int);
    int32_t style = va_arg(args, int);
    if (!in_range(size, 1, 240)) return style_range_fail(value, &sym, size);
    if (!in_range(style, 0, 32767)) return style_range_fail(value, &sym, style);
    symbol_set_bitmap_name(sym, name);
    sym->colour = colour;
    sym->size = static_cast<int16_t>(size);
    symbol_set_bitmap_style(sym, style);
  }
  value->u.symbol = sym;
  return 1;
}

int16_t make_font(Value* value, va_list args) {
  const char* name = va_arg(args, const char*);
  int32_t style = va_arg(args, int);
  int32_t size = va_arg(args, int);
  int32_t fore = va_arg(args, int);
  int32_t back = va_arg(args, int);
  FontStyle* font = new_record<FontStyle>();
  if (!font) return 0;
  if (!in_range(style, 0, 32767)) return style_range_fail(value, &font, style);
  if (!in_range(size, 0, 999)) return style_range_fail(value, &font, size);
  style_set_name(font->name, name);
  font_set_style(font, style);
  font->size = static_cast<int16_t>(size);
  font->fore = static_cast<uint32_t>(fore);
  font->back = static_cast<uint32_t>(back);
  font->back_flag = (font->flags[0] || back == -1) ? 0 : 1;
  value->u.font = font;
  return 1;
}

int16_t make_text(Value* value, int32_t type, const char* text) {
  if (!text) text = "";
  int32_t len = static_cast<int32_t>(std::strlen(text));
  if (!alloc_text_block(value, len)) return 0;
  std::memcpy(value->u.text.ptr, text, static_cast<size_t>(len) + 1);
  value->u.text.offset = type == VALUE_FIXED_CHAR ? len : -1;
  return 1;
}

}  // namespace

void value_set_object_ops(const ValueObjectOps* ops) { g_object_ops = ops; }

int16_t value_object_type(const MapObject* obj) {
  return obj ? static_cast<int16_t>(*reinterpret_cast<const uint8_t*>(obj)) : 0;
}

// ---- text access -------------------------------------------------------

int16_t value_is_text_type(int32_t type) {
  return type == 1 || type == 10 || type == 16 || type == 21 || type == 24 ? 1 : 0;
}

char* value_text_ptr(const Value* value, char** out) {
  char* p = nullptr;
  switch (value->type) {
    case 1:
      p = value->u.text.ptr;
      if (p && value->u.text.offset >= 0) p += value->u.text.offset;
      break;
    case 9: case 16: case 21: case 27: p = value->u.text.ptr; break;
    case 10: case 24: p = value->u.ref; break;
    default: break;
  }
  if (out) *out = p;
  return p;
}

void value_text_release() {}

int32_t value_text_length(const Value* value) {
  const char* p = value_text_ptr(value, nullptr);
  return p ? static_cast<int32_t>(std::strlen(p)) : 0;
}

char* value_text_copy(const Value* value, char* buffer, int32_t size) {
  const char* p = value_text_ptr(value, nullptr);
  return str_copy_n(buffer, p ? p : "", size);
}

int16_t value_set_text_ref(Value* value, char* buffer, int32_t offset) {
  if (value->type != VALUE_CHAR) return 0;
  value->u.text.ptr = buffer;
  value->u.text.offset = offset < 0 ? 0 : offset;
  return 1;
}

// ---- initialising and making -------------------------------------------

void value_init(Value* value, int32_t type, const void* source) {
  std::memset(value, 0, sizeof *value);
  value->type = static_cast<uint8_t>(type);
  switch (type) {
    case 1: case 21: value->u.text.offset = -1; break;
    case 10: case 24: value->u.ref = static_cast<char*>(const_cast<void*>(source)); break;
    case 16: break;
    default:
      if (source) std::memcpy(&value->u, source, payload_size(type));
      break;
  }
}

int16_t value_alloc_text(int32_t length, Value* value, char** out) {
  if (out) *out = nullptr;
  switch (value->type) {
    case 1: case 9: case 21: case 27:
      value->u.text.offset = -1;
      if (!alloc_text_block(value, length)) return 0;
      break;
    case 16:
      if (!alloc_text_block(value, length)) return 0;
      value->u.text.offset = length < 0 ? 0 : length;
      value_clear(value);
      break;
    default: return 1;
  }
  if (out) *out = value->u.text.ptr;
  return 1;
}

int16_t value_init_text(Value* value, int32_t type, int32_t length) {
  value_init(value, type, nullptr);
  return value_alloc_text(length, value, nullptr);
}

int16_t value_make(Value* value, int32_t type, ...) {
  va_list args;
  va_start(args, type);
  int16_t r = value_vmake(value, type, args);
  va_end(args);
  return r;
}

int16_t value_vmake(Value* value, int32_t type, va_list args) {
  std::memset(value, 0, sizeof *value);
  value->type = static_cast<uint8_t>(type);
  switch (type) {
    case 1: case 16: return make_text(value, type, va_arg(args, const char*));
    case 2: case 8: value->u.d = va_arg(args, double); return 1;
    case 3: value->u.i = va_arg(args, int32_t); return 1;
    case 4: value->u.s = static_cast<int16_t>(va_arg(args, int)); return 1;
    case 39: value->u.ll = va_arg(args, int64_t); return 1;
    case 6: value->u.b = va_arg(args, int) ? 1 : 0; return 1;
    case 5: {
      const Date* d = va_arg(args, const Date*);
      if (d) value->u.date = *d;
      return 1;
    }
    case 37: {
      const Time* t = va_arg(args, const Time*);
      if (t) value->u.time = *t;
      return 1;
    }
    case 38: {
      const DateTime* dt = va_arg(args, const DateTime*);
      if (dt) value->u.dt = *dt;
      return 1;
    }
    case 13:
      value->u.object.obj = va_arg(args, MapObject*);
      value->u.object.flag = static_cast<uint8_t>(va_arg(args, int));
      return 1;
    case 11: {
      int32_t width = va_arg(args, int);
      int32_t pattern = va_arg(args, int);
      uint32_t colour = va_arg(args, unsigned int);
      return make_pen(value, width, pattern, colour);
    }
    case 12: {
      int32_t pattern = va_arg(args, int);
      int32_t fore = va_arg(args, int);
      int32_t back = va_arg(args, int);
      return make_brush(value, pattern, fore, back);
    }
    case 14: return make_symbol(value, args);
    case 15: return make_font(value, args);
    case 0: return 1;
    default: return 0;
  }
}

int16_t value_set_double(double x, int32_t type, Value* value) {
  bool nan = std::isnan(x);
  switch (type) {
    case 2: case 8:
      value->type = static_cast<uint8_t>(type);
      value->u.d = x;
      return 1;
    case 3: case 4: case 39:
      value->type = static_cast<uint8_t>(type);
      if (nan) {
        value->u.ll = 0;
        err_push(4, kErrNumberRange, nullptr, nullptr);
        return 0;
      }
      if (type == 3) value->u.i = num_round_int_sat(x);
      else if (type == 4) value->u.s = num_round_short_sat(x);
      else value->u.ll = num_round_int64_sat(x);
      return 1;
    case 5: case 37: case 38:
      if (nan) {
        value->type = static_cast<uint8_t>(type);
        if (type == 5) value->u.date = Date{};
        else if (type == 37) time_set_null(&value->u.time);
        else datetime_set_null(&value->u.dt);
        push_bad();
        return 0;
      }
      if (type == 38) return value_set_int64(num_round_int64_sat(x), type, value);
      return value_set_int(num_round_int_sat(x), type, value);
    default: return 0;
  }
}

int16_t value_set_int(int32_t n, int32_t type, Value* value) {
  switch (type) {
    case 2: case 8: value->u.d = n; break;
    case 3: value->u.i = n; break;
    case 4: value->u.s = saturate16(n); break;
    case 39: value->u.ll = n; break;
    case 5:
      value->type = 5;
      return date_from_int(n, &value->u.date);
    case 37:
      value->type = 37;
      return time_from_int(n, &value->u.time);
    case 38:
      value->type = 38;
      return datetime_from_int64(n, &value->u.dt);
    default: return 0;
  }
  value->type = static_cast<uint8_t>(type);
  return 1;
}

int16_t value_set_int64(int64_t n, int32_t type, Value* value) {
  switch (type) {
    case 2: case 8: value->u.d = static_cast<double>(n); break;
    case 3: value->u.i = saturate32(n); break;
    case 4: value->u.s = saturate16(n); break;
    case 39: value->u.ll = n; break;
    case 5: case 37: return value_set_int(saturate32(n), type, value);
    case 38:
      value->type = 38;
      return datetime_from_int64(n, &value->u.dt);
    default: return 0;
  }
  value->type = static_cast<uint8_t>(type);
  return 1;
}

int16_t value_set_object(const MapObject* obj, uint8_t flag, Value* value) {
  std::memset(value, 0, sizeof *value);
  value->type = VALUE_OBJECT;
  if (!obj) return 1;
  if (!g_object_ops || !g_object_ops->copy) {
    push_bad();
    return 0;
  }
  void* block = nullptr;
  if (!mem_alloc_zeroed(static_cast<int64_t>(g_object_ops->record_size), &block, nullptr)) return 0;
  if (!g_object_ops->copy(obj, static_cast<MapObject*>(block))) {
    mem_free(&block);
    return 0;
  }
  value->u.object.obj = static_cast<MapObject*>(block);
  value->u.object.flag = flag;
  return 1;
}

int16_t value_set_font(const FontStyle* font, Value* value) {
  std::memset(value, 0, sizeof *value);
  value->type = VALUE_FONT;
  FontStyle* rec = new_record<FontStyle>();
  if (!rec) return 0;
  *rec = *font;
  value->u.font = rec;
  return 1;
}

int16_t value_set_symbol(Value* value, const SymbolStyle* s) {
  switch (s->kind) {
    case 0: return value_make(value, 14, 0, int(s->shape), unsigned(s->colour), int(s->size));
    case 1: {
      char name[32];
      style_get_name(s->font.name, name, sizeof name);
      return value_make(value, 14, 1, int(s->shape), unsigned(s->colour), int(s->size), name,
                        int(font_get_style(&s->font)), int(s->rotation));
    }
    case 2: {
      char name[32];
      style_get_name(s->bitmap.name, name, sizeof name);
      return value_make(value, 14, 2, name, unsigned(s->colour), int(s->size), int(symbol_get_bitmap_style(s)));
    }
    default: return value_make(value, 14, int(s->kind));
  }
}

namespace {

template <class T>
int16_t get_record(const Value* value, int32_t type, T* record, T* out) {
  if (value->type != type || record == nullptr) {
    push_bad();
    return 0;
  }
  *out = *record;
  return 1;
}

}  // namespace

int16_t value_get_pen(const Value* v, PenStyle* out) { return get_record(v, 11, v->u.pen, out); }
int16_t value_get_brush(const Value* v, BrushStyle* out) { return get_record(v, 12, v->u.brush, out); }
int16_t value_get_symbol(const Value* v, SymbolStyle* out) { return get_record(v, 14, v->u.symbol, out); }
int16_t value_get_font(const Value* v, FontStyle* out) { return get_record(v, 15, v->u.font, out); }

// ---- copying, clearing and freeing -------------------------------------

// A fresh copy of a style record in `*copy`; nothing to copy is no failure.
template <typename T>
bool copy_style(const T* source, T** copy) {
  if (source == nullptr) return true;
  T* rec = new_record<T>();
  if (rec == nullptr) return false;
  *rec = *source;
  *copy = rec;
  return true;
}

int16_t value_copy(Value* destination, const Value* source) {
  Value out;
  std::memset(&out, 0, sizeof out);
  switch (source->type) {
    case 1: case 10: case 21: case 24: case 16: {
      const char* text = value_text_ptr(source, nullptr);
      if (source->type == 1 && source->u.text.ptr == nullptr) return 0;
      int32_t len = text ? static_cast<int32_t>(std::strlen(text)) : 0;
      int32_t room = len;
      if ((source->type == 1 && source->u.text.offset < 0) || source->type == 21)
        room = source->u.text.ptr ? static_cast<int32_t>(mem_size(source->u.text.ptr)) - 1 : 0;
      else if (source->type == 16)
        room = source->u.text.offset;
      if (room < 0) room = 0;
      out.type = source->type == 10 ? 1 : source->type == 24 ? 21 : source->type;
      if (!alloc_text_block(&out, room)) return 0;
      if (text) str_copy_n(out.u.text.ptr, text, static_cast<int64_t>(room) + 1);
      out.u.text.offset = source->type == 16 ? room : -1;
      break;
    }
    case 9: case 27: {
      out.type = source->type;
      const char* text = source->u.text.ptr ? source->u.text.ptr : "";
      int32_t len = static_cast<int32_t>(std::strlen(text));
      if (!alloc_text_block(&out, len)) return 0;
      std::memcpy(out.u.text.ptr, text, static_cast<size_t>(len) + 1);
      out.u.text.offset = -1;
      break;
    }
    case 11: case 12: case 14: case 15: {
      out.type = source->type;
      bool made = true;
      switch (source->type) {
        case 11: made = copy_style(source->u.pen, &out.u.pen); break;
        case 12:
          made = copy_style(source->u.brush, &out.u.brush);
          if (made && out.u.brush && out.u.brush->back == 0xFFFFFFFFu) out.u.brush->back = 0;
          break;
        case 14: made = copy_style(source->u.symbol, &out.u.symbol); break;
        default: made = copy_style(source->u.font, &out.u.font); break;
      }
      if (!made) return 0;
      break;
    }
    case 13:
      if (!value_set_object(source->u.object.obj, source->u.object.flag, &out)) return 0;
      break;
    default: out = *source; break;
  }
  *destination = out;
  return 1;
}

void value_clear(Value* value) {
  switch (value->type) {
    case 1: case 10: case 21: case 24: {
      char* p = value_text_ptr(value, nullptr);
      if (p) p[0] = '\0';
      break;
    }
    case 16:
      if (value->u.text.ptr) {
        int32_t w = value->u.text.offset < 0 ? 0 : value->u.text.offset;
        std::memset(value->u.text.ptr, ' ', static_cast<size_t>(w));
        value->u.text.ptr[w] = '\0';
      }
      break;
    default: value_free(value); break;
  }
}

void value_free(Value* value) {
  int32_t width = 0;
  switch (value->type) {
    case 1:
      if (value->u.text.offset < 0) mem_free(&value->u.text.ptr);
      break;
    case 9: case 21: case 27: mem_free(&value->u.text.ptr); break;
    case 11: mem_free(&value->u.pen); break;
    case 12: mem_free(&value->u.brush); break;
    case 14: mem_free(&value->u.symbol); break;
    case 15: mem_free(&value->u.font); break;
    case 13:
      if (value->u.object.obj) {
        if (g_object_ops && g_object_ops->free) g_object_ops->free(value->u.object.obj);
        mem_free(&value->u.object.obj);
      }
      break;
    case 16:
      width = value->u.text.offset;
      mem_free(&value->u.text.ptr);
      break;
    default: break;
  }
  std::memset(&value->u, 0, sizeof value->u);
  if (value->type == 16) value->u.text.offset = width;
  if (value->type == 37) time_set_null(&value->u.time);
  if (value->type == 38) datetime_set_null(&value->u.dt);
}

void value_pad_fixed(Value* value) {
  if (value->type != 16 || !value->u.text.ptr) return;
  int32_t w = value->u.text.offset;
  size_t len = std::strlen(value->u.text.ptr);
  for (int32_t i = static_cast<int32_t>(len); i < w; ++i) value->u.text.ptr[i] = ' ';
  value->u.text.ptr[w] = '\0';
}

int16_t value_check_int_range(double x, double a, double b, double* out) {
  double lo = a < b ? a : b, hi = a < b ? b : a;
  if (x == std::floor(x) && x >= lo && x <= hi) return 1;
  if (out) *out = x;
  return 0;
}

void value_err_number(int16_t code, double x) {
  char text[64];
  fmt_format(text, sizeof text, "%g", x);
  err_push(4, code, text, nullptr);
}

int16_t value_user_break() { return 0; }

// ---- sizes -------------------------------------------------------------

int32_t value_data_size(const Value* value) {
  switch (value->type) {
    case 1: case 10: case 21: case 24: return value_text_length(value) + 1;
    case 2: case 8: case 39: return 8;
    case 3: case 5: return 4;
    case 4: return 2;
    case 6: return 1;
    case 7: case 13: return 25;
    case 16: return value->u.text.offset;
    case 37: return 6;
    case 38: return 10;
    default: return 0;
  }
}

int32_t value_display_width(const Value* value) {
  switch (value->type) {
    case 1: case 10: case 21: case 24: return value_text_length(value);
    case 2: return 20;
    case 3: case 5: return 14;
    case 4: return 7;
    case 6: return 1;
    case 7: case 13: return 25;
    case 8: return 27;
    case 9: return 4;
    case 11: case 12: case 14: case 15: return 255;
    case 16: return value->u.text.offset;
    case 37: return 31;
    case 38: return 36;
    case 39: return 26;
    default: return 0;
  }
}

int32_t value_alloc_size(const Value* value) {
  switch (value->type) {
    case 1:
      return value->u.text.offset < 0 ? static_cast<int32_t>(mem_size(value->u.text.ptr)) : 0;
    case 9: case 16: case 21: case 27: return static_cast<int32_t>(mem_size(value->u.text.ptr));
    case 11: case 12: return 16;
    case 14: return static_cast<int32_t>(sizeof(SymbolStyle));
    case 15: return static_cast<int32_t>(sizeof(FontStyle));
    case 13: {
      int32_t node = 0, z = 0, m = 0;
      const MapObject* obj = value->u.object.obj;
      if (obj && g_object_ops && g_object_ops->buffer_sizes) g_object_ops->buffer_sizes(obj, &node, &z, &m);
      return 240 + node + z + m;
    }
    default: return 0;
  }
}
