// The lexer of the statement language: the scanner that cuts text into
// tokens, the token reader over a text or a file (comment lines, "include"
// files and "define" macros), the token tests every parser uses, and the
// save and restore of the process-wide lexer state around nested runs.
#pragma once
#include <cstdint>
#include <vector>

#include "kernel/runtime/list.h"
#include "kernel/runtime/value.h"
#include "kernel/tables/lang/keywords.h"

constexpr int kLexBufSize = 2200;     // token text and line buffers
constexpr int kLexDefineBuckets = 87;
constexpr int kLexMaxIncludeDepth = 16;
constexpr int kLexNameMax = 31;
// Substitutions made on one physical line at the most; past it, defined
// names scan as identifiers (a chain of distinct defines can otherwise
// multiply the tokens of a line without bound).
constexpr int32_t kLexMaxExpansions = 65536;

constexpr int16_t kErrLexExpected = 615;
constexpr int16_t kErrLexNoEndQuote = 385;
constexpr int16_t kErrLexIncludeName = 383;
constexpr int16_t kErrLexDefineName = 1269;
constexpr int16_t kErrLexDefineEmpty = 1296;
constexpr int16_t kErrLexDefinedTwice = 381;

struct LexerDefine {
  LexerDefine* next;
  char name[kLexNameMax + 1];  // upper case
  char* text;                  // owned replacement text
};

struct LexerInclude {
  LexerInclude* next;
  long position;  // of the including file, after the "include" line
  int32_t line_number;
  int32_t handle;
  uint8_t depth;
};

// A substitution in force on the current line: the name and the end of its
// inserted text in the line buffer. A name in force is not expanded again.
struct LexerSubstitution {
  char name[kLexNameMax + 1];
  int32_t end;
};

// The input record of a file run.
struct LexerFile {
  int32_t handle;
  uint8_t include_depth;
  int32_t include_count;
  int32_t line_number;
  char line[kLexBufSize];
  KernelList defines[kLexDefineBuckets];
  LexerInclude* includes;  // last entered first
  // Where the current line came from: the stream position of its start,
  // whether it filled the buffer, and the mapping of buffer offsets at or
  // after raw_from to file offsets (raw_delta) once defines rewrote it.
  long line_start;
  int16_t line_full;
  int32_t raw_from;
  int64_t raw_delta;
  std::vector<LexerSubstitution> substitutions;
  int32_t expansions;  // substitutions made on this physical line
};

// A saved copy of the process-wide lexer state.
struct LexerState {
  LexerFile* file;
  int32_t file_owner;
  const char* text_start;
  const char* position;
  int16_t file_input;
  Value token;
  Value* current;
  char token_text[kLexBufSize];
  int16_t keyword_index;
  uint8_t input_mode;
  int16_t language_version;
  uint8_t companion;
  void* context;
};

// The statement language version in force (initially 9999) and the version
// a definition file asks for next (initially 0).
extern int16_t stmt_language_version;
extern int16_t tabfile_pending_version;

// ---- keywords -----------------------------------------------------------
// Reads a word at the text: its keyword id or 1; the word's full length.
int16_t lex_keyword_lookup(const char* text, int32_t* length);
// The starts-statement flag of a keyword token's row; 0 for other tokens.
int16_t keyword_value(const Value* token);

// ---- scanning and reading -----------------------------------------------
// Scans one token at text (not white space) into the token text buffer:
// 1 word, 2 string, 3 number, a keyword or punctuation id, 1024, or -1 at
// 0x1A (length 0).
int16_t lex_scan(const char* text, int32_t* length);
// Reads the next token into the current token (none at the end). Answers 1
// when a token was read.
int16_t lex_read_token();
int16_t lex_next();
int16_t lex_has_token();
// The current token or null; the token text buffer.
Value* lex_current();
const char* lex_token_text();
int16_t lex_keyword_index();

// Input: a text (borrowed; must outlive the reading) or a file record.
void lex_begin_text(const char* text);
void lex_begin_file(LexerFile* file);
// A file record for an open text file, its line counter at first_line.
LexerFile* lex_file_new(int32_t handle, int32_t first_line);
// Frees the record, its defines, and leaves and unregisters every include
// still entered (the outer file stays open).
void lex_file_free(LexerFile* file);
// Bucket of a define name (bytes taken as signed 8-bit).
uint32_t lex_define_hash(const char* name);

// ---- token tests ----------------------------------------------------------
// Class 1 identifier, 2 string, 3 number, else a token id.
int16_t lex_is(int16_t cls);
int16_t lex_expect(int16_t cls);
int16_t lex_require(int16_t cls);
void lex_error_expected(int16_t cls);
void lex_resync();
char* token_text(const Value* token, char* out, int32_t size);

// ---- state ----------------------------------------------------------------
void stmt_save_lexer(LexerState* state);
void stmt_restore_lexer(const LexerState* state);
// The statement runner's context pointer carried in the lexer state.
void* stmt_context();
void stmt_set_context(void* context);
// Back to the start state (tests).
void lex_reset();

// ---- running statement text -----------------------------------------------
// Runs statement text through the statement runner (stmt_run); the flag
// chooses the error mode of the run.
int16_t stmt_exec_text(const char* text, int16_t flag);
int16_t stmt_exec_command(const char* text, int16_t flag);

// ---- test seam --------------------------------------------------------------
// Codes of the errors the lexer reported and cleared at once (oldest first;
// the last 16 kept) and a reset of that record.
const std::vector<int16_t>& lex_reported_codes();
void lex_reported_clear();
