// SQL literals, identifier checks and owner passwords (see SqlText.h).
#include "app/SqlText.h"

#include <sys/random.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

namespace {

constexpr std::string_view kAlphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
constexpr std::size_t kLetters = 52;
constexpr std::size_t kPasswordLength = 24;

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

bool IsControl(unsigned char c) { return c < 0x20 || c == 0x7F; }

// A byte a bare identifier may hold: an ASCII letter or digit, "_", "$", "#",
// "@", or a byte of a character outside ASCII. Anything else (a blank, a
// separator, a quote, a parenthesis, a comment start) could end the name.
bool IsBareNameByte(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '$' ||
         c == '#' || c == '@' || c >= 0x80;
}

// The name as it can be shown in a message: control bytes as \xNN.
std::string Printable(std::string_view name) {
  std::string out;
  for (char ch : name) {
    auto c = static_cast<unsigned char>(ch);
    if (IsControl(c) || c == 0) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02X", c);
      out += buf;
    } else {
      out += ch;
    }
  }
  return out;
}

}  // namespace

std::string SqlLiteral(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  out += '\'';
  for (char c : text) {
    if (c == '\'') out += '\'';
    out += c;
  }
  out += '\'';
  return out;
}

std::string SqlIdentifierFault(std::string_view name, std::string_view quote) {
  bool bad = name.find('\0') != std::string_view::npos;
  if (!quote.empty()) {
    bad = bad || name.find(quote) != std::string_view::npos;
  } else {
    for (char ch : name)
      if (!IsBareNameByte(static_cast<unsigned char>(ch))) bad = true;
  }
  if (!bad) return {};
  if (!quote.empty())
    return "The name [" + Printable(name) + "] holds the identifier quote " +
           std::string(quote) + " or a null character and cannot be used in an SQL statement";
  return "The name [" + Printable(name) +
         "] holds a character other than a letter, a digit, _, $, # or @ and cannot be used "
         "in an SQL statement";
}

std::string SqlValueFault(std::string_view value) {
  if (value.find('\0') == std::string_view::npos) return {};
  return "The value [" + Printable(value) + "] holds a null character and cannot be used in an SQL statement";
}

std::string SqlTrim(std::string_view text) {
  std::size_t b = 0, e = text.size();
  while (b < e && IsBlank(text[b])) ++b;
  while (e > b && IsBlank(text[e - 1])) --e;
  return std::string(text.substr(b, e - b));
}

std::string SqlUpper(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

std::string SqlLeft(std::string_view text, std::size_t count) {
  return std::string(text.substr(0, count));
}

std::string SqlMaskSecret(std::string_view text, std::string_view secret) {
  std::string out(text);
  if (secret.empty()) return out;
  for (std::size_t at = out.find(secret); at != std::string::npos;
       at = out.find(secret, at + 8))
    out.replace(at, secret.size(), "********");
  // A message cut short may end in the secret's first characters.
  for (std::size_t n = std::min(secret.size() - 1, out.size()); n >= 3; --n) {
    if (out.compare(out.size() - n, n, secret, 0, n) == 0) {
      out.replace(out.size() - n, n, "********");
      break;
    }
  }
  return out;
}

std::string SqlOwnerPasswordFromBytes(std::string_view random) {
  std::string pw;
  for (char ch : random) {
    if (pw.size() == kPasswordLength) break;
    auto b = static_cast<unsigned char>(ch);
    // Rejection keeps every character equally likely: 248 = 4 * 62, 208 = 4 * 52.
    std::size_t range = pw.empty() ? kLetters : kAlphabet.size();
    std::size_t limit = 256 - 256 % range;
    if (b >= limit) continue;
    pw += kAlphabet[b % range];
  }
  return SqlIsOwnerPassword(pw) ? pw : std::string();
}

bool SqlIsOwnerPassword(std::string_view pw) {
  if (pw.size() < 20) return false;
  bool upper = false, lower = false, digit = false;
  for (char c : pw) {
    if (c >= 'A' && c <= 'Z') upper = true;
    else if (c >= 'a' && c <= 'z') lower = true;
    else if (c >= '0' && c <= '9') digit = true;
    else return false;
  }
  return upper && lower && digit && !(pw[0] >= '0' && pw[0] <= '9');
}

std::string SqlNewOwnerPassword() {
  for (int attempt = 0; attempt < 64; ++attempt) {
    char buf[128];
    std::size_t got = 0;
    while (got < sizeof buf) {
      ssize_t n = getrandom(buf + got, sizeof buf - got, 0);
      if (n < 0) {
        if (errno == EINTR) continue;
        return {};
      }
      got += static_cast<std::size_t>(n);
    }
    std::string pw = SqlOwnerPasswordFromBytes(std::string_view(buf, sizeof buf));
    if (!pw.empty()) return pw;
  }
  return {};
}
