// Any bytes as an index file: opened, and each index in use walked from
// both ends, sought, added to and taken from. With the first byte's top bit
// set the rest is instead a stream of inserts and deletes on a fresh file
// of three indexes (key lengths 4, 8 and 128), walked after each hundred.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "fuzz/fuzz_kernel.h"
#include "fuzz/fuzz_bytes.h"
#include "kernel/runtime/charset.h"
#include "kernel/runtime/err.h"
#include "kernel/runtime/file.h"
#include "kernel/tables/index/indexfile.h"
#include "platform/codepage.h"

namespace {

std::string g_path;

void walk(IndexFile* ix, int32_t n) {
  uint8_t key[kKeyMaxStored];
  int32_t row = 0;
  btree_rewind(ix, n);
  for (int i = 0; i < 100000 && btree_next_leaf(ix, n, key, &row); ++i) {
  }
  btree_wind_end(ix, n);
  for (int i = 0; i < 100000 && btree_prev_leaf(ix, n, key, &row); ++i) {
  }
}

void mutate(IndexFile* ix, FuzzBytes* in) {
  while (in->n > 0) {
    const auto op = in->take<uint8_t>();
    const int32_t n = 1 + op % static_cast<int32_t>(ix->entries.size() > 0 ? ix->entries.size() : 1);
    if (!index_in_use(ix, n)) continue;
    const int32_t k = ix->entries[static_cast<size_t>(n - 1)].key_length;
    uint8_t key[kKeyMaxStored] = {};
    const auto v = in->take<uint16_t>();
    key[0] = static_cast<uint8_t>(v >> 8);
    key[k - 1] = static_cast<uint8_t>(v);
    const int32_t row = 1 + (v % 50);
    int32_t found = row;
    switch ((op >> 5) & 3) {
      case 0: btree_insert(ix, n, key, row); break;
      case 1: btree_delete(ix, n, key, row); break;
      case 2: btree_search(ix, n, key, static_cast<int16_t>(op % 3), &found); break;
      default: walk(ix, n); break;
    }
  }
}


}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool ready = [] {
    fuzz_charsets_start();
    g_path = "/tmp/fuzz_index_" + std::to_string(getpid()) + ".IND";
    return true;
  }();
  (void)ready;
  if (size < 1) return 0;
  FuzzBytes in{data + 1, size - 1};
  IndexFile* ix = nullptr;
  if (data[0] & 0x80) {
    std::remove(g_path.c_str());
    if (!index_file_create(0, g_path.c_str(), 7, 1, &ix)) return 0;
    if (index_file_begin(ix, 2)) {
      for (int k : {4, 8, 128}) index_add(ix, k, nullptr);
      mutate(ix, &in);
      for (int32_t n = 1; n <= 3; ++n) walk(ix, n);
      index_file_end(ix);
    }
  } else {
    if (!fuzz_put_file(g_path.c_str(), data + 1, size - 1)) return 0;
    if (!index_file_open(g_path.c_str(), 7, &ix)) {
      err_clear();
      return 0;
    }
    if (index_file_begin(ix, 2)) {
      for (int32_t n = 1; n <= static_cast<int32_t>(ix->entries.size()); ++n)
        if (index_in_use(ix, n)) walk(ix, n);
      // The last bytes (at most 64) double as operations.
      const size_t tail = size - 1 < 64 ? size - 1 : 64;
      FuzzBytes ops{data + size - tail, tail};
      mutate(ix, &ops);
      index_file_end(ix);
    }
  }
  index_close(ix);
  err_clear();
  return 0;
}
