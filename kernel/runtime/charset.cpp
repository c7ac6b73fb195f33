// Character sets and conversion between them.
//
// Conversions decode the source bytes into Unicode code points and encode
// them in the target page. Single-byte pages are held as 256-entry tables
// (built once through iconv, or from the generated tables of the pages iconv
// lacks); double-byte pages go through cached iconv descriptors, or through
// the generated (code, code point) pairs of the Mac double-byte pages.
#include "kernel/runtime/charset.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "kernel/runtime/collate.h"
#include "kernel/runtime/kshared.h"
#include "kernel/runtime/mem.h"
#include "platform/codepage.h"

namespace {

struct CodePair {
  uint32_t code;
  uint32_t ucs;
};
struct ExtraPage {
  int32_t page;
  const CodePair* pairs;
  int32_t count;
};

#include "kernel/runtime/charset_tables.inc"

constexpr uint32_t kNoChar = 0xFFFFFFFFu;

}  // namespace

const CharsetInfo g_charset_table[kCharsetCount] = {
    {"Neutral", 0, '_', "\r\n", 0},
    {"ISO8859_1", 0, '_', "\n", 28591},
    {"ISO8859_2", 0, '_', "\n", 28592},
    {"ISO8859_3", 0, '_', "\n", 28593},
    {"ISO8859_4", 0, '_', "\n", 28594},
    {"ISO8859_5", 0, '_', "\n", 28595},
    {"ISO8859_6", 0, '_', "\n", 28596},
    {"ISO8859_7", 0, '_', "\n", 28597},
    {"ISO8859_8", 0, '_', "\n", 28598},
    {"ISO8859_9", 0, '_', "\n", 28599},
    {"WindowsLatin1", 0, '_', "\r\n", 1252},
    {"WindowsLatin2", 0, '_', "\r\n", 1250},
    {"WindowsArabic", 0, '_', "\r\n", 1256},
    {"WindowsCyrillic", 0, '_', "\r\n", 1251},
    {"WindowsGreek", 0, '_', "\r\n", 1253},
    {"WindowsHebrew", 0, '_', "\r\n", 1255},
    {"WindowsTurkish", 0, '_', "\r\n", 1254},
    {"WindowsTradChinese", 1, '_', "\r\n", 950},
    {"WindowsSimpChinese", 1, '_', "\r\n", 936},
    {"WindowsJapanese", 1, '_', "\r\n", 932},
    {"WindowsKorean", 1, '_', "\r\n", 949},
    {"MacRoman", 0, '_', "\r", 10000},
    {"MacArabic", 0, '_', "\r", 10004},
    {"MacGreek", 0, '_', "\r", 10006},
    {"MacHebrew", 0, '_', "\r", 10005},
    {"MacCentralEuropean", 0, '_', "\r", 10029},
    {"MacCroatian", 0, '_', "\r", 10082},
    {"MacCyrillic", 0, '_', "\r", 10007},
    {"MacIcelandic", 0, '_', "\r", 10079},
    {"MacThai", 0, '_', "\r", 10021},
    {"MacTurkish", 0, '_', "\r", 10081},
    {"MacTradChinese", 1, '_', "\r", 10002},
    {"MacJapanese", 1, '_', "\r", 10001},
    {"MacKorean", 1, '_', "\r", 10003},
    {"CodePage437", 0, '_', "\r\n", 1},
    {"CodePage850", 0, '_', "\r\n", 850},
    {"CodePage852", 0, '_', "\r\n", 852},
    {"CodePage857", 0, '_', "\r\n", 857},
    {"CodePage860", 0, '_', "\r\n", 860},
    {"CodePage861", 0, '_', "\r\n", 861},
    {"CodePage863", 0, '_', "\r\n", 863},
    {"CodePage865", 0, '_', "\r\n", 865},
    {"CodePage855", 0, '_', "\r\n", 855},
    {"CodePage864", 0, '_', "\r\n", 864},
    {"CodePage869", 0, '_', "\r\n", 869},
    {"LICS", 0, '_', "\r\n", -1},
    {"LMBCS", 1, '_', "\r\n", -1},
    {"LMBCS1", 0, '_', "\r\n", -1},
    {"LMBCS2", 0, '_', "\r\n", -1},
    {"MacSimpChinese", 1, '_', "\r", 10008},
    {"?PackedEUCTradChinese", 1, '_', "\n", -1},
    {"?PackedEUCSimpChinese", 1, '_', "\n", -1},
    {"PackedEUCJapanese", 1, '_', "\n", 20932},
    {"?PackedEUCKorean", 1, '_', "\n", -1},
    {"WindowsThai", 0, '_', "\r\n", 874},
    {"WindowsBalticRim", 0, '_', "\r\n", 1257},
    {"WindowsVietnamese", 0, '_', "\r\n", 1258},
};

namespace {

// One code page's decoder and encoder.
struct Codec {
  enum Kind { kSingle, kPairs, kIconv } kind = kSingle;
  int32_t page = 0;
  // kSingle: byte -> code point (kNoChar when none), code point -> byte.
  uint32_t decode1[256] = {};
  std::unordered_map<uint32_t, uint8_t> encode1;
  // kPairs: lead bytes, code -> code point, code point -> code.
  bool lead[256] = {};
  std::unordered_map<uint32_t, uint32_t> decode2;
  std::unordered_map<uint32_t, uint32_t> encode2;
  // kIconv: descriptors into and out of UTF-32LE.
  iconv_t to_ucs = reinterpret_cast<iconv_t>(-1);
  iconv_t from_ucs = reinterpret_cast<iconv_t>(-1);

  Codec() = default;
  Codec(const Codec&) = delete;
  Codec& operator=(const Codec&) = delete;
  ~Codec() {
    if (to_ucs != reinterpret_cast<iconv_t>(-1)) iconv_close(to_ucs);
    if (from_ucs != reinterpret_cast<iconv_t>(-1)) iconv_close(from_ucs);
  }
};

struct XlatEntry {
  int from = 0;
  int to = 0;
  uint8_t table[256] = {};
};

struct CharsetState {
  int16_t current = 0;
  int16_t oem = 0;
  int16_t ready = 0;
  std::map<int32_t, std::unique_ptr<Codec>> codecs;  // by code page; null when unknown
  XlatEntry xlat[10];
  int xlat_used = 0;
  int xlat_next = 0;
  std::vector<uint32_t> work;  // the code-point work buffer
};
CharsetState g_cs;

std::string iconv_name(int32_t page) {
  if (page >= 28591 && page <= 28599) return "ISO-8859-" + std::to_string(page - 28590);
  switch (page) {
    case 10000: return "MACINTOSH";
    case 10007: return "MAC-CYRILLIC";
    case 10029: return "MAC-CENTRALEUROPE";
    case 10079: return "MAC-IS";
    case 20932: return "EUC-JP";
    default: return "CP" + std::to_string(page);
  }
}

bool iconv_multibyte(int32_t page) {
  return page == 932 || page == 936 || page == 949 || page == 950 || page == 20932;
}

// One byte through iconv: its code point, or kNoChar.
uint32_t iconv_one(iconv_t cd, uint8_t byte) {
  char in[1] = {static_cast<char>(byte)};
  char out[16];
  char* ip = in;
  char* op = out;
  size_t il = 1;
  size_t ol = sizeof out;
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  if (iconv(cd, &ip, &il, &op, &ol) == static_cast<size_t>(-1)) return kNoChar;
  // Pages with combining marks (1255, 1258) hold a base letter back until
  // they see what follows: flush it out.
  if (iconv(cd, nullptr, nullptr, &op, &ol) == static_cast<size_t>(-1)) return kNoChar;
  if (op - out != 4) return kNoChar;
  const auto* u = reinterpret_cast<const uint8_t*>(out);
  return static_cast<uint32_t>(u[0]) | (static_cast<uint32_t>(u[1]) << 8) |
         (static_cast<uint32_t>(u[2]) << 16) | (static_cast<uint32_t>(u[3]) << 24);
}

std::unique_ptr<Codec> make_codec(int32_t page) {
  auto c = std::make_unique<Codec>();
  c->page = page;
  bool generated = false;
  for (const ExtraPage& e : kExtraPages) {
    if (e.page != page) continue;
    bool pairs = false;
    for (int32_t i = 0; i < e.count; ++i) pairs |= e.pairs[i].code > 0xFF;
    generated = true;
    if (!pairs) {
      c->kind = Codec::kSingle;
      std::fill(std::begin(c->decode1), std::end(c->decode1), kNoChar);
      for (int32_t i = 0; i < e.count; ++i) c->decode1[e.pairs[i].code] = e.pairs[i].ucs;
    } else {
      c->kind = Codec::kPairs;
      for (int32_t i = 0; i < e.count; ++i) {
        const CodePair& p = e.pairs[i];
        c->decode2.emplace(p.code, p.ucs);
        c->encode2.emplace(p.ucs, p.code);
        if (p.code > 0xFF) c->lead[p.code >> 8] = true;
      }
      return c;
    }
    break;
  }
  if (!generated) {
    // Not a generated page: through iconv.
    const std::string name = iconv_name(page);
    iconv_t to = iconv_open("UTF-32LE", name.c_str());
    if (to == reinterpret_cast<iconv_t>(-1)) return nullptr;
    if (iconv_multibyte(page)) {
      iconv_t from = iconv_open(name.c_str(), "UTF-32LE");
      if (from == reinterpret_cast<iconv_t>(-1)) {
        iconv_close(to);
        return nullptr;
      }
      c->kind = Codec::kIconv;
      c->to_ucs = to;
      c->from_ucs = from;
      return c;
    }
    for (int b = 0; b < 256; ++b) c->decode1[b] = iconv_one(to, static_cast<uint8_t>(b));
    iconv_close(to);
    if (page == 1252) {
      // The five bytes 1252 leaves undefined decode to the C1 controls.
      for (int b : {0x81, 0x8D, 0x8F, 0x90, 0x9D}) c->decode1[b] = static_cast<uint32_t>(b);
    }
  }
  for (int b = 255; b >= 0; --b) {
    if (c->decode1[b] != kNoChar) c->encode1[c->decode1[b]] = static_cast<uint8_t>(b);
  }
  return c;
}

// The page a set converts with: code page 1 is the configured OEM page.
int32_t set_page(int set) {
  if (set < 0 || set >= kCharsetCount) return -1;
  int32_t page = g_charset_table[set].code_page;
  if (page == 1) page = cp_oem_page();
  return page;
}

Codec* codec_of(int32_t page) {
  if (page <= 0) return nullptr;
  auto it = g_cs.codecs.find(page);
  if (it == g_cs.codecs.end()) it = g_cs.codecs.emplace(page, make_codec(page)).first;
  return it->second.get();
}

void decode(Codec& c, const uint8_t* s, size_t n, std::vector<uint32_t>& out) {
  out.clear();
  switch (c.kind) {
    case Codec::kSingle:
      for (size_t i = 0; i < n; ++i) out.push_back(c.decode1[s[i]]);
      return;
    case Codec::kPairs:
      for (size_t i = 0; i < n; ++i) {
        if (c.lead[s[i]] && i + 1 < n) {
          auto it = c.decode2.find((static_cast<uint32_t>(s[i]) << 8) | s[i + 1]);
          if (it != c.decode2.end()) {
            out.push_back(it->second);
            ++i;
            continue;
          }
        }
        auto it = c.decode2.find(s[i]);
        out.push_back(it != c.decode2.end() ? it->second : kNoChar);
      }
      return;
    case Codec::kIconv: {
      iconv(c.to_ucs, nullptr, nullptr, nullptr, nullptr);
      std::vector<uint32_t> buf(n + 1);
      char* ip = const_cast<char*>(reinterpret_cast<const char*>(s));
      size_t il = n;
      while (il > 0) {
        char* op = reinterpret_cast<char*>(buf.data());
        size_t ol = buf.size() * 4;
        size_t r = iconv(c.to_ucs, &ip, &il, &op, &ol);
        size_t got = (op - reinterpret_cast<char*>(buf.data())) / 4;
        for (size_t k = 0; k < got; ++k) {
          const auto* u = reinterpret_cast<const uint8_t*>(&buf[k]);
          out.push_back(static_cast<uint32_t>(u[0]) | (static_cast<uint32_t>(u[1]) << 8) |
                        (static_cast<uint32_t>(u[2]) << 16) | (static_cast<uint32_t>(u[3]) << 24));
        }
        if (r == static_cast<size_t>(-1) && errno != E2BIG && il > 0) {
          // An undecodable or cut byte: one replacement, go on after it.
          out.push_back(kNoChar);
          ++ip;
          --il;
          iconv(c.to_ucs, nullptr, nullptr, nullptr, nullptr);
        }
      }
      return;
    }
  }
}

// Appends the bytes of one code point; false when the page lacks it.
bool encode_one(Codec& c, uint32_t cp, std::string& out) {
  if (cp == kNoChar) return false;
  switch (c.kind) {
    case Codec::kSingle: {
      auto it = c.encode1.find(cp);
      if (it == c.encode1.end()) return false;
      out.push_back(static_cast<char>(it->second));
      return true;
    }
    case Codec::kPairs: {
      auto it = c.encode2.find(cp);
      if (it == c.encode2.end()) return false;
      if (it->second > 0xFF) out.push_back(static_cast<char>(it->second >> 8));
      out.push_back(static_cast<char>(it->second & 0xFF));
      return true;
    }
    case Codec::kIconv: {
      uint8_t in[4] = {static_cast<uint8_t>(cp), static_cast<uint8_t>(cp >> 8),
                       static_cast<uint8_t>(cp >> 16), static_cast<uint8_t>(cp >> 24)};
      char buf[16];
      char* ip = reinterpret_cast<char*>(in);
      char* op = buf;
      size_t il = 4;
      size_t ol = sizeof buf;
      iconv(c.from_ucs, nullptr, nullptr, nullptr, nullptr);
      if (iconv(c.from_ucs, &ip, &il, &op, &ol) == static_cast<size_t>(-1)) return false;
      // Close any shift state so that the character stands alone.
      iconv(c.from_ucs, nullptr, nullptr, &op, &ol);
      if (op == buf) return false;
      out.append(buf, op);
      return true;
    }
  }
  return false;
}

// Encodes the code points; ends[i] is the output length after code point i.
void encode(Codec& c, const std::vector<uint32_t>& cps, char replacement, std::string& out,
            std::vector<size_t>* ends) {
  out.clear();
  if (ends) ends->clear();
  for (uint32_t cp : cps) {
    if (!encode_one(c, cp, out)) out.push_back(replacement);
    if (ends) ends->push_back(out.size());
  }
}

// Converts text between two pages in place, within its old length. Answers
// 1 when all of it fit, 0 when it was cut at a character boundary, -1 when a
// page is unknown.
int convert_pages(char* text, int32_t from_page, int32_t to_page, char replacement) {
  Codec* from = codec_of(from_page);
  Codec* to = codec_of(to_page);
  if (from == nullptr || to == nullptr) return -1;
  const size_t n = std::strlen(text);
  decode(*from, reinterpret_cast<const uint8_t*>(text), n, g_cs.work);
  std::string out;
  std::vector<size_t> ends;
  encode(*to, g_cs.work, replacement, out, &ends);
  if (out.size() <= n) {
    std::memcpy(text, out.data(), out.size());
    text[out.size()] = '\0';
    return 1;
  }
  size_t keep = 0;
  for (size_t e : ends) {
    if (e > n) break;
    keep = e;
  }
  std::memcpy(text, out.data(), keep);
  text[keep] = '\0';
  return 0;
}

bool valid_set(int n) { return n >= 0 && n < kCharsetCount; }

int16_t set_for_ansi_page(int32_t page) {
  switch (page) {
    case 874: return 54;
    case 932: return 19;
    case 936: return 18;
    case 949: return 20;
    case 950: return 17;
    case 1250: return 11;
    case 1251: return 13;
    case 1252: return 10;
    case 1253: return 14;
    case 1254: return 16;
    case 1255: return 15;
    case 1256: return 12;
    case 1257: return 55;
    case 1258: return 56;
    default: return 0;
  }
}

int16_t set_for_oem_page(int32_t page) {
  switch (page) {
    case 850: return 35;
    case 852: return 36;
    case 855: return 42;
    case 857: return 37;
    case 860: return 38;
    case 861: return 39;
    case 863: return 40;
    case 864: return 43;
    case 865: return 41;
    case 869: return 44;
    case 874: return 54;
    case 932: return 19;
    case 936: return 18;
    case 949: return 20;
    case 950: return 17;
    default: return 34;
  }
}

void publish_current() {
  g_kshared.charset_number = g_cs.current;
  g_kshared.charset_multibyte = g_charset_table[g_cs.current].multibyte;
}

bool ieq(const char* a, const char* b) {
  for (; *a && *b; ++a, ++b) {
    unsigned char x = static_cast<unsigned char>(*a);
    unsigned char y = static_cast<unsigned char>(*b);
    if (x >= 'a' && x <= 'z') x = static_cast<unsigned char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<unsigned char>(y - 32);
    if (x != y) return false;
  }
  return *a == *b;
}

char replacement_of(int set) {
  return valid_set(set) ? static_cast<char>(g_charset_table[set].replacement) : '_';
}

}  // namespace

int16_t charset_current() { return g_cs.current; }
int16_t charset_oem() { return g_cs.oem; }
int16_t charset_ready() { return g_cs.ready; }

void charset_set_current(int n) {
  if (!valid_set(n)) return;
  g_cs.current = static_cast<int16_t>(n);
  g_cs.ready = 1;
  publish_current();
}

int16_t charset_init_system() {
  g_cs.current = set_for_ansi_page(cp_ansi_page());
  g_cs.oem = set_for_oem_page(cp_oem_page());
  g_cs.ready = 1;
  g_cs.xlat_used = 0;
  g_cs.xlat_next = 0;
  publish_current();
  return normtab_init(g_cs.current);
}

const char* charset_name(int n) { return valid_set(n) ? g_charset_table[n].name : ""; }

int32_t charset_code_page(int n) { return valid_set(n) ? g_charset_table[n].code_page : -1; }

const char* charset_alias_name(int n) {
  switch (n) {
    case 21: return "MAC";
    case 34: return "XASCII";
    case 45: return "LICS";
    default: return "ANSI";
  }
}

int16_t charset_from_name(const char* name) {
  if (name == nullptr) return -1;
  if (ieq(name, "ANSI")) return g_cs.current;
  if (ieq(name, "MAC")) return 21;
  if (ieq(name, "XASCII")) return 34;
  if (ieq(name, "LICS")) return 45;
  for (int n = 0; n < kCharsetCount; ++n) {
    if (ieq(name, g_charset_table[n].name)) return static_cast<int16_t>(n);
  }
  return -1;
}

const char* charset_line_end(int n) { return valid_set(n) ? g_charset_table[n].line_end : "\r\n"; }

int16_t charset_convert(char* text, int from, int to) {
  if (text == nullptr || *text == '\0') return 0;
  if (from <= 0 || to <= 0 || from >= kCharsetCount || to >= kCharsetCount || from == to) return 0;
  if ((from == g_cs.current && to == g_cs.oem) || (from == g_cs.oem && to == g_cs.current)) {
    // The platform's ANSI/OEM pair: the configured pages, '?' for a
    // character the target lacks.
    int32_t ansi = cp_ansi_page();
    int32_t oem = cp_oem_page();
    int r = from == g_cs.current ? convert_pages(text, ansi, oem, '?')
                                 : convert_pages(text, oem, ansi, '?');
    return r == 1 ? 1 : 0;
  }
  if (from == kCharsetLmbcs) return 0;
  return charset_convert_win32(from, to, text);
}

int16_t charset_convert_win32(int from, int to, char* text) {
  if (text == nullptr) return 0;
  int32_t fp = set_page(from);
  int32_t tp = set_page(to);
  if (fp <= 0 || tp <= 0) return 0;
  return convert_pages(text, fp, tp, replacement_of(to)) == 1 ? 1 : 0;
}

int16_t charset_is_lead_byte(uint8_t b, int set) {
  auto in = [b](int lo, int hi) { return b >= lo && b <= hi; };
  switch (set) {
    case 17: return in(0xA1, 0xC6) || in(0xC9, 0xF9);
    case 18: return in(0x81, 0xFE);
    case 19:
      return in(0x81, 0x84) || in(0x87, 0x9F) || in(0xE0, 0xEA) || b == 0xED || b == 0xEE ||
             in(0xFA, 0xFC);
    case 20: return in(0x81, 0xC8) || in(0xCA, 0xFD);
    case 31:
    case 33: return in(0x90, 0xAF);
    case 32: return in(0x81, 0x9F) || in(0xE0, 0xFC);
    case 52: return in(0x81, 0x9F) || in(0xE0, 0xEF);
    default: return 0;
  }
}

void charset_to_ascii(char* text, int set, int replacement_set) {
  if (text == nullptr) return;
  const char r = replacement_of(replacement_set);
  char* out = text;
  for (const char* p = text; *p;) {
    const auto b = static_cast<uint8_t>(*p);
    if (b < 0x80) {
      *out++ = *p++;
      continue;
    }
    *out++ = r;
    p += (charset_is_lead_byte(b, set) && p[1] != '\0') ? 2 : 1;
  }
  *out = '\0';
}

void charset_strip_high(char* text, int /*ignored*/, int replacement_set) {
  if (text == nullptr) return;
  const char r = replacement_of(replacement_set);
  for (char* p = text; *p; ++p) {
    if (static_cast<uint8_t>(*p) >= 0x80) *p = r;
  }
}

const uint16_t* charset_code_table(int set) {
  if (set == kCharsetLmbcs1) return kCodeTable47;
  if (set == kCharsetLmbcs2) return kCodeTable48;
  return nullptr;
}

int16_t charset_build_xlat(int from, int to, uint8_t* out) {
  const uint16_t* src = charset_code_table(from);
  if (src == nullptr || !valid_set(to) || out == nullptr) return -1;
  const uint16_t* dst = charset_code_table(to);
  Codec* codec = nullptr;
  if (dst == nullptr) {
    codec = codec_of(set_page(to));
    if (codec == nullptr) return -1;
  }
  const char r = replacement_of(to);
  out[0] = static_cast<uint8_t>(r);
  std::string enc;
  for (int b = 1; b < 256; ++b) {
    const uint16_t code = src[b];
    uint8_t v = static_cast<uint8_t>(r);
    if (code != 0xF000 && code != 0xF001 && code != 0) {
      if (dst != nullptr) {
        for (int t = 1; t < 256; ++t) {
          if (dst[t] == code) {
            v = static_cast<uint8_t>(t);
            break;
          }
        }
      } else {
        enc.clear();
        if (encode_one(*codec, code, enc) && enc.size() == 1) v = static_cast<uint8_t>(enc[0]);
      }
    }
    out[b] = v;
  }
  return 1;
}

int16_t charset_xlat_get(int from, int to, uint8_t* out) {
  if (!g_cs.ready || out == nullptr) return -1;
  if (from < 1 || from > 56 || to < 1 || to > 56 || from == to) return -1;
  for (int i = 0; i < g_cs.xlat_used; ++i) {
    if (g_cs.xlat[i].from == from && g_cs.xlat[i].to == to) {
      std::memcpy(out, g_cs.xlat[i].table, 256);
      return 1;
    }
  }
  XlatEntry& e = g_cs.xlat[g_cs.xlat_next];
  if (charset_build_xlat(from, to, e.table) != 1) return -1;
  e.from = from;
  e.to = to;
  g_cs.xlat_next = (g_cs.xlat_next + 1) % 10;
  g_cs.xlat_used = std::min(g_cs.xlat_used + 1, 10);
  std::memcpy(out, e.table, 256);
  return 1;
}

int16_t charset_from_lmbcs(int group, char* text) {
  if (!g_cs.ready) return 1;
  if (text == nullptr) return 1;
  uint8_t t1[256];
  uint8_t t2[256];
  if (charset_xlat_get(kCharsetLmbcs1, g_cs.current, t1) != 1) return 0;
  if (charset_xlat_get(kCharsetLmbcs2, g_cs.current, t2) != 1) return 0;
  const char r = replacement_of(g_cs.current);
  auto* s = reinterpret_cast<uint8_t*>(text);
  size_t i = 0;
  size_t o = 0;
  while (s[i] != 0) {
    const uint8_t b = s[i];
    if (b == 0x01 || b == 0x02) {
      if (s[i + 1] == 0) break;  // a group byte with nothing after it
      s[o++] = (b == 0x01 ? t1 : t2)[s[i + 1]];
      i += 2;
    } else if (b >= 0x10 && b <= 0x17) {
      s[o++] = static_cast<uint8_t>(r);
      ++i;
      for (int k = 0; k < 2 && s[i] != 0; ++k) ++i;
    } else if (b >= 0x20 && b <= 0x7F) {
      s[o++] = b;
      ++i;
    } else if (b >= 0x80) {
      s[o++] = group == 1 ? t1[b] : group == 2 ? t2[b] : static_cast<uint8_t>(r);
      ++i;
    } else {
      s[o++] = static_cast<uint8_t>(r);
      ++i;
      if (s[i] != 0) ++i;
    }
  }
  s[o] = 0;
  return 1;
}

namespace {

// Copies text into a new kernel block, each line end (as the rule decides)
// replaced by the given text.
char* replace_line_ends(const char* text, const char* line_end, bool lf_is_line_end) {
  std::string out;
  bool changed = false;
  for (const char* p = text; *p; ++p) {
    if (*p == '\r') {
      if (p[1] == '\n') ++p;
      out += line_end;
      changed = true;
    } else if (*p == '\n' && lf_is_line_end) {
      out += line_end;
      changed = true;
    } else {
      out.push_back(*p);
    }
  }
  if (!changed) return nullptr;
  char* block = nullptr;
  if (!mem_alloc_zeroed(static_cast<int64_t>(out.size() + 1), &block)) return nullptr;
  std::memcpy(block, out.data(), out.size());
  return block;
}

}  // namespace

char* charset_newlines_native(const char* text) {
  if (text == nullptr) return nullptr;
  return replace_line_ends(text, charset_line_end(g_cs.current), true);
}

char* charset_newlines_lf(const char* text) {
  if (text == nullptr) return nullptr;
  return replace_line_ends(text, "\n", false);
}

namespace {

// Shift-JIS <-> JIS X 0208 row/cell arithmetic.
void sjis_to_jis(uint8_t& a, uint8_t& b) {
  const int adjust = b < 0x9F;
  const int row = a < 0xA0 ? 0x70 : 0xB0;
  const int cell = adjust ? (b > 0x7F ? 0x20 : 0x1F) : 0x7E;
  a = static_cast<uint8_t>(((a - row) << 1) - adjust);
  b = static_cast<uint8_t>(b - cell);
}

void jis_to_sjis(uint8_t& a, uint8_t& b) {
  const int odd = a & 1;
  const int row = a < 0x5F ? 0x70 : 0xB0;
  const int cell = odd ? (b > 0x5F ? 0x20 : 0x1F) : 0x7E;
  a = static_cast<uint8_t>(((a + 1) >> 1) + row);
  b = static_cast<uint8_t>(b + cell);
}

bool japanese_arithmetic() { return std::getenv("QD_MFAL_TRANSLATE") != nullptr; }

// Writes out into text when it fits its old length (cut at a character
// boundary otherwise); answers 1 when all of it fit.
int16_t store_cut(char* text, const std::string& out, const std::vector<size_t>& ends) {
  const size_t n = std::strlen(text);
  size_t keep = out.size();
  if (keep > n) {
    keep = 0;
    for (size_t e : ends) {
      if (e > n) break;
      keep = e;
    }
  }
  std::memcpy(text, out.data(), keep);
  text[keep] = '\0';
  return keep == out.size() ? 1 : 0;
}

}  // namespace

int16_t charset_sjis_to_euc(char* text, int target_set) {
  if (text == nullptr) return 0;
  if (!japanese_arithmetic()) {
    // Table form: through Unicode, with the geta mark for what EUC lacks.
    Codec* from = codec_of(932);
    Codec* to = codec_of(20932);
    if (from == nullptr || to == nullptr) return 0;
    decode(*from, reinterpret_cast<const uint8_t*>(text), std::strlen(text), g_cs.work);
    std::string out;
    std::vector<size_t> ends;
    for (uint32_t cp : g_cs.work) {
      if (!encode_one(*to, cp, out)) out += "\xA2\xAE";
      ends.push_back(out.size());
    }
    return store_cut(text, out, ends);
  }
  (void)target_set;
  std::string out;
  std::vector<size_t> ends;
  const auto* s = reinterpret_cast<const uint8_t*>(text);
  for (size_t i = 0; s[i] != 0; ++i) {
    const uint8_t a = s[i];
    const uint8_t b = s[i + 1];
    if (((a >= 0x81 && a <= 0x9F) || (a >= 0xE0 && a <= 0xEF)) && b >= 0x40 && b <= 0xFC &&
        b != 0x7F) {
      uint8_t x = a;
      uint8_t y = b;
      sjis_to_jis(x, y);
      out.push_back(static_cast<char>(x | 0x80));
      out.push_back(static_cast<char>(y | 0x80));
      ++i;
    } else if (a >= 0xA1 && a <= 0xDF) {
      out.push_back('\x8E');
      out.push_back(static_cast<char>(a));
    } else {
      out.push_back(static_cast<char>(a));
    }
    ends.push_back(out.size());
  }
  return store_cut(text, out, ends);
}

int16_t charset_euc_to_sjis(char* text, int target_set) {
  if (text == nullptr) return 0;
  if (!japanese_arithmetic()) {
    Codec* from = codec_of(20932);
    Codec* to = codec_of(932);
    if (from == nullptr || to == nullptr) return 0;
    decode(*from, reinterpret_cast<const uint8_t*>(text), std::strlen(text), g_cs.work);
    std::string out;
    std::vector<size_t> ends;
    for (uint32_t cp : g_cs.work) {
      if (!encode_one(*to, cp, out)) out += "\x81\xAC";
      ends.push_back(out.size());
    }
    return store_cut(text, out, ends);
  }
  const char r = replacement_of(target_set);
  std::string out;
  std::vector<size_t> ends;
  const auto* s = reinterpret_cast<const uint8_t*>(text);
  for (size_t i = 0; s[i] != 0; ++i) {
    const uint8_t a = s[i];
    if (a == 0x8E && s[i + 1] != 0) {
      out.push_back(static_cast<char>(s[i + 1]));
      ++i;
    } else if (a == 0x8F) {
      out.push_back(r);
      for (int k = 0; k < 2 && s[i + 1] != 0; ++k) ++i;
    } else if (a >= 0xA1 && a <= 0xFE && s[i + 1] > 0xA0 && s[i + 1] != 0xFF) {
      uint8_t x = static_cast<uint8_t>(a & 0x7F);
      uint8_t y = static_cast<uint8_t>(s[i + 1] & 0x7F);
      jis_to_sjis(x, y);
      out.push_back(static_cast<char>(x));
      out.push_back(static_cast<char>(y));
      ++i;
    } else {
      out.push_back(static_cast<char>(a));
    }
    ends.push_back(out.size());
  }
  return store_cut(text, out, ends);
}

int16_t charset_convert_japanese(char* text, int from, int to) {
  if ((from == 19 || from == 32) && to == 52) return charset_sjis_to_euc(text, to);
  if (from == 52 && (to == 19 || to == 32)) return charset_euc_to_sjis(text, to);
  return 0;
}

void charset_free_buffers() {
  std::vector<uint32_t>().swap(g_cs.work);
}

void charset_reset() {
  g_cs.current = 0;
  g_cs.oem = 0;
  g_cs.ready = 0;
  g_cs.codecs.clear();
  g_cs.xlat_used = 0;
  g_cs.xlat_next = 0;
  charset_free_buffers();
  publish_current();
}
