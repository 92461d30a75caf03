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
#include <utility>
#include <vector>

#include "dat_writer/dat_writer.hpp"
#include "quorvane_dat/lib/dat_database.hpp"
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
  for (std::string line; std::getline(lines, line);)
    EXPECT_TRUE(line.starts_with("portal_dat: ")) << line;
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
    const auto bytes =
        database->get_file(static_cast<std::uint32_t>(std::stoul(name.substr(0, 8), nullptr, 16)));
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
      {{"ls", archive, "--type", "30", "--type", "0x01", "--sort", "size", "--json"},
       "ls_by_size.jsonl"},
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
  EXPECT_EQ(portal_dat({"frobnicate", archive}).err, "portal_dat: unknown command 'frobnicate'\n");
  const ProcessResult help = portal_dat({"extract", "--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("--force"), std::string::npos);
}

// The commands portal_dat --help lists, each asked for its help and run with
// no arguments: the texts, errors and statuses are kept in one expected file.
TEST(PortalDatUsage, EveryListedCommandHasItsHelpAndUsageError) {
  std::string transcript;
  const auto record = [&](const std::vector<std::string>& args) {
    const ProcessResult result = portal_dat(args);
    transcript += "$ portal_dat";
    for (const std::string& arg : args) transcript += " " + arg;
    transcript += "\n" + result.out + result.err + "[exit " + std::to_string(result.status) + "]\n";
    return result;
  };
  const std::string listing = record({"--help"}).out;
  const std::size_t commands = listing.find("Subcommands:\n");
  ASSERT_NE(commands, std::string::npos) << listing;
  std::istringstream lines(listing.substr(commands));
  std::string line;
  std::getline(lines, line);
  std::size_t listed = 0;
  while (std::getline(lines, line) && line.starts_with("  ")) {
    std::string name;
    std::istringstream(line) >> name;
    EXPECT_EQ(record({name, "--help"}).status, 0) << name;
    EXPECT_EQ(record({name}).status, 2) << name;
    ++listed;
  }
  EXPECT_EQ(listed, 9U);
  EXPECT_TRUE(
      test_support::matches_expected_file(transcript, fs::path(PORTAL_DAT_EXPECTED_DIR) / "usage.txt"));
}

// Errors are single plain lines, whatever the error; info has a JSON form;
// --threads beyond the processors is clamped and, with --verbose, says so.
TEST(PortalDatOutput, PlainErrorLinesJsonInfoAndClampedThreads) {
  for (const char* archive : {"/dev/null", "/nonexistent/portal.dat"}) {
    const ProcessResult result = portal_dat({"info", archive});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    EXPECT_EQ(result.err.find('\x1b'), std::string::npos) << result.err;
    EXPECT_EQ(result.err.find("Backtrace"), std::string::npos) << result.err;
    expect_error_lines(result.err);
  }
  EXPECT_NE(portal_dat({"info", "/dev/null"})
                .err.find("failed to fill whole buffer (while parsing field 'magic' in DatHeader)"),
            std::string::npos);
  const ProcessResult json = portal_dat({"info", sample_archive().string(), "--json"});
  EXPECT_EQ(json.status, 0) << json.err;
  EXPECT_TRUE(json.out.starts_with("{\"magic\":\"0x")) << json.out;
  EXPECT_NE(json.out.find(",\"entries\":103,"), std::string::npos) << json.out;
  EXPECT_EQ(std::count(json.out.begin(), json.out.end(), '\n'), 1) << json.out;
  const ProcessResult clamped =
      portal_dat({"verify", sample_archive().string(), "--threads", "1024", "--verbose"});
  EXPECT_EQ(clamped.status, 0) << clamped.err;
  EXPECT_NE(clamped.err.find("portal_dat: --threads 1024 clamped to the "), std::string::npos)
      << clamped.err;
}

// Files whose chain loops or whose body decodes short, small ones (held
// whole by the batch) and large ones (read as streams), beside sound ones.
fs::path write_damaged_content_archive(const ScratchDir& dir) {
  dat_writer::ArchiveBuilder b(1024);
  std::vector<std::uint8_t> random(1100000);
  std::uint32_t seed = 1;
  for (auto& byte : random) byte = static_cast<std::uint8_t>((seed = seed * 1103515245 + 12345) >> 16);
  dat_writer::Node root;
  const auto looping = [&](std::uint32_t id, std::uint32_t claim) {
    dat_writer::DatFileEntry entry = b.add_file(id, std::vector<std::uint8_t>(3000, 0x4C), false);
    const std::vector<std::uint32_t> blocks = b.chain_blocks(entry.offset);
    b.set_next(blocks[2], blocks[1]);
    entry.size = claim;
    root.entries.push_back(entry);
  };
  const auto short_body = [&](std::uint32_t id, std::span<const std::uint8_t> content) {
    const dat_writer::DatFileEntry entry = b.add_file(id, content, true);
    b.write_u32(entry.offset + 4, static_cast<std::uint32_t>(content.size()) + 1);  // declares one more
    root.entries.push_back(entry);
  };
  looping(1, 20000);
  short_body(2, std::span(random).first(5000));
  looping(3, 9 << 20);
  short_body(4, random);
  root.entries.push_back(b.add_file(5, std::span(random).first(7000), true));
  root.entries.push_back(b.add_file(6, std::vector<std::uint8_t>(9 << 20, 0x66), false));
  b.set_root(b.add_node(root));
  const fs::path path = dir.file("damaged.dat");
  b.write_file(path);
  return path;
}

TEST(PortalDatContent, LoopingOrShortFilesAreRefusedUnlessSalvaged) {
  const ScratchDir dir("portal_dat_content");
  const fs::path archive = write_damaged_content_archive(dir);
  auto database = quorvane_dat::DatDatabase::new_(archive);
  ASSERT_TRUE(database.has_value());
  const auto content = [&](std::uint32_t id) {
    const auto bytes = database->get_file(id);
    return bytes ? std::string(bytes->begin(), bytes->end()) : std::string("unreadable");
  };
  for (const bool salvage : {false, true}) {
    for (std::uint32_t id = 1; id <= 6; ++id) {
      SCOPED_TRACE(testing::Message() << "file " << id << (salvage ? " salvaged" : ""));
      std::vector<std::string> args = {"cat", archive.string(), std::to_string(id)};
      if (salvage) args.push_back("--salvage");
      const ProcessResult cat = portal_dat(args);
      const bool sound = id >= 5;
      EXPECT_EQ(cat.status, sound ? 0 : 1) << cat.err;
      EXPECT_EQ(cat.out.size(), sound || salvage ? content(id).size() : 0);
      EXPECT_TRUE(cat.out == (sound || salvage ? content(id) : ""));
      if (!sound) {
        EXPECT_NE(cat.err.find("portal_dat: 0000000" + std::to_string(id) + ": its "), std::string::npos)
            << cat.err;
      }
    }
    const fs::path out = dir.file(salvage ? "salvaged" : "refused");
    std::vector<std::string> args = {"extract", archive.string(), "-o", out.string(), "-q"};
    if (salvage) args.push_back("--salvage");
    const ProcessResult extract = portal_dat(args);
    EXPECT_EQ(extract.status, 1);
    EXPECT_EQ(std::count(extract.err.begin(), extract.err.end(), '\n'), 4) << extract.err;
    expect_error_lines(extract.err);
    std::size_t files = 0;
    for (const fs::directory_entry& item : fs::directory_iterator(out)) {
      const auto id = static_cast<std::uint32_t>(
          std::stoul(item.path().filename().string().substr(0, 8), nullptr, 16));
      EXPECT_TRUE(salvage || id >= 5) << id;
      EXPECT_TRUE(read_text(item.path()) == content(id)) << id;
      ++files;
    }
    EXPECT_EQ(files, salvage ? 6U : 2U);
  }
}

// A chain that breaks off past the end of the archive, after more than one
// piece: the read error is reported, and only --salvage writes what came.
TEST(PortalDatContent, ABrokenChainFailsAndWritesOnlyWhenSalvaged) {
  const ScratchDir dir("portal_dat_broken");
  dat_writer::ArchiveBuilder b(1024);
  const std::vector<std::uint8_t> content(900000, 0x42);
  dat_writer::Node root;
  root.entries.push_back(b.add_file(7, content, false));
  b.set_next(b.chain_blocks(root.entries[0].offset).at(800), 0x7FFFFF00);
  b.set_root(b.add_node(root));
  const fs::path archive = dir.file("broken.dat");
  b.write_file(archive);
  for (const bool salvage : {false, true}) {
    std::vector<std::string> args = {"cat", archive.string(), "7"};
    if (salvage) args.push_back("--salvage");
    const ProcessResult cat = portal_dat(args);
    EXPECT_EQ(cat.status, 1) << salvage;
    EXPECT_TRUE(cat.err.starts_with("portal_dat: 00000007: ")) << cat.err;
    EXPECT_EQ(std::count(cat.err.begin(), cat.err.end(), '\n'), 1) << cat.err;
    EXPECT_EQ(cat.out.empty(), !salvage) << cat.out.size();
    EXPECT_LT(cat.out.size(), content.size());
    EXPECT_EQ(cat.out, std::string(cat.out.size(), '\x42'));
  }
}

TEST(PortalDatExtract, WritesEveryFileAndKeepsExistingOnesUnlessForced) {
  const ScratchDir dir("portal_dat_extract");
  // On one thread the reading thread writes every file; on more, writer
  // threads do; the last way names unnamed files through /proc, as where the
  // process may not link a descriptor itself.
  const std::vector<std::pair<std::string, std::string>> ways = {
      {"1", ""}, {"2", ""}, {"2", "PORTAL_DAT_LINK_THROUGH_PROC"}};
  for (const auto& [threads, variable] : ways) {
    SCOPED_TRACE(threads + " threads " + variable);
    const fs::path out = dir.file("all" + threads + variable);
    test_support::ProcessOptions environment;
    if (!variable.empty()) environment.env[variable] = "1";
    const ProcessResult all =
        test_support::run_process({PORTAL_DAT_EXE, "extract", sample_archive().string(), "-o",
                                   out.string(), "-q", "--threads", threads},
                                  environment);
    EXPECT_EQ(all.status, 0) << all.err;
    EXPECT_EQ(all.err, "");  // no progress line when standard error is not a terminal
    EXPECT_EQ(all.out, "");
    EXPECT_EQ(expect_complete_files(out), 103U);
  }
  const fs::path out = dir.file("all2");

  // A range takes both its ends: 06000002, 06000006, 06000009 and 0600000A.
  const fs::path range = dir.file("range");
  const ProcessResult ranged =
      portal_dat({"extract", sample_archive().string(), "06000002-0600000A", "-o", range.string()});
  EXPECT_EQ(ranged.status, 0) << ranged.err;
  EXPECT_EQ(expect_complete_files(range), 4U);
  EXPECT_TRUE(fs::exists(range / "0600000A.bin"));
  std::uintmax_t bytes = 0;
  for (const fs::directory_entry& item : fs::directory_iterator(range)) bytes += item.file_size();
  EXPECT_EQ(ranged.out,
            "extracted 4 of 4 files (" + std::to_string(bytes) + " bytes) to " + range.string() + "\n");

  test_support::write_file(out / "30000000.bin", std::vector<std::uint8_t>{'o', 'l', 'd'});
  const ProcessResult kept =
      portal_dat({"extract", sample_archive().string(), "30000000", "-o", out.string()});
  EXPECT_EQ(kept.status, 1);
  expect_error_lines(kept.err);
  EXPECT_EQ(read_text(out / "30000000.bin"), "old");
  const ProcessResult forced =
      portal_dat({"extract", sample_archive().string(), "30000000", "-o", out.string(), "--force"});
  EXPECT_EQ(forced.status, 0) << forced.err;
  EXPECT_EQ(expect_complete_files(out), 103U);
}

// Where files without a name are unavailable, files are written under
// temporary names: an existing file is still kept without --force, and a
// final rename that fails leaves no temporary file behind.
TEST(PortalDatExtract, TemporaryNamesKeepExistingFilesAndLeaveNothingBehind) {
  const ScratchDir dir("portal_dat_temporary");
  const fs::path out = dir.file("out");
  test_support::ProcessOptions temporary;
  temporary.env["PORTAL_DAT_TEMPORARY_NAMES"] = "1";
  const auto run = [&](std::vector<std::string> args) {
    args.insert(args.begin(), PORTAL_DAT_EXE);
    return test_support::run_process(args, temporary);
  };
  EXPECT_EQ(run({"extract", sample_archive().string(), "-o", out.string(), "-q"}).status, 0);
  EXPECT_EQ(expect_complete_files(out), 103U);
  test_support::write_file(out / "30000000.bin", std::vector<std::uint8_t>{'o', 'l', 'd'});
  const ProcessResult kept = run({"extract", sample_archive().string(), "30000000", "-o", out.string()});
  EXPECT_EQ(kept.status, 1);
  EXPECT_NE(kept.err.find("already exists; kept"), std::string::npos) << kept.err;
  EXPECT_EQ(read_text(out / "30000000.bin"), "old");
  // A directory with an entry in the way: the forced rename fails.
  fs::remove(out / "30000000.bin");
  fs::create_directories(out / "30000000.bin" / "inside");
  const ProcessResult blocked =
      run({"extract", sample_archive().string(), "30000000", "-o", out.string(), "--force"});
  EXPECT_EQ(blocked.status, 1);
  EXPECT_NE(blocked.err.find("cannot rename " + out.string() + "/30000000.bin"), std::string::npos)
      << blocked.err;
  fs::remove_all(out / "30000000.bin");
  EXPECT_EQ(expect_complete_files(out), 102U);  // and no temporary file
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
  // Reported once, however many files were being written when it happened.
  std::size_t stops = 0;
  for (std::size_t at = 0; (at = result.err.find("extraction stopped", at)) != std::string::npos; ++at)
    ++stops;
  EXPECT_EQ(stops, 1U) << result.err;
  const std::size_t complete = expect_complete_files(out);
  EXPECT_GT(complete, 0U);
  EXPECT_LT(complete, 103U);
  ::umount2(out.c_str(), MNT_DETACH);
}

}  // namespace
