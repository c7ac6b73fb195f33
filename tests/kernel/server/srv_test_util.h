// Helpers of the server tests: the arguments of an error entry.
#pragma once
#include <string>
#include <vector>

#include "kernel/runtime/err.h"

namespace srvtest {

// The first (or second) argument of error entry i.
inline std::string Arg(int i, int which = 1) {
  const ErrorEntry& e = g_err_stack->entries[i];
  const int16_t off = which == 1 ? e.arg1_offset : e.arg2_offset;
  const int16_t len = which == 1 ? e.arg1_length : e.arg2_length;
  return len > 0 ? std::string(g_err_stack->pool + off) : std::string();
}

// The statements without the catalogue probes every new connection makes
// for its rendition and row-count flags.
inline std::vector<std::string> WithoutCatalogueProbes(const std::vector<std::string>& statements) {
  std::vector<std::string> out;
  for (const std::string& s : statements) {
    const bool probe = s.rfind("select ", 0) == 0 &&
                       s.find(" from \"CORVANE\".\"CORVANE_MAPCATALOG\"") != std::string::npos &&
                       s.find(" where ") == std::string::npos;
    if (!probe) out.push_back(s);
  }
  return out;
}

}  // namespace srvtest
