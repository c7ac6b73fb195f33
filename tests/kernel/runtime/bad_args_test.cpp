// Null texts, empty and negative sizes across the foundation's routines:
// each call answers its documented "nothing" result and touches no memory
// it was not given.
#include <climits>
#include <cmath>
#include <cstring>
#include <functional>
#include <string>

#include "kernel/runtime/fmt.h"
#include "kernel/runtime/list.h"
#include "kernel/runtime/locale.h"
#include "kernel/runtime/num.h"
#include "kernel/runtime/osfind.h"
#include "kernel/runtime/progress.h"
#include "kernel/runtime/str.h"
#include "kernel/runtime/util.h"
#include "platform/locale_provider.h"
#include "runtime_reset.h"

namespace {

class BadArgs : public RuntimeTest {};

struct Call {
  const char* what;
  std::function<bool()> answers_nothing;
};

TEST_F(BadArgs, TextRoutines) {
  char buf[8] = "keep";
  g_kshared.charset_multibyte = 1;  // the double-byte paths as well
  cp_set_ansi_page(932);
  const Call calls[] = {
      {"str_copy_n null source", [&] { return std::strcmp(str_copy_n(buf, nullptr, 4), "") == 0; }},
      {"str_copy_n negative n", [&] { return str_copy_n(buf, "x", -4) == buf; }},
      {"str_trim_left_blanks null", [] { return str_trim_left_blanks(nullptr) == 0; }},
      {"str_replace_chars null set", [&] { return str_replace_chars(buf, nullptr, '_') == buf; }},
      {"str_blank_unprintable null", [] { return str_blank_unprintable(nullptr) == nullptr; }},
      {"str_quote_text negative size", [&] { return str_quote_text(buf, "x", nullptr, -1) == buf; }},
      {"str_quote_text null output", [] { return str_quote_text(nullptr, "x", nullptr, 8) == nullptr; }},
      {"str_unquote zero size", [&] { return str_unquote(buf, "\"x\"", nullptr, 0) == buf; }},
      {"str_to_hex null", [] { uint32_t v = 9; return str_to_hex(nullptr, &v) == nullptr && v == 0; }},
      {"str_to_uint64 null output", [] { return str_to_uint64("12", nullptr) != nullptr; }},
      {"mb_char_next null", [] { return mb_char_next(nullptr) == nullptr; }},
      {"mb_char_prev null", [] { return mb_char_prev(nullptr, nullptr) == nullptr; }},
      {"mb_last_char null", [] { return mb_last_char(nullptr) == nullptr; }},
      {"mb_strrchr null", [] { return mb_strrchr(nullptr, 'a') == nullptr; }},
      {"mb_strpbrk null set", [] { return mb_strpbrk("abc", nullptr) == nullptr; }},
      {"mb_strcspn null", [] { return mb_strcspn(nullptr, "a") == 0; }},
      {"mb_strspn null set", [] { return mb_strspn("abc", nullptr) == 0; }},
      {"mb_strstr null part", [] { return mb_strstr("abc", nullptr) == nullptr; }},
      {"mb_strrev null", [] { return mb_strrev(nullptr) == nullptr; }},
      {"mb_strtok nothing pending", [] { return mb_strtok(nullptr, ",") == nullptr; }},
      {"mb_strrpbrk null set", [] { return mb_strrpbrk("a", nullptr) == -1; }},
      {"mb_strchr_sb negative", [] { return mb_strchr_sb("a", -5) == nullptr; }},
      {"mb_str_upper null", [] { return mb_str_upper(nullptr) == nullptr; }},
      {"mb_char_upper out of range", [] { return mb_char_upper(-1) == -1 && mb_char_upper(0x1234) == 0x1234; }},
      {"mb_is_alpha out of range", [] { return mb_is_alpha(-1) == 0 && mb_is_print(300) == 0; }},
      {"mb_strn_compare_nocase negative n", [] { return mb_strn_compare_nocase("a", "b", -1) == 0; }},
      {"mb_strn_equal null", [] { return mb_strn_equal(nullptr, "a", 3) == 0; }},
      {"str_equal_prefix_nocase negative n", [] { return str_equal_prefix_nocase("a", "a", -1) == 0; }},
  };
  for (const Call& c : calls) EXPECT_TRUE(c.answers_nothing()) << c.what;
}

TEST_F(BadArgs, NumbersFormatsAndLocale) {
  char buf[8] = "keep";
  const Call calls[] = {
      {"fmt_format negative size", [&] { return fmt_format(buf, -3, "%d", 5) == 0 && buf[0] == 'k'; }},
      {"fmt_format huge width", [&] { return fmt_format(buf, sizeof buf, "%*d", INT_MIN, 5) == 1; }},
      {"fmt_format huge precision", [&] { return fmt_format(buf, sizeof buf, "%.*f", INT_MAX, 1.0) == 7; }},
      {"num_div_round minimum by -1", [] { return num_div_round(INT32_MIN, -1) == INT32_MAX; }},
      {"num_muldiv_int minimum by -1", [] { return num_muldiv_int(INT32_MIN, 1, -1) == INT32_MAX; }},
      {"num_round_short_sat of NaN", [] { return num_round_short_sat(std::nan("")) == INT16_MIN; }},
      {"util_crc16 negative count", [] { return util_crc16("abc", -1) == 0; }},
      {"util_bsearch null base", [] { int16_t f = 5; return util_bsearch(&f, nullptr, 3, 4, nullptr, &f) == nullptr && f == 0; }},
      {"number_localise null", [] { return number_localise(nullptr, 10) == nullptr; }},
      {"number_delocalise null", [] { return number_delocalise(nullptr) == nullptr; }},
      {"number_group_digits zero size", [&] { std::strcpy(buf, "12345"); return std::strcmp(number_group_digits(buf, 0, ',', 3), "12345") == 0; }},
      {"locale_time_picture null buffer", [] { return locale_time_picture(0, nullptr, 10) == nullptr; }},
      {"locale_get_info zero size", [&] { return locale_get_info(0, locinfo::kDecimal, buf, 0) == 0; }},
      {"locale_iso_name null", [] { return locale_iso_name(nullptr, 10) == 0; }},
      {"err_join null output", [] { return err_join(1, nullptr, 10) == 0; }},
      {"err_join zero size", [&] { return err_join(1, buf, 0) == 0; }},
      {"kernel_string negative id", [] { return std::strcmp(kernel_string(-7), "") == 0; }},
  };
  for (const Call& c : calls) EXPECT_TRUE(c.answers_nothing()) << c.what;
}

TEST_F(BadArgs, ListsProgressAndSearch) {
  char name[8] = "keep";
  const Call calls[] = {
      {"list_is_empty null", [] { return list_is_empty(nullptr) == 1; }},
      {"list_add null node", [] { KernelList l{}; list_add(&l, nullptr, 1); return l.head == nullptr; }},
      {"list_pop null list", [] { void* n = &n; return list_pop(nullptr, &n, 0) == 0 && n == nullptr; }},
      {"list_remove_nth negative", [] { KernelList l{}; void* n = nullptr; return list_remove_nth(&l, &n, -1) == 0; }},
      {"list_count null", [] { return list_count(nullptr) == 0 && list_index_of(nullptr, nullptr) == -1; }},
      {"list_append_list null other", [] { KernelList l{}; list_append_list(&l, nullptr, 1); return l.head == nullptr; }},
      {"namelist_add null variable", [] { return namelist_add(nullptr, "a", nullptr, 0, 0) == 0; }},
      {"namelist_add negative data size", [] { char* l = nullptr; return namelist_add(&l, "a", nullptr, -4, 0) == 0 && l == nullptr; }},
      {"namelist_get null list", [&] { namelist_get(nullptr, 1, name, sizeof name, nullptr, 0); return name[0] == '\0'; }},
      {"namelist_get_nth negative size", [] { return namelist_get_nth(nullptr, 0, nullptr, -1, nullptr, -1) == 0; }},
      {"progress_add null", [] { progress_add(nullptr, 1.0, 1); return progress_get_aborted(nullptr) == 0; }},
      {"progress_start null", [] { return progress_start(nullptr, nullptr) == 0; }},
      {"os_find_first empty pattern", [] { FindRecord r{}; return os_find_first("", 0x80, &r) == 0; }},
      {"os_find_first null record", [] { return os_find_first("*.*", 0x80, nullptr) == 0; }},
      {"os_find_next null", [] { return os_find_next(nullptr) == 0; }},
  };
  for (const Call& c : calls) EXPECT_TRUE(c.answers_nothing()) << c.what;
}

}  // namespace
