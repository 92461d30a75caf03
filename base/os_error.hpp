// Operating-system errors: the kind an error number falls into, the kind's
// name, and the system's message text for the number.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The archive library's public headers bring the two kind functions into
// its namespace, so its shared build exports them (and nothing else of this
// library).
#define QUORVANE_BASE_API __attribute__((visibility("default")))

namespace quorvane_base {

enum class IoErrorKind : std::uint8_t {
  NotFound,
  PermissionDenied,
  ConnectionRefused,
  ConnectionReset,
  HostUnreachable,
  NetworkUnreachable,
  ConnectionAborted,
  NotConnected,
  AddrInUse,
  AddrNotAvailable,
  NetworkDown,
  BrokenPipe,
  AlreadyExists,
  WouldBlock,
  NotADirectory,
  IsADirectory,
  DirectoryNotEmpty,
  ReadOnlyFilesystem,
  FilesystemLoop,
  StaleNetworkFileHandle,
  InvalidInput,
  InvalidData,
  TimedOut,
  WriteZero,
  StorageFull,
  NotSeekable,
  FilesystemQuotaExceeded,
  FileTooLarge,
  ResourceBusy,
  ExecutableFileBusy,
  Deadlock,
  CrossesDevices,
  TooManyLinks,
  InvalidFilename,
  ArgumentListTooLong,
  Interrupted,
  Unsupported,
  UnexpectedEof,
  OutOfMemory,
  Other,
  Uncategorized,
};

// CamelCase name of a kind, as shown in debug forms ("UnexpectedEof").
QUORVANE_BASE_API std::string_view io_error_kind_name(IoErrorKind kind) noexcept;

// Kind that an operating-system error number maps to; Uncategorized for the
// numbers that have no kind of their own.
QUORVANE_BASE_API IoErrorKind io_error_kind_from_errno(int code) noexcept;

// The system's message for an error number ("No such file or directory"),
// safe to call from several threads; "Unknown error N" when the C library
// has none.
std::string os_error_message(int code);

// The display form of an error number: "No such file or directory (os error 2)".
std::string os_error_display(int code);

// The debug form of an error number:
// Os { code: 2, kind: NotFound, message: "No such file or directory" }.
std::string os_error_debug(int code);

}  // namespace quorvane_base
