// Digests computed on read_batch's workers: each file's digest is that of the
// bytes get_file gives, however the file is read (whole or streamed, checked
// or handed over), and whatever the caller's digest throws fails only its file.
#include <gtest/gtest.h>

#include <stdexcept>

#include "archive_test_support.hpp"
#include "quorvane_dat/lib/batch_reader.hpp"

namespace {

using namespace archive_test::names;
using quorvane_dat::BatchDigest;
using quorvane_dat::BatchFile;
using quorvane_dat::BatchOptions;

std::uint64_t fnv1a(std::uint64_t hash, std::span<const std::uint8_t> bytes) {
  for (const std::uint8_t byte : bytes) hash = (hash ^ byte) * 0x100000001b3ULL;
  return hash;
}

// FNV-1a of the bytes in 8 bytes; at file FAULTY_ID it fails in the way asked.
constexpr std::uint32_t FAULTY_ID = 3;
enum class Fault { None, BeginThrows, UpdateThrows, UpdateThrowsNonStd, FinishThrows, FinishTooLong };

class Fnv final : public BatchDigest {
 public:
  explicit Fnv(Fault fault) : fault_(fault) {}
  void begin(const quorvane_dat::DatFileEntry& entry) override {
    faulty_ = entry.id == FAULTY_ID;
    hash_ = 0xcbf29ce484222325ULL;
    if (faulty_ && fault_ == Fault::BeginThrows) throw std::runtime_error("begin broke");
  }
  void update(std::span<const std::uint8_t> piece) override {
    if (faulty_ && fault_ == Fault::UpdateThrows) throw std::runtime_error("update broke");
    if (faulty_ && fault_ == Fault::UpdateThrowsNonStd) throw 7;
    hash_ = fnv1a(hash_, piece);
  }
  std::size_t finish(std::span<std::uint8_t, MAX_SIZE> out) override {
    if (faulty_ && fault_ == Fault::FinishThrows) throw std::runtime_error("finish broke");
    for (std::size_t i = 0; i < 8; ++i) out[i] = static_cast<std::uint8_t>(hash_ >> (8 * i));
    return faulty_ && fault_ == Fault::FinishTooLong ? MAX_SIZE + 1 : 8;
  }

 private:
  Fault fault_;
  bool faulty_ = false;
  std::uint64_t hash_ = 0;
};

std::vector<std::uint8_t> fnv_bytes(std::span<const std::uint8_t> bytes) {
  const std::uint64_t hash = fnv1a(0xcbf29ce484222325ULL, bytes);
  std::vector<std::uint8_t> out;
  for (std::size_t i = 0; i < 8; ++i) out.push_back(static_cast<std::uint8_t>(hash >> (8 * i)));
  return out;
}

// Small files stored and compressed, an empty one, two larger than the
// stream bound (one compressed), and one whose chain runs off the end;
// the faulty file is small or large as asked.
class BatchDigests : public ::testing::Test {
 protected:
  static constexpr std::size_t STREAM_ABOVE = 16 << 10;

  std::optional<quorvane_dat::DatDatabase> archive(bool faulty_is_large) {
    ArchiveBuilder b(512);
    std::vector<quorvane_dat::DatFileEntry> entries;
    for (std::uint32_t id = 1; id <= 40; ++id) {
      const bool large = id == 20 || id == 21 || (id == FAULTY_ID && faulty_is_large);
      const std::size_t size = id == 30 ? 0 : large ? 3 * STREAM_ABOVE : 100 * id;
      entries.push_back(b.add_file(id, pattern(size, static_cast<std::uint8_t>(id)), id % 3 == 0 || id == 21,
                                   id % 7 == 0 ? ChainShape::Scattered : ChainShape::Contiguous));
    }
    entries[10].offset = 0xFFFFFF00;
    dat_writer::Node root;
    root.entries = entries;
    b.set_root(b.add_node(root));
    return archive_test::open_ok(dir_.write("digests.dat", b));
  }

  BatchOptions options(Fault fault, unsigned threads) const {
    BatchOptions options;
    options.threads = threads;
    options.window_bytes = 1;
    options.stream_above = STREAM_ABOVE;
    options.make_digest = [fault] { return std::make_unique<Fnv>(fault); };
    return options;
  }

  TempDir dir_;
};

TEST_F(BatchDigests, EachFileHasTheDigestOfItsBytesHoweverItIsRead) {
  const auto db = archive(false);
  ASSERT_TRUE(db);
  for (const unsigned threads : {1U, 2U}) {
    for (const bool check_only : {false, true}) {
      for (const bool decode : {true, false}) {
        SCOPED_TRACE(testing::Message() << threads << " threads, check_only " << check_only << ", decode " << decode);
        BatchOptions batch = options(Fault::None, threads);
        batch.check_only = check_only;
        batch.decode = decode;
        std::size_t seen = 0, streamed_sized = 0;
        EXPECT_TRUE(quorvane_dat::read_batch(*db, batch, [&](const BatchFile& f) {
          ++seen;
          const auto single = decode ? db->get_file(f.entry->id) : db->get_stored(f.entry->id);
          EXPECT_EQ(f.stream, nullptr) << f.entry->id;
          if (!single) {
            EXPECT_NE(f.error, nullptr) << f.entry->id;
            EXPECT_TRUE(f.digest.empty()) << f.entry->id;
            return true;
          }
          EXPECT_EQ(f.error, nullptr) << f.entry->id;
          EXPECT_EQ(std::vector<std::uint8_t>(f.digest.begin(), f.digest.end()), fnv_bytes(*single)) << f.entry->id;
          EXPECT_EQ(f.digested_size, single->size()) << f.entry->id;
          if (single->size() > STREAM_ABOVE) ++streamed_sized;
          const bool handed = !check_only && single->size() <= STREAM_ABOVE;
          EXPECT_EQ(std::vector<std::uint8_t>(f.bytes.begin(), f.bytes.end()),
                    handed ? *single : std::vector<std::uint8_t>{})
              << f.entry->id;
          return true;
        }));
        EXPECT_EQ(seen, 40U);
        EXPECT_EQ(streamed_sized, decode ? 2U : 1U);  // file 21 compresses below the bound
      }
    }
  }
}

// The faulty file fails with the digest's complaint, its bytes withheld; every
// other file keeps its digest.
TEST_F(BatchDigests, WhatTheDigestThrowsFailsOnlyItsFile) {
  const struct {
    Fault fault;
    const char* error;
  } cases[] = {
      {Fault::BeginThrows, "digest failed: begin broke"},
      {Fault::UpdateThrows, "digest failed: update broke"},
      {Fault::UpdateThrowsNonStd, "digest failed: an exception that is no std::exception"},
      {Fault::FinishThrows, "digest failed: finish broke"},
      {Fault::FinishTooLong, "digest failed: finish wrote 65 bytes, more than 64"},
  };
  for (const bool large : {false, true}) {
    const auto db = archive(large);
    ASSERT_TRUE(db);
    for (const auto& c : cases) {
      SCOPED_TRACE(testing::Message() << c.error << (large ? ", streamed" : ", whole"));
      std::size_t good = 0;
      EXPECT_TRUE(quorvane_dat::read_batch(*db, options(c.fault, 2), [&](const BatchFile& f) {
        if (f.entry->id != FAULTY_ID) return good += f.error == nullptr && f.digest.size() == 8, true;
        EXPECT_TRUE(f.error != nullptr && f.error->display() == std::string("Other error: ") + c.error)
            << (f.error ? f.error->display() : "no error");
        EXPECT_TRUE(f.digest.empty() && f.bytes.empty());
        return true;
      }));
      EXPECT_EQ(good, 38U);  // all but the faulty one and the one off the end
    }
  }
}

TEST_F(BatchDigests, AFactoryThatFailsStopsTheBatchBeforeAnyFile) {
  const auto db = archive(false);
  ASSERT_TRUE(db);
  const struct {
    std::function<std::unique_ptr<BatchDigest>()> make;
    const char* error;
  } cases[] = {
      {[]() -> std::unique_ptr<BatchDigest> { throw std::runtime_error("no digest today"); },
       "Other error: digest failed: no digest today"},
      {[] { return std::unique_ptr<BatchDigest>(); }, "Other error: digest failed: make_digest gave no digest"},
  };
  for (const unsigned threads : {1U, 2U}) {
    for (const auto& c : cases) {
      BatchOptions batch = options(Fault::None, threads);
      batch.make_digest = c.make;
      std::size_t calls = 0;
      const auto ran = quorvane_dat::read_batch(*db, batch, [&](const BatchFile&) { return ++calls, true; });
      ASSERT_FALSE(ran);
      EXPECT_EQ(ran.error().display(), c.error);
      EXPECT_EQ(calls, 0U);
    }
  }
}

}  // namespace
