// The source position of a raising statement, captured as a default argument.
// std::source_location is used where the standard library offers it; clang 14
// over libstdc++ 12 lacks it, so there the compiler builtins are used.
#pragma once

#include <cstdint>
#if __has_include(<source_location>)
#include <source_location>
#endif

namespace runner {

struct SourceLocation {
  const char* file = "";
  std::uint32_t line = 0;
  std::uint32_t column = 0;

#if defined(__cpp_lib_source_location)
  static constexpr SourceLocation current(
      std::source_location loc = std::source_location::current()) noexcept {
    return {loc.file_name(), loc.line(), loc.column()};
  }
#else
  static constexpr SourceLocation current(const char* file = __builtin_FILE(),
                                          std::uint32_t line = __builtin_LINE(),
                                          std::uint32_t column = __builtin_COLUMN()) noexcept {
    return {file, line, column};
  }
#endif
};

}  // namespace runner
