// Reader of the projection vector files that tools/oracle/gen_proj_vectors.py
// writes from PROJ: the CoordSys clause, the vector area and the rows
// (lon, lat, x, y, lon_inv, lat_inv).
#pragma once
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

struct ProjVectorRow {
  double lon, lat, x, y, lon_inv, lat_inv;
};

struct ProjVectors {
  std::string clause;
  double area[4] = {};
  std::vector<ProjVectorRow> rows;
};

inline bool proj_vectors_load(const std::string& name, ProjVectors* out) {
  std::ifstream in(std::string(QL_SOURCE_DIR) + "/tests/data/proj/proj_" + name + ".csv");
  if (!in) return false;
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("# clause: ", 0) == 0) {
      out->clause = line.substr(10);
    } else if (line.rfind("# area: ", 0) == 0) {
      std::istringstream s(line.substr(8));
      s >> out->area[0] >> out->area[1] >> out->area[2] >> out->area[3];
    } else if (!line.empty() && line[0] != '#') {
      ProjVectorRow r;
      if (std::sscanf(line.c_str(), "%lf,%lf,%lf,%lf,%lf,%lf", &r.lon, &r.lat, &r.x, &r.y, &r.lon_inv, &r.lat_inv) ==
          6)
        out->rows.push_back(r);
    }
  }
  return !out->clause.empty() && !out->rows.empty();
}
