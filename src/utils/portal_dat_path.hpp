// Locating portal.dat: QUORVANE_PORTAL_DAT first, then the build-time fallback.
#pragma once

#include <filesystem>
#include <optional>

namespace quorvane_dat {

inline constexpr const char* PORTAL_DAT_ENV = "QUORVANE_PORTAL_DAT";

std::optional<std::filesystem::path> get_portal_dat_path();

// The fallback candidate: <library source dir>/../../dats/portal.dat.
std::filesystem::path portal_dat_fallback_path();

}  // namespace quorvane_dat
