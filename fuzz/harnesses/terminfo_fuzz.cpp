// Fuzz harness: the compiled terminal description reader and the parameter
// expansion of string capabilities.
//
// Input layout: the first byte chooses the mode. Even: the rest is a compiled
// description; when it reads, the runner's colour strings are taken from it
// and every string capability is expanded with the colour parameters. Odd:
// the next 9 x 4 bytes (as far as present) are parameters, little-endian, and
// the rest is one capability to expand with them.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "fuzz/support/fuzz_check.hpp"
#include "runner/terminfo_parse.hpp"

namespace {

void fuzz_description(std::span<const std::uint8_t> bytes) {
  const auto info = runner::parse_terminfo(bytes);
  if (!info) return;
  for (const auto& number : info->numbers) {
    FUZZ_CHECK(!number || *number >= 0, "absent and cancelled numbers are not values");
  }
  const runner::TerminalColors colors = runner::colors_from_terminfo(*info);
  const bool has_setaf = info->string(runner::terminfo_cap::SET_A_FOREGROUND) != nullptr;
  FUZZ_CHECK(has_setaf || (!colors.red && !colors.green && !colors.yellow),
             "colours come from setaf only");
  const int params[] = {1};
  for (const auto& cap : info->strings) {
    if (cap) (void)runner::expand_capability(*cap, params);
  }
}

void fuzz_expansion(std::span<const std::uint8_t> bytes) {
  std::array<int, 9> params{};
  std::size_t count = 0;
  while (count < params.size() && bytes.size() >= 4) {
    params[count++] =
        static_cast<int>(std::uint32_t{bytes[0]} | (std::uint32_t{bytes[1]} << 8) |
                         (std::uint32_t{bytes[2]} << 16) | (std::uint32_t{bytes[3]} << 24));
    bytes = bytes.subspan(4);
  }
  const std::string_view cap(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  const auto expanded = runner::expand_capability(cap, std::span(params.data(), count));
  // Each operator writes at most one formatted value of bounded width, so the
  // expansion of a short capability stays short.
  if (expanded) FUZZ_CHECK(expanded->size() <= 256 * (cap.size() + 1), "output is bounded");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::span<const std::uint8_t> rest(data + 1, size - 1);
  if (data[0] % 2 == 0) {
    fuzz_description(rest);
  } else {
    fuzz_expansion(rest);
  }
  return 0;
}
