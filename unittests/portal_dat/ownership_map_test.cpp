// The ownership map alone: a looping chain is one finding and costs its
// distinct runs, however the reader lists the loop's blocks.
#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "tools/portal_dat/ownership_map.hpp"

namespace {

using portal_dat::OwnershipMap;
using portal_dat::Subject;

TEST(OwnershipMap, ReportsALoopOnceWhicheverWayTheReaderListsIt) {
  // block_size 16 (12 bytes of payload); 100 bytes over b0 -> b1 -> b2 -> b1 ...
  const struct {
    const char* form;
    std::vector<std::uint32_t> blocks;
    std::optional<std::uint32_t> next;  // the last listed block's pointer
  } cases[] = {
      {"the blocks end before the revisited one", {0x200, 0x210, 0x220}, 0x210},
      {"the blocks end with the revisited one", {0x200, 0x210, 0x220, 0x210}, std::nullopt},
      {"every block read, repeats included",
       {0x200, 0x210, 0x220, 0x210, 0x220, 0x210, 0x220, 0x210, 0x220},
       std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.form);
    OwnershipMap map(16);
    const auto repeat =
        map.add_chain(Subject::file(1), c.blocks, 100, [&](std::uint32_t) { return c.next; });
    EXPECT_EQ(repeat, std::optional<std::uint64_t>(0x210));
    EXPECT_EQ(map.run_count(), 1U);  // [0x200, 0x230): three contiguous blocks
    // A neighbour right after the loop's bytes shares none of them.
    const std::vector<std::uint32_t> next_door{0x230};
    EXPECT_EQ(map.add_chain(Subject::file(2), next_door, 12, [](std::uint32_t) { return std::nullopt; }),
              std::nullopt);
    int reports = 0;
    map.check([&](const OwnershipMap::Overlap&) { ++reports; });
    EXPECT_EQ(reports, 0);
  }
}

}  // namespace
