// Parsing of headless dialog scripts: good lines and the faults reported.
#include <gtest/gtest.h>

#include "platform/ui/headless.h"

namespace {

using ui::headless::Op;
using ui::headless::ParseScript;
using ui::headless::Step;

TEST(UiScript, ParsesEveryCommand) {
  std::vector<Step> steps;
  std::string error;
  ASSERT_TRUE(ParseScript("# comment\n\nclick 1005\r\nset 1004  two\\nlines\nset 1004\nleave 1004\n"
                          "select 1003 0 2\nselect 1003\ncheck 1100 3 1\nclose\nsys 16\nhelp\n"
                          "box yes\nfiles /a b.tab|/c.tab\nfiles\nfolder /x y\nfolder\n",
                          &steps, &error))
      << error;
  ASSERT_EQ(steps.size(), 15u);
  EXPECT_EQ(steps[0].op, Op::Click);
  EXPECT_EQ(steps[0].id, 1005);
  EXPECT_EQ(steps[0].line, 3);
  EXPECT_EQ(steps[1].text, " two\nlines");  // one blank separates, the rest is text
  EXPECT_EQ(steps[2].text, "");
  EXPECT_EQ(steps[4].numbers, (std::vector<int>{0, 2}));
  EXPECT_TRUE(steps[5].numbers.empty());
  EXPECT_EQ(steps[6].numbers, (std::vector<int>{3, 1}));
  EXPECT_EQ(steps[8].id, 16);
  EXPECT_EQ(steps[10].numbers, (std::vector<int>{ui::IDYES}));
  EXPECT_EQ(steps[11].paths, (std::vector<std::string>{"/a b.tab", "/c.tab"}));
  EXPECT_TRUE(steps[12].paths.empty());
  EXPECT_EQ(steps[13].paths, (std::vector<std::string>{"/x y"}));
  EXPECT_TRUE(steps[14].paths.empty());
}

TEST(UiScript, BadLinesAreReportedWithTheirNumber) {
  const struct {
    const char* text;
    const char* fragment;
  } cases[] = {
      {"jump 3", "line 1: unknown command 'jump'"},
      {"click", "click needs one control id"},
      {"click 12x", "click needs one control id"},
      {"click 1 2", "click needs one control id"},
      {"click 99999999999", "click needs one control id"},
      {"\nselect 5 a", "line 2: bad item index 'a'"},
      {"select 5 -1", "bad item index"},
      {"check 5 1", "check needs"},
      {"check 5 1 2", "check needs"},
      {"box maybe", "unknown box answer 'maybe'"},
      {"box", "box needs one answer"},
      {"files a||b", "empty path"},
      {"close now", "close takes nothing"},
      {"set", "set needs a control id"},
  };
  for (const auto& c : cases) {
    std::vector<Step> steps{Step{}};
    std::string error;
    EXPECT_FALSE(ParseScript(c.text, &steps, &error)) << c.text;
    EXPECT_NE(error.find(c.fragment), std::string::npos) << c.text << " -> " << error;
    EXPECT_TRUE(steps.empty());
  }
}

}  // namespace
