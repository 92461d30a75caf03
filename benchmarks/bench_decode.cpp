// The decoder's output rate on text-like and binary-like bodies, beside a
// memcpy of the same output size.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "benchmarks/synthetic_data.hpp"
#include "dat_writer/lzss_encoder.hpp"
#include "quorvane_dat/utils/decompress_lrs.hpp"

namespace bench {

namespace {

enum class Kind { Text, Binary };

// Distinct bodies decoded in turn, so that the branch predictor cannot learn
// one token stream: about 2 MiB of output in all, whatever the body size.
struct Corpus {
  std::vector<std::vector<std::uint8_t>> plain;
  std::vector<std::vector<std::uint8_t>> compressed;
  std::size_t plain_bytes = 0;
  std::size_t compressed_bytes = 0;
};

constexpr std::size_t CORPUS_BYTES = 2 * 1024 * 1024;

const Corpus& corpus(Kind kind, std::size_t size) {
  static std::vector<std::pair<std::pair<int, std::size_t>, Corpus>> cache;
  const std::pair<int, std::size_t> key{static_cast<int>(kind), size};
  for (const auto& [k, c] : cache) {
    if (k == key) return c;
  }
  Corpus c;
  for (std::size_t i = 0; i < std::max<std::size_t>(CORPUS_BYTES / size, 1); ++i) {
    const std::uint64_t seed = 0xDEC0DE + i;
    c.plain.push_back(kind == Kind::Text ? text_like(size, seed) : binary_like(size, seed));
    c.compressed.push_back(dat_writer::compress_lrs(c.plain.back()));
    c.plain_bytes += c.plain.back().size();
    c.compressed_bytes += c.compressed.back().size();
  }
  cache.emplace_back(key, std::move(c));
  return cache.back().second;
}

void decode_library(benchmark::State& state, Kind kind) {
  const Corpus& c = corpus(kind, static_cast<std::size_t>(state.range(0)));
  for (std::size_t i = 0; i < c.plain.size(); ++i) {
    if (quorvane_dat::decompress_lrs(c.compressed[i]) != c.plain[i]) {
      state.SkipWithError("decoded bytes differ from the input of the encoder");
      return;
    }
  }
  for (auto _ : state) {
    for (const auto& body : c.compressed) {
      auto out = quorvane_dat::decompress_lrs(body);
      benchmark::DoNotOptimize(out.data());
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * c.plain_bytes));
  state.counters["bodies"] = static_cast<double>(c.plain.size());
  state.counters["ratio"] = static_cast<double>(c.compressed_bytes) / static_cast<double>(c.plain_bytes);
}

void decode_baseline(benchmark::State& state, Kind kind) {
  const Corpus& c = corpus(kind, static_cast<std::size_t>(state.range(0)));
  std::vector<std::uint8_t> out(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    for (const auto& body : c.plain) {
      std::memcpy(out.data(), body.data(), body.size());
      benchmark::ClobberMemory();
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * c.plain_bytes));
}

}  // namespace

BENCHMARK_CAPTURE(decode_library, text, Kind::Text)
    ->Name("decode/text/library")
    ->Arg(4096)
    ->Arg(256 * 1024);
BENCHMARK_CAPTURE(decode_baseline, text, Kind::Text)
    ->Name("decode/text/baseline")
    ->Arg(4096)
    ->Arg(256 * 1024);
BENCHMARK_CAPTURE(decode_library, binary, Kind::Binary)
    ->Name("decode/binary/library")
    ->Arg(4096)
    ->Arg(256 * 1024);
BENCHMARK_CAPTURE(decode_baseline, binary, Kind::Binary)
    ->Name("decode/binary/baseline")
    ->Arg(4096)
    ->Arg(256 * 1024);

}  // namespace bench
