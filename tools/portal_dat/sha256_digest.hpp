// SHA-256 through libcrypto's EVP interface, for sum's content digests.
#pragma once

#include <openssl/evp.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "quorvane_dat/lib/batch_reader.hpp"

namespace portal_dat {

using Sha256Digest = std::array<std::uint8_t, 32>;

// The digest as 64 lower-case hexadecimal digits, as sha256sum writes it.
std::string to_hex(const Sha256Digest& digest);

// 64 hexadecimal digits of either case as a digest, or nullopt.
std::optional<Sha256Digest> parse_digest_hex(std::string_view text);

// One reusable hashing context, for one thread at a time; also the digest
// that read_batch computes on its workers (whose calls throw
// std::runtime_error with error() when libcrypto fails).
class Sha256Hasher final : public quorvane_dat::BatchDigest {
 public:
  // `algorithm` names the libcrypto digest; anything but "SHA256" is for
  // tests of the failure path. Check ok() before use.
  explicit Sha256Hasher(const char* algorithm = "SHA256");
  ~Sha256Hasher() override;
  Sha256Hasher(const Sha256Hasher&) = delete;
  Sha256Hasher& operator=(const Sha256Hasher&) = delete;

  // Whether the digest could be set up; error() says why not.
  bool ok() const noexcept { return md_ != nullptr && context_ != nullptr; }
  const std::string& error() const noexcept { return error_; }

  // The digest of `bytes`, or nullopt (with error() set) when libcrypto fails.
  std::optional<Sha256Digest> digest(std::span<const std::uint8_t> bytes);

  void begin(const quorvane_dat::DatFileEntry& entry) override;
  void update(std::span<const std::uint8_t> piece) override;
  std::size_t finish(std::span<std::uint8_t, MAX_SIZE> out) override;

 private:
  void set_error(std::string_view what);
  [[noreturn]] void fail(std::string_view what);

  EVP_MD* md_ = nullptr;
  EVP_MD_CTX* context_ = nullptr;
  std::string error_;
};

// For BatchOptions::make_digest: a hasher of `algorithm` (see Sha256Hasher);
// throws std::runtime_error when it cannot be set up.
std::function<std::unique_ptr<quorvane_dat::BatchDigest>()> sha256_digests(
    const char* algorithm = "SHA256");

// The SHA-256 that read_batch handed over in `file`; nullopt, with `error`
// saying why, when the file failed or has a digest of another length.
std::optional<Sha256Digest> batch_sha256(const quorvane_dat::BatchFile& file, std::string& error);

}  // namespace portal_dat
