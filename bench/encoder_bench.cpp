// Encode speed and compression per method on 8 MiB of generated mixed data
// (text-like, binary-like and random pieces).
#include <benchmark/benchmark.h>

#include <vector>

#include "runtime/codecs/encode/arj_encoder.h"
#include "tests/support/memory_streams.h"
#include "tests/support/sample_data.h"

namespace {

using namespace testing_support;

const std::vector<uint8_t>& BenchData() {
  static const std::vector<uint8_t> data = MixedData(8u << 20, 2024);
  return data;
}

void BM_Encode(benchmark::State& state) {
  const uint32_t method = static_cast<uint32_t>(state.range(0));
  const auto& data = BenchData();
  uint64_t packed = 0;
  for (auto _ : state) {
    MemorySource source(data);
    CountingSink sink;
    uint64_t written = 0;
    if (arjrt::EncodeArjData(method, source, sink, &written, nullptr) != RESULT_OK) {
      state.SkipWithError("encoding failed");
      return;
    }
    packed = written;
    benchmark::DoNotOptimize(packed);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
  state.counters["packed"] = static_cast<double>(packed);
  state.counters["ratio"] = static_cast<double>(packed) / static_cast<double>(data.size());
}

BENCHMARK(BM_Encode)->ArgName("method")->DenseRange(0, 4)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
