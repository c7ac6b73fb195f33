// The kernel string table: the kernel's own texts addressed by number
// (messages, type and unit names, clause formats, Access statements,
// collation sources). Lookups return one of ten rotating 256-byte buffers.
#pragma once
#include <cstdint>

struct KernelString {
  int32_t id;
  const char* text;
};

// The rows in table order, ended by a row with id 0. An id may stand twice;
// the first row wins.
extern const KernelString g_kernel_string_table[];

constexpr int kKstrBuffers = 10;
constexpr int kKstrBufferSize = 256;

// The text of the first row with the id, cut to 254 characters, in the next
// of ten buffers (valid until ten further lookups). An absent id gives the
// empty text (479 and 973 have built-in fallbacks).
const char* kernel_string(int32_t id);
int16_t kernel_string_exists(int32_t id);

// Releases the lookup buffers, restarts the rotation and drops every
// override (for tests).
void kernel_string_reset();
// Gives an id a text of its own (copied, at most 254 characters) over the
// table's; a null text removes the override. At most 16 ids at once; 0
// when no room is left (for tests).
int16_t kernel_string_override(int32_t id, const char* text);
// Looks texts up in `rows` (ended by id 0) instead of the table; null goes
// back to the table (for tests: no row of the table is long enough to be cut).
void kernel_string_use_rows(const KernelString* rows);
