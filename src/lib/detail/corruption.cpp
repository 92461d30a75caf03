#include "quorvane_dat/lib/detail/corruption.hpp"

#include <cstdarg>
#include <cstdio>

namespace quorvane_dat::detail {

DatError corruption(const char* format, ...) {
  char text[256];
  std::va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  return DatError::Corruption{text};
}

DatError file_larger_than_archive(std::uint32_t id, std::uint32_t size, std::uint64_t archive_length) {
  return corruption("file 0x%08X claims %u bytes, more than the archive's %llu bytes",
                    static_cast<unsigned>(id), static_cast<unsigned>(size), ull(archive_length));
}

DatError chain_larger_than_archive(std::uint32_t offset, std::uint32_t size,
                                   std::uint64_t archive_length) {
  return corruption("chain at 0x%08X claims %u bytes, more than the archive's %llu bytes",
                    static_cast<unsigned>(offset), static_cast<unsigned>(size), ull(archive_length));
}

}  // namespace quorvane_dat::detail
