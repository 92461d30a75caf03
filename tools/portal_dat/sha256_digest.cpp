// SHA-256 digests through EVP, and their hexadecimal form.
#include "tools/portal_dat/sha256_digest.hpp"

#include <openssl/err.h>

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
  if (md_ == nullptr) {
    fail(std::string("no ") + algorithm + " digest in libcrypto");
    return;
  }
  context_ = EVP_MD_CTX_new();
  if (context_ == nullptr) fail("cannot allocate a digest context");
}

Sha256Hasher::~Sha256Hasher() {
  EVP_MD_CTX_free(context_);
  EVP_MD_free(md_);
}

void Sha256Hasher::fail(std::string_view what) {
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

std::optional<Sha256Digest> Sha256Hasher::digest(std::span<const std::uint8_t> bytes) {
  Sha256Digest digest{};
  unsigned int length = 0;
  if (!ok() || EVP_DigestInit_ex(context_, md_, nullptr) != 1 ||
      EVP_DigestUpdate(context_, bytes.data(), bytes.size()) != 1 ||
      EVP_DigestFinal_ex(context_, digest.data(), &length) != 1 || length != digest.size()) {
    if (ok()) fail("SHA-256 failed");
    return std::nullopt;
  }
  return digest;
}

std::optional<Sha256Digest> Sha256Hasher::digest(quorvane_dat::FileStream& stream, std::uint64_t& size) {
  size = 0;
  if (!ok() || EVP_DigestInit_ex(context_, md_, nullptr) != 1) {
    if (ok()) fail("SHA-256 failed");
    return std::nullopt;
  }
  for (;;) {
    auto piece = stream.next();
    if (!piece) {
      error_ = piece.error().plain();
      return std::nullopt;
    }
    if (piece->empty()) break;
    size += piece->size();
    if (EVP_DigestUpdate(context_, piece->data(), piece->size()) != 1) {
      fail("SHA-256 failed");
      return std::nullopt;
    }
  }
  Sha256Digest digest{};
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(context_, digest.data(), &length) != 1 || length != digest.size()) {
    fail("SHA-256 failed");
    return std::nullopt;
  }
  return digest;
}

}  // namespace portal_dat
