// The one place every check of the audit program asks for the archive's path.
#pragma once

#include <filesystem>
#include <optional>

namespace common {

// Exactly what the archive library's locator answers.
std::optional<std::filesystem::path> get_portal_dat_path();

}  // namespace common
