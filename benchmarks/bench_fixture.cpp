#include "benchmarks/bench_fixture.hpp"

#include <algorithm>
#include <cstdio>
#include <exception>

#include "benchmarks/synthetic_archive.hpp"

namespace bench {

namespace {

ArchiveFixture make_fixture() {
  ArchiveFixture fixture;
  try {
    fixture.path = synthetic_archive();
    fixture.plan = plan_node_reads(fixture.path);
  } catch (const std::exception& e) {
    fixture.error = e.what();
    return fixture;
  }
  auto opened = quorvane_dat::DatDatabase::new_(fixture.path);
  if (!opened) {
    fixture.error = "cannot open " + fixture.path.string();
    return fixture;
  }
  fixture.archive_length = opened->archive_length();
  std::vector<quorvane_dat::DatFileEntry> entries;
  entries.reserve(opened->files().size());
  for (const auto& [id, entry] : opened->files()) {
    entries.push_back(entry);
    fixture.stored_bytes += entry.size;
    if (entry.is_compressed()) ++fixture.compressed_files;
  }
  std::sort(entries.begin(), entries.end(),
            [](const auto& a, const auto& b) { return a.offset < b.offset; });
  for (const auto& entry : entries) fixture.ids_by_offset.push_back(entry.id);
  fixture.database.emplace(std::move(*opened));
  for (const std::uint32_t id : fixture.ids_by_offset) {
    auto bytes = fixture.database->get_file(id);
    if (!bytes) {
      fixture.error = "cannot fetch every file of " + fixture.path.string();
      return fixture;
    }
    fixture.fetched_bytes += bytes->size();
  }

  // The baseline must do the same work as the library: the same entries.
  const auto minimal = minimal_open(fixture.path, fixture.plan);
  if (minimal != fixture.database->files()) {
    fixture.error = "the minimal loop's index differs from the library's";
  }
  std::fprintf(stderr,
               "archive %s: %llu bytes, %zu files (%zu compressed), %llu stored bytes, "
               "%llu fetched bytes, %zu nodes, %zu blocks in %zu runs\n",
               fixture.path.filename().c_str(),
               static_cast<unsigned long long>(fixture.archive_length),
               fixture.ids_by_offset.size(), fixture.compressed_files,
               static_cast<unsigned long long>(fixture.stored_bytes),
               static_cast<unsigned long long>(fixture.fetched_bytes), fixture.plan.nodes.size(),
               fixture.plan.block_count, fixture.plan.run_count);
  return fixture;
}

}  // namespace

const ArchiveFixture& archive_fixture() {
  static const ArchiveFixture fixture = make_fixture();
  return fixture;
}

}  // namespace bench
