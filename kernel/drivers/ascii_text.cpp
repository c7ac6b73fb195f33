// Quoting and line splitting of the delimited-text driver.
#include "kernel/drivers/ascii_text.h"

#include <cstring>
#include <string>

#include "kernel/runtime/charset.h"

namespace {

// The split in progress: where the next field starts, and whether the last
// field ended on a delimiter (an empty field is then still due).
struct TokenizerState {
  char* next = nullptr;
  bool pending = false;
};
TokenizerState g_split;

bool lead_byte(unsigned char c) { return c >= 0x80 && charset_is_lead_byte(c, charset_current()) != 0; }

}  // namespace

char* ascii_quote_string(const char* text, char* out, int32_t size) {
  if (out == nullptr || size <= 0) return out;
  if (text == nullptr) text = "";
  std::string q = "\"";
  // Room for the closing quote and the NUL.
  const size_t limit = size >= 3 ? static_cast<size_t>(size) - 2 : 0;
  for (const char* p = text; *p != '\0';) {
    const unsigned char c = static_cast<unsigned char>(*p);
    size_t n = 1;
    if (c == '"') {
      n = 2;
    } else if (lead_byte(c) && p[1] != '\0') {
      n = 2;
    }
    if (q.size() + n > limit) break;
    if (c == '"') {
      q += "\"\"";
      ++p;
    } else {
      q.append(p, n);
      p += n;
    }
  }
  if (size < 3) {
    out[0] = '\0';
    return out;
  }
  q += '"';
  std::memcpy(out, q.c_str(), q.size() + 1);
  return out;
}

char* ascii_tokenize(char* line, int32_t delimiter) {
  if (line != nullptr) {
    g_split.next = line;
    g_split.pending = false;
  }
  char* p = g_split.next;
  if (p == nullptr) return nullptr;
  const char delim = static_cast<char>(delimiter);
  while (*p == ' ') ++p;
  if (*p == '\0') {
    g_split.next = nullptr;
    if (g_split.pending) {
      g_split.pending = false;
      return p;
    }
    return nullptr;
  }
  char* field = p;
  char* w = p;
  bool ended_on_delimiter = false;
  const bool quoted = *p == '"';
  if (quoted) *w++ = *p++;
  while (*p != '\0') {
    const unsigned char c = static_cast<unsigned char>(*p);
    if (quoted && c == '"') {
      if (p[1] == '"') {
        *w++ = *p++;
        *w++ = *p++;
        continue;
      }
      // The closing quote: kept; what follows it up to the delimiter goes.
      *w++ = *p++;
      while (*p != '\0' && *p != delim) ++p;
      if (*p == delim) {
        ++p;
        ended_on_delimiter = true;
      }
      break;
    }
    if (!quoted && *p == delim) {
      ++p;
      ended_on_delimiter = true;
      break;
    }
    if (lead_byte(c) && p[1] != '\0') {
      *w++ = *p++;
      *w++ = *p++;
      continue;
    }
    *w++ = c == '\t' ? ' ' : static_cast<char>(c);
    ++p;
  }
  *w = '\0';
  g_split.next = p;
  g_split.pending = ended_on_delimiter;
  return field;
}
