// The keyword table and its searches.
#include "kernel/tables/lang/keywords.h"

#include <cstring>

const KeywordEntry g_keyword_table[kKeywordRows] = {
#include "kernel/tables/lang/keyword_table.inc"
};

int16_t keyword_find_row(const char* key) {
  int lo = 0;
  int hi = kKeywordWords - 1;
  while (lo <= hi) {
    const int mid = (lo + hi) / 2;
    // strcmp compares as unsigned characters.
    const int c = std::strcmp(key, g_keyword_table[mid].text);
    if (c == 0) return static_cast<int16_t>(mid);
    if (c < 0) {
      hi = mid - 1;
    } else {
      lo = mid + 1;
    }
  }
  return -1;
}

const char* keyword_text(int16_t id) {
  for (const KeywordEntry& e : g_keyword_table) {
    if (e.id == id) return e.text;
  }
  return "";
}

int16_t keyword_flag(int16_t id) {
  for (const KeywordEntry& e : g_keyword_table) {
    if (e.id == id) return e.starts_statement;
  }
  return 0;
}
