// Compound-document containers (the structured-storage files that hold the
// streams of a workbook): the header, 512- and 4096-byte sectors, the FAT
// with its DIFAT, the directory tree and the mini stream. Read-only; every
// sector number, chain and size is checked against the file, so broken or
// cyclic containers fail instead of over-reading.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

// The signature D0 CF 11 E0 A1 B1 1A E1 at the start of the bytes.
bool cfb_is_container(const uint8_t* data, size_t size);

enum CfbResult : int {
  CFB_OK = 0,
  CFB_BROKEN = 1,     // header, FAT, directory or a chain is unsound
  CFB_NO_STREAM = 2,  // none of the names is a stream under the root
};

// The bytes of the first of the names (case-insensitive, ASCII) that is a
// stream among the root storage's children.
CfbResult cfb_read_stream(const uint8_t* data, size_t size, const char* const* names, size_t name_count,
                          std::vector<uint8_t>* out);
