// Stream throughput for the access patterns of an archive scan: one byte at
// a time (names), little-endian words (header fields) and small blocks.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "runtime/api/internal/builtin_services.h"
#include "runtime/core/runtime.h"
#include "runtime/services/services.h"

namespace {

constexpr uint32_t kDataSize = 8 << 20;

// A stream that failed to set up or to move would measure something else.
void Require(ResultCode result) {
  if (!Failed(result)) return;
  std::fprintf(stderr, "stream_bench: a stream call failed (0x%08x)\n", static_cast<unsigned>(result));
  std::abort();
}

struct StreamOverMemory {
  StreamOverMemory() {
    Require(host::CreateObjectQuick(runtime.root(), &io, IID_BLOCK_IO, PID_MEMORY_IO));
    std::vector<uint8_t> data(kDataSize);
    for (uint32_t i = 0; i < kDataSize; ++i) data[i] = static_cast<uint8_t>(i * 131 + (i >> 9));
    Require(host::Io(io).SeekWrite(io, nullptr, 0, data.data(), kDataSize));
    Require(host::CreateObjectQuick(io, &stream, IID_STREAM, 0));
  }
  arjrt::Runtime runtime{arjrt::RegisterBuiltinServices};
  ObjectRef io = nullptr;
  ObjectRef stream = nullptr;
};

void BM_ReadByte(benchmark::State& state) {
  StreamOverMemory s;
  const StreamMethods& m = host::Stream(s.stream);
  for (auto _ : state) {
    Require(m.SetPosition(s.stream, 0, 0, 0));
    uint8_t byte = 0;
    uint32_t sum = 0;
    while (m.ReadByte(s.stream, &byte) == RESULT_OK) sum += byte;
    benchmark::DoNotOptimize(sum);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kDataSize);
}

void BM_ReadWord(benchmark::State& state) {
  StreamOverMemory s;
  const StreamMethods& m = host::Stream(s.stream);
  for (auto _ : state) {
    Require(m.SetPosition(s.stream, 0, 0, 0));
    uint16_t word = 0;
    uint32_t sum = 0;
    while (m.ReadWord(s.stream, &word) == RESULT_OK) sum += word;
    benchmark::DoNotOptimize(sum);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kDataSize);
}

void BM_ReadBlocks(benchmark::State& state) {
  StreamOverMemory s;
  const StreamMethods& m = host::Stream(s.stream);
  std::vector<uint8_t> block(static_cast<size_t>(state.range(0)));
  for (auto _ : state) {
    Require(m.SetPosition(s.stream, 0, 0, 0));
    uint32_t count = 0;
    while (m.Read(s.stream, &count, block.data(), static_cast<uint32_t>(block.size())) == RESULT_OK) {
    }
    benchmark::DoNotOptimize(block.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kDataSize);
}

void BM_WriteBlocks(benchmark::State& state) {
  StreamOverMemory s;
  const StreamMethods& m = host::Stream(s.stream);
  std::vector<uint8_t> block(static_cast<size_t>(state.range(0)), 0x5A);
  for (auto _ : state) {
    Require(m.SetPosition(s.stream, 0, 0, 0));
    for (uint32_t at = 0; at + block.size() <= kDataSize; at += static_cast<uint32_t>(block.size()))
      Require(m.Write(s.stream, nullptr, block.data(), static_cast<uint32_t>(block.size())));
    Require(m.Flush(s.stream));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kDataSize);
}

BENCHMARK(BM_ReadByte);
BENCHMARK(BM_ReadWord);
BENCHMARK(BM_ReadBlocks)->Arg(16)->Arg(4096)->Arg(1 << 20);
BENCHMARK(BM_WriteBlocks)->Arg(16)->Arg(4096)->Arg(1 << 20);

}  // namespace

BENCHMARK_MAIN();
