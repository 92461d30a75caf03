// Writing extracted files safely relative to a directory descriptor.
#include "tools/portal_dat/output_dir.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace portal_dat {

namespace {

// Writes all of `bytes` to `fd`; returns 0 or the errno of the failure.
int write_all(int fd, std::span<const std::uint8_t> bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    bytes = bytes.subspan(static_cast<std::size_t>(written));
  }
  return 0;
}

}  // namespace

std::optional<OutputDir> OutputDir::open(const std::string& path, std::string& error) {
  if (::mkdir(path.c_str(), 0777) != 0 && errno != EEXIST) {
    error = "cannot create directory " + path + ": " + std::strerror(errno);
    return std::nullopt;
  }
  const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    error = "cannot open directory " + path + ": " + std::strerror(errno);
    return std::nullopt;
  }
  return OutputDir(fd, std::to_string(::getpid()));
}

OutputDir::~OutputDir() {
  if (fd_ >= 0) ::close(fd_);
}

int OutputDir::rename_no_replace(const std::string& temp, const std::string& name) {
#ifdef RENAME_NOREPLACE
  if (::renameat2(fd_, temp.c_str(), fd_, name.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return errno;
#endif
  // Without an atomic no-replace rename, a hard link never replaces either.
  if (::linkat(fd_, temp.c_str(), fd_, name.c_str(), 0) != 0) return errno;
  ::unlinkat(fd_, temp.c_str(), 0);
  return 0;
}

std::optional<WriteOutcome> OutputDir::write_unnamed(const std::string& name,
                                                     std::span<const std::uint8_t> bytes) {
  const int fd = ::openat(fd_, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
  if (fd < 0) {
    if (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL) {
      unnamed_unsupported_ = true;
      return std::nullopt;
    }
    return WriteOutcome{WriteOutcome::Status::Failed, errno, "create"};
  }
  if (const int error_number = write_all(fd, bytes); error_number != 0) {
    ::close(fd);  // the file has no name yet: nothing is left behind
    return WriteOutcome{WriteOutcome::Status::Failed, error_number, "write"};
  }
  // Naming the finished file through its descriptor never replaces an entry.
  char self[32];
  std::snprintf(self, sizeof self, "/proc/self/fd/%d", fd);
  if (::linkat(AT_FDCWD, self, fd_, name.c_str(), AT_SYMLINK_FOLLOW) != 0) {
    const int error_number = errno;
    ::close(fd);
    if (error_number == EEXIST) return WriteOutcome{WriteOutcome::Status::Exists, EEXIST, "create"};
    if (error_number == ENOENT) {  // no /proc to name it through
      unnamed_unsupported_ = true;
      return std::nullopt;
    }
    return WriteOutcome{WriteOutcome::Status::Failed, error_number, "rename"};
  }
  // Some file systems report a full disk only when the file is closed; the
  // name given to an incomplete file is taken back.
  if (::close(fd) != 0 && errno != EINTR) {
    const int error_number = errno;
    ::unlinkat(fd_, name.c_str(), 0);
    return WriteOutcome{WriteOutcome::Status::Failed, error_number, "write"};
  }
  return WriteOutcome{};
}

WriteOutcome OutputDir::write_file(const std::string& name, std::span<const std::uint8_t> bytes,
                                   bool replace) {
  // Without --force, a file written without a name and linked into place
  // costs one entry of the directory instead of two (temporary and final);
  // where the file system cannot, a temporary name is used.
  if (!replace && !unnamed_unsupported_) {
    if (std::optional<WriteOutcome> outcome = write_unnamed(name, bytes)) return *outcome;
  }
  // An existing entry is found by the no-replace rename at the end, which
  // costs nothing in the common case of a fresh directory.
  // A fresh temporary name: O_EXCL refuses any entry already there, a planted
  // symbolic link included, so the next name is tried.
  std::string temp;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temp = "." + name + ".part-" + pid_ + "-" + std::to_string(counter_++);
    fd = ::openat(fd_, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) return {WriteOutcome::Status::Failed, errno, "create"};
  }
  if (fd < 0) return {WriteOutcome::Status::Failed, EEXIST, "create"};

  const auto fail = [&](int error_number, const char* what) {
    ::unlinkat(fd_, temp.c_str(), 0);
    return WriteOutcome{WriteOutcome::Status::Failed, error_number, what};
  };
  if (const int error_number = write_all(fd, bytes); error_number != 0) {
    ::close(fd);
    return fail(error_number, "write");
  }
  // Some file systems report a full disk only when the file is closed.
  if (::close(fd) != 0 && errno != EINTR) return fail(errno, "write");

  if (replace) {
    if (::renameat(fd_, temp.c_str(), fd_, name.c_str()) != 0) return fail(errno, "rename");
    return {};
  }
  if (const int error_number = rename_no_replace(temp, name); error_number != 0) {
    WriteOutcome outcome = fail(error_number, "rename");
    if (error_number == EEXIST) outcome.status = WriteOutcome::Status::Exists;
    return outcome;
  }
  return {};
}

}  // namespace portal_dat
