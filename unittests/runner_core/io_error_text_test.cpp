// The I/O error texts that the runner and the archive library share through
// the foundation library.
#include <gtest/gtest.h>

#include <cerrno>
#include <future>
#include <string>
#include <system_error>

#include "quorvane_dat/error/io_error.hpp"
#include "runner/io_error_text.hpp"

namespace {

TEST(IoErrorText, OsErrorsShowTheirKindMessageAndNumber) {
  // The codes that once went without a kind of their own.
  const struct {
    int code;
    const char* kind;
  } cases[] = {
      {ECONNREFUSED, "ConnectionRefused"},
      {EHOSTUNREACH, "HostUnreachable"},
      {ENETUNREACH, "NetworkUnreachable"},
      {ECONNABORTED, "ConnectionAborted"},
      {EADDRINUSE, "AddrInUse"},
      {EADDRNOTAVAIL, "AddrNotAvailable"},
      {ENETDOWN, "NetworkDown"},
      {ESTALE, "StaleNetworkFileHandle"},
      {ENOENT, "NotFound"},
      {0, "Uncategorized"},
  };
  for (const auto& c : cases) {
    const std::string message = quorvane_base::os_error_message(c.code);
    EXPECT_EQ(quorvane_base::os_error_debug(c.code), "Os { code: " + std::to_string(c.code) +
                                                         ", kind: " + c.kind + ", message: \"" +
                                                         message + "\" }");
    EXPECT_EQ(runner::io_error_debug(std::error_code(c.code, std::system_category())),
              quorvane_base::os_error_debug(c.code));
    EXPECT_EQ(quorvane_dat::IoError::from_os(c.code).debug(), quorvane_base::os_error_debug(c.code));
  }
  EXPECT_EQ(quorvane_base::os_error_display(ENOENT), "No such file or directory (os error 2)");
  EXPECT_EQ(runner::os_error_display(ENOENT), quorvane_dat::IoError::from_os(ENOENT).display());
}

TEST(IoErrorText, OtherCategoriesAreCustom) {
  const std::error_code code = std::make_error_code(std::future_errc::no_state);
  EXPECT_EQ(runner::io_error_debug(code), "Custom { kind: Other, error: \"" + code.message() + "\" }");
}

}  // namespace
