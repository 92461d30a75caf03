#include "unittests/support/expected_file.hpp"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>

namespace test_support {
namespace {

constexpr const char* kUpdateVariable = "QUORVANE_UPDATE_EXPECTED";
// Bytes shown on each side of the first difference in a long line.
constexpr std::size_t kContext = 48;

bool updating() {
  const char* value = std::getenv(kUpdateVariable);
  return value != nullptr && std::string_view(value) == "1";
}

std::optional<std::string> read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) return std::nullopt;
  return std::move(text).str();
}

// The bytes of `text` from `begin` to the end of that line (its newline
// included), at most kContext bytes past `diff`; control and non-ASCII bytes
// are written as \xNN, the newline as \n, so that the line reads on one line
// of a terminal and no byte hides.
std::string excerpt(std::string_view text, std::size_t begin, std::size_t diff) {
  std::size_t end = text.find('\n', diff);
  end = end == std::string_view::npos ? text.size() : end + 1;
  const bool cut = end > diff + kContext;
  if (cut) end = diff + kContext;
  std::string out = begin < diff - std::min(diff, kContext) ? "..." : "";
  begin = std::max(begin, diff - std::min(diff, kContext));
  for (const char c : text.substr(begin, end - begin)) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\n') {
      out += "\\n";
    } else if (byte < 0x20 || byte >= 0x7F) {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02X", byte);
      out += hex;
    } else {
      out += c;
    }
  }
  if (cut) out += "...";
  if (end == text.size()) out += "<end of file>";
  return out;
}

testing::AssertionResult describe_difference(std::string_view expected, std::string_view actual,
                                             const std::filesystem::path& path) {
  const std::size_t diff = static_cast<std::size_t>(
      std::mismatch(expected.begin(), expected.end(), actual.begin(), actual.end()).first -
      expected.begin());
  const std::string_view before = expected.substr(0, diff);
  const auto line = 1 + std::count(before.begin(), before.end(), '\n');
  const std::size_t last_newline = before.rfind('\n');
  const std::size_t line_start = last_newline == std::string_view::npos ? 0 : last_newline + 1;
  return testing::AssertionFailure()
         << "the output differs from " << path.string() << " at line " << line << ", byte "
         << diff - line_start + 1 << " of the line (" << expected.size() << " bytes expected, "
         << actual.size() << " written)\n"
         << "  expected: " << excerpt(expected, line_start, diff) << "\n"
         << "  actual:   " << excerpt(actual, line_start, diff) << "\n"
         << kUpdateVariable << "=1 rewrites the file from the output; review its diff afterwards.";
}

}  // namespace

testing::AssertionResult matches_expected_file(std::string_view actual,
                                               const std::filesystem::path& path) {
  const std::optional<std::string> expected = read_file(path);
  if (updating()) {
    if (expected == actual) return testing::AssertionSuccess();
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(actual.data(), static_cast<std::streamsize>(actual.size()));
    out.close();
    if (!out) return testing::AssertionFailure() << "cannot write " << path.string();
    std::cout << "[ UPDATED  ] " << path.string() << "\n";
    return testing::AssertionSuccess();
  }
  if (!expected) {
    return testing::AssertionFailure() << "cannot read " << path.string() << "; " << kUpdateVariable
                                       << "=1 writes it from the output";
  }
  if (*expected == actual) return testing::AssertionSuccess();
  return describe_difference(*expected, actual, path);
}

}  // namespace test_support
