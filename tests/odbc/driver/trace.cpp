// JSON-lines trace writer of the test ODBC driver.
#include "trace.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

namespace qltestodbc {

namespace {

// Length of the valid UTF-8 sequence at s[i], or 0.
size_t Utf8Len(const std::string& s, size_t i) {
  unsigned char c = static_cast<unsigned char>(s[i]);
  size_t len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
  if (len == 0 || i + len > s.size()) return 0;
  for (size_t k = 1; k < len; ++k)
    if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return 0;
  return len;
}

}  // namespace

std::string JsonLine::Quote(const std::string& bytes) {
  std::string out = "\"";
  for (size_t i = 0; i < bytes.size();) {
    unsigned char c = static_cast<unsigned char>(bytes[i]);
    char buf[8];
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
      ++i;
    } else if (c == '\n') {
      out += "\\n";
      ++i;
    } else if (c == '\r') {
      out += "\\r";
      ++i;
    } else if (c == '\t') {
      out += "\\t";
      ++i;
    } else if (c < 0x20 || c == 0x7F) {
      std::snprintf(buf, sizeof buf, "\\u%04x", c);
      out += buf;
      ++i;
    } else if (c < 0x80) {
      out += static_cast<char>(c);
      ++i;
    } else if (size_t len = Utf8Len(bytes, i)) {
      out.append(bytes, i, len);
      i += len;
    } else {
      // A byte that is not UTF-8 is written as the Latin-1 character of that value.
      std::snprintf(buf, sizeof buf, "\\u%04x", c);
      out += buf;
      ++i;
    }
  }
  return out + "\"";
}

void JsonLine::Key(const char* key) {
  if (!body_.empty()) body_ += ',';
  body_ += Quote(key);
  body_ += ':';
}

JsonLine& JsonLine::Str(const char* key, const std::string& value) {
  Key(key);
  body_ += Quote(value);
  return *this;
}

JsonLine& JsonLine::OptStr(const char* key, const std::optional<std::string>& value) {
  return value ? Str(key, *value) : Null(key);
}

JsonLine& JsonLine::Num(const char* key, long long value) {
  Key(key);
  body_ += std::to_string(value);
  return *this;
}

JsonLine& JsonLine::Null(const char* key) {
  Key(key);
  body_ += "null";
  return *this;
}

JsonLine& JsonLine::Raw(const char* key, const std::string& json) {
  Key(key);
  body_ += json;
  return *this;
}

void AppendTrace(const std::string& path, const std::string& line) {
  if (path.empty()) return;
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) return;
  std::string l = line + "\n";
  size_t done = 0;
  while (done < l.size()) {
    ssize_t w = ::write(fd, l.data() + done, l.size() - done);
    if (w <= 0) break;
    done += static_cast<size_t>(w);
  }
  ::close(fd);
}

}  // namespace qltestodbc
