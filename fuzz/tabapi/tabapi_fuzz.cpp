// Reads a damaged native table through the table reader. A sound table
// (four columns, an index, a deleted row, points, a polyline, a region, a
// rectangle and a text in a map file) is made once through the table API; each input patches one of its files (first byte: .TAB, .DAT, .IND or
// .MAP; then a 16-bit offset, a length to cut the file to or 0, and the
// bytes to write there) and the reader opens it and reads every row as
// records and as geometry. The files are put back after each input.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "fuzz/fuzz_kernel.h"
#include "kernel/tables/api/TableReader.h"
#include "kernel/tables/api/tabapi_kernel.h"
#include "kernel/tables/storage/tabtype_ops.h"
#include "platform/codepage.h"

namespace {

std::string g_dir;
const char* const kExt[] = {".TAB", ".DAT", ".IND", ".MAP"};
std::string g_good[4];


std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_file(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

bool make_table() {
  const std::string p = g_dir + "/t.TAB";
  const ColumnInfo cols[] = {tabapi_column("ID", COLTYPE_INTEGER, 4, 0), tabapi_column("NAME", COLTYPE_CHAR, 12, 0),
                             tabapi_column("AMOUNT", COLTYPE_DECIMAL, 12, 2), tabapi_column("DAY", COLTYPE_DATE, 4, 0)};
  CoordSysInfo cs{};
  if (!TabApiCoordSysFromText("CoordSys Earth Projection 1, 104", &cs)) return false;
  const int32_t slot = TabApiCreateTableFromColumns(p.c_str(), 2, cols, 4, &cs);
  if (slot == 0) return false;
  // A point, a deleted row, a row without an object, a polyline, a region,
  // a rectangle and a text.
  DPoint nodes[] = {{151.0, -34.0}, {151.1, -33.9}, {151.2, -34.05}, {151.0, -34.0}};
  ObjSection section{4, nodes};
  char words[] = "Harbour";
  ObjRecord objects[7] = {};
  objects[0].code = 201;
  objects[0].u.point.at = DPoint{151.2, -33.8};
  objects[0].u.point.symbol.vector = ObjVectorSymbol{35, 0, 12};
  objects[1] = objects[0];
  objects[2].code = 0;
  objects[3].code = 204;
  objects[3].u.polyline.count = 3;
  objects[3].u.polyline.points = nodes;
  objects[3].u.polyline.pen = ObjPen{1, 2, 0, 0};
  objects[4].code = 205;
  objects[4].u.region.sections = 1;
  objects[4].u.region.section = &section;
  objects[4].u.region.pen = ObjPen{1, 2, 0, 0};
  objects[4].u.region.brush = ObjBrush{2, 16777215, 16777215, 0};
  objects[5].code = 207;
  objects[5].u.rect.rect = DRect{150.0, -35.0, 150.5, -34.5};
  objects[5].u.rect.pen = ObjPen{1, 2, 0, 0};
  objects[5].u.rect.brush = ObjBrush{2, 16777215, 16777215, 0};
  objects[6].code = 206;
  objects[6].u.text.box = DRect{151.0, -34.0, 151.2, -33.9};
  objects[6].u.text.label_end = DPoint{151.1, -33.95};
  objects[6].u.text.text = words;
  const char* rows[] = {"1\t\"a\"\t1.25\t\"20240101\"", "2\t\"b\"\"c\"\t-3\t\"\"", "3\t\"\"\t0\t\"19991231\"",
                        "4\t\"line\"\t4\t\"\"",           "5\t\"area\"\t5\t\"\"",       "6\t\"box\"\t6\t\"\"",
                        "7\t\"text\"\t7\t\"\""};
  for (int i = 0; i < 7; ++i) {
    int32_t n = 0;
    if (!TabApiInsertRow(slot, rows[i], objects[i].code != 0 ? &objects[i] : nullptr, &n)) return false;
  }
  tabtype_delete_row(&api_slot(slot)->table->storage, 2);
  if (!TabApiBuildFieldIndex(slot, 1) || !TabApiCloseTableCommit(slot)) return false;
  for (int i = 0; i < 4; ++i) g_good[i] = read_file(g_dir + "/t" + kExt[i]);
  return !g_good[3].empty();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool ready = [] {
    cp_set_ansi_page(1252);
    cp_set_oem_page(850);
    g_dir = fuzz_temp_dir("tabapi");
    ReaderApiInit(TABAPI_VERSION);
    return make_table();
  }();
  if (!ready || size < 5) return 0;
  const int which = data[0] % 4;
  const size_t offset = data[1] | (data[2] << 8);
  const size_t cut = data[3] | (data[4] << 8);
  std::string bytes = g_good[which];
  if (offset <= bytes.size() + 64) {
    if (bytes.size() < offset) bytes.resize(offset, '\0');
    bytes.replace(offset, std::min(size - 5, bytes.size() - offset), reinterpret_cast<const char*>(data + 5), size - 5);
  }
  if (cut != 0 && cut < bytes.size()) bytes.resize(cut);
  const std::string path = g_dir + "/t" + kExt[which];
  write_file(path, bytes);

  std::unique_ptr<CTableReader> r(CreateTableReader());
  if (r && r->Open(g_dir + "/t.TAB", 1)) {
    const int rows = r->GetRowCount() < 1000 ? r->GetRowCount() : 1000;
    char text[READER_TEXT_SIZE];
    for (int n = 1; n <= rows; ++n) {
      CUploadOptions o;
      unsigned char* rec = nullptr;
      int got = 0;
      DRect b{};
      DPoint c{};
      std::string key;
      if (r->ReadRecord(n, text, &rec, &got, &b, &o, &c, &key) && rec != nullptr) r->FreeRecord(rec);
      unsigned char* blob = nullptr;
      if (r->ReadGeometry(n, text, &blob, &got, &b, &o) && blob != nullptr) r->FreeGeometry(blob);
    }
  }
  if (r) r->Close();
  if (g_good[which].empty() && which >= 2) {
    unlink(path.c_str());
  } else {
    write_file(path, g_good[which]);
  }
  return 0;
}
