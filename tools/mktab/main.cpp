// mktab: makes a native table from a fixture table through the table API.
//
//   mktab FIXTURE.fxt OUT.TAB
//
// The fixture's columns become the table's; with its coordsys (and bounds)
// the table gets a map file unless the fixture says nomap. Each row goes in
// with TabApiInsertRow: text fields quoted, the object decoded from the
// row's code, record bytes and style clause (Pen, Line Pen, Brush, Symbol
// and Font clauses as a table definition writes them; what the clause does
// not give keeps the default styles). Rows marked with an error are
// left out; blobs, centres, keys and the like are the kernel's to compute.
// Indexed columns get their index. Exit 0 on success, 1 on failure (the
// message names the fixture line), 2 on bad arguments.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "fixture.h"
#include "kernel/drivers/ascii_text.h"
#include "kernel/mapobjects/mapobj.h"
#include "kernel/mapobjects/objrec.h"
#include "kernel/tables/api/tabapi_kernel.h"
#include "kernel/tables/clauses.h"
#include "kernel/tables/lang/lexer.h"

namespace {

bool numeric(uint8_t type) {
  return type == COLTYPE_DECIMAL || type == COLTYPE_INTEGER || type == COLTYPE_SMALLINT || type == COLTYPE_FLOAT ||
         type == COLTYPE_LARGEINT;
}

int fail(const std::string& what) {
  std::fprintf(stderr, "mktab: %s (error %d)\n", what.c_str(), TabApiLastError());
  return 1;
}

// The line of the fixture text on which row n (from 0) starts.
int row_line(const std::string& text, size_t n) {
  std::istringstream in(text);
  std::string line;
  int number = 0;
  size_t seen = 0;
  while (std::getline(in, line)) {
    ++number;
    if (line.rfind("row\t", 0) == 0 && seen++ == n) return number;
  }
  return 0;
}

std::string quoted_line(const FixtureTable& t, const std::string& text) {
  std::string out;
  size_t start = 0;
  for (size_t i = 0; i < t.columns.size(); ++i) {
    const size_t tab = text.find('\t', start);
    const std::string field = text.substr(start, tab == std::string::npos ? std::string::npos : tab - start);
    if (i > 0) out += '\t';
    if (numeric(t.columns[i].type)) {
      out += field;
    } else {
      std::vector<char> buf(field.size() * 2 + 3);
      ascii_quote_string(field.c_str(), buf.data(), static_cast<int32_t>(buf.size()));
      out += buf.data();
    }
    if (tab == std::string::npos) break;
    start = tab + 1;
  }
  return out;
}

// The styles of a row's object: the default styles with what the style
// clause gives (a Pen clause is the line pen and the area pen unless a Line
// Pen clause gives the line pen). False when the clause does not read.
bool row_styles(const std::string& clause, ObjStyles* out) {
  const StyleSet& d = g_default_style_set;
  StyleClauses st{};
  st.line.width = -1;  // not given
  st.pen.width = -1;
  st.brush.pattern = -1;
  st.symbol = d.symbol;
  st.font = d.font;
  if (!clause.empty()) {
    lex_begin_text(clause.c_str());
    lex_next();
    const bool read = clause_parse_styles(&st) != 0 && lex_has_token() == 0;
    lex_begin_text(nullptr);
    if (!read) return false;
  }
  const PenStyle line = st.line.width != -1 ? st.line : st.pen.width != -1 ? st.pen : d.line_pen;
  const PenStyle area = st.pen.width != -1 ? st.pen : d.area_pen;
  const BrushStyle brush = st.brush.pattern != -1 ? st.brush : d.brush;
  *out = ObjStyles{};
  out->flags = 0x0f;
  objrec_put_pen(&line, &out->line_pen);
  objrec_put_pen(&area, &out->area_pen);
  objrec_put_brush(&brush, &out->brush);
  objrec_put_font(&st.font, &out->font);
  switch (st.symbol.kind) {
    case 1:
      out->symbol_code = 211;
      objrec_put_font_symbol(&st.symbol, &out->symbol);
      break;
    case 2:
      out->symbol_code = 212;
      objrec_put_bitmap_symbol(&st.symbol, &out->symbol);
      break;
    default:
      out->symbol_code = 201;
      objrec_put_vector_symbol(&st.symbol, &out->symbol);
      break;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: mktab FIXTURE.fxt OUT.TAB\n");
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  const std::string text = ss.str();
  FixtureTable t;
  std::string error;
  if (!in || !FixtureParse(text, t, error)) {
    std::fprintf(stderr, "mktab: %s: %s\n", argv[1], error.c_str());
    return 1;
  }
  if (!TabApiInit(6510)) return fail("the table API does not start");
  CoordSysInfo cs{};
  const bool mapped = t.mappable && !t.coordsys.empty();
  if (mapped) {
    if (!TabApiCoordSysFromText(("CoordSys " + t.coordsys).c_str(), &cs)) return fail("bad coordsys " + t.coordsys);
    if (t.x1 != 0 || t.y1 != 0 || t.x2 != 0 || t.y2 != 0) {
      cs.x1 = t.x1;
      cs.y1 = t.y1;
      cs.x2 = t.x2;
      cs.y2 = t.y2;
    }
  }
  const int32_t slot = TabApiCreateTableFromColumns(argv[2], 2, t.columns.data(),
                                                    static_cast<int32_t>(t.columns.size()), mapped ? &cs : nullptr);
  if (slot == 0) return fail(std::string("cannot create ") + argv[2]);
  for (size_t r = 0; r < t.rows.size(); ++r) {
    const FixtureRow& row = t.rows[r];
    if (row.error != 0) continue;
    const std::string where = std::string(argv[1]) + ":" + std::to_string(row_line(text, r));
    ObjRecord rec{};
    const bool object = row.code != 200 && row.code != 0;
    if (object) {
      ObjStyles styles{};
      if (!row_styles(row.style, &styles)) return fail(where + ": the style clause does not read");
      if (row.record.empty() ||
          !TabApiCvRecordToObject(row.record.data(), static_cast<int32_t>(row.record.size()), &cs, &styles, &rec)) {
        return fail(where + ": the record does not decode");
      }
    }
    const std::string line = quoted_line(t, row.text);
    int32_t n = 0;
    if (!TabApiInsertRow(slot, line.c_str(), object ? &rec : nullptr, &n)) return fail(where + ": the row is refused");
  }
  for (size_t i = 0; i < t.columns.size(); ++i) {
    if (t.columns[i].indexed && !TabApiBuildFieldIndex(slot, static_cast<int32_t>(i) + 1)) {
      return fail(std::string("no index for ") + t.columns[i].name);
    }
  }
  if (!TabApiCloseTableCommit(slot)) return fail("cannot close the table");
  TabApiTerminate();
  return 0;
}
