// The runner's help text, laid out from the option table.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "runner/option_table.hpp"

namespace runner {

// Column at which option descriptions start, and the width of their rows.
inline constexpr std::size_t HELP_DESC_COLUMN = 24;
inline constexpr std::size_t HELP_DESC_WIDTH = 54;

// Splits `line` at white space and packs the words greedily into rows of at
// most `width` characters; a longer word stands alone on its row.
std::vector<std::string> pack_words(std::string_view line, std::size_t width);

// One option's block: the option column and its description rows, ending
// with a line end.
std::string option_block(const OptionDef& def);

// The whole help text for a program called `program_name`.
std::string help_text(std::string_view program_name);

}  // namespace runner
