// The digest diff compares entries by: XXH3's 128-bit hash of the decoded
// bytes under a secret drawn at random for each comparison. Both sides of a
// comparison use one secret, so equal contents give equal digests; as the
// secret is unknown to whoever made the archives, contents cannot be shaped
// to collide. It runs at memory speed, where a cryptographic digest would
// cost several times the reading itself.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "quorvane_dat/lib/batch_reader.hpp"

namespace portal_dat {

using ContentHash = std::array<std::uint8_t, 16>;

// The secret of one comparison.
struct ContentSecret {
  std::array<std::uint8_t, 192> bytes{};
};

// A secret from the system's random source, or nullopt with `error` set.
// `source` fills a buffer as getrandom(2) does; it is a seam for tests.
using RandomSource = std::function<long(void* buffer, std::size_t length)>;
std::optional<ContentSecret> random_secret(std::string& error, const RandomSource& source = {});

// The hash of `bytes`, in one call.
ContentHash content_hash(const ContentSecret& secret, std::span<const std::uint8_t> bytes);

// One hasher per read_batch worker; the file's digest is its ContentHash.
class ContentDigest final : public quorvane_dat::BatchDigest {
 public:
  // Throws std::bad_alloc when its state cannot be had.
  explicit ContentDigest(const ContentSecret& secret);
  ~ContentDigest() override;
  ContentDigest(const ContentDigest&) = delete;
  ContentDigest& operator=(const ContentDigest&) = delete;

  void begin(const quorvane_dat::DatFileEntry& entry) override;
  void update(std::span<const std::uint8_t> piece) override;
  std::size_t finish(std::span<std::uint8_t, MAX_SIZE> out) override;

 private:
  struct State;
  const ContentSecret& secret_;
  std::unique_ptr<State> state_;
};

// The factory for BatchOptions::make_digest; `secret` outlives the batch.
std::function<std::unique_ptr<quorvane_dat::BatchDigest>()> content_digests(const ContentSecret& secret);

}  // namespace portal_dat
