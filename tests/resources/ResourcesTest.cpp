// The resource library as the program loads it: every string the program
// uses, the version block, the dialog templates with every control id the
// dialogs address, and the main icon.
#include <gtest/gtest.h>
#include <png.h>

#include <set>

#include "app/ResourceLibrary.h"
#include "platform/resources.h"

namespace {

class ResourcesTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_TRUE(AppResources().Load(QL_QLRES_PATH)); }
};

TEST_F(ResourcesTest, EveryUsedStringHasText) {
  const int ids[] = {101, 102, 103, 104, 105, 106, 107, 113, 114, 115, 119, 123, 124, 129, 131, 136, 137, 138,
                     139, 141, 142, 143, 144, 145, 146, 147, 148, 151, 152, 153, 154, 155, 156, 157, 158, 159,
                     160, 161, 162, 163, 164, 165, 166, 167, 168, 169, 170, 171, 173, 175, 176, 177, 178, 179,
                     180, 181, 182, 185, 186, 189, 190, 191, 193, 194, 195, 196, 197, 198, 199, 200, 201, 203,
                     204, 205, 206, 207, 208, 211, 212, 213, 214, 215, 216, 217, 218, 219, 221, 224, 225, 226,
                     228, 300, 301, 302, 303, 304, 320, 321, 322};
  for (int id : ids) EXPECT_FALSE(platform::ResString(id).empty()) << "string " << id;
  for (int id : {0, -1, 100, 999, 1 << 30}) EXPECT_EQ(platform::ResString(id), "") << id;
  // String 145 is a format with one text argument.
  EXPECT_NE(platform::ResString(145).find("%s"), std::string::npos);
}

TEST_F(ResourcesTest, StringTableIsSortedAndUnique) {
  const QlResources* r = platform::ResourceTable();
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->format, QLRES_FORMAT);
  for (int i = 1; i < r->string_count; ++i) EXPECT_LT(r->strings[i - 1].id, r->strings[i].id);
}

TEST_F(ResourcesTest, VersionBlock) {
  for (const char* key : {kVersionProductVersion, kVersionProductName, kVersionLegalCopyright})
    EXPECT_FALSE(platform::ResVersion(key).empty()) << key;
  EXPECT_EQ(platform::ResVersion(kVersionProductName), "Corvane Quendalour");
  EXPECT_EQ(platform::ResVersion("\\StringFileInfo\\040904B0\\Nothing"), "");
}

TEST_F(ResourcesTest, TemplatesHoldEveryAddressedControl) {
  struct Case {
    int dialog;
    std::vector<int> controls;
  } cases[] = {
      {100, {1122, 1}},
      {103, {1003, 1004, 1005, 1008, 1010, 1011, 1013, 1014, 1015, 1029, 1047, 1060, 1092, 1094, 1095, 1096, 1097,
             1107, 2}},
      {145, {1048, 1050, 1052, 1, 2}},
      {202, {1064, 1091, 1082, 1084, 1085, 1083, 1087, 1086, 1099, 1119, 1120, 1121, 1088, 1069, 1070, 1098, 1, 2}},
      {210, {1100, 1105, 1, 2}},
      {222, {1118, 1111, 1, 2}},
  };
  for (const Case& c : cases) {
    const QlDialogTemplate* t = platform::ResDialog(c.dialog);
    ASSERT_NE(t, nullptr) << "template " << c.dialog;
    EXPECT_GT(t->w, 0);
    EXPECT_GT(t->h, 0);
    EXPECT_NE(std::string(t->caption), "");
    std::set<int> seen;
    for (int i = 0; i < t->control_count; ++i) {
      const QlControl& k = t->controls[i];
      if (k.id != -1) {
        EXPECT_TRUE(seen.insert(k.id).second) << "duplicate id " << k.id << " in " << c.dialog;
      }
      EXPECT_TRUE(k.x >= 0 && k.y >= 0 && k.x + k.w <= t->w && k.y + k.h <= t->h)
          << "control " << k.id << " outside template " << c.dialog;
    }
    for (int id : c.controls) EXPECT_TRUE(seen.count(id)) << "control " << id << " missing in " << c.dialog;
  }
  EXPECT_EQ(platform::ResDialog(999), nullptr);
}

TEST_F(ResourcesTest, ControlKindsFitTheirRoles) {
  auto kind = [](int dialog, int id) {
    const QlDialogTemplate* t = platform::ResDialog(dialog);
    for (int i = 0; i < t->control_count; ++i)
      if (t->controls[i].id == id) return t->controls[i].kind;
    return 0;
  };
  EXPECT_EQ(kind(103, 1003), QLC_LISTBOX);
  EXPECT_EQ(kind(103, 1011), QLC_PROGRESS);
  EXPECT_EQ(kind(103, 1096), QLC_COMBOBOX);
  EXPECT_EQ(kind(103, 1097), QLC_CHECKBOX);
  EXPECT_EQ(kind(145, 1050), QLC_PASSWORD);
  EXPECT_EQ(kind(202, 1088), QLC_RADIO);
  EXPECT_EQ(kind(210, 1100), QLC_CHECKLIST);
  EXPECT_EQ(kind(222, 1111), QLC_MULTILIST);
}

TEST_F(ResourcesTest, IconDecodesAsPng) {
  const QlIcon* icon = platform::ResIcon(131);
  ASSERT_NE(icon, nullptr);
  EXPECT_EQ(std::string(icon->format), "png");
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  ASSERT_TRUE(png_image_begin_read_from_memory(&image, icon->bytes, icon->size)) << image.message;
  image.format = PNG_FORMAT_RGBA;
  std::vector<unsigned char> pixels(PNG_IMAGE_SIZE(image));
  ASSERT_TRUE(png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) << image.message;
  EXPECT_EQ(image.width, 32u);
  EXPECT_EQ(image.height, 32u);
  // Opaque in the middle, transparent in the corner.
  EXPECT_EQ(pixels[(16 * 32 + 16) * 4 + 3], 255);
  EXPECT_EQ(pixels[3], 0);
  EXPECT_EQ(platform::ResIcon(132), nullptr);
}

}  // namespace
