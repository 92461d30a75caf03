// portal_dat end to end: expected outputs on a small sample archive, usage
// errors, and extraction's safety (verify has its own tests).
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "quorvane_dat/lib/dat_database.hpp"
#include "tools/dat_writer/dat_writer.hpp"
#include "tools/portal_dat_sample/sample_archive.hpp"
#include "unittests/support/expected_file.hpp"
#include "unittests/support/process.hpp"
#include "unittests/support/scratch_dir.hpp"

namespace {

namespace fs = std::filesystem;
using portal_dat_sample::Variant;
using test_support::ProcessResult;
using test_support::ScratchDir;

ProcessResult portal_dat(std::vector<std::string> args) {
  args.insert(args.begin(), PORTAL_DAT_EXE);
  return test_support::run_process(args);
}

std::string read_text(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Every line of `err` is one error line of the tool.
void expect_error_lines(const std::string& err) {
  EXPECT_FALSE(err.empty());
  std::istringstream lines(err);
  for (std::string line; std::getline(lines, line);) EXPECT_TRUE(line.starts_with("portal_dat: ")) << line;
}

// A sample archive of few files (a root node and two leaves), so that the
// expected outputs stay short.
const fs::path& sample_archive() {
  static const ScratchDir dir("portal_dat_sample");
  static const fs::path path = [] {
    const fs::path archive = dir.file("portal.dat");
    portal_dat_sample::write_sample_archive(archive, {.variant = Variant::Retail, .filler_files = 100});
    return archive;
  }();
  return path;
}

// Every *.bin file in `dir` holds exactly what the library fetches for its
// id, and nothing else (no temporary file) is left there. Returns the count.
std::size_t expect_complete_files(const fs::path& dir) {
  auto database = quorvane_dat::DatDatabase::new_(sample_archive());
  EXPECT_TRUE(database.has_value());
  std::size_t count = 0;
  for (const fs::directory_entry& item : fs::directory_iterator(dir)) {
    const std::string name = item.path().filename().string();
    EXPECT_EQ(name.size(), 12U) << name;
    EXPECT_TRUE(name.ends_with(".bin")) << name;
    if (item.is_symlink() || !database) continue;
    const auto bytes = database->get_file(static_cast<std::uint32_t>(std::stoul(name.substr(0, 8), nullptr, 16)));
    if (!bytes) {
      ADD_FAILURE() << name << ": " << bytes.error().display();
      continue;
    }
    EXPECT_EQ(read_text(item.path()), std::string(bytes->begin(), bytes->end())) << name;
    ++count;
  }
  return count;
}

TEST(PortalDatOutput, MatchesExpectedFiles) {
  const std::string archive = sample_archive().string();
  const struct {
    std::vector<std::string> args;
    const char* expected;
  } cases[] = {
      {{"info", archive}, "info.txt"},
      // A range whose first and last ids both exist lists both.
      {{"ls", archive, "--type", "0x30", "06000001-0x0600000A", "01000003"}, "ls_selected.txt"},
      {{"ls", archive, "--type", "30", "--type", "0x01", "--sort", "size", "--json"}, "ls_by_size.jsonl"},
      {{"tree", archive}, "tree.txt"},
      {{"cmt", archive}, "cmt.txt"},
      {{"cmt", archive, "--json"}, "cmt.json"},
  };
  for (const auto& c : cases) {
    const ProcessResult result = portal_dat(c.args);
    EXPECT_EQ(result.status, 0) << c.expected << ": " << result.err;
    EXPECT_EQ(result.err, "") << c.expected;
    EXPECT_TRUE(
        test_support::matches_expected_file(result.out, fs::path(PORTAL_DAT_EXPECTED_DIR) / c.expected));
  }
}

TEST(PortalDatOutput, CatGivesDecodedOrStoredBytes) {
  auto database = quorvane_dat::DatDatabase::new_(sample_archive());
  ASSERT_TRUE(database.has_value());
  const auto decoded = database->get_file(0x30000000);
  const auto stored = database->get_stored(0x30000000);
  ASSERT_TRUE(decoded && stored);
  ASSERT_NE(*decoded, *stored);  // the table is compressed in the sample
  const ProcessResult cat = portal_dat({"cat", sample_archive().string(), "0x30000000"});
  const ProcessResult raw = portal_dat({"cat", sample_archive().string(), "30000000", "--raw"});
  EXPECT_EQ(cat.status, 0);
  EXPECT_EQ(cat.out, std::string(decoded->begin(), decoded->end()));
  EXPECT_EQ(raw.status, 0);
  EXPECT_EQ(raw.out, std::string(stored->begin(), stored->end()));
  const ProcessResult missing = portal_dat({"cat", sample_archive().string(), "12345678"});
  EXPECT_EQ(missing.status, 1);
  expect_error_lines(missing.err);
}

TEST(PortalDatUsage, BadCommandLinesExitTwoWithOneErrorLine) {
  const std::string archive = sample_archive().string();
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"frobnicate", archive},
      {"ls"},
      {"ls", archive, "--sort", "name"},
      {"ls", archive, "0x20-0x10"},
      {"ls", archive, "123456789"},
      {"ls", archive, "--type", "0x100"},
      {"extract", archive},
      {"cat", archive, "xyz"},
      {"verify", archive, "--threads", "many"},
  };
  for (const auto& args : cases) {
    const ProcessResult result = portal_dat(args);
    EXPECT_EQ(result.status, 2) << testing::PrintToString(args);
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    expect_error_lines(result.err);
  }
  const ProcessResult help = portal_dat({"extract", "--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("--force"), std::string::npos);
}

TEST(PortalDatExtract, WritesEveryFileAndKeepsExistingOnesUnlessForced) {
  const ScratchDir dir("portal_dat_extract");
  const fs::path out = dir.file("out");
  const ProcessResult all = portal_dat({"extract", sample_archive().string(), "-o", out.string(), "-q"});
  EXPECT_EQ(all.status, 0) << all.err;
  EXPECT_EQ(all.err, "");  // no progress line when standard error is not a terminal
  EXPECT_EQ(all.out, "");
  EXPECT_EQ(expect_complete_files(out), 103U);

  // A range takes both its ends: 06000002, 06000006, 06000009 and 0600000A.
  const fs::path range = dir.file("range");
  const ProcessResult ranged =
      portal_dat({"extract", sample_archive().string(), "06000002-0600000A", "-o", range.string()});
  EXPECT_EQ(ranged.status, 0) << ranged.err;
  EXPECT_EQ(expect_complete_files(range), 4U);
  EXPECT_TRUE(fs::exists(range / "0600000A.bin"));

  test_support::write_file(out / "30000000.bin", std::vector<std::uint8_t>{'o', 'l', 'd'});
  const ProcessResult kept = portal_dat({"extract", sample_archive().string(), "30000000", "-o", out.string()});
  EXPECT_EQ(kept.status, 1);
  expect_error_lines(kept.err);
  EXPECT_EQ(read_text(out / "30000000.bin"), "old");
  const ProcessResult forced =
      portal_dat({"extract", sample_archive().string(), "30000000", "-o", out.string(), "--force"});
  EXPECT_EQ(forced.status, 0) << forced.err;
  EXPECT_EQ(expect_complete_files(out), 103U);
}

TEST(PortalDatExtract, NeverFollowsALinkPlantedInTheDirectory) {
  const ScratchDir dir("portal_dat_link");
  const fs::path out = dir.file("out");
  fs::create_directory(out);
  const fs::path outside = dir.file("outside");
  fs::create_symlink(outside, out / "30000000.bin");
  for (const char* force : {"--quiet", "--force"}) {
    const ProcessResult result =
        portal_dat({"extract", sample_archive().string(), "0x30000000", "-o", out.string(), force});
    EXPECT_EQ(result.status, std::string(force) == "--force" ? 0 : 1) << result.err;
    EXPECT_FALSE(fs::exists(fs::symlink_status(outside))) << force;
  }
  // Forced, the link itself was replaced by the extracted file.
  EXPECT_FALSE(fs::is_symlink(out / "30000000.bin"));
  EXPECT_EQ(expect_complete_files(out), 1U);
}

TEST(PortalDatExtract, AFullDiskStopsWithAClearErrorAndNoPartialFile) {
  if (::geteuid() != 0) GTEST_SKIP() << "mounting a small file system needs root";
  const ScratchDir dir("portal_dat_full");
  const fs::path out = dir.file("small");
  fs::create_directory(out);
  if (::mount("portal_dat_test", out.c_str(), "tmpfs", 0, "size=48k") != 0) {
    GTEST_SKIP() << "cannot mount a tmpfs: " << std::strerror(errno);
  }
  const ProcessResult result = portal_dat({"extract", sample_archive().string(), "-o", out.string()});
  EXPECT_EQ(result.status, 1);
  expect_error_lines(result.err);
  EXPECT_NE(result.err.find("no space left on device"), std::string::npos) << result.err;
  const std::size_t complete = expect_complete_files(out);
  EXPECT_GT(complete, 0U);
  EXPECT_LT(complete, 103U);
  ::umount2(out.c_str(), MNT_DETACH);
}

}  // namespace
