// The directory that extract writes into, held open as a directory
// descriptor: every file is created relative to it, either without a name
// (O_TMPFILE) and linked into place once complete, or under a temporary name
// that no link can redirect and renamed into place, so that nothing is
// written outside it and no partial file is left behind.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>

namespace portal_dat {

struct WriteOutcome {
  enum class Status { Written, Exists, Failed };
  Status status = Status::Written;
  int error_number = 0;  // errno of a failure
  std::string what;      // the step that failed, e.g. "write"
};

class OutputDir {
 public:
  // Opens `path` as a directory, creating it first (one level) when it does
  // not exist. On failure returns nullopt with the reason in `error`.
  static std::optional<OutputDir> open(const std::string& path, std::string& error);

  OutputDir(OutputDir&& other) noexcept
      : fd_(other.fd_),
        pid_(std::move(other.pid_)),
        counter_(other.counter_),
        unnamed_unsupported_(other.unnamed_unsupported_) {
    other.fd_ = -1;
  }
  OutputDir& operator=(OutputDir&&) = delete;
  OutputDir(const OutputDir&) = delete;
  OutputDir& operator=(const OutputDir&) = delete;
  ~OutputDir();

  // Writes `bytes` to the file `name` in the directory. `name` must be a
  // plain file name. An existing entry of that name is kept (Exists) unless
  // `replace`; a replaced symbolic link is itself replaced, never followed.
  // On any failure the temporary file is removed.
  WriteOutcome write_file(const std::string& name, std::span<const std::uint8_t> bytes, bool replace);

 private:
  OutputDir(int fd, std::string pid) noexcept : fd_(fd), pid_(std::move(pid)) {}
  // Writes a file without a name and links it as `name`, never over an
  // existing entry; nothing when the file system or /proc cannot do that.
  std::optional<WriteOutcome> write_unnamed(const std::string& name,
                                            std::span<const std::uint8_t> bytes);
  // Moves `temp` to `name`, never over an existing entry.
  int rename_no_replace(const std::string& temp, const std::string& name);

  int fd_ = -1;
  std::string pid_;  // part of every temporary name
  std::uint64_t counter_ = 0;
  bool unnamed_unsupported_ = false;
};

}  // namespace portal_dat
