#include "runner/io_error_text.hpp"

#include <cerrno>
#include <cstring>
#include <string_view>

#include "runner/debug_repr.hpp"

namespace runner {
namespace {

std::string system_message(int code) {
  char buf[256];
  // GNU strerror_r: returns a pointer to the message, thread-safe.
  const char* text = ::strerror_r(code, buf, sizeof buf);
  return text != nullptr ? std::string(text) : std::string("Unknown error");
}

std::string_view kind_name(int code) noexcept {
  switch (code) {
    case ENOENT: return "NotFound";
    case EPERM:
    case EACCES: return "PermissionDenied";
    case EPIPE: return "BrokenPipe";
    case EEXIST: return "AlreadyExists";
    case EAGAIN: return "WouldBlock";
    case ENOTDIR: return "NotADirectory";
    case EISDIR: return "IsADirectory";
    case ENOTEMPTY: return "DirectoryNotEmpty";
    case EROFS: return "ReadOnlyFilesystem";
    case ELOOP: return "FilesystemLoop";
    case EINVAL: return "InvalidInput";
    case ETIMEDOUT: return "TimedOut";
    case ENOSPC: return "StorageFull";
    case ESPIPE: return "NotSeekable";
    case EDQUOT: return "FilesystemQuotaExceeded";
    case EFBIG: return "FileTooLarge";
    case EBUSY: return "ResourceBusy";
    case ETXTBSY: return "ExecutableFileBusy";
    case EDEADLK: return "Deadlock";
    case EXDEV: return "CrossesDevices";
    case EMLINK: return "TooManyLinks";
    case ENAMETOOLONG: return "InvalidFilename";
    case E2BIG: return "ArgumentListTooLong";
    case EINTR: return "Interrupted";
    case ENOSYS: return "Unsupported";
    case ENOMEM: return "OutOfMemory";
    case ECONNRESET: return "ConnectionReset";
    case ENOTCONN: return "NotConnected";
    default: return "Uncategorized";
  }
}

}  // namespace

std::string os_error_display(int code) {
  return system_message(code) + " (os error " + std::to_string(code) + ")";
}

std::string io_error_debug(std::error_code error) {
  if (error.category() == std::system_category() || error.category() == std::generic_category()) {
    const int code = error.value();
    std::string out = "Os { code: ";
    out += std::to_string(code);
    out += ", kind: ";
    out += kind_name(code);
    out += ", message: ";
    out += debug_quote(system_message(code));
    out += " }";
    return out;
  }
  return "Custom { kind: Other, error: " + debug_quote(error.message()) + " }";
}

}  // namespace runner
