// Shuffling the selected checks with a SipHash-1-3 based permutation.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "runner/test_opts.hpp"
#include "runner/test_types.hpp"

namespace runner {

// SipHash-1-3 with both keys 0.
std::uint64_t siphash13(std::span<const std::uint8_t> bytes) noexcept;

// The seed to shuffle with: --shuffle-seed, else the seed variable (already
// folded into opts by parse_opts), else with --shuffle the wall clock; none
// when not shuffling.
std::optional<std::uint64_t> get_shuffle_seed(const TestOpts& opts);

void shuffle_tests(std::uint64_t seed, std::vector<TestDescAndFn>& tests);

}  // namespace runner
