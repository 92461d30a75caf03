// Quoted debug forms of texts and the debug renderings built on them.
#include <gtest/gtest.h>

#include <optional>
#include <set>
#include <string>

#include "runner/debug_repr.hpp"

namespace {

struct QuoteCase {
  std::string input;
  std::string expected;
};

TEST(DebugQuote, EscapesQuotesBackslashesAndControls) {
  const QuoteCase cases[] = {
      {"", R"("")"},
      {"plain text", R"("plain text")"},
      {"say \"hi\"", R"("say \"hi\"")"},
      {"back\\slash", R"("back\\slash")"},
      {"tab\there", R"("tab\there")"},
      {"line\nfeed\r", R"("line\nfeed\r")"},
      {std::string("nul\0byte", 8), R"("nul\u{0}byte")"},
      {"\x1b[1m", R"("\u{1b}[1m")"},
      {"\x7f", R"("\u{7f}")"},
      {"\xc2\x85", R"("\u{85}")"},                                   // C1 control NEL
      {"it's", R"("it's")"},                                         // single quotes stay
      {"caf\xc3\xa9 \xe2\x94\x81", "\"caf\xc3\xa9 \xe2\x94\x81\""},  // printable UTF-8 kept
      {"\xff", R"("\xFF")"},                                         // invalid byte
      {"a\xe2\x94z", R"("a\xE2\x94z")"},                             // truncated sequence, byte by byte
      {"\xed\xa0\x80", R"("\xED\xA0\x80")"},                         // surrogate is not valid UTF-8
  };
  for (const auto& c : cases) {
    EXPECT_EQ(runner::debug_quote(c.input), c.expected) << "input bytes: " << c.input.size();
  }
}

enum class Shade { Light, Dark };
std::string_view debug_name(Shade s) { return s == Shade::Light ? "Light" : "Dark"; }

TEST(DebugRepr, RendersValuesAsAssertionReportsShowThem) {
  EXPECT_EQ(runner::debug_repr(42u), "42");
  EXPECT_EQ(runner::debug_repr(-7), "-7");
  EXPECT_EQ(runner::debug_repr(true), "true");
  EXPECT_EQ(runner::debug_repr(std::string("x\"y")), R"("x\"y")");
  EXPECT_EQ(runner::debug_repr(std::optional<std::string>("Walk")), R"(Some("Walk"))");
  EXPECT_EQ(runner::debug_repr(std::optional<std::string>()), "None");
  EXPECT_EQ(runner::debug_repr(std::set<unsigned>{3, 1, 2}), "{1, 2, 3}");
  EXPECT_EQ(runner::debug_repr(std::set<unsigned>{}), "{}");
  EXPECT_EQ(runner::debug_repr(Shade::Dark), "Dark");
}

}  // namespace
