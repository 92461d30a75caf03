// A formatter's output location backed by a temporary file, so that tests can
// read back exactly what was written.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <optional>
#include <string>

#include "runner/output_location.hpp"

namespace runner_formats_test {

// Control strings that make colours visible in expected texts.
inline runner::TerminalColors visible_colors() {
  runner::TerminalColors colors;
  colors.red = "<R>";
  colors.green = "<G>";
  colors.yellow = "<Y>";
  colors.reset = "</>";
  return colors;
}

class CapturedOutput {
 public:
  explicit CapturedOutput(bool color = false)
      : file_(std::tmpfile()),
        location_(::fileno(file_), color ? std::optional(visible_colors()) : std::nullopt, color) {}
  CapturedOutput(const CapturedOutput&) = delete;
  CapturedOutput& operator=(const CapturedOutput&) = delete;
  ~CapturedOutput() { std::fclose(file_); }

  runner::OutputLocation& location() { return location_; }

  // Everything written so far.
  std::string text() const {
    std::string out;
    char buf[4096];
    for (off_t pos = 0;;) {
      const ssize_t n = ::pread(::fileno(file_), buf, sizeof buf, pos);
      if (n <= 0) break;
      out.append(buf, static_cast<std::size_t>(n));
      pos += n;
    }
    return out;
  }

 private:
  std::FILE* file_;
  runner::OutputLocation location_;
};

}  // namespace runner_formats_test
