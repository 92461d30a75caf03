#include "quorvane_base/os_error.hpp"

#include <cerrno>
#include <cstring>

#include "quorvane_base/debug_quote.hpp"

namespace quorvane_base {

namespace {

// strerror_r comes in two flavours depending on the C library's feature macros:
// the GNU one returns the message (possibly a static text), the POSIX one
// fills the buffer and returns a status. Overloading picks whichever is present.
[[maybe_unused]] std::string strerror_result(char* message, const char* /*buffer*/) {
  return message != nullptr ? std::string(message) : std::string();
}
[[maybe_unused]] std::string strerror_result(int status, const char* buffer) {
  return status == 0 ? std::string(buffer) : std::string();
}

}  // namespace

std::string os_error_message(int code) {
  char buffer[256] = {};
  std::string message = strerror_result(strerror_r(code, buffer, sizeof buffer), buffer);
  if (message.empty()) message = "Unknown error " + std::to_string(code);
  return message;
}

std::string_view io_error_kind_name(IoErrorKind kind) noexcept {
  switch (kind) {
    case IoErrorKind::NotFound: return "NotFound";
    case IoErrorKind::PermissionDenied: return "PermissionDenied";
    case IoErrorKind::ConnectionRefused: return "ConnectionRefused";
    case IoErrorKind::ConnectionReset: return "ConnectionReset";
    case IoErrorKind::HostUnreachable: return "HostUnreachable";
    case IoErrorKind::NetworkUnreachable: return "NetworkUnreachable";
    case IoErrorKind::ConnectionAborted: return "ConnectionAborted";
    case IoErrorKind::NotConnected: return "NotConnected";
    case IoErrorKind::AddrInUse: return "AddrInUse";
    case IoErrorKind::AddrNotAvailable: return "AddrNotAvailable";
    case IoErrorKind::NetworkDown: return "NetworkDown";
    case IoErrorKind::BrokenPipe: return "BrokenPipe";
    case IoErrorKind::AlreadyExists: return "AlreadyExists";
    case IoErrorKind::WouldBlock: return "WouldBlock";
    case IoErrorKind::NotADirectory: return "NotADirectory";
    case IoErrorKind::IsADirectory: return "IsADirectory";
    case IoErrorKind::DirectoryNotEmpty: return "DirectoryNotEmpty";
    case IoErrorKind::ReadOnlyFilesystem: return "ReadOnlyFilesystem";
    case IoErrorKind::FilesystemLoop: return "FilesystemLoop";
    case IoErrorKind::StaleNetworkFileHandle: return "StaleNetworkFileHandle";
    case IoErrorKind::InvalidInput: return "InvalidInput";
    case IoErrorKind::InvalidData: return "InvalidData";
    case IoErrorKind::TimedOut: return "TimedOut";
    case IoErrorKind::WriteZero: return "WriteZero";
    case IoErrorKind::StorageFull: return "StorageFull";
    case IoErrorKind::NotSeekable: return "NotSeekable";
    case IoErrorKind::FilesystemQuotaExceeded: return "FilesystemQuotaExceeded";
    case IoErrorKind::FileTooLarge: return "FileTooLarge";
    case IoErrorKind::ResourceBusy: return "ResourceBusy";
    case IoErrorKind::ExecutableFileBusy: return "ExecutableFileBusy";
    case IoErrorKind::Deadlock: return "Deadlock";
    case IoErrorKind::CrossesDevices: return "CrossesDevices";
    case IoErrorKind::TooManyLinks: return "TooManyLinks";
    case IoErrorKind::InvalidFilename: return "InvalidFilename";
    case IoErrorKind::ArgumentListTooLong: return "ArgumentListTooLong";
    case IoErrorKind::Interrupted: return "Interrupted";
    case IoErrorKind::Unsupported: return "Unsupported";
    case IoErrorKind::UnexpectedEof: return "UnexpectedEof";
    case IoErrorKind::OutOfMemory: return "OutOfMemory";
    case IoErrorKind::Other: return "Other";
    case IoErrorKind::Uncategorized: return "Uncategorized";
  }
  return "Uncategorized";
}

IoErrorKind io_error_kind_from_errno(int code) noexcept {
  switch (code) {
    case EPERM:
    case EACCES: return IoErrorKind::PermissionDenied;
    case ENOENT: return IoErrorKind::NotFound;
    case EINTR: return IoErrorKind::Interrupted;
    case E2BIG: return IoErrorKind::ArgumentListTooLong;
    case EAGAIN: return IoErrorKind::WouldBlock;  // EWOULDBLOCK has the same value on Linux
    case ENOMEM: return IoErrorKind::OutOfMemory;
    case EBUSY: return IoErrorKind::ResourceBusy;
    case EEXIST: return IoErrorKind::AlreadyExists;
    case EXDEV: return IoErrorKind::CrossesDevices;
    case ENOTDIR: return IoErrorKind::NotADirectory;
    case EISDIR: return IoErrorKind::IsADirectory;
    case EINVAL: return IoErrorKind::InvalidInput;
    case ETXTBSY: return IoErrorKind::ExecutableFileBusy;
    case EFBIG: return IoErrorKind::FileTooLarge;
    case ENOSPC: return IoErrorKind::StorageFull;
    case ESPIPE: return IoErrorKind::NotSeekable;
    case EROFS: return IoErrorKind::ReadOnlyFilesystem;
    case EMLINK: return IoErrorKind::TooManyLinks;
    case EPIPE: return IoErrorKind::BrokenPipe;
    case EDEADLK: return IoErrorKind::Deadlock;
    case ENAMETOOLONG: return IoErrorKind::InvalidFilename;
    case ENOSYS: return IoErrorKind::Unsupported;
    case ENOTEMPTY: return IoErrorKind::DirectoryNotEmpty;
    case ELOOP: return IoErrorKind::FilesystemLoop;
    case EADDRINUSE: return IoErrorKind::AddrInUse;
    case EADDRNOTAVAIL: return IoErrorKind::AddrNotAvailable;
    case ENETDOWN: return IoErrorKind::NetworkDown;
    case ENETUNREACH: return IoErrorKind::NetworkUnreachable;
    case ECONNABORTED: return IoErrorKind::ConnectionAborted;
    case ECONNRESET: return IoErrorKind::ConnectionReset;
    case ENOTCONN: return IoErrorKind::NotConnected;
    case ETIMEDOUT: return IoErrorKind::TimedOut;
    case ECONNREFUSED: return IoErrorKind::ConnectionRefused;
    case EHOSTUNREACH: return IoErrorKind::HostUnreachable;
    case ESTALE: return IoErrorKind::StaleNetworkFileHandle;
    case EDQUOT: return IoErrorKind::FilesystemQuotaExceeded;
    // EIO, EBADF, EFAULT, EMFILE, ENFILE, ENODEV, ENXIO, EOVERFLOW, EOPNOTSUPP
    // and everything else have no kind of their own.
    default: return IoErrorKind::Uncategorized;
  }
}

std::string os_error_display(int code) {
  std::string text = os_error_message(code);
  text += " (os error ";
  text += std::to_string(code);
  text += ')';
  return text;
}

std::string os_error_debug(int code) {
  std::string text = "Os { code: ";
  text += std::to_string(code);
  text += ", kind: ";
  text += io_error_kind_name(io_error_kind_from_errno(code));
  text += ", message: ";
  text += debug_quote(os_error_message(code));
  text += " }";
  return text;
}

}  // namespace quorvane_base
