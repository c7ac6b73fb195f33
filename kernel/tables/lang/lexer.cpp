// Scanner, token reader, token tests and lexer state of the statement
// language.
#include "kernel/tables/lang/lexer.h"

#include <charconv>
#include <cstring>
#include <string>
#include <vector>

#include "kernel/runtime/err.h"
#include "kernel/runtime/file.h"
#include "kernel/runtime/hooks.h"
#include "kernel/runtime/kshared.h"
#include "kernel/runtime/kstr.h"
#include "kernel/runtime/mb.h"
#include "kernel/runtime/mem.h"
#include "kernel/runtime/path.h"
#include "kernel/runtime/str.h"
#include "kernel/runtime/valconv.h"
#include "kernel/tables/tabread.h"

int16_t stmt_language_version = 9999;
int16_t tabfile_pending_version = 0;

namespace {

// The live state has the layout of a saved copy; its input mode and
// language version live in their own process-wide variables.
LexerState g_lex = [] {
  LexerState s{};
  s.keyword_index = -1;
  return s;
}();
std::vector<int16_t> g_reported;

constexpr char kDelimiters[] = "$@%!& \"'()*+,-./:;<=>?[]\\^`{}|\x7f";
constexpr char kSuffixes[] = "$@%!&";

bool is_delimiter(unsigned char c) { return c != 0 && std::strchr(kDelimiters, c) != nullptr; }
bool is_suffix(unsigned char c) { return c != 0 && std::strchr(kSuffixes, c) != nullptr; }
bool is_digit(unsigned char c) { return c >= '0' && c <= '9'; }
bool is_hex(unsigned char c) { return is_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
bool is_space(unsigned char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r'; }

// Reports the error stack and clears it, noting the codes for the test seam.
void report_now() {
  const int n = err_count() < kErrMaxEntries ? err_count() : kErrMaxEntries;
  for (int i = 0; i < n; ++i) {
    const int16_t code = g_err_stack->entries[i].code;
    if (code <= 0) continue;
    g_reported.push_back(code);
    if (g_reported.size() > 16) g_reported.erase(g_reported.begin());
  }
  err_report();
}

void set_token_text(const char* text, int32_t n) {
  if (n > kLexBufSize - 1) n = kLexBufSize - 1;
  if (n < 0) n = 0;
  std::memcpy(g_lex.token_text, text, static_cast<size_t>(n));
  g_lex.token_text[n] = '\0';
}

// The extent of a word starting at text (scan rule of the keyword lookup).
int32_t word_extent(const char* text) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
  int32_t i = 0;
  while (p[i] != 0 && (p[i] >= 0x80 || (p[i] > ' ' && !is_delimiter(p[i])))) {
    if (mb_is_lead_byte(text + i) && p[i + 1] != 0) {
      i += 2;
    } else {
      ++i;
    }
  }
  if (is_suffix(p[i])) ++i;
  return i;
}

int16_t lookup_word(const char* text, int32_t* length) {
  const int32_t n = word_extent(text);
  if (length) *length = n;
  char key[kLexNameMax + 2];
  int32_t k = 0;
  while (k < n && k < kLexNameMax) {
    if (mb_is_lead_byte(text + k) && k + 1 < n) {
      if (k + 2 > kLexNameMax) break;
      key[k] = text[k];
      key[k + 1] = text[k + 1];
      k += 2;
      continue;
    }
    key[k] = static_cast<char>(mb_char_lower(static_cast<unsigned char>(text[k])));
    ++k;
  }
  key[k] = '\0';
  g_lex.keyword_index = keyword_find_row(key);
  return g_lex.keyword_index < 0 ? kTokIdentifier : g_keyword_table[g_lex.keyword_index].id;
}

// Decimal extent: digits, an optional point with digits, an optional
// exponent.
int32_t decimal_extent(const char* text) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
  int32_t i = 0;
  while (is_digit(p[i])) ++i;
  if (p[i] == '.') {
    ++i;
    while (is_digit(p[i])) ++i;
  }
  if (p[i] == 'e' || p[i] == 'E') {
    int32_t j = i + 1;
    if (p[j] == '+' || p[j] == '-') ++j;
    if (is_digit(p[j])) {
      while (is_digit(p[j])) ++j;
      i = j;
    }
  }
  return i;
}

int32_t scan_hex(const char* text) {
  int32_t n = 2;
  uint64_t value = 0;
  bool overflow = false;
  while (is_hex(static_cast<unsigned char>(text[n]))) {
    const unsigned char c = static_cast<unsigned char>(text[n]);
    const uint64_t d = is_digit(c) ? c - '0' : (c | 0x20) - 'a' + 10;
    if (value > (UINT64_MAX >> 4)) overflow = true;
    value = (value << 4) | d;
    ++n;
  }
  if (overflow) value = UINT64_MAX;
  char out[32];
  std::to_chars_result r{};
  if (n < 11) {
    r = std::to_chars(out, out + sizeof out, static_cast<int32_t>(static_cast<uint32_t>(value)));
  } else {
    r = std::to_chars(out, out + sizeof out, static_cast<int64_t>(value));
  }
  set_token_text(out, static_cast<int32_t>(r.ptr - out));
  return n;
}

int32_t scan_string(const char* text) {
  int32_t i = 1;
  int32_t n = 0;
  bool closed = false;
  for (;;) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == 0 || c == '\n' || c == '\r') break;
    if (c == '"') {
      if (text[i + 1] == '"') {
        if (n < kLexBufSize - 1) g_lex.token_text[n++] = '"';
        i += 2;
        continue;
      }
      closed = true;
      ++i;
      break;
    }
    if (mb_is_lead_byte(text + i) && text[i + 1] != 0) {
      if (n + 2 <= kLexBufSize - 1) {
        g_lex.token_text[n++] = text[i];
        g_lex.token_text[n++] = text[i + 1];
      } else {
        n = kLexBufSize - 1;  // the buffer is full; a pair is never split
      }
      i += 2;
      continue;
    }
    if (n < kLexBufSize - 1) g_lex.token_text[n++] = static_cast<char>(c);
    ++i;
  }
  g_lex.token_text[n] = '\0';
  if (!closed) {
    err_push(4, kErrLexNoEndQuote, g_lex.token_text, nullptr);
    report_now();
  }
  return i;
}

struct Punct {
  const char* text;
  int16_t id;
};

int16_t scan_punct(const char* text, int32_t* length) {
  // Rows 692-717; pairs first so that "<>" wins over "<".
  for (int pass = 2; pass >= 1; --pass) {
    for (int r = kKeywordWords; r < kKeywordRows; ++r) {
      const char* t = g_keyword_table[r].text;
      if (static_cast<int>(std::strlen(t)) != pass) continue;
      if (std::strncmp(text, t, static_cast<size_t>(pass)) == 0) {
        *length = pass;
        set_token_text(text, pass);
        return g_keyword_table[r].id;
      }
    }
  }
  return 0;
}

void free_token() {
  g_lex.current = nullptr;
  g_lex.token = Value{};
}

void make_number_token() {
  const char* t = g_lex.token_text;
  const size_t n = std::strlen(t);
  bool digits = n > 0 && n <= 19;
  for (size_t i = 0; digits && i < n; ++i) digits = is_digit(static_cast<unsigned char>(t[i]));
  Value& v = g_lex.token;
  v = Value{};
  if (digits) {
    int64_t x = 0;
    auto r = std::from_chars(t, t + n, x);
    if (r.ec == std::errc() && r.ptr == t + n) {
      v.type = VALUE_LARGEINT;
      v.u.ll = x;
      return;
    }
  }
  double d = 0;
  const char* begin = t;
  if (*begin == '+') ++begin;  // from_chars takes no plus sign
  auto r = std::from_chars(begin, t + n, d);
  if (r.ec == std::errc::result_out_of_range) d = 0;
  v.type = VALUE_DECIMAL;
  v.u.d = d;
}

// ---- file input ---------------------------------------------------------

bool line_is_full(const char* line) {
  const size_t n = std::strlen(line);
  return n >= static_cast<size_t>(kLexBufSize - 1) && line[n - 1] != '\n';
}

void clear_line_state(LexerFile* f) {
  f->substitutions.clear();
  f->line_full = 0;
  f->raw_from = 0;
  f->raw_delta = 0;
}

// Leaves the current include file; false when none is entered.
bool leave_include(LexerFile* f) {
  LexerInclude* inc = f->includes;
  if (inc == nullptr) return false;
  file_release(f->handle);
  file_unregister(f->handle);
  f->handle = inc->handle;
  file_fseek(f->handle, inc->position, SEEK_SET);
  f->line_number = inc->line_number;
  f->include_depth = inc->depth;
  f->includes = inc->next;
  void* block = inc;
  mem_free(&block);
  return true;
}

// Reads the next line that is no comment line; false at the end of input.
bool read_line(LexerFile* f) {
  for (;;) {
    const long start = file_ftell(f->handle);
    char* r = file_read_line(f->line, kLexBufSize, f->handle);
    if (r == nullptr || static_cast<unsigned char>(f->line[0]) == 0x1A) {
      if (!leave_include(f)) return false;
      continue;
    }
    ++f->line_number;
    if (f->line[0] == '!' || f->line[0] == '\'') {
      // A comment line longer than the buffer is skipped whole.
      while (line_is_full(f->line) && file_read_line(f->line, kLexBufSize, f->handle) != nullptr) {
      }
      continue;
    }
    clear_line_state(f);
    f->expansions = 0;
    f->line_start = start;
    f->line_full = line_is_full(f->line) ? 1 : 0;
    g_lex.position = f->line;
    return true;
  }
}

void skip_blanks(const char*& p) {
  while (*p == ' ' || *p == '\t') ++p;
}

bool path_has_dir(const char* name) { return std::strchr(name, '/') || std::strchr(name, '\\'); }

bool same_path(int32_t handle, const char* path) {
  char other[kPathSize];
  file_get_path(handle, other);
  return other[0] != '\0' && strcasecmp(other, path) == 0;
}

void do_include(LexerFile* f, const char* rest) {
  const char* p = rest;
  while (is_space(static_cast<unsigned char>(*p))) ++p;
  int32_t len = 0;
  if (*p == '\0' || lex_scan(p, &len) != kTokString) {
    err_push(4, kErrLexIncludeName, nullptr, nullptr);
    report_now();
    return;
  }
  char name[kPathSize];
  str_copy_n(name, g_lex.token_text, sizeof name);
  for (char* c = name; *c; ++c) {
    if (*c == '\\') *c = '/';
  }
  const bool own_dir = path_has_dir(name);
  // The default extension when the name has none.
  const char* slash = std::strrchr(name, '/');
  const char* base = slash ? slash + 1 : name;
  if (std::strchr(base, '.') == nullptr && std::strlen(name) + 3 < sizeof name) std::strcat(name, ".VL");
  char path[kPathSize] = {};
  if (name[0] == '/') {
    str_copy_n(path, name, sizeof path);
  } else {
    file_get_dir(f->handle, path);
    if (std::strlen(path) + std::strlen(name) + 2 >= sizeof path) {
      err_push(4, kErrPathNotFound, name, nullptr);
      report_now();
      return;
    }
    if (path[0] != '\0' && path[std::strlen(path) - 1] != '/') std::strcat(path, "/");
    std::strcat(path, name);
  }
  if (path_normalise(path) == nullptr) {
    err_push(4, kErrPathNotFound, name, nullptr);
    report_now();
    return;
  }
  path_resolve_case(path);
  if (!path_exists(path, 0) && !own_dir) {
    const char* dir = path_dir_text(path_search_slot(kSearchSlotProgram));
    if (dir[0] != '\0' && std::strlen(dir) + std::strlen(name) + 2 < sizeof path) {
      char other[kPathSize];
      str_copy_n(other, dir, sizeof other);
      if (other[std::strlen(other) - 1] != '/') std::strcat(other, "/");
      std::strcat(other, name);
      path_resolve_case(other);
      if (path_exists(other, 0)) str_copy_n(path, other, sizeof path);
    }
  }
  // A file already being read, or one nested too deep, cannot be opened.
  bool refused = f->include_depth >= kLexMaxIncludeDepth || same_path(f->handle, path);
  for (LexerInclude* inc = f->includes; inc && !refused; inc = inc->next) refused = same_path(inc->handle, path);
  if (refused) {
    err_push(4, kErrFileAccess, name, nullptr);
    report_now();
    return;
  }
  const int32_t handle = file_register_nocheck(path, 0);
  if (handle <= 0 || file_open_text(handle, 1, nullptr) == 0) {
    if (handle > 0) file_unregister(handle);
    report_now();
    return;
  }
  LexerInclude* inc = nullptr;
  if (!mem_alloc_zeroed(static_cast<int64_t>(sizeof(LexerInclude)), &inc)) {
    file_release(handle);
    file_unregister(handle);
    report_now();
    return;
  }
  inc->handle = f->handle;
  inc->position = file_ftell(f->handle);
  inc->line_number = f->line_number;
  inc->depth = f->include_depth;
  inc->next = f->includes;
  f->includes = inc;
  f->handle = handle;
  f->line_number = 0;
  ++f->include_count;
  ++f->include_depth;
  if (err_count() > 0) report_now();
}

LexerDefine* find_define(LexerFile* f, const char* upper) {
  KernelList& bucket = f->defines[lex_define_hash(upper) % kLexDefineBuckets];
  for (auto* d = static_cast<LexerDefine*>(bucket.head); d; d = d->next) {
    if (mb_str_equal_nocase(d->name, upper)) return d;
  }
  return nullptr;
}

void do_define(LexerFile* f, const char* rest) {
  const char* p = rest;
  skip_blanks(p);
  if (*p == '\0' || *p == '\n' || *p == '\r') {
    err_push(4, kErrLexDefineEmpty, nullptr, nullptr);
    report_now();
    return;
  }
  int32_t len = 0;
  if (lex_scan(p, &len) != kTokIdentifier) {
    err_push(4, kErrLexDefineName, g_lex.token_text, nullptr);
    report_now();
    return;
  }
  char name[kLexNameMax + 1];
  str_copy_n(name, g_lex.token_text, sizeof name);
  mb_str_upper(name);
  p += len;
  while (is_space(static_cast<unsigned char>(*p))) ++p;
  // The text runs to the first "'" or "!" outside a quoted part.
  const char* end = p;
  bool quoted = false;
  while (*end != '\0' && *end != '\n' && *end != '\r') {
    if (*end == '"') {
      quoted = !quoted;  // a doubled quote toggles twice
    } else if (!quoted && (*end == '\'' || *end == '!')) {
      break;
    }
    ++end;
  }
  if (end == p) {
    err_push(4, kErrLexDefineEmpty, name, nullptr);
    report_now();
    return;
  }
  if (find_define(f, name) != nullptr) {
    err_push(4, kErrLexDefinedTwice, name, nullptr);
    report_now();
    return;
  }
  LexerDefine* node = nullptr;
  char* text = nullptr;
  if (!mem_alloc_zeroed(static_cast<int64_t>(sizeof(LexerDefine)), &node) ||
      !mem_alloc_zeroed(static_cast<int64_t>(end - p) + 1, &text)) {
    mem_free(&node);
    report_now();
    return;
  }
  std::memcpy(text, p, static_cast<size_t>(end - p));
  std::memcpy(node->name, name, sizeof node->name);
  node->text = text;
  list_add(&f->defines[lex_define_hash(name) % kLexDefineBuckets], node, 0);
}

// Expands the word at [start, start + len) of the line when it names a
// define that is not already in force there. Answers true when the line was
// rewritten (the position is then at its start).
bool expand_define(LexerFile* f, const char* start, int32_t len) {
  char upper[kLexNameMax + 1];
  str_copy_n(upper, g_lex.token_text, sizeof upper);
  mb_str_upper(upper);
  const int32_t word_start = static_cast<int32_t>(start - f->line);
  const int32_t word_end = word_start + len;
  auto& subs = f->substitutions;
  std::erase_if(subs, [&](const LexerSubstitution& s) { return s.end <= word_start; });
  for (const LexerSubstitution& s : subs) {
    if (mb_str_equal_nocase(s.name, upper)) return false;
  }
  const LexerDefine* d = find_define(f, upper);
  if (d == nullptr || f->expansions >= kLexMaxExpansions) return false;
  ++f->expansions;
  const int32_t repl = static_cast<int32_t>(std::strlen(d->text));
  std::string rest(f->line + word_end);
  std::string line(d->text);
  line += ' ';
  line += rest;
  if (line.size() > static_cast<size_t>(kLexBufSize - 1)) line.resize(kLexBufSize - 1);
  const int32_t inserted = repl + 1;
  for (LexerSubstitution& s : subs) s.end = s.end - word_end + inserted;
  LexerSubstitution s{};
  str_copy_n(s.name, upper, sizeof s.name);
  s.end = repl < kLexBufSize - 1 ? repl : kLexBufSize - 1;
  subs.push_back(s);
  if (f->raw_from <= word_end) {
    f->raw_delta += word_end - inserted;
    f->raw_from = inserted;
  } else {
    f->raw_from = f->raw_from - word_end + inserted;
    f->raw_delta += word_end - inserted;
  }
  std::memcpy(f->line, line.c_str(), line.size() + 1);
  g_lex.position = f->line;
  return true;
}

// After a token of a line that filled the buffer: the rest of the line is
// read again from the file as a line of its own.
void set_back_long_line(LexerFile* f) {
  if (!g_lex.position || !f->line_full) return;
  const int32_t at = static_cast<int32_t>(g_lex.position - f->line);
  if (at < f->raw_from) return;  // still inside text a define inserted
  file_fseek(f->handle, static_cast<long>(f->line_start + at + f->raw_delta), SEEK_SET);
  --f->line_number;
  g_lex.position = nullptr;
  clear_line_state(f);
}

}  // namespace

// ---- keywords ---------------------------------------------------------------

int16_t lex_keyword_lookup(const char* text, int32_t* length) { return lookup_word(text, length); }

int16_t keyword_value(const Value* token) {
  if (token == nullptr || token->type != 20) return 0;
  return keyword_flag(token->u.s);
}

// ---- scanning -----------------------------------------------------------------

int16_t lex_scan(const char* text, int32_t* length) {
  const unsigned char c = static_cast<unsigned char>(text[0]);
  const unsigned char c1 = c ? static_cast<unsigned char>(text[1]) : 0;
  int32_t n = 0;
  int16_t kind = 0;
  if (c < 0x80 && mb_is_alpha(c)) {
    kind = lookup_word(text, &n);
    set_token_text(text, n);
  } else if (is_digit(c) || (c == '.' && is_digit(c1))) {
    n = decimal_extent(text);
    set_token_text(text, n);
    kind = kTokNumber;
  } else if (c == '&' && (c1 == 'H' || c1 == 'h') && is_hex(static_cast<unsigned char>(text[2]))) {
    n = scan_hex(text);
    kind = kTokNumber;
  } else if (c == '"') {
    n = scan_string(text);
    kind = kTokString;
  } else if (c == 0x1A) {
    n = 0;
    g_lex.token_text[0] = '\0';
    kind = kTokEnd;
  } else if ((kind = scan_punct(text, &n)) != 0) {
    // punctuation
  } else if (c < ' ' || is_delimiter(c)) {
    n = c ? 1 : 0;
    set_token_text(text, n);
    kind = kTokUnsupported;
  } else {
    kind = lookup_word(text, &n);
    set_token_text(text, n);
  }
  if (length) *length = n;
  return kind;
}

int16_t lex_read_token() {
  free_token();
  for (;;) {
    LexerFile* f = g_lex.file_input ? g_lex.file : nullptr;
    if (g_lex.position == nullptr) {
      if (f == nullptr || !read_line(f)) return 0;
    }
    const char*& p = g_lex.position;
    while (is_space(static_cast<unsigned char>(*p))) ++p;
    if (*p == '\0') {
      p = nullptr;
      if (f == nullptr) return 0;
      continue;
    }
    const char* start = p;
    int32_t len = 0;
    const int16_t kind = lex_scan(start, &len);
    p = start + (len > 0 ? len : 1);
    Value& v = g_lex.token;
    switch (kind) {
      case kTokEnd:
        p = nullptr;
        if (f == nullptr) return 0;
        continue;
      case kTokIdentifier:
        if (f != nullptr && expand_define(f, start, len)) continue;
        v.type = VALUE_TEXT_REF;
        v.u.ref = g_lex.token_text;
        break;
      case kTokString:
        v.type = VALUE_CHAR_REF;
        v.u.ref = g_lex.token_text;
        break;
      case kTokNumber:
        make_number_token();
        break;
      case kTokComment:
        p = nullptr;
        if (f == nullptr) return 0;
        continue;
      case kTokInclude:
      case kTokDefine:
        if (f != nullptr) {
          if (kind == kTokInclude) {
            do_include(f, p);
          } else {
            do_define(f, p);
          }
          g_lex.position = nullptr;
          continue;
        }
        [[fallthrough]];
      default:
        v.type = 20;
        v.u.s = kind;
        break;
    }
    g_lex.current = &g_lex.token;
    if (f != nullptr) set_back_long_line(f);
    return 1;
  }
}

int16_t lex_next() {
  if (g_kshared.lexer_input_mode == 2) {
    free_token();
    kernel_hook_lexer();
    return lex_has_token();
  }
  return lex_read_token();
}

int16_t lex_has_token() { return g_lex.current != nullptr ? 1 : 0; }
Value* lex_current() { return g_lex.current; }
const char* lex_token_text() { return g_lex.token_text; }
int16_t lex_keyword_index() { return g_lex.keyword_index; }

void lex_begin_text(const char* text) {
  free_token();
  g_lex.file = nullptr;
  g_lex.file_input = 0;
  g_lex.text_start = text;
  g_lex.position = text;
}

void lex_begin_file(LexerFile* file) {
  free_token();
  g_lex.file = file;
  g_lex.file_input = file != nullptr ? 1 : 0;
  g_lex.text_start = nullptr;
  g_lex.position = nullptr;
}

LexerFile* lex_file_new(int32_t handle, int32_t first_line) {
  auto* f = new LexerFile{};
  f->handle = handle;
  f->line_number = first_line;
  for (KernelList& b : f->defines) list_init(&b);
  return f;
}

void lex_file_free(LexerFile* file) {
  if (file == nullptr) return;
  while (leave_include(file)) {
  }
  for (KernelList& bucket : file->defines) {
    for (auto* d = static_cast<LexerDefine*>(bucket.head); d; d = d->next) mem_free(&d->text);
    list_free_all(&bucket);
  }
  if (g_lex.file == file) {
    g_lex.file = nullptr;
    g_lex.file_input = 0;
    g_lex.position = nullptr;
  }
  delete file;
}

uint32_t lex_define_hash(const char* name) {
  uint32_t h = 0;
  for (const char* p = name; *p; ++p) {
    const int32_t c = static_cast<int8_t>(*p);
    h = h * 16u + static_cast<uint32_t>(c);
    if (h >= (1u << 28)) {
      const uint32_t k = h >> 28;
      h ^= k * 268435472u;
    }
  }
  return h % kLexDefineBuckets;
}

// ---- token tests ----------------------------------------------------------------

int16_t lex_is(int16_t cls) {
  Value* t = g_lex.current;
  if (t == nullptr) return 0;
  switch (t->type) {
    case 1:
    case 10:
      return cls == kTokString ? 1 : 0;
    case 2:
    case 3:
    case 4:
    case 8:
    case 39:
      return cls == kTokNumber ? 1 : 0;
    case 20:
      if (t->u.s == cls) return 1;
      if ((cls == kTokIdentifier || cls == kTokString) &&
          mb_is_alpha(static_cast<unsigned char>(g_lex.token_text[0]))) {
        t->type = cls == kTokIdentifier ? VALUE_TEXT_REF : VALUE_CHAR_REF;
        t->u = Value::Payload{};
        t->u.ref = g_lex.token_text;
        return 1;
      }
      return 0;
    case 21:
    case 24:
      if (cls == kTokIdentifier) return 1;
      if (cls == kTokString) {
        if (t->type == 21) {
          t->type = VALUE_CHAR;
          t->u.text.offset = -1;
        } else {
          t->type = VALUE_CHAR_REF;
        }
        return 1;
      }
      return 0;
    default:
      return 0;
  }
}

int16_t lex_expect(int16_t cls) {
  if (lex_is(cls)) {
    lex_next();
    return 1;
  }
  lex_error_expected(cls);
  return 0;
}

int16_t lex_require(int16_t cls) {
  if (lex_is(cls)) return 1;
  lex_error_expected(cls);
  return 0;
}

void lex_error_expected(int16_t cls) {
  char found[kLexBufSize];
  token_text(g_lex.current, found, sizeof found);
  char cut[kLexNameMax + 1];
  str_copy_n(cut, found, sizeof cut);
  const char* expected = nullptr;
  char buf[256];
  switch (cls) {
    case kTokIdentifier: expected = kernel_string(611); break;
    case kTokString: expected = kernel_string(612); break;
    case kTokNumber: expected = kernel_string(613); break;
    default: expected = keyword_text(cls); break;
  }
  if (expected == nullptr || expected[0] == '\0') expected = kernel_string(614);
  str_copy_n(buf, expected, sizeof buf);
  err_push(4, kErrLexExpected, cut, buf);
  lex_resync();
}

void lex_resync() {
  while (g_lex.current != nullptr && !(g_lex.current->type == 20 && keyword_value(g_lex.current))) lex_next();
}

char* token_text(const Value* token, char* out, int32_t size) {
  if (out == nullptr || size <= 0) return out;
  out[0] = '\0';
  if (token == nullptr) return out;
  if (token->type == 20) {
    const char* t = token->u.s == kTokUnsupported ? kernel_string(3600) : keyword_text(token->u.s);
    str_copy_n(out, t, size);
    return out;
  }
  value_to_text_plain(token, out, size, -1);
  return out;
}

// ---- state --------------------------------------------------------------------

static void clear_live() {
  g_lex = LexerState{};
  g_lex.keyword_index = -1;
  g_kshared.lexer_input_mode = 0;
  stmt_language_version = 9999;
}

void stmt_save_lexer(LexerState* s) {
  *s = g_lex;
  s->input_mode = g_kshared.lexer_input_mode;
  s->language_version = stmt_language_version;
  clear_live();
}

void stmt_restore_lexer(const LexerState* s) {
  g_lex = *s;
  g_kshared.lexer_input_mode = s->input_mode;
  stmt_language_version = s->language_version;
}

void* stmt_context() { return g_lex.context; }
void stmt_set_context(void* context) { g_lex.context = context; }

void lex_reset() {
  clear_live();
  tabfile_pending_version = 0;
  g_reported.clear();
}

// ---- running statement text ---------------------------------------------------

int16_t stmt_exec_text(const char* text, int16_t flag) {
  const int32_t old = err_get_mode();
  err_set_mode(flag != 0 ? 1 : 2);
  const int16_t r = stmt_run(text, 0, 0, nullptr);
  err_set_mode(old);
  return r;
}

int16_t stmt_exec_command(const char* text, int16_t flag) { return stmt_exec_text(text, flag); }

const std::vector<int16_t>& lex_reported_codes() { return g_reported; }
void lex_reported_clear() { g_reported.clear(); }
