// Opening an archive up to its header: truncation at every length, fields as
// stored, the ignored prefix, entry reading, and files that are no archives.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "archive_test_support.hpp"
#include "quorvane_dat/utils/byte_reader.hpp"

namespace {

using archive_test::Bytes;
using archive_test::one_frame_report;
using archive_test::TempDir;
using quorvane_dat::DatError;
using quorvane_dat::DatFileEntry;
using quorvane_dat::DatHeader;
using quorvane_dat::FieldSite;

constexpr const char* EOF_TEXT = "failed to fill whole buffer";
constexpr const char* SHORT_RUN_TEXT = "not enough bytes in reader";

const FieldSite* const HEADER_SITES[] = {
    &DatHeader::magic_site,          &DatHeader::block_size_site,     &DatHeader::file_size_site,
    &DatHeader::dataset_site,        &DatHeader::subset_site,         &DatHeader::free_head_site,
    &DatHeader::free_tail_site,      &DatHeader::free_count_site,     &DatHeader::root_offset_site,
    &DatHeader::new_lru_site,        &DatHeader::old_lru_site,        &DatHeader::use_lru_site,
    &DatHeader::master_map_id_site,  &DatHeader::engine_version_site, &DatHeader::game_version_site,
    &DatHeader::version_string_site, &DatHeader::version_minor_site,
};
const FieldSite* const ENTRY_SITES[] = {
    &DatFileEntry::bit_flags_site, &DatFileEntry::id_site,        &DatFileEntry::offset_site,
    &DatFileEntry::size_site,      &DatFileEntry::timestamp_site, &DatFileEntry::version_site,
};

std::string frame_message(const FieldSite& site) {
  return "While parsing field '" + std::string(site.field) + "' in " + std::string(site.record);
}

DatHeader distinct_header() {
  DatHeader h;
  h.magic = 0x00005442;
  h.block_size = 0x400;
  h.file_size = 0x01020304;
  h.dataset = 5;
  h.subset = 6;
  h.free_head = 7;
  h.free_tail = 8;
  h.free_count = 9;
  h.root_offset = 0;
  h.new_lru = 0x0A0B0C0D;
  h.old_lru = 11;
  h.use_lru = 12;
  h.master_map_id = 0x0D000000;
  h.engine_version = 14;
  h.game_version = 15;
  h.version_string = {0x41, 0x00, 0x42, 0xFF, 0, 0, 0x7F, 1, 2, 3, 4, 5, 6, 7, 8, 0x80};
  h.version_minor = 0xFFFFFFFF;
  return h;
}

TEST(ArchiveHeader, FieldSitesPointAtTheirDeclarations) {
  std::ifstream in(std::string(ARCHIVE_TEST_SOURCE_DIR) + "/src/lib/dat_header.hpp");
  ASSERT_TRUE(in.good());
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  std::vector<const FieldSite*> sites(std::begin(HEADER_SITES), std::end(HEADER_SITES));
  sites.insert(sites.end(), std::begin(ENTRY_SITES), std::end(ENTRY_SITES));
  for (const FieldSite* site : sites) {
    SCOPED_TRACE(std::string(site->record) + "." + std::string(site->field));
    EXPECT_EQ(site->file, "src/lib/dat_header.hpp");
    ASSERT_GE(site->line, 1U);
    ASSERT_LE(site->line, lines.size());
    const std::string& declared = lines[site->line - 1];
    const std::string name = std::string(" ").append(site->field);
    const bool declares = declared.find(name + " = 0;") != std::string::npos ||
                          declared.find(name + "{};") != std::string::npos;
    EXPECT_TRUE(declares) << declared;
  }
}

// Every length short of a whole header fails at the field whose bytes run out.
TEST(ArchiveHeader, TruncationAtEveryLengthNamesTheFieldThatRanOut) {
  TempDir dir;
  dat_writer::ArchiveBuilder b(64);
  b.header() = distinct_header();
  const Bytes full = b.bytes();
  for (std::size_t length = 0; length < quorvane_dat::HEADER_OFFSET + quorvane_dat::HEADER_SIZE;
       ++length) {
    SCOPED_TRACE("length " + std::to_string(length));
    std::size_t field = 0;
    if (length >= 0x144) field = (length - 0x140) / 4;
    if (length >= 0x17C) field = 15;
    if (length >= 0x18C) field = 16;
    const FieldSite& site = *HEADER_SITES[field];
    const std::string first = field == 15 ? SHORT_RUN_TEXT : EOF_TEXT;
    const std::string report = one_frame_report(first, frame_message(site), site.file, site.line);

    const Bytes cut(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(length));
    auto error = archive_test::open_error(dir.write("cut.dat", cut));
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->display(), "Binary read error: " + report);
    EXPECT_EQ(error->debug(), "BinRead(" + report + ")");
  }
}

TEST(ArchiveHeader, ExactHeaderWithoutDirectoryOpensEmptyWithEveryFieldAsStored) {
  TempDir dir;
  dat_writer::ArchiveBuilder b(64);
  b.header() = distinct_header();
  ASSERT_EQ(b.size(), 0x190U);
  auto db = archive_test::open_ok(dir.write("header.dat", b));
  ASSERT_TRUE(db.has_value());
  EXPECT_EQ(db->header(), distinct_header());
  EXPECT_TRUE(db->files().empty());
  EXPECT_EQ(db->archive_length(), 0x190U);
  auto missing = db->get_file(0x30000000);
  ASSERT_FALSE(missing);
  EXPECT_EQ(missing.error().display(), "File ID 30000000 not found in provider");
}

TEST(ArchiveHeader, AnyMagicAndVersionValuesAreAccepted) {
  TempDir dir;
  for (const std::uint32_t value : {0U, 1U, 0xFFFFFFFFU, 0xDEADBEEFU}) {
    SCOPED_TRACE(value);
    dat_writer::ArchiveBuilder b(64);
    b.header().magic = value;
    b.header().engine_version = value;
    b.header().game_version = ~value;
    b.header().version_minor = value;
    auto db = archive_test::open_ok(dir.write("magic.dat", b));
    ASSERT_TRUE(db.has_value());
    EXPECT_EQ(db->header().magic, value);
    EXPECT_EQ(db->header().game_version, ~value);
  }
}

TEST(ArchiveHeader, BytesBeforeTheHeaderHaveNoEffect) {
  TempDir dir;
  dat_writer::ArchiveBuilder plain(64);
  const DatFileEntry entry = plain.add_file(0x10, archive_test::pattern(100), false);
  dat_writer::Node root;
  root.entries.push_back(entry);
  plain.set_root(plain.add_node(root));

  dat_writer::ArchiveBuilder noisy = plain;
  noisy.prefix().fill(0xFF);
  for (std::size_t i = 0; i < noisy.prefix().size(); i += 7) noisy.prefix()[i] = 0;

  auto a = archive_test::open_ok(dir.write("plain.dat", plain));
  auto b = archive_test::open_ok(dir.write("noisy.dat", noisy));
  ASSERT_TRUE(a && b);
  EXPECT_EQ(a->header(), b->header());
  EXPECT_EQ(a->files(), b->files());
  auto fa = a->get_file(0x10);
  auto fb = b->get_file(0x10);
  ASSERT_TRUE(fa && fb);
  EXPECT_EQ(*fa, *fb);
}

TEST(ArchiveEntry, IsCompressedLooksAtBitZeroOnly) {
  const struct {
    std::uint32_t flags;
    bool compressed;
  } cases[] = {{0, false}, {1, true}, {2, false}, {3, true}, {0xFFFFFFFE, false}, {0x80000001, true}};
  for (const auto& c : cases) {
    DatFileEntry e;
    e.bit_flags = c.flags;
    EXPECT_EQ(e.is_compressed(), c.compressed) << c.flags;
  }
}

TEST(ArchiveEntry, ReadsSixFieldsAndFramesTheOneThatRanOut) {
  DatFileEntry expected{3, 0x30000000, 0x1234, 77, 0xAABBCCDD, 9};
  const Bytes whole = dat_writer::encode_entry(expected);
  {
    quorvane_dat::ByteReader reader(whole);
    auto entry = DatFileEntry::read(reader);
    ASSERT_TRUE(entry);
    EXPECT_EQ(*entry, expected);
    EXPECT_EQ(reader.position(), 24U);
  }
  for (std::size_t length = 0; length < whole.size(); ++length) {
    SCOPED_TRACE("length " + std::to_string(length));
    const Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length));
    quorvane_dat::ByteReader reader(cut);
    auto entry = DatFileEntry::read(reader);
    ASSERT_FALSE(entry);
    const FieldSite& site = *ENTRY_SITES[length / 4];
    EXPECT_EQ(entry.error().report(),
              one_frame_report(EOF_TEXT, frame_message(site), site.file, site.line));
    EXPECT_EQ(reader.position(), 0U) << "a failed record read returns to the record's start";
  }
}

TEST(ArchiveOpen, MissingPathIsAPathErrorWithThePathUnchanged) {
  TempDir dir;
  const std::filesystem::path path = dir.file("no such dir") / "portal.dat";
  auto error = archive_test::open_error(path);
  ASSERT_TRUE(error.has_value());
  const std::string p = path.string();
  EXPECT_EQ(error->display(),
            "Failed to open file at " + p + ": No such file or directory (os error 2)");
  EXPECT_EQ(error->debug(), "PathError { path: \"" + p +
                                "\", source: Os { code: 2, kind: NotFound, message: \"No such "
                                "file or directory\" } }");
  const auto* kind = error->as<DatError::PathError>();
  ASSERT_NE(kind, nullptr);
  EXPECT_EQ(kind->path, path);
}

// A directory opens, then fails at its first read, which the header reader frames.
TEST(ArchiveOpen, DirectoryFailsAtTheHeaderRead) {
  TempDir dir;
  auto error = archive_test::open_error(dir.file(""));
  ASSERT_TRUE(error.has_value());
  const FieldSite& site = DatHeader::magic_site;
  const std::string report =
      one_frame_report("Is a directory (os error 21)", frame_message(site), site.file, site.line);
  EXPECT_EQ(error->display(), "Binary read error: " + report);
}

// Opened without blocking, a FIFO with no writer fails at positioning at once.
TEST(ArchiveOpen, FifoFailsAtPositioningWithoutHanging) {
  TempDir dir;
  const std::filesystem::path fifo = dir.file("fifo.dat");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0) << std::strerror(errno);
  auto error = archive_test::open_error(fifo);
  ASSERT_TRUE(error.has_value());
  EXPECT_EQ(error->display(), "IO error: Illegal seek (os error 29)");
  EXPECT_EQ(error->debug(), "Io(Os { code: 29, kind: NotSeekable, message: \"Illegal seek\" })");
}

}  // namespace
