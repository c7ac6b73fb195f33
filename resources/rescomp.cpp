// Build-time compiler of the resource library's sources: the string table,
// the dialog templates and the version block become one C++ source that
// defines qlres_resources(); icon 131 is drawn here and stored as a PNG.
//   qlrescomp <strings.txt> <dialogs.txt> <version.txt> <out.cpp>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

struct Control {
  std::string kind;
  int id = -1;
  int x = 0, y = 0, w = 0, h = 0;
  std::string styles;
  std::string text;
};

struct Dialog {
  int id = 0;
  int w = 0, h = 0;
  std::string caption;
  std::string font = "Sans";
  int font_size = 9;
  std::vector<Control> controls;
};

[[noreturn]] void Fail(const std::string& file, int line, const std::string& what) {
  throw std::runtime_error(file + ":" + std::to_string(line) + ": " + what);
}

std::string Unescape(const std::string& s, const std::string& file, int line) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '\\') {
      out += s[i];
      continue;
    }
    if (++i == s.size()) Fail(file, line, "escape at end of line");
    switch (s[i]) {
      case 'n': out += '\n'; break;
      case 't': out += '\t'; break;
      case '\\': out += '\\'; break;
      default: Fail(file, line, std::string("unknown escape \\") + s[i]);
    }
  }
  return out;
}

// A C string literal of the bytes (octal escapes for everything unusual).
std::string Literal(const std::string& s) {
  std::string out = "\"";
  for (unsigned char c : s) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c >= 0x20 && c < 0x7f && c != '?') {
      out += static_cast<char>(c);
    } else {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\%03o", c);
      out += buf;
    }
  }
  return out + "\"";
}

bool SkipLine(const std::string& l) { return l.empty() || l[0] == '#'; }

std::map<int, std::string> ReadStrings(const std::string& file) {
  std::ifstream in(file);
  if (!in) Fail(file, 0, "cannot open");
  std::map<int, std::string> out;
  std::string l;
  for (int n = 1; std::getline(in, l); ++n) {
    if (SkipLine(l)) continue;
    size_t tab = l.find('\t');
    if (tab == std::string::npos) Fail(file, n, "no TAB after the id");
    int id = std::stoi(l.substr(0, tab));
    if (!out.emplace(id, Unescape(l.substr(tab + 1), file, n)).second)
      Fail(file, n, "duplicate id " + std::to_string(id));
  }
  return out;
}

std::vector<std::pair<std::string, std::string>> ReadVersion(const std::string& file) {
  std::ifstream in(file);
  if (!in) Fail(file, 0, "cannot open");
  std::vector<std::pair<std::string, std::string>> out;
  std::string l;
  for (int n = 1; std::getline(in, l); ++n) {
    if (SkipLine(l)) continue;
    size_t tab = l.find('\t');
    if (tab == std::string::npos) Fail(file, n, "no TAB after the key");
    out.emplace_back(l.substr(0, tab), l.substr(tab + 1));
  }
  return out;
}

// Reads a quoted text ("" inside for a quote) from the stream.
std::string Quoted(std::istringstream& is, const std::string& file, int line) {
  is >> std::ws;
  if (is.get() != '"') Fail(file, line, "expected a quoted text");
  std::string out;
  for (;;) {
    int c = is.get();
    if (c == EOF) Fail(file, line, "unterminated text");
    if (c == '"') {
      if (is.peek() == '"') {
        is.get();
        out += '"';
        continue;
      }
      return out;
    }
    out += static_cast<char>(c);
  }
}

std::vector<Dialog> ReadDialogs(const std::string& file) {
  std::ifstream in(file);
  if (!in) Fail(file, 0, "cannot open");
  std::vector<Dialog> out;
  Dialog* cur = nullptr;
  std::string l;
  for (int n = 1; std::getline(in, l); ++n) {
    size_t b = l.find_first_not_of(" \t");
    if (b == std::string::npos || l[b] == '#') continue;
    std::istringstream is(l);
    std::string word;
    is >> word;
    if (word == "dialog") {
      if (cur != nullptr) Fail(file, n, "dialog inside dialog");
      out.emplace_back();
      cur = &out.back();
      if (!(is >> cur->id >> cur->w >> cur->h)) Fail(file, n, "dialog needs id, width, height");
      cur->caption = Quoted(is, file, n);
    } else if (word == "end") {
      if (cur == nullptr) Fail(file, n, "end without dialog");
      cur = nullptr;
    } else if (cur == nullptr) {
      Fail(file, n, "control outside a dialog");
    } else if (word == "font") {
      cur->font = Quoted(is, file, n);
      if (!(is >> cur->font_size)) Fail(file, n, "font needs a size");
    } else {
      Control c;
      c.kind = word;
      if (!(is >> c.id >> c.x >> c.y >> c.w >> c.h >> c.styles)) Fail(file, n, "control needs id x y w h styles");
      c.text = Quoted(is, file, n);
      cur->controls.push_back(c);
    }
  }
  if (cur != nullptr) Fail(file, 0, "last dialog has no end");
  return out;
}

const std::map<std::string, const char*> kKinds = {
    {"static", "QLC_STATIC"},       {"edit", "QLC_EDIT"},         {"button", "QLC_BUTTON"},
    {"defbutton", "QLC_DEFBUTTON"}, {"checkbox", "QLC_CHECKBOX"}, {"radio", "QLC_RADIO"},
    {"listbox", "QLC_LISTBOX"},     {"combobox", "QLC_COMBOBOX"}, {"progress", "QLC_PROGRESS"},
    {"groupbox", "QLC_GROUPBOX"},   {"checklist", "QLC_CHECKLIST"}, {"icon", "QLC_ICON"},
    {"password", "QLC_PASSWORD"},   {"multilist", "QLC_MULTILIST"},
};
const std::map<std::string, const char*> kStyles = {
    {"disabled", "QLS_DISABLED"}, {"hidden", "QLS_HIDDEN"},     {"group", "QLS_GROUP"},
    {"multiline", "QLS_MULTILINE"}, {"sort", "QLS_SORT"},       {"readonly", "QLS_READONLY"},
};

std::string StyleExpr(const std::string& styles) {
  if (styles == "-") return "0";
  std::string out;
  std::stringstream ss(styles);
  std::string s;
  while (std::getline(ss, s, ',')) {
    auto it = kStyles.find(s);
    if (it == kStyles.end()) throw std::runtime_error("unknown style " + s);
    if (!out.empty()) out += '|';
    out.append(it->second);
  }
  return out;
}

// ---- icon 131: a 32x32 RGBA globe drawn here, stored as PNG ----

uint32_t Crc32(const std::vector<uint8_t>& d, size_t from) {
  uint32_t c = 0xffffffffu;
  for (size_t i = from; i < d.size(); ++i) {
    c ^= d[i];
    for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xedb88320u & (0u - (c & 1u)));
  }
  return c ^ 0xffffffffu;
}

void Be32(std::vector<uint8_t>& d, uint32_t v) {
  for (int s = 24; s >= 0; s -= 8) d.push_back(static_cast<uint8_t>(v >> s));
}

void Chunk(std::vector<uint8_t>& png, const char* type, const std::vector<uint8_t>& body) {
  Be32(png, static_cast<uint32_t>(body.size()));
  size_t start = png.size();
  png.insert(png.end(), type, type + 4);
  png.insert(png.end(), body.begin(), body.end());
  Be32(png, Crc32(png, start));
}

std::vector<uint8_t> IconPng() {
  const int n = 32;
  std::vector<uint8_t> raw;
  for (int y = 0; y < n; ++y) {
    raw.push_back(0);  // filter: none
    for (int x = 0; x < n; ++x) {
      double dx = x - 15.5, dy = y - 15.5, r2 = dx * dx + dy * dy;
      uint8_t px[4] = {0, 0, 0, 0};
      if (r2 <= 14.5 * 14.5) {
        bool grid = (x % 8 == 3) || (y % 8 == 3);
        px[0] = grid ? 240 : 30;
        px[1] = grid ? 200 : 110;
        px[2] = grid ? 40 : 200;
        px[3] = 255;
      }
      raw.insert(raw.end(), px, px + 4);
    }
  }
  // zlib stream of stored deflate blocks.
  std::vector<uint8_t> z = {0x78, 0x01};
  for (size_t off = 0; off < raw.size();) {
    size_t len = std::min<size_t>(65535, raw.size() - off);
    z.push_back(off + len == raw.size() ? 1 : 0);
    z.push_back(static_cast<uint8_t>(len));
    z.push_back(static_cast<uint8_t>(len >> 8));
    z.push_back(static_cast<uint8_t>(~len));
    z.push_back(static_cast<uint8_t>(~len >> 8));
    z.insert(z.end(), raw.begin() + static_cast<long>(off), raw.begin() + static_cast<long>(off + len));
    off += len;
  }
  uint32_t a = 1, b = 0;
  for (uint8_t c : raw) {
    a = (a + c) % 65521;
    b = (b + a) % 65521;
  }
  Be32(z, (b << 16) | a);
  std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
  std::vector<uint8_t> ihdr;
  Be32(ihdr, n);
  Be32(ihdr, n);
  ihdr.insert(ihdr.end(), {8, 6, 0, 0, 0});  // 8-bit RGBA
  Chunk(png, "IHDR", ihdr);
  Chunk(png, "IDAT", z);
  Chunk(png, "IEND", {});
  return png;
}

void Write(const std::string& path, const std::map<int, std::string>& strings,
           const std::vector<Dialog>& dialogs,
           const std::vector<std::pair<std::string, std::string>>& version) {
  std::ostringstream o;
  o << "// Generated by qlrescomp from resources/*.txt; do not edit.\n"
    << "#include \"resources/qlres.h\"\n\nnamespace {\n\n";
  o << "const QlString kStrings[] = {\n";
  for (const auto& [id, text] : strings) o << "    {" << id << ", " << Literal(text) << "},\n";
  o << "};\n\n";
  for (const Dialog& d : dialogs) {
    o << "const QlControl kControls" << d.id << "[] = {\n";
    for (const Control& c : d.controls) {
      auto k = kKinds.find(c.kind);
      if (k == kKinds.end()) throw std::runtime_error("dialog " + std::to_string(d.id) + ": unknown kind " + c.kind);
      o << "    {" << k->second << ", " << c.id << ", " << Literal(c.text) << ", " << c.x << ", " << c.y << ", "
        << c.w << ", " << c.h << ", " << StyleExpr(c.styles) << "},\n";
    }
    o << "};\n";
  }
  o << "\nconst QlDialogTemplate kDialogs[] = {\n";
  for (const Dialog& d : dialogs)
    o << "    {" << d.id << ", " << Literal(d.caption) << ", " << d.w << ", " << d.h << ", " << Literal(d.font) << ", "
      << d.font_size << ", " << d.controls.size() << ", kControls" << d.id << "},\n";
  o << "};\n\n";
  std::vector<uint8_t> png = IconPng();
  o << "const unsigned char kIcon131[] = {";
  for (size_t i = 0; i < png.size(); ++i) o << (i % 16 == 0 ? "\n    " : " ") << static_cast<int>(png[i]) << ",";
  o << "\n};\n\n";
  o << "const QlIcon kIcons[] = {{131, \"png\", sizeof kIcon131, kIcon131}};\n\n";
  o << "const QlVersionValue kVersion[] = {\n";
  for (const auto& [k, v] : version) o << "    {" << Literal(k) << ", " << Literal(v) << "},\n";
  o << "};\n\n";
  o << "const QlResources kResources = {\n"
    << "    QLRES_FORMAT,\n"
    << "    sizeof kStrings / sizeof kStrings[0], kStrings,\n"
    << "    sizeof kDialogs / sizeof kDialogs[0], kDialogs,\n"
    << "    sizeof kIcons / sizeof kIcons[0], kIcons,\n"
    << "    sizeof kVersion / sizeof kVersion[0], kVersion,\n"
    << "};\n\n}  // namespace\n\n"
    << "extern \"C\" __attribute__((visibility(\"default\"))) const QlResources* qlres_resources(void) {\n"
    << "  return &kResources;\n}\n";
  std::ofstream out(path);
  out << o.str();
  if (!out) throw std::runtime_error("cannot write " + path);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::cerr << "usage: qlrescomp strings.txt dialogs.txt version.txt out.cpp\n";
    return 2;
  }
  try {
    Write(argv[4], ReadStrings(argv[1]), ReadDialogs(argv[2]), ReadVersion(argv[3]));
  } catch (const std::exception& e) {
    std::cerr << "qlrescomp: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
