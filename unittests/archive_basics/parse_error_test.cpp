#include <gtest/gtest.h>

#include <string>

#include "quorvane_dat/error/parse_error.hpp"
#include "quorvane_dat/file_type/combat_maneuver_table.hpp"

namespace quorvane_dat {
namespace {

// The rules and controls written out literally, independent of the library.
const std::string TOP_RULE =
    "\n \xE2\x95\xBA"
    "\xE2\x94\x81\xE2\x94\x81\xE2\x94\x81\xE2\x94\x81\xE2\x94\x81"
    "\xE2\x94\x81\xE2\x94\x81\xE2\x94\x81\xE2\x94\x81\xE2\x94\x81"
    "\xE2\x94\x81\xE2\x94\x81\xE2\x94\x81\xE2\x94\x81\xE2\x94\x81"
    "\xE2\x94\x81\xE2\x94\x81\xE2\x94\x81\xE2\x94\x81\xE2\x94\x81"
    "\xE2\x94\x85 Backtrace \xE2\x94\x85"
    "\xE2\x94\x81\xE2\x94\x81\xE2\x94\x81\xE2\x94\x81\xE2\x94\x81"
    "\xE2\x94\x81\xE2\x94\x81\xE2\x94\x81\xE2\x94\x81\xE2\x94\x81"
    "\xE2\x94\x81\xE2\x94\x81\xE2\x94\x81\xE2\x94\x81\xE2\x94\x81"
    "\xE2\x94\x81\xE2\x94\x81\xE2\x94\x81\xE2\x94\x81\xE2\x94\x81"
    "\xE2\x95\xB8\n\n";

std::string bottom_rule() {
  std::string rule = "\n \xE2\x95\xBA";
  for (int i = 0; i < 53; ++i) rule += "\xE2\x94\x81";
  rule += "\xE2\x95\xB8\n\n";
  return rule;
}

const std::string B = "\x1b[1m";
const std::string N = "\x1b[22m";

std::string location(const FieldSite& site) {
  return "     at " + std::string(site.file) + ":" + std::to_string(site.line) + "\n";
}

TEST(ParseError, BareFailureReportsTheIoText) {
  EXPECT_EQ(ParseError(IoError::unexpected_eof()).report(), "failed to fill whole buffer");
  EXPECT_EQ(ParseError(IoError::not_enough_bytes()).report(), "not enough bytes in reader");
  EXPECT_TRUE(ParseError(IoError::unexpected_eof()).frames().empty());
}

TEST(ParseError, OneFrameReportByteForByte) {
  const FieldSite& site = CombatManeuverTable::num_combat_maneuvers_site;
  const ParseError error = ParseError(IoError::unexpected_eof()).with_field(site);

  const std::string expected = TOP_RULE + " 0: " + B + B + "Error: failed to fill whole buffer" + N +
                               "\n" + "           " + B +
                               "While parsing field 'num_combat_maneuvers' in CombatManeuverTable" + N +
                               N + "\n" + location(site) + bottom_rule();
  EXPECT_EQ(error.report(), expected);
}

TEST(ParseError, ThreeFramesInOrderWithIndexes) {
  const FieldSite inner{"Inner", "value", "src/a.hpp", 11};
  const FieldSite& middle = CombatManeuver::motion_site;
  const FieldSite& outer = CombatManeuverTable::combat_maneuvers_site;
  const ParseError error =
      ParseError(IoError::not_enough_bytes()).with_field(inner).with_field(middle).with_field(outer);
  ASSERT_EQ(error.frames().size(), 3U);

  const std::string expected =
      TOP_RULE + " 0: " + B + B + "Error: not enough bytes in reader" + N + "\n" + "           " + B +
      "While parsing field 'value' in Inner" + N + N + "\n" + "     at src/a.hpp:11\n" + " 1: " + B +
      "While parsing field 'motion' in CombatManeuver" + N + "\n" + location(middle) + " 2: " + B +
      "While parsing field 'combat_maneuvers' in CombatManeuverTable" + N + "\n" + location(outer) +
      bottom_rule();
  EXPECT_EQ(error.report(), expected);
}

TEST(ParseError, FramesRecordMessageFileAndLine) {
  const ParseError error =
      ParseError(IoError::unexpected_eof()).with_field({"Rec", "fld", "src/r.hpp", 42});
  ASSERT_EQ(error.frames().size(), 1U);
  EXPECT_EQ(error.frames()[0], (ContextFrame{"While parsing field 'fld' in Rec", "src/r.hpp", 42}));
  EXPECT_EQ(error.first_error(), IoError::unexpected_eof());
}

TEST(ParseError, ReportWithOsErrorUsesItsDisplay) {
  const ParseError error = ParseError(IoError::from_os(5)).with_field({"R", "f", "x.hpp", 1});
  EXPECT_NE(error.report().find(B + "Error: Input/output error (os error 5)" + N + "\n"),
            std::string::npos);
}

}  // namespace
}  // namespace quorvane_dat
