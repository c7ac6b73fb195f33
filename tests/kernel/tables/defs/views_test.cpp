// View definition files read while member tables and views are collected:
// the member tables, the columns and joins of the view, the checks of the
// view builder, and binding names of expressions to open tables.
#include <gtest/gtest.h>

#include "kernel/runtime/mem.h"
#include "kernel/tables/defs/defs_fixture.h"
#include "kernel/tables/lang/expr.h"

class defs_views : public DefsTest {
 protected:
  void SetUp() override {
    DefsTest::SetUp();
    for (const char* name : {"a", "b", "c"}) {
      put(std::string(name) + ".TAB", crlf({"!table", "!version 300", "Definition Table", "Type NATIVE", "Fields 3",
                                            "id Integer ;", "x Integer ;", std::string("only_") + name + " Integer ;"}));
    }
  }
  // Reads the view file while collecting; answers whether it was accepted.
  bool collect(const std::vector<std::string>& statements) {
    std::vector<std::string> lines = {"!table", "!version 300"};
    lines.insert(lines.end(), statements.begin(), statements.end());
    put("v.TAB", crlf(lines));
    table_collection_clear();
    tabfile_set_collect(1);
    const int32_t h = file_register(path("v.TAB").c_str(), 1);
    TableDef* t = table_open_file(h);
    tabfile_set_collect(0);
    const bool ok = t != nullptr;
    if (t != nullptr) {
      tabdef_free(t);
    } else {
      file_unregister(h);
    }
    return ok;
  }
};

TEST_F(defs_views, TwoTablesOneJoin) {
  ASSERT_TRUE(collect({"Open Table \"a\"", "Open Table \"b\"", "Create View v As Select a.x, b.x From a, b where a.id = b.id"}))
      << err_first_code();
  EXPECT_EQ(table_collection()->members.size(), 2u);
  ASSERT_EQ(table_collection()->joins.size(), 1u);
  EXPECT_EQ(table_collection()->joins[0].first_member, 0);
  EXPECT_EQ(table_collection()->joins[0].second_member, 1);
  EXPECT_EQ(table_collection()->columns[1].member, 1);

  ASSERT_TRUE(collect({"Open Table \"a\" Hide ReadOnly Hide", "Open Table \"b\" As bee Interactive",
                       "Create View v As Select a.id, only_b \"B\" From a, bee where a.id = bee.x"}))
      << err_first_code();
  const TableCollection* c = table_collection();
  ASSERT_EQ(c->members.size(), 2u);
  EXPECT_EQ(c->members[0].order, 1);
  EXPECT_EQ(c->members[1].order, 2);
  EXPECT_STREQ(c->members[1].alias, "bee");
  ASSERT_EQ(c->joins.size(), 1u);
  EXPECT_EQ(c->joins[0].first_member, 0);
  EXPECT_EQ(c->joins[0].second_member, 1);
  EXPECT_STREQ(c->joins[0].second, "x");
  ASSERT_EQ(c->columns.size(), 2u);
  EXPECT_STREQ(c->columns[0].name, "id");
  EXPECT_EQ(c->columns[1].member, 1);
  EXPECT_STREQ(c->columns[1].alias, "B");
}

TEST_F(defs_views, StarTakesEveryFieldOfTheNamedTables) {
  ASSERT_TRUE(collect({"Open Table \"a\"", "Open Table \"b\"", "Open Table \"c\"",
                       "Create View v As Select * From a, b where a.id = b.id"}))
      << err_first_code();
  const TableCollection* c = table_collection();
  EXPECT_EQ(c->members.size(), 2u);  // c is not named by the view
  EXPECT_EQ(c->columns.size(), 6u);
}

TEST_F(defs_views, RefusedViews) {
  const struct {
    std::vector<std::string> statements;
    int code;
  } kCases[] = {
      {{"Open Table \"a\"", "Open Table \"b\"", "Open Table \"c\"",
        "Create View v As Select * From a, b, c where a.id = b.id"},
       401},
      {{"Open Table \"a\"", "Open Table \"b\"", "Open Table \"c\"",
        "Create View v As Select * From a, b, c where b.x = c.x And a.id = b.id"},
       401},
      {{"Open Table \"a\"", "Open Table \"b\"", "Create View v As Select nope From a, b where a.id = b.id"}, 414},
      {{"Open Table \"a\"", "Open Table \"b\"", "Create View v As Select id From a, b where a.id = q.id"}, 414},
      {{"Open Table \"a\"", "Create Index On a"}, 851},
      {{"Open Table \"a\"", "Create View 1v As Select * From a where a.id = a.id"}, 689},
  };
  for (const auto& c : kCases) {
    err_clear();
    EXPECT_FALSE(collect(c.statements)) << c.statements.back();
    EXPECT_EQ(err_first_code(), c.code) << c.statements.back();
  }
  // Three tables chained in order are accepted.
  err_clear();
  EXPECT_TRUE(collect({"Open Table \"a\"", "Open Table \"b\"", "Open Table \"c\"",
                       "Create View v As Select * From a, b, c where a.id = b.id And b.x = c.x"}))
      << err_first_code();
}

TEST_F(defs_views, BindingNamesToOpenTables) {
  put_dat_integers("a.DAT", 3);
  const int32_t h = file_register(path("a.TAB").c_str(), 1);
  TableDef* t = table_open_file(h);
  ASSERT_NE(t, nullptr) << err_first_code();
  open_table_list_add(t->entry, 0);
  const struct {
    const char* text;
    int code;       // 0: bound
    uint8_t type;   // of the constant after binding
    uint8_t index;
  } kCases[] = {
      {"x", 0, 26, 1},
      {"a.only_a", 0, 26, 2},
      {"rowid", 0, 35, 254},
      {"zzz", 414, 24, 0},
      {"b.x", 414, 24, 0},
  };
  for (const auto& c : kCases) {
    err_clear();
    at(c.text);
    CompiledExpr* code = nullptr;
    ASSERT_EQ(expr_compile(&code, nullptr), 1) << c.text;
    EXPECT_EQ(expr_bind_columns(code), c.code == 0 ? 1 : 0) << c.text;
    EXPECT_EQ(err_count() > 0 ? err_first_code() : 0, c.code) << c.text;
    EXPECT_EQ(code[0], 241);
    EXPECT_EQ(code[1], c.type) << c.text;
    if (c.code == 0) {
      const int32_t off = code[2] | (code[3] << 8);
      void* p = nullptr;
      std::memcpy(&p, code + off, sizeof p);
      EXPECT_EQ(p, c.type == 26 ? static_cast<void*>(t) : static_cast<void*>(t->entry)) << c.text;
      EXPECT_EQ(code[off + sizeof p], c.index) << c.text;
    }
    mem_free(&code);
  }
  // A bound column of a base table of a view is marked; one of another table
  // is not.
  at("x");
  CompiledExpr* code = nullptr;
  ASSERT_EQ(expr_compile(&code, nullptr), 1);
  ASSERT_EQ(expr_bind_columns(code), 1);
  OpenTable other;
  other.bases.push_back(nullptr);
  EXPECT_EQ(expr_mark_base_tables(code, &other), 0);
  EXPECT_EQ(code[1], 26);
  EXPECT_EQ(expr_mark_base_tables(code, t->entry), 1);
  EXPECT_EQ(code[1], 26 | 0x80);
  mem_free(&code);
  open_table_list_remove(t->entry);
  tabdef_free(t);
}
