// Rows of Access tables on the in-memory engine: reading every carried
// type (nulls included), writing values, insert, update and delete with the
// row map, and the OLE Automation dates.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "kernel/drivers/access_fixture.h"
#include "kernel/drivers/oledate.h"
#include "kernel/drivers/rowmap.h"
#include "kernel/runtime/str.h"
#include "platform/clock.h"

namespace {

class drivers_access_rows : public AccessTest {
 protected:
  void TearDown() override {
    platform::SetClock({});
    AccessTest::TearDown();
  }
  // A table of every carried type keyed by "ID".
  void typed_table() {
    mem_dao_create(db_, "4.0", "");
    mem_dao_add_table(db_, "T",
                      {{"ID", dbLong, 4, dbAutoIncrField}, {"B", dbBoolean, 1, 0}, {"BY", dbByte, 1, 0},
                       {"SI", dbInteger, 2, 0}, {"L", dbLong, 4, 0}, {"CY", dbCurrency, 8, 0},
                       {"SG", dbSingle, 4, 0}, {"DB", dbDouble, 8, 0}, {"DT", dbDate, 8, 0}, {"TX", dbText, 6, 0}});
    mem_dao_add_index(db_, "T", "PK", {"ID"}, true, true);
  }
  static Variant v(VarType type, double x) {
    Variant r;
    VariantInit(&r);
    r.vt = type;
    switch (type) {
      case VT_BOOL: r.boolVal = static_cast<int16_t>(x); break;
      case VT_UI1: r.bVal = static_cast<uint8_t>(x); break;
      case VT_I2: r.iVal = static_cast<int16_t>(x); break;
      case VT_I4: r.lVal = static_cast<int32_t>(x); break;
      case VT_CY: r.cyVal = static_cast<int64_t>(x); break;
      case VT_R4: r.fltVal = static_cast<float>(x); break;
      case VT_R8: r.dblVal = x; break;
      case VT_DATE: r.date = x; break;
      default: break;
    }
    return r;
  }
  static std::string datetime(const Value& x) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", x.u.dt.date.year, x.u.dt.date.month,
                  x.u.dt.date.day, x.u.dt.time.hour, x.u.dt.time.minute, x.u.dt.time.second);
    return buf;
  }
  double stored_double(int32_t row, const char* column) {
    VariantHolder out;
    EXPECT_TRUE(mem_dao_value(db_, "T", row, column, out.out()));
    return out.v.vt == VT_DATE ? out.v.date : out.v.vt == VT_CY ? static_cast<double>(out.v.cyVal) : -999999;
  }
};

TEST_F(drivers_access_rows, OleDates) {
  struct Case {
    double date;
    const char* parts;  // year-month-day hour:minute:second
  } cases[] = {
      {0.0, "1899-12-30 00:00:00"},       {1.0, "1899-12-31 00:00:00"},
      {-1.5, "1899-12-29 12:00:00"},      {-0.25, "1899-12-30 06:00:00"},
      {2.75, "1900-01-01 18:00:00"},      {36526.5, "2000-01-01 12:00:00"},
      {39206.99999999, "2007-05-05 00:00:00"},  // rounds up to the next midnight
      {-2.99999999, "1899-12-29 00:00:00"},     // before 1899 too: the next calendar day
      {-657434.0, "0100-01-01 00:00:00"}, {2958465.0, "9999-12-31 00:00:00"},
  };
  for (const auto& c : cases) {
    OleDateParts p{};
    ASSERT_TRUE(ole_date_to_parts(c.date, &p)) << c.date;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", p.year, p.month, p.day, p.hour, p.minute, p.second);
    EXPECT_STREQ(buf, c.parts) << c.date;
  }
  OleDateParts p{};
  EXPECT_FALSE(ole_date_to_parts(-657435.0, &p));
  EXPECT_FALSE(ole_date_to_parts(2958465.5, &p));  // the range is of day numbers
  EXPECT_FALSE(ole_date_to_parts(std::nan(""), &p));
  ASSERT_TRUE(ole_date_to_parts(0.0, &p));
  EXPECT_EQ(p.weekday, 7);  // a Saturday
  EXPECT_EQ(p.day_of_year, 364);

  struct Back {
    int day, year, month, hour, minute, second;
    bool ok;
    double date;
  } backs[] = {
      {29, 1899, 12, 12, 0, 0, true, -1.5}, {4, 2007, 5, 0, 0, 0, true, 39206.0},
      {1, 99, 1, 0, 0, 0, true, 36161.0},   // year 99 is 1999
      {29, 2000, 2, 0, 0, 0, true, 36585.0}, {29, 1900, 2, 0, 0, 0, false, 0},
      {31, 2001, 4, 0, 0, 0, false, 0},      {1, 10000, 1, 0, 0, 0, false, 0},
      {1, 2001, 13, 0, 0, 0, false, 0},      {0, 2001, 1, 0, 0, 0, false, 0},
      {1, 2001, 1, 24, 0, 0, false, 0},      {1, 2001, 1, 0, 60, 0, false, 0},
      {1, 2001, 1, 0, 0, 60, false, 0},
  };
  for (const auto& b : backs) {
    double d = -1;
    EXPECT_EQ(ole_date_from_parts(b.day, b.year, b.month, b.hour, b.minute, b.second, &d) != 0, b.ok) << b.year;
    if (b.ok) {
      EXPECT_DOUBLE_EQ(d, b.date);
    }
  }
}

TEST_F(drivers_access_rows, ReadsEveryCarriedTypeAndNulls) {
  typed_table();
  VariantHolder name(var_bstr("abcdefgh  "));
  ASSERT_TRUE(mem_dao_add_row(db_, "T", {Variant{}, v(VT_BOOL, -1), v(VT_UI1, 200), v(VT_I2, -7), v(VT_I4, 70000),
                                         v(VT_CY, -12346), v(VT_R4, 1.5), v(VT_R8, -2.25), v(VT_DATE, -1.5),
                                         name.v}));
  ASSERT_TRUE(mem_dao_add_row(db_, "T", {Variant{}, var_null(), var_null(), var_null(), var_null(), var_null(),
                                         var_null(), var_null(), var_null(), var_null()}));
  VariantHolder padded(var_bstr("ab \t "));
  ASSERT_TRUE(mem_dao_add_row(db_, "T", {Variant{}, v(VT_BOOL, 0), v(VT_UI1, 0), v(VT_I2, 0), v(VT_I4, 0),
                                         v(VT_CY, 0), v(VT_R4, 0), v(VT_R8, 0), v(VT_DATE, 39206.5729166667),
                                         padded.v}));
  TableDef* t = describe_open("T");
  ASSERT_NE(t, nullptr);
  ASSERT_TRUE(tabtype_read_row(&t->storage, t->fields, 1));
  EXPECT_EQ(t->fields[0].value.u.i, 1);
  EXPECT_EQ(t->fields[1].value.u.b, 1);
  EXPECT_EQ(t->fields[2].value.u.s, 200);
  EXPECT_EQ(t->fields[3].value.u.s, -7);
  EXPECT_EQ(t->fields[4].value.u.i, 70000);
  EXPECT_DOUBLE_EQ(t->fields[5].value.u.d, -1.2346);
  EXPECT_DOUBLE_EQ(t->fields[6].value.u.d, 1.5);
  EXPECT_DOUBLE_EQ(t->fields[7].value.u.d, -2.25);
  EXPECT_EQ(datetime(t->fields[8].value), "1899-12-29 12:00:00");
  EXPECT_EQ(text(t, 9), "abcdef");  // cut to the width of 6
  ASSERT_TRUE(tabtype_read_row(&t->storage, t->fields, 2));
  EXPECT_EQ(t->fields[1].value.u.b, 0);
  EXPECT_EQ(t->fields[2].value.u.s, 0);
  EXPECT_EQ(t->fields[4].value.u.i, 0);
  EXPECT_EQ(t->fields[5].value.u.d, 0.0);
  EXPECT_EQ(t->fields[8].value.u.dt.date.month, 0);
  EXPECT_EQ(t->fields[8].value.u.dt.time.hour, -1);
  EXPECT_EQ(text(t, 9), "");
  ASSERT_TRUE(tabtype_read_row(&t->storage, t->fields, 3));
  EXPECT_EQ(datetime(t->fields[8].value), "2007-05-04 13:45:00");
  EXPECT_EQ(text(t, 9), "ab");  // trailing blanks and controls cut
  int16_t no_match = 0;
  mem_dao_delete_row(db_, "T", "ID", 2);
  EXPECT_FALSE(tabtype_read_row_ex(&t->storage, t->fields, 2, &no_match));
  EXPECT_EQ(no_match, 1);
  EXPECT_FALSE(tabtype_read_row_ex(&t->storage, t->fields, 4, &no_match));
  EXPECT_EQ(no_match, 0);
  EXPECT_EQ(err_count(), 0);
}

TEST_F(drivers_access_rows, WritesValues) {
  platform::SetClock([] {
    platform::LocalTime t;
    t.year = 2024;
    t.month = 2;
    t.day = 29;
    t.hour = 8;
    return t;
  });
  mem_dao_create(db_, "4.0", "");
  mem_dao_add_table(db_, "T", {{"ID", dbLong, 4, dbAutoIncrField}, {"CY", dbCurrency, 8, 0}, {"D1", dbDate, 8, 0},
                               {"D2", dbDate, 8, 0}, {"D3", dbDate, 8, 0}, {"TX", dbText, 10, 0},
                               {"SG", dbSingle, 4, 0}, {"B", dbBoolean, 1, 0}});
  mem_dao_add_index(db_, "T", "PK", {"ID"}, true, true);
  TableDef* t = definition("T");
  t->field_count = 8;
  t->fields = fieldlist_new(8);
  t->fields[0] = field("ID", VALUE_INTEGER, 11);
  t->fields[1] = field("CY", VALUE_DECIMAL, 20, 4);
  t->fields[2] = field("D1", VALUE_DATE);
  t->fields[3] = field("D2", VALUE_TIME);
  t->fields[4] = field("D3", VALUE_DATETIME);
  t->fields[5] = field("TX", VALUE_CHAR, 10);
  t->fields[6] = field("SG", VALUE_FLOAT, 19, 9);
  t->fields[7] = field("B", VALUE_LOGICAL, 1);
  put("T.aid", "");
  ASSERT_TRUE(open(t, 2));
  struct Case {
    double currency;
    Date d;
    Time time;
    DateTime dt;
    const char* text;
    double cy_stored;  // ten-thousandths
    double d1, d2;     // OLE dates stored, or -999999 for a null
    bool d3_null;
  } cases[] = {
      {1.23456, Date{2007, 5, 4}, Time{0, 10, 45, 13}, DateTime{Date{0, 0, 0}, Time{0, 0, 0, 1}}, "x", 12346, 39206.0,
       45351.0 + (13 * 3600 + 45 * 60 + 10) / 86400.0, true},
      {-1.23456, Date{99, 1, 1}, Time{0, 0, 0, -1}, DateTime{Date{2000, 1, 1}, Time{0, 0, 0, 12}}, "", -12346, 36161.0,
       -999999, false},
      {-1, Date{0, 0, 0}, Time{0, 0, 0, 0}, DateTime{Date{2000, 1, 1}, Time{0, 0, 0, -1}}, "y", -10000, -999999,
       45351.0, true},
  };
  int32_t row = 0;
  for (const auto& c : cases) {
    t->fields[1].value.u.d = c.currency;
    t->fields[2].value.u.date = c.d;
    t->fields[3].value.u.time = c.time;
    t->fields[4].value.u.dt = c.dt;
    str_copy_n(value_text_ptr(&t->fields[5].value, nullptr), c.text, 11);
    int32_t id = 0;
    ASSERT_TRUE(tabtype_insert_row(&t->storage, t->fields, &id));
    EXPECT_EQ(id, row + 1);
    EXPECT_DOUBLE_EQ(stored_double(row, "CY"), c.cy_stored);
    EXPECT_DOUBLE_EQ(stored_double(row, "D1"), c.d1);
    EXPECT_NEAR(stored_double(row, "D2"), c.d2, 1e-9);
    VariantHolder d3, tx;
    ASSERT_TRUE(mem_dao_value(db_, "T", row, "D3", d3.out()));
    EXPECT_EQ(d3.v.vt == VT_NULL, c.d3_null);
    ASSERT_TRUE(mem_dao_value(db_, "T", row, "TX", tx.out()));
    EXPECT_EQ(tx.v.vt, c.text[0] == '\0' ? VT_NULL : VT_BSTR);
    ++row;
  }
  EXPECT_EQ(rowmap_keys("T"), (std::vector<int32_t>{1, 2, 3}));
  // Out of Currency or float range: the field fails, and with it the row.
  for (int which : {1, 6}) {
    err_clear();
    t->fields[1].value.u.d = which == 1 ? 1e300 : 0;
    t->fields[6].value.u.d = which == 6 ? 1e300 : 0;
    int32_t id = 0;
    EXPECT_FALSE(tabtype_insert_row(&t->storage, t->fields, &id));
    EXPECT_EQ(codes(), std::vector<int>{kErrAccessRow});
    EXPECT_EQ(arg(0), "4");
    EXPECT_EQ(mem_dao_row_count(db_, "T"), 3);
  }
  t->fields[6].value.u.d = 0;
  // Update row 2: the new values go into its record.
  err_clear();
  t->fields[1].value.u.d = 5;
  ASSERT_TRUE(tabtype_update_row(&t->storage, t->fields, 2));
  EXPECT_DOUBLE_EQ(stored_double(1, "CY"), 50000);
  // A value the engine refuses: 1342 then 1351 with the row.
  str_copy_n(value_text_ptr(&t->fields[5].value, nullptr), "0123456789", 11);
  t->fields[5].width = 10;
  mem_dao_fail_call("Recordset.Update", 1, 3022, {"duplicate"});
  mem_dao_fail_call("Recordset.CancelUpdate", 1, 3001, {"cannot cancel"});
  EXPECT_FALSE(tabtype_update_row(&t->storage, t->fields, 2));
  EXPECT_EQ(codes(), (std::vector<int>{kErrAccessEngine, kErrAccessRow}));
  EXPECT_EQ(arg(1), "2");
  err_clear();
  EXPECT_FALSE(tabtype_update_row(&t->storage, t->fields, 9));
  EXPECT_EQ(codes(), std::vector<int>{kErrRowWrite});
}

TEST_F(drivers_access_rows, InsertRefusedAndDelete) {
  keyed_table("T", 5);
  TableDef* t = describe_open("T", 2);
  ASSERT_NE(t, nullptr);
  ASSERT_TRUE(tabtype_read_row(&t->storage, t->fields, 5));
  mem_dao_fail_call("Recordset.Update", 1, kDaoNoUnique, {"The value is already in the index."});
  int32_t id = 0;
  EXPECT_FALSE(tabtype_insert_row(&t->storage, t->fields, &id));
  EXPECT_EQ(id, 5);
  EXPECT_EQ(t->storage.row_count, 5);
  EXPECT_EQ(dao_state(&t->storage)->row_count, 5);
  EXPECT_EQ(codes(), (std::vector<int>{kErrAccessEngine, kErrAccessRow}));
  EXPECT_EQ(arg(0), "The value is already in the index.");
  EXPECT_EQ(arg(1), "6");
  tabtype_end_access(&t->storage);
  EXPECT_EQ(rowmap_keys("T"), (std::vector<int32_t>{1, 2, 3, 4, 5, 0}));
  EXPECT_EQ(mem_dao_row_count(db_, "T"), 5);
  err_clear();
  ASSERT_TRUE(tabtype_begin_access(t, &t->storage, 2));
  // Delete row 3 of 5: later rows keep their numbers; deleting again does
  // nothing and succeeds.
  ASSERT_TRUE(tabtype_delete_row(&t->storage, 3));
  ASSERT_TRUE(tabtype_delete_row(&t->storage, 3));
  EXPECT_EQ(t->storage.row_count, 5);
  EXPECT_FALSE(tabtype_read_row(&t->storage, t->fields, 3));
  ASSERT_TRUE(tabtype_read_row(&t->storage, t->fields, 4));
  EXPECT_EQ(text(t, 1), "r4");
  // An insert gives the next row number.
  ASSERT_TRUE(tabtype_insert_row(&t->storage, t->fields, &id));
  EXPECT_EQ(id, 6);
  tabtype_end_access(&t->storage);
  EXPECT_EQ(rowmap_keys("T"), (std::vector<int32_t>{1, 2, 0, 4, 5, 7}));
  EXPECT_EQ(err_count(), 0);
}

}  // namespace
