// SHA-256 through libcrypto's EVP interface, for the content digests of sum
// and diff.
#pragma once

#include <openssl/evp.h>

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "quorvane_dat/lib/file_stream.hpp"

namespace portal_dat {

using Sha256Digest = std::array<std::uint8_t, 32>;

// The digest as 64 lower-case hexadecimal digits, as sha256sum writes it.
std::string to_hex(const Sha256Digest& digest);

// 64 hexadecimal digits of either case as a digest, or nullopt.
std::optional<Sha256Digest> parse_digest_hex(std::string_view text);

// One reusable hashing context; one per thread that hashes.
class Sha256Hasher {
 public:
  // `algorithm` names the libcrypto digest; anything but "SHA256" is for
  // tests of the failure path. Check ok() before use.
  explicit Sha256Hasher(const char* algorithm = "SHA256");
  ~Sha256Hasher();
  Sha256Hasher(const Sha256Hasher&) = delete;
  Sha256Hasher& operator=(const Sha256Hasher&) = delete;

  // Whether the digest could be set up; error() says why not.
  bool ok() const noexcept { return md_ != nullptr && context_ != nullptr; }
  const std::string& error() const noexcept { return error_; }

  // The digest of `bytes`, or nullopt (with error() set) when libcrypto fails.
  std::optional<Sha256Digest> digest(std::span<const std::uint8_t> bytes);

  // The digest of a file read piece by piece from its stream, its decoded
  // size in `size`; nullopt with error() set when the stream or libcrypto
  // fails.
  std::optional<Sha256Digest> digest(quorvane_dat::FileStream& stream, std::uint64_t& size);

 private:
  void fail(std::string_view what);

  EVP_MD* md_ = nullptr;
  EVP_MD_CTX* context_ = nullptr;
  std::string error_;
};

}  // namespace portal_dat
