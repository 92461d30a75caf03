#include "benchmarks/synthetic_data.hpp"

#include <array>
#include <cmath>
#include <cstring>
#include <string>
#include <string_view>

namespace bench {

namespace {

constexpr std::array<std::string_view, 24> SYLLABLES{
    "ka", "ran", "tel", "mo", "shi", "vor", "ae",  "lun", "dra", "qua", "ith", "zen",
    "or", "bel", "ny",  "sk", "ath", "ul",  "ver", "ci",  "gon", "ea",  "pha", "tor"};

// A fixed vocabulary of pseudo-words, drawn with a skew so that a few words
// are frequent, as in natural text.
std::vector<std::string> make_vocabulary() {
  Prng prng(0x70CAB);
  std::vector<std::string> words;
  words.reserve(400);
  for (int i = 0; i < 400; ++i) {
    std::string word;
    const auto syllables = 1 + prng.below(4);
    for (std::uint64_t s = 0; s < syllables; ++s) word += SYLLABLES[prng.below(SYLLABLES.size())];
    if (prng.below(8) == 0) word[0] = static_cast<char>(word[0] - 'a' + 'A');
    words.push_back(std::move(word));
  }
  return words;
}

}  // namespace

std::vector<std::uint8_t> text_like(std::size_t size, std::uint64_t seed) {
  static const std::vector<std::string> vocabulary = make_vocabulary();
  Prng prng(seed);
  std::vector<std::uint8_t> out;
  out.reserve(size + 64);
  std::size_t line = 0;
  while (out.size() < size) {
    // Squaring a uniform value favours the low indexes: a Zipf-like skew.
    const double u = prng.unit();
    const auto index = static_cast<std::size_t>(u * u * static_cast<double>(vocabulary.size()));
    const std::string& word = vocabulary[index];
    out.insert(out.end(), word.begin(), word.end());
    line += word.size() + 1;
    if (line > 60 + prng.below(20)) {
      out.push_back('\n');
      line = 0;
    } else {
      out.push_back(prng.below(12) == 0 ? ',' : ' ');
    }
  }
  out.resize(size);
  return out;
}

std::vector<std::uint8_t> binary_like(std::size_t size, std::uint64_t seed) {
  Prng prng(seed);
  std::vector<std::uint8_t> out(size + 32);
  std::uint32_t id = 0x10000000U + static_cast<std::uint32_t>(prng.below(0x1000));
  float x = 0.0F;
  float y = 0.0F;
  for (std::size_t at = 0; at < size; at += 32) {
    // A 32-byte record: id, flags, two coordinates, a count, a random word
    // and eight bytes of zero padding.
    std::uint8_t record[32] = {};
    id += 1 + static_cast<std::uint32_t>(prng.below(3));
    const std::uint32_t flags = prng.below(4) == 0 ? 0x11U : 0x01U;
    x += static_cast<float>(prng.below(64)) * 0.25F;
    y -= static_cast<float>(prng.below(16)) * 0.5F;
    const auto count = static_cast<std::uint32_t>(prng.below(8));
    const auto noise = static_cast<std::uint32_t>(prng.next());
    std::memcpy(record + 0, &id, 4);
    std::memcpy(record + 4, &flags, 4);
    std::memcpy(record + 8, &x, 4);
    std::memcpy(record + 12, &y, 4);
    std::memcpy(record + 16, &count, 4);
    std::memcpy(record + 20, &noise, 4);
    std::memcpy(out.data() + at, record, sizeof record);
  }
  out.resize(size);
  return out;
}

std::vector<std::uint8_t> random_bytes(std::size_t size, std::uint64_t seed) {
  Prng prng(seed);
  std::vector<std::uint8_t> out(size);
  std::size_t at = 0;
  for (; at + 8 <= size; at += 8) {
    const std::uint64_t word = prng.next();
    std::memcpy(out.data() + at, &word, 8);
  }
  if (at < size) {
    const std::uint64_t word = prng.next();
    std::memcpy(out.data() + at, &word, size - at);
  }
  return out;
}

}  // namespace bench
