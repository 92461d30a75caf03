#include "runner/output_location.hpp"

#include <unistd.h>

#include <cerrno>

namespace runner {

std::error_code OutputLocation::write_plain(std::string_view text) {
  while (!text.empty()) {
    const ssize_t n = ::write(fd_, text.data(), text.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return {errno, std::system_category()};
    }
    text.remove_prefix(static_cast<std::size_t>(n));
  }
  return {};
}

std::error_code OutputLocation::write_colored(std::string_view word, Color color) {
  if (!use_color_) return write_plain(word);
  const auto& foreground = colors_->foreground(color);
  if (!foreground) return write_plain(word);
  // One write, so that the control strings and the word stay together.
  std::string text = *foreground;
  text += word;
  text += colors_->reset;
  return write_plain(text);
}

}  // namespace runner
