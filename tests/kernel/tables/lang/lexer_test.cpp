// The scanner, the token reader over texts and files, the token tests and
// the lexer state.
#include <string>

#include "lang_fixture.h"

using lang_scanner = LangTest;
using lang_files = LangTest;

TEST_F(lang_scanner, TokensOfTexts) {
  const struct {
    const char* text;
    const char* tokens;
  } kCases[] = {
      {"&H10", "39:16"},
      {"&HFFFFFFFF", "2:-1"},
      {"&hffff", "39:65535"},
      {"&H123456789", "39:4886718345"},
      {"&HFFFFFFFFFFFFFFFF", "2:-1"},
      {"&Hx", "kw:37 id:Hx"},
      {"1234567890123456789", "39:1234567890123456789"},
      {"9223372036854775807", "39:9223372036854775807"},
      {"9999999999999999999", "2:1e+19"},
      {"12345678901234567890", "2:1.2345678901234567e+19"},
      {"1.5 .25 1e3 2E-1 7e", "2:1.5 2:0.25 2:1000 2:0.20000000000000001 39:7 id:e"},
      {"0x10", "39:0 id:x10"},
      {"<> < > <= >=", "kw:21 kw:24 kw:25 kw:22 kw:23"},
      {"\"a\"\"b\" \"\"", "str:a\"b str:"},
      {"abc$ ab$c", "id:abc$ id:ab$ id:c"},
      {"!x", "kw:1024 id:x"},
      {"' x", ""},
      {"a ' b", "id:a"},
      {"a \x1A b", "id:a"},
      {"x.y(1,2)", "id:x kw:1037 id:y kw:1030 39:1 kw:1027 39:2 kw:1031"},
      {"create Table", "kw:1056 kw:1089"},
      {"# ? \\ ^ `", "kw:1038 kw:1382 kw:10 kw:30 kw:1024"},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(TextTokens(c.text), c.tokens) << c.text;
  }
  EXPECT_TRUE(lex_reported_codes().empty());
}

TEST_F(lang_scanner, TokenTextsOfNumbers) {
  const struct {
    const char* text;
    const char* token_text;
  } kCases[] = {{"&H10", "16"}, {"&HFFFFFFFF", "-1"}, {"&H123456789", "4886718345"}, {"1.5e3x", "1.5e3"}};
  for (const auto& c : kCases) {
    int32_t len = 0;
    EXPECT_EQ(lex_scan(c.text, &len), kTokNumber) << c.text;
    EXPECT_STREQ(lex_token_text(), c.token_text);
  }
}

TEST_F(lang_scanner, UnterminatedStringIsAStringAndReports385) {
  EXPECT_EQ(TextTokens("\"abc def"), "str:abc def");
  ASSERT_EQ(lex_reported_codes().size(), 1u);
  EXPECT_EQ(lex_reported_codes()[0], 385);
  EXPECT_EQ(err_count(), 0);  // reported and cleared at once
}

TEST_F(lang_scanner, LongStringsAndWordsStayInTheBuffer) {
  std::string text = "\"" + std::string(5000, 'q') + "\" " + std::string(3000, 'w') + " z";
  lex_begin_text(text.c_str());
  ASSERT_TRUE(lex_read_token());
  EXPECT_EQ(std::string(lex_current()->u.ref), std::string(kLexBufSize - 1, 'q'));
  ASSERT_TRUE(lex_read_token());
  EXPECT_EQ(std::string(lex_current()->u.ref).size(), static_cast<size_t>(kLexBufSize - 1));
  ASSERT_TRUE(lex_read_token());
  EXPECT_EQ(Describe(lex_current()), "id:z");
}

TEST_F(lang_scanner, KeywordsStandAsNamesAndStrings) {
  lex_begin_text("Name type");
  ASSERT_TRUE(lex_read_token());
  EXPECT_EQ(Describe(lex_current()), "kw:2068");
  EXPECT_EQ(lex_is(kTokIdentifier), 1);
  EXPECT_EQ(Describe(lex_current()), "id:Name");
  EXPECT_EQ(lex_expect(kTokIdentifier), 1);
  EXPECT_EQ(lex_is(kTokString), 1);
  EXPECT_EQ(Describe(lex_current()), "str:type");
  EXPECT_EQ(lex_is(kTokNumber), 0);
  // Punctuation never stands as a name.
  lex_begin_text("( 5");
  ASSERT_TRUE(lex_read_token());
  EXPECT_EQ(lex_is(kTokIdentifier), 0);
  EXPECT_EQ(lex_is(1030), 1);
}

TEST_F(lang_scanner, ExpectedTokenErrorsAndResync) {
  const struct {
    std::string text;
    int16_t cls;
    std::string found;
    std::string expected;
    std::string current;
  } kCases[] = {
      {"abc 123 create x", kTokNumber, "abc", "A numeric constant", "kw:1056"},
      {"5 x", kTokIdentifier, "5", "An identifier", "<none>"},
      {"( x", kTokString, "(", "A string constant", "<none>"},
      {"x drop", 1089, "x", "table", "kw:1061"},
      {"x", 4242, "x", "An unrecognized token.", "<none>"},
      {std::string(40, 'k') + " end", kTokNumber, std::string(31, 'k'), "A numeric constant", "kw:1360"},
  };
  for (const auto& c : kCases) {
    err_clear();
    lex_begin_text(c.text.c_str());
    lex_read_token();
    EXPECT_EQ(lex_expect(c.cls), 0) << c.text;
    ASSERT_EQ(err_count(), 1) << c.text;
    EXPECT_EQ(g_err_stack->entries[0].code, 615);
    EXPECT_EQ(Arg(0, 1), c.found) << c.text;
    EXPECT_EQ(Arg(0, 2), c.expected) << c.text;
    EXPECT_EQ(Describe(lex_current()), c.current) << c.text;
  }
}

TEST_F(lang_scanner, SaveAndRestoreAroundANestedText) {
  lex_begin_text("qfirst qsecond");
  ASSERT_TRUE(lex_read_token());
  stmt_language_version = 450;
  LexerState saved;
  stmt_save_lexer(&saved);
  EXPECT_FALSE(lex_has_token());
  EXPECT_EQ(stmt_language_version, 9999);
  EXPECT_EQ(TextTokens("inner"), "id:inner");
  stmt_restore_lexer(&saved);
  EXPECT_EQ(stmt_language_version, 450);
  EXPECT_EQ(Describe(lex_current()), "id:qfirst");
  EXPECT_EQ(ReadAll(), "id:qsecond");
}

TEST_F(lang_scanner, ExecTextRunsStatementsAndRestoresTheErrorMode) {
  // A statement the runner refuses: the run fails with its code and the
  // error mode of the caller is back afterwards.
  err_set_mode(1);
  EXPECT_EQ(stmt_exec_text("z", 0), 0);
  EXPECT_EQ(err_first_code(), 599);
  EXPECT_EQ(err_get_mode(), 1);
  err_clear();
  EXPECT_EQ(stmt_exec_command("Definition Table", 1), 0);
  EXPECT_EQ(err_first_code(), 301);  // no definition is being read
  EXPECT_EQ(err_get_mode(), 1);
}

TEST_F(lang_files, TokensOfFiles) {
  const struct {
    const char* content;
    const char* tokens;
    std::vector<int16_t> reported;
  } kCases[] = {
      {"! header\n' comment\nx ' rest\n!y\n'z\n  !w\n", "id:x kw:1024 id:w", {}},
      {"a\x1A b\nc\n\x1A\nd\n", "id:a id:c", {}},
      {"define X X\nX\n", "id:X", {}},
      {"define X X X X\nX\n", "id:X id:X id:X", {}},
      {"define A B\ndefine B A\nA\n", "id:A", {}},
      {"define Y 1\ndefine X Y X\nX\n", "39:1 id:X", {}},
      {"define A 1\ndefine B A + A\nB B\n", "39:1 kw:12 39:1 39:1 kw:12 39:1", {}},
      {"define a 1\ndefine A 2\nA a\n", "39:1 39:1", {381}},
      {"define S \"it's\" ' c\nS\n", "str:it's", {}},
      {"define T \"a!\"\"b\" ! c\nT\n", "str:a!\"b", {}},
      {"define 5 x\ndefine\ndefine Q\ninclude 5\nq\n", "id:q", {1269, 1296, 1296, 383}},
      {"include \"missing\"\nm\n", "id:m", {-1}},  // the open failure, whatever its code
  };
  for (const auto& c : kCases) {
    put("t.vl", c.content);
    lex_reported_clear();
    EXPECT_EQ(FileTokens("t.vl"), c.tokens) << c.content;
    if (c.reported == std::vector<int16_t>{-1}) {
      EXPECT_FALSE(lex_reported_codes().empty());
    } else {
      EXPECT_EQ(lex_reported_codes(), c.reported) << c.content;
    }
    FreeFile();
  }
}

TEST_F(lang_files, IncludesNestAndEndOnCycles) {
  ASSERT_EQ(mkdir(path("sub").c_str(), 0755), 0);
  put("main.tab", "a\ninclude \"sub\\Inc\" ignored\nb Q\ninclude \"main.tab\"\nc\n");
  put("sub/inc.vl", "define Q 7\ninner\ninclude \"deep.vl\"\n");
  put("sub/deep.vl", "deep\ninclude \"deep\"\n");
  EXPECT_EQ(FileTokens("main.tab"), "id:a id:inner id:deep id:b 39:7 id:c");
  EXPECT_EQ(lexfile_->include_count, 2);
  EXPECT_EQ(lexfile_->include_depth, 0);
  EXPECT_EQ(lexfile_->line_number, 5);
}

TEST_F(lang_files, SelfIncludeEnds) {
  put("self.vl", "s\ninclude \"self.vl\"\ne\n");
  EXPECT_EQ(FileTokens("self.vl"), "id:s id:e");
}

TEST_F(lang_files, LongLineIsReadInPieces) {
  std::string line, expected;
  for (int i = 1; i <= 500; ++i) {
    char w[8];
    std::snprintf(w, sizeof w, "w%04d", i);
    if (i > 1) line += ' ', expected += ' ';
    line += w;
    expected += std::string("id:") + w;
  }
  ASSERT_EQ(line.size(), 2999u);
  put("long.vl", line + "\nb\n");
  const int32_t h = file_register(path("long.vl").c_str(), 0);
  ASSERT_NE(file_open_text(h, 1, nullptr), 0);
  lexfile_ = lex_file_new(h, 0);
  lex_begin_file(lexfile_);
  std::string got;
  int32_t line_at_b = -1;
  while (lex_read_token()) {
    if (!got.empty()) got += ' ';
    got += Describe(lex_current());
    if (Describe(lex_current()) == "id:b") line_at_b = lexfile_->line_number;
  }
  EXPECT_EQ(got, expected + " id:b");
  EXPECT_EQ(line_at_b, 2);
}

TEST_F(lang_files, DefinesInsideALongLine) {
  std::string line = "define Z zed\n";
  std::string expected;
  for (int i = 0; i < 700; ++i) {
    line += "Z ";
    if (i) expected += ' ';
    expected += "id:zed";
  }
  put("zl.vl", line + "\nend_x\n");
  EXPECT_EQ(FileTokens("zl.vl"), expected + " id:end_x");
}

TEST_F(lang_files, DefineChainsEnd) {
  // Each name doubles the tokens of the one before; past the budget of
  // substitutions a line's defined names read as identifiers.
  std::string text;
  for (int i = 0; i < 40; ++i) {
    text += "define D" + std::to_string(i) + " D" + std::to_string(i + 1) + " D" + std::to_string(i + 1) + "\n";
  }
  put("chain.vl", text + "D0\nzzlast\n");
  const std::string tokens = FileTokens("chain.vl");
  EXPECT_EQ(tokens.substr(tokens.size() - 10), " id:zzlast");
  EXPECT_EQ(tokens.substr(0, 7), "id:D40 ");
}

TEST_F(lang_scanner, DefineHashTakesBytesAsSigned) {
  const struct {
    const char* name;
    uint32_t bucket;
  } kCases[] = {{"AB", 62}, {"\xe9", 31}, {"DEFINITION_NAME_LONG", 21}, {"\xe9\xe8" "abc", 25}};
  for (const auto& c : kCases) EXPECT_EQ(lex_define_hash(c.name), c.bucket) << c.name;
}

TEST_F(lang_scanner, TokenTextsForMessages) {
  lex_begin_text("` create \"s\" 12");
  const char* kExpected[] = {"Unsupported Character", "create", "s", "12"};
  for (const char* e : kExpected) {
    ASSERT_TRUE(lex_read_token());
    char buf[64];
    EXPECT_STREQ(token_text(lex_current(), buf, sizeof buf), e);
  }
  lex_begin_text("create table");
  lex_read_token();
  EXPECT_EQ(keyword_value(lex_current()), 1);
  lex_read_token();
  EXPECT_EQ(keyword_value(lex_current()), 0);
}
