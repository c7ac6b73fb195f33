// Writing and reading table definition files: the exact lines of a native
// definition, version rules, the reader's header and field rules, and a
// round trip of random definitions through the writer and the reader.
#include <gtest/gtest.h>

#include <random>

#include "kernel/mapobjects/mapobj_fixture.h"
#include "kernel/runtime/mem.h"
#include "kernel/runtime/str.h"
#include "kernel/tables/defs/defs_fixture.h"
#include "kernel/tables/index/indexfile.h"
#include "kernel/tables/tabtype.h"
#include "kernel/tables/tabwrite.h"

namespace {

void add_field(TableDef* t, const char* name, uint8_t type, uint8_t width = 0, uint8_t decimals = 0) {
  FieldDef* f = fieldlist_new(t->field_count + 1);
  if (t->fields != nullptr) std::memcpy(static_cast<void*>(f), t->fields, sizeof(FieldDef) * t->field_count);
  mem_free(&t->fields);
  t->fields = f;
  FieldDef& n = t->fields[t->field_count++];
  str_copy_n(n.name, name, sizeof n.name);
  n.value.type = type;
  n.width = width;
  n.decimals = decimals;
}

}  // namespace

class defs_tabfile : public DefsTest {
 protected:
  // A new definition registered at the name, versions 300.
  TableDef* fresh(const std::string& name, uint8_t type) {
    TableDef* t = tabdef_new();
    t->def_file = file_register(path(name).c_str(), 1);
    EXPECT_GT(t->def_file, 0);
    t->storage.type = type;
    typeopts_init(&t->storage.options, type);
    t->version = t->read_entire = t->edit = 300;
    return t;
  }
  // Reads a definition file into a new table; null when the read fails.
  TableDef* reread(const std::string& name, TabReadContext* ctx) {
    TableDef* t = tabdef_new();
    t->def_file = file_register(path(name).c_str(), 1);
    tabdef_open_index(t, path(name).c_str());
    ctx->definition_allowed = 1;
    ctx->table = t;
    ctx->file = t->def_file;
    if (!tabfile_read(ctx)) {
      tabdef_free(t);
      return nullptr;
    }
    t->metadata = ctx->metadata;
    ctx->metadata = nullptr;
    return t;
  }
};

TEST_F(defs_tabfile, NativeDefinitionLines) {
  TableDef* t = fresh("t.TAB", TABTYPE_NATIVE);
  add_field(t, "ID", VALUE_INTEGER);
  add_field(t, "Name", VALUE_CHAR, 30);
  ASSERT_EQ(tabfile_write_plain(t), 1);
  tabdef_free(t);
  EXPECT_EQ(read("t.TAB"), crlf({"!table", "!version 300", "!charset WindowsLatin1", "", "Definition Table",
                                 "  Type NATIVE Charset \"WindowsLatin1\"", "  Fields 2", "    ID Integer ;",
                                 "    Name Char (30) ;"}));
  EXPECT_EQ(files(), std::vector<std::string>{"t.TAB"});  // no temporary left
}

TEST_F(defs_tabfile, TypeLinesByTypeAndVersion) {
  const struct {
    uint8_t type;
    int version;
    uint8_t delimiter;
    const char* type_line;  // "" for none
  } kCases[] = {
      {TABTYPE_DBF, 300, 0, "  Type DBF Charset \"WindowsLatin1\""},
      {TABTYPE_ASCII, 300, 9, "  Type ASCII Delimiter 09 Charset \"WindowsLatin1\""},
      {TABTYPE_ASCII, 300, ',', "  Type ASCII Delimiter \",\" Charset \"WindowsLatin1\""},
      {TABTYPE_ASCII, 300, '"', "  Type ASCII Delimiter 34 Charset \"WindowsLatin1\""},
      {TABTYPE_NATIVE, 100, 0, ""},
      {TABTYPE_DBF, 100, 0, "FORMAT: DBF Charset "},  // and the charset's alias name
  };
  for (const auto& c : kCases) {
    TableDef* t = fresh("t.TAB", c.type);
    t->version = t->read_entire = t->edit = c.version;
    if (auto* a = std::get_if<AsciiOptions>(&t->storage.options)) a->delimiter = c.delimiter;
    add_field(t, "A", VALUE_INTEGER);
    ASSERT_EQ(tabfile_write_plain(t), 1);
    tabdef_free(t);
    const std::string text = read("t.TAB");
    std::string line = c.type_line;
    if (c.version < 300 && !line.empty()) line += charset_alias_name(charset_current());
    if (!line.empty()) {
      EXPECT_NE(text.find("\r\n" + line + "\r\n"), std::string::npos) << text;
    } else {
      EXPECT_EQ(text.find("Type"), std::string::npos) << text;
      EXPECT_EQ(text.find("FORMAT"), std::string::npos) << text;
    }
    EXPECT_EQ(text.find("Type Type"), std::string::npos);
  }
}

TEST_F(defs_tabfile, QueryTableLines) {
  TableDef* t = fresh("q.TAB", TABTYPE_QUERY);
  auto& q = std::get<QueryOptions>(t->storage.options);
  q.paths = "a/b/c";
  q.aliases = "x,y";  // the pairing stops at the end of the shorter list
  q.paths2 = "d";
  q.aliases2 = "w";
  ASSERT_EQ(tabfile_write_plain(t), 1);
  tabdef_free(t);
  EXPECT_EQ(read("q.TAB"), "!table\r\n!version 300\r\nOpen Table a as x Interactive\r\n"
                           "Open Table b as y Interactive\r\nOpen Table d as w Interactive\r\n"
                           "\r\nDefinition Table\r\n  Type QUERY");
}

TEST_F(defs_tabfile, VersionRules) {
  TableDef* t = fresh("t.TAB", TABTYPE_NATIVE);
  add_field(t, "A", VALUE_DATETIME);
  ASSERT_EQ(tabfile_write_plain(t), 1);
  EXPECT_EQ(t->version, 900);
  EXPECT_EQ(t->read_entire, 900);
  EXPECT_EQ(t->edit, 900);
  EXPECT_NE(read("t.TAB").find("    A DateTime ;"), std::string::npos);
  tabdef_free(t);

  t = fresh("t.TAB", TABTYPE_NATIVE);
  add_field(t, "A", VALUE_INTEGER);
  t->read_entire = 450;
  t->edit = 800;
  ASSERT_EQ(tabfile_write_plain(t), 1);
  tabdef_free(t);
  EXPECT_NE(read("t.TAB").find("!readentire_version 450\r\n!edit_version 800\r\n"), std::string::npos);
  TabReadContext ctx;
  t = reread("t.TAB", &ctx);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->version, 300);
  EXPECT_EQ(t->read_entire, 450);
  EXPECT_EQ(t->edit, 450);  // only the line after the header counts
  tabdef_free(t);
}

TEST_F(defs_tabfile, TripleOperations) {
  VersionTriple v{300, 300, 300};
  EXPECT_TRUE(version_raise(&v, 100, 450, 450));
  EXPECT_EQ(v.version, 300);
  EXPECT_EQ(v.read_entire, 450);
  EXPECT_FALSE(version_raise(&v, 300, 450, 300));
  const struct {
    int projection, ellipsoid, version;
  } kCoordsys[] = {{26, 0, 452}, {27, 0, 550}, {30, 0, 650}, {32, 0, 900}, {3, 49, 550}, {3, 51, 600},
                   {3, 53, 800}, {3, 28, 0}};
  for (const auto& c : kCoordsys) EXPECT_EQ(version_for_coordsys(c.projection, c.ellipsoid), c.version);
  TableDef* a = fresh("a.TAB", TABTYPE_NATIVE);
  TableDef* b = fresh("b.TAB", TABTYPE_NATIVE);
  version_set_all(a, 450);
  b->edit = 800;
  TableDef* both[] = {a, b};
  const VersionTriple big = version_largest(both, 2);
  EXPECT_EQ(big.version, 450);
  EXPECT_EQ(big.edit, 800);
  EXPECT_EQ(version_largest_edit(both, 2), 800);
  add_field(a, "T", VALUE_LARGEINT);
  int32_t found = 0;
  EXPECT_EQ(version_for_field_types(a->fields, a->field_count, &found), 900);
  EXPECT_EQ(found, VALUE_LARGEINT);
  EXPECT_EQ(version_for_field_types(b->fields, b->field_count, nullptr), 100);
  tabdef_free(a);
  tabdef_free(b);
}

TEST_F(defs_tabfile, TemplateCopiesSettingsNotWorkingState) {
  TypeOptions src;
  typeopts_init(&src, TABTYPE_ASCII);
  auto& a = std::get<AsciiOptions>(src);
  char line[8];
  a.line = line;
  a.mode = 2;
  a.delimiter = ';';
  TypeOptions dst;
  typeopts_copy_settings(&dst, src);
  const auto& d = std::get<AsciiOptions>(dst);
  EXPECT_EQ(d.delimiter, ';');
  EXPECT_EQ(d.charset, charset_current());
  EXPECT_EQ(d.line, nullptr);
  EXPECT_EQ(d.mode, 0);
  typeopts_init(&src, TABTYPE_CSV);
  EXPECT_EQ(std::get<AsciiOptions>(src).delimiter, ',');
  typeopts_init(&src, TABTYPE_ACCESS);
  std::get<AccessOptions>(src).table = "roads";
  std::get<AccessOptions>(src).row_map = 1001;
  typeopts_copy_settings(&dst, src);
  EXPECT_EQ(std::get<AccessOptions>(dst).table, "roads");
  EXPECT_EQ(std::get<AccessOptions>(dst).row_map, 0);
}

TEST_F(defs_tabfile, RegistrationTypeClauses) {
  const int16_t latin1 = charset_from_name("WindowsLatin1");
  TypeOptions ascii;
  typeopts_init(&ascii, TABTYPE_ASCII);
  std::get<AsciiOptions>(ascii).delimiter = ',';
  std::get<AsciiOptions>(ascii).titles = 1;
  std::get<AsciiOptions>(ascii).charset = latin1;
  TypeOptions access;
  typeopts_init(&access, TABTYPE_ACCESS);
  std::get<AccessOptions>(access).database = "d\"b.mdb";
  std::get<AccessOptions>(access).table = "t";
  std::get<AccessOptions>(access).version = 4;
  const struct {
    int32_t ext;
    const TypeOptions* options;
    const char* text;
  } kCases[] = {
      {2, nullptr, " TYPE NATIVE Version 100"},
      {4, &ascii, " TYPE ASCII Delimiter 44 Titles Charset \"WindowsLatin1\""},
      {63, &access, " Type ACCESS Database \"d\"\"b.mdb\" Version 3.0 Table \"t\""},
      {99, &ascii, ""},
  };
  for (const auto& c : kCases) {
    std::string text;
    tabfile_write_type_clause(&text, c.ext, c.options);
    EXPECT_EQ(text, c.text);
  }
}

TEST_F(defs_tabfile, HeaderAndStatementRules) {
  const struct {
    std::vector<std::string> lines;
    std::vector<int> codes;  // empty: the read succeeds
  } kCases[] = {
      {{"!table"}, {329}},
      {{"!table", "!charset WindowsLatin1"}, {329}},
      {{"!table", "!version 300", "!charset Klingon"}, {1283}},
      {{"!table", "!version 950"}, {503}},
      {{"!table", "!version 300", "Definition Table", "Type RASTER"}, {1921}},
      {{"!table", "!version 300", "Definition Table", "Type NATIVE Fields 3", "a Integer;", "b Integer;"}, {615}},
      {{"!table", "!version 300", "Definition Table", "Type NATIVE Fields 1", "COL7 Integer;"}, {675}},
      {{"!table", "!version 300", "Definition Table", "Type NATIVE Fields 1", "rowid Integer;"}, {675}},
      {{"!table", "!version 300", "Definition Table", "Type NATIVE Fields 1", "COL7A Integer;"}, {}},
      {{"!table", "!version 300", "Definition Table", "Type NATIVE Fields 2000000000", "a Integer;"}, {632}},
      {{"!table", "!version 300", "CompressedPoints"}, {1926}},
      {{"!table", "!version 300", "Create View v As Select * From a"}, {1922}},
      {{"!table", "!version 300", "Open Table \"q\" Type QUERY"}, {1937}},
      {{"!table", "!version 300", "Open Table \"q\""}, {1934}},
      {{"!table", "!version 300", "Select * From a"}, {599}},
      // A definition file never registers (writes) tables.
      {{"!table", "!version 300", "Register Table \"x.DBF\" Type DBF"}, {599}},
      {{"!table", "!version 100", "Fields 1", "a Integer"}, {}},
      {{"!table", "!version 100", "Description: none"}, {321}},
  };
  for (const auto& c : kCases) {
    err_clear();
    put("t.TAB", crlf(c.lines));
    TabReadContext ctx;
    TableDef* t = reread("t.TAB", &ctx);
    EXPECT_EQ(t != nullptr, c.codes.empty()) << c.lines.back();
    EXPECT_EQ(codes(), c.codes) << c.lines.back();
    tabdef_free(t);
    file_reset();
  }
  // 503 carries the table's name and the version.
  err_clear();
  put("t.TAB", crlf({"!table", "!version 950"}));
  TabReadContext ctx;
  EXPECT_EQ(reread("t.TAB", &ctx), nullptr);
  EXPECT_EQ(arg(0, 1), "t");
  EXPECT_EQ(arg(0, 2), "9.50");
}

TEST_F(defs_tabfile, FieldLinesAndEditVersion) {
  put_index("t.IND");
  put("t.TAB", crlf({"!table", "!version 300", "!edit_version 950", "Definition Table", "Type NATIVE",
                     "Fields 3", "a Char (10) Index 1 Unique ReadOnly ;", "b Char (10) x ReadOnly ;",
                     "c Integer Autokey ;"}));
  TabReadContext ctx;
  TableDef* t = reread("t.TAB", &ctx);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->read_only, 255);
  ASSERT_EQ(t->field_count, 3);
  ASSERT_NE(t->fields[0].index, nullptr);
  EXPECT_EQ(t->fields[0].index->unique, 1);
  EXPECT_EQ(t->fields[0].read_only, 1);
  EXPECT_EQ(t->fields[1].read_only, 0);  // ReadOnly after another word is not seen
  EXPECT_EQ(t->fields[2].autokey, 1);
  EXPECT_EQ(t->fields[2].read_only, 1);
  tabdef_free(t);
}

TEST_F(defs_tabfile, OldFormDelimiters) {
  const struct {
    const char* line;
    uint8_t delimiter;
    uint8_t titles;
  } kCases[] = {
      {"TYPE: ASCII Delimiter ',' Titles", ',', 1},
      {"TYPE: ASCII Delimiter ( Titles", '(', 1},
      {"TYPE: ASCII Delimiter 59", ';', 0},
      {"FORMAT: ascii delimiter | titles charset WindowsLatin2", '|', 1},
  };
  for (const auto& c : kCases) {
    put("t.TAB", crlf({"!table", "!version 100", c.line, "FIELDS: 1", "A Integer"}));
    TabReadContext ctx;
    TableDef* t = reread("t.TAB", &ctx);
    ASSERT_NE(t, nullptr) << c.line;
    const auto& a = std::get<AsciiOptions>(t->storage.options);
    EXPECT_EQ(a.delimiter, c.delimiter) << c.line;
    EXPECT_EQ(a.titles, c.titles) << c.line;
    tabdef_free(t);
    file_reset();
  }
  put("t.TAB", crlf({"!table", "!version 100", "TYPE: ASCII", "FIELDS: 1", "A Integer"}));
  TabReadContext ctx;
  EXPECT_EQ(reread("t.TAB", &ctx), nullptr);  // no delimiter
}

TEST_F(defs_tabfile, OldFormRead) {
  put("t.TAB", crlf({"!table", "!version 100", "DESCRIPTION: roads", "TYPE: ASCII Delimiter ';' Titles",
                     "FIELDS: 3", "Name Char (20) Index 1", "1st Decimal 8 2", "Name Integer",
                     "READONLY"}));
  TabReadContext ctx;
  TableDef* t = reread("t.TAB", &ctx);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->description, "roads");
  EXPECT_EQ(t->storage.type, 3);
  EXPECT_EQ(std::get<AsciiOptions>(t->storage.options).delimiter, ';');
  EXPECT_EQ(std::get<AsciiOptions>(t->storage.options).titles, 1);
  EXPECT_EQ(std::get<AsciiOptions>(t->storage.options).charset, 34);
  ASSERT_EQ(t->field_count, 3);
  EXPECT_STREQ(t->fields[1].name, "_1st");
  EXPECT_EQ(t->fields[1].width, 8);
  EXPECT_EQ(t->fields[1].decimals, 2);
  EXPECT_STREQ(t->fields[2].name, "Name_2");
  EXPECT_EQ(t->read_only, 255);
  tabdef_free(t);
}

// Random definitions of every written kind survive the writer and the
// reader, and a second write gives the same bytes.
TEST_F(defs_tabfile, RandomDefinitionsRoundTrip) {
  std::mt19937 rng(20261210);
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<uint32_t>(n)); };
  const uint8_t kTypes[] = {1, 2, 3, 4, 5, 6, 8, 37, 38, 39};
  const uint8_t kTables[] = {TABTYPE_NATIVE, TABTYPE_DBF, TABTYPE_DBF, TABTYPE_ASCII, TABTYPE_WKS, TABTYPE_XLS};
  const int kVersions[] = {300, 450, 650, 800, 900};
  const char* kCharsets[] = {"WindowsLatin1", "WindowsLatin2", "CodePage437"};
  for (int round = 0; round < 120; ++round) {
    SCOPED_TRACE(round);
    put_index("t.IND");
    TableDef* t = fresh("t.TAB", kTables[pick(6)]);
    tabdef_open_index(t, path("t.TAB").c_str());
    const bool shapefile = t->storage.type == TABTYPE_DBF && pick(2);
    const int v = kVersions[pick(5)];
    const int r = std::min(900, v + (pick(2) ? 0 : 50 * pick(3)));
    const int e = pick(2) || r != v ? r : std::min(900, r + 100);
    t->version = v, t->read_entire = r, t->edit = e;
    const int16_t cs = charset_from_name(kCharsets[pick(3)]);
    ASSERT_GE(cs, 0);
    if (auto* n = std::get_if<NativeOptions>(&t->storage.options)) n->charset = cs, n->shapefile = shapefile;
    if (auto* a = std::get_if<AsciiOptions>(&t->storage.options)) {
      a->charset = cs;
      a->delimiter = static_cast<uint8_t>(pick(2) ? 9 + pick(100) : ',');
      a->titles = static_cast<uint8_t>(pick(2));
    }
    if (auto* s = std::get_if<SheetOptions>(&t->storage.options)) {
      s->range = pick(2) ? "A1:\"B\"9" : "";
      s->titles = static_cast<int16_t>(pick(2));
    }
    if (pick(2)) t->description = "say \"hi\", x" + std::to_string(pick(1000));
    const int n = 1 + pick(8);
    bool timed = false;
    for (int i = 0; i < n; ++i) {
      const uint8_t ty = kTypes[pick(10)];
      timed = timed || ty >= 37;
      const uint8_t w = ty == 1 ? static_cast<uint8_t>(1 + pick(254)) : ty == 2 ? static_cast<uint8_t>(1 + pick(20)) : 0;
      const uint8_t d = ty == 2 && w >= 2 ? static_cast<uint8_t>(pick(w - 1)) : 0;
      add_field(t, ("F" + std::to_string(i) + "_x").c_str(), ty, w, d);
      FieldDef& f = t->fields[t->field_count - 1];
      if (pick(3) == 0) {
        f.index = field_index_new();
        f.index->number = 1 + pick(9);
        f.index->unique = static_cast<int16_t>(pick(2));
      }
      f.read_only = static_cast<int16_t>(pick(3) == 0);
      f.autokey = static_cast<int16_t>(f.read_only && pick(2));
    }
    if (pick(2)) {
      t->metadata = metadata_new();
      metadata_set(t->metadata, "\\IsReadOnly", "FALSE");
      metadata_set_text(t->metadata, "\\Note\\Text", "a \"quoted\" value");
    }
    ObjectSystemRecord object;
    if (shapefile) {
      object.style_flags = kStyleLinePen | kStyleRegionPen | kStyleBrush | kStyleSymbol;
      object.line_pen = PenStyle{2, 2, 0, static_cast<uint32_t>(pick(1 << 24))};
      object.region_pen = PenStyle{1, 3, 0, 5};
      object.region_brush = BrushStyle{2, 255, 0xFFFFFF, 1};
      object.symbol.kind = 0;
      object.symbol.shape = 35;
      object.symbol.size = 12;
    }
    ASSERT_EQ(tabfile_write(t, shapefile ? &object : nullptr, nullptr, nullptr), 1);
    if (timed) {
      EXPECT_EQ(t->version, 900);
      EXPECT_EQ(t->edit, 900);
    }
    const std::string first = read("t.TAB");
    // The definition and its index file are read under handles of their own.
    file_unregister(t->def_file);
    t->def_file = 0;
    index_close(t->index);
    t->index = nullptr;

    TabReadContext ctx;
    TableDef* back = reread("t.TAB", &ctx);
    ASSERT_NE(back, nullptr) << first;
    EXPECT_EQ(back->version, t->version);
    EXPECT_EQ(back->read_entire, t->read_entire);
    EXPECT_EQ(back->edit, t->read_entire != t->version ? t->read_entire : t->edit);
    EXPECT_EQ(back->storage.type, t->storage.type);
    EXPECT_EQ(back->description, t->description);
    EXPECT_EQ(typeopts_charset(back->storage.options), typeopts_charset(t->storage.options));
    if (auto* a = std::get_if<AsciiOptions>(&t->storage.options)) {
      const auto& b = std::get<AsciiOptions>(back->storage.options);
      EXPECT_EQ(b.delimiter, a->delimiter);
      EXPECT_EQ(b.titles, a->titles);
    }
    if (auto* s = std::get_if<SheetOptions>(&t->storage.options)) {
      EXPECT_EQ(std::get<SheetOptions>(back->storage.options).range, s->range);
      EXPECT_EQ(std::get<SheetOptions>(back->storage.options).titles, s->titles);
    }
    ASSERT_EQ(back->field_count, t->field_count) << first;
    for (int i = 0; i < n; ++i) {
      const FieldDef& a = t->fields[i];
      const FieldDef& b = back->fields[i];
      EXPECT_STREQ(b.name, a.name);
      EXPECT_EQ(b.value.type, a.value.type);
      EXPECT_EQ(b.width, a.width);
      EXPECT_EQ(b.decimals, a.decimals);
      EXPECT_EQ(b.read_only, a.read_only);
      EXPECT_EQ(b.autokey, a.autokey);
      ASSERT_EQ(b.index != nullptr, a.index != nullptr);
      if (a.index) {
        EXPECT_EQ(b.index->number, a.index->number);
        EXPECT_EQ(b.index->unique, a.index->unique);
      }
    }
    if (t->metadata != nullptr && !metadata_is_empty(t->metadata)) {
      char value[64];
      ASSERT_NE(back->metadata, nullptr);
      EXPECT_GT(metadata_get(back->metadata, "\\Note\\Text", value, sizeof value), 0) << first;
      EXPECT_STREQ(value, "a \"quoted\" value");
    }
    if (shapefile) {
      ASSERT_NE(ctx.object_record, nullptr);
      EXPECT_EQ(ctx.object_record->style_flags, object.style_flags);
      EXPECT_EQ(ctx.object_record->line_pen.colour, object.line_pen.colour);
      EXPECT_EQ(ctx.object_record->region_brush.transparent, 1);
      EXPECT_EQ(ctx.object_record->symbol.shape, 35);
    }
    // A second write of what was read gives the same bytes.
    back->read_only = 0;
    ASSERT_EQ(tabfile_write(back, ctx.object_record.get(), nullptr, nullptr), 1);
    EXPECT_EQ(read("t.TAB"), first);
    tabdef_free(back);
    tabdef_free(t);
    file_reset();
  }
}

// The versions a table needs to hold a map object, by the object's type,
// storage class and sections and by the table's coordinate system.
TEST_F(defs_tabfile, VersionsForMapObjects) {
  ASSERT_EQ(mapobj_runtime_start(), 1);
  const Ring kA = {{0, 0}, {0, 10}, {10, 10}};
  const Ring kB = {{20, 20}, {20, 30}, {30, 30}};
  ObjPtr one_line = MapObjTest::Poly(MAPOBJ_POLYLINE, {kA});
  ObjPtr two_lines = MapObjTest::Poly(MAPOBJ_POLYLINE, {kA, kB});
  ObjPtr wide_pen = MapObjTest::Poly(MAPOBJ_POLYLINE, {kA});
  wide_pen->pen.width = 12;  // measured in points
  ObjPtr many = MapObjTest::New(MAPOBJ_REGION);  // beyond the classic limit of 2,730 sections
  ASSERT_EQ(mapobjx_append_sections(many.get(), 2731, 0, 0, nullptr), 1);
  ObjPtr with_z = MapObjTest::Poly(MAPOBJ_REGION, {kA});
  ASSERT_EQ(mapobjx_set_zm(with_z.get(), 1, 0), 1);
  ObjPtr swapped = MapObjTest::Poly(MAPOBJ_REGION, {kA, kB});
  MapSection* h = mapobj_lock_sections(swapped.get(), 0);
  std::swap(h[0], h[1]);
  ASSERT_EQ(mapobjx_sections_in_order(swapped.get()), 0);
  ObjPtr points = MapObjTest::New(MAPOBJ_MULTIPOINT);
  ObjPtr item = MapObjTest::New(MAPOBJ_TYPE11);

  const struct {
    const char* what;
    VersionTriple current;
    const MapObject* object;
    int16_t projection;  // of the table's transform; -1 for none
    bool raised;
    VersionTriple out;
  } kCases[] = {
      {"classic polyline", {300, 300, 300}, one_line.get(), -1, false, {300, 300, 300}},
      {"two sections, version 100", {100, 100, 100}, two_lines.get(), -1, true, {300, 300, 300}},
      {"two sections, version 300", {300, 300, 300}, two_lines.get(), -1, false, {300, 300, 300}},
      {"region out of order, version 100", {100, 100, 100}, swapped.get(), -1, true, {300, 300, 300}},
      {"large region", {300, 300, 300}, many.get(), -1, true, {300, 300, 450}},
      {"region with Z", {100, 100, 100}, with_z.get(), -1, true, {300, 300, 800}},
      {"pen in points", {300, 300, 300}, wide_pen.get(), -1, true, {450, 450, 450}},
      {"multipoint", {300, 300, 300}, points.get(), -1, true, {300, 300, 650}},
      {"item type 11", {100, 100, 100}, item.get(), -1, true, {300, 300, 300}},
      {"already 452 and 800", {452, 452, 800}, with_z.get(), 32, false, {452, 452, 800}},
      {"projection 26 first", {300, 300, 300}, with_z.get(), 26, true, {452, 452, 452}},
      {"no object", {300, 300, 300}, nullptr, -1, false, {300, 300, 300}},
  };
  for (const auto& c : kCases) {
    TableDef* t = fresh("t.TAB", TABTYPE_NATIVE);
    t->version = c.current.version;
    CoordXform x{};
    if (c.projection >= 0) {
      x.type = c.projection;
      t->map.kind = MAPSTORE_HEADER;
      t->map.header.xform = x;
    }
    VersionTriple o{};
    EXPECT_EQ(tabfile_min_version(&c.current, &o, c.object, t), c.raised) << c.what;
    EXPECT_EQ(o.version, c.out.version) << c.what;
    EXPECT_EQ(o.read_entire, c.out.read_entire) << c.what;
    EXPECT_EQ(o.edit, c.out.edit) << c.what;
    t->map.kind = 0;
    tabdef_free(t);
    file_reset();
  }

  // Any mode but 100 raises the table; mode 100 only puts a region's
  // sections in order and refuses every other need.
  TableDef* t = fresh("t.TAB", TABTYPE_NATIVE);
  EXPECT_EQ(tabfile_version_for_object(0, many.get(), t), 1);
  EXPECT_EQ(t->edit, 450);
  version_set_all(t, 100);
  EXPECT_EQ(tabfile_version_for_object(100, two_lines.get(), t), 0);
  EXPECT_EQ(tabfile_version_for_object(100, one_line.get(), t), 1);
  EXPECT_EQ(tabfile_version_for_object(100, swapped.get(), t), 1);
  EXPECT_EQ(mapobjx_sections_in_order(swapped.get()), 1);
  EXPECT_EQ(MapObjTest::Nodes(swapped.get(), 0), (Ring{{20, 20}, {20, 30}, {30, 30}, {20, 20}}));
  EXPECT_EQ(t->version, 100);
  EXPECT_EQ(t->edit, 100);
  tabdef_free(t);
  one_line.reset(), two_lines.reset(), wide_pen.reset(), many.reset(), with_z.reset(), swapped.reset();
  points.reset(), item.reset();
  mapobj_runtime_end();
  value_set_object_ops(nullptr);
}
