// Lookups in the built-in motion command name table: every id of the table,
// and as many ids that lie between rows or beyond them.
#include <benchmark/benchmark.h>

#include <vector>

#include "tests/common/motion_command_names.hpp"

namespace bench {

namespace {

namespace names = common::motion_command_names;

void lookup_hits(benchmark::State& state) {
  std::vector<std::uint32_t> ids;
  for (const auto& row : names::MOTION_COMMAND_NAMES) ids.push_back(row.id);
  for (auto _ : state) {
    for (const std::uint32_t id : ids) {
      auto name = names::motion_command_name(id);
      if (!name) {
        state.SkipWithError("a table id was not found");
        return;
      }
      benchmark::DoNotOptimize(name->data());
    }
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * ids.size()));
}

void lookup_misses(benchmark::State& state) {
  std::vector<std::uint32_t> ids;
  for (const auto& row : names::MOTION_COMMAND_NAMES) {
    // One past each row is never a row of its own where the next row is not
    // adjacent; such ids are skipped.
    if (!names::motion_command_name(row.id + 1)) ids.push_back(row.id + 1);
  }
  ids.push_back(0xFFFFFFFFU);
  for (auto _ : state) {
    for (const std::uint32_t id : ids) {
      auto name = names::motion_command_name(id);
      if (name) {
        state.SkipWithError("an id outside the table was found");
        return;
      }
      benchmark::DoNotOptimize(name);
    }
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * ids.size()));
}

}  // namespace

BENCHMARK(lookup_hits)->Name("motion_command_name/hit");
BENCHMARK(lookup_misses)->Name("motion_command_name/miss");

}  // namespace bench
