// The archive file read directly, beside the library, for what verify must
// see that the library's reads do not report: the header of an archive whose
// directory cannot be read, and the pointer of a block.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>

#include "quorvane_dat/lib/dat_header.hpp"

namespace portal_dat {

class RawArchive {
 public:
  // Opens the file read-only; the error text when it cannot be opened or measured.
  static std::variant<RawArchive, std::string> open(const std::string& path);

  RawArchive(RawArchive&& other) noexcept;
  RawArchive& operator=(RawArchive&&) = delete;
  RawArchive(const RawArchive&) = delete;
  RawArchive& operator=(const RawArchive&) = delete;
  ~RawArchive();

  // The file's length, measured as the library measures it.
  std::uint64_t length() const noexcept { return length_; }
  // The header, or nullopt when the file ends inside it; the error text when
  // it cannot be read.
  std::variant<std::optional<quorvane_dat::DatHeader>, std::string> header() const;
  // The little-endian 32-bit value at `offset`, or nullopt when it cannot be read.
  std::optional<std::uint32_t> read_u32(std::uint64_t offset) const;

 private:
  RawArchive(int fd, std::uint64_t length) noexcept : fd_(fd), length_(length) {}
  // Reads all of `n` bytes at `offset`; false at the end of the file, the
  // error text on a failed read.
  std::variant<bool, std::string> read_at(std::uint8_t* out, std::size_t n, std::uint64_t offset) const;

  int fd_;
  std::uint64_t length_;
};

}  // namespace portal_dat
