#include "archive_test_support.hpp"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <stdexcept>

namespace archive_test {

std::filesystem::path TempDir::write(std::string_view name, const dat_writer::ArchiveBuilder& b) const {
  const std::filesystem::path path = file(name);
  b.write_file(path);
  return path;
}

std::optional<quorvane_dat::DatDatabase> open_ok(const std::filesystem::path& path) {
  auto db = quorvane_dat::DatDatabase::new_(path);
  if (!db) {
    ADD_FAILURE() << "opening " << path << " failed: " << db.error().display() << "\n"
                  << db.error().debug();
    return std::nullopt;
  }
  return std::move(db).value();
}

std::optional<quorvane_dat::DatError> open_error(const std::filesystem::path& path) {
  auto db = quorvane_dat::DatDatabase::new_(path);
  if (db) {
    ADD_FAILURE() << "opening " << path << " succeeded";
    return std::nullopt;
  }
  return std::move(db).error();
}

std::string one_frame_report(std::string_view first_error, std::string_view message,
                             std::string_view file, std::uint32_t line) {
  const std::string bold = "\x1b[1m";
  const std::string normal = "\x1b[22m";
  std::string heavy20;
  for (int i = 0; i < 20; ++i) heavy20 += "\u2501";
  std::string heavy53;
  for (int i = 0; i < 53; ++i) heavy53 += "\u2501";
  std::string out = "\n \u257A" + heavy20 + "\u2505 Backtrace \u2505" + heavy20 + "\u2578\n\n";
  out += " 0: " + bold + bold + "Error: " + std::string(first_error) + normal + "\n" +
         std::string(11, ' ') + bold + std::string(message) + normal + normal + "\n";
  out += "     at " + std::string(file) + ":" + std::to_string(line) + "\n";
  out += "\n \u257A" + heavy53 + "\u2578\n\n";
  return out;
}

Bytes pattern(std::size_t size, std::uint8_t seed) {
  Bytes out(size);
  for (std::size_t i = 0; i < size; ++i) {
    out[i] = static_cast<std::uint8_t>((i * 7 + seed + i / 251) & 0xFF);
  }
  return out;
}

}  // namespace archive_test
