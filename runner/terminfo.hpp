// Reader of compiled terminal descriptions (16-bit and 32-bit number formats)
// and the colour strings the runner takes from them.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "runner/output_location.hpp"

namespace runner {

// Finds the compiled description of `term` in the usual search order
// (TERMINFO, TERMINFO_DIRS or ~/.terminfo, /etc/terminfo, /lib/terminfo,
// /usr/share/terminfo, /boot/system/data/terminfo).
std::optional<std::filesystem::path> find_terminfo(std::string_view term);

// The home directory that the account database text `passwd` (lines of
// name:password:uid:gid:gecos:dir:shell) gives for `uid`, or nothing when no
// line names that uid with a non-empty directory.
std::optional<std::filesystem::path> home_from_passwd(std::string_view passwd, unsigned long uid);

// Colour strings of the description of $TERM, or nothing when TERM is unset,
// no description is found, or it does not read.
std::optional<TerminalColors> terminal_colors_from_env();

}  // namespace runner
