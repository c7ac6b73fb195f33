// Error stack, message joining and the fatal routines of the kernel.
#include "kernel/runtime/err.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "kernel/runtime/fmt.h"
#include "kernel/runtime/kshared.h"
#include "kernel/runtime/kstr.h"
#include "kernel/runtime/mb.h"
#include "kernel/runtime/str.h"

namespace {

struct ErrState {
  ErrorStack stack;
  int32_t mode = 1;
  int32_t guard_depth = 0;
  char fatal_message[kErrFatalBufSize];
};

ErrState g_state{};

int16_t entry_end(const ErrorEntry& e) { return static_cast<int16_t>(e.arg2_offset + e.arg2_length); }

// Copies text into the pool at pos with at most room bytes; answers the
// length stored (counting the NUL) and raises the overflow flag when cut.
int16_t store_text(ErrorStack& s, const char* text, int32_t pos, int32_t room) {
  if (text == nullptr) return 0;
  int32_t len = static_cast<int32_t>(strnlen(text, kErrPoolSize)) + 1;
  if (len > room) {
    s.overflow = 1;
    len = room;
  }
  if (len <= 0) return 0;
  str_copy_n(s.pool + pos, text, len);
  return static_cast<int16_t>(len);
}

[[noreturn]] void unwind() {
  if (g_state.guard_depth <= 0) {
    std::fprintf(stderr, "kernel fatal error outside any guard: %s\n", g_state.fatal_message);
    std::abort();
  }
  throw KernelFatal();
}

}  // namespace

ErrorStack* g_err_stack = &g_state.stack;

namespace {

// The stack known to be all zero: cleared, and neither pushed to, joined
// nor formatted into since. Clearing it again has nothing to do (every
// entry of the table API clears the stack, so that is the common case).
// A stack copied back over the live one (a saved stack restored) bypasses
// the mark, so an entry count is checked as well.
const ErrorStack* g_known_clear = nullptr;

}  // namespace

int16_t err_clear() {
  if (g_known_clear == g_err_stack && g_err_stack->stored_count == 0) return 0;
  std::memset(g_err_stack, 0, sizeof(ErrorStack));
  g_known_clear = g_err_stack;
  return 0;
}

int16_t err_push(int16_t severity, int16_t code, const char* text1, const char* text2) {
  ErrorStack& s = *g_err_stack;
  g_known_clear = nullptr;
  uint8_t mode = g_kshared.lexer_input_mode;
  if (mode == 0 || mode == 2) {
    int n = s.stored_count < kErrMaxEntries ? s.stored_count : kErrMaxEntries;
    for (int i = 0; i < n; ++i) {
      if (s.entries[i].code == code) {
        if (severity > s.entries[i].severity) s.entries[i].severity = severity;
        return 0;
      }
    }
  }
  int n = s.push_count;
  if (s.push_count < INT16_MAX) ++s.push_count;
  if (n < 0 || n >= kErrMaxEntries) s.overflow = 1;
  if (s.overflow || n < 0 || n >= kErrMaxEntries) return 0;

  ErrorEntry& e = s.entries[n];
  e = ErrorEntry{};
  e.severity = severity;
  e.code = code;
  int32_t pos = n == 0 ? 0 : entry_end(s.entries[n - 1]);
  e.prefix_offset = e.arg1_offset = e.arg2_offset = static_cast<int16_t>(pos);
  int32_t room = kErrPoolSize - pos;
  e.arg1_length = store_text(s, text1, pos, room);
  pos += e.arg1_length;
  room -= e.arg1_length;
  e.arg2_offset = static_cast<int16_t>(pos);
  e.arg2_length = store_text(s, text2, pos, room);
  ++s.stored_count;
  ++s.new_since_mark;
  return 1;
}

void err_mark() {
  ErrorStack& s = *g_err_stack;
  if (s.new_since_mark == 0) return;
  err_push(0, -1, nullptr, nullptr);
  s.new_since_mark = 0;
}

void err_format_entry(const ErrorEntry* entry) {
  err_format_template(entry, entry ? kernel_string(entry->code) : "");
}

void err_format_template(const ErrorEntry* entry, const char* t) {
  ErrorStack& s = *g_err_stack;
  g_known_clear = nullptr;
  char* line = s.line;
  int32_t len = 0;
  line[0] = '\0';
  if (entry == nullptr) return;
  if (entry->prefix_length > 0) {
    int32_t n = entry->prefix_length;
    if (n > kErrLineSize - 1) n = kErrLineSize - 1;
    if (entry->prefix_offset >= 0 && entry->prefix_offset + n <= kErrPoolSize) {
      len = static_cast<int32_t>(strnlen(s.pool + entry->prefix_offset, n));
      std::memcpy(line, s.pool + entry->prefix_offset, len);
    }
  }
  auto append_arg = [&](int16_t off, int16_t alen) {
    if (alen <= 0 || off < 0 || off + alen > kErrPoolSize) return;
    int32_t n = static_cast<int32_t>(strnlen(s.pool + off, alen));
    if (n > kErrLineSize - 1 - len) n = kErrLineSize - 1 - len;
    if (n <= 0) return;
    std::memcpy(line + len, s.pool + off, n);
    len += n;
  };
  if (t == nullptr) t = "";
  while (len < kErrLineSize - 1 && *t != '\0') {
    if (t[0] == '^' && (t[1] == '0' || t[1] == '1' || t[1] == '^')) {
      if (t[1] == '0') {
        append_arg(entry->arg1_offset, entry->arg1_length);
      } else if (t[1] == '1') {
        append_arg(entry->arg2_offset, entry->arg2_length);
      } else {
        line[len++] = '^';
      }
      t += 2;
      continue;
    }
    if (mb_is_lead_byte(t)) {
      if (t[1] == '\0' || len + 2 > kErrLineSize - 1) break;
      line[len++] = t[0];
      line[len++] = t[1];
    } else {
      line[len++] = *t;
    }
    t = mb_char_step(t);
  }
  line[len] = '\0';
}

int16_t err_join(int16_t restart, char* out, int32_t size) {
  ErrorStack& s = *g_err_stack;
  g_known_clear = nullptr;
  if (out == nullptr || size <= 0) return 0;
  if (restart) s.join_cursor = 0;
  out[0] = '\0';
  int32_t out_len = 0;
  int16_t any = 0;
  while (s.join_cursor >= 0 && s.join_cursor < kErrMaxEntries) {
    const ErrorEntry& e = s.entries[s.join_cursor++];
    if (e.code == 0 || e.code == -1) break;
    err_format_entry(&e);
    any = 1;
    int32_t line_len = static_cast<int32_t>(std::strlen(s.line));
    if (out_len + line_len + 1 >= size) {
      s.overflow = 1;
      break;
    }
    if (line_len > 0 && s.line[line_len - 1] == '\n') --line_len;
    std::memcpy(out + out_len, s.line, line_len);
    out_len += line_len;
    out[out_len++] = ' ';
    out[out_len] = '\0';
  }
  if (s.overflow) {
    const char* msg = kernel_string(kErrTooMany);
    int32_t mlen = static_cast<int32_t>(std::strlen(msg));
    if (out_len + mlen + 2 <= size) {
      std::memcpy(out + out_len, msg, mlen + 1);
    } else if (mlen < size) {
      std::memcpy(out + size - 1 - mlen, msg, mlen + 1);
    } else {
      std::memcpy(out, msg + (mlen - (size - 1)), size);
    }
  }
  return any;
}

int16_t err_report() {
  char buf[2048];
  err_join(1, buf, sizeof buf);
  if (buf[0] != '\0') kernel_error_message("%s", buf);
  err_clear();
  return 0;
}

int16_t err_count() { return g_err_stack->stored_count; }

uint16_t err_first_code() {
  const ErrorEntry& e = g_err_stack->entries[0];
  uint16_t code = static_cast<uint16_t>(e.code);
  if (code != 848) return code;
  // 848 carries the code of the underlying failure as decimal text.
  int16_t value = 0;
  if (e.arg1_length > 0 && e.arg1_offset >= 0 && e.arg1_offset + e.arg1_length <= kErrPoolSize) {
    str_to_short(g_err_stack->pool + e.arg1_offset, &value);
  }
  return static_cast<uint16_t>(value);
}

int16_t err_has_code(int16_t code) {
  for (const ErrorEntry& e : g_err_stack->entries) {
    if (e.code == code) return 1;
  }
  return 0;
}

int16_t err_set_mode(int32_t mode) {
  g_state.mode = mode == 2 ? 2 : 1;
  return 1;
}

int32_t err_get_mode() { return g_state.mode; }

// ---- fatal routines ---------------------------------------------------

void kernel_fatal(const char* format, ...) {
  va_list args;
  va_start(args, format);
  fmt_vformat(g_state.fatal_message, kErrFatalBufSize, format ? format : "", args);
  va_end(args);
  unwind();
}

void kernel_fatal_code(uint32_t code) { kernel_fatal("Internal Error code %u", code); }

void kernel_abort() { unwind(); }

void kernel_fatal_local(const char* format, ...) {
  char local[256];
  va_list args;
  va_start(args, format);
  fmt_vformat(local, sizeof local, format ? format : "", args);
  va_end(args);
  kernel_abort();
}

const void* kernel_assert(const void* pointer, const char* file, int32_t line) {
  if (pointer != nullptr) return pointer;
  kernel_fatal("Assertion failed: file %s, line %d", file ? file : "", line);
}

void kernel_error_message(const char* format, ...) {
  if (g_kshared.fatal_trap_flag == 0) return;
  va_list args;
  va_start(args, format);
  fmt_vformat(g_state.fatal_message, kErrFatalBufSize, format ? format : "", args);
  va_end(args);
  unwind();
}

const char* kernel_fatal_message() { return g_state.fatal_message; }

int32_t kernel_guard_depth() { return g_state.guard_depth; }

namespace kernel_detail {
GuardDepth::GuardDepth() { ++g_state.guard_depth; }
GuardDepth::~GuardDepth() { --g_state.guard_depth; }
void guard_begin_outermost() { g_state.fatal_message[0] = '\0'; }
}  // namespace kernel_detail
