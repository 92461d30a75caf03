// Streaming reads: the streaming decoder against decompress_lrs on split
// inputs, FileStream against get_file and get_stored on sound and damaged
// chains, and read_batch with files handed over as streams or only checked.
#include <gtest/gtest.h>

#include <random>

#include "archive_test_support.hpp"
#include "quorvane_dat/lib/batch_reader.hpp"
#include "quorvane_dat/lib/file_stream.hpp"
#include "quorvane_dat/utils/lrs_stream_decoder.hpp"

namespace {

using namespace archive_test::names;  // NOLINT(google-build-using-namespace)
using dat_writer::Node;
using quorvane_dat::DatFileEntry;
using quorvane_dat::DecodeFindings;

// Decodes `input` fed in pieces of `feed` bytes, taking output in pieces of `piece`.
Bytes stream_decode(std::span<const std::uint8_t> input, std::size_t feed, std::size_t piece,
                    DecodeFindings& findings) {
  quorvane_dat::LrsStreamDecoder decoder(piece);
  Bytes out;
  auto take = [&] {
    const auto got = decoder.output();
    EXPECT_LE(got.size(), std::max<std::size_t>(piece, 3));  // a headerless input comes whole
    out.insert(out.end(), got.begin(), got.end());
    decoder.take();
  };
  while (!input.empty() && !decoder.ended()) {
    const std::size_t used = decoder.feed(input.first(std::min(feed, input.size())));
    input = input.subspan(used);
    if (decoder.output_full()) take();
  }
  decoder.finish();
  for (take(); !decoder.ended(); take()) decoder.feed({});
  take();
  findings = decoder.findings();
  return out;
}

TEST(StreamDecoder, SplitAnyWayItGivesWhatDecompressLrsGives) {
  std::mt19937 rng(18);
  std::vector<Bytes> inputs = {{},
                               {1, 2, 3},
                               {0, 0, 0, 0},
                               {6, 0, 0, 0, 0x20, 0x61, 0x62, 0x02, 0x00, 0x63, 0x64},
                               {4, 0, 0, 0, 0x80, 0x01, 0x00, 0x61},   // reference into empty output
                               {9, 0, 0, 0, 0x40, 0x61, 0x05, 0x01}};  // reference before the start
  Bytes text;
  for (int i = 0; i < 20000; ++i)
    text.push_back(static_cast<std::uint8_t>("stance backhand "[i % 16] + i / 997));
  inputs.push_back(dat_writer::compress_lrs(text));
  // 5000 literals, then references reaching as far back as a token can.
  Bytes farthest = {0xA8, 0x13, 0, 0};  // declares 5032
  for (int i = 0; i < 625; ++i) {
    farthest.push_back(0);
    for (int k = 0; k < 8; ++k) farthest.push_back(static_cast<std::uint8_t>(i * 8 + k));
  }
  farthest.insert(farthest.end(), {0xC0, 0xFF, 0xFF, 0xFF, 0xFE});  // distance 4095, lengths 17 and 16
  inputs.push_back(farthest);
  Bytes declared_more = inputs.back();
  declared_more[2] ^= 0x10;  // declares more than the stream holds
  inputs.push_back(declared_more);
  for (int i = 0; i < 300; ++i) {
    Bytes random(4 + rng() % 600);
    for (auto& byte : random) byte = static_cast<std::uint8_t>(rng());
    random[2] = random[3] = 0;  // declared sizes up to 64 KiB
    inputs.push_back(random);
  }
  for (const Bytes& input : inputs) {
    DecodeFindings expected_findings;
    Bytes expected;
    quorvane_dat::decompress_lrs_into(input, expected, expected_findings);
    for (const auto& [feed, piece] :
         {std::pair<std::size_t, std::size_t>{1, 1}, {3, 5}, {64, 17}, {100000, 1 << 16}}) {
      DecodeFindings findings;
      const Bytes got = stream_decode(input, feed, piece, findings);
      ASSERT_EQ(got, expected) << "input of " << input.size() << " bytes, feed " << feed << ", piece "
                               << piece;
      EXPECT_EQ(findings.short_output, expected_findings.short_output);
      EXPECT_EQ(findings.back_reference_before_start, expected_findings.back_reference_before_start);
    }
  }
}

// What a stream gave: its pieces joined, or its error, and what it found.
struct Streamed {
  Bytes bytes;
  std::optional<quorvane_dat::DatError> error;
  bool loops = false;
  DecodeFindings findings;
  std::vector<std::uint32_t> blocks;
};

Streamed read_stream(const quorvane_dat::DatDatabase& db, std::uint32_t id, bool decode,
                     std::size_t piece) {
  Streamed result;
  auto stream = quorvane_dat::FileStream::open(
      db, id, {.decode = decode, .piece_bytes = piece, .collect_blocks = true});
  if (!stream) {
    result.error = stream.error();
    return result;
  }
  for (;;) {
    auto got = stream->next();
    if (!got) {
      result.error = got.error();
      auto again = stream->next();  // an error stays
      EXPECT_TRUE(!again && again.error().debug() == result.error->debug());
      break;
    }
    if (got->empty()) break;
    EXPECT_LE(got->size(), piece);
    result.bytes.insert(result.bytes.end(), got->begin(), got->end());
  }
  EXPECT_TRUE(stream->finished());
  result.loops = stream->chain_loops();
  result.findings = stream->findings();
  result.blocks.assign(stream->blocks().begin(), stream->blocks().end());
  return result;
}

// Sound files of every shape and size, and damaged ones: loops, a chain that
// leaves the archive, a block beyond 32 bits, bodies that decode short or
// reach before their start, and a size the archive cannot hold.
class Stream : public ::testing::Test {
 protected:
  void SetUp() override {
    ArchiveBuilder b(512);
    std::mt19937 rng(5);
    Node root;
    auto add = [&](const DatFileEntry& entry) { root.entries.push_back(entry); };
    for (std::uint32_t id = 1; id <= 50; ++id) {
      Bytes content(rng() % 40000);
      for (std::size_t i = 0; i < content.size(); ++i)
        content[i] = static_cast<std::uint8_t>((i / 5) * id);
      ChainShape shape = static_cast<ChainShape>(id % 3);
      if (id == 4 || id == 7 || id == 8) {
        content.resize(5000);  // random, so that it spans many blocks compressed too
        for (auto& byte : content) byte = static_cast<std::uint8_t>(rng());
        shape = id == 8 ? ChainShape::Scattered : ChainShape::Contiguous;
      }
      add(b.add_file(id, content, id % 2 == 0, shape));
    }
    const auto chain_of = [&](std::uint32_t id) { return b.chain_blocks(root.entries[id - 1].offset); };
    // Loops: back to an earlier block of a contiguous chain, onto itself, and
    // through a scattered chain; each claims far more than its blocks hold.
    b.set_next(chain_of(4)[5], chain_of(4)[2]);
    b.set_next(chain_of(7)[0], chain_of(7)[0]);
    b.set_next(chain_of(8)[3], chain_of(8)[1]);  // compressed: decodes the repeats
    for (const std::uint32_t id : {4U, 7U, 8U}) root.entries[id - 1].size = 300000;
    b.set_next(chain_of(10)[2], 0xFFFFFF00);                   // leaves the archive
    b.set_next(chain_of(13)[1], 0xFFFFFFFE);                   // no payload below 4 GiB
    b.write_u32(root.entries[16 - 1].offset + 4, 0x00100000);  // declares 1 MiB: decodes short
    const Bytes before_start = {9, 0, 0, 0, 0x40, 0x61, 0x05, 0x01};
    add(b.add_file(100, before_start, false));
    root.entries.back().bit_flags = 1;
    add(DatFileEntry{0, 101, root.entries[0].offset, 0xFFFFFFF0, 0, 0});  // larger than the archive
    add(DatFileEntry{1, 102, 0, 0, 0, 0});                                // empty
    b.set_root(b.add_node(root));
    db_ = archive_test::open_ok(dir_.write("stream.dat", b));
    ASSERT_TRUE(db_);
  }
  TempDir dir_;
  std::optional<quorvane_dat::DatDatabase> db_;
};

TEST_F(Stream, GivesTheBytesAndErrorsOfGetFileAndFindsLoops) {
  std::size_t loops = 0;
  std::size_t errors = 0;
  for (const auto& [id, entry] : db_->files()) {
    auto stored = db_->get_stored(id);
    auto blocks = db_->chain_blocks(entry.offset, entry.size);
    for (const bool decode : {true, false}) {
      auto expected = decode ? db_->get_file(id) : db_->get_stored(id);
      for (const std::size_t piece : {std::size_t{1} << 18, std::size_t{1000}, std::size_t{7}}) {
        if (piece == 7 && entry.size > 50000) continue;  // keeps the test quick
        SCOPED_TRACE(testing::Message()
                     << "file " << id << ", decode " << decode << ", piece " << piece);
        const Streamed got = read_stream(*db_, id, decode, piece);
        if (!expected) {
          ASSERT_TRUE(got.error);
          EXPECT_EQ(got.error->debug(), expected.error().debug());
          continue;
        }
        ASSERT_FALSE(got.error) << got.error->display();
        ASSERT_EQ(got.bytes, *expected);
        ASSERT_TRUE(blocks);
        EXPECT_EQ(got.blocks, *blocks);
        EXPECT_EQ(got.loops,
                  blocks->size() > 1 && std::count(blocks->begin(), blocks->end(), blocks->back()) == 2);
        DecodeFindings findings;
        Bytes decoded;
        if (decode && entry.is_compressed())
          quorvane_dat::decompress_lrs_into(*stored, decoded, findings);
        EXPECT_EQ(got.findings.short_output, findings.short_output);
        EXPECT_EQ(got.findings.back_reference_before_start, findings.back_reference_before_start);
        loops += got.loops;
      }
      errors += !expected;
    }
  }
  EXPECT_EQ(loops, 3U * 2 * 2);  // three looping files, decoded and not, in two piece sizes
  EXPECT_EQ(errors, 3U * 2);
  auto missing = quorvane_dat::FileStream::open(*db_, 0xABCDEF);
  ASSERT_FALSE(missing);
  EXPECT_EQ(missing.error().debug(), "NotFound(11259375)");
}

// A looping chain's blocks end with the first block read a second time.
TEST_F(Stream, ALoopsBlocksEndWithItsFirstRepeat) {
  const DatFileEntry& entry = *db_->files().find(4);
  const Streamed got = read_stream(*db_, 4, false, 1 << 18);
  ASSERT_TRUE(got.loops);
  ASSERT_EQ(got.blocks.size(), 7U);  // blocks 0..5, then block 2 again
  EXPECT_EQ(got.blocks[6], got.blocks[2]);
  EXPECT_EQ(got.blocks[0], entry.offset);
}

// What read_batch said of one file.
struct Outcome {
  std::string error;
  bool loops;
  bool short_output;
  bool before_start;
  std::uint64_t declared;
  std::vector<std::uint32_t> blocks;
  bool operator==(const Outcome&) const = default;
  friend std::ostream& operator<<(std::ostream& out, const Outcome& o) {
    return out << "{" << o.error << ", loops " << o.loops << ", short " << o.short_output << ", before "
               << o.before_start << ", declared " << o.declared << ", " << o.blocks.size() << " blocks}";
  }
};

// Every file as a stream, pulled, pulled in part or left alone, and every
// file only checked: the outcomes are those of the batch that holds files whole.
TEST_F(Stream, ABatchHandsLargeFilesOverAsStreamsOrChecksThem) {
  quorvane_dat::BatchOptions whole;
  whole.collect_blocks = true;
  std::map<std::uint32_t, Outcome> expected;
  ASSERT_TRUE(quorvane_dat::read_batch(*db_, whole, [&](const quorvane_dat::BatchFile& f) {
    EXPECT_EQ(f.stream, nullptr);
    expected[f.entry->id] = {
        f.error ? f.error->debug() : "",        f.chain_loops,   f.findings.short_output,
        f.findings.back_reference_before_start, f.declared_size, {f.blocks.begin(), f.blocks.end()}};
    return true;
  }));
  ASSERT_EQ(expected.size(), db_->files().size());
  EXPECT_TRUE(expected[4].loops && expected[7].loops && expected[8].loops && !expected[5].loops);
  EXPECT_TRUE(expected[16].short_output && expected[100].before_start);

  for (const unsigned threads : {1U, 2U}) {
    quorvane_dat::BatchOptions checked = whole;
    checked.threads = threads;
    checked.check_only = true;
    checked.stream_above = 1000;
    std::size_t seen = 0;
    ASSERT_TRUE(quorvane_dat::read_batch(*db_, checked, [&](const quorvane_dat::BatchFile& f) {
      ++seen;
      EXPECT_TRUE(f.bytes.empty() && f.stream == nullptr);
      const Outcome got{
          f.error ? f.error->debug() : "",        f.chain_loops,   f.findings.short_output,
          f.findings.back_reference_before_start, f.declared_size, {f.blocks.begin(), f.blocks.end()}};
      EXPECT_EQ(got, expected[f.entry->id]) << f.entry->id;
      return true;
    }));
    EXPECT_EQ(seen, expected.size());
  }

  quorvane_dat::BatchOptions streamed = whole;
  streamed.stream_above = 1000;
  std::size_t streams = 0;
  ASSERT_TRUE(quorvane_dat::read_batch(*db_, streamed, [&](const quorvane_dat::BatchFile& f) {
    const DatFileEntry& entry = *f.entry;
    if (f.stream == nullptr) {
      EXPECT_TRUE((entry.is_compressed() ? entry.size / 2 * 17 + 1 : entry.size) <= 1000 ||
                  f.error != nullptr)
          << entry.id;
      return true;
    }
    ++streams;
    if (entry.id % 3 == 0) return true;  // left alone
    Bytes joined;
    while (auto piece = f.stream->next()) {
      if (piece->empty() || (entry.id % 3 == 1 && joined.size() > 1000)) break;  // pulled in part
      joined.insert(joined.end(), piece->begin(), piece->end());
    }
    if (entry.id % 3 == 1) return true;
    auto single = db_->get_file(entry.id);
    const Outcome got{f.stream->finished() && single ? "" : "failed",
                      f.stream->chain_loops(),
                      f.stream->findings().short_output,
                      f.stream->findings().back_reference_before_start,
                      f.stream->declared_size(),
                      {f.stream->blocks().begin(), f.stream->blocks().end()}};
    if (single) {
      EXPECT_EQ(joined, *single) << entry.id;
      EXPECT_EQ(got, expected[entry.id]) << entry.id;
    }
    return true;
  }));
  EXPECT_GT(streams, 40U);
}

}  // namespace
