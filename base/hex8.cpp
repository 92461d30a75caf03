#include "quorvane_base/hex8.hpp"

namespace quorvane_base {

std::string hex8(std::uint32_t value) {
  constexpr char DIGITS[] = "0123456789ABCDEF";
  std::string text(8, '0');
  for (std::size_t i = text.size(); i-- > 0; value >>= 4) text[i] = DIGITS[value & 0xFU];
  return text;
}

}  // namespace quorvane_base
