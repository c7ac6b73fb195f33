// Text forms of values against std::to_chars and snprintf of the same
// numbers, and value comparison of texts against strcmp.
#include <charconv>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "../runtime/bench_util.h"
#include "kernel/runtime/charset.h"
#include "kernel/runtime/valcmp.h"
#include "kernel/runtime/valconv.h"

int main() {
  charset_init_system();
  std::mt19937_64 rng(1);
  std::uniform_real_distribution<double> dist(-1e6, 1e6);
  const int n = 20000;
  std::vector<Value> decimals(n), floats(n), dates(n), times(n);
  for (int i = 0; i < n; ++i) {
    double x = dist(rng);
    decimals[i] = Value{};
    decimals[i].type = VALUE_DECIMAL;
    decimals[i].u.d = x;
    floats[i] = decimals[i];
    floats[i].type = VALUE_FLOAT;
    value_set_int((1900 + int32_t(rng() % 200)) * 10000 + (1 + int32_t(rng() % 12)) * 100 + 1 + int32_t(rng() % 28),
                  VALUE_DATE, &dates[i]);
    value_set_int(int32_t(rng() % 24) * 10000000 + int32_t(rng() % 60) * 100000, VALUE_TIME, &times[i]);
  }
  char buf[128];
  volatile size_t sink = 0;
  struct Row {
    const char* name;
    std::vector<Value>* values;
    int16_t decimals;
  } rows[] = {{"value_to_text decimal(2)", &decimals, 2},
              {"value_to_text float", &floats, -1},
              {"value_to_text date", &dates, -1},
              {"value_to_text time", &times, -1}};
  for (const Row& row : rows) {
    double ours = best_seconds([&] {
      for (const Value& v : *row.values) sink = sink + std::strlen(value_to_text(&v, buf, sizeof buf, row.decimals, 0));
    });
    double base = best_seconds([&] {
      for (const Value& v : *row.values) {
        if (v.type == VALUE_DECIMAL) {
          sink = sink + size_t(std::to_chars(buf, buf + sizeof buf, v.u.d, std::chars_format::fixed, 2).ptr - buf);
        } else if (v.type == VALUE_FLOAT) {
          sink = sink + size_t(std::snprintf(buf, sizeof buf, "%.6g", v.u.d));
        } else if (v.type == VALUE_DATE) {
          sink = sink + size_t(std::snprintf(buf, sizeof buf, "%04d%02d%02d", v.u.date.year, v.u.date.month,
                                             v.u.date.day));
        } else {
          sink = sink + size_t(std::snprintf(buf, sizeof buf, "%02d%02d%02d%03d", v.u.time.hour, v.u.time.minute,
                                             v.u.time.second, v.u.time.ms));
        }
      }
    });
    report(row.name, ours / n * 1e9, base / n * 1e9, "to_chars/snprintf");
  }

  std::vector<std::string> words(n);
  for (auto& w : words) {
    w.resize(4 + rng() % 12);
    for (char& c : w) c = char('a' + rng() % 26);
  }
  std::vector<Value> texts(n);
  for (int i = 0; i < n; ++i) value_init(&texts[i], VALUE_CHAR_REF, words[i].c_str());
  double ours = best_seconds([&] {
    int16_t r;
    for (int i = 1; i < n; ++i) {
      valcmp_values(&texts[i - 1], &texts[i], &r, 0, 0);
      sink = sink + size_t(r + 1);
    }
  });
  double base = best_seconds([&] {
    for (int i = 1; i < n; ++i) sink = sink + size_t(std::strcmp(words[i - 1].c_str(), words[i].c_str()) + 1);
  });
  report("valcmp_values text", ours / n * 1e9, base / n * 1e9, "strcmp");
  return 0;
}
