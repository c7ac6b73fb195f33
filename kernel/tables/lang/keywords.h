// The keyword table of the statement language: 692 keywords sorted by the
// byte values of their texts, then the 26 punctuation tokens. Token ids are
// also the operator codes of compiled expressions.
#pragma once
#include <cstdint>

struct KeywordEntry {
  const char* text;          // lower case
  int16_t id;                // token id
  int16_t starts_statement;  // 1 for a keyword that begins a statement
};

constexpr int kKeywordRows = 718;
constexpr int kKeywordWords = 692;

extern const KeywordEntry g_keyword_table[kKeywordRows];

// Token kinds of the scanner besides keyword and punctuation ids.
constexpr int16_t kTokEnd = -1;            // 0x1A, end of file
constexpr int16_t kTokIdentifier = 1;      // also: a word that is no keyword
constexpr int16_t kTokString = 2;
constexpr int16_t kTokNumber = 3;
constexpr int16_t kTokInclude = 7;
constexpr int16_t kTokDefine = 8;
constexpr int16_t kTokUnsupported = 1024;  // a character that starts no token
constexpr int16_t kTokComment = 1379;      // "'"

// Bisects rows 0-691 for the lower-case key (unsigned byte order). Answers
// the row index or -1.
int16_t keyword_find_row(const char* key);
// The text of the row with that id (any of the 718 rows), or "".
const char* keyword_text(int16_t id);
// The starts-statement flag of the row with that id; 0 when none.
int16_t keyword_flag(int16_t id);
