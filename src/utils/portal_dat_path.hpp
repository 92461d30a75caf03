// Locating portal.dat: QUORVANE_PORTAL_DAT first, then the build-time fallback.
#pragma once

#include <filesystem>
#include <optional>

#include "quorvane_dat/export.hpp"

namespace quorvane_dat {

inline constexpr const char* PORTAL_DAT_ENV = "QUORVANE_PORTAL_DAT";

QUORVANE_DAT_API std::optional<std::filesystem::path> get_portal_dat_path();

/// The fallback candidate: BASE/../../dats/portal.dat, where BASE is fixed
/// when the library is built (by default the library's source directory).
QUORVANE_DAT_API std::filesystem::path portal_dat_fallback_path();

}  // namespace quorvane_dat
