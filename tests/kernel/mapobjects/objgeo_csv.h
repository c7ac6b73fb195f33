// Reading the committed oracle vectors under tests/data: comment lines start
// with '#', fields are comma-separated.
#pragma once
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#ifndef QL_TEST_DATA_DIR
#error "QL_TEST_DATA_DIR must name tests/data"
#endif

inline std::vector<std::vector<std::string>> ReadCsv(const std::string& name) {
  std::ifstream in(std::string(QL_TEST_DATA_DIR) + "/" + name);
  std::vector<std::vector<std::string>> rows;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> fields;
    std::stringstream ss(line);
    std::string f;
    while (std::getline(ss, f, ',')) fields.push_back(f);
    rows.push_back(fields);
  }
  return rows;
}
