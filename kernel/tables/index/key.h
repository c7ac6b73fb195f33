// Index keys: byte strings built from field values so that comparing two
// keys byte by byte (unsigned) gives the order of the values, and the key
// buffer that carries a key with its value and row number.
#pragma once
#include <cstdint>

#include "kernel/runtime/value.h"

constexpr int16_t kErrKeyType = 508;
constexpr int kKeyMaxStored = 128;  // the most key bytes an index file keeps

struct KeyBuf {
  uint8_t width = 0;      // number of key bytes
  int32_t row = 0;        // the row the key belongs to, 0 = none
  uint8_t* bytes = nullptr;  // owned, width bytes
  Value value{};          // of the key's type; a text owns width + 1 bytes
};

// The key width of a value type; 508 ("%d" with the type) and 0 for a type
// without keys. Texts answer 0 without an error: their width is the field's.
int32_t key_type_size(int32_t type);
int16_t key_type_has_key(int32_t type);
// Encodes the buffer's value into its key bytes. For Char *shorter is 1
// when the text is shorter than the width.
int16_t key_encode(KeyBuf* key, int16_t* shorter);
// Sets the buffer's value from its key bytes (exact inverse).
int16_t key_decode(KeyBuf* key);
// Stores a value into the key buffer's value, converted to the key's type.
int16_t key_set_value(const Value* source, KeyBuf* key, int32_t decimals, int16_t language_key);
int16_t key_set_decimal_fixed(const Value* source, KeyBuf* key, int32_t width, int32_t decimals);
int16_t keybuf_init(KeyBuf* key, int32_t type, int32_t width);
void keybuf_free(KeyBuf* key);
int16_t keybuf_assign(KeyBuf* dst, const KeyBuf* src, int16_t* too_long);
int16_t key_get_double(const KeyBuf* key, double* out);
int16_t key_get_int(const KeyBuf* key, int32_t* out);
int16_t key_get_int64(const KeyBuf* key, int64_t* out);
