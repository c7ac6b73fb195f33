// 1,000,000 records of 60 bytes through the dBASE file engine against
// plain sequential reads and writes of the same bytes in the same run:
// dbfile_append against write(2) of 512-byte pieces, dbfile_read of every
// record against read(2) of 512-byte pieces. Prints both times and the
// ratio engine/plain; exits 1 when a ratio is above 5.
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "kernel/runtime/charset.h"
#include "kernel/runtime/file.h"
#include "kernel/tables/storage/dbfile.h"
#include "platform/codepage.h"

namespace {

constexpr int32_t kRecords = 1000000;
constexpr int32_t kRecordLength = 60;

double now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

}  // namespace

int main() {
  cp_set_ansi_page(1252);
  cp_set_oem_page(850);
  charset_init_system();
  const std::string engine_path = "/tmp/bench_dbfile_" + std::to_string(getpid()) + ".DBF";
  const std::string plain_path = "/tmp/bench_dbfile_plain_" + std::to_string(getpid()) + ".bin";
  const int32_t h = file_register_nocheck(engine_path.c_str(), 18);
  DbfFieldDesc field = {"TEXT", 'C', kRecordLength - 1, 0};
  if (h <= 0 || dbfile_create(h, 1, &field) != DBF_OK) return 1;
  std::vector<uint8_t> record(kRecordLength, 'x');

  // Writes.
  double t0 = now();
  DbfFile* f = nullptr;
  if (dbfile_open(h, &f, 2) != DBF_OK) return 1;
  for (int32_t n = 1; n <= kRecords; ++n) {
    if (dbfile_append(f, n, record.data()) != DBF_OK) return 1;
  }
  if (dbfile_close(f) != DBF_OK) return 1;
  const double engine_write = now() - t0;
  std::vector<char> piece(512, 'x');
  const int64_t total = static_cast<int64_t>(kRecords) * kRecordLength;
  t0 = now();
  const int fd = open(plain_path.c_str(), O_CREAT | O_TRUNC | O_WRONLY | O_CLOEXEC, 0644);
  for (int64_t done = 0; done < total; done += 512) {
    if (write(fd, piece.data(), 512) != 512) return 1;
  }
  close(fd);
  const double plain_write = now() - t0;

  // Reads.
  t0 = now();
  if (dbfile_open(h, &f, 1) != DBF_OK) return 1;
  uint64_t sum = 0;
  uint8_t deleted = 0;
  for (int32_t n = 1; n <= kRecords; ++n) {
    if (dbfile_read(f, n, record.data(), &deleted) != DBF_OK) return 1;
    sum += record[n % (kRecordLength - 1)];
  }
  dbfile_close(f);
  const double engine_read = now() - t0;
  t0 = now();
  const int rfd = open(plain_path.c_str(), O_RDONLY | O_CLOEXEC);
  while (read(rfd, piece.data(), 512) == 512) sum += static_cast<uint8_t>(piece[sum % 512]);
  close(rfd);
  const double plain_read = now() - t0;
  if (sum == 1) std::puts("");  // keep the reads

  file_reset();
  std::remove(engine_path.c_str());
  std::remove(plain_path.c_str());
  int failed = 0;
  const struct {
    const char* name;
    double engine, plain;
  } kRows[] = {{"append", engine_write, plain_write}, {"read", engine_read, plain_read}};
  for (const auto& r : kRows) {
    const double ratio = r.engine / r.plain;
    std::printf("%-7s engine %.3f s  plain %.3f s  ratio %.2f (limit 5)\n", r.name, r.engine, r.plain, ratio);
    if (ratio > 5) failed = 1;
  }
  return failed;
}
