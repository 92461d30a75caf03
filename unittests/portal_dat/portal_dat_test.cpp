// portal_dat end to end: expected outputs on a small sample archive, verify
// over broken archives, usage errors, and extraction's safety.
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
#include "dat_writer/dat_writer.hpp"
#include "tools/portal_dat_sample/sample_archive.hpp"
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
      {{"ls", archive, "--type", "0x30", "06000000-0x0600000F", "01000003"}, "ls_selected.txt"},
      {{"ls", archive, "--type", "30", "--type", "0x01", "--sort", "size", "--json"}, "ls_by_size.jsonl"},
      {{"tree", archive}, "tree.txt"},
      {{"cmt", archive}, "cmt.txt"},
      {{"cmt", archive, "--json"}, "cmt.json"},
  };
  for (const auto& c : cases) {
    const ProcessResult result = portal_dat(c.args);
    EXPECT_EQ(result.status, 0) << c.expected << ": " << result.err;
    EXPECT_EQ(result.err, "") << c.expected;
    EXPECT_EQ(result.out, read_text(fs::path(PORTAL_DAT_EXPECTED_DIR) / c.expected)) << c.expected;
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

// An archive in which file 2's chain starts inside file 1's chain.
fs::path write_shared_block_archive(const ScratchDir& dir) {
  dat_writer::ArchiveBuilder builder(256);
  const std::vector<std::uint8_t> content(1000, 0x5A);
  dat_writer::DatFileEntry first = builder.add_file(0x01000001, content, false);
  dat_writer::DatFileEntry second = first;
  second.id = 0x01000002;
  second.size = 500;
  second.offset = builder.chain_blocks(first.offset).at(1);
  dat_writer::Node root;
  root.entries = {first, second};
  builder.set_root(builder.add_node(root));
  const fs::path path = dir.file("shared.dat");
  builder.write_file(path);
  return path;
}

TEST(PortalDatVerify, FindsTheProblemsOfBrokenArchives) {
  const ScratchDir dir("portal_dat_verify");
  const struct {
    Variant variant;
    int status;
    const char* in_out;  // in standard output, or in standard error when empty
  } cases[] = {
      {Variant::Retail, 0, "ok: "},
      {Variant::MissingTable, 0, "ok: "},
      {Variant::UnreadableTable, 1, "30000000: "},
      {Variant::BadHeader, 1, ""},
      {Variant::UnreadableDirectory, 1, ""},
  };
  for (const auto& c : cases) {
    const fs::path archive = dir.file("variant.dat");
    portal_dat_sample::write_sample_archive(archive, {.variant = c.variant, .filler_files = 100});
    const ProcessResult result = portal_dat({"verify", archive.string()});
    EXPECT_EQ(result.status, c.status) << result.out << result.err;
    if (*c.in_out == '\0') {
      expect_error_lines(result.err);
    } else {
      EXPECT_NE(result.out.find(c.in_out), std::string::npos) << result.out;
      EXPECT_EQ(result.err, "");
    }
  }
  const fs::path shared = write_shared_block_archive(dir);
  const ProcessResult text = portal_dat({"verify", shared.string()});
  EXPECT_EQ(text.status, 1);
  EXPECT_NE(text.out.find("also serve file 01000001"), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("FAILED: 2 entries, 1 directory nodes, 1 problem\n"), std::string::npos) << text.out;
  const ProcessResult json = portal_dat({"verify", shared.string(), "--json", "--threads", "1"});
  EXPECT_EQ(json.status, 1);
  EXPECT_NE(json.out.find("\n{\"entries\":2,\"directory_nodes\":1,\"problems\":1}\n"), std::string::npos)
      << json.out;
}

TEST(PortalDatExtract, WritesEveryFileAndKeepsExistingOnesUnlessForced) {
  const ScratchDir dir("portal_dat_extract");
  const fs::path out = dir.file("out");
  const ProcessResult all = portal_dat({"extract", sample_archive().string(), "-o", out.string(), "-q"});
  EXPECT_EQ(all.status, 0) << all.err;
  EXPECT_EQ(all.err, "");  // no progress line when standard error is not a terminal
  EXPECT_EQ(all.out, "");
  EXPECT_EQ(expect_complete_files(out), 103U);

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
