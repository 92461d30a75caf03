#include "consumer_reader.hpp"

#include <quorvane_dat/quorvane_dat.hpp>

std::uint64_t consumer_file_size(const std::string& archive, std::uint32_t id) {
  auto db = quorvane_dat::DatDatabase::new_(archive);
  if (!db) return 0;
  auto size = db->decoded_size(id);
  return size ? *size : 0;
}
