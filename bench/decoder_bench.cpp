// Decoding speed per ARJ method, in bytes of unpacked output per second,
// on about 8 MiB of assorted data that the installed arj packs at start-up,
// and on the entries of the archive named by ARJHOST_BENCH_ARCHIVE when
// it is set (the corpus of bench/run, say). Builds with the test helpers
// of tests/support.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <map>
#include <optional>

#include "runtime/codecs/decode/arj_decoder.h"
#include "tests/support/archive_parser.h"
#include "tests/support/files.h"
#include "tests/support/memory_streams.h"
#include "tests/support/peers.h"
#include "tests/support/sample_data.h"

namespace {

using namespace testing_support;

constexpr size_t kSampleSize = 8u << 20;

// The packed entry for `method`, made once; nothing if arj is missing or failed.
const std::optional<ParsedEntry>& PackedSample(int method) {
  static std::map<int, std::optional<ParsedEntry>> cache;
  auto found = cache.find(method);
  if (found != cache.end()) return found->second;
  std::optional<ParsedEntry> entry;
  if (ToolInstalled("arj")) {
    const std::vector<SampleFile> files = {{"mixed.bin", MixedSample(kSampleSize, 77)}};
    if (const auto image = ArchiveWithArj(files, method)) {
      if (const ParsedArchive parsed = ParseArchive(*image); parsed.ended && parsed.entries.size() == 1) {
        entry = parsed.entries.front();
      }
    }
  }
  return cache.emplace(method, std::move(entry)).first->second;
}

void BM_Decode(benchmark::State& state) {
  const int method = static_cast<int>(state.range(0));
  const auto& entry = PackedSample(method);
  if (!entry) {
    state.SkipWithError("arj is not installed or could not pack the sample");
    return;
  }
  for (auto _ : state) {
    MemorySource in(entry->packed);
    CountingSink out;
    uint64_t written = 0;
    const ResultCode r = arjrt::DecodeArjData(entry->method(), in, out, entry->original_size(), &written);
    if (r != RESULT_OK || written != entry->original_size()) {
      state.SkipWithError("decoding failed");
      return;
    }
    benchmark::DoNotOptimize(out.count);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * entry->original_size());
  state.counters["ratio"] = static_cast<double>(entry->packed.size()) / entry->original_size();
}
BENCHMARK(BM_Decode)->DenseRange(0, 4)->Unit(benchmark::kMillisecond);

// Every entry of ARJHOST_BENCH_ARCHIVE, decoded from memory.
void BM_DecodeArchive(benchmark::State& state) {
  const char* path = std::getenv("ARJHOST_BENCH_ARCHIVE");
  if (path == nullptr) {
    state.SkipWithError("ARJHOST_BENCH_ARCHIVE is not set");
    return;
  }
  static const ParsedArchive archive = ParseArchive(ReadFile(path));
  uint64_t bytes = 0;
  for (auto _ : state) {
    for (const ParsedEntry& entry : archive.entries) {
      MemorySource in(entry.packed);
      CountingSink out;
      uint64_t written = 0;
      const ResultCode r = arjrt::DecodeArjData(entry.method(), in, out, entry.original_size(), &written);
      if (r != RESULT_OK || written != entry.original_size()) {
        state.SkipWithError(("decoding failed: " + entry.name).c_str());
        return;
      }
      bytes += written;
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
}
BENCHMARK(BM_DecodeArchive)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
