// UTF-8 walking for the archive library's own sources: the foundation
// library's helpers under their former name.
#pragma once

#include "base/utf8.hpp"

namespace quorvane_dat {

namespace utf8 = quorvane_base::utf8;

}  // namespace quorvane_dat
