// Random result columns and rows from the scripted driver into the Oracle
// Spatial readers: detection, layer metadata (DIMINFO of any length and
// type), dimensions and SRID, tiling level and tile size, the spatial index
// with its row count and estimate, workspace probes and row reading. The
// first byte picks the reader, the next the column count; each column
// takes a type byte and a buffer-length byte, then come rows of cells (a
// null flag, a length, the bytes).
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "kernel/runtime/err.h"
#include "kernel/runtime/value.h"
#include "kernel/server/fake_driver.h"
#include "kernel/server/srv_ora.h"
#include "kernel/tables/tabdef.h"

namespace {

struct Reader {
  const uint8_t* data;
  size_t size;
  size_t at = 0;
  uint8_t byte() { return at < size ? data[at++] : 0; }
  std::string bytes(size_t n) {
    const size_t k = at + n <= size ? n : size - at;
    std::string s(reinterpret_cast<const char*>(data) + at, k);
    at += k;
    return s;
  }
};

const uint8_t kTypes[] = {1, 16, 17, 2, 3, 4, 8, 6, 90, 108, 5, 200};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Reader in{data, size};
  const uint8_t which = in.byte();
  const int ncols = 1 + in.byte() % 3;
  SrvConnection* conn = fake::FreshConnection();
  if (conn == nullptr) return 0;
  fake::Script& s = fake::Current();
  for (int c = 0; c < ncols; ++c) {
    fake::Column col;
    col.name = "C" + std::to_string(c);
    col.type = kTypes[in.byte() % sizeof kTypes];
    col.buffer_length = 8 + in.byte();  // the scripted driver writes a whole double
    s.columns.push_back(col);
  }
  const int nrows = in.byte() % 4;
  for (int r = 0; r < nrows; ++r) {
    std::vector<fake::Cell> row;
    for (int c = 0; c < ncols; ++c) {
      fake::Cell cell;
      cell.null = (in.byte() & 7) == 0;
      cell.bytes = in.bytes(in.byte());
      if (cell.bytes.size() >= sizeof(double)) std::memcpy(&cell.number, cell.bytes.data(), sizeof(double));
      row.push_back(cell);
    }
    s.rows.push_back(row);
  }
  SpatialColumnDesc desc;
  std::strcpy(desc.owner, "O");
  std::strcpy(desc.table, "T");
  std::strcpy(desc.column, "G");
  desc.tiling_level = in.byte();
  std::strcpy(conn->version, (which & 16) ? "8.1.6.0.0" : "10.2.0.1.0");
  conn->oracle_815 = (which >> 5) & 1;
  switch (which % 10) {
    case 0:
      std::strcpy(conn->driver_name, "ORAINET");
      ora_detect_spatial(conn);
      break;
    case 1: {
      DRect b;
      int32_t srid = 0;
      ora_read_geom_metadata(conn, "O", "T", "G", &b, &srid);
      break;
    }
    case 2: ora_load_column_metadata(conn, &desc); break;
    case 3:
      if (ora_read_tile_size(&desc, conn)) {
        const DRect w{0, 0, 1e300, 1e300};
        ora_window_tile_count(&w, &desc);
      }
      break;
    case 4: ora_read_index_level(&desc, conn); break;
    case 5: ora_create_spatial_index("O", "T", "G", conn); break;
    case 6: {
      char name[36];
      ora_get_workspace(conn, name, sizeof name);
      ora_remove_workspace(conn, "W");
      break;
    }
    case 7:
      conn->major_version = 10;
      std::strcpy(conn->server_type, "Oracle_Spatial");
      ora_table_conflicts(conn, "W", "T", "ID > 1", "ID");
      ora_workspace_occupied(conn, "W");
      break;
    case 8: {
      SrvStatement* stmt = ora_select_ordered(conn, "T", nullptr, "ID");
      FieldDef fields[2][3] = {};
      FieldDef* rows[2] = {fields[0], fields[1]};
      ora_fetch_rows(conn, stmt, rows, 2);
      for (auto& row : fields) {
        for (FieldDef& f : row) value_free(&f.value);
      }
      if (stmt != nullptr) ora_close_statement(conn, stmt);
      break;
    }
    default: ora_srid_is_geodetic(conn, 8307); break;
  }
  srv_unload_all();
  err_clear();
  return 0;
}
