// The table definition reader: header lines, statement runner and
// dispatcher, "Definition Table", and the keyword-colon form.
#include "kernel/tables/tabread.h"
#include "kernel/tables/tabstmt.h"

#include <cstring>
#include <string>

#include "kernel/coordsys/xform.h"
#include "kernel/runtime/charset.h"
#include "kernel/runtime/err.h"
#include "kernel/runtime/file.h"
#include "kernel/runtime/kshared.h"
#include "kernel/runtime/kstr.h"
#include "kernel/runtime/mb.h"
#include "kernel/runtime/mem.h"
#include "kernel/runtime/path.h"
#include "kernel/runtime/str.h"
#include "kernel/runtime/valconv.h"
#include "kernel/tables/clause_coordsys.h"
#include "kernel/tables/clauses.h"
#include "kernel/tables/lang/lexer.h"
#include "kernel/tables/lang/names.h"
#include "kernel/tables/register.h"
#include "kernel/tables/index/indexfile.h"
#include "kernel/tables/stmt_readers.h"

namespace {

constexpr int16_t kKwDefinition = 1635;
constexpr int16_t kKwTable = 1089;
constexpr int16_t kKwFile = 1064;
constexpr int16_t kKwDescription = 1060;
constexpr int16_t kKwType = 1090;
constexpr int16_t kKwFields = 1109;
constexpr int16_t kKwReadOnly = 1636;
constexpr int16_t kKwBeginMetadata = 1862;
constexpr int16_t kKwCompressedPoints = 1867;
constexpr int16_t kKwCreate = 1056;
constexpr int16_t kKwInsert = 1072;
constexpr int16_t kKwCommit = 1147;
constexpr int16_t kKwSet = 1087;
constexpr int16_t kKwOpen = 1080;
constexpr int16_t kKwRegister = 1366;
constexpr int16_t kKwIndex = 1071;
constexpr int16_t kKwUnique = 1295;
constexpr int16_t kKwAutokey = 2159;
constexpr int16_t kKwLineStyle = 1898;
constexpr int16_t kKwRegionStyle = 1899;
constexpr int16_t kKwPen = 1104;
constexpr int16_t kKwBrush = 1105;
constexpr int16_t kKwSymbol = 1282;

constexpr int kLineSize = 2200;

struct TabReadState {
  int16_t collect = 0;
};
TabReadState g_tr;

bool word_is(const char* text, const char* word) { return mb_str_equal_nocase(text, word); }

// The current token's text when it is a word or keyword (else "").
const char* word_here() {
  const Value* t = lex_current();
  if (t == nullptr) return "";
  if (t->type == 20 || t->type == VALUE_TEXT_REF) return lex_token_text();
  return "";
}

// ---- field types --------------------------------------------------------

bool read_dims(double* a, double* b) {
  if (!stmt_require(kTokOpen) || !stmt_read_number(a)) return false;
  if (b != nullptr && (!stmt_require(kTokComma) || !stmt_read_number(b))) return false;
  return stmt_require(kTokClose);
}

uint8_t clamp_u8(double v, int lo, int hi) {
  if (!(v >= lo)) return static_cast<uint8_t>(lo);
  if (v > hi) return static_cast<uint8_t>(hi);
  return static_cast<uint8_t>(v);
}

// The field type at the current token: its code, width and decimals.
bool read_field_type(uint8_t* type, uint8_t* width, uint8_t* decimals) {
  struct Simple {
    const char* word;
    uint8_t type;
  };
  static constexpr Simple kSimple[] = {{"integer", 3}, {"smallint", 4}, {"largeint", 39}, {"date", 5},
                                       {"time", 37},   {"datetime", 38}, {"logical", 6},  {"float", 8}};
  *type = 0;
  *width = 0;
  *decimals = 0;
  const char* w = word_here();
  for (const Simple& s : kSimple) {
    if (word_is(w, s.word)) {
      lex_next();
      *type = s.type;
      return true;
    }
  }
  if (word_is(w, "decimal")) {
    lex_next();
    double a = 0, b = 0;
    if (!read_dims(&a, &b)) return false;
    *type = VALUE_DECIMAL;
    *width = clamp_u8(a, 1, 20);
    *decimals = *width < 2 ? 0 : clamp_u8(b, 0, *width - 2);
    return true;
  }
  if (word_is(w, "char")) {
    lex_next();
    double a = 0;
    if (!read_dims(&a, nullptr)) return false;
    *type = VALUE_CHAR;
    *width = clamp_u8(a, 1, 254);
    return true;
  }
  return false;
}

// "Index" n ["Unique"] after a field's type.
bool read_field_index(TabReadContext* ctx, FieldDef* f) {
  if (!stmt_accept(kKwIndex)) return true;
  if (!lex_require(kTokNumber)) return false;
  char number[32];
  str_copy_n(number, lex_token_text(), sizeof number);
  lex_next();
  const int16_t unique = stmt_accept(kKwUnique) ? 1 : 0;
  TableDef* t = ctx->table;
  if (t->index != nullptr) {
    FieldIndex* d = field_index_new();
    if (d == nullptr) return false;
    if (!field_index_attach(number, t->index, d, f->value.type, f->width, unique)) {
      field_index_release(d);
      err_push(4, kErrIndexOpen, f->name, nullptr);
      return false;
    }
    f->index = d;
  }
  // Without an index file the field is read without its index: a missing
  // ".IND" never keeps a table from opening.
  return true;
}

// "Fields" n and the n field lines; the array grows as fields are read.
bool read_fields_clause(TabReadContext* ctx) {
  TableDef* t = ctx->table;
  if (!lex_require(kTokNumber)) return false;
  int32_t n = 0;
  if (!value_get_int(lex_current(), &n) || n < 0) {
    lex_error_expected(kTokNumber);
    return false;
  }
  lex_next();
  // A count whose array could never be held fails at once.
  if (static_cast<int64_t>(n) * static_cast<int64_t>(sizeof(FieldDef)) > 0xFFFFFFFFll) {
    err_push(4, kErrMemAlloc, nullptr, nullptr);
    return false;
  }
  fieldlist_free(t->fields, t->field_count);
  t->fields = nullptr;
  t->field_count = 0;
  int32_t room = 0;
  for (int32_t i = 0; i < n; ++i) {
    if (!lex_has_token()) {
      lex_error_expected(kTokIdentifier);  // fewer fields than announced
      return false;
    }
    if (t->field_count == room) {
      const int32_t grown = room == 0 ? 16 : room * 2;
      const int32_t want = grown < n ? grown : n;
      if (!mem_realloc(static_cast<int64_t>(want) * static_cast<int64_t>(sizeof(FieldDef)), &t->fields, &t->fields))
        return false;
      std::memset(static_cast<void*>(t->fields + room), 0, static_cast<size_t>(want - room) * sizeof(FieldDef));
      room = want;
    }
    FieldDef* f = &t->fields[t->field_count];
    ++t->field_count;
    if (!stmt_read_name(f->name) || !field_name_check(f->name)) return false;
    uint8_t type = 0;
    if (!read_field_type(&type, &f->width, &f->decimals)) return false;
    f->value.type = type;
    if (!read_field_index(ctx, f)) return false;
    if (stmt_at(kKwReadOnly)) f->read_only = 1;
    if (stmt_at(kKwAutokey)) {
      f->autokey = 1;
      f->read_only = 1;
    }
    while (lex_has_token() && !stmt_at(kTokSemicolon)) lex_next();
    if (stmt_at(kTokSemicolon)) lex_next();
  }
  return true;
}

bool read_type_clause(TabReadContext* ctx) {
  TableDef* t = ctx->table;
  if (!lex_is(kTokString)) {
    err_push(4, kErrTypeMissing, nullptr, nullptr);
    return false;
  }
  char name[32];
  str_copy_n(name, lex_token_text(), sizeof name);
  if (word_is(name, "RASTER") || word_is(name, "WMS")) {
    if (word_is(name, "WMS")) lex_next();
    err_push(4, kErrRasterTable, nullptr, nullptr);
    ctx->phase = 3;
    return false;
  }
  if (word_is(name, kernel_string(6613)) || word_is(name, kernel_string(6615)) || word_is(name, kernel_string(6618)))
    t->read_only = 255;
  if (!clause_parse_type(&t->storage, 0, &t->linked, &t->wfs)) return false;
  StorageDesc& s = t->storage;
  const auto* native = std::get_if<NativeOptions>(&s.options);
  if (s.type == TABTYPE_DBF && native != nullptr && native->shapefile) {
    auto rec = std::make_unique<ObjectSystemRecord>();
    if (stmt_accept(kKwCoordSys)) {
      if (!stmt_read_coordsys(&rec->xform)) return false;
      rec->has_transform = 1;
    }
    if (!stmt_read_object_styles(&rec->style_flags, &rec->line_pen, &rec->region_pen, &rec->region_brush,
                                 &rec->symbol))
      return false;
    ctx->object_record = std::move(rec);
  }
  if (t->wfs) ctx->wfs_record = std::make_unique<WfsRecord>();
  if (s.type == TABTYPE_FME) {
    ctx->fme_record = std::make_unique<FmeRecord>();
    ctx->fme_record->charset = typeopts_charset(s.options);
  }
  if (s.query) {
    err_push(4, kErrNotOpenable, nullptr, nullptr);
    return false;
  }
  return true;
}

// The metadata block, read straight from the definition file.
int16_t stmt_metadata() {
  TabReadContext* ctx = stmt_read_context();
  if (ctx->phase != 2) {
    MetadataNode* root = metadata_new();
    if (root == nullptr || ctx->file <= 0 || !metadata_read(root, ctx->file, nullptr, 0)) {
      metadata_free(root);
      return 0;
    }
    metadata_free(ctx->metadata);
    ctx->metadata = root;
    ctx->not_read_only = metadata_is_empty(root) || !metadata_is_readonly(root) ? 1 : 0;
    ctx->seamless = metadata_is_seamless(root);
    ctx->drilldown = metadata_is_drilldown(root);
  }
  // The block ends the run.
  lex_begin_text(nullptr);
  return 1;
}

// "Open" while nothing is collected: why the file cannot be opened.
int16_t refuse_open() {
  int16_t code = kErrNotOpenable;
  while (lex_has_token()) {
    if (stmt_at(kKwType)) {
      lex_next();
      if (lex_is(kTokString) && word_is(lex_token_text(), "QUERY")) code = kErrQueryNotHere;
      continue;
    }
    if (lex_current()->type == VALUE_CHAR_REF && word_is(lex_token_text(), "VIEW") && code != kErrQueryNotHere)
      code = kErrViewNotHere;
    lex_next();
  }
  err_push(4, code, nullptr, nullptr);
  return 0;
}

// ---- header lines ---------------------------------------------------------

struct HeaderLine {
  char text[kLineSize];
  bool read = false;
};

bool read_line(int32_t h, HeaderLine* line) {
  line->read = file_read_line(line->text, kLineSize, h) != nullptr;
  if (!line->read) line->text[0] = '\0';
  return line->read;
}

bool starts_nocase(const char* text, const char* prefix) {
  return mb_strn_equal_nocase(text, prefix, static_cast<int32_t>(std::strlen(prefix)));
}

// The number after the line's first space.
int32_t number_after_space(const char* line) {
  const char* sp = std::strchr(line, ' ');
  int32_t n = 0;
  if (sp != nullptr) str_to_int(sp + 1, &n);
  return n;
}

// ---- keyword-colon form (versions below 300) -------------------------------

std::string trim(const std::string& s) {
  size_t a = 0, b = s.size();
  while (a < b && static_cast<unsigned char>(s[a]) <= ' ') ++a;
  while (b > a && static_cast<unsigned char>(s[b - 1]) <= ' ') --b;
  return s.substr(a, b - a);
}

std::string unquote(const std::string& s) {
  if (s.size() >= 2 && s.front() == '"' && s.back() == '"') return s.substr(1, s.size() - 2);
  return s;
}

// Tokens of an old type or field line: separated by space, brackets, comma
// and apostrophe; a quoted piece stays one token.
std::vector<std::string> old_tokens(const std::string& line) {
  std::vector<std::string> out;
  std::string cur;
  for (size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (c == '"') {
      const size_t end = line.find('"', i + 1);
      cur += line.substr(i + 1, (end == std::string::npos ? line.size() : end) - i - 1);
      i = end == std::string::npos ? line.size() : end;
      continue;
    }
    if (c == ' ' || c == '(' || c == ')' || c == ',' || c == '\'' || c == '\t') {
      if (!cur.empty()) out.push_back(cur);
      cur.clear();
      continue;
    }
    cur += c;
  }
  if (!cur.empty()) out.push_back(cur);
  return out;
}

bool old_charset(const std::vector<std::string>& tk, size_t at, int32_t* cs) {
  if (at + 1 < tk.size() && word_is(tk[at].c_str(), "Charset")) {
    const int16_t n = charset_from_name(tk[at + 1].c_str());
    if (n < 0) {
      err_push(4, kErrNoCharset, tk[at + 1].c_str(), nullptr);
      return false;
    }
    *cs = n;
  }
  return true;
}

bool old_type_line(TableDef* t, const std::string& rest) {
  const std::vector<std::string> tk = old_tokens(rest);
  if (tk.empty()) return true;
  StorageDesc& s = t->storage;
  if (word_is(tk[0].c_str(), "ASCII")) {
    // Delimiter: a character in apostrophes, a single character or a
    // code; read from the line itself, since the delimiter may be one of
    // the characters that separate tokens.
    if (tk.size() < 2 || !word_is(tk[1].c_str(), "Delimiter")) return false;
    AsciiOptions o;
    o.charset = 34;
    size_t at = rest.find_first_not_of(' ', rest.find_first_not_of(' ') + 5);
    at = at == std::string::npos ? at : rest.find_first_not_of(' ', at + 9);  // past "Delimiter"
    if (at == std::string::npos) return false;
    size_t after = at + 1;
    if (rest[at] == '\'' && at + 2 < rest.size() && rest[at + 2] == '\'') {
      o.delimiter = static_cast<uint8_t>(rest[at + 1]);
      after = at + 3;
    } else if (rest[at] >= '0' && rest[at] <= '9') {
      int32_t code = 0;
      const char* end_of_code = str_to_int(rest.c_str() + at, &code);
      if (end_of_code == nullptr) return false;
      o.delimiter = static_cast<uint8_t>(code);
      after = static_cast<size_t>(end_of_code - rest.c_str());
    } else {
      o.delimiter = static_cast<uint8_t>(rest[at]);
    }
    const std::vector<std::string> more = old_tokens(rest.substr(after));
    for (size_t i = 0; i < more.size(); ++i) {
      if (word_is(more[i].c_str(), "Titles")) o.titles = 1;
      if (!old_charset(more, i, &o.charset)) return false;
    }
    s.type = TABTYPE_ASCII;
    s.options = o;
  } else if (word_is(tk[0].c_str(), "DBF")) {
    NativeOptions o;
    o.charset = 34;
    if (!old_charset(tk, 1, &o.charset)) return false;
    s.type = TABTYPE_DBF;
    s.options = o;
  } else if (word_is(tk[0].c_str(), "WKS") || word_is(tk[0].c_str(), "XLS")) {
    SheetOptions o;
    const bool xls = word_is(tk[0].c_str(), "XLS");
    std::string r = trim(rest.substr(rest.find_first_not_of(' ') + 3));
    if (xls && tk.size() >= 3 && word_is(tk[1].c_str(), "Charset")) r.clear();
    o.range = unquote(r);
    s.type = xls ? TABTYPE_XLS : TABTYPE_WKS;
    s.options = o;
  }
  return true;
}

bool old_field_line(TableDef* t, FieldDef* f, const std::string& line, char** names) {
  const std::vector<std::string> tk = old_tokens(line);
  if (tk.size() < 2) return false;
  str_copy_n(f->name, tk[0].c_str(), kNameMaxChars + 1);
  err_clear();
  column_name_make_unique(f->name, names);
  const char* w = tk[1].c_str();
  auto num = [&](size_t i) {
    int32_t n = 0;
    if (i < tk.size()) str_to_int(tk[i].c_str(), &n);
    return n;
  };
  size_t next = 2;
  if (word_is(w, "Char")) {
    f->value.type = VALUE_CHAR;
    f->width = clamp_u8(num(2), 1, 254);
    next = 3;
  } else if (word_is(w, "Decimal")) {
    f->value.type = VALUE_DECIMAL;
    f->width = clamp_u8(num(2), 1, 20);
    f->decimals = f->width < 2 ? 0 : clamp_u8(num(3), 0, f->width - 2);
    next = 4;
  } else if (word_is(w, "Float")) {
    f->value.type = VALUE_FLOAT, f->width = 8, f->decimals = 5;
  } else if (word_is(w, "Integer")) {
    f->value.type = VALUE_INTEGER, f->width = 4;
  } else if (word_is(w, "Smallint")) {
    f->value.type = VALUE_SMALLINT, f->width = 2;
  } else if (word_is(w, "Logical")) {
    f->value.type = VALUE_LOGICAL;
  } else if (word_is(w, "Date")) {
    f->value.type = VALUE_DATE;
  } else if (word_is(w, "Memo")) {
    f->value.type = VALUE_MEMO, f->width = 13;
  } else {
    return false;
  }
  if (next + 1 < tk.size() && word_is(tk[next].c_str(), "Index") && t->index != nullptr) {
    FieldIndex* d = field_index_new();
    if (d == nullptr) return false;
    const int16_t unique = next + 2 < tk.size() && word_is(tk[next + 2].c_str(), "UNIQUE") ? 1 : 0;
    if (!field_index_attach(tk[next + 1].c_str(), t->index, d, f->value.type, f->width, unique)) {
      field_index_release(d);
      err_push(4, kErrIndexOpen, f->name, nullptr);
      return false;
    }
    f->index = d;
  }
  return true;
}

bool read_old_form(TabReadContext* ctx, int32_t h) {
  TableDef* t = ctx->table;
  typeopts_set_charset(&t->storage.options, charset_current());
  char buf[kLineSize];
  char* names = nullptr;
  bool ok = true;
  while (ok && file_read_line(buf, kLineSize, h) != nullptr) {
    const std::string line = trim(buf);
    size_t cut = line.find(':');
    if (cut == std::string::npos) cut = line.find(' ');
    const std::string key = trim(line.substr(0, cut));
    const std::string rest = cut == std::string::npos ? "" : trim(line.substr(cut + 1));
    if (word_is(key.c_str(), "DESCRIPTION")) {
      t->description = unquote(rest);
    } else if (word_is(key.c_str(), "FILE")) {
      ctx->data_file = unquote(rest);
      ctx->has_data_file = 1;
    } else if (word_is(key.c_str(), "FORMAT") || word_is(key.c_str(), "TYPE")) {
      ok = old_type_line(t, rest);
    } else if (word_is(key.c_str(), "FIELDS")) {
      int32_t n = 0;
      if (str_to_int(rest.c_str(), &n) == nullptr || n < 0 || n > 250) {
        ok = false;
        break;
      }
      fieldlist_free(t->fields, t->field_count);
      t->field_count = 0;
      t->fields = fieldlist_new(n);
      if (t->fields == nullptr) {
        ok = false;
        break;
      }
      for (int32_t i = 0; ok && i < n; ++i) {
        ok = file_read_line(buf, kLineSize, h) != nullptr;
        if (ok) ++t->field_count, ok = old_field_line(t, &t->fields[i], trim(buf), &names);
      }
    } else if (word_is(key.c_str(), "READONLY")) {
      t->read_only = 255;
    } else if (word_is(key.c_str(), "begin_metadata")) {
      MetadataNode* root = metadata_new();
      ok = root != nullptr && metadata_read(root, h, nullptr, 0);
      if (ok) {
        metadata_free(ctx->metadata);
        ctx->metadata = root;
        ctx->not_read_only = !metadata_is_readonly(root) ? 1 : 0;
        ctx->seamless = metadata_is_seamless(root);
        ctx->drilldown = metadata_is_drilldown(root);
      } else {
        metadata_free(root);
      }
      break;
    }
  }
  mem_free(&names);
  if (ok && t->field_count == 0) {
    err_push(4, kErrNoFields, t->name, nullptr);
    ok = false;
  }
  return ok;
}

// Restores the working directory when the statements of a file are read.
struct DirGuard {
  char save[kFileDirSaveSize] = {};
  bool entered = false;
  explicit DirGuard(int32_t h) { entered = file_enter_dir(h, save) != 0; }
  ~DirGuard() {
    if (entered) file_leave_dir(save);
  }
  DirGuard(const DirGuard&) = delete;
  DirGuard& operator=(const DirGuard&) = delete;
};

bool read_definition(TabReadContext* ctx, int32_t h) {
  TableDef* t = ctx->table;
  if (t->name[0] == '\0') {
    char path[kPathSize];
    file_get_path(h, path);
    path_to_table_name(path, t->name);
  }
  HeaderLine l1, l2;
  if (!read_line(h, &l1)) {
    err_push(4, kErrNoVersion, nullptr, nullptr);
    return false;
  }
  if (!starts_nocase(l1.text, "!table")) return false;
  if (!read_line(h, &l2) || !starts_nocase(l2.text, "!version")) {
    err_push(4, kErrNoVersion, nullptr, nullptr);
    return false;
  }
  int16_t version = 0;
  str_to_short(l2.text + 8, &version);
  int32_t header_lines = 2;
  HeaderLine l3;
  long at = file_ftell(h);
  if (read_line(h, &l3) && starts_nocase(l3.text, "!charset ")) {
    char name[kLineSize];
    str_copy_n(name, l3.text + 9, sizeof name);
    str_trim_left_blanks(name);
    str_trim_right(name);
    const int16_t cs = charset_from_name(name);
    if (cs < 0) {
      err_push(4, kErrNoCharset, name, nullptr);
      return false;
    }
    file_set_charset(h, cs);
    ++header_lines;
  } else {
    file_fseek(h, at, SEEK_SET);
  }
  t->version = t->read_entire = t->edit = version;
  at = file_ftell(h);
  HeaderLine l4;
  if (read_line(h, &l4)) {
    if (starts_nocase(l4.text, "!readentire_version")) t->read_entire = t->edit = number_after_space(l4.text);
    if (starts_nocase(l4.text, "!edit_version")) t->edit = number_after_space(l4.text);
  }
  file_fseek(h, at, SEEK_SET);
  if (t->version > 900) {
    char text[32];
    std::snprintf(text, sizeof text, "%d.%d", t->version / 100, t->version % 100);
    err_push(4, kErrVersionHigh, t->name, text);
    return false;
  }
  if (t->edit > 900) t->read_only = 255;
  if (t->version < 300) {
    at = file_ftell(h);
    HeaderLine next;
    read_line(h, &next);
    file_fseek(h, at, SEEK_SET);
    char* p = next.text;
    while (*p == ' ' || *p == '\t') ++p;
    if (!starts_nocase(p, "open")) {
      tabfile_pending_version = 0;
      ctx->phase = 1;
      return read_old_form(ctx, h);
    }
  }
  tabfile_pending_version = static_cast<int16_t>(t->version);
  DirGuard dir(h);
  const int16_t ok = stmt_run(nullptr, h, header_lines, ctx);
  return ok && file_error(h) == 0;
}

}  // namespace

// ---- statement runner ---------------------------------------------------------

TabReadContext* stmt_read_context() {
  static TabReadContext empty;
  auto* ctx = static_cast<TabReadContext*>(stmt_context());
  return ctx != nullptr ? ctx : &empty;
}

int16_t stmt_run(const char* text, int32_t file, int32_t first_line, TabReadContext* context) {
  const int16_t errors = err_count();
  LexerState saved;
  stmt_save_lexer(&saved);
  // A run without a context of its own gets a fresh one, so that it cannot
  // change the context of a run it is nested in.
  TabReadContext own;
  TabReadContext* ctx = context != nullptr ? context : &own;
  const int16_t outer_from_file = ctx->from_file;
  ctx->from_file = file > 0 && text == nullptr ? 1 : 0;
  stmt_set_context(ctx);
  if (tabfile_pending_version != 0) {
    stmt_language_version = tabfile_pending_version;
    tabfile_pending_version = 0;
  }
  LexerFile* lf = nullptr;
  if (text != nullptr) {
    lex_begin_text(text);
  } else if (file > 0) {
    lf = lex_file_new(file, first_line);
    lex_begin_file(lf);
  } else {
    lex_begin_text(nullptr);
  }
  int16_t ok = 1;
  lex_next();
  while (ok && lex_has_token()) ok = stmt_dispatch();
  lex_file_free(lf);
  ctx->from_file = outer_from_file;
  stmt_restore_lexer(&saved);
  return ok && err_count() == errors ? 1 : 0;
}

int16_t stmt_dispatch() {
  const Value* t = lex_current();
  const int16_t id = t != nullptr && t->type == 20 ? t->u.s : 0;
  switch (id) {
    case kKwDefinition:
      return stmt_definition_table();
    case kKwBeginMetadata:
      return stmt_metadata();
    case kKwCompressedPoints:
      err_push(4, kErrCompressedPoints, nullptr, nullptr);
      return 0;
    case kKwCreate:
      if (!g_tr.collect) {
        if (stmt_read_context()->from_file) {
          err_push(4, kErrViewNotHere, nullptr, nullptr);
          return 0;
        }
        lex_next();
        if (stmt_at(kKwTable)) return stmt_create_table();
        err_push(4, kErrViewNotHere, nullptr, nullptr);
        return 0;
      }
      return stmt_create_view();
    case kKwInsert:
    case kKwCommit:
    case kKwSet:
      // Statement text only: a definition file that is being read never
      // writes tables.
      if (stmt_read_context()->from_file) {
        err_push(4, kErrBadStatement, lex_token_text(), nullptr);
        return 0;
      }
      return id == kKwInsert ? stmt_insert_into() : id == kKwCommit ? stmt_commit_table() : stmt_set_table();
    case kKwOpen:
      if (!g_tr.collect) return refuse_open();
      return stmt_open_table();
    case kKwRegister:
      // A definition file that is being read never writes files.
      if (stmt_read_context()->from_file) {
        err_push(4, kErrBadStatement, lex_token_text(), nullptr);
        return 0;
      }
      lex_next();
      if (!stmt_require(kKwTable)) return 0;
      return stmt_register_table();
    default: {
      char word[kNameMaxChars + 1] = {};
      if (id != 0) str_copy_n(word, lex_token_text(), sizeof word);
      err_push(4, kErrBadStatement, word, nullptr);
      return 0;
    }
  }
}

int16_t stmt_definition_table() {
  TabReadContext* ctx = stmt_read_context();
  if (g_kshared.lexer_input_mode != 0 || !ctx->definition_allowed || ctx->table == nullptr) {
    err_push(4, kErrNoDefinition, lex_token_text(), nullptr);
    lex_next();
    return 0;
  }
  lex_next();
  if (!stmt_require(kKwTable)) return 0;
  ctx->phase = 1;
  TableDef* t = ctx->table;
  bool ok = true;
  while (ok && lex_has_token()) {
    if (stmt_accept(kKwFile)) {
      char name[kPathSize];
      ok = stmt_read_file_name(name) != 0;
      if (ok) ctx->data_file = name, ctx->has_data_file = 1;
    } else if (stmt_accept(kKwDescription)) {
      std::string d;
      ok = stmt_read_string(&d) != 0;
      if (ok) t->description = d;
    } else if (stmt_accept(kKwType)) {
      ok = read_type_clause(ctx);
    } else if (stmt_accept(kKwFields)) {
      ok = read_fields_clause(ctx);
    } else if (stmt_accept(kKwReadOnly)) {
      t->read_only = 255;
    } else if (stmt_at(kKwBeginMetadata)) {
      break;
    } else {
      lex_next();
    }
  }
  return ok ? 1 : 0;
}

int16_t stmt_read_coordsys(CoordXform* xform) {
  int16_t type = 0;
  CoordSysDef def;
  coordsys_clear(&def);
  DRect bounds{};
  if (!clause_parse_coordsys(&type, &def, &bounds)) return 0;
  xform_init_bounds(xform, type, &def, &bounds);
  return 1;
}

int16_t stmt_read_object_styles(uint8_t* flags, PenStyle* line_pen, PenStyle* region_pen, BrushStyle* brush,
                                SymbolStyle* symbol) {
  for (;;) {
    if (stmt_accept(kKwLineStyle)) {
      if (!stmt_at(kKwPen) || !clause_parse_pen(line_pen)) return stmt_at(kKwPen) ? 0 : (lex_error_expected(kKwPen), 0);
      *flags |= kStyleLinePen;
    } else if (stmt_accept(kKwRegionStyle)) {
      if (!stmt_at(kKwPen)) return lex_error_expected(kKwPen), 0;
      if (!clause_parse_pen(region_pen)) return 0;
      if (!stmt_at(kKwBrush)) return lex_error_expected(kKwBrush), 0;
      if (!clause_parse_brush(brush)) return 0;
      *flags |= kStyleRegionPen | kStyleBrush;
    } else if (stmt_at(kKwSymbol)) {
      if (!clause_parse_symbol(symbol)) return 0;
      *flags |= kStyleSymbol;
    } else {
      return 1;
    }
  }
}

// ---- file level -------------------------------------------------------------

int16_t tabfile_read(TabReadContext* ctx) {
  if (ctx == nullptr || ctx->table == nullptr) return 0;
  const int32_t h = ctx->file;
  if (file_check_handle(h) < 0) return 0;
  file_set_charset(h, charset_from_name("ANSI"));
  if (file_open_text(h, 1, nullptr) == 0) return 0;
  const bool ok = read_definition(ctx, h);
  file_release(h);
  return ok ? 1 : 0;
}

FieldDef* tabfile_read_fields(int32_t file, int32_t* count, IndexFile* index) {
  *count = 0;
  TableDef* t = tabdef_new();
  if (t == nullptr) return nullptr;
  t->index = index;
  TabReadContext ctx;
  ctx.definition_allowed = 1;
  ctx.table = t;
  ctx.file = file;
  ctx.quiet_index = index == nullptr ? 1 : 0;
  FieldDef* out = nullptr;
  if (tabfile_read(&ctx) && ctx.phase == 1) {
    out = t->fields;
    *count = t->field_count;
    t->fields = nullptr;
    t->field_count = 0;
    err_clear();
  }
  t->index = nullptr;
  t->def_file = 0;
  tabdef_free(t);
  return out;
}

void tabfile_set_collect(int16_t on) { g_tr.collect = on; }
int16_t tabfile_collect() { return g_tr.collect; }

void tables_runtime_start() { path_set_sanitize_hook(column_name_sanitize); }

void tabread_reset() { g_tr = TabReadState{}; }
