// Lookup of the kernel string table.
#include "kernel/runtime/kstr.h"

#include "kernel/runtime/err.h"
#include "kernel/runtime/mem.h"
#include "kernel/runtime/str.h"

const KernelString g_kernel_string_table[] = {
#include "kernel/runtime/kstr_table.inc"
#include "kernel/runtime/kstr_collation.inc"
    {0, nullptr},
};

namespace {

constexpr int kMaxOverrides = 16;

struct KstrOverride {
  int32_t id;  // 0: free
  char text[kKstrBufferSize];
};

struct KstrState {
  char* buffers = nullptr;
  int counter = 0;
  const KernelString* rows = g_kernel_string_table;
  KstrOverride overrides[kMaxOverrides] = {};
};
KstrState g_kstr;

KstrOverride* find_override(int32_t id) {
  for (KstrOverride& o : g_kstr.overrides) {
    if (o.id == id) return &o;
  }
  return nullptr;
}

const char* find_text(int32_t id) {
  if (id != 0) {
    if (const KstrOverride* o = find_override(id)) return o->text;
  }
  for (const KernelString* row = g_kstr.rows; row->id != 0; ++row) {
    if (row->id == id) return row->text;
  }
  return nullptr;
}

}  // namespace

const char* kernel_string(int32_t id) {
  static char empty[1] = {'\0'};
  if (g_kstr.buffers == nullptr &&
      !mem_alloc_zeroed(kKstrBuffers * kKstrBufferSize, &g_kstr.buffers)) {
    kernel_error_message("Unable to allocate string resource buffer.");
    empty[0] = '\0';
    return empty;
  }
  char* buf = g_kstr.buffers + g_kstr.counter * kKstrBufferSize;
  g_kstr.counter = (g_kstr.counter + 1) % kKstrBuffers;
  const char* text = find_text(id);
  if (text == nullptr) {
    if (id == 479) {
      text = "Internal Error: %u";
    } else if (id == 973) {
      text = "Program cannot run because required resource was not found.  Executable file may be damaged.";
    } else {
      kernel_error_message("Unable to access string resource (%d)", id);
      text = "";
    }
  }
  str_copy_n(buf, text, kKstrBufferSize - 1);
  buf[kKstrBufferSize - 1] = '\0';
  return buf;
}

int16_t kernel_string_exists(int32_t id) { return find_text(id) != nullptr ? 1 : 0; }

void kernel_string_reset() {
  mem_free(&g_kstr.buffers);
  g_kstr.counter = 0;
  for (KstrOverride& o : g_kstr.overrides) o.id = 0;
}

int16_t kernel_string_override(int32_t id, const char* text) {
  if (id == 0) return 0;
  KstrOverride* o = find_override(id);
  if (text == nullptr) {
    if (o != nullptr) o->id = 0;
    return 1;
  }
  if (o == nullptr) o = find_override(0);
  if (o == nullptr) return 0;
  o->id = id;
  str_copy_n(o->text, text, kKstrBufferSize - 1);
  return 1;
}

void kernel_string_use_rows(const KernelString* rows) { g_kstr.rows = rows ? rows : g_kernel_string_table; }
