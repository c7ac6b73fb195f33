// Timing helper of the runtime benchmarks: best of several rounds.
#pragma once
#include <chrono>
#include <cstdio>

template <class Fn>
double best_seconds(Fn fn, int rounds = 5) {
  double best = 1e30;
  for (int r = 0; r < rounds; ++r) {
    auto start = std::chrono::steady_clock::now();
    fn();
    double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (s < best) best = s;
  }
  return best;
}

inline void report(const char* what, double ours, double baseline, const char* baseline_name) {
  std::printf("%s: %.1f ns/op, %s: %.1f ns/op, ratio %.2f\n", what, ours, baseline_name, baseline, ours / baseline);
}
