// Hostile inputs end to end: the audit executable run on hostile archives,
// special files and broken standard output. Each run must end by itself with
// a pass (0) or a failure (101) and a clear message, within generous time and
// memory bounds that only a hang or an unbounded allocation would break.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <string>

#include "unittests/hostile/hostile_archives.hpp"
#include "unittests/hostile/hostile_support.hpp"

namespace {

constexpr const char* kCheck = "shield_stance_has_three_backhand_rows";
constexpr long kMemoryBoundKib = 256 * 1024;
constexpr const char* kPassLine = "test shield_stance_has_three_backhand_rows ... ok";
constexpr const char* kFailLine = "test shield_stance_has_three_backhand_rows ... FAILED";

struct Case {
  const char* name;
  std::function<dat_writer::Bytes()> archive;
  int status;            // 0: the audit passes; 101: it fails
  const char* expected;  // part of standard output
};

void expect_bounded(const hostile::Run& run) {
  EXPECT_FALSE(run.timed_out) << "killed after the time limit";
  EXPECT_LT(run.peak_rss_kib, kMemoryBoundKib);
}

class HostileAudit : public ::testing::Test {
 protected:
  hostile::ScratchDir dir_;
};

TEST_F(HostileAudit, HostileArchivesEndInAClearResult) {
  const Case cases[] = {
      {"empty file", [] { return dat_writer::Bytes{}; }, 101,
       "While parsing field 'magic' in DatHeader"},
      {"header cut inside version_string", [] { return hostile::truncated_header(0x180); }, 101,
       "While parsing field 'version_string' in DatHeader"},
      {"header cut inside version_minor", [] { return hostile::truncated_header(0x18F); }, 101,
       "While parsing field 'version_minor' in DatHeader"},
      {"root node beyond the end", hostile::root_beyond_end, 101,
       "open portal.dat: Io(Error { kind: UnexpectedEof"},
      {"node chain that loops", hostile::node_chain_loop, 0, kPassLine},
      {"directory cycle", hostile::directory_cycle, 101, "is its own ancestor"},
      {"node named twice at each of 40 levels", [] { return hostile::doubled_tree(40); }, 101,
       "directory walk needs more than"},
      {"100000 levels packed", [] { return hostile::packed_deep_tree(100000); }, 101,
       "directory walk needs more than"},
      {"entry_count 0xFFFFFFFF", [] { return hostile::claimed_entries(0xFFFFFFFF); }, 101,
       "While parsing field 'bit_flags' in DatFileEntry"},
      {"block_size 0", [] { return hostile::with_block_size(0, false); }, 101,
       "block_size 0 is too small to follow"},
      {"block_size 4", [] { return hostile::with_block_size(4, false); }, 101,
       "block_size 4 is too small to follow"},
      {"block_size 0, single-run chains", [] { return hostile::with_block_size(0, true); }, 0,
       kPassLine},
      {"root offset 0xFFFFFFFF", [] { return hostile::root_at(0xFFFFFFFF); }, 101,
       "leaves no room for a payload below 4 GiB"},
      {"table offset 0xFFFFFFFE", [] { return hostile::table_entry(0xFFFFFFFE, 68); }, 101,
       "read CombatManeuverTable 0x30000000: Corruption detected: block offset 0xFFFFFFFE"},
      {"table size 4 GiB - 1", [] { return hostile::table_entry(0x400, 0xFFFFFFFF); }, 101,
       "read CombatManeuverTable 0x30000000: Corruption detected: file 0x30000000 claims "
       "4294967295 bytes"},
      {"compressed body claiming 4 GiB", hostile::compressed_claims_4gib, 0, kPassLine},
      {"table claiming 0xFFFFFFFF rows", hostile::table_rows_claimed_4g, 101,
       "While parsing field 'combat_maneuvers' in CombatManeuverTable"},
  };
  int index = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto path = dir_.file("case" + std::to_string(index++) + ".dat");
    hostile::write_bytes(path, c.archive());
    const hostile::Run run = hostile::run_audit(path.string(), {kCheck, "--exact"});
    expect_bounded(run);
    EXPECT_EQ(run.status, c.status) << run.out << run.err;
    EXPECT_NE(run.out.find(c.status == 0 ? kPassLine : kFailLine), std::string::npos) << run.out;
    EXPECT_NE(run.out.find(c.expected), std::string::npos) << run.out;
  }
}

TEST_F(HostileAudit, ArchivePathsThatAreNotArchiveFilesEndInAClearResult) {
  const auto fifo = dir_.file("fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const struct {
    std::string path;
    const char* expected;
  } cases[] = {
      {dir_.path().string(), "open portal.dat: BinRead("},
      {fifo.string(), "open portal.dat: Io(Os { code: 29, kind: NotSeekable"},
      {"/dev/zero", "read CombatManeuverTable 0x30000000: File ID 30000000 not found in provider"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    const hostile::Run run = hostile::run_audit(c.path, {kCheck, "--exact"});
    expect_bounded(run);
    EXPECT_EQ(run.status, 101) << run.out << run.err;
    EXPECT_NE(run.out.find(c.expected), std::string::npos) << run.out;
  }
}

TEST_F(HostileAudit, ADanglingSymlinkCountsAsNoArchive) {
  if (std::filesystem::exists(hostile::fallback_archive_path())) {
    GTEST_SKIP() << "an archive is installed at the fallback location";
  }
  const auto link = dir_.file("dangling.dat");
  std::filesystem::create_symlink(dir_.file("missing.dat"), link);
  const hostile::Run run = hostile::run_audit(link.string(), {kCheck, "--exact", "--show-output"});
  expect_bounded(run);
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_NE(run.out.find("Skipping shield-stance Backhand audit: portal.dat not found"),
            std::string::npos)
      << run.out;
}

TEST_F(HostileAudit, BrokenStandardOutputEndsTheRunAsAFailure) {
  const auto path = dir_.file("passing.dat");
  hostile::write_bytes(path, hostile::passing_archive());
  const struct {
    hostile::Stdout mode;
    std::vector<std::string> args;
    const char* expected;  // standard error
  } cases[] = {
      {hostile::Stdout::Closed, {}, "error: io error when listing tests: Os { code: 9,"},
      {hostile::Stdout::BrokenPipe, {}, "error: io error when listing tests: Os { code: 32,"},
      {hostile::Stdout::BrokenPipe, {"--list"}, "error: io error when listing tests: Os { code: 32,"},
      {hostile::Stdout::BrokenPipe, {"--quiet"},
       "error: io error when listing tests: Os { code: 32,"},
      // Help goes through the output facility, whose write error is a failure report.
      {hostile::Stdout::Closed, {"--help"}, "failed printing to stdout"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mode == hostile::Stdout::Closed ? "closed" : "broken pipe");
    SCOPED_TRACE(c.args.empty() ? std::string("run") : c.args[0]);
    const hostile::Run run = hostile::run_audit(path.string(), c.args, c.mode);
    expect_bounded(run);
    EXPECT_EQ(run.status, 101) << run.err;
    EXPECT_NE(run.err.find(c.expected), std::string::npos) << run.err;
  }
}

}  // namespace
