// CRC-32 throughput: the table-driven routine against the bitwise
// definition, in MB/s; the ratio of the two is printed at the end.
#include <benchmark/benchmark.h>

#include <chrono>
#include <vector>

#include "plugin/format/crc32.h"

using arjhost::format::Crc32Update;

namespace {

uint32_t BitwiseCrc(size_t length, const uint8_t* p, uint32_t previous) {
  uint32_t r = ~previous;
  for (size_t i = 0; i < length; ++i) {
    r ^= p[i];
    for (int bit = 0; bit < 8; ++bit) r = (r >> 1) ^ (0xEDB88320u & (0u - (r & 1u)));
  }
  return ~r;
}

std::vector<uint8_t> Data(size_t n) {
  std::vector<uint8_t> d(n);
  for (size_t i = 0; i < n; ++i) d[i] = static_cast<uint8_t>(i * 131 + (i >> 9));
  return d;
}

void BM_Crc32Update(benchmark::State& state) {
  auto data = Data(static_cast<size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(Crc32Update(data.size(), data.data(), 0));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
}

void BM_Crc32Bitwise(benchmark::State& state) {
  auto data = Data(static_cast<size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(BitwiseCrc(data.size(), data.data(), 0));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
}

// Both forms over the same buffer in one run, reported as MB/s and ratio.
void BM_Crc32Ratio(benchmark::State& state) {
  auto data = Data(1 << 20);
  double fast = 0, slow = 0;
  for (auto _ : state) {
    auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < 20; ++i) benchmark::DoNotOptimize(Crc32Update(data.size(), data.data(), 0));
    auto t1 = std::chrono::steady_clock::now();
    benchmark::DoNotOptimize(BitwiseCrc(data.size(), data.data(), 0));
    auto t2 = std::chrono::steady_clock::now();
    fast += std::chrono::duration<double>(t1 - t0).count() / 20;
    slow += std::chrono::duration<double>(t2 - t1).count();
  }
  double mb = static_cast<double>(data.size()) * static_cast<double>(state.iterations()) / 1e6;
  state.counters["table_MB/s"] = mb / fast;
  state.counters["bitwise_MB/s"] = mb / slow;
  state.counters["ratio"] = slow / fast;
}

BENCHMARK(BM_Crc32Ratio)->Iterations(20);
BENCHMARK(BM_Crc32Update)->Arg(4096)->Arg(1 << 20);
BENCHMARK(BM_Crc32Bitwise)->Arg(4096)->Arg(1 << 20);

}  // namespace

BENCHMARK_MAIN();
