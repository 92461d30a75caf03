// The Corruption error with a printf-style text, for the readers of the
// archive's structures (block chains, the directory walk, file fetch).
#pragma once

#include <cstdint>

#include "quorvane_dat/error/dat_error.hpp"

namespace quorvane_dat::detail {

// A Corruption error whose text is `format` filled in (at most 255 bytes).
__attribute__((format(printf, 1, 2))) DatError corruption(const char* format, ...);

// The refusal of a file whose stored size is larger than the whole archive,
// given before anything is allocated for it.
DatError file_larger_than_archive(std::uint32_t id, std::uint32_t size, std::uint64_t archive_length);

// The same refusal for a chain read by offset, without an entry.
DatError chain_larger_than_archive(std::uint32_t offset, std::uint32_t size,
                                   std::uint64_t archive_length);

// The argument type of %llu and %llX.
constexpr unsigned long long ull(std::uint64_t v) noexcept { return static_cast<unsigned long long>(v); }

}  // namespace quorvane_dat::detail
