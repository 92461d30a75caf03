// Where the runner's result lines go: a file descriptor (standard output in
// the program, a pipe or file in tests), plain or with terminal colours.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <system_error>

namespace runner {

enum class Color : unsigned char { Red = 1, Green = 2, Yellow = 3 };

// Control strings taken from a terminal description for the three colours.
struct TerminalColors {
  std::optional<std::string> red;     // setaf 1, when the description offers colour 1
  std::optional<std::string> green;   // setaf 2
  std::optional<std::string> yellow;  // setaf 3
  std::string reset;                  // sgr0, else sgr, else op

  const std::optional<std::string>& foreground(Color color) const noexcept {
    switch (color) {
      case Color::Red: return red;
      case Color::Green: return green;
      case Color::Yellow: break;
    }
    return yellow;
  }
};

class OutputLocation {
 public:
  // Writes to `fd` (not owned). `colors` present means the output is driven as
  // a terminal; whether colour is used at all is decided by `use_color`.
  OutputLocation(int fd, std::optional<TerminalColors> colors, bool use_color)
      : fd_(fd), colors_(std::move(colors)), use_color_(use_color && colors_.has_value()) {}

  // Writes all of `text`; EINTR retried.
  [[nodiscard]] std::error_code write_plain(std::string_view text);
  // Writes `word` wrapped in the colour's control strings when colour is on.
  [[nodiscard]] std::error_code write_colored(std::string_view word, Color color);
  bool use_color() const noexcept { return use_color_; }
  int fd() const noexcept { return fd_; }

 private:
  int fd_;
  std::optional<TerminalColors> colors_;
  bool use_color_;
};

}  // namespace runner
