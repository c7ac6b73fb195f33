// JSON-lines trace of the test ODBC driver: one object per ODBC call.
#pragma once

#include <optional>
#include <string>

namespace qltestodbc {

// Builds one JSON object field by field.
class JsonLine {
 public:
  JsonLine& Str(const char* key, const std::string& value);
  JsonLine& OptStr(const char* key, const std::optional<std::string>& value);
  JsonLine& Num(const char* key, long long value);
  JsonLine& Null(const char* key);
  JsonLine& Raw(const char* key, const std::string& json);
  std::string Close() const { return "{" + body_ + "}"; }

  static std::string Quote(const std::string& bytes);

 private:
  void Key(const char* key);
  std::string body_;
};

// Appends a line to the trace file (nothing when the path is empty). Each
// line is written with one write call, so traces of several connections in
// one file do not interleave within a line.
void AppendTrace(const std::string& path, const std::string& line);

}  // namespace qltestodbc
