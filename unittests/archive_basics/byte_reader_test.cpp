#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "quorvane_dat/utils/byte_reader.hpp"

namespace quorvane_dat {
namespace {

TEST(ByteReader, ReadsLittleEndianUnalignedAndAdvances) {
  const std::vector<std::uint8_t> bytes = {0xAA, 0x01, 0x02, 0x03, 0x04, 0xFF, 0xFF, 0xFF, 0x7F};
  ByteReader reader(bytes);
  ASSERT_TRUE(reader.read_bytes(1).has_value());
  auto first = reader.read_u32_le();
  ASSERT_TRUE(first.has_value());
  EXPECT_EQ(*first, 0x04030201U);
  EXPECT_EQ(reader.position(), 5U);
  auto second = reader.read_u32_le();
  ASSERT_TRUE(second.has_value());
  EXPECT_EQ(*second, 0x7FFFFFFFU);
  EXPECT_EQ(reader.position(), 9U);
}

TEST(ByteReader, ShortFixedReadFailsAndKeepsPosition) {
  for (std::size_t size = 0; size < 4; ++size) {
    SCOPED_TRACE(size);
    const std::vector<std::uint8_t> bytes(size, 0x11);
    ByteReader reader(bytes);
    auto result = reader.read_u32_le();
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().first_error(), IoError::unexpected_eof());
    EXPECT_TRUE(result.error().frames().empty());
    EXPECT_EQ(reader.position(), 0U);
  }
}

TEST(ByteReader, CountedReadFailsWithItsOwnTextAndKeepsPosition) {
  const std::vector<std::uint8_t> bytes = {1, 2, 3, 4, 5, 6};
  ByteReader reader(bytes);
  ASSERT_TRUE(reader.read_u32_le().has_value());
  auto result = reader.read_bytes(3);
  ASSERT_FALSE(result.has_value());
  EXPECT_EQ(result.error().first_error(), IoError::not_enough_bytes());
  EXPECT_EQ(reader.position(), 4U);
  auto rest = reader.read_bytes(2);
  ASSERT_TRUE(rest.has_value());
  EXPECT_EQ(*rest, (std::vector<std::uint8_t>{5, 6}));
  EXPECT_EQ(reader.position(), 6U);
  auto none = reader.read_bytes(0);
  ASSERT_TRUE(none.has_value());
  EXPECT_TRUE(none->empty());
}

TEST(ByteReader, HugeCountOverShortBufferFails) {
  const std::vector<std::uint8_t> bytes = {1, 2};
  ByteReader reader(bytes);
  auto result = reader.read_bytes(SIZE_MAX);
  ASSERT_FALSE(result.has_value());
  EXPECT_EQ(reader.position(), 0U);
}

TEST(ByteReader, RewindReturnsToEarlierPosition) {
  const std::vector<std::uint8_t> bytes = {1, 0, 0, 0, 2, 0, 0, 0};
  ByteReader reader(bytes);
  ASSERT_TRUE(reader.read_u32_le().has_value());
  ASSERT_TRUE(reader.read_u32_le().has_value());
  reader.rewind_to(4);
  auto again = reader.read_u32_le();
  ASSERT_TRUE(again.has_value());
  EXPECT_EQ(*again, 2U);
}

// A temporary file with given contents, removed at the end of the test.
class TempFile {
 public:
  explicit TempFile(const std::vector<std::uint8_t>& contents) {
    char name[] = "/tmp/archive_basics_XXXXXX";
    fd_ = ::mkstemp(name);
    path_ = name;
    if (fd_ >= 0 && !contents.empty()) {
      written_ = ::write(fd_, contents.data(), contents.size()) == static_cast<ssize_t>(contents.size());
    } else {
      written_ = fd_ >= 0;
    }
  }
  ~TempFile() {
    if (fd_ >= 0) ::close(fd_);
    ::unlink(path_.c_str());
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  bool ok() const { return written_; }
  int fd() const { return fd_; }

 private:
  int fd_ = -1;
  bool written_ = false;
  std::string path_;
};

TEST(ByteReaderOverFd, ReadsFromTheCurrentFilePosition) {
  TempFile file({0, 0, 0x44, 0x33, 0x22, 0x11, 9, 8, 7});
  ASSERT_TRUE(file.ok());
  ASSERT_EQ(::lseek(file.fd(), 2, SEEK_SET), 2);
  ByteReader reader = ByteReader::over_fd(file.fd());
  EXPECT_EQ(reader.position(), 2U);
  auto value = reader.read_u32_le();
  ASSERT_TRUE(value.has_value());
  EXPECT_EQ(*value, 0x11223344U);
  auto bytes = reader.read_bytes(3);
  ASSERT_TRUE(bytes.has_value());
  EXPECT_EQ(*bytes, (std::vector<std::uint8_t>{9, 8, 7}));
  EXPECT_EQ(reader.position(), 9U);
}

TEST(ByteReaderOverFd, EndOfFileGivesTheEndOfDataTexts) {
  TempFile file({1, 2, 3});
  ASSERT_TRUE(file.ok());
  {
    ASSERT_EQ(::lseek(file.fd(), 0, SEEK_SET), 0);
    ByteReader reader = ByteReader::over_fd(file.fd());
    auto value = reader.read_u32_le();
    ASSERT_FALSE(value.has_value());
    EXPECT_EQ(value.error().first_error(), IoError::unexpected_eof());
    EXPECT_EQ(reader.position(), 0U);
  }
  {
    ASSERT_EQ(::lseek(file.fd(), 0, SEEK_SET), 0);
    ByteReader reader = ByteReader::over_fd(file.fd());
    auto bytes = reader.read_bytes(16);
    ASSERT_FALSE(bytes.has_value());
    EXPECT_EQ(bytes.error().first_error(), IoError::not_enough_bytes());
    EXPECT_EQ(reader.position(), 0U);
  }
}

TEST(ByteReaderOverFd, CountedReadLargerThanOneChunk) {
  std::vector<std::uint8_t> contents(200000);
  for (std::size_t i = 0; i < contents.size(); ++i) contents[i] = static_cast<std::uint8_t>(i * 7);
  TempFile file(contents);
  ASSERT_TRUE(file.ok());
  ASSERT_EQ(::lseek(file.fd(), 0, SEEK_SET), 0);
  ByteReader reader = ByteReader::over_fd(file.fd());
  auto bytes = reader.read_bytes(contents.size());
  ASSERT_TRUE(bytes.has_value());
  EXPECT_EQ(*bytes, contents);

  ASSERT_EQ(::lseek(file.fd(), 0, SEEK_SET), 0);
  ByteReader short_reader = ByteReader::over_fd(file.fd());
  auto too_many = short_reader.read_bytes(contents.size() + 1);
  ASSERT_FALSE(too_many.has_value());
  EXPECT_EQ(too_many.error().first_error(), IoError::not_enough_bytes());
}

TEST(ByteReaderOverFd, ReadErrorIsAnOsError) {
  const int dir = ::open("/tmp", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_GE(dir, 0);
  ByteReader reader = ByteReader::over_fd(dir);
  auto value = reader.read_u32_le();
  ::close(dir);
  ASSERT_FALSE(value.has_value());
  EXPECT_EQ(value.error().first_error(), IoError::from_os(EISDIR));
  EXPECT_EQ(value.error().report(), "Is a directory (os error 21)");
}

TEST(ByteReaderOverFd, ReadsThroughAPipeDeliveringPiecemeal) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  const std::uint8_t part1[] = {0x78, 0x56};
  const std::uint8_t part2[] = {0x34, 0x12};
  ASSERT_EQ(::write(fds[1], part1, 2), 2);
  ASSERT_EQ(::write(fds[1], part2, 2), 2);
  ::close(fds[1]);
  ByteReader reader = ByteReader::over_fd(fds[0]);
  EXPECT_EQ(reader.position(), 0U);
  auto value = reader.read_u32_le();
  ASSERT_TRUE(value.has_value());
  EXPECT_EQ(*value, 0x12345678U);
  EXPECT_FALSE(reader.read_u32_le().has_value());
  ::close(fds[0]);
}

}  // namespace
}  // namespace quorvane_dat
