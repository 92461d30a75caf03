// portal_dat diff and sum end to end: expected outputs over two archives that
// differ in every way diff reports, manifests against sha256sum's, --check of
// a tampered manifest, and the exit statuses.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "dat_writer/dat_writer.hpp"
#include "quorvane_dat/lib/dat_database.hpp"
#include "tools/portal_dat/archive_compare.hpp"
#include "tools/portal_dat/content_digest.hpp"
#include "tools/portal_dat/entry_digests.hpp"
#include "tools/portal_dat/sha256_digest.hpp"
#include "tools/portal_dat_sample/maneuver_rows.hpp"
#include "tools/portal_dat_sample/sample_archive.hpp"
#include "unittests/support/process.hpp"
#include "unittests/support/scratch_dir.hpp"

namespace {

namespace fs = std::filesystem;
using portal_dat_sample::Variant;
using test_support::ProcessResult;
using test_support::ScratchDir;

ProcessResult portal_dat(std::vector<std::string> args, test_support::ProcessOptions options = {}) {
  args.insert(args.begin(), PORTAL_DAT_EXE);
  return test_support::run_process(args, options);
}

std::string read_text(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void write_text(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

dat_writer::Bytes bytes_of(const std::string& text) { return {text.begin(), text.end()}; }

dat_writer::FileSpec file(std::uint32_t id, dat_writer::Bytes content, bool compressed = false,
                          std::uint32_t version = 1, std::uint32_t timestamp = 1700000000) {
  return {id, std::move(content), compressed, timestamp, version};
}

fs::path write_archive(const fs::path& path, std::uint32_t game_version,
                       const std::vector<dat_writer::FileSpec>& files) {
  dat_writer::ArchiveBuilder builder(256);
  builder.header().game_version = game_version;
  dat_writer::add_files_with_directory(builder, files);
  builder.write_file(path);
  return path;
}

// OLD and NEW: one file unchanged, one changed, one removed, one added, two
// whose content is the same but whose entry changed (iteration and date;
// compression and stored size), one more unchanged, and the combat maneuver
// table with one row moved to another height and one row added; and NEW
// again with its files in the opposite order.
struct ArchivePair {
  ScratchDir dir{"portal_dat_diff"};
  fs::path old_path, new_path, reversed_path;

  ArchivePair() {
    using namespace portal_dat_sample;
    const dat_writer::Bytes repeated =
        bytes_of(std::string(40, 'a') + std::string(40, 'b') + std::string(40, 'a'));
    const dat_writer::Bytes other(300, 0x42);
    std::vector<quorvane_dat::CombatManeuver> new_rows = maneuver_rows(Variant::HeightsOneOneThree);
    new_rows.push_back({SWORD_SHIELD_COMBAT, 3, ATTACK_SLASH, 250, UNNAMED_LOW_BACKHAND});
    old_path = write_archive(
        dir.file("old.dat"), 2,
        {
            file(0x01000001, bytes_of("the same in both")),
            file(0x01000002, bytes_of("old content")),
            file(0x01000003, bytes_of("only in the old one")),
            file(0x06000001, bytes_of("new iteration and date")),
            file(0x06000002, repeated),
            file(0x06000003, other, true),
            file(COMBAT_MANEUVER_TABLE_ID,
                 encode_table(COMBAT_MANEUVER_TABLE_ID, maneuver_rows(Variant::Retail)), true),
        });
    std::vector<dat_writer::FileSpec> new_files = {
        file(0x01000001, bytes_of("the same in both")),
        file(0x01000002, bytes_of("new content!")),
        file(0x01000004, bytes_of("only in the new one")),
        file(0x06000001, bytes_of("new iteration and date"), false, 2, 1700086400),
        file(0x06000002, repeated, true),
        file(0x06000003, other, true),
        file(COMBAT_MANEUVER_TABLE_ID, encode_table(COMBAT_MANEUVER_TABLE_ID, new_rows), true),
    };
    new_path = write_archive(dir.file("new.dat"), 3, new_files);
    // The same files stored in the opposite order: no entry is met at the
    // same point of both reads, so each is compared by its digests.
    std::reverse(new_files.begin(), new_files.end());
    reversed_path = write_archive(dir.file("reversed.dat"), 3, new_files);
  }
};

const ArchivePair& pair() {
  static const ArchivePair archives;
  return archives;
}

// A sample archive of the variant, written once per variant.
std::string sample(Variant variant) {
  static const ScratchDir dir("portal_dat_compare_sample");
  const fs::path path = dir.file(std::to_string(static_cast<int>(variant)) + ".dat");
  if (!fs::exists(path))
    portal_dat_sample::write_sample_archive(path, {.variant = variant, .filler_files = 100});
  return path.string();
}

TEST(PortalDatDiff, MatchesExpectedFiles) {
  const std::string a = pair().old_path.string(), b = pair().new_path.string();
  const struct {
    std::vector<std::string> args;
    const char* expected;
  } cases[] = {
      {{a, b}, "diff.txt"},
      {{a, b, "--metadata", "--records"}, "diff_metadata_records.txt"},
      {{a, pair().reversed_path.string(), "--metadata", "--records"}, "diff_metadata_records.txt"},
      {{a, b, "--metadata", "--records", "--json", "--threads", "1"}, "diff_metadata_records.jsonl"},
      {{a, b, "--stat", "--metadata"}, "diff_stat.txt"},
      {{a, b, "--stat", "--json"}, "diff_stat.jsonl"},
      {{a, b, "--type", "6", "01000002-01000003", "--metadata"}, "diff_selected.txt"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = c.args;
    args.insert(args.begin(), "diff");
    const ProcessResult result = portal_dat(args);
    EXPECT_EQ(result.status, 1) << c.expected << ": " << result.err;
    EXPECT_EQ(result.err, "") << c.expected;
    EXPECT_EQ(result.out, read_text(fs::path(PORTAL_DAT_EXPECTED_DIR) / c.expected)) << c.expected;
  }
}

test_support::ProcessOptions in_dir(const fs::path& dir) {
  test_support::ProcessOptions options;
  options.cwd = dir.string();
  return options;
}

// diff exits 0, 1 or 2 as diff(1) does; sum 1 on a failure, 2 on a usage error.
TEST(PortalDatCompare, ExitStatusesAndTrouble) {
  const std::string a = pair().old_path.string(), b = pair().new_path.string();
  const std::string retail = sample(Variant::Retail), unreadable = sample(Variant::UnreadableTable);
  const ScratchDir dir("portal_dat_statuses");
  write_text(dir.file("garbage"), "garbage\n");
  write_text(dir.file("ok"), portal_dat({"sum", retail, "30000000"}).out);
  const std::string absent = dir.file("absent").string();
  const struct {
    std::vector<std::string> args;
    int status;
    const char* in_out;  // expected in standard output
    const char* in_err;  // expected in standard error ("" for none at all)
  } cases[] = {
      {{"diff", a, a, "--metadata"},
       0,
       "0 added, 0 removed, 0 changed, 0 metadata only, 7 unchanged\n",
       ""},
      // Metadata-only differences count only with --metadata.
      {{"diff", a, b, "06000001-06000002"}, 0, "0 added, 0 removed, 0 changed, 2 unchanged\n", ""},
      {{"diff", a, b, "06000001", "--metadata"}, 1, "m 06000001 iteration 1 -> 2", ""},
      {{"diff", a, b, "01000004"}, 1, "+ 01000004 19\n", ""},
      {{"diff", a, b, "7FFFFFFF"}, 2, "0 added", "7FFFFFFF: in neither archive"},
      {{"diff", a, absent}, 2, "", "cannot open"},
      {{"diff", a, b, "0x20-0x10"}, 2, "", "ends before it starts"},
      {{"diff", a, b, "--stat", "--records"}, 2, "", "excludes"},
      // A file that cannot be read is trouble, never a difference.
      {{"diff", retail, unreadable}, 2, "102 unchanged, 1 unreadable\n", ": 30000000: "},
      {{"diff", unreadable, retail, "--json"}, 2, "\"unreadable\":1}", ": 30000000: "},
      // Content that differs, but a table that cannot be read as one.
      {{"diff", retail, sample(Variant::ShortTable)}, 1, "M 30000000 2848 -> 4\n", ""},
      {{"diff", retail, sample(Variant::ShortTable), "--records"},
       2,
       "M 30000000 2848 -> 4\n",
       "cannot read the combat maneuver table"},
      {{"sum", absent}, 1, "", "cannot open"},
      {{"sum", unreadable}, 1, ".bin\n", "30000000: "},
      {{"sum", retail, "7FFFFFFF"}, 1, "", "7FFFFFFF: not in the archive"},
      {{"sum", "-c", absent, retail}, 1, "", "cannot read"},
      {{"sum", "-c", dir.file("garbage").string(), retail}, 1, "", "no properly formatted"},
      {{"sum", "-c", dir.file("ok").string(), unreadable},
       1,
       "30000000.bin: FAILED open or read\n",
       "could not be read"},
      {{"sum", "-c", dir.file("ok").string(), retail, "0x30"}, 2, "", "takes no ids"},
      {{"sum", retail, "xyz"}, 2, "", "not a file id"},
  };
  for (const auto& c : cases) {
    const ProcessResult result = portal_dat(c.args);
    const std::string what = testing::PrintToString(c.args) + "\n" + result.out + result.err;
    EXPECT_EQ(result.status, c.status) << what;
    EXPECT_NE(result.out.find(c.in_out), std::string::npos) << what;
    if (*c.in_err == '\0') {
      EXPECT_EQ(result.err, "") << what;
    } else {
      EXPECT_NE(result.err.find(c.in_err), std::string::npos) << what;
      EXPECT_TRUE(result.err.starts_with("portal_dat: ")) << what;
    }
    EXPECT_EQ(result.out.find("M 30000000 2848 -> 2848"), std::string::npos) << what;
  }
  // Neither archive opens: both are reported, in the order given.
  const ProcessResult neither = portal_dat({"diff", absent, absent + "-too"});
  EXPECT_EQ(neither.status, 2);
  const std::size_t second = neither.err.find("cannot open " + absent + "-too: ");
  EXPECT_NE(second, std::string::npos) << neither.err;
  EXPECT_LT(neither.err.find("cannot open " + absent + ": "), second) << neither.err;
}

std::vector<quorvane_dat::DatFileEntry> entries_of(const quorvane_dat::DatDatabase& database) {
  std::vector<quorvane_dat::DatFileEntry> entries;
  for (const auto& item : database.files()) entries.push_back(item.second);
  return entries;
}

// Entries are compared alike whatever the order of the files, and with the
// two reads one after the other when no thread can start; without a secret
// for the hashes nothing is compared.
TEST(PortalDatCompare, ComparesInEitherOrderAndNeedsASecret) {
  auto old_database = quorvane_dat::DatDatabase::new_(pair().old_path);
  ASSERT_TRUE(old_database);
  const portal_dat::ThreadStarter no_thread = [](std::function<void()>) -> std::thread {
    throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
  };
  for (const fs::path& path : {pair().new_path, pair().reversed_path}) {
    auto new_database = quorvane_dat::DatDatabase::new_(path);
    ASSERT_TRUE(new_database);
    for (const bool threaded : {true, false}) {
      const portal_dat::Comparison comparison =
          portal_dat::compare_archives(*old_database, entries_of(*old_database), *new_database,
                                       entries_of(*new_database), 2, {}, threaded ? nullptr : no_thread);
      ASSERT_FALSE(comparison.error.has_value()) << *comparison.error;
      std::string same;
      for (const portal_dat::ComparedEntry& item : comparison.entries) same += item.same ? '=' : '!';
      EXPECT_EQ(same, "=!!!===!") << path
                                  << threaded;  // by id; added and removed entries are not the same
    }
  }
  const portal_dat::Comparison failed =
      portal_dat::compare_archives(*old_database, entries_of(*old_database), *old_database,
                                   entries_of(*old_database), 2, [](void*, std::size_t) -> long {
                                     errno = EIO;
                                     return -1;
                                   });
  EXPECT_EQ(failed.error, "cannot draw a random secret: Input/output error");
  EXPECT_TRUE(failed.entries.empty());
}

// A file's hash does not depend on how its bytes come in pieces, on either
// side of the bytes gathered before streaming; any change of a byte or of the
// length changes it.
TEST(PortalDatCompare, ContentHashIsThatOfTheWholeHoweverThePiecesFall) {
  const portal_dat::ContentSecret secret = [] {
    std::string error;
    return *portal_dat::random_secret(error);
  }();
  portal_dat::ContentDigest digest(secret);
  const auto hash_in_pieces = [&](const dat_writer::Bytes& bytes, std::size_t piece) {
    digest.begin({});
    for (std::size_t at = 0; at < bytes.size(); at += piece) {
      digest.update(std::span(bytes).subspan(at, std::min(piece, bytes.size() - at)));
    }
    std::array<std::uint8_t, quorvane_dat::BatchDigest::MAX_SIZE> out{};
    const std::size_t length = digest.finish(out);
    portal_dat::ContentHash hash{};
    EXPECT_EQ(length, hash.size());
    std::copy_n(out.begin(), hash.size(), hash.begin());
    return hash;
  };
  for (const std::size_t size : {0UL, 1UL, 4095UL, 4096UL, 4097UL, 1UL << 20}) {
    dat_writer::Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
    const portal_dat::ContentHash whole = portal_dat::content_hash(secret, bytes);
    for (const std::size_t piece : {1UL, 1020UL, 4096UL, 4097UL, std::max<std::size_t>(size, 1)}) {
      if (size > 65536 && piece == 1) continue;
      EXPECT_EQ(hash_in_pieces(bytes, piece), whole) << size << " in pieces of " << piece;
    }
    dat_writer::Bytes longer = bytes;
    longer.push_back(0);
    EXPECT_NE(hash_in_pieces(longer, 1020), whole) << size;
    if (size == 0) continue;
    dat_writer::Bytes changed = bytes;
    changed[size / 2] ^= 1;
    EXPECT_NE(hash_in_pieces(changed, 1020), whole) << size;
  }
}

// The secret is filled however the source hands its bytes out, and a source
// that fails or runs dry is reported.
TEST(PortalDatCompare, RandomSecretFillsOrSaysWhy) {
  int calls = 0;
  std::string error;
  const auto secret = portal_dat::random_secret(error, [&](void* buffer, std::size_t length) -> long {
    if (++calls == 1) {
      errno = EINTR;
      return -1;
    }
    const std::size_t given = std::min<std::size_t>(length, 50);
    std::memset(buffer, 0xA5, given);
    return static_cast<long>(given);
  });
  ASSERT_TRUE(secret.has_value()) << error;
  EXPECT_EQ(calls, 1 + 4);  // 192 bytes, 50 at a time, after one interruption
  EXPECT_TRUE(
      std::all_of(secret->bytes.begin(), secret->bytes.end(), [](std::uint8_t b) { return b == 0xA5; }));
  EXPECT_FALSE(portal_dat::random_secret(error, [](void*, std::size_t) -> long { return 0; }));
  EXPECT_EQ(error, "cannot draw a random secret: no bytes");
}

// An unreadable file on either side is an error of that side, never a
// difference.
TEST(PortalDatCompare, UnreadableFileOnEitherSideIsAnErrorNotADifference) {
  auto retail = quorvane_dat::DatDatabase::new_(sample(Variant::Retail));
  auto unreadable = quorvane_dat::DatDatabase::new_(sample(Variant::UnreadableTable));
  ASSERT_TRUE(retail && unreadable);
  for (int run = 0; run < 20; ++run) {
    for (const bool old_unreadable : {false, true}) {
      const auto& old_database = old_unreadable ? *unreadable : *retail;
      const auto& new_database = old_unreadable ? *retail : *unreadable;
      const portal_dat::Comparison comparison = portal_dat::compare_archives(
          old_database, entries_of(old_database), new_database, entries_of(new_database), 1 + run % 4);
      ASSERT_FALSE(comparison.error.has_value()) << *comparison.error;
      std::vector<std::uint32_t> errors;
      for (const portal_dat::ComparedEntry& item : comparison.entries) {
        const portal_dat::ComparedSide& bad = old_unreadable ? item.old_side : item.new_side;
        if (bad.error) errors.push_back(item.id);
        EXPECT_EQ(item.same, !bad.error) << item.id;
      }
      EXPECT_EQ(errors, std::vector<std::uint32_t>{0x30000000}) << old_unreadable;
    }
  }
}

// Files too large for a batch to hold whole are hashed in pieces on the
// workers, for diff and sum, stored and compressed alike; a file whose bytes
// begin with all of the other's is not the same.
TEST(PortalDatCompare, LargeFilesAreComparedAndSummedInPieces) {
  const ScratchDir dir("portal_dat_large");
  const dat_writer::Bytes big(9 << 20, 0x78);
  dat_writer::Bytes changed = big, longer = big;
  changed.back() = 0x79;
  longer.push_back(0x78);
  const fs::path old_path = write_archive(
      dir.file("old.dat"), 1,
      {file(0x01000001, big), file(0x01000002, big), file(0x01000003, big, true),
       file(0x01000004, bytes_of("small")), file(0x01000005, big), file(0x01000006, longer, true),
       file(0x01000007, bytes_of("short")), file(0x01000008, bytes_of("short+"))});
  const fs::path new_path = write_archive(
      dir.file("new.dat"), 1,
      {file(0x01000001, big), file(0x01000002, changed), file(0x01000003, changed, true),
       file(0x01000004, bytes_of("small")), file(0x01000005, longer), file(0x01000006, big, true),
       file(0x01000007, bytes_of("short+")), file(0x01000008, bytes_of("short"))});
  auto old_database = quorvane_dat::DatDatabase::new_(old_path);
  auto new_database = quorvane_dat::DatDatabase::new_(new_path);
  ASSERT_TRUE(old_database && new_database);
  for (const unsigned threads : {1U, 2U, 4U}) {
    const portal_dat::Comparison comparison = portal_dat::compare_archives(
        *old_database, entries_of(*old_database), *new_database, entries_of(*new_database), threads);
    ASSERT_FALSE(comparison.error.has_value()) << *comparison.error;
    std::string same;
    for (const portal_dat::ComparedEntry& item : comparison.entries) {
      same += item.same ? '=' : '!';
      EXPECT_EQ(item.new_side.decoded_size, new_database->get_file(item.id)->size()) << item.id;
    }
    EXPECT_EQ(same, "=!!=!!!!") << threads;
  }
  portal_dat::Sha256Hasher hasher;
  std::string expected;
  for (std::uint32_t id = 0x01000001; id <= 0x01000008; ++id) {
    expected += portal_dat::to_hex(*hasher.digest(*new_database->get_file(id))) + "  0" +
                std::to_string(id - 0x01000000 + 1000000) + ".bin\n";
  }
  const ProcessResult sum = portal_dat({"sum", new_path.string()});
  EXPECT_EQ(sum.status, 0) << sum.err;
  EXPECT_EQ(sum.out, expected);
}

// The names of the *.bin files in `dir`, sorted.
std::vector<std::string> bin_names(const fs::path& dir) {
  std::vector<std::string> names;
  for (const fs::directory_entry& item : fs::directory_iterator(dir))
    names.push_back(item.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(PortalDatSum, AgreesWithSha256sumOfAnExtraction) {
  const std::string sha256sum = test_support::find_program("sha256sum");
  if (sha256sum.empty()) GTEST_SKIP() << "no sha256sum";
  const ScratchDir dir("portal_dat_sum");
  const fs::path out = dir.file("out");
  const std::string archive = sample(Variant::Retail);
  ASSERT_EQ(portal_dat({"extract", "-q", archive, "-o", out.string()}).status, 0);
  std::vector<std::string> names = bin_names(out);
  ASSERT_EQ(names.size(), 103U);

  const ProcessResult sum = portal_dat({"sum", archive});
  ASSERT_EQ(sum.status, 0) << sum.err;
  std::vector<std::string> args = names;
  args.insert(args.begin(), sha256sum);
  const ProcessResult reference = test_support::run_process(args, in_dir(out));
  ASSERT_EQ(reference.status, 0) << reference.err;
  EXPECT_EQ(sum.out, reference.out);
  const ProcessResult selected = portal_dat({"sum", archive, "--type", "0x30"});
  std::istringstream reference_lines(reference.out);
  std::string tables;
  for (std::string line; std::getline(reference_lines, line);) {
    if (line.substr(66, 2) == "30") tables += line + "\n";
  }
  EXPECT_EQ(selected.out, tables);

  // Each manifest is accepted by the other program, the tagged form too.
  write_text(dir.file("ours"), sum.out);
  args.insert(args.begin() + 1, "--tag");
  write_text(dir.file("tagged"), test_support::run_process(args, in_dir(out)).out);
  write_text(dir.file("binary"), std::string(sum.out).replace(64, 2, " *"));
  EXPECT_EQ(
      test_support::run_process({sha256sum, "-c", "--quiet", dir.file("ours").string()}, in_dir(out))
          .status,
      0);
  for (const char* manifest : {"ours", "tagged", "binary"}) {
    const ProcessResult check = portal_dat({"sum", "--check", dir.file(manifest).string(), archive});
    EXPECT_EQ(check.status, 0) << manifest << check.err;
    EXPECT_EQ(check.err, "") << manifest;
    EXPECT_EQ(std::count(check.out.begin(), check.out.end(), '\n'), 103) << manifest;
    EXPECT_NE(check.out.find("30000000.bin: OK\n"), std::string::npos) << manifest;
  }

  // Names with a backslash or a newline, which sha256sum writes escaped.
  const std::vector<std::string> odd = {"back\\slash/30000000.bin", "new\nline/30000000.bin"};
  for (const std::string& name : odd) {
    fs::create_directory(out / fs::path(name).parent_path());
    fs::copy_file(out / "30000000.bin", out / name);
  }
  const ProcessResult escaped = test_support::run_process({sha256sum, odd[0], odd[1]}, in_dir(out));
  ASSERT_TRUE(escaped.out.starts_with("\\")) << escaped.out;
  write_text(dir.file("escaped"), escaped.out);
  const ProcessResult check = portal_dat({"sum", "--check", dir.file("escaped").string(), archive});
  EXPECT_EQ(check.status, 0) << check.err;
  EXPECT_EQ(check.out,
            test_support::run_process({sha256sum, "-c", dir.file("escaped").string()}, in_dir(out)).out);
}

TEST(PortalDatSum, CheckReportsChangedMissingAndExtraEntries) {
  const ScratchDir dir("portal_dat_check");
  const std::string archive = sample(Variant::Retail);
  const std::string manifest = portal_dat({"sum", archive}).out;
  std::istringstream in(manifest);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), 103U);
  const std::string changed = lines[0].substr(66), extra = lines[1].substr(66);
  lines[0][0] = lines[0][0] == '0' ? '1' : '0';
  lines.erase(lines.begin() + 1);
  lines.push_back(std::string(64, 'a') + "  7FFFFFFF.bin");
  lines.push_back("not a checksum line");
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  const fs::path tampered = dir.file("tampered");
  write_text(tampered, text);

  const ProcessResult strict =
      portal_dat({"sum", "-c", tampered.string(), archive, "--quiet", "--strict"});
  EXPECT_EQ(strict.status, 1);
  EXPECT_EQ(strict.out,
            changed + ": FAILED\n7FFFFFFF.bin: missing\n" + extra + ": not in the manifest\n");
  EXPECT_EQ(strict.err,
            "portal_dat: WARNING: 1 line is improperly formatted\n"
            "portal_dat: WARNING: 1 listed file could not be read\n"
            "portal_dat: WARNING: 1 computed checksum did NOT match\n"
            "portal_dat: WARNING: 1 entry of the archive is not in the manifest\n");
  const ProcessResult plain = portal_dat({"sum", "--check", tampered.string(), archive});
  EXPECT_EQ(plain.status, 1);
  EXPECT_EQ(std::count(plain.out.begin(), plain.out.end(), '\n'), 103);
  EXPECT_NE(plain.out.find(lines[1].substr(66) + ": OK\n"), std::string::npos);
  EXPECT_EQ(plain.out.find("not in the manifest"), std::string::npos);

  // An improperly formatted line, or an entry the manifest lacks, fails
  // nothing unless --strict.
  write_text(dir.file("one_more_line"), manifest + "garbage\n");
  write_text(dir.file("one_line_less"), manifest.substr(manifest.find('\n') + 1));
  for (const char* name : {"one_more_line", "one_line_less"}) {
    EXPECT_EQ(portal_dat({"sum", "-c", dir.file(name).string(), archive}).status, 0) << name;
    EXPECT_EQ(portal_dat({"sum", "-c", dir.file(name).string(), archive, "--strict"}).status, 1) << name;
  }
}

// SHA-256 itself, and hashing that cannot start or gives no digest.
TEST(PortalDatSum, DigestOfKnownBytesAndHashingFailures) {
  portal_dat::Sha256Hasher hasher;
  const auto digest = hasher.digest(bytes_of("abc"));
  ASSERT_TRUE(digest.has_value());
  EXPECT_EQ(portal_dat::to_hex(*digest),
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(
      portal_dat::parse_digest_hex("BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD"),
      digest);
  EXPECT_FALSE(portal_dat::parse_digest_hex(std::string(63, 'a')).has_value());
  EXPECT_FALSE(portal_dat::parse_digest_hex(std::string(63, 'a') + "g").has_value());
  portal_dat::Sha256Hasher unknown("NO-SUCH-DIGEST");
  EXPECT_FALSE(unknown.ok());
  EXPECT_NE(unknown.error().find("NO-SUCH-DIGEST"), std::string::npos);
  EXPECT_FALSE(unknown.digest(bytes_of("abc")).has_value());

  // Without the digest, sum reads nothing.
  auto database = quorvane_dat::DatDatabase::new_(pair().old_path);
  ASSERT_TRUE(database);
  const auto entries = entries_of(*database);
  const portal_dat::DigestRun run = portal_dat::digest_entries(*database, entries, 2, "NO-SUCH-DIGEST");
  ASSERT_TRUE(run.error.has_value());
  EXPECT_TRUE(run.error->starts_with("cannot read the archive's files: ") &&
              run.error->find("NO-SUCH-DIGEST") != std::string::npos)
      << *run.error;
  EXPECT_TRUE(run.entries.empty());

  // What a batch hands over: a file's error, or a digest of the wrong length.
  const quorvane_dat::DatError failed(quorvane_dat::DatError::Other{"broken"});
  const std::uint8_t short_digest[31] = {};
  quorvane_dat::BatchFile with_error, too_short, right;
  with_error.error = &failed;
  too_short.digest = short_digest;
  right.digest = *digest;
  std::string why;
  EXPECT_FALSE(portal_dat::batch_sha256(with_error, why).has_value());
  EXPECT_EQ(why, "Other error: broken");
  EXPECT_FALSE(portal_dat::batch_sha256(too_short, why).has_value());
  EXPECT_EQ(why, "a digest of 31 bytes, not SHA-256");
  EXPECT_EQ(portal_dat::batch_sha256(right, why), digest);
}

}  // namespace
