// Failure reporting and diagnostic trace of the geometry library.
//
// Every failure is reported once, where it is detected, with qd_fail: the
// source file and line, a five-character code and up to six key/value pairs
// whose keys carry their conversion letter ("function%s", "nbytes%d"),
// ended by a null key. Values by letter: d (and i, u, x, c) an int,
// s a string, e f g a pointer to a double, p a pointer to two doubles.
// The report goes to stdout and, with a handler installed, to the topology
// engine's error method as the code's number.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>

struct FailHandler;

struct FailEvent {
    int32_t code;
    FailHandler* handler;
};

struct FailHandler {
    int32_t (*on_fail)(FailEvent* event, void* context);
    void* context;
};

// One key/value pair of a report, as read from the argument list.
struct QdFailPair {
    const char* key;
    union {
        int i;
        const char* s;
        const void* p;
    } value;
};

// Test-only observers: each report (warnings included) with its pairs, and
// each trace message that reaches the formatting step.
typedef void (*QdFailRecorder)(const char* code, const QdFailPair* pairs, int count,
                               void* context);
typedef void (*QdTraceRecorder)(int level, const char* function, const char* message,
                                void* context);

// Process-wide state of the module; qd_fail_reset_state restores the start values.
struct QdFailState {
    FailHandler* handler;  // null at start
    int trace_level;       // 40 at start
    FILE* trace_stream;    // null: the standard output
    QdFailRecorder recorder;
    void* recorder_context;
    QdTraceRecorder trace_recorder;
    void* trace_recorder_context;
};
extern QdFailState qd_fail_state;
void qd_fail_reset_state();

void qd_fail(const char* file, int line, const char* code, ...);
void qd_fail_set_handler(FailHandler* handler);
int32_t qd_fail_code_number(const char* code);
// Fills a template with pairs into out (at most capacity characters and a
// terminating zero, so out holds capacity + 1 bytes).
void qd_fail_expand(char* out, size_t capacity, const char* tmpl, const QdFailPair* pairs,
                    int count);
int qd_fail_print_prefix(const char* file, int line);
void qd_fail_print_line(const char* format, ...);
// The part of a path after its last '\' or '/', or the whole path when
// nothing follows that separator.
const char* qd_fail_base_name(const char* file);
// The two entry points of the module without arguments; both answer 0.
int qd_fail_init();
int qd_fail_term();

void qd_trace_set_level(int level);
int qd_trace_enabled(int level);
void qd_trace_printf(int level, const char* file, int line, const char* function,
                     const char* format, ...);
// The trace message formatter: the formatted text, cut at 385 characters
// with ".." added, into out (at least QD_TRACE_MESSAGE_BYTES bytes).
inline constexpr size_t QD_TRACE_MESSAGE_MAX = 385;
inline constexpr size_t QD_TRACE_MESSAGE_BYTES = QD_TRACE_MESSAGE_MAX + 3;
void qd_trace_vformat(char* out, const char* format, va_list args);
void gl_tprintf(const char* tmpl, ...);
void qd_trace_set_stream(FILE* stream);
void qd_trace_line(const char* format, ...);
void qd_trace_enter(const char* file, int line, const char* name);
void qd_trace_exit(const char* file, int line, const char* name);

// Reports with this file's base name and the current line.
#define QD_FAIL(...) qd_fail(__FILE__, __LINE__, __VA_ARGS__)
