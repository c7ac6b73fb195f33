// The kernel formatter against the C library's snprintf on the formats the
// kernel uses most (fixed and %g doubles, 32-bit integers, texts).
#include <cstdio>
#include <random>
#include <vector>

#include "bench_util.h"
#include "kernel/runtime/fmt.h"

int main() {
  std::mt19937_64 rng(1);
  std::uniform_real_distribution<double> dist(-1e7, 1e7);
  std::vector<double> values(20000);
  for (double& v : values) v = dist(rng);
  char buf[128];
  volatile int sink = 0;
  const int n = static_cast<int>(values.size());
  auto ours = [&] {
    for (int i = 0; i < n; ++i) {
      sink = sink + fmt_format(buf, sizeof buf, "%.12f", values[i]);
      sink = sink + fmt_format(buf, sizeof buf, "%g", values[i]);
      sink = sink + fmt_format(buf, sizeof buf, "%.12g, %d", values[i], i);
      sink = sink + fmt_format(buf, sizeof buf, "CHAR(%ld) %s", i, "name");
    }
  };
  auto libc = [&] {
    for (int i = 0; i < n; ++i) {
      sink = sink + std::snprintf(buf, sizeof buf, "%.12f", values[i]);
      sink = sink + std::snprintf(buf, sizeof buf, "%g", values[i]);
      sink = sink + std::snprintf(buf, sizeof buf, "%.12g, %d", values[i], i);
      sink = sink + std::snprintf(buf, sizeof buf, "CHAR(%d) %s", i, "name");
    }
  };
  double ops = 4.0 * n;
  double a = best_seconds(ours) / ops * 1e9;
  double b = best_seconds(libc) / ops * 1e9;
  report("fmt_format", a, b, "snprintf");
  return 0;
}
