#include "lib/corruption.hpp"

#include <cstdarg>
#include <cstdio>

namespace quorvane_dat::detail {

DatError corruption(const char* format, ...) {
  char text[256];
  std::va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  return DatError::Corruption{text};
}

}  // namespace quorvane_dat::detail
