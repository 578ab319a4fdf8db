// The bounds an embedder sets: each one refuses with a message that names
// it, leaves nothing behind, and lets through what stays within it.
#include <gtest/gtest.h>

#include <cstdlib>

#include "runtime/api/archive.h"
#include "runtime/api/internal/host_state.h"
#include "runtime/core/runtime.h"
#include "tests/support/api_status.h"
#include "tests/support/archive_builder.h"
#include "tests/support/bytes.h"
#include "tests/support/files.h"

namespace testing_support {
namespace {

class Limited : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(IsOk(host_.LoadPlugin(BuildPath("libarj_plugin.so"))));
  }
  void Limit(void (*set)(arjhost::Limits&)) {
    arjhost::Limits limits;
    set(limits);
    host_.SetLimits(limits);
  }
  // The archive, or null with its status in status_.
  std::unique_ptr<arjhost::Archive> Open(const Bytes& bytes) {
    bytes_ = bytes;
    return Take(arjhost::Archive::OpenMemory(host_, bytes_.data(), bytes_.size(), {}));
  }
  std::unique_ptr<arjhost::Archive> OpenData(const std::string& name) {
    return Take(arjhost::Archive::OpenFile(host_, SourcePath("tests/data/" + name), {}));
  }
  std::unique_ptr<arjhost::Archive> Take(arjhost::OpenResult opened) {
    status_ = opened.status;
    return std::move(opened.archive);
  }
  void ExpectNothingLeft() {
    EXPECT_EQ(arjhost::HostAccess::RuntimeOf(host_).live_block_count(), 0u);
    EXPECT_TRUE(arjhost::HostAccess::RuntimeOf(host_).leak_notes().empty());
  }

  arjhost::Host host_;
  Bytes bytes_;
  arjhost::Status status_;
};

Bytes StoredArchive(int entries) {
  std::vector<Bytes> parts = {MainHeader()};
  for (int i = 0; i < entries; ++i) parts.push_back(BuildHeader(StoredEntry("f" + std::to_string(i), "data")));
  parts.push_back(EndMarker());
  return Concat(parts);
}

TEST_F(Limited, EntriesPerArchive) {
  Limit([](arjhost::Limits& l) { l.max_entries = 20; });
  EXPECT_FALSE(Open(StoredArchive(21)));
  EXPECT_EQ(status_.code, arjhost::Code::kLimitExceeded);
  EXPECT_NE(status_.message.find("20 entries"), std::string::npos) << status_.message;
  ExpectNothingLeft();
  auto within = Open(StoredArchive(20));
  ASSERT_TRUE(within) << status_.message;
  EXPECT_EQ(within->Entries().size(), 20u);
}

TEST_F(Limited, VolumesPerSet) {
  Limit([](arjhost::Limits& l) { l.max_volumes = 2; });
  for (const char* name : {"split.arj", "split.a02"}) {  // named first or last
    SCOPED_TRACE(name);
    EXPECT_FALSE(OpenData(name));
    EXPECT_EQ(status_.code, arjhost::Code::kLimitExceeded);
    EXPECT_NE(status_.message.find("2 volumes"), std::string::npos) << status_.message;
  }
  Limit([](arjhost::Limits& l) { l.max_volumes = 3; });
  auto within = OpenData("split.arj");
  ASSERT_TRUE(within) << status_.message;
  EXPECT_EQ(within->state().volumes.size(), 3u);
  within.reset();
  ExpectNothingLeft();
}

TEST_F(Limited, MemoryOfAnOpenArchive) {
  Limit([](arjhost::Limits& l) { l.archive_memory = 16 << 10; });
  EXPECT_FALSE(Open(StoredArchive(200)));  // 200 entry records pass 16 KiB
  EXPECT_EQ(status_.code, arjhost::Code::kLimitExceeded) << "the bound, not the system, refused the memory";
  EXPECT_EQ(status_.host_result, ERR_NO_MEMORY);
  EXPECT_NE(status_.message.find("more memory than the limit of 16384 bytes"), std::string::npos) << status_.message;
  ExpectNothingLeft();
  Limit([](arjhost::Limits& l) { l.archive_memory = 1 << 20; });
  auto within = Open(StoredArchive(200));
  ASSERT_TRUE(within) << status_.message;
  EXPECT_EQ(within->Entries().size(), 200u);
}

// With no memory for extraction, every entry goes through a temporary file
// and still comes out whole.
TEST_F(Limited, ExtractionMemoryMovesContentToAFile) {
  Limit([](arjhost::Limits& l) { l.extract_memory = 0; });
  auto archive = OpenData("method1.arj");
  ASSERT_TRUE(archive) << status_.message;
  for (const arjhost::EntryInfo& e : archive->Entries()) {
    uint64_t delivered = 0;
    const arjhost::ExtractResult out =
        archive->Extract(e, [&](const uint8_t*, size_t n) { return (delivered += n, true); }, nullptr);
    EXPECT_TRUE(IsOk(out.status)) << e.name;
    EXPECT_EQ(delivered, e.size);
  }
}

// A test keeps no entry anywhere: with no memory for extraction and no
// temporary folder, every entry still tests whole, and a damaged one still
// fails its CRC. (Extraction would need the folder.)
TEST_F(Limited, TestKeepsNoEntryInMemoryOrOnDisk) {
  Limit([](arjhost::Limits& l) { l.extract_memory = 0; });
  const char* saved = std::getenv("TMPDIR");
  const std::string kept = saved != nullptr ? saved : "";
  ::setenv("TMPDIR", "/nonexistent-folder-for-arjhost-tests", 1);
  for (const char* name : {"method1.arj", "method2.arj", "method3.arj", "method4.arj", "method0.arj", "split.arj"}) {
    auto archive = OpenData(name);
    ASSERT_TRUE(archive) << name << ": " << status_.message;
    for (const arjhost::EntryInfo& e : archive->Entries()) {
      if (e.size == 0) continue;
      const arjhost::ExtractResult tested = archive->Test(e, nullptr);
      EXPECT_TRUE(IsOk(tested.status)) << name << ": " << e.name;
      EXPECT_EQ(tested.size, e.size) << name << ": " << e.name;
      EXPECT_FALSE(archive->Extract(e, [](const uint8_t*, size_t) { return true; }, nullptr).ok())
          << name << ": " << e.name << ": extraction has nowhere to put the entry";
    }
  }
  // One byte of an entry's stored data changed: the CRC says so.
  HeaderSpec damaged = StoredEntry("damaged", "stored text");
  damaged.data[3] ^= 1;
  auto archive = Open(Concat({MainHeader(), BuildHeader(damaged), EndMarker()}));
  ASSERT_TRUE(archive) << status_.message;
  const arjhost::ExtractResult tested = archive->Test(archive->Entries()[0], nullptr);
  EXPECT_EQ(tested.status.code, arjhost::Code::kDamaged) << tested.status.message;
  EXPECT_EQ(tested.status.host_result, ERR_CRC_MISMATCH) << tested.status.message;
  if (saved != nullptr) ::setenv("TMPDIR", kept.c_str(), 1);
  else ::unsetenv("TMPDIR");
  archive.reset();
  ExpectNothingLeft();
}

// An entry that claims to unpack to 1 GiB from 100 bytes is refused before
// anything is unpacked; so is one over the size limit.
TEST_F(Limited, UnpackedSizeAndRatio) {
  HeaderSpec bomb = StoredEntry("bomb", "");
  bomb.method = 1;
  bomb.data = Bytes(100, 0x55);
  bomb.original_size = 1u << 30;
  HeaderSpec small = StoredEntry("small", "twenty bytes of text");
  auto archive = Open(Concat({MainHeader(), BuildHeader(bomb), BuildHeader(small), EndMarker()}));
  ASSERT_TRUE(archive) << status_.message;
  const std::vector<arjhost::EntryInfo> entries = archive->Entries();
  ASSERT_EQ(entries.size(), 2u);
  size_t delivered = 0;
  auto count = [&](const uint8_t*, size_t n) { return (delivered += n, true); };

  arjhost::ExtractResult out = archive->Extract(entries[0], count, nullptr);
  EXPECT_EQ(out.status.code, arjhost::Code::kLimitExceeded);
  EXPECT_NE(out.status.message.find("1000 times the packed size 100 bytes"), std::string::npos) << out.status.message;
  EXPECT_EQ(delivered, 0u);

  Limit([](arjhost::Limits& l) { l.max_ratio = 0; });
  out = archive->Extract(entries[0], count, nullptr);
  EXPECT_NE(out.status.code, arjhost::Code::kLimitExceeded) << "the ratio limit is off";

  Limit([](arjhost::Limits& l) { l.max_entry_size = 19; });
  out = archive->Extract(entries[1], count, nullptr);
  EXPECT_EQ(out.status.code, arjhost::Code::kLimitExceeded);
  EXPECT_NE(out.status.message.find("over the limit of 19 bytes"), std::string::npos) << out.status.message;
  Limit([](arjhost::Limits& l) { l.max_entry_size = 20; });
  EXPECT_TRUE(IsOk(archive->Extract(entries[1], count, nullptr).status));
}

// Entries each within the size and ratio bounds still add up: the total
// is judged from the headers before each entry is unpacked, over every
// archive the host opens.
TEST_F(Limited, UnpackedTotalOfEveryEntry) {
  Limit([](arjhost::Limits& l) { l.max_total = 10; });  // StoredArchive's entries hold 4 bytes
  size_t delivered = 0;
  auto count = [&](const uint8_t*, size_t n) { return (delivered += n, true); };
  for (int round = 0; round < 2; ++round) {
    auto archive = Open(StoredArchive(2));
    ASSERT_TRUE(archive) << status_.message;
    const std::vector<arjhost::EntryInfo> entries = archive->Entries();
    struct Expected {
      size_t entry;
      arjhost::Code code;
    };
    // The second archive's first entry would pass 10 bytes: 4 + 4 + 4.
    const std::vector<Expected> expected =
        round == 0 ? std::vector<Expected>{{0, arjhost::Code::kOk}, {1, arjhost::Code::kOk}}
                   : std::vector<Expected>{{0, arjhost::Code::kLimitExceeded}};
    for (const Expected& x : expected) {
      const size_t before = delivered;
      const arjhost::ExtractResult out = archive->Extract(entries[x.entry], count, nullptr);
      EXPECT_EQ(out.status.code, x.code) << round << ": " << out.status.message;
      if (x.code != arjhost::Code::kOk) {
        EXPECT_NE(out.status.message.find("past the limit of 10 bytes"), std::string::npos) << out.status.message;
        EXPECT_EQ(delivered, before) << "nothing is unpacked";
      }
    }
  }
  Limit([](arjhost::Limits& l) { l.max_total = 0; });
  auto archive = Open(StoredArchive(1));
  ASSERT_TRUE(archive) << status_.message;
  EXPECT_TRUE(IsOk(archive->Extract(archive->Entries()[0], count, nullptr).status)) << "the bound is off";
}

}  // namespace
}  // namespace testing_support
