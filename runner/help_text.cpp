#include "runner/help_text.hpp"

namespace runner {
namespace {

bool is_space(char c) noexcept {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

constexpr std::string_view TRAILING_TEXT =
    "The FILTER string is tested against the name of all tests, and only those\n"
    "tests whose names contain the filter are run. Multiple filter strings may\n"
    "be passed, which will run all tests matching any of the filters.\n"
    "\n"
    "By default, all tests are run in parallel. This can be altered with the\n"
    "--test-threads flag when running tests (set it to 1).\n"
    "\n"
    "By default, the tests are run in alphabetical order. Use --shuffle to run\n"
    "the tests in random order. Pass the generated \"shuffle seed\" to\n"
    "--shuffle-seed to run the tests in the same order again. Note that\n"
    "--shuffle and --shuffle-seed do not affect whether the tests are run in\n"
    "parallel.\n"
    "\n"
    "All tests have their standard output and standard error captured by default.\n"
    "This can be overridden with the --no-capture flag or by setting "
    "QUORVANE_TEST_NOCAPTURE to a value other than \"0\".\n"
    "Logging is not captured by default.\n"
    "\n"
    "Test Attributes:\n"
    "\n"
    "    Each test is a registry entry, `TestDescAndFn{desc, fn}`: a function\n"
    "    without arguments that passes by returning and fails by raising a check\n"
    "    failure, and a `TestDesc` whose fields mark it:\n"
    "\n"
    "    `.should_panic = ShouldPanic::No` - A plain test (the default).\n"
    "    benchmark - A benchmark, run only with --bench; this program has none.\n"
    "    `.should_panic = ShouldPanic::Yes` - The test passes only if it fails.\n"
    "    `.should_panic = ShouldPanic::YesWithMessage, .expected_message = \"T\"`\n"
    "        - The test passes only if it fails with a message containing T.\n"
    "    `.ignore = true` - The test is not run unless --ignored or\n"
    "        --include-ignored is given; `.ignore_message` tells why.\n";

}  // namespace

std::vector<std::string> pack_words(std::string_view line, std::size_t width) {
  std::vector<std::string> rows;
  std::string row;
  std::size_t pos = 0;
  while (pos < line.size()) {
    while (pos < line.size() && is_space(line[pos])) ++pos;
    std::size_t end = pos;
    while (end < line.size() && !is_space(line[end])) ++end;
    if (end == pos) break;
    std::string_view word = line.substr(pos, end - pos);
    pos = end;
    if (row.empty()) {
      row = word;
    } else if (row.size() + 1 + word.size() <= width) {
      row += ' ';
      row += word;
    } else {
      rows.push_back(std::move(row));
      row = word;
    }
  }
  if (!row.empty()) rows.push_back(std::move(row));
  return rows;
}

std::string option_block(const OptionDef& def) {
  std::string block = "    ";
  if (def.short_name != '\0') {
    block += '-';
    block += def.short_name;
    block += def.long_name.empty() ? " " : ", ";
  } else {
    block += "    ";
  }
  if (!def.long_name.empty()) {
    block += "--";
    block += def.long_name;
    block += ' ';
  }
  if (def.takes_arg) block += def.hint;

  if (block.size() < HELP_DESC_COLUMN) {
    block.append(HELP_DESC_COLUMN - block.size(), ' ');
  } else {
    block += '\n';
    block.append(HELP_DESC_COLUMN, ' ');
  }

  bool first = true;
  for (std::string_view stored : def.description) {
    for (const std::string& row : pack_words(stored, HELP_DESC_WIDTH)) {
      if (!first) {
        block += '\n';
        block.append(HELP_DESC_COLUMN, ' ');
      }
      block += row;
      first = false;
    }
  }
  block += '\n';
  return block;
}

std::string help_text(std::string_view program_name) {
  std::string text = "Usage: ";
  text += program_name;
  text += " [OPTIONS] [FILTERS...]\n\nOptions:\n";
  for (const OptionDef& def : options()) {
    if (!def.hidden) text += option_block(def);
  }
  text += "\n\n";
  text += TRAILING_TEXT;
  return text;
}

}  // namespace runner
