// The geometry text lexer: token sequences, number states and their
// failures, keywords and prefixes, comments, token texts and locations,
// and the keyword table's invariants.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "geo_test_util.h"
#include "geometry/ktgeo_lex.h"

using geotest::FailRecorder;

namespace {

struct Tok {
    int code;
    double value;
    std::string text;
};

std::vector<Tok> Lex(const std::string& text, KtgeoLexer* lx) {
    ktgeo_lex_init(text.c_str(), lx);
    std::vector<Tok> out;
    for (int guard = 0; guard < 100; ++guard) {
        const int code = ktgeo_lex_next(lx);
        out.push_back({code, code == 79 ? lx->value : 0, lx->text});
        if (code == 0) break;
    }
    return out;
}

std::vector<int> Codes(const std::string& text) {
    KtgeoLexer lx;
    std::vector<int> codes;
    for (const Tok& t : Lex(text, &lx)) codes.push_back(t.code);
    return codes;
}

TEST(ktgeo_lex, TokenSequences) {
    struct Case {
        const char* text;
        std::vector<int> codes;
    } cases[] = {
        {"( 1.5e3 , -.5 )", {68, 79, 65, 74, 79, 69, 0}},
        {"12abc", {79, 64, 0}},
        {"polygon ST_POLYGON QD_Polygon", {6, 6, 6, 0}},
        {"LINE LINESTRING", {8, 30, 0}},
        {"SURFACE ST_Point point KT_POINT", {13, 13, 13, 13, 0}},
        {"{}[]=+*/", {66, 67, 70, 71, 72, 73, 75, 76, 0}},
        {"\"a b\" TRUE false list", {80, 77, 78, 81, 0}},
        {"POINT # comment\n(", {13, 68, 0}},
        {"POINT -- comment\n)", {13, 69, 0}},
        {"POINT # to the end", {13, 0}},
        {"1 -", {79, 74, 0}},
        {"QDO", {64, 0}},
        {"EMPTY GEOMETRYCOLLECTION MULTIPOLYGON", {29, 34, 33, 0}},
    };
    for (const Case& c : cases) EXPECT_EQ(Codes(c.text), c.codes) << c.text;
}

TEST(ktgeo_lex, NumberValues) {
    struct Case {
        const char* text;
        double value;
    } cases[] = {
        {"1.", 1},           {"1.5e3", 1500},  {".5", 0.5},        {"1e+2", 100},
        {"1E-2", 0.01},      {"PI", 3.141592653589793},            {"ZNULL", -1000000},
        {"CNULL", -1e308},   {"ZERO_DIVIDE", 1e-20},               {"1e400", HUGE_VAL},
        {"1e-400", 0},       {"0.000e999", 0}, {"123456789012345678", 123456789012345678.0},
    };
    for (const Case& c : cases) {
        KtgeoLexer lx;
        const auto toks = Lex(c.text, &lx);
        ASSERT_EQ(toks[0].code, 79) << c.text;
        EXPECT_EQ(toks[0].value, c.value) << c.text;
        EXPECT_EQ(toks[0].text, c.text);
    }
}

TEST(ktgeo_lex, FailuresSetTheErrorFlag) {
    struct Case {
        const char* text;
        const char* code;
        int token;
    } cases[] = {
        {".", "UKT2K", 0},      {"1e+", "UKT2J", 0},  {"1e", "UKT2J", 0},
        {"$ POINT", "UKT2R", 128}, {"\"open", "UKT2P", 128},
    };
    for (const Case& c : cases) {
        FailRecorder rec;
        KtgeoLexer lx;
        ktgeo_lex_init(c.text, &lx);
        EXPECT_EQ(ktgeo_lex_next(&lx), c.token) << c.text;
        ASSERT_EQ(rec.Codes(), std::vector<std::string>{c.code}) << c.text;
        EXPECT_FALSE(rec.Last().Get("token").empty());
        EXPECT_EQ(ktgeo_lex_next(&lx), 0);
        EXPECT_EQ(ktgeo_lex_next(&lx), 0);
        EXPECT_EQ(rec.Codes().size(), 1u);
    }
}

TEST(ktgeo_lex, LongTokens) {
    FailRecorder rec;
    KtgeoLexer lx;
    const std::string word(600, 'a');
    ktgeo_lex_init(word.c_str(), &lx);
    EXPECT_EQ(ktgeo_lex_next(&lx), 64);
    EXPECT_EQ(std::string(lx.text), std::string(511, 'a'));
    EXPECT_EQ(ktgeo_lex_next(&lx), 0);

    const std::string digits(600, '1');
    ktgeo_lex_init(digits.c_str(), &lx);
    EXPECT_EQ(ktgeo_lex_next(&lx), 0);
    EXPECT_EQ(rec.Codes(), std::vector<std::string>{"UKT2L"});

    rec.Clear();
    const std::string text = "\"" + std::string(600, 's') + "\"";
    ktgeo_lex_init(text.c_str(), &lx);
    EXPECT_EQ(ktgeo_lex_next(&lx), 128);
    EXPECT_EQ(std::strlen(lx.text), 511u);
    EXPECT_EQ(rec.Codes(), std::vector<std::string>{"UKT2M"});
    // The report shows 128 characters of the text and "...".
    EXPECT_NE(rec.Last().Get("token").find(std::string(128, 's') + "..."), std::string::npos);
}

TEST(ktgeo_lex, TokenTextsAndNames) {
    KtgeoLexer lx;
    ktgeo_lex_init("ZNULL foo 2.5 ( \"s\"", &lx);
    ktgeo_lex_next(&lx);
    EXPECT_STREQ(ktgeo_lex_token_text(&lx), "Number (ZNULL, -1e+06)");
    EXPECT_STREQ(ktgeo_lex_token_name(&lx), "-1e+06");
    ktgeo_lex_next(&lx);
    EXPECT_STREQ(ktgeo_lex_token_text(&lx), "Identifier [ foo ]");
    EXPECT_STREQ(ktgeo_lex_token_name(&lx), "Identifier:foo");
    ktgeo_lex_next(&lx);
    EXPECT_STREQ(ktgeo_lex_token_text(&lx), "Number (2.5, 2.5)");
    ktgeo_lex_next(&lx);
    EXPECT_STREQ(ktgeo_lex_token_text(&lx), "LEFT PAREN [ ( ]");
    EXPECT_STREQ(ktgeo_lex_token_name(&lx), "(");
    ktgeo_lex_next(&lx);
    EXPECT_STREQ(ktgeo_lex_token_text(&lx), "String (s)");
    EXPECT_STREQ(ktgeo_lex_token_name(&lx), "\"s\"");
    ktgeo_lex_next(&lx);
    EXPECT_STREQ(ktgeo_lex_token_text(&lx), "End of Input");
    lx.token = 40;
    EXPECT_STREQ(ktgeo_lex_token_text(&lx), "* Programming Error on token 40 *");
    lx.token = 200;
    EXPECT_STREQ(ktgeo_lex_token_name(&lx), "*Unknown*");
}

TEST(ktgeo_lex, Location) {
    KtgeoLexer lx;
    const std::string text = "abcdefghijklmnopqrstuvwxyz0123456789ABCDEFGHIJKLMN";  // 50
    ktgeo_lex_init(text.c_str(), &lx);
    lx.cursor = lx.start + 30;
    EXPECT_EQ(std::string(ktgeo_lex_location(&lx)),
              "<" + text.substr(10, 20) + ">|<" + text.substr(30, 20) + ">");
    lx.cursor = lx.start + 5;
    EXPECT_EQ(std::string(ktgeo_lex_location(&lx)), "<abcde>|<" + text.substr(5, 20) + ">");
    lx.cursor = lx.start + 45;
    EXPECT_EQ(std::string(ktgeo_lex_location(&lx)),
              "<" + text.substr(25, 20) + ">|<" + text.substr(45) + ">");
}

TEST(ktgeo_lex, GetcAndUngetc) {
    KtgeoLexer lx;
    ktgeo_lex_init("a", &lx);
    EXPECT_EQ(ktgeo_lex_getc(&lx), 'a');
    EXPECT_EQ(ktgeo_lex_getc(&lx), 0);
    EXPECT_EQ(ktgeo_lex_getc(&lx), 0);
    ktgeo_lex_ungetc(&lx);
    EXPECT_EQ(ktgeo_lex_getc(&lx), 'a');
}

TEST(ktgeo_lex, KeywordTableInvariants) {
    const KtgeoKeyword* table = ktgeo_lex_keyword_table();
    std::set<std::string> words;
    int filled = 0;
    for (int i = 0; i < KTGEO_KEYWORD_SLOTS; ++i) {
        if (!table[i].word) continue;
        ++filled;
        words.insert(table[i].word);
        EXPECT_EQ(table[i].hash, ktgeo_lex_hash(table[i].word) / 512) << table[i].word;
        EXPECT_EQ(static_cast<int>(table[i].hash % KTGEO_KEYWORD_SLOTS), i) << table[i].word;
        // Every keyword reads as its own code.
        KtgeoLexer lx;
        ktgeo_lex_init(table[i].word, &lx);
        EXPECT_EQ(ktgeo_lex_next(&lx), table[i].code) << table[i].word;
    }
    EXPECT_EQ(filled, 56);
    EXPECT_EQ(words.size(), 56u);
    const KtgeoToken* tokens = ktgeo_lex_token_table();
    int assigned = 0;
    for (int i = 0; i <= 128; ++i)
        if (tokens[i].code) {
            EXPECT_EQ(tokens[i].code, i);
            ++assigned;
        }
    EXPECT_EQ(assigned, 53);
}

}  // namespace
