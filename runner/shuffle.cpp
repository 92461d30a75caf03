#include "runner/shuffle.hpp"

#include <cstddef>
#include <ctime>
#include <string_view>
#include <utility>

#include "runner/check_failure.hpp"

namespace runner {
namespace {

constexpr std::uint64_t rotl(std::uint64_t x, int b) noexcept { return (x << b) | (x >> (64 - b)); }

struct SipState {
  // Initial state for keys k0 = k1 = 0.
  std::uint64_t v0 = 0x736f6d6570736575ULL;
  std::uint64_t v1 = 0x646f72616e646f6dULL;
  std::uint64_t v2 = 0x6c7967656e657261ULL;
  std::uint64_t v3 = 0x7465646279746573ULL;

  void round() noexcept {
    v0 += v1;
    v1 = rotl(v1, 13);
    v1 ^= v0;
    v0 = rotl(v0, 32);
    v2 += v3;
    v3 = rotl(v3, 16);
    v3 ^= v2;
    v0 += v3;
    v3 = rotl(v3, 21);
    v3 ^= v0;
    v2 += v1;
    v1 = rotl(v1, 17);
    v1 ^= v2;
    v2 = rotl(v2, 32);
  }
  void compress(std::uint64_t m) noexcept {
    v3 ^= m;
    round();  // one compression round
    v0 ^= m;
  }
};

std::uint64_t load_le(const std::uint8_t* p, std::size_t n) noexcept {
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < n; ++i) value |= std::uint64_t{p[i]} << (8 * i);
  return value;
}

void put_u64(std::vector<std::uint8_t>& out, std::uint64_t value) {
  for (int i = 0; i < 8; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

std::uint64_t hash_pair(std::uint64_t a, std::uint64_t b) noexcept {
  std::uint8_t bytes[16];
  for (int i = 0; i < 8; ++i) {
    bytes[i] = static_cast<std::uint8_t>(a >> (8 * i));
    bytes[8 + i] = static_cast<std::uint8_t>(b >> (8 * i));
  }
  return siphash13(bytes);
}

// The hash of the selected names: their count, then per name the integer 2,
// the name's bytes, a 0xFF terminator and the integer 0.
std::uint64_t names_hash(const std::vector<TestDescAndFn>& tests) {
  std::vector<std::uint8_t> stream;
  put_u64(stream, tests.size());
  for (const TestDescAndFn& test : tests) {
    put_u64(stream, 2);
    const std::string_view name = test.desc.name;
    stream.insert(stream.end(), name.begin(), name.end());
    stream.push_back(0xFF);
    put_u64(stream, 0);
  }
  return siphash13(stream);
}

}  // namespace

std::uint64_t siphash13(std::span<const std::uint8_t> bytes) noexcept {
  SipState s;
  const std::size_t len = bytes.size();
  const std::size_t whole = len - len % 8;
  for (std::size_t i = 0; i < whole; i += 8) s.compress(load_le(bytes.data() + i, 8));
  const std::uint64_t last =
      load_le(bytes.data() + whole, len - whole) | (static_cast<std::uint64_t>(len & 0xFF) << 56);
  s.compress(last);
  s.v2 ^= 0xFF;
  for (int i = 0; i < 3; ++i) s.round();  // three finalization rounds
  return s.v0 ^ s.v1 ^ s.v2 ^ s.v3;
}

std::optional<std::uint64_t> get_shuffle_seed(const TestOpts& opts) {
  if (opts.shuffle_seed) return opts.shuffle_seed;
  if (!opts.shuffle) return std::nullopt;
  timespec now{};
  if (clock_gettime(CLOCK_REALTIME, &now) != 0 || now.tv_sec < 0) fail("Failed to get system time");
  // Nanoseconds since 1970, modulo 2^64 (unsigned arithmetic wraps).
  return static_cast<std::uint64_t>(now.tv_sec) * 1'000'000'000ULL +
         static_cast<std::uint64_t>(now.tv_nsec);
}

void shuffle_tests(std::uint64_t seed, std::vector<TestDescAndFn>& tests) {
  const std::uint64_t extra = names_hash(tests);
  std::uint64_t state = seed;
  const std::size_t n = tests.size();
  for (std::size_t i = 0; i < n; ++i) {
    state = hash_pair(state, extra);
    const std::size_t j = i + static_cast<std::size_t>(state % (n - i));
    std::swap(tests[i], tests[j]);
  }
}

}  // namespace runner
