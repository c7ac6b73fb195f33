// Collation tables: the source parser, the list of six slots and the
// comparison and normalisation of texts through them.
//
// Source syntax: entries "0xHH;" or a single character and ';' take the
// current weight and advance it; entries inside "( ... )" share one weight,
// which advances after the entry whose ';' follows the ')'; "@0xHH;" sets the
// current weight. Blanks are ignored.
#include "kernel/runtime/collate.h"

#include <cstring>
#include <string>

#include "kernel/runtime/charset.h"
#include "kernel/runtime/err.h"
#include "kernel/runtime/kshared.h"
#include "kernel/runtime/kstr.h"
#include "kernel/runtime/mem.h"
#include "kernel/runtime/util.h"

namespace {

struct CollateState {
  CollationSlot slots[kCollateSlots] = {};
};
CollateState g_coll;

constexpr int32_t kStrCannotConvert = 988;
constexpr int32_t kStrResourceMissing = 973;

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The byte value of a token: "0x" and hex digits, or one character. -1 when
// it is neither (or too large).
int token_value(const std::string& token) {
  if (token.size() == 1) return static_cast<uint8_t>(token[0]);
  if (token.size() > 2 && token[0] == '0' && (token[1] == 'x' || token[1] == 'X')) {
    int v = 0;
    for (size_t i = 2; i < token.size(); ++i) {
      int h = hex_value(token[i]);
      if (h < 0) return -1;
      v = v * 16 + h;
      if (v > 0xFFFF) return -1;
    }
    return v;
  }
  return -1;
}

void report_bad_token(const std::string& token) {
  kernel_error_message(kernel_string(kStrCannotConvert), token.c_str());
}

int16_t key_of(const uint8_t* bytes, int32_t count) {
  return static_cast<int16_t>(util_crc16(bytes, count));
}

void free_slot(CollationSlot& s) {
  if (s.handle != nullptr) mem_free(&s.handle);
  s = CollationSlot{};
}

}  // namespace

int16_t normtab_set_entry(const char* token, uint8_t* table, int size, int weight, uint8_t* set) {
  const int v = token_value(token);
  if (v <= 0 || v >= size || weight < 1 || weight > 255) {
    report_bad_token(token);
    return -1;
  }
  if (set[v]) {
    kernel_error_message(
        "Normalization table error: value 0x%02lx set twice - once to 0x%02x, then to 0x%02x.",
        static_cast<long>(v), table[v], weight);
    kernel_error_message("xvt_terminate");
    return 0;
  }
  table[v] = static_cast<uint8_t>(weight);
  set[v] = 1;
  return 1;
}

int32_t normtab_parse(const char* text, uint8_t* table) {
  uint8_t set[256] = {};
  std::memset(table, 0, 256);
  int32_t errors = 0;
  int weight = 1;
  bool in_group = false;
  bool at = false;
  std::string token;
  auto finish = [&](bool advance) {
    if (token.empty()) {
      at = false;
      return;
    }
    if (at) {
      const int v = token_value(token);
      if (v < 0 || v > 256 || token.size() == 1) {
        report_bad_token(token);
        ++errors;
      } else {
        weight = v;
      }
      at = false;
    } else {
      const int16_t r = normtab_set_entry(token.c_str(), table, 256, weight, set);
      if (r != 1) ++errors;
      if (r != -1 && advance && weight < 255) ++weight;
    }
    token.clear();
  };
  for (const char* p = text; p != nullptr && *p; ++p) {
    const char c = *p;
    if (c == ' ') continue;
    if (c == ';') {
      finish(!in_group);
    } else if (c == '(') {
      in_group = true;
    } else if (c == ')') {
      in_group = false;
    } else if (c == '@' && token.empty()) {
      at = true;
    } else {
      token.push_back(c);
    }
  }
  finish(!in_group);
  for (int v = 1; v < 256; ++v) {
    if (!set[v]) {
      kernel_error_message("Normalization table error: value for 0x%02x never set.", v);
      kernel_error_message("xvt_terminate");
      ++errors;
    }
  }
  return errors;
}

uint8_t* normtab_load(int32_t base_id, void** handle) {
  if (handle) *handle = nullptr;
  if (!kernel_string_exists(base_id)) return nullptr;
  std::string source;
  for (int32_t id = base_id; kernel_string_exists(id); ++id) {
    const char* row = kernel_string(id);
    if (row[0] == ' ' || row[0] == '\0') break;
    source += row;
  }
  uint8_t work[256];
  normtab_parse(source.c_str(), work);
  uint8_t* table = nullptr;
  if (!mem_alloc_zeroed(256, &table)) return nullptr;
  std::memcpy(table, work, 256);
  if (handle) *handle = table;
  return table;
}

void normtab_free() {
  for (CollationSlot& s : g_coll.slots) free_slot(s);
}

int16_t normtab_init(int set) {
  normtab_free();
  CollationSlot& first = g_coll.slots[0];
  first.table = normtab_load(10000 + 100 * set, &first.handle);
  if (first.table == nullptr) first.table = normtab_load(10000, &first.handle);
  if (first.table == nullptr) {
    kernel_error_message("%s", kernel_string(kStrResourceMissing));
    return 0;
  }
  if (set == kCharsetWindowsLatin1) {
    const int32_t extra[] = {15000, 15200, 17000, 17100, 17200};
    for (int i = 0; i < 5; ++i) {
      CollationSlot& s = g_coll.slots[i + 1];
      s.table = normtab_load(extra[i], &s.handle);
    }
  }
  for (CollationSlot& s : g_coll.slots) {
    if (s.table == nullptr) continue;
    s.key = key_of(s.table, 256);
    s.key2 = key_of(s.table + 32, 95);
  }
  if (set == kCharsetWindowsLatin1) {
    // Index files built under the ISO8859_1 table stay readable.
    for (CollationSlot& s : g_coll.slots) {
      if (s.table != nullptr && static_cast<uint16_t>(s.key) == 0xAD7E) {
        s.key = static_cast<int16_t>(0x15E7);
        break;
      }
    }
  }
  return 1;
}

const uint8_t* collate_table_get(int slot) {
  if (slot < 0 || slot >= kCollateSlots) return nullptr;
  return g_coll.slots[slot].table;
}

int16_t collate_table_key(int slot) {
  if (slot < 0 || slot >= kCollateSlots || g_coll.slots[slot].table == nullptr) return 0;
  return g_coll.slots[slot].key;
}

int16_t collate_table_key2(int slot) {
  if (slot < 0 || slot >= kCollateSlots || g_coll.slots[slot].table == nullptr) return 0;
  return g_coll.slots[slot].key2;
}

int16_t collate_key_known(int16_t key) {
  for (const CollationSlot& s : g_coll.slots) {
    if (s.table != nullptr && s.key == key) return 1;
  }
  return 0;
}

void collate_apply_table(char* text, const uint8_t* table) {
  if (text == nullptr || table == nullptr) return;
  const bool multibyte = g_kshared.charset_multibyte != 0;
  const int set = charset_current();
  for (auto* p = reinterpret_cast<uint8_t*>(text); *p; ++p) {
    if (multibyte && charset_is_lead_byte(*p, set) && p[1] != 0) {
      ++p;
      continue;
    }
    *p = table[*p];
  }
}

void collate_normalise(char* text, int16_t key) {
  if (text == nullptr) return;
  if (key != 0 && charset_current() == kCharsetWindowsLatin1) {
    bool any = false;
    for (const CollationSlot& s : g_coll.slots) {
      if (s.table != nullptr && s.key == key) {
        collate_apply_table(text, s.table);
        any = true;
      }
    }
    if (any) return;
  }
  collate_apply_table(text, g_coll.slots[0].table);
}

int16_t collate_compare(const char* a, const char* b) {
  std::string x = a ? a : "";
  std::string y = b ? b : "";
  collate_apply_table(x.data(), g_coll.slots[0].table);
  collate_apply_table(y.data(), g_coll.slots[0].table);
  // Unsigned bytes up to and including the shorter text's terminator.
  const auto* u = reinterpret_cast<const uint8_t*>(x.c_str());
  const auto* v = reinterpret_cast<const uint8_t*>(y.c_str());
  for (;; ++u, ++v) {
    if (*u != *v) return *u < *v ? -1 : 1;
    if (*u == 0) return 0;
  }
}
