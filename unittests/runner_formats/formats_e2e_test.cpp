// The output formats end to end: the audit executable and the fixture program
// run with -q, --format json / junit, colours, shuffling and time limits.
#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "runner/shuffle.hpp"
#include "runner/terminfo.hpp"
#include "unittests/support/env_guard.hpp"
#include "unittests/support/expected_file.hpp"
#include "unittests/support/process.hpp"

namespace {

using test_support::ProcessOptions;
using test_support::ProcessResult;

const std::vector<std::string> kAuditNames = {
    "common::motion_command_names::tests::classify_known_commands",
    "common::motion_command_names::tests::lookup_known_commands",
    "common::motion_command_names::tests::table_is_strictly_sorted_for_binary_search",
    "shield_stance_has_three_backhand_rows",
};

// Plain output, no archive, experimental options allowed.
ProcessOptions base_options() {
  ProcessOptions options;
  options.env["QUORVANE_PORTAL_DAT"] = std::nullopt;
  options.env["QUORVANE_BOOTSTRAP"] = "1";
  options.env["TERM"] = std::nullopt;
  return options;
}

ProcessResult audit(std::vector<std::string> args, ProcessOptions options = base_options()) {
  return test_support::run_audit(args, options);
}

ProcessResult fixture(std::vector<std::string> args, ProcessOptions options = base_options()) {
  args.insert(args.begin(), RUNNER_FORMATS_FIXTURE);
  return test_support::run_process(args, options);
}

// Times vary from run to run; everything else is compared exactly.
std::string mask_times(const std::string& text) {
  static const std::regex finished("finished in [0-9]+\\.[0-9]{2}s");
  static const std::regex exec_time("\"exec_time\": [0-9]+(\\.[0-9]+)?");
  static const std::regex junit_time("time=\"[0-9]+(\\.[0-9]+)?\"");
  std::string out = std::regex_replace(text, finished, "finished in T");
  out = std::regex_replace(out, exec_time, "\"exec_time\": T");
  return std::regex_replace(out, junit_time, "time=\"T\"");
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string xmllint(const std::string& document, std::vector<std::string> args, int* status) {
  const std::string program = test_support::find_program("xmllint");
  if (program.empty()) {
    *status = -1;
    return {};
  }
  args.insert(args.begin(), program);
  args.emplace_back("-");
  ProcessOptions options;
  options.stdin_text = document;
  const auto result = test_support::run_process(args, options);
  *status = result.status;
  // An XPath value is ended by one newline.
  std::string out = result.out;
  if (!out.empty() && out.back() == '\n') out.pop_back();
  return out + result.err;
}

TEST(AuditFormats, QuietPrintsOneCharacterPerCheck) {
  const auto r = audit({"-q"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(mask_times(r.out),
            "\nrunning 4 tests\n....\ntest result: ok. 4 passed; 0 failed; 0 ignored; 0 measured; "
            "0 filtered out; finished in T\n\n");
}

TEST(AuditFormats, JsonLinesSequential) {
  const auto r = audit({"--format", "json", "-Z", "unstable-options", "--test-threads", "1"});
  EXPECT_EQ(r.status, 0) << r.err;
  std::string expected = "{ \"type\": \"suite\", \"event\": \"started\", \"test_count\": 4 }\n";
  for (const std::string& name : kAuditNames) {
    expected += "{ \"type\": \"test\", \"event\": \"started\", \"name\": \"" + name + "\" }\n";
    expected += "{ \"type\": \"test\", \"name\": \"" + name + "\", \"event\": \"ok\" }\n";
  }
  expected +=
      "{ \"type\": \"suite\", \"event\": \"ok\", \"passed\": 4, \"failed\": 0, \"ignored\": 0, "
      "\"measured\": 0, \"filtered_out\": 0, \"exec_time\": T }\n";
  EXPECT_EQ(mask_times(r.out), expected);
}

TEST(AuditFormats, JsonNeedsExperimentalOptions) {
  const auto r = audit({"--format", "json"});
  EXPECT_EQ(r.status, 101);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("format is only accepted on the nightly compiler"), std::string::npos) << r.err;
}

TEST(AuditFormats, JsonListing) {
  const auto r = audit({"--list", "--format", "json", "-Z", "unstable-options"});
  EXPECT_EQ(r.status, 0) << r.err;
  const auto lines = lines_of(r.out);
  ASSERT_EQ(lines.size(), 6u) << r.out;
  EXPECT_EQ(lines[0], "{ \"type\": \"suite\", \"event\": \"discovery\" }");
  for (std::size_t i = 0; i < kAuditNames.size(); ++i) {
    const std::string prefix = "{ \"type\": \"test\", \"event\": \"discovered\", \"name\": \"" +
                               kAuditNames[i] +
                               "\", \"ignore\": false, \"ignore_message\": \"\", \"source_path\": "
                               "\"tests/";
    EXPECT_EQ(lines[i + 1].rfind(prefix, 0), 0u) << lines[i + 1];
    static const std::regex positions(
        ".*\", \"start_line\": [1-9][0-9]*, \"start_col\": [1-9][0-9]*, \"end_line\": "
        "[1-9][0-9]*, \"end_col\": [1-9][0-9]* \\}");
    EXPECT_TRUE(std::regex_match(lines[i + 1], positions)) << lines[i + 1];
  }
  EXPECT_EQ(lines[5],
            "{ \"type\": \"suite\", \"event\": \"completed\", \"tests\": 4, \"benchmarks\": 0, "
            "\"total\": 4, \"ignored\": 0 }");
}

TEST(AuditFormats, JunitDocument) {
  const auto r = audit({"--format", "junit", "-Z", "unstable-options", "--test-threads", "1"});
  EXPECT_EQ(r.status, 0) << r.err;
  std::string expected =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?><testsuites><testsuite name=\"test\" "
      "package=\"test\" id=\"0\" errors=\"0\" failures=\"0\" tests=\"4\" skipped=\"0\" >";
  for (const std::string& name : kAuditNames) {
    expected += "<testcase classname=\"integration\" name=\"" + name + "\" time=\"T\"/>";
  }
  expected += "<system-out/><system-err/></testsuite></testsuites>\n";
  EXPECT_EQ(mask_times(r.out), expected);
  int status = 0;
  const std::string lint = xmllint(r.out, {"--noout"}, &status);
  if (status != -1) {
    EXPECT_EQ(status, 0) << lint;
  }
}

TEST(AuditFormats, ShuffleSeedOrdersTheRun) {
  const auto r = audit(
      {"--format", "json", "-Z", "unstable-options", "--test-threads", "1", "--shuffle-seed", "42"});
  EXPECT_EQ(r.status, 0) << r.err;
  std::vector<runner::TestDescAndFn> tests;
  for (const std::string& name : kAuditNames) {
    runner::TestDescAndFn entry;
    entry.desc.name = name;
    tests.push_back(entry);
  }
  runner::shuffle_tests(42, tests);
  std::string expected =
      "{ \"type\": \"suite\", \"event\": \"started\", \"test_count\": 4, \"shuffle_seed\": 42 }\n";
  for (const auto& t : tests) {
    const std::string name(t.desc.name);
    expected += "{ \"type\": \"test\", \"event\": \"started\", \"name\": \"" + name + "\" }\n";
    expected += "{ \"type\": \"test\", \"name\": \"" + name + "\", \"event\": \"ok\" }\n";
  }
  const auto lines = lines_of(r.out);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(mask_times(r.out).substr(0, expected.size()), expected);
}

TEST(AuditFormats, ColourFollowsModeAndTerminalDescription) {
  if (!runner::find_terminfo("xterm-256color")) GTEST_SKIP() << "xterm-256color not installed";
  const struct {
    const char* term;
    const char* mode;
    bool coloured;
  } cases[] = {
      {"xterm-256color", "always", true},
      {"xterm-256color", "never", false},
      {"xterm-256color", "auto", false},  // standard output is a pipe here
      {"vt100", "always", false},         // no colours in the description
      {"no-such-terminal", "always", false},
      {nullptr, "always", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.term ? c.term : "(unset)") + " " + c.mode);
    ProcessOptions options = base_options();
    options.env["TERMINFO"] = std::nullopt;
    options.env["TERMINFO_DIRS"] = std::nullopt;
    if (c.term) options.env["TERM"] = c.term;
    const auto r = audit({"-q", "--color", c.mode}, options);
    EXPECT_EQ(r.status, 0) << r.err;
    if (c.coloured) {
      EXPECT_NE(r.out.find("\n\x1b[32m.\x1b(B\x1b[m\x1b[32m.\x1b(B\x1b[m"), std::string::npos) << r.out;
      EXPECT_NE(r.out.find("test result: \x1b[32mok\x1b(B\x1b[m. 4 passed"), std::string::npos) << r.out;
    } else {
      EXPECT_EQ(r.out.find('\x1b'), std::string::npos) << r.out;
    }
  }
}

// The audit failing on a sample archive: its JUnit document, which carries
// the audit's report and failure message, must stay well-formed XML.
TEST(AuditFormats, FailingAuditJunitIsValidXml) {
  if (test_support::find_program("xmllint").empty()) GTEST_SKIP() << "xmllint not found";
  const std::string dir = ::testing::TempDir();
  for (const char* variant : {"four-backhand-rows", "attack-type-2", "wrong-self-id",
                              "unnamed-backhand-motion", "bad-header"}) {
    SCOPED_TRACE(variant);
    const std::string path = dir + "/formats_" + variant + ".dat";
    const auto made = test_support::run_process(
        {RUNNER_FORMATS_SAMPLE_TOOL, "--variant", variant, "--filler-files", "3", path});
    ASSERT_EQ(made.status, 0) << made.err;
    ProcessOptions options = base_options();
    options.env["QUORVANE_PORTAL_DAT"] = path;
    const auto r = audit({"--format", "junit", "-Z", "unstable-options", "--exact",
                          "shield_stance_has_three_backhand_rows"},
                         options);
    std::remove(path.c_str());
    EXPECT_EQ(r.status, 101) << r.out;
    EXPECT_EQ(r.out.find('\n'), r.out.size() - 1) << "one line ended by one newline";
    EXPECT_NE(r.out.find("failures=\"1\" tests=\"1\" skipped=\"0\" >"), std::string::npos) << r.out;
    int status = 0;
    const std::string lint = xmllint(r.out, {"--noout"}, &status);
    EXPECT_EQ(status, 0) << lint << "\n" << r.out;
    EXPECT_EQ(xmllint(r.out, {"--xpath", "count(//testcase/failure[@type='assert'])"}, &status), "1");
    const std::string report = xmllint(r.out, {"--xpath", "string(//testcase/system-out)"}, &status);
    EXPECT_NE(report.find("panicked at tests/"), std::string::npos) << report;
  }
}

// ---- the fixture program ----

TEST(FixtureFormats, QuietWithFailures) {
  const auto r = fixture({"-q", "--test-threads", "1"});
  EXPECT_EQ(r.status, 101);
  const std::string out = mask_times(r.out);
  EXPECT_EQ(out.rfind("\nrunning 8 tests\n"
                      ". 1/8\n"
                      "fixture::fails_silently --- FAILED\n"
                      "fixture::fails_with_markup --- FAILED\n"
                      "i... 7/8\n"
                      "fixture::wrong_panic_message --- FAILED\n"
                      "\nfailures:\n\n---- fixture::fails_silently stdout ----\n",
                      0),
            0u)
      << out;
  EXPECT_NE(out.find("\nfailures:\n    fixture::fails_silently\n    fixture::fails_with_markup\n"
                     "    fixture::wrong_panic_message\n\ntest result: FAILED. 4 passed; 3 failed; "
                     "1 ignored; 0 measured; 0 filtered out; finished in T\n\n"),
            std::string::npos)
      << out;
}

TEST(FixtureFormats, SingleIgnoredCheckInTerse) {
  const auto r = fixture({"-q", "ignored_with_message"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(mask_times(r.out),
            "\nrunning 1 test\ni\ntest result: ok. 0 passed; 0 failed; 1 ignored; 0 measured; 7 "
            "filtered out; finished in T\n\n"
            "test: fixture::ignored_with_message, ignore_message: needs \"quotes\" <tags> & \x01 "
            "ctrl\n\n");
}

TEST(FixtureFormats, JsonResultsEscapeMessagesAndOutput) {
  const auto r =
      fixture({"--format", "json", "-Z", "unstable-options", "--test-threads", "1", "--skip", "slow"});
  EXPECT_EQ(r.status, 101);
  const auto lines = lines_of(mask_times(r.out));
  const auto has = [&](const std::string& line) {
    for (const auto& l : lines) {
      if (l == line) return true;
    }
    ADD_FAILURE() << "missing line: " << line << "\nin:\n" << r.out;
    return false;
  };
  has("{ \"type\": \"test\", \"name\": \"fixture::a_passes\", \"event\": \"ok\" }");
  has("{ \"type\": \"test\", \"name\": \"fixture::ignored_with_message\", \"event\": \"ignored\", "
      "\"message\": \"needs \\\"quotes\\\" <tags> & \\u0001 ctrl\" }");
  has("{ \"type\": \"suite\", \"event\": \"failed\", \"passed\": 3, \"failed\": 3, \"ignored\": 1, "
      "\"measured\": 0, \"filtered_out\": 1, \"exec_time\": T }");
  bool markup_seen = false;
  bool panic_seen = false;
  for (const auto& l : lines) {
    if (l.find("\"name\": \"fixture::fails_with_markup\", \"event\": \"failed\"") != std::string::npos) {
      markup_seen = true;
      EXPECT_NE(l.find("\"stdout\": \"\\u001b[31mred\\u001b[0m plain ]]> <?pi & \\\"quoted\\\" "
                       "bell\\u0007 nul\\u0000 tab\\tend\\nsecond line \xEF\xBF\xBD bad byte\\n"),
                std::string::npos)
          << l;
      EXPECT_NE(l.find("boom <&> \\\"q\\\"\\n"), std::string::npos) << l;
    }
    if (l.find("\"name\": \"fixture::wrong_panic_message\", \"event\": \"failed\"") !=
        std::string::npos) {
      panic_seen = true;
      EXPECT_NE(l.find("\"message\": \"panic did not contain expected string\\n      panic "
                       "message: \\\"actual <failure> & \\\\\\\"text\\\\\\\"\\\"\\n expected "
                       "substring: \\\"wanted <&> \\\\\\\"x\\\\\\\"\\\"\" }"),
                std::string::npos)
          << l;
    }
  }
  EXPECT_TRUE(markup_seen && panic_seen) << r.out;
}

TEST(FixtureFormats, JsonListingEscapesIgnoreMessage) {
  const auto r = fixture({"--list", "--format", "json", "-Z", "unstable-options", "ignored"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(test_support::matches_expected_file(
      r.out, RUNNER_FORMATS_EXPECTED_DIR "/fixture_json_listing.jsonl"));
}

TEST(FixtureFormats, JunitWithFailuresIsValidXml) {
  const auto r = fixture({"--format", "junit", "-Z", "unstable-options", "--show-output"});
  EXPECT_EQ(r.status, 101);
  ASSERT_FALSE(r.out.empty());
  EXPECT_EQ(r.out.find('\n'), r.out.size() - 1) << "one line ended by one newline";
  EXPECT_EQ(r.out.find('\x1b'), std::string::npos);
  EXPECT_NE(r.out.find("failures=\"3\" tests=\"8\" skipped=\"1\" >"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("<testcase classname=\"fixture::module\" name=\"unit_kind\""), std::string::npos);
  EXPECT_NE(r.out.find("<testcase classname=\"unknown\" name=\"fixture::unknown_kind\""),
            std::string::npos);
  EXPECT_NE(r.out.find("<failure message=\"panic did not contain expected string&#10;      panic "
                       "message: &quot;actual &lt;failure&gt; &amp; "),
            std::string::npos)
      << r.out;
  int status = 0;
  const std::string lint = xmllint(r.out, {"--noout"}, &status);
  if (status == -1) GTEST_SKIP() << "xmllint not found";
  EXPECT_EQ(status, 0) << lint << "\n" << r.out;
  EXPECT_EQ(xmllint(r.out, {"--xpath", "count(//testcase)"}, &status), "7");
  EXPECT_EQ(xmllint(r.out, {"--xpath", "count(//failure[@type='assert'])"}, &status), "3");
  EXPECT_EQ(xmllint(r.out, {"--xpath", "count(//testcase/system-out)"}, &status), "4");
  const std::string markup = xmllint(
      r.out, {"--xpath", "string(//testcase[@name='fixture::fails_with_markup']/system-out)"}, &status);
  EXPECT_EQ(markup.rfind("red plain ]]> <?pi & \"quoted\" bell\xEF\xBF\xBD nul\xEF\xBF\xBD tab\tend\n"
                         "second line \xEF\xBF\xBD bad byte\n",
                         0),
            0u)
      << markup;
}

TEST(FixtureFormats, TimeLimitFailures) {
  ProcessOptions options = base_options();
  options.env["QUORVANE_TEST_TIME_DOCTEST"] = "5,10";
  const auto json = fixture(
      {"--format", "json", "-Z", "unstable-options", "--ensure-time", "--exact", "fixture::slow_doc"},
      options);
  EXPECT_EQ(json.status, 101);
  const auto lines = lines_of(mask_times(json.out));
  ASSERT_EQ(lines.size(), 4u) << json.out;
  EXPECT_EQ(lines[2],
            "{ \"type\": \"test\", \"name\": \"fixture::slow_doc\", \"event\": \"failed\", "
            "\"exec_time\": T, \"reason\": \"time limit exceeded\" }");

  const auto junit = fixture(
      {"--format", "junit", "-Z", "unstable-options", "--ensure-time", "--exact", "fixture::slow_doc"},
      options);
  EXPECT_EQ(junit.status, 101);
  EXPECT_NE(junit.out.find("<testcase classname=\"doctest\" name=\"fixture::slow_doc\" time=\"0."),
            std::string::npos)
      << junit.out;
  EXPECT_NE(junit.out.find("\"><failure type=\"timeout\"/></testcase>"), std::string::npos) << junit.out;

  const auto terse = fixture(
      {"-q", "-Z", "unstable-options", "--ensure-time", "--exact", "fixture::slow_doc"}, options);
  EXPECT_EQ(terse.status, 101);
  EXPECT_EQ(mask_times(terse.out),
            "\nrunning 1 test\nfixture::slow_doc --- FAILED\n\nfailures:\n\nfailures:\n\n"
            "test result: FAILED. 0 passed; 1 failed; 0 ignored; 0 measured; 7 filtered out; "
            "finished in T\n\n");

  options.env["QUORVANE_TEST_TIME_DOCTEST"] = "10";
  const auto bad = fixture({"-q", "-Z", "unstable-options", "--report-time"}, options);
  EXPECT_EQ(bad.status, 101);
  EXPECT_EQ(bad.out, "");
  EXPECT_NE(bad.err.find("Duration variable QUORVANE_TEST_TIME_DOCTEST expected to have 2 numbers "
                         "separated by comma, but got 10"),
            std::string::npos)
      << bad.err;
}

}  // namespace
