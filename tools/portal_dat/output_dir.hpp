// The directory that extract writes into, held open as a directory
// descriptor: every file is created relative to it, either without a name
// (O_TMPFILE) and linked into place once complete, or under a temporary name
// that no link can redirect and renamed into place, so that nothing is
// written outside it and no partial file is left behind. A file is written
// as its bytes arrive: started, appended to, then finished or abandoned.
#pragma once

#include <atomic>
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

// A file being written: without a name, or under a temporary one.
struct PendingFile {
  int fd = -1;
  std::string name;
  std::string temp;  // empty for a file without a name
  bool replace = false;
};

class OutputDir {
 public:
  // Opens `path` as a directory, creating it first (one level) when it does
  // not exist. On failure returns nullopt with the reason in `error`. With
  // PORTAL_DAT_TEMPORARY_NAMES set in the environment, files are always
  // written under temporary names (the way taken where unnamed files are
  // unavailable); with PORTAL_DAT_LINK_THROUGH_PROC, unnamed files are
  // always named through /proc (the way taken where the process may not
  // link a descriptor itself).
  static std::optional<OutputDir> open(const std::string& path, std::string& error);

  OutputDir(OutputDir&& other) noexcept
      : fd_(other.fd_),
        pid_(std::move(other.pid_)),
        counter_(other.counter_.load()),
        unnamed_unsupported_(other.unnamed_unsupported_.load()),
        proc_checked_(other.proc_checked_.load()),
        empty_path_unusable_(other.empty_path_unusable_.load()) {
    other.fd_ = -1;
  }
  OutputDir& operator=(OutputDir&&) = delete;
  OutputDir(const OutputDir&) = delete;
  OutputDir& operator=(const OutputDir&) = delete;
  ~OutputDir();

  // Starts the file `name` (a plain file name); Written when `file` is ready.
  WriteOutcome start(const std::string& name, bool replace, PendingFile& file);
  // Appends `bytes`; on failure the file is abandoned.
  WriteOutcome append(PendingFile& file, std::span<const std::uint8_t> bytes);
  // Gives the complete file its name. An existing entry of that name is kept
  // (Exists) unless the file replaces; a replaced symbolic link is itself
  // replaced, never followed. On any failure nothing is left behind.
  WriteOutcome finish(PendingFile& file);
  // Removes a started file.
  void abandon(PendingFile& file);

  // start, append and finish in one.
  WriteOutcome write_file(const std::string& name, std::span<const std::uint8_t> bytes, bool replace);

 private:
  OutputDir(int fd, std::string pid, bool temporary_names, bool through_proc) noexcept
      : fd_(fd),
        pid_(std::move(pid)),
        unnamed_unsupported_(temporary_names),
        empty_path_unusable_(through_proc) {}
  // Opens a file without a name that can be linked through /proc; -1 when
  // the file system or /proc cannot do that (or errno of a failure, negated).
  int open_unnamed();
  // Gives the file without a name open as `fd` the name `name`; 0 or errno.
  int link_unnamed(int fd, const std::string& name);
  // Moves `temp` to `name`, never over an existing entry.
  int rename_no_replace(const std::string& temp, const std::string& name);

  int fd_ = -1;
  std::string pid_;  // part of every temporary name
  std::atomic<std::uint64_t> counter_{0};
  std::atomic<bool> unnamed_unsupported_{false};
  std::atomic<bool> proc_checked_{false};         // /proc found able to name a file
  std::atomic<bool> empty_path_unusable_{false};  // linkat(AT_EMPTY_PATH) refused
};

}  // namespace portal_dat
