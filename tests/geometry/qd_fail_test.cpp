// Failure reports, code numbers, template filling and the trace formatter.
#include <gtest/gtest.h>

#include <cstdarg>
#include <string>

#include "geo_test_util.h"
#include "geometry/topology/qd_te_error.h"

using geotest::FailRecorder;
using geotest::StdoutCapture;

namespace {

struct HandlerLog {
    std::vector<int32_t> codes;
    std::vector<FailHandler*> handlers;
};

int32_t LogHandler(FailEvent* event, void* context) {
    HandlerLog* log = static_cast<HandlerLog*>(context);
    log->codes.push_back(event->code);
    log->handlers.push_back(event->handler);
    return 7;
}

std::string Format(const char* format, ...) {
    char out[QD_TRACE_MESSAGE_BYTES];
    va_list args;
    va_start(args, format);
    qd_trace_vformat(out, format, args);
    va_end(args);
    return out;
}

std::string Expand(const char* tmpl, std::vector<QdFailPair> pairs, size_t capacity = 384) {
    std::vector<char> out(capacity + 1);
    qd_fail_expand(out.data(), capacity, tmpl, pairs.data(), static_cast<int>(pairs.size()));
    return out.data();
}

QdFailPair S(const char* key, const char* value) {
    QdFailPair p{key, {}};
    p.value.s = value;
    return p;
}

QdFailPair I(const char* key, int value) {
    QdFailPair p{key, {}};
    p.value.i = value;
    return p;
}

QdFailPair P(const char* key, const void* value) {
    QdFailPair p{key, {}};
    p.value.p = value;
    return p;
}

}  // namespace

TEST(qd_fail, PrintsFileBaseNameLineAndCode) {
    struct Case {
        const char* file;
        const char* want;
    } cases[] = {
        {"C:\\src\\x.cpp", "\"x.cpp\", line 7: UKT_1\n"},
        {"/home/q/geometry/y.cpp", "\"y.cpp\", line 7: UKT_1\n"},
        {"C:\\src\\", "\"C:\\src\\\", line 7: UKT_1\n"},
        {"plain.cpp", "\"plain.cpp\", line 7: UKT_1\n"},
    };
    for (const Case& c : cases) {
        FailRecorder rec;
        StdoutCapture out;
        qd_fail(c.file, 7, "UKT_1", "function%s", "f", "param%s", "p", nullptr);
        EXPECT_EQ(out.Text(), c.want);
        EXPECT_EQ(rec.Last().Get("param"), "p");
    }
}

TEST(qd_fail, HandlerReceivesTheCodeNumber) {
    struct Case {
        const char* code;
        int32_t number;
        const char* printed;  // after the prefix
    } cases[] = {
        {"UKT_0", -40, "UKT_0"},   {"UKT_9", -31, "UKT_9"},   {"UKT_A", -30, "UKT_A"},
        {"UKT_J", -21, "UKT_J"},   {"UKT_P", -15, "UKT_P"},   {"UKT_Q", -41, "UKT_Q"},
        {"UKT1M", -300, "UKT1M"},  {"UKT1U", -308, "UKT1U"},  {"UKT1V", -45, "UKT1V"},
        {"UKT2A", -201, "UKT2A"},  {"UKT2S", -219, "UKT2S"},  {"UKT_a", -41, "UKT_a"},
        {"UKT_12", -41, "UKT_12"}, {"NOMEM", -41, "NOMEM"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        FailRecorder rec;
        HandlerLog log;
        FailHandler handler{LogHandler, &log};
        qd_fail_set_handler(&handler);
        StdoutCapture out;
        qd_fail("geo.cpp", 3, c.code, nullptr);
        EXPECT_EQ(out.Text(), std::string("\"geo.cpp\", line 3: ") + c.printed + "\n");
        ASSERT_EQ(log.codes.size(), 1u);
        EXPECT_EQ(log.codes[0], c.number);
        EXPECT_EQ(log.handlers[0], &handler);
    }
    EXPECT_EQ(qd_fail_code_number("01KTA"), -350);
    EXPECT_EQ(qd_fail_code_number("01KTN"), -363);
    EXPECT_EQ(qd_fail_code_number("01KTO"), -41);
    EXPECT_EQ(qd_fail_code_number("01KTR"), -367);
    EXPECT_EQ(qd_fail_code_number("01KTU"), -370);
    EXPECT_EQ(qd_fail_code_number("01KTZ"), -375);
}

TEST(qd_fail, WarningsPrintNothingAndReachNoHandler) {
    FailRecorder rec;
    HandlerLog log;
    FailHandler handler{LogHandler, &log};
    qd_fail_set_handler(&handler);
    StdoutCapture out;
    qd_fail("geo.cpp", 3, "01KTA", "what%s", "ST_Path", nullptr);
    EXPECT_EQ(out.Text(), "");
    EXPECT_TRUE(log.codes.empty());
}

TEST(qd_fail, ErrorMethodCallsOnlyWithAFunctionAndACodeOtherThanOne) {
    FailRecorder rec;
    HandlerLog log;
    FailHandler with{LogHandler, &log};
    FailHandler without{nullptr, &log};
    EXPECT_EQ(qd_te_error_method(-40, &with), 7);
    EXPECT_EQ(qd_te_error_method(1, &with), 1);
    EXPECT_EQ(qd_te_error_method(-40, &without), 1);
    EXPECT_EQ(log.codes, std::vector<int32_t>({-40}));
    StdoutCapture out;
    EXPECT_EQ(qd_te_error_method(-40, nullptr), 0);
    EXPECT_EQ(rec.Last().code, "UKT1M");
    EXPECT_EQ(rec.Last().Get("function"), "qd_te_error_method");
}

TEST(qd_fail, TemplatesAreFilledFromPairs) {
    const double d = 2.5;
    const double xy[2] = {1.0, -2.0};
    struct Case {
        const char* tmpl;
        std::vector<QdFailPair> pairs;
        std::string want;
    } cases[] = {
        {"%nope% then %param%", {S("param%s", "p")}, " then p"},
        {"a%%b", {S("param%s", "p")}, "ab"},
        {"no pairs %param%", {}, "no pairs "},
        {"line\nnext\n", {}, "line\nnext"},
        {"n=%nbytes%", {I("nbytes%d", -12)}, "n=-12"},
        {"e=%v%", {P("v%e", &d)}, "e=2.500000e+00"},
        {"g=%v%", {P("v%g", &d)}, "g=2.500000"},
        {"p=%at%", {P("at%p", xy)}, "p=(1.0000000000,-2.0000000000)"},
        {"%par%|%param%", {S("param%s", "p")}, "|p"},
        {"first %k% wins", {S("k%s", "1"), S("k%s", "2")}, "first 1 wins"},
        {"open %param", {S("param%s", "p")}, "open p"},
    };
    for (const Case& c : cases) EXPECT_EQ(Expand(c.tmpl, c.pairs), c.want) << c.tmpl;
    EXPECT_EQ(Expand("abcdef", {}, 4), "abcd");
}

TEST(qd_fail, UnknownConversionLetterWritesNothingAndTraces) {
    FailRecorder rec;
    std::vector<std::string> messages;
    qd_fail_state.trace_recorder = [](int, const char*, const char* m, void* c) {
        static_cast<std::vector<std::string>*>(c)->push_back(m);
    };
    qd_fail_state.trace_recorder_context = &messages;
    StdoutCapture out;
    EXPECT_EQ(Expand("a%n%b", {I("n%u", 5)}), "ab");
    EXPECT_EQ(out.Text(), "UKT_X\n");
    EXPECT_EQ(messages, std::vector<std::string>({"Unknown Format Directive 'u'"}));
}

TEST(qd_fail, SixCharacterCodeIsATemplate) {
    FailRecorder rec;
    StdoutCapture out;
    qd_fail("a/b.cpp", 12, "bad %param% here", "param%s", "lst", nullptr);
    qd_fail("a/b.cpp", 13, "UKT_12", nullptr);
    EXPECT_EQ(out.Text(), "\"b.cpp\", line 12: bad lst here\n\"b.cpp\", line 13: UKT_12\n");
}

TEST(qd_fail, TraceLevelsGateMessages) {
    FailRecorder rec;
    StdoutCapture out;
    qd_trace_printf(40, "t.cpp", 1, "f", "one %d", 1);
    qd_trace_printf(41, "t.cpp", 2, "f", "two %d", 2);
    qd_trace_printf(40, "t.cpp", 3, "f", "plain");
    qd_trace_printf(40, "t.cpp", 4, "f", "%s", "first\nsecond");
    EXPECT_EQ(out.Text(), "UKT_X\nUKT_X\nfirst\nsecond\n");
    EXPECT_EQ(qd_trace_enabled(40), 1);
    EXPECT_EQ(qd_trace_enabled(41), 0);
    qd_trace_set_level(64);
    EXPECT_EQ(qd_trace_enabled(64), 1);
}

TEST(qd_fail, TraceLinesGoToASetStream) {
    FailRecorder rec;
    std::FILE* f = std::tmpfile();
    qd_trace_set_stream(f);
    StdoutCapture out;
    qd_trace_printf(1, "t.cpp", 1, "f", "to the stream");
    gl_tprintf("%function%: %line%", "function%s", "fn", "line%d", 9, nullptr);
    EXPECT_EQ(out.Text(), "");
    std::rewind(f);
    char buf[128] = {};
    const size_t n = std::fread(buf, 1, sizeof buf - 1, f);
    EXPECT_EQ(std::string(buf, n), "to the stream\nfn: 9\n");
    std::fclose(f);
}

TEST(qd_fail, FormatterDirectives) {
    struct Case {
        std::string got, want;
    } cases[] = {
        {Format("%d|%5d|%-3d|%x|%u", 42, 7, 1, 255, 3u), "42|    7|1  |ff|3"},
        {Format("%*d", 4, 9), "   9"},
        {Format("%*.*f", 6, 2, 3.14159), "  3.14"},
        {Format("%***d|rest", 1, 2, 3), "Too many format parameters|rest"},
        {Format("%c%s", 'A', "bc"), "Abc"},
        {Format("%*c", 'A'), "Too many format parameters for format directive c"},
        {Format("%*s", "x"), "Too many format parameters for format directive s"},
        {Format("%e", 1.0), "Unknown format directive e"},
        {Format("%i", 1), "Unknown format directive i"},
        {Format("100%%"), "100Unknown format directive %"},
        {Format("end %"), "end Unknown format directive "},
        {Format("%lu items", 12ul), "12 items"},
        {Format("%.3g", 1234.5), "1.23e+03"},
    };
    for (const Case& c : cases) EXPECT_EQ(c.got, c.want);
}

TEST(qd_fail, FormatterCutsLongMessages) {
    const std::string long_text(500, 'x');
    const std::string got = Format("%s", long_text.c_str());
    std::string want(385, 'x');
    want += "..";
    EXPECT_EQ(got, want);
    const std::string exact(385, 'y');
    EXPECT_EQ(Format("%s!", exact.c_str()), exact + "..");
    const std::string under(384, 'z');
    EXPECT_EQ(Format("%s", under.c_str()), under);
}

TEST(qd_fail, EnterExitAndPrefix) {
    StdoutCapture out;
    qd_trace_enter("C:\\a\\m.cpp", 5, "fn");
    qd_trace_exit("m.cpp", 6, "fn");
    EXPECT_EQ(qd_fail_print_prefix("m.cpp", 1), 1);
    qd_fail_print_line("%d-%s", 3, "x");
    EXPECT_EQ(out.Text(),
              "\"m.cpp\", line 5: fn: enter.\n\"m.cpp\", line 6: fn: exit.\n\"m.cpp\", line 1: 3-x\n");
    EXPECT_EQ(qd_fail_init(), 0);
    EXPECT_EQ(qd_fail_term(), 0);
}
