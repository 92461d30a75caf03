// SHA-256 digests through EVP, and their hexadecimal form.
#include "tools/portal_dat/sha256_digest.hpp"

#include <openssl/err.h>

#include <algorithm>
#include <stdexcept>

namespace portal_dat {

std::string to_hex(const Sha256Digest& digest) {
  static constexpr char DIGITS[] = "0123456789abcdef";
  std::string text;
  text.reserve(digest.size() * 2);
  for (const std::uint8_t byte : digest) {
    text.push_back(DIGITS[byte >> 4]);
    text.push_back(DIGITS[byte & 0xF]);
  }
  return text;
}

std::optional<Sha256Digest> parse_digest_hex(std::string_view text) {
  if (text.size() != 64) return std::nullopt;
  const auto nibble = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  Sha256Digest digest{};
  for (std::size_t i = 0; i < digest.size(); ++i) {
    const int high = nibble(text[2 * i]);
    const int low = nibble(text[2 * i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    digest[i] = static_cast<std::uint8_t>(high << 4 | low);
  }
  return digest;
}

Sha256Hasher::Sha256Hasher(const char* algorithm) {
  // Fetched once, so that each file's digest does not look the algorithm up again.
  md_ = EVP_MD_fetch(nullptr, algorithm, nullptr);
  context_ = md_ != nullptr ? EVP_MD_CTX_new() : nullptr;
  if (!ok()) {
    set_error(md_ == nullptr ? std::string("no ") + algorithm + " digest in libcrypto"
                             : "cannot allocate a digest context");
  }
}

Sha256Hasher::~Sha256Hasher() {
  EVP_MD_CTX_free(context_);
  EVP_MD_free(md_);
}

void Sha256Hasher::set_error(std::string_view what) {
  error_ = what;
  const unsigned long code = ERR_get_error();
  if (code != 0) {
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    error_ += ": ";
    error_ += text;
  }
  ERR_clear_error();
}

void Sha256Hasher::fail(std::string_view what) {
  if (ok()) set_error(what);
  throw std::runtime_error(error_);
}

void Sha256Hasher::begin(const quorvane_dat::DatFileEntry&) {
  if (!ok() || EVP_DigestInit_ex(context_, md_, nullptr) != 1) fail("SHA-256 failed");
}

void Sha256Hasher::update(std::span<const std::uint8_t> piece) {
  if (EVP_DigestUpdate(context_, piece.data(), piece.size()) != 1) fail("SHA-256 failed");
}

std::size_t Sha256Hasher::finish(std::span<std::uint8_t, MAX_SIZE> out) {
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(context_, out.data(), &length) != 1 || length != Sha256Digest().size()) {
    fail("SHA-256 failed");
  }
  return length;
}

std::optional<Sha256Digest> Sha256Hasher::digest(std::span<const std::uint8_t> bytes) {
  std::array<std::uint8_t, MAX_SIZE> out{};
  try {
    begin({});
    update(bytes);
    finish(out);
  } catch (const std::runtime_error&) {
    return std::nullopt;
  }
  Sha256Digest digest{};
  std::copy_n(out.begin(), digest.size(), digest.begin());
  return digest;
}

std::function<std::unique_ptr<quorvane_dat::BatchDigest>()> sha256_digests(const char* algorithm) {
  return [algorithm]() -> std::unique_ptr<quorvane_dat::BatchDigest> {
    auto hasher = std::make_unique<Sha256Hasher>(algorithm);
    if (!hasher->ok()) throw std::runtime_error(hasher->error());
    return hasher;
  };
}

std::optional<Sha256Digest> batch_sha256(const quorvane_dat::BatchFile& file, std::string& error) {
  Sha256Digest digest{};
  if (file.error != nullptr || file.digest.size() != digest.size()) {
    error = file.error != nullptr
                ? file.error->plain()
                : "a digest of " + std::to_string(file.digest.size()) + " bytes, not SHA-256";
    return std::nullopt;
  }
  std::copy(file.digest.begin(), file.digest.end(), digest.begin());
  return digest;
}

}  // namespace portal_dat
