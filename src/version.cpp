#include "quorvane_dat/version.hpp"

namespace quorvane_dat {

Version version() noexcept {
  return Version{QUORVANE_DAT_VERSION_MAJOR, QUORVANE_DAT_VERSION_MINOR, QUORVANE_DAT_VERSION_PATCH,
                 QUORVANE_DAT_VERSION_STRING};
}

}  // namespace quorvane_dat
