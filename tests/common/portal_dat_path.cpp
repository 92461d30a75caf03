#include "tests/common/portal_dat_path.hpp"

#include "utils/portal_dat_path.hpp"

namespace common {

std::optional<std::filesystem::path> get_portal_dat_path() {
  return quorvane_dat::get_portal_dat_path();
}

}  // namespace common
