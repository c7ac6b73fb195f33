// Shared set-up of the value tests: code pages 1252/850 with their
// character set, a fixed clock (2024-05-10 12:00:00), a fixed locale
// provider and the kernel state back at its start.
#pragma once
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "kernel/runtime/charset.h"
#include "kernel/runtime/collate.h"
#include "kernel/runtime/date.h"
#include "kernel/runtime/err.h"
#include "kernel/runtime/kshared.h"
#include "kernel/runtime/locale.h"
#include "kernel/runtime/value.h"
#include "platform/clock.h"
#include "platform/codepage.h"
#include "platform/locale_provider.h"

class ValuesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    cp_set_ansi_page(1252);
    cp_set_oem_page(850);
    kshared_reset();
    charset_reset();
    ASSERT_EQ(charset_init_system(), 1);
    err_clear();
    date_reset();
    SetClock(2024, 5, 10);
    provider_ = std::make_shared<FixedLocaleProvider>();
    locale_set_provider(provider_);
    locale_reset();
  }
  void TearDown() override {
    locale_reset();
    locale_set_provider(nullptr);
    platform::SetClock(nullptr);
    normtab_free();
    charset_reset();
    date_reset();
    err_clear();
  }
  static void SetClock(int y, int m, int d) {
    platform::SetClock([y, m, d] {
      platform::LocalTime t;
      t.year = y, t.month = m, t.day = d, t.hour = 12;
      return t;
    });
  }
  // Date order and separator as the locale's date settings.
  void LoadDates(int order, const char* sep) {
    provider_->items[locinfo::kDateOrder] = std::to_string(order);
    provider_->items[locinfo::kDateSep] = sep;
    ASSERT_EQ(locale_load_date_format(), 1);
  }
  std::shared_ptr<FixedLocaleProvider> provider_;
};
