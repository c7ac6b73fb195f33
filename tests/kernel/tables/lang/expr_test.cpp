// The expression compiler's byte code and limits, and the evaluator.
#include <cstring>
#include <string>
#include <vector>

#include "kernel/runtime/mem.h"
#include "kernel/tables/lang/expr.h"
#include "kernel/tables/lang/walker.h"
#include "lang_fixture.h"

namespace {

class ExprTest : public LangTest {
 protected:
  void TearDown() override {
    expr_name_mode = 0;
    LangTest::TearDown();
  }
  // Compiles the text; the block's bytes, or "" on failure.
  static bool Compile(const std::string& text, std::vector<uint8_t>* bytes) {
    lex_begin_text(text.c_str());
    lex_read_token();
    CompiledExpr* code = nullptr;
    const int16_t ok = expr_compile(&code, nullptr);
    if (bytes) bytes->clear();
    if (ok && bytes) bytes->assign(code, code + mem_size(code));
    mem_free(&code);
    return ok != 0;
  }
  // The instructions as text: "241:39" for a push, "27:2:20" for a list.
  static std::string Ops(const std::string& text) {
    std::vector<uint8_t> b;
    if (!Compile(text, &b)) return "fail";
    std::string out;
    const uint8_t* p = b.data();
    for (;;) {
      uint8_t type = 0;
      int32_t off = 0;
      const uint8_t op = expr_step_over(&p, &type, &off);
      if (!out.empty()) out += ' ';
      out += std::to_string(op);
      if (op == 241) out += ":" + std::to_string(type);
      if (op == 27 || op == 28) out += ":" + std::to_string(off) + ":" + std::to_string(type);
      if (op == 0) break;
    }
    return out;
  }
  static std::string Hex(const std::vector<uint8_t>& b) {
    std::string out;
    char buf[4];
    for (uint8_t c : b) {
      std::snprintf(buf, sizeof buf, "%02X ", c);
      out += buf;
    }
    if (!out.empty()) out.pop_back();
    return out;
  }
};

using lang_compile = ExprTest;
using lang_eval = ExprTest;

TEST_F(lang_compile, ByteExactCode) {
  std::vector<uint8_t> b;
  ASSERT_TRUE(Compile("-5", &b));
  EXPECT_EQ(Hex(b), "F1 27 06 00 10 00 05 00 00 00 00 00 00 00");
  ASSERT_TRUE(Compile("\"abc\" & \"def\"", &b));
  EXPECT_EQ(Hex(b), "F1 0A 0A 00 F1 0A 0E 00 25 00 61 62 63 00 64 65 66 00");
  ASSERT_TRUE(Compile("1.5", &b));
  EXPECT_EQ(Hex(b), "F1 02 05 00 00 00 00 00 00 00 00 F8 3F");
  // The smallest block is 10 bytes; a short name keeps room for a pointer
  // and an index.
  ASSERT_TRUE(Compile("ab", &b));
  EXPECT_EQ(Hex(b), "F1 18 05 00 00 61 62 00 00 00 00 00 00 00");
}

TEST_F(lang_compile, Grammar) {
  const struct {
    const char* text;
    const char* ops;
  } kCases[] = {
      {"2 ^ 3 ^ 2", "241:39 241:39 241:39 30 30 0"},
      {"-2 ^ 2", "241:39 241:39 30 16 0"},
      {"1 + 2 * 3 - 4", "241:39 241:39 241:39 14 12 241:39 13 0"},
      {"a mod 2 \\ 3 / 4", "241:24 241:39 11 241:39 10 241:39 15 0"},
      {"a & \"b\"", "241:24 241:10 37 0"},
      {"a and b or not c", "241:24 241:24 18 241:24 19 17 0"},
      {"not not a", "241:24 19 19 0"},
      {"a between 1 and 2", "241:24 241:39 241:39 26 0"},
      {"a <> 1 = b", "241:24 241:39 21 241:24 20 0"},
      {"a like \"x%\"", "241:24 241:10 241:10 36 0"},
      {"a not like \"x\" escape \"!\"", "241:24 241:10 241:10 36 19 0"},
      {"a not in (1, 2)", "241:24 241:39 241:39 28:2:21 0"},
      {"a < all (1)", "241:24 241:39 28:1:24 0"},
      {"a within b", "241:24 241:24 31 0"},
      {"a entirely within b", "241:24 241:24 35 0"},
      {"a partly within b", "241:24 241:24 33 0"},
      {"a contains b", "241:24 241:24 32 0"},
      {"a contains entire b", "241:24 241:24 34 0"},
      {"a contains part b", "241:24 241:24 33 0"},
      {"a intersects b", "241:24 241:24 33 0"},
      {"(a + (b))", "241:24 241:24 12 0"},
      {"t.c", "241:24 0"},
      {"+ + 1", "241:39 0"},
      {"a = (1", "fail"},
      {"a +", "fail"},
      {"a not b", "fail"},
      {"a entirely b", "fail"},
      {"(select)", "fail"},
  };
  for (const auto& c : kCases) {
    err_clear();
    EXPECT_EQ(Ops(c.text), c.ops) << c.text;
  }
}

TEST_F(lang_compile, ListsAnyAndIn) {
  std::vector<uint8_t> any, in;
  ASSERT_TRUE(Compile("x = any (1, 2)", &any));
  ASSERT_TRUE(Compile("x in (1, 2)", &in));
  EXPECT_EQ(any, in);
  // 254 items overflow the code area but are no error of the list; the
  // 255th is.
  std::string items = "x in (1";
  for (int i = 2; i <= 254; ++i) items += ", 1";
  EXPECT_FALSE(Compile(items + ")", nullptr));
  EXPECT_TRUE(err_has_code(965));
  EXPECT_FALSE(err_has_code(575));
  err_clear();
  EXPECT_FALSE(Compile(items + ", 1) z", nullptr));
  EXPECT_TRUE(err_has_code(575));
  EXPECT_EQ(Describe(lex_current()), "id:z");
}

TEST_F(lang_compile, LimitsGive965) {
  const std::string big_a = "\"" + std::string(1500, 'a') + "\"";
  const std::string big_b = "\"" + std::string(698, 'b') + "\"";
  const struct {
    std::string text;
    bool ok;
  } kCases[] = {
      {big_a + " & " + big_b, true},  // 1501 + 699 constant bytes: exactly full
      {big_a + " & " + big_b + " & \"\"", false},
      {std::string(10000, '(') + "1" + std::string(10000, ')'), false},
      {std::string(256, '(') + "1" + std::string(256, ')'), true},
      {std::string(257, '(') + "1" + std::string(257, ')'), false},
      {std::string(10000, '-') + "1", false},
      {[] {
         std::string s = "1";
         for (int i = 0; i < 5000; ++i) s += "^1";
         return s;
       }(),
       false},
      {[] {
         std::string s;
         for (int i = 0; i < 10000; ++i) s += "not ";
         return s + "a";
       }(),
       false},
      {[] {
         std::string s = "1";
         for (int i = 0; i < 120; ++i) s += "+1";
         return s;
       }(),
       false},
  };
  for (const auto& c : kCases) {
    err_clear();
    EXPECT_EQ(Compile(c.text, nullptr), c.ok) << c.text.substr(0, 40) << " " << err_first_code();
    if (!c.ok) {
      EXPECT_TRUE(err_has_code(965)) << c.text.substr(0, 40);
    }
  }
}

TEST_F(lang_compile, NameModeAndColumnNumbers) {
  expr_name_mode = 1;
  std::vector<uint8_t> b;
  ASSERT_TRUE(Compile("a = b", &b));
  EXPECT_EQ(Describe(lex_current()), "kw:20");
  EXPECT_EQ(b[0], 241);
  EXPECT_EQ(b[4], 0);
  EXPECT_STREQ(reinterpret_cast<const char*>(b.data() + 5), "a");
  // Inside brackets the whole grammar applies again.
  EXPECT_EQ(Ops("(a = b) c"), "241:24 241:24 20 0");
  expr_name_mode = 0;

  const struct {
    const char* text;
    const char* name;
    int16_t error;
  } kCases[] = {
      {"T.col(2)", "T.COL2", 0},
      {"T.Col(1 + 2) + 1", nullptr, 677},  // the evaluator does not add
      {"T.col(-(3))", "T.COL-3", 0},
      {"T.colour", "T.colour", 0},
      {"T.col(x)", nullptr, 676},
      {"T.col(\"a\")", nullptr, 677},
      {"T.col(99999)", nullptr, 677},
      {"T.(", nullptr, 615},
  };
  for (const auto& c : kCases) {
    err_clear();
    const bool ok = Compile(c.text, &b);
    EXPECT_EQ(ok, c.error == 0) << c.text << " " << err_first_code();
    if (c.error != 0) {
      EXPECT_TRUE(err_has_code(c.error)) << c.text;
    } else if (c.name[0] != '\0') {
      EXPECT_EQ(b[1], 24) << c.text;
      EXPECT_STREQ(reinterpret_cast<const char*>(b.data() + b[2]), c.name) << c.text;
    }
  }
}

TEST_F(lang_eval, Evaluation) {
  // Decimal 5, then negate.
  {
    const double five = 5;
    std::vector<uint8_t> code = {241, 2, 6, 0, 16, 0};
    code.resize(14);
    std::memcpy(code.data() + 6, &five, 8);
    Value v{};
    ASSERT_EQ(expr_eval_n(code.data(), static_cast<int32_t>(code.size()), &v), 1);
    EXPECT_EQ(v.type, VALUE_FLOAT);
    EXPECT_EQ(v.u.d, -5.0);
  }
  const struct {
    std::string text;
    int16_t ok;
    std::string result;
    int16_t error;
  } kCases[] = {
      {"-5", 1, "39:-5", 0},
      {"- -5", 1, "39:5", 0},
      {"-1.5", 1, "8:-1.5", 0},
      {"abc", 1, "21:abc", 0},
      {"\"txt\"", 1, "1:txt", 0},
      {"-\"abc\"", 0, "6:0", 306},
      {"\"abc\" & \"def\"", 0, "6:0", 0},
      {"1 2", 1, "39:1", 0},
  };
  for (const auto& c : kCases) {
    err_clear();
    lex_begin_text(c.text.c_str());
    lex_read_token();
    Value v{};
    EXPECT_EQ(expr_bind(&v, nullptr), c.ok) << c.text;
    std::string got = std::to_string(v.type) + ":";
    switch (v.type) {
      case 1: case 21: got += v.u.text.ptr; break;
      case 39: got += std::to_string(v.u.ll); break;
      case 8: got += std::to_string(v.u.d).substr(0, 4); break;
      case 6: got += std::to_string(v.u.b); break;
      default: break;
    }
    EXPECT_EQ(got, c.result) << c.text;
    if (c.error) {
      EXPECT_TRUE(err_has_code(c.error)) << c.text;
    } else {
      EXPECT_EQ(err_count(), 0) << c.text;
    }
    value_free(&v);
  }
}

TEST_F(lang_eval, EmptyCodeAndUnloadedConstants) {
  const uint8_t empty[10] = {0};
  Value v{};
  EXPECT_EQ(expr_eval_n(empty, 10, &v), 1);
  EXPECT_EQ(v.type, VALUE_LOGICAL);
  EXPECT_EQ(v.u.b, 1);
  // A constant type the evaluator does not load: the bottom stays Logical
  // true; above it the place is empty.
  const uint8_t unloaded[] = {241, 31, 9, 0, 241, 31, 9, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(expr_eval_n(unloaded, sizeof unloaded, &v), 1);
  EXPECT_EQ(v.type, VALUE_LOGICAL);
  EXPECT_EQ(v.u.b, 1);
  const uint8_t negate_empty[] = {241, 31, 9, 0, 241, 31, 9, 0, 16, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(expr_eval_n(negate_empty, sizeof negate_empty, &v), 0);
  EXPECT_TRUE(err_has_code(306));
  // Any other instruction fails without an error.
  err_clear();
  const uint8_t other[] = {12, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(expr_eval_n(other, sizeof other, &v), 0);
  EXPECT_EQ(v.type, VALUE_LOGICAL);
  EXPECT_EQ(v.u.b, 0);
  EXPECT_EQ(err_count(), 0);
}

TEST_F(lang_eval, NegationOfEveryNumberType) {
  const struct {
    uint8_t type;
    int64_t in;
    uint8_t out_type;
    int64_t out;
  } kCases[] = {
      {VALUE_LARGEINT, INT64_MIN, VALUE_LARGEINT, INT64_MIN},
      {VALUE_LARGEINT, INT64_MAX, VALUE_LARGEINT, -INT64_MAX},
      {VALUE_INTEGER, INT32_MIN, VALUE_LARGEINT, -static_cast<int64_t>(INT32_MIN)},
      {VALUE_SMALLINT, -7, VALUE_LARGEINT, 7},
  };
  for (const auto& c : kCases) {
    Value v{};
    v.type = c.type;
    if (c.type == VALUE_LARGEINT) v.u.ll = c.in;
    if (c.type == VALUE_INTEGER) v.u.i = static_cast<int32_t>(c.in);
    if (c.type == VALUE_SMALLINT) v.u.s = static_cast<int16_t>(c.in);
    expr_value_negate(&v);
    EXPECT_EQ(v.type, c.out_type);
    EXPECT_EQ(v.u.ll, c.out);
  }
  Value logical{};
  logical.type = VALUE_LOGICAL;
  logical.u.b = 1;
  expr_value_negate(&logical);
  EXPECT_EQ(logical.type, VALUE_LARGEINT);
  EXPECT_EQ(logical.u.ll, 0);
  EXPECT_TRUE(err_has_code(306));
}

}  // namespace
