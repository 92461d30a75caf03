#include "runner/io_error_text.hpp"

#include "quorvane_base/debug_quote.hpp"

namespace runner {

std::string io_error_debug(std::error_code error) {
  if (error.category() == std::system_category() || error.category() == std::generic_category()) {
    return quorvane_base::os_error_debug(error.value());
  }
  return "Custom { kind: Other, error: " + quorvane_base::debug_quote(error.message()) + " }";
}

}  // namespace runner
