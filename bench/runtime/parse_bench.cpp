// str_to_double against the C library's strtod on numbers as tables hold
// them (fixed, exponent, integers, with leading blanks).
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "bench_util.h"
#include "kernel/runtime/str.h"

int main() {
  std::mt19937_64 rng(2);
  std::uniform_real_distribution<double> dist(-1e6, 1e6);
  std::vector<std::string> texts;
  char buf[64];
  for (int i = 0; i < 20000; ++i) {
    double v = dist(rng);
    switch (i % 4) {
      case 0: std::snprintf(buf, sizeof buf, "%.6f", v); break;
      case 1: std::snprintf(buf, sizeof buf, "%.17g", v); break;
      case 2: std::snprintf(buf, sizeof buf, "%d", static_cast<int>(v)); break;
      default: std::snprintf(buf, sizeof buf, "   %.3e", v); break;
    }
    texts.emplace_back(buf);
  }
  volatile double sink = 0;
  auto ours = [&] {
    for (const std::string& t : texts) {
      double d = 0;
      str_to_double(t.c_str(), &d);
      sink = sink + d;
    }
  };
  auto libc = [&] {
    for (const std::string& t : texts) sink = sink + std::strtod(t.c_str(), nullptr);
  };
  double ops = static_cast<double>(texts.size());
  double a = best_seconds(ours, 9) / ops * 1e9;
  double b = best_seconds(libc, 9) / ops * 1e9;
  report("str_to_double", a, b, "strtod");
  return 0;
}
