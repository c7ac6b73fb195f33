// Reads of 512-byte blocks through the block cache against plain pread of
// the same blocks, on a 64 MB file whose pages are in the page cache:
// sequential reads, random blocks, and random blocks among 300 hot ones.
// Prints both times and the ratio cache/pread for each pattern.
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "kernel/runtime/cache.h"
#include "kernel/runtime/charset.h"
#include "kernel/runtime/file.h"

namespace {

constexpr int64_t kFileSize = 64 << 20;
constexpr int32_t kBlocks = static_cast<int32_t>(kFileSize / 512);

double seconds_of(const std::vector<int32_t>& blocks, bool through_cache, int32_t handle, int fd) {
  char buf[512];
  uint64_t sum = 0;
  const auto t0 = std::chrono::steady_clock::now();
  for (int32_t b : blocks) {
    if (through_cache) {
      file_seek(handle, b * 512, 0);
      if (file_read(handle, buf, 512) != 512) std::abort();
    } else {
      if (pread(fd, buf, 512, static_cast<off_t>(b) * 512) != 512) std::abort();
    }
    sum += static_cast<uint8_t>(buf[b % 512]);
  }
  const auto t1 = std::chrono::steady_clock::now();
  if (sum == 1) std::puts("");  // keep the reads
  return std::chrono::duration<double>(t1 - t0).count();
}

}  // namespace

int main() {
  const std::string path = "/tmp/bench_block_cache_" + std::to_string(getpid()) + ".dat";
  {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return 1;
    std::vector<char> chunk(1 << 20);
    for (size_t i = 0; i < chunk.size(); ++i) chunk[i] = static_cast<char>(i * 7);
    for (int i = 0; i < 64; ++i) std::fwrite(chunk.data(), 1, chunk.size(), f);
    std::fclose(f);
  }
  block_cache_init();
  const int32_t h = file_register(path.c_str(), 0);
  if (file_open(h, 1, 0, nullptr) < 0) return 1;
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  std::mt19937 rng(12345);
  std::vector<int32_t> sequential(kBlocks);
  for (int32_t i = 0; i < kBlocks; ++i) sequential[i] = i;
  std::vector<int32_t> random(kBlocks);
  for (auto& b : random) b = static_cast<int32_t>(rng() % kBlocks);
  std::vector<int32_t> hot_set(300);
  for (auto& b : hot_set) b = static_cast<int32_t>(rng() % kBlocks);
  std::vector<int32_t> hot(kBlocks);
  for (auto& b : hot) b = hot_set[rng() % hot_set.size()];
  seconds_of(sequential, false, h, fd);  // warm the page cache
  const struct {
    const char* name;
    const std::vector<int32_t>* blocks;
    double limit;
  } patterns[] = {{"sequential", &sequential, 1.3}, {"random", &random, 1.3}, {"hot 300", &hot, 0.5}};
  int failed = 0;
  for (const auto& p : patterns) {
    double best_cache = 1e9;
    double best_pread = 1e9;
    for (int rep = 0; rep < 5; ++rep) {
      best_pread = std::min(best_pread, seconds_of(*p.blocks, false, h, fd));
      best_cache = std::min(best_cache, seconds_of(*p.blocks, true, h, fd));
    }
    const double ratio = best_cache / best_pread;
    std::printf("%-10s %7d reads  cache %8.2f ms  pread %8.2f ms  ratio %.2f (at most %.1f)\n", p.name,
                static_cast<int>(p.blocks->size()), best_cache * 1e3, best_pread * 1e3, ratio, p.limit);
    if (ratio > p.limit) ++failed;
  }
  close(fd);
  file_release(h);
  file_unregister(h);
  block_cache_free();
  unlink(path.c_str());
  return failed == 0 ? 0 : 2;
}
