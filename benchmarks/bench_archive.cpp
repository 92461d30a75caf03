// Opening and fetching over the synthetic archive, each beside its baseline:
// the minimal directory-loading loop, and one sequential read of the whole
// archive file from the page cache.
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "benchmarks/bench_fixture.hpp"
#include "benchmarks/bench_io.hpp"
#include "quorvane_dat/lib/batch_reader.hpp"

namespace bench {

namespace {

const ArchiveFixture* fixture_or_skip(benchmark::State& state) {
  const ArchiveFixture& fixture = archive_fixture();
  if (!fixture.error.empty()) {
    state.SkipWithError(fixture.error.c_str());
    return nullptr;
  }
  return &fixture;
}

void open_library(benchmark::State& state) {
  const ArchiveFixture* fixture = fixture_or_skip(state);
  if (fixture == nullptr) return;
  for (auto _ : state) {
    auto database = quorvane_dat::DatDatabase::new_(fixture->path);
    if (!database) {
      state.SkipWithError("opening failed");
      break;
    }
    benchmark::DoNotOptimize(database->files().size());
  }
  state.counters["nodes"] = static_cast<double>(fixture->plan.nodes.size());
  state.counters["entries"] = static_cast<double>(fixture->ids_by_offset.size());
}

void open_baseline(benchmark::State& state) {
  const ArchiveFixture* fixture = fixture_or_skip(state);
  if (fixture == nullptr) return;
  for (auto _ : state) {
    auto files = minimal_open(fixture->path, fixture->plan);
    if (files.size() != fixture->ids_by_offset.size()) {
      state.SkipWithError("minimal loop failed");
      break;
    }
    benchmark::DoNotOptimize(files.size());
  }
  state.counters["preads"] = static_cast<double>(fixture->plan.run_count + 1);
}

void fetch_all_library(benchmark::State& state) {
  const ArchiveFixture* fixture = fixture_or_skip(state);
  if (fixture == nullptr) return;
  for (auto _ : state) {
    for (const std::uint32_t id : fixture->ids_by_offset) {
      auto bytes = fixture->database->get_file(id);
      if (!bytes) {
        state.SkipWithError("get_file failed");
        return;
      }
      benchmark::DoNotOptimize(bytes->data());
    }
  }
  // The rate of what fetching delivers (decoded bytes); the rate of the
  // stored bytes gathered is kept beside it.
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * fixture->fetched_bytes));
  state.counters["stored_bytes_per_second"] = benchmark::Counter(
      static_cast<double>(state.iterations() * fixture->stored_bytes), benchmark::Counter::kIsRate);
  state.counters["files"] = static_cast<double>(fixture->ids_by_offset.size());
}

// The same chains without decoding: how much of fetching is gathering.
void fetch_all_stored(benchmark::State& state) {
  const ArchiveFixture* fixture = fixture_or_skip(state);
  if (fixture == nullptr) return;
  const auto& files = fixture->database->files();
  for (auto _ : state) {
    for (const std::uint32_t id : fixture->ids_by_offset) {
      const auto& entry = *files.find(id);
      auto bytes = fixture->database->read_file_data(entry.offset, entry.size);
      if (!bytes) {
        state.SkipWithError("read_file_data failed");
        return;
      }
      benchmark::DoNotOptimize(bytes->data());
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * fixture->stored_bytes));
}

void fetch_all_baseline(benchmark::State& state) {
  const ArchiveFixture* fixture = fixture_or_skip(state);
  if (fixture == nullptr) return;
  const Fd fd(fixture->path);
  // Filled once by an untimed read, so that neither page faults of the buffer
  // nor the first writes into its pages are counted (on some virtual machines
  // the first kernel write into a fresh page costs several microseconds).
  std::vector<std::uint8_t> buffer(fixture->archive_length, 1);
  if (!pread_all(fd.get(), buffer.data(), buffer.size(), 0)) {
    state.SkipWithError("cannot read the archive");
    return;
  }
  for (auto _ : state) {
    if (!pread_all(fd.get(), buffer.data(), buffer.size(), 0)) {
      state.SkipWithError("short sequential read");
      break;
    }
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * buffer.size()));
}

// The floor for any fetch that keeps nothing between calls: one positioned
// read per file of the blocks its chain would span if contiguous, into a
// buffer reused throughout, with no pointer checks, allocation or decoding.
void fetch_all_one_read_per_file(benchmark::State& state) {
  const ArchiveFixture* fixture = fixture_or_skip(state);
  if (fixture == nullptr) return;
  const Fd fd(fixture->path);
  const auto& files = fixture->database->files();
  const std::uint64_t block_size = fixture->database->header().block_size;
  const std::uint64_t payload = block_size - 4;
  std::vector<std::pair<std::uint64_t, std::size_t>> spans;
  std::size_t largest = 0;
  std::uint64_t raw_bytes = 0;
  for (const std::uint32_t id : fixture->ids_by_offset) {
    const auto& entry = *files.find(id);
    const std::uint64_t blocks = (std::uint64_t{entry.size} + payload - 1) / payload;
    const std::uint64_t end = std::min(fixture->archive_length, entry.offset + blocks * block_size);
    const auto length = static_cast<std::size_t>(end > entry.offset ? end - entry.offset : 0);
    spans.emplace_back(entry.offset, length);
    largest = std::max(largest, length);
    raw_bytes += length;
  }
  std::vector<std::uint8_t> buffer(largest, 1);
  for (const auto& [offset, length] : spans) {  // untimed, as for the sequential read
    if (!pread_all(fd.get(), buffer.data(), length, offset)) {
      state.SkipWithError("cannot read the archive");
      return;
    }
  }
  for (auto _ : state) {
    for (const auto& [offset, length] : spans) {
      if (::pread(fd.get(), buffer.data(), length, static_cast<off_t>(offset)) !=
          static_cast<ssize_t>(length)) {
        state.SkipWithError("short read");
        return;
      }
    }
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * fixture->stored_bytes));
  state.counters["raw_bytes"] = static_cast<double>(raw_bytes);
}

// Every file through read_batch, decoded, on 1 or 2 threads: the bytes
// delivered, against the same sequential read of the archive.
void batch_read_all(benchmark::State& state) {
  const ArchiveFixture* fixture = fixture_or_skip(state);
  if (fixture == nullptr) return;
  quorvane_dat::BatchOptions options;
  options.threads = static_cast<unsigned>(state.range(0));
  for (auto _ : state) {
    std::uint64_t delivered = 0;
    bool failed = false;
    auto done =
        quorvane_dat::read_batch(*fixture->database, options, [&](const quorvane_dat::BatchFile& file) {
          if (file.error != nullptr) failed = true;
          delivered += file.bytes.size();
          benchmark::DoNotOptimize(file.bytes.data());
          return true;
        });
    if (!done || failed || delivered != fixture->fetched_bytes) {
      state.SkipWithError("read_batch failed or delivered other bytes than get_file");
      return;
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * fixture->fetched_bytes));
  state.counters["files"] = static_cast<double>(fixture->ids_by_offset.size());
}

}  // namespace

BENCHMARK(batch_read_all)
    ->Name("batch_read/library")
    ->Arg(1)
    ->Arg(2)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(open_library)->Name("open/library")->Unit(benchmark::kMillisecond);
BENCHMARK(open_baseline)->Name("open/baseline")->Unit(benchmark::kMillisecond);
BENCHMARK(fetch_all_library)->Name("fetch_all/library")->Unit(benchmark::kMillisecond);
BENCHMARK(fetch_all_stored)->Name("fetch_all/stored_only")->Unit(benchmark::kMillisecond);
BENCHMARK(fetch_all_baseline)->Name("fetch_all/baseline")->Unit(benchmark::kMillisecond);
BENCHMARK(fetch_all_one_read_per_file)
    ->Name("fetch_all/one_read_per_file")
    ->Unit(benchmark::kMillisecond);

}  // namespace bench
