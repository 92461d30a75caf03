// Fetching stored files by id: lookups, stored and compressed bodies, sizes
// the archive cannot hold, no caching, concurrent fetches on one handle, and
// an archive on a block device.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/loop.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <random>
#include <thread>

#include "archive_test_support.hpp"
#include "quorvane_dat/utils/decompress_lrs.hpp"

namespace {

using namespace archive_test::names;  // NOLINT(google-build-using-namespace)
using dat_writer::Node;
using quorvane_dat::DatFileEntry;

// Text-like content that compresses well.
Bytes text_like(std::size_t size, std::uint32_t seed) {
  static const char* const words[] = {"stance ", "backhand ", "slash ", "thrust ",
                                      "high ",   "medium ",   "low ",   "shield "};
  std::mt19937 rng(seed);
  Bytes out;
  while (out.size() < size) {
    const char* w = words[rng() % 8];
    while (*w != '\0' && out.size() < size) out.push_back(static_cast<std::uint8_t>(*w++));
  }
  return out;
}

class Fetch : public ::testing::Test {
 protected:
  std::filesystem::path write(const ArchiveBuilder& b) { return dir_.write("fetch.dat", b); }
  TempDir dir_;
};

TEST_F(Fetch, MissingIdIsNotFoundCarryingTheId) {
  ArchiveBuilder b(256);
  Node root;
  root.entries.push_back(b.add_file(5, pattern(10), false));
  b.set_root(b.add_node(root));
  auto db = archive_test::open_ok(write(b));
  ASSERT_TRUE(db);
  const struct {
    std::uint32_t id;
    const char* display;
    const char* debug;
  } cases[] = {{0, "File ID 00000000 not found in provider", "NotFound(0)"},
               {0xABCD, "File ID 0000ABCD not found in provider", "NotFound(43981)"},
               {0x30000000, "File ID 30000000 not found in provider", "NotFound(805306368)"},
               {0xFFFFFFFF, "File ID FFFFFFFF not found in provider", "NotFound(4294967295)"}};
  for (const auto& c : cases) {
    auto got = db->get_file(c.id);
    ASSERT_FALSE(got);
    EXPECT_EQ(got.error().display(), c.display);
    EXPECT_EQ(got.error().debug(), c.debug);
  }
}

TEST_F(Fetch, EmptyFilesReadNothingWhereverTheyPoint) {
  ArchiveBuilder b(256);
  Node root;
  root.entries.push_back(DatFileEntry{0, 1, 0, 0, 0, 0});           // offset 0
  root.entries.push_back(DatFileEntry{0, 2, 0xFFFFFFF0, 0, 0, 0});  // beyond the end
  root.entries.push_back(DatFileEntry{1, 3, 0xFFFFFFF0, 0, 0, 0});  // compressed, empty
  b.set_root(b.add_node(root));
  auto db = archive_test::open_ok(write(b));
  ASSERT_TRUE(db);
  for (const std::uint32_t id : {1U, 2U, 3U}) {
    auto got = db->get_file(id);
    ASSERT_TRUE(got) << id << ": " << got.error().display();
    EXPECT_TRUE(got->empty()) << id;
  }
}

// Only bit 0 of bit_flags decides whether the stored bytes are decoded.
TEST_F(Fetch, CompressionBitDecidesDecoding) {
  ArchiveBuilder b(128);
  const Bytes content = text_like(5000, 1);
  const Bytes stored = dat_writer::compress_lrs(content);
  ASSERT_LT(stored.size(), content.size());
  const std::uint32_t chain = b.add_chain(stored, ChainShape::Scattered);
  Node root;
  for (const std::uint32_t flags : {0U, 1U, 2U, 3U}) {
    root.entries.push_back(
        DatFileEntry{flags, 0x100 + flags, chain, static_cast<std::uint32_t>(stored.size()), 7, 8});
  }
  b.set_root(b.add_node(root));
  auto db = archive_test::open_ok(write(b));
  ASSERT_TRUE(db);
  for (const std::uint32_t flags : {0U, 1U, 2U, 3U}) {
    SCOPED_TRACE(flags);
    auto got = db->get_file(0x100 + flags);
    ASSERT_TRUE(got);
    EXPECT_TRUE(*got == ((flags & 1U) != 0 ? content : stored));
  }
}

TEST_F(Fetch, FetchingTwiceReadsTheArchiveEachTime) {
  ArchiveBuilder b(64);
  const Bytes content = pattern(300);
  const DatFileEntry e = b.add_file(9, content, false);
  Node root;
  root.entries.push_back(e);
  b.set_root(b.add_node(root));
  const auto path = write(b);
  auto db = archive_test::open_ok(path);
  ASSERT_TRUE(db);
  auto first = db->get_file(9);
  auto second = db->get_file(9);
  ASSERT_TRUE(first && second);
  EXPECT_EQ(*first, content);
  EXPECT_EQ(*second, *first);

  // Rewrite the first payload byte behind the handle's back: nothing is cached.
  {
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(e.offset + 4);
    f.put(static_cast<char>(content[0] ^ 0xFF));
  }
  auto third = db->get_file(9);
  ASSERT_TRUE(third);
  EXPECT_EQ((*third)[0], content[0] ^ 0xFF);
}

// A stored size is refused before anything is allocated when the archive
// could not hold it; a size the archive could hold is read as usual.
TEST_F(Fetch, SizeLargerThanTheArchiveIsRefusedBeforeReading) {
  ArchiveBuilder b(64);
  const std::uint32_t chain = b.add_chain(pattern(100));
  Node root;
  root.entries.push_back(DatFileEntry{0, 1, chain, 0xFFFFFFFF, 0, 0});
  root.entries.push_back(DatFileEntry{1, 2, chain, 0, 0, 0});  // size patched below
  root.entries.push_back(DatFileEntry{0, 3, chain, 0, 0, 0});  // size patched below
  const std::uint32_t node = b.add_node(root);
  b.set_root(node);
  const auto length = static_cast<std::uint32_t>(b.size());
  // Entry slots start at 252; size is the fourth field of each 24-byte entry.
  const Bytes too_big = dat_writer::encode_entry(DatFileEntry{1, 2, chain, length + 1, 0, 0});
  const Bytes exact = dat_writer::encode_entry(DatFileEntry{0, 3, chain, length, 0, 0});
  b.patch_chain(node, 252 + 24, too_big);
  b.patch_chain(node, 252 + 48, exact);
  auto db = archive_test::open_ok(write(b));
  ASSERT_TRUE(db);
  ASSERT_EQ(db->archive_length(), length);

  const std::string len = std::to_string(length);
  auto huge = db->get_file(1);
  ASSERT_FALSE(huge);
  EXPECT_EQ(huge.error().display(),
            "Corruption detected: file 0x00000001 claims 4294967295 bytes, more than the "
            "archive's " +
                len + " bytes");
  auto one_more = db->get_file(2);
  ASSERT_FALSE(one_more);
  EXPECT_EQ(one_more.error().debug(), "Corruption(\"file 0x00000002 claims " +
                                          std::to_string(length + 1) +
                                          " bytes, more than the archive's " + len + " bytes\")");
  auto exact_size = db->get_file(3);
  ASSERT_FALSE(exact_size);
  EXPECT_EQ(exact_size.error().display(), "IO error: failed to fill whole buffer");
}

TEST_F(Fetch, ManyThreadsFetchingEveryFileOfOneHandle) {
  ArchiveBuilder b(256);
  std::vector<dat_writer::FileSpec> files;
  for (std::uint32_t i = 0; i < 400; ++i) {
    const std::size_t size = (i * 97) % 3000;
    files.push_back({0x01000000 + i * 3,
                     i % 3 == 0 ? text_like(size, i) : pattern(size, static_cast<std::uint8_t>(i)),
                     i % 3 == 0, i, 0});
  }
  const auto layout = dat_writer::add_files_with_directory(b, files);
  auto db = archive_test::open_ok(write(b));
  ASSERT_TRUE(db);
  ASSERT_EQ(db->files().size(), files.size());

  constexpr int THREADS = 8;
  std::atomic<int> mismatches{0};
  std::atomic<int> fetched{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < THREADS; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < 3; ++round) {
        for (std::size_t k = 0; k < files.size(); ++k) {
          const auto& f = files[(k * 7 + static_cast<std::size_t>(t) * 31) % files.size()];
          auto got = db->get_file(f.id);
          if (!got || *got != f.content) ++mismatches;
          ++fetched;
        }
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(mismatches.load(), 0);
  EXPECT_EQ(fetched.load(), THREADS * 3 * static_cast<int>(files.size()));
}

}  // namespace

namespace {

// A loop block device over a file, detached by the kernel when its last
// descriptor closes. Needs root and loop devices; `path()` is empty otherwise.
class LoopDevice {
 public:
  explicit LoopDevice(const std::filesystem::path& backing) {
    const int control = ::open("/dev/loop-control", O_RDWR | O_CLOEXEC);
    if (control < 0) return;
    const int number = ::ioctl(control, LOOP_CTL_GET_FREE);
    ::close(control);
    if (number < 0) return;
    const std::string device = "/dev/loop" + std::to_string(number);
    fd_ = ::open(device.c_str(), O_RDWR | O_CLOEXEC);
    const int file = ::open(backing.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0 || file < 0 || ::ioctl(fd_, LOOP_SET_FD, file) != 0) {
      if (file >= 0) ::close(file);
      return;
    }
    ::close(file);
    loop_info64 info{};
    info.lo_flags = LO_FLAGS_AUTOCLEAR | LO_FLAGS_READ_ONLY;
    if (::ioctl(fd_, LOOP_SET_STATUS64, &info) != 0) {
      ::ioctl(fd_, LOOP_CLR_FD, 0);
      return;
    }
    path_ = device;
  }
  ~LoopDevice() {
    if (fd_ >= 0) ::close(fd_);
  }
  LoopDevice(const LoopDevice&) = delete;
  LoopDevice& operator=(const LoopDevice&) = delete;

  const std::filesystem::path& path() const { return path_; }

 private:
  int fd_ = -1;
  std::filesystem::path path_;
};

// A block device has no size in its status; the archive's length must come
// from the device itself, or every fetch would be refused as too large.
TEST_F(Fetch, ArchiveOnABlockDeviceOpensAndFetches) {
  ArchiveBuilder b(512);
  const Bytes body = pattern(20000, 3);
  const Bytes text = text_like(30000, 9);
  Node leaf;
  leaf.entries.push_back(b.add_file(0x30000000, body, false));
  leaf.entries.push_back(b.add_file(0x30000001, text, true));
  b.set_root(b.add_node(leaf));
  b.pad_to((b.size() + 4095) / 4096 * 4096);  // whole sectors
  const auto file = write(b);

  const LoopDevice loop(file);
  if (loop.path().empty()) GTEST_SKIP() << "no loop device available (needs root)";
  auto db = archive_test::open_ok(loop.path());
  ASSERT_TRUE(db);
  EXPECT_EQ(db->archive_length(), std::filesystem::file_size(file));
  auto got = db->get_file(0x30000000);
  ASSERT_TRUE(got) << got.error().display();
  EXPECT_EQ(*got, body);
  auto decoded = db->get_file(0x30000001);
  ASSERT_TRUE(decoded) << decoded.error().display();
  EXPECT_EQ(*decoded, text);
}

}  // namespace
