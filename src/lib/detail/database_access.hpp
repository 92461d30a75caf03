// DatabaseAccess: the open archive behind a handle, for the library's readers
// that live outside the handle (batch reads, file streams). Internal to the
// archive library.
#pragma once

#include "quorvane_dat/lib/dat_database.hpp"
#include "quorvane_dat/utils/detail/positioned_read.hpp"

namespace quorvane_dat::detail {

class DatabaseAccess {
 public:
  static const ArchiveSource& file(const DatDatabase& database) noexcept { return *database.source_; }
};

}  // namespace quorvane_dat::detail
