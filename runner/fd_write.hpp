// Writing a whole text to a file descriptor, the one write loop of the runner.
#pragma once

#include <string_view>

namespace runner {

// Writes all of `text` to `fd`, retrying interrupted writes; returns the errno
// of a failed write, or 0.
int write_all_fd(int fd, std::string_view text) noexcept;

}  // namespace runner
