// Typed values: the kernel's one carrier of column, expression, key and
// table-API values. A Value is a type code and a 16-byte payload. Texts are
// owned by the value, borrowed from a caller's buffer or of fixed width;
// numbers, dates, times and logicals sit inline; styles and map objects are
// owned records.
//
// Invariants: an owning value is copied only through value_copy (its bytes
// name its block); value_free releases exactly what the type owns and keeps
// the type code; nothing in this module allocates outside kernel blocks.
#pragma once
#include <cstdarg>
#include <cstddef>
#include <cstdint>

#include "kernel/runtime/date.h"
#include "kernel/runtime/style_rec.h"

struct MapObject;

enum ValueType : uint8_t {
  VALUE_NONE = 0,
  VALUE_CHAR = 1,
  VALUE_DECIMAL = 2,
  VALUE_INTEGER = 3,
  VALUE_SMALLINT = 4,
  VALUE_DATE = 5,
  VALUE_LOGICAL = 6,
  VALUE_TYPE7 = 7,
  VALUE_FLOAT = 8,
  VALUE_MEMO = 9,
  VALUE_CHAR_REF = 10,
  VALUE_PEN = 11,
  VALUE_BRUSH = 12,
  VALUE_OBJECT = 13,
  VALUE_SYMBOL = 14,
  VALUE_FONT = 15,
  VALUE_FIXED_CHAR = 16,
  VALUE_TEXT = 21,
  VALUE_TEXT_REF = 24,
  VALUE_TYPE27 = 27,
  VALUE_TIME = 37,
  VALUE_DATETIME = 38,
  VALUE_LARGEINT = 39,
};

constexpr int16_t kErrStyleRange = 465;
constexpr int16_t kErrNumberRange = 471;

struct Value {
  uint8_t type;
  union Payload {
    struct {
      char* ptr;
      int32_t offset;  // types 1: -1 owned, >= 0 caller's buffer; 16: width
    } text;
    char* ref;  // types 10 and 24
    double d;
    int32_t i;
    int16_t s;
    uint8_t b;
    int64_t ll;
    Date date;
    Time time;
    DateTime dt;
    PenStyle* pen;
    BrushStyle* brush;
    SymbolStyle* symbol;
    FontStyle* font;
    struct {
      MapObject* obj;
      uint8_t flag;
    } object;
    unsigned char raw[16];
  } u;
};
static_assert(sizeof(Value) == 24);

// What the value layer needs of map objects; the map-object layer installs
// it when the kernel starts. Without it, object values cannot be copied.
struct ValueObjectOps {
  size_t record_size;
  int16_t (*copy)(const MapObject* src, MapObject* dst);
  void (*free)(MapObject* obj);
  int32_t (*buffer_sizes)(const MapObject* obj, int32_t* node_bytes, int32_t* z_bytes, int32_t* m_bytes);
};
void value_set_object_ops(const ValueObjectOps* ops);
// The object type of a map object (its first byte).
int16_t value_object_type(const MapObject* obj);

// ---- text access -------------------------------------------------------
char* value_text_ptr(const Value* value, char** out);
void value_text_release();
int32_t value_text_length(const Value* value);
char* value_text_copy(const Value* value, char* buffer, int32_t size);
int16_t value_set_text_ref(Value* value, char* buffer, int32_t offset);
int16_t value_is_text_type(int32_t type);

// ---- initialising and making -------------------------------------------
void value_init(Value* value, int32_t type, const void* source);
int16_t value_alloc_text(int32_t length, Value* value, char** out);
int16_t value_init_text(Value* value, int32_t type, int32_t length);
int16_t value_make(Value* value, int32_t type, ...);
int16_t value_vmake(Value* value, int32_t type, va_list args);
int16_t value_set_double(double x, int32_t type, Value* value);
int16_t value_set_int(int32_t n, int32_t type, Value* value);
int16_t value_set_int64(int64_t n, int32_t type, Value* value);
int16_t value_set_object(const MapObject* obj, uint8_t flag, Value* value);
int16_t value_set_font(const FontStyle* font, Value* value);
int16_t value_set_symbol(Value* value, const SymbolStyle* symbol);
int16_t value_get_pen(const Value* value, PenStyle* out);
int16_t value_get_brush(const Value* value, BrushStyle* out);
int16_t value_get_symbol(const Value* value, SymbolStyle* out);
int16_t value_get_font(const Value* value, FontStyle* out);

// ---- copying, clearing and freeing -------------------------------------
int16_t value_copy(Value* destination, const Value* source);
void value_clear(Value* value);
void value_free(Value* value);
void value_pad_fixed(Value* value);
int16_t value_check_int_range(double x, double a, double b, double* out);
void value_err_number(int16_t code, double x);
int16_t value_user_break();

// ---- sizes -------------------------------------------------------------
int32_t value_data_size(const Value* value);
int32_t value_display_width(const Value* value);
int32_t value_alloc_size(const Value* value);
