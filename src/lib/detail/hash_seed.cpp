#include "quorvane_dat/lib/detail/hash_seed.hpp"

#include <sys/random.h>

#include <chrono>
#include <cstdint>

namespace quorvane_dat::detail {

namespace {

// When the kernel has no randomness to give yet, the clock and the address of
// a local (randomised by the loader) stand in for it.
std::uint64_t draw_multiplier() noexcept {
  std::uint64_t drawn = 0;
  if (::getrandom(&drawn, sizeof drawn, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof drawn)) {
    const auto now =
        static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    drawn = now ^ reinterpret_cast<std::uintptr_t>(&drawn);
    // A 64-bit finaliser spreads the few changing bits over the whole word.
    drawn ^= drawn >> 33;
    drawn *= 0xFF51AFD7ED558CCDULL;
    drawn ^= drawn >> 33;
  }
  return drawn | 1U;
}

}  // namespace

std::uint64_t process_hash_multiplier() noexcept {
  static const std::uint64_t value = draw_multiplier();
  return value;
}

}  // namespace quorvane_dat::detail
