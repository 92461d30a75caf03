#include "runner/output_location.hpp"

#include "runner/fd_write.hpp"

namespace runner {

std::error_code OutputLocation::write_plain(std::string_view text) {
  if (const int error = write_all_fd(fd_, text); error != 0) {
    return {error, std::system_category()};
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
