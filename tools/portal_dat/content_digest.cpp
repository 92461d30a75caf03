// XXH3-128 under a random secret, fed piece by piece on read_batch's
// workers. Most files come in one piece no larger than a block, so the first
// bytes of a file are gathered and hashed in one call at its end; only a file
// that outgrows them goes through the streaming state.
#include "tools/portal_dat/content_digest.hpp"

#include <sys/random.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include <xxhash.h>
#if defined(__x86_64__)
// The library's entry points that pick the widest vector unit at run time.
#include <xxh_x86dispatch.h>
#endif

namespace portal_dat {

std::optional<ContentSecret> random_secret(std::string& error, const RandomSource& source) {
  ContentSecret secret;
  std::size_t filled = 0;
  while (filled < secret.bytes.size()) {
    void* at = secret.bytes.data() + filled;
    const std::size_t wanted = secret.bytes.size() - filled;
    const long got = source ? source(at, wanted) : static_cast<long>(getrandom(at, wanted, 0));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      error = "cannot draw a random secret: " +
              (got < 0 ? std::string(std::strerror(errno)) : std::string("no bytes"));
      return std::nullopt;
    }
    filled += static_cast<std::size_t>(got);
  }
  return secret;
}

namespace {

ContentHash to_bytes(XXH128_hash_t hash) {
  XXH128_canonical_t canonical;
  XXH128_canonicalFromHash(&canonical, hash);
  ContentHash bytes;
  std::memcpy(bytes.data(), canonical.digest, bytes.size());
  return bytes;
}

// Bytes gathered before a file goes through the streaming state.
constexpr std::size_t GATHERED = 4096;

}  // namespace

ContentHash content_hash(const ContentSecret& secret, std::span<const std::uint8_t> bytes) {
  return to_bytes(
      XXH3_128bits_withSecret(bytes.data(), bytes.size(), secret.bytes.data(), secret.bytes.size()));
}

struct ContentDigest::State {
  struct FreeStream {
    void operator()(XXH3_state_t* stream) const noexcept { XXH3_freeState(stream); }
  };
  std::unique_ptr<XXH3_state_t, FreeStream> stream{XXH3_createState()};
  bool streaming = false;
  std::size_t gathered = 0;
  alignas(64) std::uint8_t head[GATHERED];
};

ContentDigest::ContentDigest(const ContentSecret& secret) : secret_(secret), state_(new State) {
  if (!state_->stream) throw std::bad_alloc();
}

ContentDigest::~ContentDigest() = default;

void ContentDigest::begin(const quorvane_dat::DatFileEntry&) {
  state_->streaming = false;
  state_->gathered = 0;
}

void ContentDigest::update(std::span<const std::uint8_t> piece) {
  State& state = *state_;
  if (!state.streaming) {
    if (piece.size() <= GATHERED - state.gathered) {
      std::memcpy(state.head + state.gathered, piece.data(), piece.size());
      state.gathered += piece.size();
      return;
    }
    XXH3_128bits_reset_withSecret(state.stream.get(), secret_.bytes.data(), secret_.bytes.size());
    XXH3_128bits_update(state.stream.get(), state.head, state.gathered);
    state.streaming = true;
  }
  XXH3_128bits_update(state.stream.get(), piece.data(), piece.size());
}

std::size_t ContentDigest::finish(std::span<std::uint8_t, MAX_SIZE> out) {
  const State& state = *state_;
  const ContentHash hash = state.streaming ? to_bytes(XXH3_128bits_digest(state.stream.get()))
                                           : content_hash(secret_, {state.head, state.gathered});
  std::copy(hash.begin(), hash.end(), out.begin());
  return hash.size();
}

std::function<std::unique_ptr<quorvane_dat::BatchDigest>()> content_digests(
    const ContentSecret& secret) {
  // The library picks its vector unit on first use: here, on the calling
  // thread, rather than racing on the workers.
  content_hash(secret, {});
  return [&secret]() -> std::unique_ptr<quorvane_dat::BatchDigest> {
    return std::make_unique<ContentDigest>(secret);
  };
}

}  // namespace portal_dat
