// Texts of operating-system errors as the runner prints them: the display
// form "Broken pipe (os error 32)" and the structured debug form
// Os { code: 32, kind: BrokenPipe, message: "Broken pipe" }.
#pragma once

#include <string>
#include <system_error>

#include "quorvane_base/os_error.hpp"

namespace runner {

// The system's message for `code`, then " (os error N)": the foundation's,
// which the archive library's error texts use too.
using quorvane_base::os_error_display;

// Debug description of an I/O error: the structured Os form for system error
// numbers, a Custom form with the message for any other category.
std::string io_error_debug(std::error_code error);

}  // namespace runner
