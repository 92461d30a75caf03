// Writing extracted files safely relative to a directory descriptor.
#include "tools/portal_dat/output_dir.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
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

std::string proc_path(int fd) {
  char self[32];
  std::snprintf(self, sizeof self, "/proc/self/fd/%d", fd);
  return self;
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
  const auto set = [](const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
  };
  return OutputDir(fd, std::to_string(::getpid()), set("PORTAL_DAT_TEMPORARY_NAMES"),
                   set("PORTAL_DAT_LINK_THROUGH_PROC"));
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

int OutputDir::open_unnamed() {
  const int fd = ::openat(fd_, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
  if (fd < 0) {
    if (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL) {
      unnamed_unsupported_ = true;
      return -1;
    }
    return -errno - 1;
  }
  // The finished file is named through /proc (or directly, where the
  // process may); without /proc, a temporary name. Looked at once.
  if (!proc_checked_.load(std::memory_order_relaxed)) {
    if (::access(proc_path(fd).c_str(), F_OK) != 0) {
      ::close(fd);
      unnamed_unsupported_ = true;
      return -1;
    }
    proc_checked_ = true;
  }
  return fd;
}

int OutputDir::link_unnamed(int fd, const std::string& name) {
  // Linking the descriptor itself skips the lookup of its /proc path; it
  // needs a privilege that most processes lack, and then /proc does it. Both
  // refuse an existing entry (EEXIST).
  if (!empty_path_unusable_.load(std::memory_order_relaxed)) {
    if (::linkat(fd, "", fd_, name.c_str(), AT_EMPTY_PATH) == 0) return 0;
    if (errno != ENOENT && errno != EPERM && errno != EINVAL) return errno;
  }
  if (::linkat(AT_FDCWD, proc_path(fd).c_str(), fd_, name.c_str(), AT_SYMLINK_FOLLOW) != 0) return errno;
  empty_path_unusable_ = true;
  return 0;
}

WriteOutcome OutputDir::start(const std::string& name, bool replace, PendingFile& file) {
  file = PendingFile{-1, name, "", replace};
  // Without --force, a file written without a name and linked into place
  // costs one entry of the directory instead of two (temporary and final);
  // where the file system cannot, a temporary name is used.
  if (!replace && !unnamed_unsupported_) {
    const int fd = open_unnamed();
    if (fd >= 0) {
      file.fd = fd;
      return {};
    }
    if (fd < -1) return {WriteOutcome::Status::Failed, -fd - 1, "create"};
  }
  // A fresh temporary name: O_EXCL refuses any entry already there, a planted
  // symbolic link included, so the next name is tried. An existing final
  // entry is found by the no-replace rename at the end, which costs nothing
  // in the common case of a fresh directory.
  for (int attempt = 0; attempt < 100; ++attempt) {
    file.temp = "." + name + ".part-" + pid_ + "-" + std::to_string(counter_++);
    file.fd =
        ::openat(fd_, file.temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (file.fd >= 0) return {};
    if (errno != EEXIST) return {WriteOutcome::Status::Failed, errno, "create"};
  }
  return {WriteOutcome::Status::Failed, EEXIST, "create"};
}

void OutputDir::abandon(PendingFile& file) {
  if (file.fd >= 0) ::close(file.fd);  // a file without a name leaves nothing behind
  file.fd = -1;
  if (!file.temp.empty()) ::unlinkat(fd_, file.temp.c_str(), 0);
  file.temp.clear();
}

WriteOutcome OutputDir::append(PendingFile& file, std::span<const std::uint8_t> bytes) {
  if (const int error_number = write_all(file.fd, bytes); error_number != 0) {
    abandon(file);
    return {WriteOutcome::Status::Failed, error_number, "write"};
  }
  return {};
}

WriteOutcome OutputDir::finish(PendingFile& file) {
  const auto fail = [&](int error_number, const char* what) {
    abandon(file);
    WriteOutcome outcome{WriteOutcome::Status::Failed, error_number, what};
    if (error_number == EEXIST && !file.replace) outcome.status = WriteOutcome::Status::Exists;
    return outcome;
  };
  if (file.temp.empty()) {
    // Naming the finished file through its descriptor never replaces an entry.
    if (const int error_number = link_unnamed(file.fd, file.name); error_number != 0) {
      return fail(error_number, error_number == EEXIST ? "create" : "rename");
    }
    // Some file systems report a full disk only when the file is closed; the
    // name given to an incomplete file is taken back.
    const int fd = std::exchange(file.fd, -1);
    if (::close(fd) != 0 && errno != EINTR) {
      const int error_number = errno;
      ::unlinkat(fd_, file.name.c_str(), 0);
      return {WriteOutcome::Status::Failed, error_number, "write"};
    }
    return {};
  }
  // Some file systems report a full disk only when the file is closed.
  if (::close(std::exchange(file.fd, -1)) != 0 && errno != EINTR) return fail(errno, "write");
  if (file.replace) {
    if (::renameat(fd_, file.temp.c_str(), fd_, file.name.c_str()) != 0) return fail(errno, "rename");
    file.temp.clear();
    return {};
  }
  if (const int error_number = rename_no_replace(file.temp, file.name); error_number != 0) {
    return fail(error_number, "rename");
  }
  file.temp.clear();
  return {};
}

WriteOutcome OutputDir::write_file(const std::string& name, std::span<const std::uint8_t> bytes,
                                   bool replace) {
  PendingFile file;
  if (WriteOutcome started = start(name, replace, file);
      started.status != WriteOutcome::Status::Written) {
    return started;
  }
  if (WriteOutcome written = append(file, bytes); written.status != WriteOutcome::Status::Written) {
    return written;
  }
  return finish(file);
}

}  // namespace portal_dat
