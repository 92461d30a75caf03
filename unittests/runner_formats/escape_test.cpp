// The shared text encodings: UTF-8 repair, JSON and XML escaping, the XML
// clean-up of captured output and its CDATA form, plain decimal numbers.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "runner/escape.hpp"

namespace {

using runner::json_escape;
using runner::plain_decimal;
using runner::str_to_cdata;
using runner::utf8_lossy;
using runner::xml_clean;
using runner::xml_escape;

const std::string kFffd = "\xEF\xBF\xBD";

struct Case {
  std::string input;
  std::string expected;
};

struct Encoding {
  const char* name;
  std::string (*encode)(std::string_view);
  std::vector<Case> cases;
};

TEST(TextEncodings, MapEachInputExactly) {
  const Encoding encodings[] = {
      // UTF-8 repair: each maximal invalid subpart becomes one replacement character.
      {"utf8_lossy",
       utf8_lossy,
       {
           {"plain ascii", "plain ascii"},
           {"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"},
           {std::string("a\0b", 3), std::string("a\0b", 3)},
           {"\x80", kFffd},  // lone continuation byte
           {"\xC3", kFffd},  // truncated at the end
           {"\xC3"
            "A",
            kFffd + "A"},        // lead followed by ASCII
           {"\xE2\x82", kFffd},  // truncated three-byte sequence: one subpart
           {"\xE2\x82"
            "A",
            kFffd + "A"},
           {"\xF0\x9F\x98", kFffd},                              // truncated four-byte sequence
           {"\xC0\x80", kFffd + kFffd},                          // overlong: C0 never starts a sequence
           {"\xE0\x80\x80", kFffd + kFffd + kFffd},              // overlong three-byte form
           {"\xED\xA0\x80", kFffd + kFffd + kFffd},              // surrogate U+D800
           {"\xF4\x90\x80\x80", kFffd + kFffd + kFffd + kFffd},  // above U+10FFFF
           {"\xFF\xFE", kFffd + kFffd},
       }},
      // JSON: quotes, backslashes and every control character escaped.
      {"json_escape",
       json_escape,
       {
           {"plain", "plain"},
           {"say \"hi\"", "say \\\"hi\\\""},
           {"back\\slash", "back\\\\slash"},
           {"\b\t\n\f\r", "\\b\\t\\n\\f\\r"},
           {std::string("\0", 1), "\\u0000"},
           {"\x01\x0B\x0E\x1B\x1F", "\\u0001\\u000b\\u000e\\u001b\\u001f"},
           {"\x7F", "\\u007f"},
           {" ~/<>&'", " ~/<>&'"},
           {"caf\xC3\xA9", "caf\xC3\xA9"},  // valid UTF-8 passes through
           {"bad\xFF"
            "byte",
            "bad" + kFffd + "byte"},
       }},
      // XML attribute: markup escaped, whitespace kept as references.
      {"xml_escape",
       xml_escape,
       {
           {"plain", "plain"},
           {"a<b>c&d\"e'f", "a&lt;b&gt;c&amp;d&quot;e&apos;f"},
           {"tab\tline\ncr\r", "tab&#9;line&#10;cr&#13;"},
           {"esc\x1B[31m", "esc" + kFffd + "[31m"},
           {std::string("nul\0", 4), "nul" + kFffd},
           {"\x0B\x0C", kFffd + kFffd},
           {"\xEF\xBF\xBE\xEF\xBF\xBF", kFffd + kFffd},  // U+FFFE, U+FFFF
           {"\x7F", "\x7F"},                             // allowed in XML 1.0
           {"caf\xC3\xA9", "caf\xC3\xA9"},
           {"bad\xC3", "bad" + kFffd},
       }},
      // XML clean-up: colour sequences stripped, forbidden characters replaced.
      {"xml_clean",
       xml_clean,
       {
           {"\x1B[31mred\x1B[0m plain", "red plain"},
           {"\x1B[38;5;196mx\x1B[m", "x"},
           {"\x1B[1;2:3m", ""},
           {"\x1B[2J", kFffd + "[2J"},  // not a colour sequence
           {"\x1B", kFffd},
           {"\x1B[31", kFffd + "[31"},  // unterminated
           {"keep\ttabs\nand\rreturns", "keep\ttabs\nand\rreturns"},
           {"bell\x07", "bell" + kFffd},
           {"<&>", "<&>"},  // markup is CDATA's business
           {"\xFF", kFffd},
       }},
      // CDATA: terminators and line ends split out.
      {"str_to_cdata",
       str_to_cdata,
       {
           {"", "<![CDATA[]]>"},
           {"plain", "<![CDATA[plain]]>"},
           {"a]]>b", "<![CDATA[a]]]]><![CDATA[>b]]>"},
           {"<?xml", "<![CDATA[<]]><![CDATA[?xml]]>"},
           {"one\ntwo", "<![CDATA[one]]>&#xA;<![CDATA[two]]>"},
           // Empty sections between line ends are removed; those made by the
           // outer wrapping stay, because removal happens before it.
           {"\nx\n", "<![CDATA[]]>&#xA;<![CDATA[x]]>&#xA;<![CDATA[]]>"},
           {"\n\n", "<![CDATA[]]>&#xA;&#xA;<![CDATA[]]>"},
           {"a\n\n\nb", "<![CDATA[a]]>&#xA;&#xA;&#xA;<![CDATA[b]]>"},
           {"<&>", "<![CDATA[<&>]]>"},
       }},
  };
  for (const Encoding& e : encodings) {
    for (const Case& c : e.cases) {
      EXPECT_EQ(e.encode(c.input), c.expected) << e.name << ": " << c.input;
    }
  }
}

TEST(PlainDecimal, ShortestRoundTripWithoutExponent) {
  const struct {
    double value;
    std::string expected;
  } cases[] = {
      {0.0, "0"},
      {1.0, "1"},
      {0.5, "0.5"},
      {0.1, "0.1"},
      {0.012, "0.012"},
      {1.0e-7, "0.0000001"},
      {1.5e-9, "0.0000000015"},
      {123456789.25, "123456789.25"},
      {1.0e21, "1000000000000000000000"},
  };
  for (const auto& c : cases) {
    const std::string text = plain_decimal(c.value);
    EXPECT_EQ(text, c.expected);
    EXPECT_EQ(text.find_first_of("eE"), std::string::npos);
    EXPECT_EQ(std::strtod(text.c_str(), nullptr), c.value) << text;
  }
  // An arbitrary measured time reads back exactly.
  const double t = 0.000123456789012345;
  EXPECT_EQ(std::strtod(plain_decimal(t).c_str(), nullptr), t);
}

}  // namespace
