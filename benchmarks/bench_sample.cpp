// The archive work of one audit run, without the process around it: opening
// the sample archive that the main job audits and fetching its combat
// maneuver table. The start-up comparison times the whole executable; this
// says how much of that run the archive reader takes.
#include <benchmark/benchmark.h>

#include <exception>
#include <filesystem>
#include <string>

#include "benchmarks/synthetic_archive.hpp"
#include "quorvane_dat/file_type/combat_maneuver_table.hpp"
#include "quorvane_dat/lib/dat_database.hpp"
#include "tools/portal_dat_sample/sample_archive.hpp"

namespace bench {

namespace {

using quorvane_dat::COMBAT_MANEUVER_TABLE_ID;

// The default sample archive, written once into the data directory.
std::filesystem::path sample_archive(std::string& error) {
  const std::filesystem::path path = data_directory() / "sample-retail-r1.dat";
  std::error_code ec;
  if (std::filesystem::is_regular_file(path, ec)) return path;
  try {
    const auto partial = path.string() + ".partial";
    portal_dat_sample::write_sample_archive(partial, {});
    std::filesystem::rename(partial, path);
  } catch (const std::exception& e) {
    error = e.what();
  }
  return path;
}

void open_and_fetch_sample(benchmark::State& state) {
  std::string error;
  const auto path = sample_archive(error);
  if (!error.empty()) {
    state.SkipWithError(error.c_str());
    return;
  }
  std::size_t entries = 0;
  for (auto _ : state) {
    auto database = quorvane_dat::DatDatabase::new_(path);
    if (!database) {
      state.SkipWithError("opening the sample archive failed");
      return;
    }
    auto table = database->get_file(COMBAT_MANEUVER_TABLE_ID);
    if (!table) {
      state.SkipWithError("fetching the combat maneuver table failed");
      return;
    }
    entries = database->files().size();
    benchmark::DoNotOptimize(table->data());
  }
  state.counters["entries"] = static_cast<double>(entries);
}

}  // namespace

BENCHMARK(open_and_fetch_sample)->Name("sample/open_and_fetch")->Unit(benchmark::kMicrosecond);

}  // namespace bench
