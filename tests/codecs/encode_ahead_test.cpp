// Files packed ahead on worker threads: the same chunks as one thread
// packs, whatever the number of workers, the budget or the order in which
// chunks complete; files never claimed are given up; a file that cannot be
// read fails its claimant cleanly, and a changed one is not handed out.
// And the encoders' rule for new content: what is packed has the CRC the
// entry stores, taken from the content's first read, or the encoder fails.
#include "runtime/codecs/parallel/encode_ahead.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>
#include <sstream>

#include "runtime/codecs/encode/arj_encoder.h"
#include "tests/support/codec_bytes.h"
#include "tests/support/io_objects.h"
#include "tests/support/memory_streams.h"
#include "tests/support/rebuild_harness.h"
#include "tests/support/sample_data.h"
#include "tests/support/archive_builder.h"
#include "tests/support/files.h"
#include "tests/support/test_host.h"
#include "tests/support/sanitizers.h"

namespace testing_support {
namespace {

namespace fs = std::filesystem;
using arjrt::AheadFile;
using arjrt::EncodeAhead;
using arjrt::PackedChunk;
using arjrt::PackedChunkSource;

struct Drained {
  ResultCode result = RESULT_OK;
  std::vector<PackedChunk> chunks;
  std::vector<uint64_t> sizes;  // the input bytes of each chunk
  uint64_t unpacked = 0;
};

Drained Drain(PackedChunkSource& source, Drained d = {}) {
  for (;;) {
    PackedChunk c;
    uint64_t n = 0;
    d.result = source.Next(&c, &n);
    if (Failed(d.result) || n == 0) return d;
    d.unpacked += n;
    d.sizes.push_back(n);
    d.chunks.push_back(std::move(c));
  }
}

// Drained chunks handed out again, to be joined.
class Replay : public PackedChunkSource {
 public:
  explicit Replay(const Drained& d) : d_(d) {}
  ResultCode Next(PackedChunk* chunk, uint64_t* unpacked) override {
    *unpacked = 0;
    if (next_ == d_.chunks.size()) return RESULT_OK;
    *chunk = d_.chunks[next_];
    *unpacked = d_.sizes[next_++];
    return RESULT_OK;
  }

 private:
  const Drained& d_;
  size_t next_ = 0;
};

void ExpectSameChunks(const Drained& got, const Drained& want, const std::string& label) {
  ASSERT_EQ(got.result, RESULT_OK) << label;
  ASSERT_EQ(got.chunks.size(), want.chunks.size()) << label;
  EXPECT_EQ(got.unpacked, want.unpacked) << label;
  for (size_t i = 0; i < got.chunks.size(); ++i) {
    EXPECT_EQ(got.chunks[i].bits, want.chunks[i].bits) << label << " chunk " << i;
    EXPECT_EQ(got.chunks[i].bytes, want.chunks[i].bytes) << label << " chunk " << i;
    EXPECT_EQ(got.chunks[i].crc, want.chunks[i].crc) << label << " chunk " << i;
  }
}

AheadFile Listed(const std::string& path, uint32_t method) {
  AheadFile f;
  EXPECT_TRUE(arjrt::ListAheadFile({path}, method, &f)) << path;
  return f;
}

struct Contents {
  TempDir dir;
  std::vector<std::string> paths;
  std::vector<Bytes> data;
  Contents() {
    // Empty, small, across chunk bounds, incompressible.
    const size_t sizes[] = {0, 5000, (5u << 20) / 2, 300000};
    for (size_t i = 0; i < std::size(sizes); ++i) {
      paths.push_back(dir.File("f" + std::to_string(i)));
      data.push_back(i == 3 ? RandomSample(sizes[i], 7) : MixedSample(sizes[i], static_cast<uint32_t>(i)));
      WriteFile(paths.back(), data.back());
    }
  }
};

// The methods the workers' tests pack with. Under the sanitizers one of
// each encoder, the LZH one and method 4's: methods 2 and 3 are method 1's
// encoder searching less hard, and the plain build runs all four.
std::vector<uint32_t> WorkerTestMethods() {
  return kUnderSanitizers ? std::vector<uint32_t>{1, 4} : std::vector<uint32_t>{1, 2, 3, 4};
}

TEST(EncodeAhead, GivesTheChunksOneThreadPacksWhateverTheWorkersAndBudget) {
  Contents c;
  struct Case {
    unsigned workers;
    size_t budget;
  };
  // A budget of one byte still lets one chunk through at a time.
  const Case cases[] = {{1, arjrt::kEncodeAheadBudget}, {3, arjrt::kEncodeAheadBudget}, {4, 1}, {2, 3u << 20}};
  for (const uint32_t method : WorkerTestMethods()) {
    std::vector<Drained> inline_chunks;
    for (const Bytes& d : c.data) {
      MemorySource source(d);
      arjrt::InlineChunks chunks(method, source);
      inline_chunks.push_back(Drain(chunks));
    }
    for (const Case& k : cases) {
      std::vector<AheadFile> files;
      for (const std::string& p : c.paths) files.push_back(Listed(p, method));
      EncodeAhead ahead(files, k.workers, k.budget);
      for (size_t i = 0; i < c.paths.size(); ++i) {
        std::ostringstream label;
        label << "method " << method << ", " << k.workers << " workers, budget " << k.budget << ", file " << i;
        auto claimed = ahead.Claim(c.paths[i], method, c.data[i].size());
        ASSERT_NE(claimed, nullptr) << label.str();
        ExpectSameChunks(Drain(*claimed), inline_chunks[i], label.str());
      }
      if (k.budget >= (3u << 20)) {
        EXPECT_LE(ahead.peak_held(), k.budget);
      }
    }
  }
}

TEST(EncodeAhead, ClaimsInOrderGivingUpWhatWasSkippedOrDoesNotFit) {
  Contents c;
  std::vector<AheadFile> files;
  for (const std::string& p : c.paths) files.push_back(Listed(p, 2));
  EncodeAhead ahead(files, 2, arjrt::kEncodeAheadBudget);
  EXPECT_EQ(ahead.Claim(c.dir.File("elsewhere"), 2, 10), nullptr) << "a file not listed";
  // The second file is claimed first: the first is given up, and the list
  // goes on after the second.
  auto second = ahead.Claim(c.paths[1], 2, c.data[1].size());
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(Drain(*second).unpacked, c.data[1].size());
  EXPECT_EQ(ahead.Claim(c.paths[0], 2, 0), nullptr) << "given up";
  EXPECT_EQ(ahead.Claim(c.paths[2], 3, c.data[2].size()), nullptr) << "another method";
  EXPECT_EQ(ahead.Claim(c.paths[3], 2, c.data[3].size() + 1), nullptr) << "another size";
}

TEST(EncodeAhead, AFileChangedUnderTheWorkersFailsItsClaimantAndTheRestGoOn) {
  struct Case {
    const char* what;
    std::function<void(const std::string& path)> change;
    ResultCode expected;
  };
  const Case cases[] = {
      {"cut short", [](const std::string& path) { ASSERT_EQ(::truncate(path.c_str(), 1 << 20), 0); },
       ERR_CONTENT_SHRANK},
      // Each put in place at once (renamed over it), as the workers go on.
      {"a FIFO put in its place (never waited for)",
       [](const std::string& path) {
         ASSERT_EQ(::mkfifo((path + ".fifo").c_str(), 0600), 0);
         fs::rename(path + ".fifo", path);
       },
       ERR_CONTENT_REPLACED},
      {"a link to another file put in its place",
       [](const std::string& path) {
         fs::copy_file(path, path + ".copy");
         fs::create_symlink(path + ".copy", path + ".link");
         fs::rename(path + ".link", path);
       },
       ERR_CONTENT_REPLACED},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    Contents c;
    std::vector<AheadFile> files;
    for (const std::string& p : c.paths) files.push_back(Listed(p, 3));
    // One chunk at a time: the big file's later chunks wait for its claimant.
    EncodeAhead ahead(files, 2, 1);
    for (size_t i = 0; i < 2; ++i) EXPECT_EQ(Drain(*ahead.Claim(c.paths[i], 3, c.data[i].size())).result, RESULT_OK);
    auto big = ahead.Claim(c.paths[2], 3, c.data[2].size());
    ASSERT_NE(big, nullptr);
    k.change(c.paths[2]);
    EXPECT_EQ(Drain(*big).result, k.expected) << "chunks read after the change are refused";
    big.reset();
    auto last = ahead.Claim(c.paths[3], 3, c.data[3].size());
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(Drain(*last).unpacked, c.data[3].size());
    EXPECT_EQ(ahead.Claim(c.paths[2], 3, c.data[2].size()), nullptr) << "claimed once";
  }
}

// Each byte is read once: a chunk's history is handed over by the worker
// that read it, so that however the file changes while the workers read it,
// the joined chunks unpack to bytes whose CRC is that of the chunks.
TEST(EncodeAhead, ChunksChangedUnderTheWorkersStillUnpackToTheBytesTheirCrcCovers) {
  for (const uint32_t method : WorkerTestMethods()) {
    SCOPED_TRACE("method " + std::to_string(method));
    TempDir dir;
    const std::string path = dir.File("f");
    Bytes data = MixedSample((9u << 20) / 4, method);
    WriteFile(path, data);
    EncodeAhead ahead({Listed(path, method)}, 1, 1);
    auto claimed = ahead.Claim(path, method, data.size());
    ASSERT_NE(claimed, nullptr);
    Drained d;
    PackedChunk first;
    uint64_t n = 0;
    ASSERT_EQ(claimed->Next(&first, &n), RESULT_OK);
    d.chunks.push_back(std::move(first));
    d.sizes.push_back(n);
    // The first chunk's tail, the second's history, changes once it was read.
    for (size_t i = arjrt::kChunkBytes - arjrt::kChunkHistory; i < data.size(); ++i) data[i] ^= 0x5A;
    const int fd = ::open(path.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::pwrite(fd, data.data(), data.size(), 0), static_cast<ssize_t>(data.size()));
    ::close(fd);
    d = Drain(*claimed, std::move(d));
    ASSERT_EQ(d.result, RESULT_OK);
    Replay replay(d);
    MemorySink packed;
    uint32_t crc = 0;
    ASSERT_EQ(arjrt::JoinChunks(replay, packed, UINT64_MAX, nullptr, nullptr, nullptr, &crc), RESULT_OK);
    const DecodeOutcome unpacked = DecodeBytes(method, packed.bytes, data.size());
    ASSERT_EQ(unpacked.result, RESULT_OK);
    EXPECT_EQ(Crc32Of(unpacked.bytes), crc);
  }
}

// The entry's CRC comes from the content's first read (the plug-in's pass
// before it packs); the bytes packed come from a second read or from the
// workers. Content changed in between fails the encoder, whichever way it
// packs (stored after all when packing does not help); unchanged it passes.
TEST(EncodeAhead, ContentChangedBetweenItsCrcAndItsPackingFailsTheEncoder) {
  const Bytes samples[] = {MixedSample((3u << 20) / 2, 9), RandomSample(300000, 4)};
  std::vector<uint32_t> methods = WorkerTestMethods();
  methods.insert(methods.begin(), 0);
  for (const uint32_t method : methods) {
    for (bool ahead : {false, true}) {
      for (const Bytes& data : samples) {
        for (bool change : {false, true}) {
          if (ahead && method == 0) continue;  // stored content is never packed ahead
          SCOPED_TRACE("method " + std::to_string(method) + (ahead ? ", ahead" : ", inline") + ", " +
                       std::to_string(data.size()) + " bytes" + (change ? ", changed" : ""));
          TestHost host;
          TempDir dir;
          const std::string path = dir.File("content");
          ObjectRef content = FileContent(host.root(), path, data);
          ObjectRef input = nullptr;
          ASSERT_EQ(host::CreateObjectQuick(content, &input, IID_STREAM, PID_DEFAULT), RESULT_OK);
          Bytes chunk(4096);
          for (uint32_t got = 1; got != 0;) {
            got = 0;
            IgnoreResult(host::Stream(input).Read(input, &got, chunk.data(), 4096));  // the end is a short read
          }
          ASSERT_EQ(host::Stream(input).SetPosition(input, 0, 0, 0), RESULT_OK);
          if (change) {
            Bytes changed = data;
            changed[changed.size() / 2] ^= 1;
            WriteFile(path, changed);  // the same file, rewritten
          }
          std::optional<EncodeAhead> workers;
          if (ahead) {
            workers.emplace(std::vector<AheadFile>{Listed(path, method)}, 2, arjrt::kEncodeAheadBudget);
            host.runtime().set_encode_ahead(&*workers);
          }
          ObjectRef sink = MakeMemoryIo(host.root()), output = nullptr, encoder = nullptr;
          ASSERT_EQ(host::CreateObjectQuick(sink, &output, IID_STREAM, PID_DEFAULT), RESULT_OK);
          ASSERT_EQ(host::CreateObject(host.root(), &encoder, IID_CODEC, method ? PID_ARJ_ENCODER : PID_STORE_ENCODER),
                    RESULT_OK);
          EXPECT_EQ(host::SetPropObject(encoder, PROP_CODEC_OUTPUT, output), RESULT_OK);
          EXPECT_EQ(host::SetPropObject(encoder, PROP_CODEC_INPUT, input), RESULT_OK);
          EXPECT_EQ(host::SetPropDWord(encoder, PROP_CODEC_METHOD, method), RESULT_OK);
          ASSERT_EQ(host::CreateObjectDone(encoder), RESULT_OK);
          EXPECT_EQ(host::SetPropQWord(encoder, PROP_CODEC_UNPACKED_SIZE, data.size()), RESULT_OK);
          uint64_t packed = 0;
          EXPECT_EQ(host::Codec(encoder).Process(encoder, &packed), change ? ERR_CONTENT_CHANGED : RESULT_OK);
          host.runtime().set_encode_ahead(nullptr);
          for (ObjectRef o : {encoder, output, sink, input, content}) host::CloseIfOpen(o);
        }
      }
    }
  }
}

TEST(EncodeAhead, ListsNoFileThatCannotBePackedAheadAndHandsOutNoChangedFile) {
  Contents c;
  AheadFile f;
  EXPECT_FALSE(arjrt::ListAheadFile({c.dir.File("missing")}, 1, &f));
  EXPECT_FALSE(arjrt::ListAheadFile({c.dir.path()}, 1, &f)) << "a folder";
  EXPECT_FALSE(arjrt::ListAheadFile({c.paths[1]}, 0, &f)) << "stored content needs no packing";
  EXPECT_FALSE(arjrt::ListAheadFile({c.paths[1]}, 5, &f));
  EncodeAhead ahead({Listed(c.paths[1], 1)}, 1, arjrt::kEncodeAheadBudget);
  Bytes changed = c.data[1];
  changed[0] ^= 1;
  WriteFile(c.paths[1], changed);  // same size, a new time
  const timespec later[2] = {{0, UTIME_OMIT}, {2000000000, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, c.paths[1].c_str(), later, 0), 0);
  EXPECT_EQ(ahead.Claim(c.paths[1], 1, changed.size()), nullptr);
}

}  // namespace
}  // namespace testing_support
