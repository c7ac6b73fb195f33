// Paths: normalising (Linux and Windows forms), extensions, registration
// names, temporary names and the search directories.
#include <cstring>
#include <string>

#include "io_fixture.h"

namespace {

using PathTest = RuntimeIo;

std::string win(const char* in, char drive = 'C', const char* dir = "C:\\work") {
  char buf[kPathSize] = {};
  std::strcpy(buf, in);
  if (path_normalise_windows(buf, drive, dir) == nullptr) return "<null>";
  return buf;
}

std::string lin(const std::string& in) {
  char buf[kPathSize] = {};
  std::memcpy(buf, in.data(), std::min<size_t>(in.size(), kPathSize - 1));
  if (path_normalise(buf) == nullptr) return "<null>";
  return buf;
}

TEST_F(PathTest, WindowsNormaliser) {
  const struct {
    const char* in;
    const char* out;
  } cases[] = {{"c:/data/./x/../t.tab", "c:\\data\\t.tab"},
               {"C:\\", "C:"},
               {"t.tab", "C:\\work\\t.tab"},
               {"\\\\server\\share\\x", "\\\\server\\share\\x"},
               {"\\data\\..\\..\\t.tab", "C:\\t.tab"},
               {"c:/a/..b/.c", "c:\\a\\..b\\.c"},
               {"../t.tab", "C:\\t.tab"}};
  for (const auto& c : cases) EXPECT_EQ(win(c.in), c.out) << c.in;
}

TEST_F(PathTest, LinuxNormaliser) {
  const struct {
    std::string in;
    std::string out;
  } cases[] = {{"/data/./x/../t.tab", "/data/t.tab"},
               {"\\data\\x\\", "/data/x"},
               {"/../..", "/"},
               {"/", "/"},
               {"t.tab", dir_ + "/t.tab"},
               {"a:b.tab", dir_ + "/a:b.tab"},
               {"./sub/../c.tab", dir_ + "/c.tab"},
               {std::string(250, 'x'), "<null>"},  // too long under the directory
               {"/" + std::string(258, 'x'), "/" + std::string(258, 'x')}};
  for (const auto& c : cases) EXPECT_EQ(lin(c.in), c.out) << c.in;
}

TEST_F(PathTest, Extensions) {
  const struct {
    const char* in;
    const char* ext;
    const char* out;
  } cases[] = {{"roads.tab", ".MAP", "roads.MAP"},
               {"roads.old", ".MAP", "roads.old.MAP"},
               {"roads", ".MAP", "roads.MAP"},
               {"/d.x/roads", ".MAP", "/d.x/roads.MAP"},
               {"roads .tab", ".MAP", "roads.MAP"},
               {"  roads.TAB", ".ID", "roads.ID"}};
  for (const auto& c : cases) {
    char buf[kPathSize] = {};
    std::strcpy(buf, c.in);
    EXPECT_EQ(path_set_extension(buf, c.ext), 1) << c.in;
    EXPECT_STREQ(buf, c.out) << c.in;
  }
  char tab[kPathSize];
  path_tab_name(tab, "roads.tab");
  EXPECT_STREQ(tab, "roads.");
  path_tab_name(tab, "roads.dbf");
  EXPECT_STREQ(tab, "roads.TAB");
  char out[kPathSize];
  EXPECT_EQ(path_with_extension(out, "x.tab", 0), nullptr);
  EXPECT_STREQ(path_extension(30), ".TAB");
  EXPECT_STREQ(path_extension(36), "");
  EXPECT_STREQ(path_extension(89), ".tif");
  EXPECT_EQ(path_extension_forced(5), 1);
  EXPECT_EQ(path_extension_forced(18), 0);
  char name[64];
  path_to_table_name("/d/1st road-map.tab", name);
  EXPECT_STREQ(name, "_1st_road_map");
  // An extension that does not fit the name is refused, not cut.
  char longname[kPathSize] = {};
  std::memset(longname, 'n', 253);
  EXPECT_EQ(path_set_extension(longname, ".MAP"), 0);
  EXPECT_EQ(std::strlen(longname), 253u);
}

TEST_F(PathTest, RegisteredNamesAndForcedExtensions) {
  const int32_t map = file_register("roads.tab", 5);
  const int32_t dbf = file_register("roads.tab", 18);
  char name[kPathSize];
  file_get_name(map, name);
  EXPECT_STREQ(name, "roads.MAP");
  file_get_name(dbf, name);
  EXPECT_STREQ(name, "roads.tab");
  char dir[kPathSize];
  file_get_dir(map, dir);
  EXPECT_EQ(std::string(dir), dir_ + "/");
  // a:b.tab is one name: ':' separates nothing.
  const int32_t colon = file_register("a:b.tab", 1);
  file_get_name(colon, name);
  EXPECT_STREQ(name, "a:b.tab");
  // A 300-character path is refused with 370.
  err_clear();
  EXPECT_EQ(file_register(("/" + std::string(299, 'p')).c_str(), 0), 0);
  EXPECT_TRUE(err_has_code(370));
  err_clear();
  EXPECT_EQ(file_register((std::string(256, 'q') + ".tab").c_str(), 0), 0);
  EXPECT_TRUE(err_has_code(370));
}

TEST_F(PathTest, MissingNamesAreFoundInAnyCase) {
  put("roads.map", "M");
  EXPECT_EQ(path_exists("roads.tab", 5), 1);  // forced ".MAP" finds roads.map
  EXPECT_EQ(path_exists("roads.tab", 7), 0);
  const int32_t h = file_register("roads.tab", 5);
  ASSERT_GE(file_open(h, 1, 0, nullptr), 0);
  char c = 0;
  EXPECT_EQ(file_read(h, &c, 1), 1);
  EXPECT_EQ(c, 'M');
  file_release(h);
  // A create reuses the existing case variant.
  ASSERT_GE(file_open(h, 3, 0, nullptr), 0);
  EXPECT_EQ(file_write(h, "N", 1), 1);
  file_release(h);
  EXPECT_EQ(get("roads.map"), "N");
  EXPECT_FALSE(exists("roads.MAP"));
}

TEST_F(PathTest, TemporaryNames) {
  char name[kPathSize];
  path_set_temp_counter(0, 9998);
  ASSERT_EQ(file_temp_name(name, nullptr), 1);
  EXPECT_EQ(std::string(name), dir_ + "/~MAP9999.TMP");
  ASSERT_EQ(file_temp_name(name, nullptr), 1);
  EXPECT_EQ(std::string(name), dir_ + "/~MAP0000.TMP");
  EXPECT_TRUE(exists("~MAP0000.TMP"));
  EXPECT_EQ(get("~MAP0000.TMP"), "");
  // Taken names are skipped.
  put("~MAP0001.TMP", "x");
  ASSERT_EQ(file_temp_name(name, nullptr), 1);
  EXPECT_EQ(std::string(name), dir_ + "/~MAP0002.TMP");
  // In the directory of a given file path.
  ASSERT_EQ(mkdir(path("sub").c_str(), 0777), 0);
  ASSERT_EQ(file_temp_name(name, path("sub/t.tab").c_str()), 1);
  EXPECT_EQ(std::string(name), dir_ + "/sub/~MAP0003.TMP");
  ASSERT_EQ(file_temp_name_ext(name, path("sub").c_str(), ".DAT"), 1);
  EXPECT_EQ(std::string(name), dir_ + "/sub/~MAP0001.DAT");
}

TEST_F(PathTest, TemporaryNamesGiveUpWhenAllAreTaken) {
  ASSERT_EQ(mkdir(path("full").c_str(), 0777), 0);
  for (int i = 0; i < 10000; ++i) {
    char n[64];
    std::snprintf(n, sizeof n, "full/~MAP%04d.TMP", i);
    put(n, "");
  }
  char name[kPathSize] = "junk";
  err_clear();
  EXPECT_EQ(file_temp_name(name, path("full/").c_str()), -1);
  EXPECT_STREQ(name, "");
  EXPECT_TRUE(err_has_code(369));
}

TEST_F(PathTest, SearchDirectories) {
  ASSERT_EQ(mkdir(path("a").c_str(), 0777), 0);
  ASSERT_EQ(mkdir(path("b").c_str(), 0777), 0);
  put("b/VEVIRORU.PRJ", "p");
  put("local.txt", "l");
  path_set_search_slot(0, path_dir_add(path("a").c_str()));
  path_set_search_slot(3, path_dir_add(path("b").c_str()));
  char name[kPathSize] = "VEVIRORU.PRJ";
  EXPECT_EQ(path_search_dirs(name, 34), 1);
  EXPECT_EQ(std::string(name), dir_ + "/b/VEVIRORU.PRJ");
  char local[kPathSize] = "local.txt";  // the third slot: the current directory
  EXPECT_EQ(path_search_dirs(local, 0), 1);
  EXPECT_EQ(std::string(local), dir_ + "/local.txt");
  char none[kPathSize] = "none.txt";
  EXPECT_EQ(path_search_dirs(none, 0), 0);
  path_init_program_dir();
  EXPECT_NE(path_search_slot(kSearchSlotProgram), 0);
}

TEST_F(PathTest, DirectoryPool) {
  const int32_t a = path_dir_add("/Data/Maps");
  EXPECT_EQ(path_dir_add("/data/maps/"), a);  // without regard to case
  EXPECT_STREQ(path_dir_text(a), "/Data/Maps/");
  EXPECT_EQ(path_dir_add(""), 0);
  EXPECT_STREQ(path_dir_text(0), "");
  EXPECT_STREQ(path_dir_text(99999), "");
  EXPECT_NE(path_dir_add("/other"), a);
}

}  // namespace
