#include "runner/io_error_text.hpp"

#include "quorvane_base/debug_quote.hpp"
#include "quorvane_base/os_error.hpp"

namespace runner {

std::string os_error_display(int code) {
  return quorvane_base::os_error_message(code) + " (os error " + std::to_string(code) + ")";
}

std::string io_error_debug(std::error_code error) {
  if (error.category() == std::system_category() || error.category() == std::generic_category()) {
    const int code = error.value();
    std::string out = "Os { code: ";
    out += std::to_string(code);
    out += ", kind: ";
    out += quorvane_base::io_error_kind_name(quorvane_base::io_error_kind_from_errno(code));
    out += ", message: ";
    out += quorvane_base::debug_quote(quorvane_base::os_error_message(code));
    out += " }";
    return out;
  }
  return "Custom { kind: Other, error: " + quorvane_base::debug_quote(error.message()) + " }";
}

}  // namespace runner
