// The file registry: handles, opening modes and their exclusion, failures
// and their errors, text lines, whole-file operations and change detection.
#include <fcntl.h>
#include <sys/stat.h>

#include <cstring>
#include <string>
#include <vector>

#include "io_fixture.h"

namespace {

using FileTest = RuntimeIo;

TEST_F(FileTest, HandlesAreReusedAndTheRegistryGrows) {
  const int32_t first = file_register("a.dat", 0);
  EXPECT_EQ(first, 1000);
  EXPECT_EQ(file_unregister(first), 1);
  EXPECT_EQ(file_register("a.dat", 0), 1000);
  for (int i = 1; i < 100; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "f%d", i);
    file_register(name, 0);
  }
  EXPECT_EQ(file_register("f100", 0), 1100);
  // The same path and extension again: 432; without the check a second handle.
  err_clear();
  EXPECT_EQ(file_register("A.DAT", 0), 0);
  EXPECT_TRUE(err_has_code(432));
  EXPECT_EQ(file_register_nocheck("a.dat", 0), 1101);
  EXPECT_EQ(file_find("a.dat", 0), 1000);
  // Invalid handles: 367.
  for (int32_t bad : {0, 999, 1102, 5000, -1}) {
    err_clear();
    EXPECT_EQ(file_unregister(bad), -1) << bad;
    EXPECT_TRUE(err_has_code(367)) << bad;
  }
  EXPECT_EQ(file_get_size(5), -1);
  EXPECT_EQ(file_seek(5, 0, 0), -1);
  EXPECT_EQ(file_get_pos(5), -1);
  EXPECT_EQ(file_open(999, 1, 0, nullptr), -1);
}

TEST_F(FileTest, ModeMatrixOfOneHandle) {
  // first open (mode, text), second open (mode, text), second succeeds,
  // error of a refusal, mode afterwards.
  const struct {
    int m1;
    int16_t t1;
    int m2;
    int16_t t2;
    bool ok;
    int16_t error;
    int mode_after;
  } cases[] = {
      {3, 0, 1, 0, true, 0, 3},    {3, 0, 2, 0, true, 0, 3},   {3, 0, 3, 0, true, 0, 3},
      {2, 0, 1, 0, true, 0, 2},    {2, 0, 2, 0, true, 0, 2},   {2, 0, 3, 0, false, 964, 2},
      {1, 0, 1, 0, true, 0, 1},    {1, 0, 2, 0, true, 0, 2},   {1, 0, 3, 0, false, 964, 1},
      {1, 0, 1, 1, false, 964, 1}, {2, 1, 2, 0, false, 964, 2}, {1, 1, 2, 1, true, 0, 2},
  };
  for (const auto& c : cases) {
    put("m.dat", "data");
    const int32_t h = file_register("m.dat", 0);
    ASSERT_GE(file_open(h, c.m1, c.t1, nullptr), 0);
    err_clear();
    const int32_t r = file_open(h, c.m2, c.t2, nullptr);
    EXPECT_EQ(r >= 0, c.ok) << c.m1 << c.t1 << "->" << c.m2 << c.t2;
    if (!c.ok) {
      EXPECT_TRUE(err_has_code(c.error));
    }
    EXPECT_EQ(file_get_mode(h), c.mode_after) << c.m1 << "->" << c.m2;
    const uint32_t uses = file_entry(h)->flags & kFileUseMask;
    EXPECT_EQ(uses, c.ok ? 2u : 1u);
    file_unregister(h);
  }
}

TEST_F(FileTest, OpenFailures) {
  // A read-only file refuses modes 2 and 3, as root too.
  put("ro.dat", "keep");
  ASSERT_EQ(chmod(path("ro.dat").c_str(), 0444), 0);
  const int32_t ro = file_register("ro.dat", 0);
  err_clear();
  EXPECT_EQ(file_open(ro, 2, 0, nullptr), -1);
  EXPECT_TRUE(err_has_code(825));
  err_clear();
  EXPECT_EQ(file_open(ro, 3, 0, nullptr), -1);
  EXPECT_EQ(err_count(), 0);  // mode 3: -1 and nothing pushed
  EXPECT_EQ(get("ro.dat"), "keep");
  EXPECT_GE(file_open(ro, 1, 0, nullptr), 0);
  // A missing file: 370.
  const int32_t missing = file_register("missing.dat", 0);
  err_clear();
  EXPECT_EQ(file_open(missing, 1, 0, nullptr), -1);
  EXPECT_TRUE(err_has_code(370));
  const int32_t nodir = file_register("nodir/x.dat", 0);
  err_clear();
  EXPECT_EQ(file_open(nodir, 3, 0, nullptr), -1);
  EXPECT_TRUE(err_has_code(370));
  // Mode 3 empties a writable file.
  put("w.dat", "old bytes");
  const int32_t w = file_register("w.dat", 0);
  ASSERT_GE(file_open(w, 3, 0, nullptr), 0);
  EXPECT_EQ(file_get_size(w), 0);
  file_release(w);
  EXPECT_EQ(get("w.dat"), "");
}

TEST_F(FileTest, ModeMatrixOfTwoHandles) {
  // Handle a holds the file in mode m1; handle b of the same file asks for
  // mode m2. A refused create (mode 3) answers -1 with nothing pushed and
  // leaves the bytes as they were.
  const struct {
    int m1;
    int m2;
    bool ok;
    int16_t error;  // 0: the error stack stays empty
  } cases[] = {
      {1, 1, true, 0},    {1, 2, false, 825}, {1, 3, false, 0},
      {2, 1, false, 825}, {2, 2, false, 825}, {2, 3, false, 0},
      {3, 1, false, 825}, {3, 2, false, 825}, {3, 3, false, 0},
  };
  for (const auto& c : cases) {
    put("s.dat", "shared");
    const int32_t a = file_register("s.dat", 0);
    const int32_t b = file_register_nocheck("s.dat", 0);
    ASSERT_GE(file_open(a, c.m1, 0, nullptr), 0);
    const std::string held = get("s.dat");
    err_clear();
    const int32_t r = file_open(b, c.m2, 0, nullptr);
    EXPECT_EQ(r >= 0, c.ok) << c.m1 << "/" << c.m2;
    if (c.error != 0) {
      EXPECT_TRUE(err_has_code(c.error)) << c.m1 << "/" << c.m2;
    } else {
      EXPECT_EQ(err_count(), 0) << c.m1 << "/" << c.m2;
    }
    EXPECT_EQ(get("s.dat"), held) << c.m1 << "/" << c.m2;
    file_unregister(b);
    file_unregister(a);
  }
}

TEST_F(FileTest, LockAndWriteProbes) {
  put("s.dat", "shared");
  const int32_t a = file_register("s.dat", 0);
  // While a second handle holds the file in mode 2 it is locked.
  ASSERT_GE(file_open(a, 2, 0, nullptr), 0);
  err_clear();
  EXPECT_EQ(file_is_locked(path("s.dat").c_str()), 1);
  EXPECT_EQ(err_count(), 0);
  EXPECT_EQ(file_can_write(path("s.dat").c_str(), 1), 0);
  file_release(a);
  ASSERT_GE(file_open(a, 1, 0, nullptr), 0);
  EXPECT_EQ(file_is_locked(path("s.dat").c_str()), 1);
  file_release(a);
  EXPECT_EQ(file_is_locked(path("s.dat").c_str()), 0);
  EXPECT_EQ(file_can_write(path("s.dat").c_str(), 1), 1);
  EXPECT_EQ(file_can_write(path("s.dat").c_str(), 0), 0);
  EXPECT_EQ(file_can_write(path("new.dat").c_str(), 0), 1);
  EXPECT_TRUE(exists("new.dat"));
  EXPECT_EQ(get("s.dat"), "shared");
}

TEST_F(FileTest, ReleaseAndCounters) {
  put("r.dat", "x");
  const int32_t h = file_register("r.dat", 0);
  err_clear();
  EXPECT_EQ(file_release(h), -1);
  EXPECT_TRUE(err_has_code(366));
  const int32_t slots = file_free_slots();
  ASSERT_GE(file_open(h, 1, 0, nullptr), 0);
  ASSERT_GE(file_open(h, 1, 0, nullptr), 0);
  EXPECT_EQ(file_free_slots(), slots - 1);
  EXPECT_EQ(file_release(h), 0);
  EXPECT_NE(file_entry(h)->descriptor, -1);
  EXPECT_EQ(file_release(h), 0);
  EXPECT_EQ(file_entry(h)->descriptor, -1);
  EXPECT_EQ(file_free_slots(), slots);
  EXPECT_EQ(file_mode_from_oflag(O_CREAT | O_RDWR), 3);
  EXPECT_EQ(file_mode_from_oflag(O_WRONLY), 2);
  EXPECT_EQ(file_mode_from_oflag(O_RDONLY), 1);
}

TEST_F(FileTest, TheKernelHoldsAtMost255FilesOpen) {
  std::vector<int32_t> handles;
  for (int i = 0; i < 256; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "n%d", i);
    put(name, "x");
    handles.push_back(file_register(name, 0));
  }
  for (int i = 0; i < 255; ++i) ASSERT_GE(file_open(handles[i], 1, 0, nullptr), 0) << i;
  EXPECT_EQ(file_free_slots(), 0);
  err_clear();
  EXPECT_EQ(file_open(handles[255], 1, 0, nullptr), -1);
  EXPECT_TRUE(err_has_code(368));
  file_release(handles[0]);
  EXPECT_GE(file_open(handles[255], 1, 0, nullptr), 0);
}

TEST_F(FileTest, ReadLinesOfEveryLineEnd) {
  put("l.txt", "a\r\nb\rc");
  const int32_t h = file_register("l.txt", 4);
  ASSERT_NE(file_open_text(h, 1, nullptr), 0);
  char buf[16];
  const char* expect[] = {"a\n", "b\n", "c"};
  for (const char* e : expect) {
    ASSERT_NE(file_read_line(buf, sizeof buf, h), nullptr) << e;
    EXPECT_STREQ(buf, e);
  }
  EXPECT_EQ(file_read_line(buf, sizeof buf, h), nullptr);
  file_release_text(h);
  // Long lines come in pieces; a lone 0x1A ends the file; set conversion.
  put("p.txt", std::string(50, 'x') + "\n\xE9\n\x1A");
  const int32_t p = file_register("p.txt", 4);
  file_set_charset(p, 35);
  ASSERT_NE(file_open_text(p, 1, nullptr), 0);
  char small[21];
  ASSERT_NE(file_read_line(small, sizeof small, p), nullptr);
  EXPECT_EQ(std::string(small), std::string(20, 'x'));
  ASSERT_NE(file_read_line(small, sizeof small, p), nullptr);
  ASSERT_NE(file_read_line(small, sizeof small, p), nullptr);
  EXPECT_EQ(std::string(small), std::string(10, 'x') + "\n");
  ASSERT_NE(file_read_line(small, sizeof small, p), nullptr);
  EXPECT_STREQ(small, "\xDA\n");  // 850's 0xE9 is U+00DA
  EXPECT_EQ(file_read_line(small, sizeof small, p), nullptr);
  EXPECT_EQ(file_read_line(small, sizeof small, 12), nullptr);
  file_release_text(p);
  // A mark met alone by a later read of the same line ends that line: the
  // 40 bytes before it are kept, without the mark, and the next call is null.
  put("m.txt", std::string(40, 'y') + "\x1A");
  const int32_t m = file_register("m.txt", 4);
  ASSERT_NE(file_open_text(m, 1, nullptr), 0);
  char wide[64];
  ASSERT_NE(file_read_line(wide, sizeof wide, m), nullptr);
  EXPECT_EQ(std::string(wide), std::string(40, 'y'));
  EXPECT_EQ(file_read_line(wide, sizeof wide, m), nullptr);
  file_release_text(m);
}

// Whence 0 sets, 1 adds to the position, 2 adds to the size; places beyond
// the size are allowed; a place before the start answers -1 and leaves the
// position where it was, and the next read reads from there.
TEST_F(FileTest, SeekBeforeTheStartIsRefusedAndKeepsThePosition) {
  put("s.dat", "0123456789");
  const int32_t h = file_register("s.dat", 0);
  ASSERT_GE(file_open(h, 1, 0, nullptr), 0);
  const struct {
    int32_t offset;
    int whence;
    int32_t answer, position;
  } steps[] = {
      {4, 0, 4, 4},    {2, 1, 6, 6},   {-3, 2, 7, 7},  {5, 2, 15, 15}, {3, 0, 3, 3},  {-1, 0, -1, 3},
      {-4, 1, -1, 3},  {-11, 2, -1, 3}, {-3, 1, 0, 0}, {-10, 2, 0, 0}, {6, 9, 0, 0},
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(std::to_string(s.offset) + " from " + std::to_string(s.whence));
    EXPECT_EQ(file_seek(h, s.offset, s.whence), s.answer);
    EXPECT_EQ(file_get_pos(h), s.position);
  }
  file_seek(h, 8, 0);
  EXPECT_EQ(file_seek(h, -9, 1), -1);
  char two[2] = {0, 0};
  EXPECT_EQ(file_read(h, two, 2), 2);
  EXPECT_EQ(std::string(two, 2), "89");
  file_release(h);
}

TEST_F(FileTest, WriteLinesInTheFilesSet) {
  const struct {
    int set;
    std::string bytes;
  } cases[] = {{10, "a\r\nb\r\n"}, {1, "a\nb\n"}, {21, "a\rb\r"}};
  for (const auto& c : cases) {
    const int32_t h = file_register("o.txt", 4);
    file_set_charset(h, c.set);
    ASSERT_NE(file_open_text(h, 3, nullptr), 0);
    char text[] = "a\nb\n";
    EXPECT_EQ(file_puts(text, h), 0);
    EXPECT_STREQ(text, "a\nb\n");
    file_release_text(h);
    file_unregister(h);
    EXPECT_EQ(get("o.txt"), c.bytes) << c.set;
  }
  // Conversion of a copy; printf is not cut.
  const int32_t h = file_register("q.txt", 4);
  file_set_charset(h, 35);
  ASSERT_NE(file_open_text(h, 3, nullptr), 0);
  char text[] = "caf\xE9\n";
  EXPECT_EQ(file_puts(text, h), 0);
  EXPECT_STREQ(text, "caf\xE9\n");
  const std::string line(600, 'z');
  EXPECT_EQ(file_printf(h, "%s|%d\n", line.c_str(), 7), 603);
  EXPECT_EQ(file_putc('\n', h), '\n');
  file_release_text(h);
  std::string want = "caf\x82\r\n";
  want += line;
  want += "|7\r\n\r\n";
  EXPECT_EQ(get("q.txt"), want);
}

TEST_F(FileTest, DeleteSetIsAllOrNothing) {
  put("d1", "1");
  put("d2", "2");
  put("d3", "3");
  const int32_t hs[] = {file_register("d1", 0), file_register("d2", 0), file_register("d3", 0)};
  file_test_fail_rename_nth(3);
  EXPECT_EQ(file_delete_set(hs, 3), 0);
  EXPECT_EQ(get("d1"), "1");
  EXPECT_EQ(get("d2"), "2");
  EXPECT_EQ(get("d3"), "3");
  EXPECT_FALSE(exists("~MAP0001.TMP"));
  EXPECT_FALSE(exists("~MAP0003.TMP"));
  file_test_fail_rename_nth(0);
  EXPECT_EQ(file_delete_set(hs, 3), 1);
  EXPECT_FALSE(exists("d1"));
  EXPECT_FALSE(exists("d2"));
  EXPECT_FALSE(exists("d3"));
  EXPECT_EQ(file_delete_set(hs, 0), 1);
}

TEST_F(FileTest, RenameCopyAndDelete) {
  put("src.dat", "payload");
  put("taken.dat", "t");
  int32_t h = file_register("src.dat", 0);
  err_clear();
  EXPECT_EQ(file_rename(&h, "taken.dat", 0), 0);
  EXPECT_TRUE(err_has_code(859));
  EXPECT_EQ(file_rename(&h, "moved.dat", 0), 1);
  EXPECT_NE(h, 0);
  EXPECT_EQ(get("moved.dat"), "payload");
  EXPECT_FALSE(exists("src.dat"));
  // A target that differs only in case names a file present on disk.
  err_clear();
  EXPECT_EQ(file_rename(&h, "MOVED.DAT", 0), 0);
  EXPECT_TRUE(err_has_code(859));
  EXPECT_EQ(get("moved.dat"), "payload");
  const int32_t copy = file_register("copy.dat", 0);
  EXPECT_EQ(file_copy(h, copy, 0), 1);
  EXPECT_EQ(file_copy(h, copy, 1), 1);
  EXPECT_EQ(get("copy.dat"), "payloadpayload");
  EXPECT_EQ(file_delete(copy), 1);
  EXPECT_FALSE(exists("copy.dat"));
  EXPECT_EQ(file_delete(copy), 0);
}

TEST_F(FileTest, ChangedFilesAreDetectedAtOpen) {
  block_cache_init();
  put("c.dat", "AAAA");
  const int32_t h = file_register("c.dat", 0);
  int16_t changed = 0;
  ASSERT_GE(file_open(h, 1, 0, &changed), 0);
  EXPECT_EQ(changed, 0);
  char buf[8] = {};
  EXPECT_EQ(file_read(h, buf, 4), 4);
  file_release(h);
  // Same size, other bytes, then a new time stamp.
  put("c.dat", "BBBB");
  const struct timespec times[2] = {{1000, 0}, {1000, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, path("c.dat").c_str(), times, 0), 0);
  ASSERT_GE(file_open(h, 1, 0, &changed), 0);
  EXPECT_EQ(changed & 1, 1);
  EXPECT_EQ(file_read(h, buf, 4), 4);
  EXPECT_STREQ(buf, "BBBB");
  file_release(h);
  // Unchanged: no flag; file_touch changes the time without writing.
  changed = 0;
  ASSERT_GE(file_open(h, 1, 0, &changed), 0);
  EXPECT_EQ(changed, 0);
  file_release(h);
  EXPECT_EQ(file_touch(h), 1);
  EXPECT_EQ(get("c.dat"), "BBBB");
  ASSERT_GE(file_open(h, 1, 0, &changed), 0);
  EXPECT_EQ(changed & 1, 1);
  file_release(h);
}

TEST_F(FileTest, WorkingDirectoryAndRelativePaths) {
  ASSERT_EQ(mkdir(path("w").c_str(), 0777), 0);
  const int32_t h = file_register("w/t.tab", 1);
  char rel[kPathSize];
  file_get_relative_path(h, rel, 0);  // the kernel's current directory is empty
  EXPECT_EQ(std::string(rel), dir_ + "/w/t.tab");
  char save[kFileDirSaveSize];
  EXPECT_EQ(file_enter_dir(h, save), 1);
  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  EXPECT_EQ(std::string(cwd), dir_ + "/w");
  EXPECT_EQ(file_leave_dir(save), 1);
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  EXPECT_EQ(std::string(cwd), dir_);
  const int32_t base = file_register("w/base.tab", 1);
  file_get_relative_path(h, rel, base);
  EXPECT_STREQ(rel, "t.tab");
  const int32_t parent = file_register("base.tab", 1);
  file_get_relative_path(h, rel, parent);
  EXPECT_STREQ(rel, "w/t.tab");
}

}  // namespace
