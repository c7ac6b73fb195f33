// The delimited-text driver: rows read, counted and described from a text
// file through a buffered line reader, a file created with a title line,
// rows appended. See ascii_text.h and docs/foreign-tables.md.
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "kernel/drivers/ascii_text.h"
#include "kernel/runtime/charset.h"
#include "kernel/runtime/err.h"
#include "kernel/runtime/file.h"
#include "kernel/runtime/mb.h"
#include "kernel/runtime/str.h"
#include "kernel/runtime/valconv.h"
#include "kernel/runtime/value.h"
#include "kernel/tables/lang/names.h"
#include "kernel/tables/storage/tabtype_ops.h"
#include "kernel/tables/tabdef.h"

namespace {

constexpr size_t kChunk = 64 * 1024;
constexpr size_t kFirstLine = 4096;
constexpr int32_t kDescribeFields = 254;
constexpr int32_t kMaxWidth = 254;

// The working state behind AsciiOptions::reader: the read buffer and the
// two line buffers (AsciiOptions::line and ::saved point into them).
struct AsciiReader {
  std::vector<char> chunk = std::vector<char>(kChunk);
  int64_t chunk_pos = 0;  // file offset of chunk[0]
  size_t len = 0;
  size_t at = 0;
  bool eof = false;
  std::vector<char> line = std::vector<char>(kFirstLine);
  std::vector<char> saved = std::vector<char>(kFirstLine);
  size_t line_len = 0;
  int32_t row = 0;  // the row whose text the saved line holds (0: none)
};

AsciiOptions* opts(StorageDesc* s) { return std::get_if<AsciiOptions>(&s->options); }
AsciiReader* reader_of(StorageDesc* s) {
  AsciiOptions* o = opts(s);
  return o != nullptr ? static_cast<AsciiReader*>(o->reader) : nullptr;
}

void point_buffers(AsciiOptions* o) {
  auto* r = static_cast<AsciiReader*>(o->reader);
  o->line = r != nullptr ? r->line.data() : nullptr;
  o->saved = r != nullptr ? r->saved.data() : nullptr;
}

bool ensure_buffers(StorageDesc* s) {
  AsciiOptions* o = opts(s);
  if (o == nullptr) return false;
  if (o->reader == nullptr) {
    try {
      o->reader = new AsciiReader;
    } catch (const std::bad_alloc&) {
      err_push(4, 304, nullptr, nullptr);
      return false;
    }
  }
  point_buffers(o);
  return true;
}

void free_buffers(StorageDesc* s) {
  AsciiOptions* o = opts(s);
  if (o == nullptr) return;
  delete static_cast<AsciiReader*>(o->reader);
  o->reader = nullptr;
  point_buffers(o);
}

void reader_reset(AsciiReader* r) {
  r->chunk_pos = 0;
  r->len = r->at = 0;
  r->eof = false;
  r->row = 0;
}

bool fill(AsciiReader* r, int32_t handle) {
  if (r->eof) return false;
  r->chunk_pos += static_cast<int64_t>(r->len);
  r->len = r->at = 0;
  if (file_fseek(handle, static_cast<long>(r->chunk_pos), SEEK_SET) != 0) {
    r->eof = true;
    return false;
  }
  r->len = file_fread(r->chunk.data(), 1, r->chunk.size(), handle);
  if (r->len == 0) r->eof = true;
  return r->len > 0;
}

bool is_blank_or_control(unsigned char c) { return c <= 0x20 || c == 0x7F; }

void cut_trailing(char* text, size_t* len) {
  while (*len > 0 && is_blank_or_control(static_cast<unsigned char>(text[*len - 1]))) --*len;
  text[*len] = '\0';
}

// The next line of the file into the line buffer, converted to the current
// charset and cut of trailing blanks and control characters. False at the
// end of the file.
bool read_line(StorageDesc* s) {
  AsciiOptions* o = opts(s);
  AsciiReader* r = reader_of(s);
  const int32_t h = s->data_file;
  size_t n = 0;
  bool any = false;
  for (;;) {
    if (r->at == r->len && !fill(r, h)) break;
    const char* begin = r->chunk.data() + r->at;
    const char* end = r->chunk.data() + r->len;
    if (!any && *begin == 0x1A) {
      r->eof = true;
      r->at = r->len;
      break;
    }
    any = true;
    const char* p = static_cast<const char*>(std::memchr(begin, '\n', static_cast<size_t>(end - begin)));
    if (p == nullptr) p = end;
    if (const void* cr = std::memchr(begin, '\r', static_cast<size_t>(p - begin))) p = static_cast<const char*>(cr);
    const size_t take = static_cast<size_t>(p - begin);
    const size_t room = n < static_cast<size_t>(kAsciiMaxLine) ? static_cast<size_t>(kAsciiMaxLine) - n : 0;
    const size_t keep = take < room ? take : room;
    if (n + keep + 1 > r->line.size()) {
      size_t want = r->line.size();
      while (want < n + keep + 1) want *= 2;
      r->line.resize(want);
      point_buffers(o);
    }
    std::memcpy(r->line.data() + n, begin, keep);
    for (char* z = r->line.data() + n; (z = static_cast<char*>(std::memchr(z, '\0', r->line.data() + n + keep - z)));)
      *z++ = ' ';
    n += keep;
    r->at += take;
    if (p == end) continue;
    // A line end: CR LF, CR or LF.
    const char c = *p;
    ++r->at;
    if (c == '\r') {
      if (r->at == r->len) fill(r, h);
      if (r->at < r->len && r->chunk[r->at] == '\n') ++r->at;
    }
    break;
  }
  if (!any) return false;
  r->line[n] = '\0';
  const int32_t from = o->charset;
  if (from != charset_current() && from > 0) {
    charset_convert(r->line.data(), from, charset_current());
    n = std::strlen(r->line.data());
  }
  cut_trailing(r->line.data(), &n);
  r->line_len = n;
  return true;
}

// Seeks to the start; with titles the title line is read into the line
// buffer (the result is whether one was).
bool rewind_file(StorageDesc* s) {
  AsciiReader* r = reader_of(s);
  reader_reset(r);
  s->current_row = 0;
  if (opts(s)->titles) return read_line(s);
  return true;
}

int32_t count_rows(StorageDesc* s) {
  if (!rewind_file(s)) return 0;
  int32_t n = 0;
  while (read_line(s)) ++n;
  reader_reset(reader_of(s));
  return n;
}

// Makes row n the content of the line buffer and the current row.
bool seek_row(StorageDesc* s, int32_t n) {
  AsciiReader* r = reader_of(s);
  if (n <= 0) return false;
  if (n == r->row) {
    std::memcpy(r->line.data(), r->saved.data(), r->line_len + 1);
    s->current_row = n;
    return true;
  }
  if (n < r->row || r->row == 0) {
    if (!rewind_file(s) && opts(s)->titles) {
      s->current_row = 0;
      return false;
    }
    r->row = 0;
  }
  while (r->row < n) {
    if (!read_line(s)) {
      r->row = 0;
      s->current_row = 0;
      return false;
    }
    ++r->row;
  }
  if (r->saved.size() < r->line.size()) {
    r->saved.resize(r->line.size());
    point_buffers(opts(s));
  }
  std::memcpy(r->saved.data(), r->line.data(), r->line_len + 1);
  s->current_row = n;
  return true;
}

// The kernel's unquoting, in place: a field that begins with a double
// quote loses it, each doubled quote becomes one, and the text ends at the
// first single quote.
void unquote_in_place(char* field) {
  if (field[0] != '"') return;
  char* w = field;
  for (const char* p = field + 1; *p != '\0';) {
    if (*p == '"') {
      if (p[1] != '"') break;
      *w++ = '"';
      p += 2;
      continue;
    }
    const char* next = mb_char_step(p);
    while (p < next && *p != '\0') *w++ = *p++;
  }
  *w = '\0';
}

void trim_right(char* field) {
  size_t n = std::strlen(field);
  while (n > 0 && field[n - 1] == ' ') --n;
  field[n] = '\0';
}

bool text_kind(int32_t type) {
  return type == VALUE_CHAR || type == VALUE_CHAR_REF || type == VALUE_FIXED_CHAR || type == VALUE_TEXT ||
         type == VALUE_TEXT_REF;
}

// The merge of a field's class into its column's type.
uint8_t merge_class(uint8_t column, int16_t cls) {
  switch (cls) {
    case 0: return column;
    case VALUE_SMALLINT:
      return column == VALUE_CHAR || column == VALUE_FLOAT || column == VALUE_INTEGER ? column : uint8_t{VALUE_SMALLINT};
    case VALUE_INTEGER: return column == VALUE_CHAR || column == VALUE_FLOAT ? column : uint8_t{VALUE_INTEGER};
    case VALUE_FLOAT: return column == VALUE_CHAR ? column : uint8_t{VALUE_FLOAT};
    default: return uint8_t{VALUE_CHAR};
  }
}

struct ColumnGuess {
  uint8_t type = 0;
  int32_t width = 0;
};

bool describe_columns(StorageDesc* s, std::vector<ColumnGuess>* cols, int32_t* rows) {
  AsciiOptions* o = opts(s);
  AsciiReader* r = reader_of(s);
  int32_t first = 0;
  const bool have_line = o->titles ? true : seek_row(s, 1);
  if (have_line) {
    std::string copy(r->line.data(), r->line_len);
    for (char* f = ascii_tokenize(copy.data(), o->delimiter); f != nullptr; f = ascii_tokenize(nullptr, o->delimiter)) {
      if (++first > kAsciiMaxColumns) break;
    }
  }
  if (first == 0) first = 1;
  if (first > kAsciiMaxColumns) {
    err_push(4, kErrTooManyColumns, nullptr, nullptr);
    return false;
  }
  cols->assign(static_cast<size_t>(first), ColumnGuess{});
  std::string unquoted;
  int32_t row = 1;
  for (; seek_row(s, row); ++row) {
    int32_t k = 0;
    for (char* f = ascii_tokenize(r->line.data(), o->delimiter); f != nullptr && k < kDescribeFields;
         f = ascii_tokenize(nullptr, o->delimiter), ++k) {
      if (k >= static_cast<int32_t>(cols->size())) {
        if (cols->size() + 1 > static_cast<size_t>(kAsciiMaxColumns)) {
          err_push(4, kErrTooManyColumns, nullptr, nullptr);
          return false;
        }
        cols->emplace_back();
      }
      ColumnGuess& c = (*cols)[static_cast<size_t>(k)];
      const int16_t cls = value_guess_type(f);
      unquoted.assign(f);
      unquote_in_place(unquoted.data());
      int32_t len = static_cast<int32_t>(std::strlen(unquoted.c_str()));
      if (len < 1) len = 1;
      if (len > c.width) c.width = len > kMaxWidth ? kMaxWidth : len;
      c.type = merge_class(c.type, cls);
    }
  }
  *rows = row - 1;
  return true;
}

// The title line's fields as column names (the line buffer holds it).
void name_from_titles(StorageDesc* s, FieldDef* fields, int32_t count) {
  AsciiOptions* o = opts(s);
  AsciiReader* r = reader_of(s);
  int32_t i = 0;
  for (char* f = ascii_tokenize(r->line.data(), o->delimiter); f != nullptr && i < count;
       f = ascii_tokenize(nullptr, o->delimiter), ++i) {
    unquote_in_place(f);
    char name[kTableNameSize];
    str_copy_n(name, f, 32);
    column_name_sanitize(name);
    if (name[0] != '\0') str_copy_n(fields[i].name, name, kTableNameSize);
  }
}

bool write_all(int32_t h, const std::string& text) {
  return file_fwrite_conv(text.data(), 1, text.size(), h) == text.size();
}

}  // namespace

int16_t ascii_begin_access(StorageDesc* s, int16_t mode, int16_t*) {
  AsciiOptions* o = opts(s);
  if (o == nullptr || !ensure_buffers(s)) return 0;
  o->mode = mode;
  const int32_t h = s->data_file;
  file_set_charset(h, o->charset);
  if (mode != 1 && s->held_open) {
    file_release_text(h);
    s->held_open = 0;
  }
  AsciiReader* r = reader_of(s);
  reader_reset(r);
  if (file_open_text(h, mode, nullptr) <= 0) {
    s->current_row = 0;
    o->mode = 0;
    return 0;
  }
  s->current_row = 0;
  if (o->titles && mode != 3 && !read_line(s)) {
    // No title line: the access is refused and what it opened let go.
    file_release_text(h);
    o->mode = 0;
    return 0;
  }
  return 1;
}

int16_t ascii_end_access(StorageDesc* s) {
  AsciiOptions* o = opts(s);
  if (o == nullptr) return 0;
  const int32_t h = s->data_file;
  const bool ok = file_release_text(h) >= 0;
  if (o->mode == 2 || o->mode == 3) {
    if (file_open_text(h, 1, nullptr) > 0) s->held_open = 1;
  }
  o->mode = 0;
  if (AsciiReader* r = reader_of(s)) reader_reset(r);
  return ok ? 1 : 0;
}

int16_t ascii_open(StorageDesc* s, FieldDef*) {
  if (!ensure_buffers(s)) return 0;
  if (!ascii_begin_access(s, 1, nullptr)) return 0;
  if (file_open_text(s->data_file, 1, nullptr) > 0) s->held_open = 1;
  s->row_count = count_rows(s);
  ascii_end_access(s);
  return 1;
}

int16_t ascii_close(StorageDesc* s) {
  if (s->held_open) {
    file_release_text(s->data_file);
    s->held_open = 0;
  }
  free_buffers(s);
  return 1;
}

int16_t ascii_describe(StorageDesc* s, FieldDef** out, int32_t* count) {
  *out = nullptr;
  *count = 0;
  if (!ensure_buffers(s)) return 0;
  if (!ascii_begin_access(s, 1, nullptr)) {
    free_buffers(s);
    return 0;
  }
  std::vector<ColumnGuess> cols;
  int32_t rows = 0;
  bool ok = describe_columns(s, &cols, &rows);
  FieldDef* fields = nullptr;
  const auto n = static_cast<int32_t>(cols.size());
  if (ok) {
    fields = fieldlist_new(n);
    ok = fields != nullptr;
  }
  for (int32_t i = 0; ok && i < n; ++i) {
    const ColumnGuess& c = cols[static_cast<size_t>(i)];
    FieldDef& f = fields[i];
    value_init(&f.value, c.type == 0 ? int32_t{VALUE_CHAR} : int32_t{c.type}, nullptr);
    f.width = static_cast<uint8_t>(c.type == 0 ? 1 : c.width);
    f.decimals = 0;
    std::snprintf(f.name, sizeof f.name, "COL%u", static_cast<unsigned>(i + 1));
  }
  if (ok && opts(s)->titles && rewind_file(s)) name_from_titles(s, fields, n);
  ascii_end_access(s);
  free_buffers(s);
  if (!ok) {
    if (fields != nullptr) fieldlist_free(fields, n);
    return 0;
  }
  s->field_count = n;
  s->row_count = rows;
  *out = fields;
  *count = n;
  return 1;
}

int16_t ascii_read_row(StorageDesc* s, int32_t n, FieldDef* fields, int16_t*) {
  AsciiOptions* o = opts(s);
  AsciiReader* r = reader_of(s);
  if (o == nullptr || r == nullptr || !seek_row(s, n)) return 0;
  char* line = r->line.data();
  char* const line_end = line + r->line_len;  // its NUL: the empty text of a missing field
  bool more = true;
  for (int32_t i = 0; i < s->field_count; ++i) {
    char* f = nullptr;
    if (more) {
      f = ascii_tokenize(i == 0 ? line : nullptr, o->delimiter);
      more = f != nullptr;
    }
    if (f != nullptr) {
      trim_right(f);
      unquote_in_place(f);
    }
    Value& v = fields[i].value;
    switch (v.type) {
      case VALUE_CHAR:
        value_free(&v);
        v.type = VALUE_CHAR;
        value_set_text_ref(&v, line, static_cast<int32_t>((f != nullptr ? f : line_end) - line));
        break;
      case VALUE_DECIMAL: case VALUE_INTEGER: case VALUE_SMALLINT: case VALUE_DATE: case VALUE_LOGICAL:
      case VALUE_FLOAT: case VALUE_TIME: case VALUE_DATETIME: case VALUE_LARGEINT:
        value_parse(f != nullptr ? f : "", v.type, fields[i].width, fields[i].decimals, 0, &v);
        break;
      default: return 0;
    }
  }
  s->current_row = n;
  return 1;
}

int16_t ascii_create(StorageDesc* s, FieldDef* fields) {
  AsciiOptions* o = opts(s);
  if (o == nullptr) return 0;
  if (s->field_count > kAsciiMaxColumns) {
    err_push(4, kErrTooManyColumns, nullptr, nullptr);
    return 0;
  }
  if (!ensure_buffers(s)) return 0;
  const int32_t h = s->data_file;
  file_set_charset(h, o->charset);
  std::string line;
  if (o->titles) {
    for (int32_t i = 0; i < s->field_count; ++i) {
      char quoted[2 * kTableNameSize + 3];
      ascii_quote_string(fields[i].name, quoted, sizeof quoted);
      const size_t len = std::strlen(quoted);
      if (len + line.size() + 1 >= static_cast<size_t>(kAsciiWriteLine)) return 0;
      line += quoted;
      if (i + 1 < s->field_count) line += static_cast<char>(o->delimiter);
    }
    line += '\n';
  }
  if (file_open_text(h, 3, nullptr) <= 0) return 0;
  const bool ok = write_all(h, line);
  const bool released = file_release_text(h) >= 0;
  return ok && released ? 1 : 0;
}

int16_t ascii_insert_row(StorageDesc* s, int32_t* n, FieldDef* fields) {
  AsciiOptions* o = opts(s);
  if (o == nullptr || (o->mode != 2 && o->mode != 3)) return 0;
  std::string line;
  for (int32_t i = 0; i < s->field_count; ++i) {
    const Value& v = fields[i].value;
    char text[256];
    value_to_text_plain(&v, text, sizeof text, fields[i].decimals);
    char quoted[2 * sizeof text + 3];
    const char* piece = text;
    if (text_kind(v.type)) {
      // A line end inside a text would split the row in two.
      for (char* p = text; *p != '\0'; ++p) {
        if (*p == '\r' || *p == '\n') *p = ' ';
      }
      piece = ascii_quote_string(text, quoted, sizeof quoted);
    }
    const size_t len = std::strlen(piece);
    if (len + line.size() + 1 >= static_cast<size_t>(kAsciiWriteLine)) return 0;
    line += piece;
    if (i + 1 < s->field_count) line += static_cast<char>(o->delimiter);
  }
  line += '\n';
  const int32_t h = s->data_file;
  if (file_fseek(h, 0, SEEK_END) != 0 || !write_all(h, line)) return 0;
  if (AsciiReader* r = reader_of(s)) reader_reset(r);
  *n = s->row_count + 1;
  return 1;
}

int16_t ascii_batch_begin(StorageDesc* s) {
  if (s->held_open) return 1;  // one held use at a time
  if (s->data_file <= 0 || file_open_text(s->data_file, 1, nullptr) <= 0) return 0;
  s->held_open = 1;
  return 1;
}

int16_t ascii_batch_end(StorageDesc* s) {
  if (!s->held_open) return 0;
  file_release_text(s->data_file);
  s->held_open = 0;
  return 1;
}

const TabTypeDriver* ascii_driver() {
  static constexpr TabTypeDriver kDriver = {ascii_create,     ascii_open,       ascii_describe,  ascii_begin_access,
                                            ascii_end_access, ascii_close,      ascii_read_row,  ascii_insert_row,
                                            nullptr,          nullptr,          ascii_batch_begin, ascii_batch_end};
  return &kDriver;
}
