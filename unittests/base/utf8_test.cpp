// The foundation's UTF-8 walk and repair, quoting and little-endian loads.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "quorvane_base/debug_quote.hpp"
#include "quorvane_base/little_endian.hpp"
#include "quorvane_base/utf8.hpp"

namespace {

using namespace std::string_literals;

TEST(Utf8, EachMaximalInvalidSubpartBecomesOneReplacement) {
  const std::string fffd = "\xEF\xBF\xBD";
  const struct {
    std::string input;
    std::string repaired;
  } cases[] = {
      {"", ""},
      {"plain", "plain"},
      {"caf\xC3\xA9", "caf\xC3\xA9"},
      {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},  // four bytes
      {"a\xFF"
       "b",
       "a" + fffd + "b"},  // a byte that never starts a sequence
      {"\xE2\x82", fffd},  // truncated three-byte sequence: one unit
      {"\xE2\x82"
       "x",
       fffd + "x"},
      {"\xC0\xAF", fffd + fffd},                        // overlong form
      {"\xED\xA0\x80", fffd + fffd + fffd},             // surrogate
      {"\xF4\x90\x80\x80", fffd + fffd + fffd + fffd},  // above U+10FFFF
      {"\x00"
       "z"s,
       "\x00"
       "z"s},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(quorvane_base::debug_quote(c.input));
    EXPECT_EQ(quorvane_base::utf8::replace_invalid(c.input), c.repaired);
    EXPECT_EQ(quorvane_base::utf8::is_valid(c.input), c.repaired == c.input);
  }
  EXPECT_EQ(quorvane_base::utf8::next_sequence("\xC3\xA9", 0).code_point, U'\u00E9');
  EXPECT_EQ(quorvane_base::utf8::claimed_length(0xF0), 4u);
  EXPECT_EQ(quorvane_base::utf8::claimed_length(0x80), 1u);
}

TEST(DebugQuote, EscapesWhatCannotBeReadBack) {
  EXPECT_EQ(quorvane_base::debug_quote("a\"b\\c\td\n\x7F\xFF"), R"("a\"b\\c\td\n\u{7f}\xFF")");
}

TEST(LittleEndian, LoadsIgnoreTheHostsOrder) {
  const std::uint8_t bytes[] = {0x78, 0x56, 0x34, 0x12, 0xFF};
  EXPECT_EQ(quorvane_base::load_u16_le(bytes), 0x5678u);
  EXPECT_EQ(quorvane_base::load_u32_le(bytes), 0x12345678u);
  EXPECT_EQ(quorvane_base::load_u32_le(bytes + 1), 0xFF123456u);
}

}  // namespace
