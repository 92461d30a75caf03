// The registry entry of one of the audit program's checks: a plain integration
// check, never ignored, whose recorded span covers the function's name on the
// line where its definition starts.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

#include "runner/test_types.hpp"

namespace common {

// Each check's name starts after "void " in its definition.
inline constexpr std::size_t CHECK_NAME_COLUMN = 6;

// The entry of the check `fn` registered as `name`, defined in `source_path`
// from `line` on; the function's name is the last part of `name` (after the
// last "::", if any).
constexpr runner::TestDescAndFn check_entry(std::string_view name, std::string_view source_path,
                                            std::size_t line, runner::TestFn fn) {
  const std::size_t colons = name.rfind("::");
  const std::string_view function = colons == std::string_view::npos ? name : name.substr(colons + 2);
  return runner::TestDescAndFn{
      runner::TestDesc{
          .name = name,
          .ignore = false,
          .ignore_message = std::nullopt,
          .should_panic = runner::ShouldPanic::No,
          .expected_message = {},
          .source_path = source_path,
          .start_line = line,
          .start_col = CHECK_NAME_COLUMN,
          .end_line = line,
          .end_col = CHECK_NAME_COLUMN + function.size(),
          .test_type = runner::TestType::IntegrationTest,
      },
      fn,
  };
}

}  // namespace common
