// The expected-file comparison: what its failures say, and the update that
// QUORVANE_UPDATE_EXPECTED=1 turns on.
#include "unittests/support/expected_file.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>

#include "unittests/support/env_guard.hpp"
#include "unittests/support/scratch_dir.hpp"

namespace {

using test_support::matches_expected_file;

std::string read_text(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(ExpectedFile, FailuresNameTheFileAndTheFirstDifferingLine) {
  test_support::EnvGuard env({"QUORVANE_UPDATE_EXPECTED"});
  const test_support::ScratchDir dir("expected_file");
  const std::string expected =
      "first\nsecond \x1b line\n" + std::string(60, 'a') + "b" + std::string(60, 'c') + "\n";
  const std::string file =
      dir.write("out.txt", {reinterpret_cast<const std::uint8_t*>(expected.data()), expected.size()})
          .string();
  const std::string size = std::to_string(expected.size()) + " bytes expected, ";
  const std::string tail =
      "\nQUORVANE_UPDATE_EXPECTED=1 rewrites the file from the output; review its diff afterwards.";
  const struct {
    std::string actual;
    std::string message;  // empty: the comparison succeeds
  } cases[] = {
      {expected, ""},
      {"first\nsecond \x1b lime\n",
       "line 2, byte 12 of the line (" + size +
           "20 written)\n"
           "  expected: second \\x1B line\\n\n  actual:   second \\x1B lime\\n<end of file>"},
      {"first", "line 1, byte 6 of the line (" + size +
                    "5 written)\n"
                    "  expected: first\\n\n  actual:   first<end of file>"},
      {expected.substr(0, 80) + "B" + expected.substr(81),
       "line 3, byte 61 of the line (" + size +
           "142 written)\n"
           "  expected: ..." +
           std::string(48, 'a') + "b" + std::string(47, 'c') +
           "...\n"
           "  actual:   ..." +
           std::string(48, 'a') + "B" + std::string(47, 'c') + "..."},
  };
  for (const auto& c : cases) {
    const testing::AssertionResult result = matches_expected_file(c.actual, file);
    EXPECT_EQ(static_cast<bool>(result), c.message.empty()) << c.actual;
    if (!c.message.empty()) {
      EXPECT_EQ(result.message(), "the output differs from " + file + " at " + c.message + tail);
    }
  }
  env.set("QUORVANE_UPDATE_EXPECTED", "yes");  // only 1 updates
  EXPECT_FALSE(matches_expected_file("other", file));
  EXPECT_EQ(read_text(file), expected);
  const testing::AssertionResult missing = matches_expected_file("x", dir.file("missing.txt"));
  EXPECT_FALSE(missing);
  EXPECT_EQ(std::string(missing.message()),
            "cannot read " + dir.file("missing.txt").string() +
                "; QUORVANE_UPDATE_EXPECTED=1 writes it from the output");
}

TEST(ExpectedFile, UpdateWritesTheOutputAndPasses) {
  test_support::EnvGuard env;
  env.set("QUORVANE_UPDATE_EXPECTED", "1");
  const test_support::ScratchDir dir("expected_file");
  const std::string bytes("new\0output\xFF", 11);
  EXPECT_TRUE(matches_expected_file(bytes, dir.file("new.txt")));
  EXPECT_EQ(read_text(dir.file("new.txt")), bytes);
  // A file that already holds the output is left untouched.
  const auto old_time = std::filesystem::file_time_type::clock::now() - std::chrono::hours(1);
  std::filesystem::last_write_time(dir.file("new.txt"), old_time);
  EXPECT_TRUE(matches_expected_file(bytes, dir.file("new.txt")));
  EXPECT_EQ(std::filesystem::last_write_time(dir.file("new.txt")), old_time);
  EXPECT_TRUE(matches_expected_file("", dir.file("new.txt")));
  EXPECT_EQ(read_text(dir.file("new.txt")), "");
  const testing::AssertionResult unwritable = matches_expected_file("x", dir.file("no/such/dir.txt"));
  EXPECT_FALSE(unwritable);
  EXPECT_EQ(unwritable.message(), "cannot write " + dir.file("no/such/dir.txt").string());
}

}  // namespace
