// The geometry text lexer: tokens of the geometry notation (keywords,
// numbers, strings, punctuation), and the token and location texts that
// every failure report of a text reader carries.
#pragma once

#include <cstdint>

// Token codes used by the readers.
enum : int16_t {
    KTGEO_TOK_END = 0,
    KTGEO_TOK_POLYGON = 6,
    KTGEO_TOK_POINT = 13,
    KTGEO_TOK_EMPTY = 29,
    KTGEO_TOK_LINESTRING = 30,
    KTGEO_TOK_MULTIPOINT = 31,
    KTGEO_TOK_MULTILINESTRING = 32,
    KTGEO_TOK_MULTIPOLYGON = 33,
    KTGEO_TOK_COLLECTION = 34,
    KTGEO_TOK_IDENTIFIER = 64,
    KTGEO_TOK_COMMA = 65,
    KTGEO_TOK_LPAREN = 68,
    KTGEO_TOK_RPAREN = 69,
    KTGEO_TOK_MINUS = 74,
    KTGEO_TOK_NUMBER = 79,
    KTGEO_TOK_STRING = 80,
    KTGEO_TOK_ILLEGAL = 128,
};

struct KtgeoLexer {
    const char* start;
    const char* cursor;
    int16_t token;
    int32_t error;
    char text[512];
    char message[256];
    char location[256];
    double value;
};

// A row of the token table (129 rows, indexed by code; code 0 in the
// unassigned rows).
struct KtgeoToken {
    int16_t code;
    const char* name;
    const char* describe;
};
// A slot of the keyword hash table (164 slots; a null word is empty).
struct KtgeoKeyword {
    const char* word;
    uint32_t hash;  // the word's hash / 512
    int16_t code;
    double value;
};
inline constexpr int KTGEO_KEYWORD_SLOTS = 164;
const KtgeoToken* ktgeo_lex_token_table();
const KtgeoKeyword* ktgeo_lex_keyword_table();
// The hash of a word (upper case, prefix already stripped).
uint32_t ktgeo_lex_hash(const char* word);

void ktgeo_lex_init(const char* text, KtgeoLexer* lexer);
int16_t ktgeo_lex_next(KtgeoLexer* lexer);
const char* ktgeo_lex_token_text(KtgeoLexer* lexer);
const char* ktgeo_lex_token_name(KtgeoLexer* lexer);
const char* ktgeo_lex_location(KtgeoLexer* lexer);
int ktgeo_lex_getc(KtgeoLexer* lexer);
void ktgeo_lex_ungetc(KtgeoLexer* lexer);

// "%.*g" of a value, independent of the process locale, into out
// (at least 40 bytes); the length written.
int ktgeo_format_g(double value, int precision, char* out);
