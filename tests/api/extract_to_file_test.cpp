// Archive::ExtractToFile with a memory limit small enough that the entries
// move from memory into the destination file while they are decoded.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "runtime/api/archive.h"
#include "runtime/core/runtime.h"
#include "tests/support/api_status.h"
#include "tests/support/archive_builder.h"
#include "tests/support/bytes.h"
#include "tests/support/files.h"

namespace {

using namespace testing_support;

struct Opened {
  arjhost::Host host;
  std::unique_ptr<arjhost::Archive> archive;

  explicit Opened(const std::string& name, uint64_t memory_limit) {
    EXPECT_TRUE(IsOk(host.LoadPlugin(BuildPath("libarj_plugin.so"))));
    arjhost::Limits limits = host.limits();
    limits.extract_memory = memory_limit;
    host.SetLimits(limits);
    arjhost::OpenResult opened = arjhost::Archive::OpenFile(host, SourcePath("tests/data/" + name), {});
    EXPECT_TRUE(IsOk(opened.status));
    archive = std::move(opened.archive);
  }
};

// The entry extracted into a file that already holds other bytes.
Bytes ExtractThroughFile(arjhost::Archive& archive, const arjhost::EntryInfo& e,
                         const arjhost::PasswordSource& passwords, arjhost::ExtractResult* outcome) {
  TempDir dir;
  const int fd = open((dir.path() + "/out").c_str(), O_RDWR | O_CREAT, 0600);
  EXPECT_GE(fd, 0);
  const Bytes stale(100000, 0xEE);
  EXPECT_EQ(write(fd, stale.data(), stale.size()), static_cast<ssize_t>(stale.size()));
  *outcome = archive.ExtractToFile(e, fd, passwords);
  close(fd);
  return ReadFile(dir.path() + "/out");
}

TEST(ExtractToFile, SpilledEntriesAndSplitEntriesComeOutWhole) {
  for (const char* name : {"method1.arj", "method4.arj", "split.arj"}) {
    Opened opened(name, 1024);
    ASSERT_NE(opened.archive, nullptr);
    const std::string source = std::string(name) == "split.arj" ? "src/split/" : "src/mixed/";
    for (const arjhost::EntryInfo& e : opened.archive->Entries()) {
      arjhost::ExtractResult outcome;
      const Bytes got = ExtractThroughFile(*opened.archive, e, nullptr, &outcome);
      EXPECT_TRUE(IsOk(outcome.status)) << name << ": " << e.name;
      EXPECT_EQ(got, DataFile(source + e.name)) << name << ": " << e.name;
    }
  }
}

TEST(ExtractToFile, AWrongPasswordFirstLeavesNothingOfItsAttempt) {
  Opened opened("garbled.arj", 1024);
  ASSERT_NE(opened.archive, nullptr);
  auto wrong_then_right = [](const arjhost::EntryInfo&, int attempt, std::string* password) {
    *password = attempt == 0 ? "wrong" : "secret";
    return attempt < 2;
  };
  for (const arjhost::EntryInfo& e : opened.archive->Entries()) {
    arjhost::ExtractResult outcome;
    const Bytes got = ExtractThroughFile(*opened.archive, e, wrong_then_right, &outcome);
    EXPECT_TRUE(IsOk(outcome.status)) << e.name;
    EXPECT_EQ(got, DataFile("src/mixed/" + e.name)) << e.name;
  }
  // Only wrong ones (on an opening that holds no password that worked): no
  // bytes come out that are worth keeping.
  Opened again("garbled.arj", 1024);
  ASSERT_NE(again.archive, nullptr);
  arjhost::ExtractResult wrong;
  ExtractThroughFile(*again.archive, again.archive->Entries()[0],
                     [](const arjhost::EntryInfo&, int attempt, std::string* password) {
                       *password = "wrong";
                       return attempt < 2;
                     },
                     &wrong);
  EXPECT_EQ(wrong.status.code, arjhost::Code::kWrongPassword) << wrong.status.message;
  EXPECT_FALSE(wrong.damaged);
}

// Entries of several MiB are checked and written on a thread beside their
// decoding: the same bytes, every part checked, a damaged byte found, in
// a file or for a test.
TEST(ExtractToFile, LargeEntriesAreCheckedAndWrittenBesideTheirDecoding) {
  std::string content;
  for (uint32_t i = 0; content.size() < (6u << 20) + 12345; ++i) content += "line " + std::to_string(i * 7919u) + "\n";
  HeaderSpec damaged = StoredEntry("damaged", content);
  damaged.data[5u << 20] ^= 1;
  const Bytes bytes = Concat({MainHeader(), BuildHeader(StoredEntry("large", content)), BuildHeader(damaged), EndMarker()});
  arjhost::Host host;
  ASSERT_TRUE(IsOk(host.LoadPlugin(BuildPath("libarj_plugin.so"))));
  arjhost::OpenResult opened = arjhost::Archive::OpenMemory(host, bytes.data(), bytes.size(), {});
  ASSERT_TRUE(IsOk(opened.status));
  arjhost::Archive& archive = *opened.archive;
  const std::vector<arjhost::EntryInfo> entries = archive.Entries();
  ASSERT_EQ(entries.size(), 2u);
  arjhost::ExtractResult outcome;
  EXPECT_EQ(ExtractThroughFile(archive, entries[0], nullptr, &outcome), ToBytes(content));
  EXPECT_TRUE(IsOk(outcome.status));
  EXPECT_TRUE(IsOk(archive.Test(entries[0], nullptr).status));
  Bytes flipped = ToBytes(content);
  flipped[5u << 20] ^= 1;
  EXPECT_EQ(ExtractThroughFile(archive, entries[1], nullptr, &outcome), flipped) << "as it came out, for a rescue";
  EXPECT_EQ(outcome.status.code, arjhost::Code::kDamaged) << outcome.status.message;
  EXPECT_EQ(outcome.status.host_result, ERR_CRC_MISMATCH) << outcome.status.message;
  EXPECT_TRUE(outcome.damaged);
  outcome = archive.Test(entries[1], nullptr);
  EXPECT_EQ(outcome.status.code, arjhost::Code::kDamaged) << outcome.status.message;
  EXPECT_EQ(outcome.size, content.size());
}

}  // namespace
