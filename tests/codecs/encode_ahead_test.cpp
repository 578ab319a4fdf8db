// Files packed ahead on worker threads: the same chunks as one thread
// packs, whatever the number of workers, the budget or the order in which
// chunks complete; files never claimed are given up; a file that cannot be
// read fails its claimant cleanly, and a changed one is not handed out.
#include "runtime/codecs/parallel/encode_ahead.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <sstream>

#include "tests/support/memory_streams.h"
#include "tests/support/rebuild_harness.h"
#include "tests/support/sample_data.h"
#include "tests/support/archive_builder.h"
#include "tests/support/files.h"

namespace testing_support {
namespace {

using arjrt::AheadFile;
using arjrt::EncodeAhead;
using arjrt::PackedChunk;
using arjrt::PackedChunkSource;

struct Drained {
  ResultCode result = RESULT_OK;
  std::vector<PackedChunk> chunks;
  uint64_t unpacked = 0;
};

Drained Drain(PackedChunkSource& source) {
  Drained d;
  for (;;) {
    PackedChunk c;
    uint64_t n = 0;
    d.result = source.Next(&c, &n);
    if (Failed(d.result) || n == 0) return d;
    d.unpacked += n;
    d.chunks.push_back(std::move(c));
  }
}

void ExpectSameChunks(const Drained& got, const Drained& want, const std::string& label) {
  ASSERT_EQ(got.result, RESULT_OK) << label;
  ASSERT_EQ(got.chunks.size(), want.chunks.size()) << label;
  EXPECT_EQ(got.unpacked, want.unpacked) << label;
  for (size_t i = 0; i < got.chunks.size(); ++i) {
    EXPECT_EQ(got.chunks[i].bits, want.chunks[i].bits) << label << " chunk " << i;
    EXPECT_EQ(got.chunks[i].bytes, want.chunks[i].bytes) << label << " chunk " << i;
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

TEST(EncodeAhead, GivesTheChunksOneThreadPacksWhateverTheWorkersAndBudget) {
  Contents c;
  struct Case {
    unsigned workers;
    size_t budget;
  };
  // A budget of one byte still lets one chunk through at a time.
  const Case cases[] = {{1, arjrt::kEncodeAheadBudget}, {3, arjrt::kEncodeAheadBudget}, {4, 1}, {2, 3u << 20}};
  for (uint32_t method = 1; method <= 4; ++method) {
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
  Contents c;
  std::vector<AheadFile> files;
  for (const std::string& p : c.paths) files.push_back(Listed(p, 3));
  // One chunk at a time: the big file's later chunks wait for its claimant.
  EncodeAhead ahead(files, 2, 1);
  for (size_t i = 0; i < 2; ++i) EXPECT_EQ(Drain(*ahead.Claim(c.paths[i], 3, c.data[i].size())).result, RESULT_OK);
  auto big = ahead.Claim(c.paths[2], 3, c.data[2].size());
  ASSERT_NE(big, nullptr);
  ASSERT_EQ(::truncate(c.paths[2].c_str(), 1 << 20), 0);
  EXPECT_EQ(Drain(*big).result, ERR_CONTENT_SHRANK) << "chunks read after the change are refused";
  big.reset();
  auto last = ahead.Claim(c.paths[3], 3, c.data[3].size());
  ASSERT_NE(last, nullptr);
  EXPECT_EQ(Drain(*last).unpacked, c.data[3].size());
  EXPECT_EQ(ahead.Claim(c.paths[2], 3, c.data[2].size()), nullptr) << "claimed once";
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
