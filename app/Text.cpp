// Small text helpers of the application.
#include "app/Text.h"

namespace {
constexpr const char* kWhite = " \t\r\n\v\f";
char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
}  // namespace

std::string TrimWhite(const std::string& text) {
  size_t b = text.find_first_not_of(kWhite);
  if (b == std::string::npos) return std::string();
  size_t e = text.find_last_not_of(kWhite);
  return text.substr(b, e - b + 1);
}

std::string AsciiLower(const std::string& text) {
  std::string out(text);
  for (char& c : out) c = LowerAscii(c);
  return out;
}

bool EqualsNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  return true;
}

std::string FileTitle(const std::string& path) {
  size_t slash = path.find_last_of("/\\");
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  size_t dot = name.rfind('.');
  return dot == std::string::npos ? name : name.substr(0, dot);
}
