// The one place every check of the audit program asks for the archive's path.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace common {

// Exactly what the archive library's locator answers.
std::optional<std::filesystem::path> get_portal_dat_path();

// When QUORVANE_PORTAL_DAT is set to a non-empty value that cannot name the
// archive (not valid UTF-8, or no entry at that path), a message naming the
// variable, the value and the reason. The locator would quietly pass over
// such a value to the fallback path or to none, and an audit of another
// file, or a skip, would then be taken for the verdict on the named one.
// Nothing when the variable is unset, empty or names an existing entry.
std::optional<std::string> unusable_portal_dat_variable();

}  // namespace common
