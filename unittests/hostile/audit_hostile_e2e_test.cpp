// Hostile inputs end to end: the audit executable run on hostile archives,
// special files and broken standard output. Each run must end by itself with
// a pass (0) or a failure (101) and a clear message, within generous time and
// memory bounds that only a hang or an unbounded allocation would break. Time
// is bounded as processor time, which a loaded machine does not eat into; the
// wall-clock bound only catches a run that blocks.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "unittests/hostile/hostile_cases.hpp"
#include "unittests/hostile/hostile_support.hpp"

namespace {

constexpr const char* kCheck = "shield_stance_has_three_backhand_rows";
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
constexpr bool kSanitized = __has_feature(address_sanitizer) || __has_feature(thread_sanitizer);
#else
constexpr bool kSanitized = false;
#endif
// Under a sanitizer the audit's memory is the program's and the sanitizer's
// shadow memory and quarantine, several times the program's own, and it runs
// several times slower; the bounds there only catch growth without limit.
constexpr long kMemoryBoundKib = (kSanitized ? 512 : 64) * 1024;
// The slowest case (a million directory levels) takes about 4 to 5 s of
// processor time in a debug build, and took 41 s on the wall clock of two
// processors under a load average of 22.
constexpr hostile::Limits kLimits{kSanitized ? 120U : 20U, kSanitized ? 600.0 : 180.0};
constexpr const char* kPassLine = "test shield_stance_has_three_backhand_rows ... ok";
constexpr const char* kFailLine = "test shield_stance_has_three_backhand_rows ... FAILED";

void expect_bounded(const hostile::Run& run) {
  EXPECT_FALSE(run.timed_out) << "killed after the wall-clock limit";
  EXPECT_FALSE(run.cpu_limited) << "stopped after its processor time limit";
  EXPECT_GT(run.peak_rss_kib, 0) << "the launcher reported no peak";
  EXPECT_LT(run.peak_rss_kib, kMemoryBoundKib);
}

class HostileAudit : public ::testing::Test {
 protected:
  hostile::ScratchDir dir_;
};

TEST_F(HostileAudit, HostileArchivesEndInAClearResult) {
  for (const hostile::AuditCase& c : hostile::audit_cases()) {
    SCOPED_TRACE(c.name);
    const auto path = dir_.file(c.slug + ".dat");
    hostile::write_case_archive(c, path);
    const hostile::Run run =
        hostile::run_audit(path.string(), {kCheck, "--exact"}, hostile::Stdout::Pipe, kLimits);
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
    const hostile::Run run =
        hostile::run_audit(c.path, {kCheck, "--exact"}, hostile::Stdout::Pipe, kLimits);
    expect_bounded(run);
    EXPECT_EQ(run.status, 101) << run.out << run.err;
    EXPECT_NE(run.out.find(c.expected), std::string::npos) << run.out;
  }
}

// A link to nothing names no archive: the audit fails naming it, whether or
// not an archive lies at the fallback location.
TEST_F(HostileAudit, ADanglingSymlinkIsAnUnusableArchivePath) {
  const auto link = dir_.file("dangling.dat");
  std::filesystem::create_symlink(dir_.file("missing.dat"), link);
  const hostile::Run run =
      hostile::run_audit(link.string(), {kCheck, "--exact"}, hostile::Stdout::Pipe, kLimits);
  expect_bounded(run);
  EXPECT_EQ(run.status, 101) << run.out << run.err;
  EXPECT_NE(run.out.find("QUORVANE_PORTAL_DAT is set to \"" + link.string() +
                         "\", which cannot be used: No such file or directory (os error 2)"),
            std::string::npos)
      << run.out;
}

TEST_F(HostileAudit, BrokenStandardOutputEndsTheRunAsAFailure) {
  const auto path = dir_.file("passing.dat");
  test_support::write_file(path, hostile::passing_archive());
  const struct {
    hostile::Stdout mode;
    std::vector<std::string> args;
    const char* expected;  // standard error
  } cases[] = {
      {hostile::Stdout::Closed, {}, "error: io error when listing tests: Os { code: 9,"},
      {hostile::Stdout::BrokenPipe, {}, "error: io error when listing tests: Os { code: 32,"},
      {hostile::Stdout::BrokenPipe, {"--list"}, "error: io error when listing tests: Os { code: 32,"},
      {hostile::Stdout::BrokenPipe, {"--quiet"}, "error: io error when listing tests: Os { code: 32,"},
      // Help goes through the output facility, whose write error is a failure report.
      {hostile::Stdout::Closed, {"--help"}, "failed printing to stdout"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mode == hostile::Stdout::Closed ? "closed" : "broken pipe");
    SCOPED_TRACE(c.args.empty() ? std::string("run") : c.args[0]);
    const hostile::Run run = hostile::run_audit(path.string(), c.args, c.mode, kLimits);
    expect_bounded(run);
    EXPECT_EQ(run.status, 101) << run.err;
    EXPECT_NE(run.err.find(c.expected), std::string::npos) << run.err;
  }
}

}  // namespace
