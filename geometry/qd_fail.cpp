// Failure reports and the leveled trace: the one place where the geometry
// library (and the topology engine) tells the outside that something failed.
#include "geometry/qd_fail.h"

#include <locale.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "geometry/topology/qd_te_error.h"

QdFailState qd_fail_state = {nullptr, 40, nullptr, nullptr, nullptr, nullptr, nullptr};

void qd_fail_reset_state() {
    qd_fail_state = QdFailState{nullptr, 40, nullptr, nullptr, nullptr, nullptr, nullptr};
}

namespace {

constexpr int kMaxPairs = 6;
constexpr size_t kWorkBytes = 385;  // a filled report: at most 384 characters

bool is_upper(char c) { return c >= 'A' && c <= 'Z'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Numbers in reports and trace lines never depend on the process locale.
class CLocaleScope {
public:
    CLocaleScope() {
        static locale_t c_locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
        if (c_locale) previous_ = uselocale(c_locale);
    }
    ~CLocaleScope() {
        if (previous_) uselocale(previous_);
    }
    CLocaleScope(const CLocaleScope&) = delete;
    CLocaleScope& operator=(const CLocaleScope&) = delete;

private:
    locale_t previous_ = static_cast<locale_t>(0);
};

// The conversion letter of a key: the character after its first '%'.
char key_letter(const char* key) {
    const char* pct = std::strchr(key, '%');
    return pct ? pct[1] : '\0';
}

bool letter_takes_int(char letter) {
    return letter == 'd' || letter == 'i' || letter == 'u' || letter == 'x' || letter == 'c';
}

int read_pairs(va_list args, QdFailPair* pairs) {
    int count = 0;
    while (count < kMaxPairs) {
        const char* key = va_arg(args, const char*);
        if (!key) break;
        QdFailPair& pair = pairs[count++];
        pair.key = key;
        if (letter_takes_int(key_letter(key)))
            pair.value.i = va_arg(args, int);
        else
            pair.value.p = va_arg(args, const void*);
    }
    return count;
}

FILE* trace_stream() {
    if (!qd_fail_state.trace_stream) qd_fail_state.trace_stream = stdout;
    return qd_fail_state.trace_stream;
}

bool is_fixed_code(const char* code) {
    return std::strlen(code) == 5 && std::strncmp(code, "UKT", 3) == 0 &&
           (code[3] == '_' || is_upper(code[3]) || is_digit(code[3])) &&
           (is_upper(code[4]) || is_digit(code[4]));
}

}  // namespace

const char* qd_fail_base_name(const char* file) {
    if (!file) return "";
    const char* cut = nullptr;
    for (const char* p = file; *p; ++p)
        if (*p == '\\' || *p == '/') cut = p;
    return (cut && cut[1] != '\0') ? cut + 1 : file;
}

int qd_fail_init() { return 0; }
int qd_fail_term() { return 0; }

void qd_fail_set_handler(FailHandler* handler) { qd_fail_state.handler = handler; }

int32_t qd_fail_code_number(const char* code) {
    if (!code) return -41;
    if (std::strncmp(code, "UKT", 3) == 0 && code[3] != '\0' &&
        (code[3] == '_' || is_upper(code[3]) || is_digit(code[3])) &&
        (is_upper(code[4]) || is_digit(code[4])) && code[5] == '\0') {
        const char fourth = code[3], fifth = code[4];
        if (fourth == '_') {
            if (is_digit(fifth)) return -40 + (fifth - '0');
            if (fifth <= 'P') return -30 + (fifth - 'A');
            return -41;
        }
        if (fourth == '1') {
            if (fifth >= 'M' && fifth <= 'U') return -300 - (fifth - 'M');
            if (fifth == 'V') return -45;
            return -41;
        }
        if (fourth == '2') return is_upper(fifth) ? -201 - (fifth - 'A') : -41;
        return -41;
    }
    if (std::strncmp(code, "01KT", 4) == 0 && (is_upper(code[4]) || is_digit(code[4])) &&
        code[5] == '\0') {
        const char fifth = code[4];
        if (fifth >= 'A' && fifth <= 'N') return -350 - (fifth - 'A');
        if (fifth >= 'R' && fifth <= 'Z') return -367 - (fifth - 'R');
    }
    return -41;
}

void qd_fail_expand(char* out, size_t capacity, const char* tmpl, const QdFailPair* pairs,
                    int count) {
    if (!out) return;
    size_t used = 0;
    auto put = [&](const char* text, size_t n) {
        while (n-- > 0 && used < capacity) out[used++] = *text++;
    };
    if (tmpl) {
        CLocaleScope c_locale;
        for (const char* t = tmpl; *t && used < capacity; ++t) {
            if (*t == '\n') {
                if (t[1] != '\0') put(t, 1);
                continue;
            }
            if (*t != '%') {
                put(t, 1);
                continue;
            }
            const char* name = t + 1;
            const char* end = std::strchr(name, '%');
            const size_t len = end ? static_cast<size_t>(end - name) : std::strlen(name);
            t = end ? end : name + len - 1;
            const QdFailPair* match = nullptr;
            for (int i = 0; i < count && !match; ++i) {
                const char* key = pairs[i].key;
                if (key && std::strncmp(key, name, len) == 0 && key[len] == '%')
                    match = &pairs[i];
            }
            if (!match) continue;
            const char letter = match->key[len + 1];
            char number[128];
            int n = -1;
            switch (letter) {
                case 'd': n = std::snprintf(number, sizeof number, "%d", match->value.i); break;
                case 'e':
                    n = std::snprintf(number, sizeof number, "%e",
                                      *static_cast<const double*>(match->value.p));
                    break;
                case 'f':
                case 'g':
                    n = std::snprintf(number, sizeof number, "%f",
                                      *static_cast<const double*>(match->value.p));
                    break;
                case 'p': {
                    const double* xy = static_cast<const double*>(match->value.p);
                    n = std::snprintf(number, sizeof number, "(%.10f,%.10f)", xy[0], xy[1]);
                    break;
                }
                case 's': {
                    const char* s = match->value.s ? match->value.s : "(null)";
                    put(s, std::strlen(s));
                    break;
                }
                default:
                    qd_trace_printf(1, __FILE__, __LINE__, "qd_fail_expand",
                                    "Unknown Format Directive '%c'", letter);
                    break;
            }
            if (n > 0) put(number, std::min(static_cast<size_t>(n), sizeof number - 1));
            if (!end) break;
        }
    }
    out[used] = '\0';
}

int qd_fail_print_prefix(const char* file, int line) {
    std::printf("\"%s\", line %d: ", file, line);
    return 1;
}

void qd_fail_print_line(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vprintf(format, args);
    va_end(args);
    std::fputs("\n", stdout);
}

void qd_fail(const char* file, int line, const char* code, ...) {
    if (!code) code = "";
    QdFailPair pairs[kMaxPairs];
    va_list args;
    va_start(args, code);
    const int count = read_pairs(args, pairs);
    va_end(args);
    if (qd_fail_state.recorder)
        qd_fail_state.recorder(code, pairs, count, qd_fail_state.recorder_context);
    // Warnings print nothing and reach no handler.
    if (std::strlen(code) == 5 && code[0] == '0' && code[1] == '1') return;

    const char* base = qd_fail_base_name(file);
    if (is_fixed_code(code)) {
        qd_fail_print_prefix(base, line);
        std::printf("%s\n", code);
    } else {
        char work[kWorkBytes];
        qd_fail_expand(work, kWorkBytes - 1, code, pairs, count);
        qd_fail_print_prefix(base, line);
        std::printf("%s\n", work);
    }
    if (qd_fail_state.handler)
        qd_te_error_method(qd_fail_code_number(code), qd_fail_state.handler);
}

// ---------------------------------------------------------------- trace

void qd_trace_set_level(int level) { qd_fail_state.trace_level = level; }
int qd_trace_enabled(int level) { return level <= qd_fail_state.trace_level ? 1 : 0; }
void qd_trace_set_stream(FILE* stream) { qd_fail_state.trace_stream = stream; }

void qd_trace_vformat(char* out, const char* format, va_list args) {
    std::string msg;
    CLocaleScope c_locale;
    va_list ap;
    va_copy(ap, args);
    for (const char* f = format; *f && msg.size() < QD_TRACE_MESSAGE_MAX; ++f) {
        if (*f != '%') {
            msg += *f;
            continue;
        }
        std::string directive = "%";
        int stars = 0;
        bool is_long = false;
        ++f;
        while (*f && directive.size() < 15 && std::strchr(".0123456789*-l", *f)) {
            if (*f == '*') ++stars;
            if (*f == 'l') is_long = true;
            directive += *f++;
        }
        const char conv = *f;
        char piece[80];
        int n = -1;
        if (conv == 'c' || conv == 's') {
            if (stars > 0) {
                msg += "Too many format parameters for format directive ";
                msg += conv;
            } else if (conv == 'c') {
                msg += static_cast<char>(va_arg(ap, int));
            } else {
                const char* s = va_arg(ap, const char*);
                msg += s ? s : "(null)";
            }
        } else if (conv == 'd' || conv == 'u' || conv == 'x' || conv == 'f' || conv == 'g') {
            if (stars >= 3) {
                msg += "Too many format parameters";
            } else {
                int star_args[2] = {0, 0};
                for (int i = 0; i < stars; ++i) star_args[i] = va_arg(ap, int);
                directive += conv;
                const char* d = directive.c_str();
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
                auto emit = [&](auto value) {
                    if (stars == 0) return std::snprintf(piece, sizeof piece, d, value);
                    if (stars == 1)
                        return std::snprintf(piece, sizeof piece, d, star_args[0], value);
                    return std::snprintf(piece, sizeof piece, d, star_args[0], star_args[1], value);
                };
                if (conv == 'f' || conv == 'g')
                    n = emit(va_arg(ap, double));
                else if (is_long)
                    n = conv == 'd' ? emit(va_arg(ap, long)) : emit(va_arg(ap, unsigned long));
                else
                    n = conv == 'd' ? emit(va_arg(ap, int)) : emit(va_arg(ap, unsigned));
#pragma GCC diagnostic pop
                if (n > 0) msg.append(piece, std::min<size_t>(static_cast<size_t>(n), 64));
            }
        } else {
            msg += "Unknown format directive ";
            if (conv == '\0') break;
            msg += conv;
        }
    }
    va_end(ap);
    if (msg.size() >= QD_TRACE_MESSAGE_MAX) {
        msg.resize(QD_TRACE_MESSAGE_MAX);
        msg += "..";
    }
    std::memcpy(out, msg.c_str(), msg.size() + 1);
}

namespace {

void trace_record(int level, const char* function, const char* message) {
    if (qd_fail_state.trace_recorder)
        qd_fail_state.trace_recorder(level, function, message,
                                     qd_fail_state.trace_recorder_context);
}

void trace_one_line(const char* base, int line, const char* function, const char* text) {
    gl_tprintf("UKT_X", "file%s", base, "line%d", line, "function%s", function, "message%s",
               text, nullptr);
}

}  // namespace

void qd_trace_printf(int level, const char* file, int line, const char* function,
                     const char* format, ...) {
    if (level > qd_fail_state.trace_level || !format) return;
    const char* base = qd_fail_base_name(file);
    va_list args;
    va_start(args, format);
    if (std::strcmp(format, "%s") != 0 && std::strchr(format, '%')) {
        char message[QD_TRACE_MESSAGE_BYTES];
        qd_trace_vformat(message, format, args);
        va_end(args);
        trace_record(level, function, message);
        trace_one_line(base, line, function, message);
        return;
    }
    const char* text = format;
    if (std::strcmp(format, "%s") == 0) text = va_arg(args, const char*);
    va_end(args);
    if (!text) text = "";
    trace_record(level, function, text);
    if (std::strchr(text, '\n')) {
        FILE* out = qd_fail_state.trace_stream ? qd_fail_state.trace_stream : stdout;
        const char* p = text;
        while (*p) {
            const char* nl = std::strchr(p, '\n');
            const size_t len = nl ? static_cast<size_t>(nl - p) : std::strlen(p);
            std::fwrite(p, 1, std::min(len, QD_TRACE_MESSAGE_MAX), out);
            std::fputc('\n', out);
            p += len;
            if (*p == '\n') ++p;
        }
        return;
    }
    if (qd_fail_state.trace_stream && qd_fail_state.trace_stream != stdout) {
        std::fprintf(qd_fail_state.trace_stream, "%s\n", text);
        return;
    }
    trace_one_line(base, line, function, text);
}

void gl_tprintf(const char* tmpl, ...) {
    FILE* out = trace_stream();
    QdFailPair pairs[kMaxPairs];
    va_list args;
    va_start(args, tmpl);
    const int count = read_pairs(args, pairs);
    va_end(args);
    char work[390];
    qd_fail_expand(work, 384, tmpl, pairs, count);
    std::fprintf(out, "%s\n", work);
}

void qd_trace_line(const char* format, ...) {
    FILE* out = trace_stream();
    va_list args;
    va_start(args, format);
    std::vfprintf(out, format, args);
    va_end(args);
    std::fputc('\n', out);
}

void qd_trace_enter(const char* file, int line, const char* name) {
    qd_fail_print_prefix(qd_fail_base_name(file), line);
    std::printf("%s: enter.\n", name);
}

void qd_trace_exit(const char* file, int line, const char* name) {
    qd_fail_print_prefix(qd_fail_base_name(file), line);
    std::printf("%s: exit.\n", name);
}
