// The dBASE file engine: header checks at open, the buffer against a model
// of the rows under random appends, updates, deletes and inserts before
// existing records, reads and writes per buffer, and failures of writes
// and reads.
#include <gtest/gtest.h>
#include <unistd.h>

#include <random>

#include "kernel/tables/storage/dbdriver.h"
#include "kernel/tables/storage/dbfile.h"
#include "kernel/tables/storage/storage_fixture.h"

namespace {

class dbfile : public StorageTest {
 protected:
  int16_t open_result(const std::string& bytes, DbfFile** f = nullptr, const std::string& name = "h.DBF") {
    put(name, bytes);
    const int32_t h = file_register(path(name).c_str(), 18);
    DbfFile* file = nullptr;
    const int16_t r = dbfile_open(h, &file, 1);
    if (f != nullptr) {
      *f = file;
    } else {
      if (file != nullptr) dbfile_close(file);
      file_unregister(h);
    }
    return r;
  }
};

TEST_F(dbfile, OpenChecksTheHeaderAgainstItselfAndTheFile) {
  const std::string good = dbf_file({{"A", 'C', 3, 0}, {"B", 'N', 4, 1}}, {"abc 1.5", "def-2.0"});
  const size_t header = 32 * 2 + 33;
  auto with = [&](size_t at, std::string bytes) {
    std::string b = good;
    b.replace(at, bytes.size(), bytes);
    return b;
  };
  const struct {
    const char* what;
    std::string bytes;
    int16_t result;
  } kCases[] = {
      {"as written", good, DBF_OK},
      {"version 0x30", with(0, "\x30"), DBF_OK},
      {"version 0xF5", with(0, "\xF5"), DBF_OK},
      {"version 0x02", with(0, "\x02"), DBF_NOT_DBASE},
      {"shorter than 65 bytes", good.substr(0, 64), DBF_NOT_DBASE},
      {"header length inside the field records", with(8, std::string("\x60\x00", 2)), DBF_NOT_DBASE},
      {"header length beyond the file", with(8, std::string("\xFF\x7F", 2)), DBF_NOT_DBASE},
      {"record length one more than the widths", with(10, std::string("\x09\x00", 2)), DBF_NOT_DBASE},
      {"record length one less than the widths", with(10, std::string("\x07\x00", 2)), DBF_NOT_DBASE},
      {"cut inside the last record", good.substr(0, header + 8 + 4), DBF_NOT_DBASE},
      {"end mark missing", good.substr(0, good.size() - 1), DBF_OK},
      {"count beyond the records", with(4, std::string("\x03\x00\x00\x00", 4)), DBF_NOT_DBASE},
      {"count above 2^31", with(4, std::string("\x00\x00\x00\x80", 4)), DBF_NOT_DBASE},
  };
  for (const auto& c : kCases) EXPECT_EQ(open_result(c.bytes), c.result) << c.what;
}

TEST_F(dbfile, FieldRecordsEndAtTheMarkOrAfter255) {
  std::vector<DbfCol> cols(255, DbfCol{"F", 'C', 1, 0});
  DbfFile* f = nullptr;
  ASSERT_EQ(open_result(dbf_file(cols, {std::string(255, 'x')}), &f), DBF_OK);
  EXPECT_EQ(f->field_count, 255);
  dbfile_close(f);
  // Without the mark the 255 entries are read and the header still holds.
  std::string b = dbf_file(cols, {});
  b[32 + 32 * 255] = 'X';
  ASSERT_EQ(open_result(b, &f, "h2.DBF"), DBF_OK);
  EXPECT_EQ(f->field_count, 255);
  dbfile_close(f);
}

TEST_F(dbfile, LongRecordsGetABufferOfTheirOwn) {
  std::vector<DbfCol> cols(70, DbfCol{"F", 'C', 250, 0});
  const std::string r1(17500, 'a'), r2(17500, 'b');
  DbfFile* f = nullptr;
  ASSERT_EQ(open_result(dbf_file(cols, {r1, r2}), &f), DBF_OK);
  EXPECT_EQ(f->per_buffer, 1);
  std::vector<uint8_t> out(17500);
  uint8_t deleted = 1;
  ASSERT_EQ(dbfile_read(f, 2, out.data(), &deleted), DBF_OK);
  EXPECT_EQ(std::string(out.begin(), out.end()), r2);
  ASSERT_EQ(dbfile_read(f, 1, out.data(), &deleted), DBF_OK);
  EXPECT_EQ(std::string(out.begin(), out.end()), r1);
  EXPECT_EQ(deleted, 0);
  EXPECT_EQ(dbfile_read(f, 3, out.data(), &deleted), DBF_RANGE);
  EXPECT_EQ(dbfile_read(f, 0, out.data(), &deleted), DBF_RANGE);
  dbfile_close(f);
}

TEST_F(dbfile, ARecordGoneAfterOpenIsOutOfRange) {
  DbfFile* f = nullptr;
  ASSERT_EQ(open_result(dbf_file({{"A", 'C', 3, 0}}, {"abc", "def"}), &f), DBF_OK);
  ASSERT_EQ(truncate(path("h.DBF").c_str(), 32 * 2 + 1 + 4), 0);
  uint8_t out[3];
  uint8_t deleted = 0;
  EXPECT_EQ(dbfile_read(f, 2, out, &deleted), DBF_RANGE);
  dbfile_close(f);
}

TEST_F(dbfile, DeleteAndUndeleteMarkTheRecord) {
  DbfFile* f = nullptr;
  put("h.DBF", dbf_file({{"A", 'C', 3, 0}}, {"abc", "def"}));
  const int32_t h = file_register(path("h.DBF").c_str(), 18);
  ASSERT_EQ(dbfile_open(h, &f, 2), DBF_OK);
  EXPECT_EQ(dbfile_delete(f, 2), DBF_OK);
  EXPECT_EQ(dbfile_delete(f, 3), DBF_RANGE);
  uint8_t out[3];
  uint8_t deleted = 0;
  ASSERT_EQ(dbfile_read(f, 2, out, &deleted), DBF_OK);
  EXPECT_EQ(deleted, 1);
  ASSERT_EQ(dbfile_close(f), DBF_OK);
  EXPECT_EQ(read("h.DBF").substr(32 * 2 + 1), " abc*def\x1A");
  ASSERT_EQ(dbfile_open(h, &f, 2), DBF_OK);
  EXPECT_EQ(dbfile_undelete(f, 2), DBF_OK);
  ASSERT_EQ(dbfile_close(f), DBF_OK);
  EXPECT_EQ(read("h.DBF").substr(32 * 2 + 1), " abc def\x1A");
}

// ---- the buffer against a model ----------------------------------------------

struct Row {
  std::string s;
  int32_t i = 0;
  double d = 0;
  bool l = false;
  bool deleted = false;
};

class dbfile_model : public dbfile, public ::testing::WithParamInterface<int32_t> {
 protected:
  const std::vector<FieldSpec> kFields = {
      {"s", VALUE_CHAR, 6, 0}, {"i", VALUE_INTEGER, 0, 0}, {"d", VALUE_DECIMAL, 7, 2}, {"l", VALUE_LOGICAL, 0, 0}};
  std::mt19937 rng{20070305};
  int32_t pick(int32_t lo, int32_t hi) { return std::uniform_int_distribution<int32_t>(lo, hi)(rng); }
  Row random_row() {
    Row r;
    const int32_t len = pick(0, 6);
    for (int32_t k = 0; k < len; ++k) r.s += static_cast<char>('a' + pick(0, 25));
    r.i = pick(INT32_MIN, INT32_MAX);
    r.d = pick(-99999, 999999) / 100.0;
    r.l = pick(0, 1) != 0;
    return r;
  }
  void put_row(FieldDef* f, const Row& r) {
    set_text(&f[0], r.s.c_str());
    f[1].value.u.i = r.i;
    f[2].value.u.d = r.d;
    f[3].value.u.b = r.l;
  }
  void check(Table* t, const std::vector<Row>& rows, const std::string& file) {
    const std::string b = read(file);
    const size_t header = u16(b, 8), record = u16(b, 10);
    ASSERT_EQ(u32(b, 4), rows.size());
    ASSERT_EQ(b.size(), header + record * rows.size() + 1);
    EXPECT_EQ(b.back(), '\x1A');
    ASSERT_TRUE(tabtype_begin_access(nullptr, &t->storage, 1));
    EXPECT_EQ(t->storage.row_count, static_cast<int32_t>(rows.size()));
    for (size_t n = 1; n <= rows.size(); ++n) {
      const Row& r = rows[n - 1];
      const int16_t ok = tabtype_read_row(&t->storage, t->fields, static_cast<int32_t>(n));
      ASSERT_EQ(ok != 0, !r.deleted) << n;
      if (!ok) continue;
      ASSERT_EQ(text_of(t->fields[0]), r.s) << n;
      ASSERT_EQ(t->fields[1].value.u.i, r.i) << n;
      ASSERT_DOUBLE_EQ(t->fields[2].value.u.d, r.d) << n;
      ASSERT_EQ(t->fields[3].value.u.b != 0, r.l) << n;
    }
    ASSERT_TRUE(tabtype_end_access(&t->storage));
  }
};

TEST_P(dbfile_model, RandomChangesReadBackAsTheModelPredicts) {
  const int32_t type = GetParam();
  const std::string file = type == TABTYPE_DBF ? "m.DBF" : "m.DAT";
  Table t;
  ASSERT_TRUE(create(&t, "m", type, kFields)) << err_first_code();
  std::vector<Row> rows;
  std::vector<uint8_t> bytes(64);
  for (int round = 0; round < 8; ++round) {
    SCOPED_TRACE(round);
    ASSERT_TRUE(tabtype_begin_access(nullptr, &t.storage, 2));
    for (int op = 0; op < 300; ++op) {
      const int32_t what = pick(0, 9);
      const int32_t count = static_cast<int32_t>(rows.size());
      if (what < 4 || count == 0) {
        const Row r = random_row();
        put_row(t.fields, r);
        int32_t n = 0;
        ASSERT_TRUE(tabtype_insert_row(&t.storage, t.fields, &n));
        ASSERT_EQ(n, count + 1);
        rows.push_back(r);
      } else if (what < 6) {
        const int32_t n = pick(1, count);
        if (rows[n - 1].deleted) continue;
        Row r = random_row();
        put_row(t.fields, r);
        ASSERT_TRUE(tabtype_update_row(&t.storage, t.fields, n)) << n;
        rows[n - 1] = r;
      } else if (what < 7) {
        const int32_t n = pick(1, count);
        ASSERT_TRUE(tabtype_delete_row(&t.storage, n));
        rows[n - 1].deleted = true;
      } else {
        // A run of records inserted before an existing one: copies of a
        // record, live.
        DbfFile* f = dbdriver_file(&t.storage);
        ASSERT_NE(f, nullptr);
        const int32_t source = pick(1, count);
        uint8_t deleted = 0;
        ASSERT_EQ(dbfile_read(f, source, bytes.data(), &deleted), DBF_OK);
        Row copy = rows[source - 1];
        copy.deleted = false;
        const int32_t at = pick(1, count);
        const int32_t run = pick(1, 12);
        for (int32_t k = 0; k < run; ++k) {
          ASSERT_EQ(dbfile_append(f, at + k, bytes.data()), DBF_OK);
          rows.insert(rows.begin() + (at + k - 1), copy);
        }
      }
    }
    ASSERT_TRUE(tabtype_end_access(&t.storage));
    // Closed and opened again from the file alone.
    close(&t);
    ASSERT_TRUE(open(&t, file, type, kFields)) << err_first_code();
    check(&t, rows, file);
  }
  EXPECT_GT(rows.size() * 20, 3u * kDbfMoveChunk);  // the tail spans many chunks
  close(&t);
}

INSTANTIATE_TEST_SUITE_P(drivers, dbfile_model, ::testing::Values(TABTYPE_NATIVE, TABTYPE_DBF),
                         [](const auto& info) { return info.param == TABTYPE_DBF ? "dbase" : "native"; });

// ---- reads and writes per buffer --------------------------------------------

TEST_F(dbfile, OneFileReadOrWritePerBuffer) {
  for (int32_t type : {TABTYPE_NATIVE, TABTYPE_DBF}) {
    SCOPED_TRACE(type);
    Table t;
    // 59 + the deleted mark: 60-byte records, 8 to a 512-byte buffer.
    ASSERT_TRUE(create(&t, "io", type, {{"s", VALUE_CHAR, 59, 0}}));
    ASSERT_TRUE(tabtype_begin_access(nullptr, &t.storage, 2));
    set_text(&t.fields[0], "row");
    file_io_counters_reset();
    for (int32_t n = 1; n <= 80; ++n) {
      int32_t got = 0;
      ASSERT_TRUE(tabtype_insert_row(&t.storage, t.fields, &got));
    }
    EXPECT_EQ(file_io_counters().writes, 10);
    EXPECT_EQ(file_io_counters().reads, 0);
    ASSERT_TRUE(tabtype_end_access(&t.storage));
    EXPECT_EQ(file_io_counters().writes, 11);  // the header's count and date
    ASSERT_TRUE(tabtype_begin_access(nullptr, &t.storage, 1));
    file_io_counters_reset();
    for (int32_t n = 1; n <= 80; ++n) ASSERT_TRUE(tabtype_read_row(&t.storage, t.fields, n));
    EXPECT_EQ(file_io_counters().reads, 10);
    ASSERT_TRUE(tabtype_end_access(&t.storage));
    close(&t);
  }
}

TEST_F(dbfile, AFailedFlushFailsTheClose) {
  Table t;
  ASSERT_TRUE(create(&t, "w", TABTYPE_NATIVE, {{"i", VALUE_INTEGER, 0, 0}}));
  ASSERT_TRUE(tabtype_begin_access(nullptr, &t.storage, 2));
  int32_t n = 0;
  ASSERT_TRUE(tabtype_insert_row(&t.storage, t.fields, &n));
  DbfFile* f = dbdriver_file(&t.storage);
  ASSERT_NE(f, nullptr);
  // The engine: the buffered record's write fails, the close answers 4.
  NativeOptions* o = dbdriver_options(&t.storage);
  static_cast<DbDriverState*>(o->state)->file = nullptr;
  file_test_fail_write_nth(1);
  EXPECT_EQ(dbfile_close(f), DBF_WRITE);
  file_test_fail_write_nth(0);
  EXPECT_EQ(u32(read("w.DAT"), 4), 0u);
  // The dispatcher: end access fails and the access stays counted.
  t.storage.nesting = 0;
  ASSERT_TRUE(tabtype_begin_access(nullptr, &t.storage, 2));
  ASSERT_TRUE(tabtype_insert_row(&t.storage, t.fields, &n));
  file_test_fail_write_nth(1);
  EXPECT_FALSE(tabtype_end_access(&t.storage));
  EXPECT_EQ(t.storage.nesting, 1);
  EXPECT_EQ(dbdriver_file(&t.storage), nullptr);
  file_test_fail_write_nth(0);
  close(&t);
}

}  // namespace
