// The geometry text lexer. Character classes are ASCII; numbers are
// converted with std::from_chars, so nothing depends on the process locale.
#include "geometry/ktgeo_lex.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "geometry/qd_fail.h"

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_alpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool is_word(char c) { return is_alpha(c) || is_digit(c) || c == '_'; }
char upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

struct TokenRow {
    int16_t code;
    const char* name;
    const char* describe;
};

constexpr TokenRow kTokens[] = {
    {1, "KT_Closed", "KT_Closed [ %s ]"},
    {2, "KT_DirectionForward", "KT_DirectionForward [ %s ]"},
    {3, "KT_DirectionReverse", "KT_DirectionReverse [ %s ]"},
    {4, "KT_Assembled", "KT_Assembled [ %s ]"},
    {5, "ST_Spatial", "ST_Spatial [ %s ]"},
    {6, "ST_Polygon", "ST_Polygon [ %s ]"},
    {7, "ST_Path", "ST_Path [ %s ]"},
    {8, "ST_Polyline", "ST_Polyline [ %s ]"},
    {9, "ST_CircularArc", "ST_CircularArc [ %s ]"},
    {10, "KT_Circle", "KT_Circle [ %s ]"},
    {11, "ST_PiecewiseBezier", "ST_PiecewiseBezier [ %s ]"},
    {12, "KT_Curve", "KT_Curve [ %s ]"},
    {13, "ST_Point", "ST_Point [ %s ]"},
    {14, "KT_PointDyanmic", "KT_PointDyanmic [ %s ]"},
    {15, "sin", "sin [ %s ]"},
    {16, "cos", "cos [ %s ]"},
    {17, "tan", "tan [ %s ]"},
    {18, "asin", "asin [ %s ]"},
    {19, "acos", "acos [ %s ]"},
    {20, "atan", "atan [ %s ]"},
    {21, "atan2", "atan2 [ %s ]"},
    {22, "sqrt", "sqrt [ %s ]"},
    {23, "abs", "abs [ %s ]"},
    {24, "pow", "pow [ %s ]"},
    {25, "KT_Box", "KT_Box [ %s ]"},
    {26, "KT_Box_wh", "KT_Box_wh [ %s ]"},
    {27, "KT_Quad", "KT_Quad [ %s ]"},
    {28, "KT_Triangle", "KT_Triangle [ %s ]"},
    {29, "Empty", "Empty [ %s ]"},
    {30, "ST_LineString", "ST_LineString [ %s ]"},
    {31, "ST_MultiPoint", "ST_MultiPoint [ %s ]"},
    {32, "ST_MultiLineString", "ST_MultiLineString [ %s ]"},
    {33, "ST_MultiPolygon", "ST_MultiPolygon [ %s ]"},
    {34, "ST_GeometryCollection", "ST_GeometryCollection [ %s ]"},
    {64, "Identifier:%s", "Identifier [ %s ]"},
    {65, ",", "COMMA [ , ]"},
    {66, "{", "LEFT CURLY [ { ]"},
    {67, "}", "RIGHT CURLY [ } ]"},
    {68, "(", "LEFT PAREN [ ( ]"},
    {69, ")", "RIGHT PAREN [ ) ]"},
    {70, "[", "LEFT SQUARE [ [ ]"},
    {71, "]", "RIGHT SQUARE [ ] ]"},
    {72, "=", "EQUAL [ = ]"},
    {73, "+", "PLUS [ + ]"},
    {74, "-", "MINUS [ - ]"},
    {75, "*", "TIMES [ * ]"},
    {76, "/", "DIVIDE [ / ]"},
    {77, "True", "True [ %s ]"},
    {78, "False", "False [ %s ]"},
    {79, "%g", "Number (%s, %g)"},
    {80, "\"%s\"", "String (%s)"},
    {81, "LIST", "LIST [ %s ]"},
    {128, "Illegal Character", "Illegal Character [ %s ]"},
};

struct KeywordRow {
    const char* word;
    int16_t code;
    double value;
};

constexpr KeywordRow kKeywords[] = {
    {"CLOSED", 1, 0},          {"DIRECTIONFORWARD", 2, 0}, {"DIRECTIONREVERSE", 3, 0},
    {"ASSEMBLED", 4, 0},       {"SPATIAL", 5, 0},          {"GEOMETRY", 5, 0},
    {"OBJECT", 5, 0},          {"SPATIALOBJECT", 5, 0},    {"POLYGON", 6, 0},
    {"COMPOUNDCURVE", 7, 0},   {"PATH", 7, 0},             {"LINE", 8, 0},
    {"POLYLINE", 8, 0},        {"CIRCULARSTRING", 9, 0},   {"CIRCULARARC", 9, 0},
    {"CIRCLE", 10, 0},         {"PIECEWISEBEZIER", 11, 0}, {"CURVE", 12, 0},
    {"POINT", 13, 0},          {"POINTS", 13, 0},          {"NODE", 13, 0},
    {"SURFACE", 13, 0},        {"COORDINATES", 13, 0},     {"COORD", 13, 0},
    {"COORD2D", 13, 0},        {"COORD3D", 13, 0},         {"NODEDYNAMIC", 14, 0},
    {"POINTDYNAMIC", 14, 0},   {"SIN", 15, 0},             {"COS", 16, 0},
    {"TAN", 17, 0},            {"ASIN", 18, 0},            {"ACOS", 19, 0},
    {"ATAN", 20, 0},           {"ATAN2", 21, 0},           {"SQRT", 22, 0},
    {"ABS", 23, 0},            {"POW", 24, 0},             {"BOX", 25, 0},
    {"RECTANGLE", 25, 0},      {"BOX_WH", 26, 0},          {"QUAD", 27, 0},
    {"TRIANGLE", 28, 0},       {"EMPTY", 29, 0},           {"LINESTRING", 30, 0},
    {"MULTIPOINT", 31, 0},     {"MULTILINESTRING", 32, 0}, {"MULTIPOLYGON", 33, 0},
    {"GEOMETRYCOLLECTION", 34, 0}, {"TRUE", 77, 0},        {"FALSE", 78, 0},
    {"PI", 79, 3.141592653589793}, {"CNULL", 79, -1e308},  {"ZNULL", 79, -1000000},
    {"ZERO_DIVIDE", 79, 1e-20}, {"LIST", 81, 0},
};

std::array<KtgeoToken, 129> make_token_table() {
    std::array<KtgeoToken, 129> table{};
    for (KtgeoToken& t : table) t = KtgeoToken{0, nullptr, nullptr};
    for (const TokenRow& r : kTokens) table[r.code] = KtgeoToken{r.code, r.name, r.describe};
    return table;
}

std::array<KtgeoKeyword, KTGEO_KEYWORD_SLOTS> make_keyword_table() {
    std::array<KtgeoKeyword, KTGEO_KEYWORD_SLOTS> table{};
    for (KtgeoKeyword& k : table) k = KtgeoKeyword{nullptr, 0, 0, 0};
    // Every keyword has a slot of its own (a unit test holds this).
    for (const KeywordRow& r : kKeywords) {
        const uint32_t h = ktgeo_lex_hash(r.word) / 512;
        table[h % KTGEO_KEYWORD_SLOTS] = KtgeoKeyword{r.word, h, r.code, r.value};
    }
    return table;
}

const std::array<KtgeoToken, 129>& tokens() {
    static const std::array<KtgeoToken, 129> table = make_token_table();
    return table;
}

const std::array<KtgeoKeyword, KTGEO_KEYWORD_SLOTS>& keywords() {
    static const std::array<KtgeoKeyword, KTGEO_KEYWORD_SLOTS> table = make_keyword_table();
    return table;
}

void lex_fail(KtgeoLexer* lx, const char* code) {
    QD_FAIL(code, "token%s", ktgeo_lex_token_text(lx), "location%s", ktgeo_lex_location(lx),
            nullptr);
    lx->error = 1;
}

void set_text(KtgeoLexer* lx, const char* begin, size_t n) {
    if (n > 511) n = 511;
    std::memcpy(lx->text, begin, n);
    lx->text[n] = '\0';
}

// The value of a numeral that from_chars finds out of range: infinity for
// an overflow, 0 for an underflow, as the C library's conversion gives.
double out_of_range(const char* text) {
    long exponent = 0;
    const char* e = std::strpbrk(text, "eE");
    if (e) {
        const char* p = e + 1;
        const bool negative = *p == '-';
        if (*p == '+' || *p == '-') ++p;
        for (; is_digit(*p); ++p) exponent = exponent < 100000 ? exponent * 10 + (*p - '0') : exponent;
        if (negative) exponent = -exponent;
    }
    // Decimal position of the first non-zero digit.
    long position = 0;
    bool seen_point = false, found = false;
    for (const char* p = text; *p && p != e; ++p) {
        if (*p == '.') {
            seen_point = true;
            continue;
        }
        if (*p != '0' && !found) {
            found = true;
            if (!seen_point) {
                const char* q = p;
                while (is_digit(*q)) ++q;
                position = q - p;
            }
            break;
        }
        if (seen_point) --position;
    }
    if (!found) return 0;
    return position + exponent > 0 ? std::numeric_limits<double>::infinity() : 0.0;
}

int16_t lex_number(KtgeoLexer* lx) {
    enum State { kStart, kInteger, kFraction, kExpSign, kExponent } state = kStart;
    char buf[512];
    size_t n = 0;
    bool digits = false, exp_digits = false, exp_marker = false;
    for (;;) {
        const char c = *lx->cursor;
        bool take = false;
        switch (state) {
            case kStart:
                if (is_digit(c)) take = true, state = kInteger, digits = true;
                else if (c == '.') take = true, state = kFraction;
                break;
            case kInteger:
                if (is_digit(c)) take = true, digits = true;
                else if (c == '.') take = true, state = kFraction;
                else if (c == 'e' || c == 'E') take = true, state = kExpSign, exp_marker = true;
                break;
            case kFraction:
                if (is_digit(c)) take = true, digits = true;
                else if (c == 'e' || c == 'E') take = true, state = kExpSign, exp_marker = true;
                break;
            case kExpSign:
                if (is_digit(c)) take = true, state = kExponent, exp_digits = true;
                else if (c == '+' || c == '-') take = true, state = kExponent;
                break;
            case kExponent:
                if (is_digit(c)) take = true, exp_digits = true;
                break;
        }
        if (!take) break;
        buf[n++] = c;
        ++lx->cursor;
        if (n >= 511) {
            buf[n] = '\0';
            std::memcpy(lx->text, buf, n + 1);
            lex_fail(lx, "UKT2L");
            return lx->token = 0;
        }
    }
    buf[n] = '\0';
    std::memcpy(lx->text, buf, n + 1);
    if (exp_marker && !exp_digits) {
        lex_fail(lx, "UKT2J");
        return lx->token = 0;
    }
    if (!digits) {
        lex_fail(lx, "UKT2K");
        return lx->token = 0;
    }
    double v = 0;
    const auto r = std::from_chars(buf, buf + n, v, std::chars_format::general);
    if (r.ec == std::errc::result_out_of_range) v = out_of_range(buf);
    lx->value = v;
    return lx->token = KTGEO_TOK_NUMBER;
}

int16_t lex_word(KtgeoLexer* lx) {
    lx->token = KTGEO_TOK_IDENTIFIER;
    char upper_copy[512];
    size_t n = 0;
    while (is_word(*lx->cursor)) {
        if (n < 511) {
            lx->text[n] = *lx->cursor;
            upper_copy[n] = upper(*lx->cursor);
            ++n;
        }
        ++lx->cursor;
    }
    lx->text[n] = '\0';
    upper_copy[n] = '\0';
    const char* name = upper_copy;
    for (const char* prefix : {"XRV", "ST_", "QD_", "QDO", "KT_", "ZNQ"})
        if (std::strncmp(name, prefix, 3) == 0) {
            name += 3;
            break;
        }
    if (!*name) return lx->token;
    const KtgeoKeyword& slot = keywords()[(ktgeo_lex_hash(name) / 512) % KTGEO_KEYWORD_SLOTS];
    if (slot.word && slot.word[0] == name[0] && std::strcmp(slot.word + 1, name + 1) == 0) {
        lx->token = slot.code;
        lx->value = slot.value;
    }
    return lx->token;
}

void skip_comment(KtgeoLexer* lx) {
    while (*lx->cursor && *lx->cursor != '\n') ++lx->cursor;
    if (*lx->cursor == '\n') ++lx->cursor;
}

}  // namespace

const KtgeoToken* ktgeo_lex_token_table() { return tokens().data(); }
const KtgeoKeyword* ktgeo_lex_keyword_table() { return keywords().data(); }

uint32_t ktgeo_lex_hash(const char* word) {
    uint32_t hash = 0;
    for (uint32_t k = 0; word[k]; ++k)
        hash += static_cast<uint32_t>(static_cast<unsigned char>(word[k])) * (32u - k) * 379u;
    return hash;
}

int ktgeo_format_g(double value, int precision, char* out) {
    if (std::isnan(value)) return std::snprintf(out, 40, "%s", std::signbit(value) ? "-nan" : "nan");
    if (std::isinf(value)) return std::snprintf(out, 40, "%s", value < 0 ? "-inf" : "inf");
    // "%.0g" is "%.1g".
    const auto r = std::to_chars(out, out + 39, value, std::chars_format::general,
                                 precision < 1 ? 1 : precision);
    *r.ptr = '\0';
    return static_cast<int>(r.ptr - out);
}

void ktgeo_lex_init(const char* text, KtgeoLexer* lexer) {
    lexer->start = lexer->cursor = text;
    lexer->token = 0;
    lexer->error = 0;
    lexer->text[0] = lexer->message[0] = lexer->location[0] = '\0';
    lexer->value = 0;
}

int16_t ktgeo_lex_next(KtgeoLexer* lx) {
    lx->token = 0;
    if (lx->error) return 0;
    for (;;) {
        const char c = *lx->cursor;
        if (c == '\0') {
            lx->text[0] = '\0';
            return 0;
        }
        if (c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r' || c == ' ') {
            ++lx->cursor;
            continue;
        }
        if (c == '#') {
            skip_comment(lx);
            continue;
        }
        if (c == '-') {
            if (lx->cursor[1] == '-') {
                skip_comment(lx);
                continue;
            }
            set_text(lx, lx->cursor++, 1);
            return lx->token = KTGEO_TOK_MINUS;
        }
        static const char kSingles[] = "()*+,/=[]{}";
        static const int16_t kCodes[] = {68, 69, 75, 73, 65, 76, 72, 70, 71, 66, 67};
        if (const char* s = std::strchr(kSingles, c)) {
            set_text(lx, lx->cursor++, 1);
            return lx->token = kCodes[s - kSingles];
        }
        if (c == '"') {
            const char* begin = ++lx->cursor;
            while (*lx->cursor && *lx->cursor != '"' && lx->cursor - begin < 512) ++lx->cursor;
            set_text(lx, begin, static_cast<size_t>(lx->cursor - begin));
            lx->token = KTGEO_TOK_ILLEGAL;
            if (lx->cursor - begin >= 512) {
                lex_fail(lx, "UKT2M");
                return lx->token;
            }
            if (!*lx->cursor) {
                lex_fail(lx, "UKT2P");
                return lx->token;
            }
            ++lx->cursor;
            return lx->token = KTGEO_TOK_STRING;
        }
        if (is_digit(c) || c == '.') return lex_number(lx);
        if (is_alpha(c) || c == '_') return lex_word(lx);
        set_text(lx, lx->cursor, 1);
        lx->token = KTGEO_TOK_ILLEGAL;
        lex_fail(lx, "UKT2R");
        return lx->token;
    }
}

const char* ktgeo_lex_token_text(KtgeoLexer* lx) {
    const int code = lx->token;
    if (code == 0) {
        std::snprintf(lx->message, sizeof lx->message, "End of Input");
        return lx->message;
    }
    char shown[136];
    const size_t n = strnlen(lx->text, 129);
    std::memcpy(shown, lx->text, n > 128 ? 128 : n);
    std::strcpy(shown + (n > 128 ? 128 : n), n > 128 ? "..." : "");
    if (code < 0 || code > 128) {
        std::snprintf(lx->message, sizeof lx->message, "*Unknown* [ %s ]", shown);
    } else if (tokens()[code].code == 0) {
        std::snprintf(lx->message, sizeof lx->message, "* Programming Error on token %d *", code);
    } else if (code == KTGEO_TOK_NUMBER) {
        char g[40];
        ktgeo_format_g(lx->value, 6, g);
        std::snprintf(lx->message, sizeof lx->message, "Number (%s, %s)", shown, g);
    } else {
        const char* fmt = tokens()[code].describe;
        if (std::strstr(fmt, "%s")) {
            const char* at = std::strstr(fmt, "%s");
            std::snprintf(lx->message, sizeof lx->message, "%.*s%s%s",
                          static_cast<int>(at - fmt), fmt, shown, at + 2);
        } else {
            std::snprintf(lx->message, sizeof lx->message, "%s", fmt);
        }
    }
    return lx->message;
}

const char* ktgeo_lex_token_name(KtgeoLexer* lx) {
    const int code = lx->token;
    if (code == 0) std::snprintf(lx->message, sizeof lx->message, "End of Input");
    else if (code < 0 || code > 128) std::snprintf(lx->message, sizeof lx->message, "*Unknown*");
    else if (tokens()[code].code == 0)
        std::snprintf(lx->message, sizeof lx->message, "* Programming Error on token %d *", code);
    else if (code == KTGEO_TOK_IDENTIFIER)
        std::snprintf(lx->message, sizeof lx->message, "Identifier:%.200s", lx->text);
    else if (code == KTGEO_TOK_STRING)
        std::snprintf(lx->message, sizeof lx->message, "\"%.200s\"", lx->text);
    else if (code == KTGEO_TOK_NUMBER) ktgeo_format_g(lx->value, 6, lx->message);
    else std::snprintf(lx->message, sizeof lx->message, "%s", tokens()[code].name);
    return lx->message;
}

const char* ktgeo_lex_location(KtgeoLexer* lx) {
    const size_t before = static_cast<size_t>(lx->cursor - lx->start);
    const size_t back = before < 20 ? before : 20;
    const size_t ahead = strnlen(lx->cursor, 20);
    std::snprintf(lx->location, sizeof lx->location, "<%.*s>|<%.*s>", static_cast<int>(back),
                  lx->cursor - back, static_cast<int>(ahead), lx->cursor);
    return lx->location;
}

int ktgeo_lex_getc(KtgeoLexer* lx) {
    const int c = static_cast<unsigned char>(*lx->cursor);
    if (c) ++lx->cursor;
    return c;
}

void ktgeo_lex_ungetc(KtgeoLexer* lx) {
    if (lx->cursor > lx->start) --lx->cursor;
}
