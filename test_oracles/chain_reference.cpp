#include "test_oracles/chain_reference.hpp"

#include <algorithm>
#include <cstdio>
#include <fstream>

namespace test_oracles {

namespace {

constexpr const char* EOF_DISPLAY = "IO error: failed to fill whole buffer";

std::string hex8(std::uint64_t v) {
  char text[32];
  std::snprintf(text, sizeof text, "%08llX", static_cast<unsigned long long>(v));
  return text;
}

}  // namespace

ChainOutcome block_by_block(const std::vector<std::uint8_t>& file, std::uint32_t block_size,
                            std::uint32_t offset, std::uint32_t size) {
  ChainOutcome out;
  // More bytes than the whole archive are refused before anything is read.
  if (size > file.size()) {
    out.error = "Corruption detected: chain at 0x" + hex8(offset) + " claims " + std::to_string(size) +
                " bytes, more than the archive's " + std::to_string(file.size()) + " bytes";
    return out;
  }
  std::vector<std::uint8_t> buf(size);
  std::size_t pos = 0;
  std::uint64_t current = offset;
  auto fits = [&](std::uint64_t at, std::uint64_t n) { return at + n <= file.size(); };
  while (pos < size) {
    if (current > 0xFFFFFFFBU) {
      out.error = "Corruption detected: block offset 0x" + hex8(current) +
                  " leaves no room for a payload below 4 GiB";
      return out;
    }
    if (!fits(current, 4)) {
      out.error = EOF_DISPLAY;
      return out;
    }
    const std::uint32_t next = static_cast<std::uint32_t>(file[current]) |
                               static_cast<std::uint32_t>(file[current + 1]) << 8 |
                               static_cast<std::uint32_t>(file[current + 2]) << 16 |
                               static_cast<std::uint32_t>(file[current + 3]) << 24;
    std::size_t piece = size - pos;
    if (next != 0) {
      if (block_size <= 4) {
        out.error = "Corruption detected: block_size " + std::to_string(block_size) +
                    " is too small to follow block 0x" + hex8(current) + " to 0x" + hex8(next);
        return out;
      }
      piece = std::min<std::size_t>(piece, block_size - 4);
    }
    if (!fits(current + 4, piece)) {
      out.error = EOF_DISPLAY;
      return out;
    }
    std::copy_n(file.begin() + static_cast<std::ptrdiff_t>(current + 4), piece,
                buf.begin() + static_cast<std::ptrdiff_t>(pos));
    pos += piece;
    current = next;
  }
  out.ok = true;
  out.bytes = std::move(buf);
  return out;
}

ChainOutcome library_read(const quorvane_dat::DatDatabase& db, std::uint32_t offset,
                          std::uint32_t size) {
  ChainOutcome out;
  auto got = db.read_file_data(offset, size);
  if (got) {
    out.ok = true;
    out.bytes = std::move(got).value();
  } else {
    out.error = got.error().display();
  }
  return out;
}

std::optional<std::uint64_t> read_calls() {
  std::ifstream io("/proc/self/io");
  std::string key;
  std::uint64_t value = 0;
  while (io >> key >> value) {
    if (key == "syscr:") return value;
  }
  return std::nullopt;
}

}  // namespace test_oracles
