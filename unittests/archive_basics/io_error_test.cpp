#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "quorvane_dat/error/io_error.hpp"

namespace quorvane_dat {
namespace {

TEST(IoError, OsErrorDisplaysSystemMessageAndNumber) {
  EXPECT_EQ(IoError::from_os(ENOENT).display(), "No such file or directory (os error 2)");
  EXPECT_EQ(IoError::from_os(EACCES).display(), "Permission denied (os error 13)");
  EXPECT_EQ(IoError::from_os(EISDIR).display(), "Is a directory (os error 21)");
}

TEST(IoError, OsErrorDebugIsStructured) {
  EXPECT_EQ(IoError::from_os(ENOENT).debug(),
            "Os { code: 2, kind: NotFound, message: \"No such file or directory\" }");
  EXPECT_EQ(IoError::from_os(EISDIR).debug(),
            "Os { code: 21, kind: IsADirectory, message: \"Is a directory\" }");
  EXPECT_EQ(IoError::from_os(EIO).debug(),
            "Os { code: 5, kind: Uncategorized, message: \"Input/output error\" }");
}

TEST(IoError, OsErrorKeepsNumberAndKind) {
  const IoError error = IoError::from_os(ENOTDIR);
  EXPECT_EQ(error.raw_os_error(), ENOTDIR);
  EXPECT_EQ(error.kind(), IoErrorKind::NotADirectory);
}

TEST(IoError, UnknownErrorNumberStillHasAMessage) {
  const IoError error = IoError::from_os(4242);
  EXPECT_EQ(error.kind(), IoErrorKind::Uncategorized);
  EXPECT_EQ(error.display(), "Unknown error 4242 (os error 4242)");
}

TEST(IoError, FixedMessageForms) {
  const IoError error = IoError::unexpected_eof();
  EXPECT_EQ(error.display(), "failed to fill whole buffer");
  EXPECT_EQ(error.debug(), "Error { kind: UnexpectedEof, message: \"failed to fill whole buffer\" }");
  EXPECT_EQ(error.kind(), IoErrorKind::UnexpectedEof);
  EXPECT_FALSE(error.raw_os_error().has_value());
}

TEST(IoError, WrappedMessageForms) {
  const IoError error = IoError::not_enough_bytes();
  EXPECT_EQ(error.display(), "not enough bytes in reader");
  EXPECT_EQ(error.debug(), "Custom { kind: UnexpectedEof, error: \"not enough bytes in reader\" }");
  EXPECT_FALSE(error.raw_os_error().has_value());
}

TEST(IoError, DebugQuotesItsMessageText) {
  EXPECT_EQ(IoError::custom(IoErrorKind::InvalidData, "say \"hi\"\n").debug(),
            "Custom { kind: InvalidData, error: \"say \\\"hi\\\"\\n\" }");
}

TEST(IoError, FormsWithEqualTextsStayDistinct) {
  EXPECT_NE(IoError::simple(IoErrorKind::UnexpectedEof, "not enough bytes in reader"),
            IoError::not_enough_bytes());
  EXPECT_EQ(IoError::from_os(ENOENT), IoError::from_os(ENOENT));
  EXPECT_NE(IoError::from_os(ENOENT), IoError::from_os(EACCES));
}

TEST(IoErrorKind, ErrnoMapping) {
  struct Case {
    int code;
    IoErrorKind kind;
    const char* name;
  };
  const Case cases[] = {
      {ENOENT, IoErrorKind::NotFound, "NotFound"},
      {EACCES, IoErrorKind::PermissionDenied, "PermissionDenied"},
      {EPERM, IoErrorKind::PermissionDenied, "PermissionDenied"},
      {EISDIR, IoErrorKind::IsADirectory, "IsADirectory"},
      {ENOTDIR, IoErrorKind::NotADirectory, "NotADirectory"},
      {EINTR, IoErrorKind::Interrupted, "Interrupted"},
      {EINVAL, IoErrorKind::InvalidInput, "InvalidInput"},
      {ENOMEM, IoErrorKind::OutOfMemory, "OutOfMemory"},
      {ELOOP, IoErrorKind::FilesystemLoop, "FilesystemLoop"},
      {ENAMETOOLONG, IoErrorKind::InvalidFilename, "InvalidFilename"},
      {EAGAIN, IoErrorKind::WouldBlock, "WouldBlock"},
      {ETXTBSY, IoErrorKind::ExecutableFileBusy, "ExecutableFileBusy"},
      {EROFS, IoErrorKind::ReadOnlyFilesystem, "ReadOnlyFilesystem"},
      {EEXIST, IoErrorKind::AlreadyExists, "AlreadyExists"},
      {ESPIPE, IoErrorKind::NotSeekable, "NotSeekable"},
      {EFBIG, IoErrorKind::FileTooLarge, "FileTooLarge"},
      {EDQUOT, IoErrorKind::FilesystemQuotaExceeded, "FilesystemQuotaExceeded"},
      {ENOSPC, IoErrorKind::StorageFull, "StorageFull"},
      {EBUSY, IoErrorKind::ResourceBusy, "ResourceBusy"},
      {EIO, IoErrorKind::Uncategorized, "Uncategorized"},
      {EBADF, IoErrorKind::Uncategorized, "Uncategorized"},
      {ENXIO, IoErrorKind::Uncategorized, "Uncategorized"},
      {EOVERFLOW, IoErrorKind::Uncategorized, "Uncategorized"},
      {EMFILE, IoErrorKind::Uncategorized, "Uncategorized"},
      {0, IoErrorKind::Uncategorized, "Uncategorized"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    EXPECT_EQ(io_error_kind_from_errno(c.code), c.kind);
    EXPECT_EQ(io_error_kind_name(c.kind), c.name);
  }
}

TEST(IoErrorKind, NamesOfKindsTheLibraryProducesItself) {
  EXPECT_EQ(io_error_kind_name(IoErrorKind::UnexpectedEof), "UnexpectedEof");
  EXPECT_EQ(io_error_kind_name(IoErrorKind::InvalidData), "InvalidData");
  EXPECT_EQ(io_error_kind_name(IoErrorKind::Other), "Other");
}

}  // namespace
}  // namespace quorvane_dat
