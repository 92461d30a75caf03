#include "runner/console_state.hpp"

#include <cerrno>

namespace runner {

std::error_code ConsoleTestState::write_log(std::string_view text) {
  if (!log_out) return {};
  if (std::fwrite(text.data(), 1, text.size(), log_out.get()) != text.size() ||
      std::fflush(log_out.get()) != 0) {
    const int error = errno != 0 ? errno : EIO;
    return {error, std::system_category()};
  }
  return {};
}

}  // namespace runner
