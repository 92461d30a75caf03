#include "runner/formatter_base.hpp"

namespace runner {

void DiscoveryCounts::add(const TestDesc& desc, std::string_view kind_word) {
  if (kind_word == "benchmark") {
    ++benchmarks;
  } else {
    ++tests;
  }
  if (desc.ignore) ++ignored;
}

}  // namespace runner
