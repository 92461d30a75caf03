// The audit executable against sample archives: the passing report line by
// line, the skip notice, every failure with its message and the report lines
// printed before it, and a failing run of all four checks.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tools/portal_dat_sample/sample_variant.hpp"
#include "unittests/audit/audit_e2e_support.hpp"
#include "unittests/support/scratch_dir.hpp"

namespace {

using audit_e2e::lines;
using portal_dat_sample::Variant;

const std::vector<std::string> RETAIL_UNIQUE_MOTIONS{
    "  - ThrustMed (0x10000058)",
    "  - ThrustLow (0x10000059)",
    "  - ThrustHigh (0x1000005A)",
    "  - SlashHigh (0x1000005B)",
    "  - SlashMed (0x1000005C)",
    "  - SlashLow (0x1000005D)",
    "  - BackhandHigh (0x1000005E)",
    "  - BackhandMed (0x1000005F)",
    "  - BackhandLow (0x10000060)",
    "  - DoubleSlashHigh (0x10000121)",
    "  - TripleSlashLow (0x10000122)",
    "  - DoubleThrustMed (0x10000126)",
    "  - 0x100001A4",
};

const std::string FINDING_PREFIX =
    "Wiki-vs-data finding: obrelle Combat page omits Backhand under SwordShieldCombat, but retail "
    "CMT 0x30000000 contains ";

const std::string HIGH_ROW =
    "  stance=0x80000040 height=High type=0x0004 min_skill=0 motion=BackhandHigh (0x1000005E)";
const std::string MED_ROW =
    "  stance=0x80000040 height=Medium type=0x0004 min_skill=0 motion=BackhandMed (0x1000005F)";
const std::string LOW_ROW =
    "  stance=0x80000040 height=Low type=0x0004 min_skill=0 motion=BackhandLow (0x10000060)";

// The whole report: summary, unique motions, finding and row lines.
std::vector<std::string> report(const std::string& summary, const std::vector<std::string>& motions,
                                std::size_t backhand_count, const std::vector<std::string>& rows) {
  std::vector<std::string> out{summary, "", "Unique motions in SwordShieldCombat rows:"};
  out.insert(out.end(), motions.begin(), motions.end());
  out.push_back("");
  out.push_back(FINDING_PREFIX + std::to_string(backhand_count) + " Backhand* row(s):");
  out.insert(out.end(), rows.begin(), rows.end());
  return out;
}

std::string repeat(std::string_view piece, std::size_t count) {
  std::string out;
  for (std::size_t i = 0; i < count; ++i) out += piece;
  return out;
}

// The framed parse-error report with one frame, its location masked.
std::string one_frame_report(std::string_view error, std::string_view frame) {
  const std::string bold = "\x1b[1m";
  const std::string normal = "\x1b[22m";
  return "\n \u257A" + repeat("\u2501", 20) + "\u2505 Backtrace \u2505" + repeat("\u2501", 20) +
         "\u2578\n\n" + " 0: " + bold + bold + "Error: " + std::string(error) + normal + "\n" +
         std::string(11, ' ') + bold + std::string(frame) + normal + normal + "\n" + "     at PATH:N\n" +
         "\n \u257A" + repeat("\u2501", 53) + "\u2578\n\n";
}

TEST(AuditEndToEnd, PassingReportLineByLine) {
  const audit_e2e::ScratchDir dir;
  for (const Variant variant : {Variant::Retail, Variant::PlainTable}) {
    SCOPED_TRACE(std::string(portal_dat_sample::variant_name(variant)));
    const auto archive = audit_e2e::write_variant(dir, variant);
    const auto run = audit_e2e::run_audit_check(archive.string());
    ASSERT_EQ(run.status, 0) << run.out << run.err;

    const auto expected_report =
        report("Shield stance has 14 maneuvers; 13 unique motions; Backhand* motions found: 3",
               RETAIL_UNIQUE_MOTIONS, 3, {HIGH_ROW, MED_ROW, LOW_ROW});
    std::string expected =
        "\nrunning 1 test\ntest shield_stance_has_three_backhand_rows ... ok\n\nsuccesses:\n\n"
        "---- shield_stance_has_three_backhand_rows stdout ----\n";
    for (const auto& line : expected_report) expected += line + "\n";
    expected +=
        "\n\nsuccesses:\n    shield_stance_has_three_backhand_rows\n\n"
        "test result: ok. 1 passed; 0 failed; 0 ignored; 0 measured; 3 filtered out; "
        "finished in T.TTs\n\n";
    EXPECT_EQ(audit_e2e::mask_run(run.out), expected);
    EXPECT_EQ(run.err, "");
  }
}

TEST(AuditEndToEnd, PassingReportIsCapturedUnlessShown) {
  const audit_e2e::ScratchDir dir;
  const auto archive = audit_e2e::write_variant(dir, Variant::Retail);
  const auto run = audit_e2e::run_audit_check(archive.string(), {});
  EXPECT_EQ(run.status, 0) << run.out;
  EXPECT_EQ(run.out.find("Shield stance has"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("test shield_stance_has_three_backhand_rows ... ok\n"), std::string::npos);
}

TEST(AuditEndToEnd, SkipNoticeWithoutArchive) {
  if (audit_e2e::fallback_archive_exists()) {
    GTEST_SKIP() << "the build-time fallback archive exists, so the audit does not skip";
  }
  for (const auto& archive : {std::optional<std::string>(""), std::optional<std::string>()}) {
    SCOPED_TRACE(archive.value_or("(unset)"));
    const auto shown = audit_e2e::run_audit_check(archive);
    EXPECT_EQ(shown.status, 0) << shown.out;
    EXPECT_EQ(audit_e2e::captured_block(shown.out), std::string(audit_e2e::SKIP_NOTICE) + "\n");

    const auto quiet = audit_e2e::run_audit_check(archive, {});
    EXPECT_EQ(quiet.status, 0);
    EXPECT_EQ(quiet.out.find("Skipping"), std::string::npos) << quiet.out;
    EXPECT_EQ(quiet.err, "");
  }
}

// A variable that names nothing usable fails the audit with the variable,
// the value and the reason, instead of a skip or an audit of the fallback.
TEST(AuditEndToEnd, UnusableArchiveVariableFailsNamingIt) {
  const audit_e2e::ScratchDir dir;
  const std::string base = dir.path().string();
  test_support::write_file(dir.path() / "plain", std::vector<std::uint8_t>{1});
  const struct {
    std::string value;
    std::string quoted;
    std::string reason;
  } cases[] = {
      {base + "/nowhere/portal.dat", base + "/nowhere/portal.dat",
       "No such file or directory (os error 2)"},
      {base + "/plain/portal.dat", base + "/plain/portal.dat", "Not a directory (os error 20)"},
      {base + "/\xFFportal.dat", base + "/\\xFFportal.dat", "it is not valid UTF-8"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.quoted);
    const auto run = audit_e2e::run_audit_check(c.value, {});
    EXPECT_EQ(run.status, 101) << run.out;
    EXPECT_NE(run.out.find("QUORVANE_PORTAL_DAT is set to \"" + c.quoted +
                           "\", which cannot be used: " + c.reason),
              std::string::npos)
        << run.out;
    EXPECT_EQ(run.out.find("Skipping"), std::string::npos) << run.out;
  }
}

enum class Raised { PlainFailure, Assertion };

struct FailureCase {
  Variant variant;
  Raised raised;
  std::vector<std::string> report_before;  // lines printed before the failure
  std::string message;                     // frame locations masked
};

std::vector<FailureCase> failure_cases() {
  const std::string count_message =
      "expected exactly 3 Backhand* rows under SwordShieldCombat in retail CMT 0x30000000 (one "
      "per AttackHeight, all Slash); found ";
  const std::string heights_message =
      "expected the 3 Backhand rows to cover AttackHeight Low/Medium/High (1/2/3); got heights ";
  const std::string retail_summary =
      "Shield stance has 14 maneuvers; 13 unique motions; Backhand* motions found: 3";
  std::vector<std::string> without_backhands;
  std::copy_if(RETAIL_UNIQUE_MOTIONS.begin(), RETAIL_UNIQUE_MOTIONS.end(),
               std::back_inserter(without_backhands),
               [](const std::string& line) { return line.find("Backhand") == std::string::npos; });
  // The BackhandMed row moved to another height, shown as `label`: the
  // heights found are `heights`.
  auto moved_med_row = [&](Variant variant, const std::string& label,
                           const std::string& heights) -> FailureCase {
    return {variant, Raised::Assertion,
            report(retail_summary, RETAIL_UNIQUE_MOTIONS, 3,
                   {HIGH_ROW,
                    "  stance=0x80000040 height=" + label +
                        " type=0x0004 min_skill=0 motion=BackhandMed (0x1000005F)",
                    LOW_ROW}),
            "assertion `left == right` failed: " + heights_message + heights + "\n  left: " + heights +
                "\n right: {1, 2, 3}"};
  };
  std::vector<std::string> unnamed_low = without_backhands;
  unnamed_low.insert(unnamed_low.begin() + 6,
                     {"  - BackhandHigh (0x1000005E)", "  - BackhandMed (0x1000005F)"});
  unnamed_low.push_back("  - 0x100001B0");

  return {
      {Variant::BadHeader,
       Raised::PlainFailure,
       {},
       "open portal.dat: BinRead(" +
           one_frame_report("failed to fill whole buffer", "While parsing field 'subset' in DatHeader") +
           ")"},
      {Variant::UnreadableDirectory,
       Raised::PlainFailure,
       {},
       "open portal.dat: Io(Error { kind: UnexpectedEof, message: \"failed to fill whole "
       "buffer\" })"},
      {Variant::MissingTable,
       Raised::PlainFailure,
       {},
       "read CombatManeuverTable 0x30000000: File ID 30000000 not found in provider"},
      {Variant::UnreadableTable,
       Raised::PlainFailure,
       {},
       "read CombatManeuverTable 0x30000000: IO error: failed to fill whole buffer"},
      {Variant::ShortTable,
       Raised::PlainFailure,
       {},
       "parse CombatManeuverTable 0x30000000 (4 bytes): " +
           one_frame_report("failed to fill whole buffer",
                            "While parsing field 'num_combat_maneuvers' in CombatManeuverTable")},
      {Variant::WrongSelfId,
       Raised::Assertion,
       {},
       "assertion `left == right` failed: CombatManeuverTable self-id mismatch: expected "
       "0x30000000, got 0x30000001\n  left: 805306369\n right: 805306368"},
      {Variant::NoShieldRows,
       Raised::PlainFailure,
       {},
       "expected at least one row for SwordShieldCombat (0x80000040); CMT 0x30000000 has 128 total "
       "rows but zero shield rows \u2014 either the stance constant is wrong or the CMT layout has "
       "changed"},
      {Variant::FourBackhandRows, Raised::Assertion,
       report("Shield stance has 15 maneuvers; 13 unique motions; Backhand* motions found: 4",
              RETAIL_UNIQUE_MOTIONS, 4,
              {HIGH_ROW, MED_ROW, LOW_ROW,
               "  stance=0x80000040 height=Medium type=0x0004 min_skill=300 motion=BackhandMed "
               "(0x1000005F)"}),
       "assertion `left == right` failed: " + count_message + "4\n  left: 4\n right: 3"},
      {Variant::NoBackhandRows, Raised::Assertion,
       report("Shield stance has 11 maneuvers; 10 unique motions; Backhand* motions found: 0",
              without_backhands, 0, {}),
       "assertion `left == right` failed: " + count_message + "0\n  left: 0\n right: 3"},
      {Variant::UnnamedBackhandMotion, Raised::Assertion,
       report("Shield stance has 14 maneuvers; 13 unique motions; Backhand* motions found: 2",
              unnamed_low, 2, {HIGH_ROW, MED_ROW}),
       "assertion `left == right` failed: " + count_message + "2\n  left: 2\n right: 3"},
      moved_med_row(Variant::HeightsOneOneThree, "High", "{1, 3}"),
      moved_med_row(Variant::HeightSeven, "Unknown", "{1, 3, 7}"),
      {Variant::AttackTypeTwo, Raised::Assertion,
       report(retail_summary, RETAIL_UNIQUE_MOTIONS, 3,
              {"  stance=0x80000040 height=High type=0x0002 min_skill=0 motion=BackhandHigh "
               "(0x1000005E)",
               MED_ROW, LOW_ROW}),
       "assertion `left == right` failed: expected each Backhand row under SwordShieldCombat to "
       "be AttackType::Slash (0x04), got 0x0002 for height High\n  left: 2\n right: 4"},
  };
}

TEST(AuditEndToEnd, EachFailureWithItsMessageAndTheLinesBeforeIt) {
  const audit_e2e::ScratchDir dir;
  for (const FailureCase& c : failure_cases()) {
    SCOPED_TRACE(std::string(portal_dat_sample::variant_name(c.variant)));
    const auto archive = audit_e2e::write_variant(dir, c.variant);
    const auto run = audit_e2e::run_audit_check(archive.string());
    EXPECT_EQ(run.status, 101) << run.out;
    EXPECT_NE(run.out.find("test shield_stance_has_three_backhand_rows ... FAILED\n"),
              std::string::npos);

    const auto failure = audit_e2e::parse_failure(run.out);
    ASSERT_TRUE(failure.has_value()) << run.out;
    EXPECT_EQ(failure->report_lines, c.report_before);
    EXPECT_EQ(audit_e2e::mask_frame_locations(failure->message), c.message);

    // The location names the raising statement in the audit's source file.
    const std::string file = "tests/shield_stance_backhand_audit.cpp:";
    ASSERT_EQ(failure->location.rfind(file, 0), 0u) << failure->location;
    const std::size_t line = std::stoul(failure->location.substr(file.size()));
    const std::string statement = audit_e2e::source_line(file.substr(0, file.size() - 1), line);
    const char* raiser = c.raised == Raised::Assertion ? "runner::assert_equal(" : "runner::fail(";
    EXPECT_NE(statement.find(raiser), std::string::npos) << statement;
  }
}

// A parse error's frame locations point at the declarations of the fields.
TEST(AuditEndToEnd, ParseFailureFramesNameDeclaringFiles) {
  const audit_e2e::ScratchDir dir;
  const auto archive = audit_e2e::write_variant(dir, Variant::ShortTable);
  const auto failure = audit_e2e::parse_failure(audit_e2e::run_audit_check(archive.string()).out);
  ASSERT_TRUE(failure.has_value());
  const std::size_t at = failure->message.find("     at src/file_type/combat_maneuver_table.hpp:");
  ASSERT_NE(at, std::string::npos) << failure->message;
  const std::size_t colon = failure->message.find(':', at);
  const std::size_t line = std::stoul(failure->message.substr(colon + 1));
  EXPECT_NE(
      audit_e2e::source_line("src/file_type/combat_maneuver_table.hpp", line).find("combat_maneuvers"),
      std::string::npos);
}

// All four checks on several threads, the audit failing: the run's layout.
TEST(AuditEndToEnd, FailingRunOfAllChecks) {
  const audit_e2e::ScratchDir dir;
  const auto archive = audit_e2e::write_variant(dir, Variant::HeightsOneOneThree);
  test_support::ProcessOptions options;
  options.env["QUORVANE_PORTAL_DAT"] = archive.string();
  const auto run = test_support::run_audit({"--test-threads", "4"}, options);
  EXPECT_EQ(run.status, 101);

  auto got = lines(audit_e2e::mask_run(run.out));
  ASSERT_GE(got.size(), 10u) << run.out;
  std::sort(got.begin() + 2, got.begin() + 6);
  const std::vector<std::string> head{
      "",
      "running 4 tests",
      "test common::motion_command_names::tests::classify_known_commands ... ok",
      "test common::motion_command_names::tests::lookup_known_commands ... ok",
      "test common::motion_command_names::tests::table_is_strictly_sorted_for_binary_search ... ok",
      "test shield_stance_has_three_backhand_rows ... FAILED",
      "",
      "failures:",
      "",
      "---- shield_stance_has_three_backhand_rows stdout ----",
  };
  EXPECT_EQ(std::vector<std::string>(got.begin(), got.begin() + 10), head);

  const auto failure = audit_e2e::parse_failure(run.out);
  ASSERT_TRUE(failure.has_value()) << run.out;
  EXPECT_EQ(failure->report_lines.size(), 2u + 1u + RETAIL_UNIQUE_MOTIONS.size() + 2u + 3u);
  const std::vector<std::string> tail{
      "",
      "",
      "failures:",
      "    shield_stance_has_three_backhand_rows",
      "",
      "test result: FAILED. 3 passed; 1 failed; 0 ignored; 0 measured; 0 filtered out; finished "
      "in T.TTs",
      "",
  };
  ASSERT_GE(got.size(), tail.size());
  EXPECT_EQ(std::vector<std::string>(got.end() - static_cast<long>(tail.size()), got.end()), tail);
}

}  // namespace
