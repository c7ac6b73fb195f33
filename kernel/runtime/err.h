// The kernel's error stack and the fatal guard.
//
// Kernel operations report failure by pushing a numbered error and returning
// a 16-bit flag of 0. Fatal kernel errors unwind to the outermost guard
// (kernel_guard), which pushes error 479 and fails.
#pragma once
#include <cstdarg>
#include <cstdint>
#include <exception>
#include <type_traits>

constexpr int kErrMaxEntries = 30;
constexpr int kErrPoolSize = 9000;
constexpr int kErrLineSize = 1024;
constexpr int kErrFatalBufSize = 512;
constexpr int16_t kErrFatal = 479;
constexpr int16_t kErrTooMany = 588;

struct ErrorEntry {
  int16_t severity;  // 4 for nearly every error, 0 for a separator
  int16_t code;      // -1 separator, 0 free
  int16_t prefix_offset;
  int16_t prefix_length;
  int16_t arg1_offset;
  int16_t arg1_length;  // counts the NUL; 0 means no argument
  int16_t arg2_offset;
  int16_t arg2_length;
};

struct ErrorStack {
  int16_t push_count;
  int16_t join_cursor;
  int16_t stored_count;
  int16_t new_since_mark;
  int16_t overflow;
  ErrorEntry entries[kErrMaxEntries];
  char pool[kErrPoolSize];
  char line[kErrLineSize];
};

// The one stack all kernel code uses. Points at a static stack from the start
// so that the kernel works before the table API sets up its own.
extern ErrorStack* g_err_stack;

int16_t err_clear();
int16_t err_push(int16_t severity, int16_t code, const char* text1, const char* text2);
void err_mark();
void err_format_entry(const ErrorEntry* entry);
// The same with a template of the caller's: "^0" and "^1" take the entry's
// arguments, "^^" gives '^'; the line goes to g_err_stack->line.
void err_format_template(const ErrorEntry* entry, const char* templ);
int16_t err_join(int16_t restart, char* out, int32_t size);
int16_t err_report();
int16_t err_count();
uint16_t err_first_code();
int16_t err_has_code(int16_t code);
int16_t err_set_mode(int32_t mode);
int32_t err_get_mode();

// ---- fatal guard ------------------------------------------------------

// Thrown by the fatal routines; caught only by the outermost kernel_guard.
class KernelFatal : public std::exception {
 public:
  const char* what() const noexcept override { return "kernel fatal error"; }
};

[[noreturn]] void kernel_fatal(const char* format, ...);
[[noreturn]] void kernel_fatal_code(uint32_t code);
[[noreturn]] void kernel_abort();
[[noreturn]] void kernel_fatal_local(const char* format, ...);
// Returns the pointer when non-null, else unwinds with "Assertion failed".
const void* kernel_assert(const void* pointer, const char* file, int32_t line);
// Unwinds with the message while the table API's fatal trap flag is set,
// else does nothing.
void kernel_error_message(const char* format, ...);

// The text of the last fatal error (at most 511 bytes).
const char* kernel_fatal_message();
// Number of guards currently running (0 outside any).
int32_t kernel_guard_depth();

namespace kernel_detail {
struct GuardDepth {
  GuardDepth();
  ~GuardDepth();
  GuardDepth(const GuardDepth&) = delete;
  GuardDepth& operator=(const GuardDepth&) = delete;
};
void guard_begin_outermost();
}  // namespace kernel_detail

// Runs fn under the fatal guard. Only the outermost guard catches: it pushes
// 479 and answers 0. fn answers an int16 flag (or nothing, read as 1).
template <class Fn>
int16_t kernel_guard(Fn&& fn) {
  auto call = [&]() -> int16_t {
    if constexpr (std::is_void_v<std::invoke_result_t<Fn&>>) {
      fn();
      return 1;
    } else {
      return static_cast<int16_t>(fn());
    }
  };
  if (kernel_guard_depth() > 0) {
    kernel_detail::GuardDepth depth;
    return call();
  }
  kernel_detail::guard_begin_outermost();
  try {
    kernel_detail::GuardDepth depth;
    return call();
  } catch (const KernelFatal&) {
    err_push(4, kErrFatal, nullptr, nullptr);
    return 0;
  }
}
