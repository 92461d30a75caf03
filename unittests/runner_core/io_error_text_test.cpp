// The runner's I/O error texts against the archive library's.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <system_error>

#include "quorvane_dat/error/io_error.hpp"
#include "runner/io_error_text.hpp"

namespace {

std::string runner_debug(int code) {
  return runner::io_error_debug(std::error_code(code, std::system_category()));
}

TEST(IoErrorText, RunnerAndLibraryNameTheSameKindAndMessage) {
  // The codes the runner used to call Uncategorized.
  const struct {
    int code;
    const char* kind;
  } cases[] = {
      {ECONNREFUSED, "ConnectionRefused"}, {EHOSTUNREACH, "HostUnreachable"},
      {ENETUNREACH, "NetworkUnreachable"}, {ECONNABORTED, "ConnectionAborted"},
      {EADDRINUSE, "AddrInUse"},           {EADDRNOTAVAIL, "AddrNotAvailable"},
      {ENETDOWN, "NetworkDown"},           {ESTALE, "StaleNetworkFileHandle"},
  };
  for (const auto& c : cases) {
    EXPECT_NE(runner_debug(c.code).find(std::string(", kind: ") + c.kind + ", "), std::string::npos)
        << runner_debug(c.code);
  }
  // Every error number, including ones the C library has no message for.
  for (int code = 0; code <= 200; ++code) {
    const quorvane_dat::IoError library = quorvane_dat::IoError::from_os(code);
    EXPECT_EQ(runner_debug(code), library.debug()) << code;
    EXPECT_EQ(runner::os_error_display(code), library.display()) << code;
  }
}

}  // namespace
