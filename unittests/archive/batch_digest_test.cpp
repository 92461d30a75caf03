// Digests computed on read_batch's workers: each file's digest is that of the
// bytes get_file gives, however the file is read (whole or in pieces, checked
// or handed over), and whatever the caller's digest throws fails only its file.
#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>

#include "archive_test_support.hpp"
#include "quorvane_dat/lib/batch_reader.hpp"

namespace {

using namespace archive_test::names;
using quorvane_dat::BatchDigest;
using quorvane_dat::BatchFile;

constexpr std::uint32_t FAULTY_ID = 3;
constexpr std::size_t STREAM_ABOVE = 16 << 10;
enum class Fault { None, Begin, Update, UpdateNonStd, Finish, TooLong, FactoryThrows, FactoryNull };

// FNV-1a of the bytes, in 8 bytes; at file FAULTY_ID it fails as asked.
class Fnv final : public BatchDigest {
 public:
  explicit Fnv(Fault fault) : fault_(fault) {}
  void begin(const quorvane_dat::DatFileEntry& entry) override {
    hash_ = 0xcbf29ce484222325ULL;
    faulty_ = entry.id == FAULTY_ID;
    if (faulty_ && fault_ == Fault::Begin) throw std::runtime_error("begin broke");
  }
  void update(std::span<const std::uint8_t> piece) override {
    if (faulty_ && fault_ == Fault::Update) throw std::runtime_error("update broke");
    if (faulty_ && fault_ == Fault::UpdateNonStd) throw 7;
    for (const std::uint8_t byte : piece) hash_ = (hash_ ^ byte) * 0x100000001b3ULL;
  }
  std::size_t finish(std::span<std::uint8_t, MAX_SIZE> out) override {
    if (faulty_ && fault_ == Fault::Finish) throw std::runtime_error("finish broke");
    std::memcpy(out.data(), &hash_, 8);
    return faulty_ && fault_ == Fault::TooLong ? MAX_SIZE + 1 : 8;
  }
  static std::vector<std::uint8_t> of(std::span<const std::uint8_t> bytes) {
    Fnv fnv(Fault::None);
    std::array<std::uint8_t, MAX_SIZE> out{};
    fnv.begin({});
    fnv.update(bytes);
    return {out.begin(), out.begin() + static_cast<std::ptrdiff_t>(fnv.finish(out))};
  }

 private:
  Fault fault_;
  bool faulty_ = false;
  std::uint64_t hash_ = 0;
};

// 40 small files, stored and compressed, one empty, two larger than the
// stream bound (one compressed, below the bound as stored), one whose chain
// runs off the end; the faulty file small or large.
std::optional<quorvane_dat::DatDatabase> archive(const TempDir& dir, bool faulty_is_large) {
  ArchiveBuilder b(512);
  dat_writer::Node root;
  for (std::uint32_t id = 1; id <= 40; ++id) {
    const bool large = id == 20 || id == 21 || (id == FAULTY_ID && faulty_is_large);
    root.entries.push_back(b.add_file(id,
                                      pattern(id == 30 ? 0
                                              : large  ? 3 * STREAM_ABOVE
                                                       : 100 * id,
                                              id & 0xFF),
                                      id % 3 == 0 || id == 21,
                                      id % 7 ? ChainShape::Contiguous : ChainShape::Scattered));
  }
  root.entries[10].offset = 0xFFFFFF00;
  b.set_root(b.add_node(root));
  return archive_test::open_ok(dir.write("digests.dat", b));
}

quorvane_dat::BatchOptions options(Fault fault, unsigned threads) {
  quorvane_dat::BatchOptions options;
  options.threads = threads;
  options.window_bytes = 1;
  options.stream_above = STREAM_ABOVE;
  options.make_digest = [fault]() -> std::unique_ptr<BatchDigest> {
    if (fault == Fault::FactoryThrows) throw std::runtime_error("no digest today");
    return fault == Fault::FactoryNull ? nullptr : std::make_unique<Fnv>(fault);
  };
  return options;
}

TEST(BatchDigests, EachFileHasTheDigestOfItsBytesHoweverItIsRead) {
  const TempDir dir;
  const auto db = archive(dir, false);
  ASSERT_TRUE(db);
  for (const unsigned threads : {1U, 2U}) {
    for (const bool check_only : {false, true}) {
      for (const bool decode : {true, false}) {
        SCOPED_TRACE(testing::Message()
                     << threads << " threads, check_only " << check_only << ", decode " << decode);
        auto batch = options(Fault::None, threads);
        batch.check_only = check_only;
        batch.decode = decode;
        std::size_t seen = 0, large = 0;
        EXPECT_TRUE(quorvane_dat::read_batch(*db, batch, [&](const BatchFile& f) {
          const auto single = decode ? db->get_file(f.entry->id) : db->get_stored(f.entry->id);
          ++seen;
          EXPECT_EQ(f.stream, nullptr);
          EXPECT_EQ(f.error == nullptr, single.has_value()) << f.entry->id;
          EXPECT_EQ(std::vector(f.digest.begin(), f.digest.end()), single ? Fnv::of(*single) : Bytes{});
          if (!single) return true;
          EXPECT_EQ(f.digested_size, single->size()) << f.entry->id;
          large += single->size() > STREAM_ABOVE;
          const bool handed = !check_only && single->size() <= STREAM_ABOVE;
          EXPECT_EQ(std::vector(f.bytes.begin(), f.bytes.end()),
                    handed ? *single : std::vector<std::uint8_t>{});
          return true;
        }));
        EXPECT_EQ(seen, 40U);
        EXPECT_EQ(large, decode ? 2U : 1U);
      }
    }
  }
}

// The faulty file fails with the digest's complaint, every other file keeps
// its digest; a factory that fails stops the batch before any file.
TEST(BatchDigests, WhatTheDigestThrowsFailsItsFileAndAFailedFactoryTheBatch) {
  const struct {
    Fault fault;
    const char* error;
  } cases[] = {
      {Fault::Begin, "begin broke"},
      {Fault::Update, "update broke"},
      {Fault::UpdateNonStd, "an exception that is no std::exception"},
      {Fault::Finish, "finish broke"},
      {Fault::TooLong, "finish wrote 65 bytes, more than 64"},
      {Fault::FactoryThrows, "no digest today"},
      {Fault::FactoryNull, "make_digest gave no digest"},
  };
  const TempDir dir;
  for (const bool large : {false, true}) {
    const auto db = archive(dir, large);
    ASSERT_TRUE(db);
    for (const auto& c : cases) {
      SCOPED_TRACE(testing::Message() << c.error << (large ? ", in pieces" : ", whole"));
      const std::string error = std::string("Other error: digest failed: ") + c.error;
      std::size_t good = 0, calls = 0;
      const auto ran =
          quorvane_dat::read_batch(*db, options(c.fault, large ? 1 : 2), [&](const BatchFile& f) {
            ++calls;
            if (f.entry->id != FAULTY_ID)
              return good += f.error == nullptr && f.digest.size() == 8, true;
            EXPECT_EQ(f.error != nullptr ? f.error->display() : "no error", error);
            EXPECT_TRUE(f.digest.empty() && f.bytes.empty());
            return true;
          });
      const bool factory = c.fault == Fault::FactoryThrows || c.fault == Fault::FactoryNull;
      EXPECT_EQ(ran ? "" : ran.error().display(), factory ? error : "");
      EXPECT_EQ(good, factory ? 0U : 38U);  // not the faulty one nor the one off the end
      EXPECT_EQ(calls, factory ? 0U : 40U);
    }
  }
}

}  // namespace
