// tabdump --rewrite: definitions it leaves as they are, definitions it
// rewrites in the writer's form, and definitions it refuses with the
// kernel's codes on stderr, exit code 1 and the file unchanged.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>

#include "kernel/tables/defs/defs_fixture.h"

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif
#else
constexpr bool kAddressSanitizer = false;
#endif

struct DumpResult {
  int exit_code;
  std::string err;
};

}  // namespace

class defs_tabdump : public DefsTest {
 protected:
  // With a limit, tabdump runs with its address space held to that many
  // KiB (not under the address sanitiser, whose shadow needs far more).
  DumpResult rewrite(const std::string& name, long limit_kib = 0) {
    const std::string err_file = path("stderr.txt");
    std::string cmd = std::string("'") + TABDUMP_PATH + "' --rewrite '" + path(name) + "' 2>'" + err_file + "'";
    if (limit_kib > 0 && !kAddressSanitizer) cmd = "ulimit -v " + std::to_string(limit_kib) + "; " + cmd;
    const int status = std::system(cmd.c_str());
    DumpResult r{WIFEXITED(status) ? WEXITSTATUS(status) : -1, read("stderr.txt")};
    std::remove(err_file.c_str());
    return r;
  }
};

namespace {

const std::vector<std::string> kHead = {"!table", "!version 300", "!charset WindowsLatin1", "", "Definition Table"};

std::vector<std::string> with_head(std::vector<std::string> body) {
  std::vector<std::string> out = kHead;
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

}  // namespace

TEST_F(defs_tabdump, LeavesWrittenFormsAlone) {
  const std::vector<std::string> kFiles[] = {
      with_head({"  Type NATIVE Charset \"WindowsLatin1\"", "  Fields 2", "    ID Integer ;", "    Name Char (30) ;"}),
      with_head({"  Type DBF Charset \"WindowsLatin1\"", "  Fields 1", "    ID Decimal (10, 0) ;"}),
      with_head({"  File \"Sub/a\"\"B.DAT\"", "  Type NATIVE Charset \"WindowsLatin1\"", "  Fields 1",
                 "    A Integer ;"}),
      {"!table", "!version 300", "!charset WindowsLatin1", "!edit_version 950", "", "Definition Table",
       "  Type NATIVE Charset \"WindowsLatin1\"", "  Fields 1", "    A Integer ;"},
  };
  const std::string alias = charset_alias_name(charset_current());
  const std::vector<std::string> kOldForms[] = {
      {"!table", "!version 100", "DESCRIPTION: main roads", "FILE: Sub/x.DBF", "FORMAT: DBF Charset " + alias,
       "FIELDS: 2", "    A Integer", "    B Char (4)"},
      {"!table", "!version 100", "FIELDS: 1", "    A Decimal (8, 2)"},
  };
  std::vector<std::vector<std::string>> all(std::begin(kFiles), std::end(kFiles));
  all.insert(all.end(), std::begin(kOldForms), std::end(kOldForms));
  for (const auto& lines : all) {
    put("t.TAB", crlf(lines));
    const DumpResult r = rewrite("t.TAB");
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(read("t.TAB"), crlf(lines));
  }
  std::vector<std::string> names = files();
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, std::vector<std::string>{"t.TAB"});
}

TEST_F(defs_tabdump, RewritesInTheWritersForm) {
  const struct {
    std::string in;
    std::string out;
  } kCases[] = {
      {"    D Decimal (30, 40) ;", "    D Decimal (20, 18) ;"},
      {"    D Decimal (5, 9) ;", "    D Decimal (5, 3) ;"},
      {"    C Char (0) ;", "    C Char (1) ;"},
      {"    C Char (300) ;", "    C Char (254) ;"},
      {"    COL7A Char(3)ReadOnly;", "    COL7A Char (3) ReadOnly ;"},
  };
  for (const auto& c : kCases) {
    put("t.TAB", crlf(with_head({"  Type NATIVE Charset \"WindowsLatin1\"", "  Fields 1", c.in})));
    const DumpResult r = rewrite("t.TAB");
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(read("t.TAB"), crlf(with_head({"  Type NATIVE Charset \"WindowsLatin1\"", "  Fields 1", c.out})));
  }
  const struct {
    std::string in;
    std::string out;
  } kTypes[] = {
      {"  Type ASCII Delimiter 44 Titles Charset \"WindowsLatin1\"",
       "  Type ASCII Delimiter \",\" Titles Charset \"WindowsLatin1\""},
      {"  Type ASCII Delimiter \"\" Charset \"WindowsLatin1\"", "  Type ASCII Delimiter 09 Charset \"WindowsLatin1\""},
  };
  for (const auto& c : kTypes) {
    put("t.TAB", crlf(with_head({c.in, "  Fields 1", "    A Integer ;"})));
    const DumpResult r = rewrite("t.TAB");
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(read("t.TAB"), crlf(with_head({c.out, "  Fields 1", "    A Integer ;"})));
  }
}

TEST_F(defs_tabdump, RefusesWithCodesAndLeavesTheFile) {
  const struct {
    std::vector<std::string> lines;
    const char* err;
  } kCases[] = {
      {{"!table", "!version 950", "!charset WindowsLatin1"}, "error 503\n"},
      {with_head({"  Type NATIVE", "  Fields 3", "    A Integer ;", "    B Integer ;"}), "error 615\n"},
      {with_head({"  Type NATIVE", "  Fields 1", "    COL7 Integer ;"}), "error 675\n"},
      {with_head({"  Type NATIVE", "  Fields 1", "    Obj Integer ;"}), "error 675\n"},
      {with_head({"  Type NATIVE", "  Fields 1", "    RowID Integer ;"}), "error 675\n"},
      {with_head({"  Type NATIVE", "  Fields 2000000000", "    A Integer ;"}), "error 632\n"},
      {with_head({"  Type PARQUET", "  Fields 1", "    A Integer ;"}), "error 610\n"},
  };
  for (const auto& c : kCases) {
    put("t.TAB", crlf(c.lines));
    const DumpResult r = rewrite("t.TAB", 4L * 1024 * 1024);  // a 4 GiB address space
    EXPECT_EQ(r.exit_code, 1) << c.err;
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(read("t.TAB"), crlf(c.lines));
  }
  EXPECT_EQ(files(), std::vector<std::string>{"t.TAB"});
}
