// Readers of names, strings, file names and numbers at the current token.
#include "kernel/tables/stmt_readers.h"

#include <cmath>
#include <cstring>

#include "kernel/runtime/err.h"
#include "kernel/runtime/path.h"
#include "kernel/runtime/str.h"
#include "kernel/runtime/valconv.h"
#include "kernel/runtime/value.h"
#include "kernel/tables/lang/expr.h"
#include "kernel/tables/lang/lexer.h"
#include "kernel/tables/lang/names.h"

namespace {

// Evaluates the expression at the current token (name mode when asked).
bool eval_here(Value* v, bool name_mode) {
  const int16_t saved = expr_name_mode;
  expr_name_mode = name_mode ? 1 : 0;
  const int16_t ok = expr_bind(v, nullptr);
  expr_name_mode = saved;
  return ok != 0;
}

bool value_text(Value* v, std::string* out) {
  if (!value_is_text_type(v->type)) return false;
  char* p = nullptr;
  value_text_ptr(v, &p);
  *out = p != nullptr ? p : "";
  return true;
}

bool read_text_value(std::string* out, bool name_mode, int16_t code) {
  Value v{};
  const char* what = lex_has_token() ? lex_token_text() : "";
  char found[64];
  str_copy_n(found, what, sizeof found);
  if (!eval_here(&v, name_mode)) {
    value_free(&v);
    return false;
  }
  const bool ok = value_text(&v, out);
  value_free(&v);
  if (!ok) err_push(4, code, found, nullptr);
  return ok;
}

}  // namespace

bool stmt_at(int16_t id) {
  const Value* t = lex_current();
  return t != nullptr && t->type == 20 && t->u.s == id;
}

bool stmt_accept(int16_t id) {
  if (!stmt_at(id)) return false;
  lex_next();
  return true;
}

bool stmt_require(int16_t id) {
  if (stmt_accept(id)) return true;
  lex_error_expected(id);
  return false;
}

int16_t stmt_read_name(char* out) {
  std::string s;
  if (!read_text_value(&s, true, kErrBadName)) return 0;
  if (!ident_is_valid(s.c_str())) {
    err_push(4, kErrBadName, s.c_str(), nullptr);
    return 0;
  }
  str_copy_n(out, s.c_str(), kNameMaxChars + 1);
  return 1;
}

int16_t stmt_read_qualified_name(char* out) {
  std::string s;
  if (!read_text_value(&s, true, kErrBadName)) return 0;
  // A name read in name mode may come as "table.column" from a word, a full
  // stop and a word; both parts must be valid.
  const size_t dot = s.find('.');
  bool ok = dot == std::string::npos ? ident_is_valid(s.c_str()) != 0
                                     : ident_is_valid(s.substr(0, dot).c_str()) && ident_is_valid(s.substr(dot + 1).c_str());
  if (!ok) {
    err_push(4, kErrBadName, s.c_str(), nullptr);
    return 0;
  }
  str_copy_n(out, s.c_str(), 64);
  return 1;
}

int16_t stmt_read_string(std::string* out) { return read_text_value(out, false, kErrNotString) ? 1 : 0; }

int16_t stmt_read_file_name(char* out) {
  std::string s;
  if (!stmt_read_string(&s)) return 0;
  if (s.empty()) {
    err_push(4, kErrEmptyFileName, nullptr, nullptr);
    return 0;
  }
  // "name .ext" -> "name.ext"
  const size_t dot = s.find_last_of('.');
  const size_t sep = s.find_last_of("/\\");
  if (dot != std::string::npos && (sep == std::string::npos || dot > sep)) {
    size_t start = dot;
    while (start > 0 && s[start - 1] == ' ') --start;
    s.erase(start, dot - start);
  }
  if (s.size() >= static_cast<size_t>(kPathSize)) {
    err_push(4, kErrFileNameLong, "260", nullptr);
    return 0;
  }
  std::memcpy(out, s.c_str(), s.size() + 1);
  return 1;
}

int16_t stmt_read_number(double* out) {
  Value v{};
  const bool ok = eval_here(&v, false) && value_get_double(&v, out) != 0;
  value_free(&v);
  if (!ok && err_count() == 0) lex_error_expected(3);
  return ok ? 1 : 0;
}

int16_t stmt_read_int(int32_t* out) {
  double d = 0;
  if (!stmt_read_number(&d)) return 0;
  if (!(d >= INT32_MIN && d <= INT32_MAX)) {
    value_err_number(kErrNumberRange, d);
    return 0;
  }
  *out = static_cast<int32_t>(std::trunc(d));
  return 1;
}

int16_t stmt_read_point(double* x, double* y) {
  return stmt_require(kTokOpen) && stmt_read_number(x) && stmt_require(kTokComma) && stmt_read_number(y) &&
                 stmt_require(kTokClose)
             ? 1
             : 0;
}
