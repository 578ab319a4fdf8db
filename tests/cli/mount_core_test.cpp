// The mount's tree and reads without FUSE: the tree built from entries as
// extract would place them, and reads at any offset through the cache the
// mount's read calls use (held, evicted, spilled, damaged, on threads).
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <map>
#include <random>
#include <thread>

#include "cli/mount/archive_pool.h"
#include "cli/mount/entry_cache.h"
#include "cli/mount/mount_tree.h"
#include "tests/support/api_status.h"
#include "tests/support/archive_builder.h"
#include "tests/support/bytes.h"
#include "tests/support/files.h"
#include "tests/support/peers.h"

namespace {

using namespace testing_support;
using cli::MountNode;
using cli::MountTree;
using FileType = arjhost::format::FileType;
using Special = arjhost::EntryInfo::Special;

constexpr uint8_t kUnixHost = 2;

arjhost::EntryInfo Unix(const std::string& name, FileType type, uint16_t mode, uint64_t size = 0) {
  arjhost::EntryInfo e;
  e.name = name;
  e.header_known = true;
  e.file_type = type;
  e.host_os = static_cast<arjhost::format::HostOs>(kUnixHost);
  e.access_mode = mode;
  e.size = size;
  e.modified_time = 1000000000;
  return e;
}

arjhost::EntryInfo Link(const std::string& name, Special kind, const std::string& target) {
  arjhost::EntryInfo e = Unix(name, FileType::kUnixSpecial, 0777);
  e.special = kind;
  e.link_target = target;
  return e;
}

struct Built {
  std::unique_ptr<MountTree> tree;
  std::map<std::string, std::string> left_out;  // name: why
};

Built Build(const std::vector<arjhost::EntryInfo>& entries,
            const std::function<bool(const arjhost::EntryInfo&)>& taken = [](const arjhost::EntryInfo&) { return true; }) {
  Built b;
  MountTree::Options options;
  options.umask = 022;
  options.made_time = 42;
  b.tree = std::make_unique<MountTree>(entries, taken, options, [&b](const arjhost::EntryInfo& e, const std::string& why) {
    b.left_out[e.name] = why;
  });
  return b;
}

TEST(MountTree, NamesFoldersModesAndTimesAreWhatExtractWouldWrite) {
  arjhost::EntryInfo dos = Unix("DOCS\\caf\x82.TXT", FileType::kBinary, 0x01, 5);  // read-only
  dos.host_os = arjhost::format::HostOs::kMsDos;
  arjhost::EntryInfo folder = Unix("docs", FileType::kDirectory, 0750);
  folder.modified_time = 7;
  arjhost::EntryInfo label = Unix("<<<001>>>", FileType::kChapterLabel, 0);
  const Built b = Build({Unix("/abs/run.sh", FileType::kBinary, 04755, 3), Unix("a/b/c.txt", FileType::kBinary, 0666, 9),
                         folder, Unix("docs/x", FileType::kBinary, 0640, 1), dos, label});
  EXPECT_TRUE(b.left_out.empty());
  const MountTree& t = *b.tree;
  const MountNode* run = t.Find("/abs/run.sh");  // without its leading "/"
  ASSERT_NE(run, nullptr);
  EXPECT_EQ(run->mode, 0755u);  // set-user-ID dropped, the umask applied
  EXPECT_EQ(run->size, 3u);
  EXPECT_EQ(run->entry, 0u);
  const MountNode* implied = t.Find("/a/b");
  ASSERT_NE(implied, nullptr);
  EXPECT_EQ(implied->kind, MountNode::Kind::kFolder);
  EXPECT_EQ(implied->mode, 0755u);
  EXPECT_EQ(implied->time, 42);
  EXPECT_EQ(t.Find("/a/b/c.txt")->mode, 0644u);
  const MountNode* docs = t.Find("/docs");
  EXPECT_EQ(docs->mode, 0750u);
  EXPECT_EQ(docs->time, 7);
  EXPECT_EQ(docs->children.size(), 1u);
  const MountNode* decoded = t.Find("/DOCS/caf\xc3\xa9.TXT");  // code page 437
  ASSERT_NE(decoded, nullptr);
  EXPECT_EQ(decoded->mode, 0444u);
  EXPECT_EQ(t.Find("/<<<001>>>"), nullptr);
  EXPECT_EQ(t.node(MountTree::kRoot).links, 6u);  // 2, and the ".." of abs, a, docs and DOCS
  EXPECT_EQ(t.Find("/nothing"), nullptr);
  EXPECT_EQ(t.Find("/a/b/c.txt/under"), nullptr);
}

TEST(MountTree, WhatExtractRefusesIsLeftOutAndSaidSo) {
  arjhost::EntryInfo fifo = Link("pipe", Special::kFifo, "");
  arjhost::EntryInfo newer = Unix("newer.txt", FileType::kBinary, 0644);
  newer.min_version = 200;
  const Built b = Build({Unix("a/../../escape.txt", FileType::kBinary, 0644), Unix("same", FileType::kBinary, 0644, 1),
                         Unix("same", FileType::kBinary, 0644, 2), Unix("same/under", FileType::kBinary, 0644),
                         Link("up", Special::kSymbolicLink, "../outside"), Link("abs", Special::kSymbolicLink, "/etc"),
                         Link("in/ok", Special::kSymbolicLink, "../same"), fifo, newer,
                         Link("hard", Special::kHardLink, "later"), Unix("later", FileType::kBinary, 0644),
                         Link("self", Special::kHardLink, "self"), Link("h2", Special::kHardLink, "same"),
                         Unix("long/" + std::string(256, 'x'), FileType::kBinary, 0644)});
  for (const std::string& name : {std::string("a/../../escape.txt"), std::string("same"), std::string("same/under"),
                                  std::string("up"), std::string("abs"), std::string("pipe"), std::string("newer.txt"),
                                  std::string("hard"), std::string("self"), "long/" + std::string(256, 'x')})
    EXPECT_EQ(b.left_out.count(name), 1u) << name;
  EXPECT_EQ(b.left_out.size(), 10u);
  const MountTree& t = *b.tree;
  EXPECT_EQ(t.Find("/same")->size, 1u);  // the first kept, as extract without -o
  // What a reader of the folder reads next: files, in the listing's order.
  EXPECT_EQ(t.EntriesAfter("/h2", 5), (std::vector<size_t>{10, 1}));  // later, same
  EXPECT_EQ(t.EntriesAfter("/h2", 1), (std::vector<size_t>{10}));
  EXPECT_TRUE(t.EntriesAfter("/same", 5).empty());
  EXPECT_TRUE(t.EntriesAfter("/in/ok", 5).empty());
  const MountNode* ok = t.Find("/in/ok");
  ASSERT_NE(ok, nullptr);
  EXPECT_EQ(ok->kind, MountNode::Kind::kSymbolicLink);
  EXPECT_EQ(ok->target, "../same");
  EXPECT_EQ(ok->size, 7u);
  // A hard link is another name of the earlier file.
  EXPECT_EQ(t.IdOf("/h2"), t.IdOf("/same"));
  EXPECT_EQ(t.Find("/same")->links, 2u);
  EXPECT_EQ(t.Find("/hard"), nullptr);
}

TEST(MountTree, ANameHeldTwiceGoesToTheFirstFileThatComesOutWhole) {
  // As extract without -o: a first claimant that fails leaves no file, so
  // the next one's is written; one that comes out whole keeps the name.
  const std::vector<arjhost::EntryInfo> entries = {
      Unix("dup", FileType::kBinary, 0644, 1), Unix("dup", FileType::kBinary, 0644, 2),
      Unix("dup", FileType::kBinary, 0644, 3), Unix("one", FileType::kBinary, 0644, 4)};
  MountTree::Options options;
  std::vector<uint64_t> tested;
  options.whole = [&tested](const arjhost::EntryInfo& e) {
    tested.push_back(e.size);
    return e.size == 1 ? arjhost::Status{arjhost::Code::kDamaged, "damaged data"} : arjhost::Status{};
  };
  std::vector<std::string> said;
  const MountTree t(entries, [](const arjhost::EntryInfo&) { return true; }, options,
                    [&said](const arjhost::EntryInfo& e, const std::string& why) {
                      said.push_back(std::to_string(e.size) + ": " + why);
                    });
  EXPECT_EQ(t.Find("/dup")->size, 2u);
  EXPECT_EQ(t.Find("/dup")->entry, 1u);
  EXPECT_EQ(tested, (std::vector<uint64_t>{1, 2}));  // only claimants of a name claimed again
  ASSERT_EQ(said.size(), 2u);
  EXPECT_EQ(said[0], "1: damaged data");
  EXPECT_EQ(said[1].rfind("3: an earlier entry holds its name", 0), 0u) << said[1];
}

TEST(MountTree, OnlyTheChosenChapterIsShown) {
  arjhost::EntryInfo one = Unix("one", FileType::kBinary, 0644);
  one.first_chapter = one.last_chapter = 1;
  arjhost::EntryInfo both = Unix("both", FileType::kBinary, 0644);
  both.first_chapter = 1, both.last_chapter = 2;
  const Built b = Build({one, both}, [](const arjhost::EntryInfo& e) { return arjhost::TakenForArchiveChapter(e, 2); });
  EXPECT_EQ(b.tree->Find("/one"), nullptr);
  EXPECT_NE(b.tree->Find("/both"), nullptr);
}

// An archive file opened as the mount opens it, with more openings for
// the pool.
struct Mounted {
  std::string path;
  arjhost::Host host;
  std::unique_ptr<arjhost::Archive> archive;
  std::vector<arjhost::EntryInfo> entries;
  std::unique_ptr<cli::ArchivePool> pool;
  std::unique_ptr<cli::EntryCache> cache;
  std::vector<std::string> reports;
  std::mutex mutex;

  Mounted(const std::string& archive_path, uint64_t cache_bytes, const std::string& password = "", size_t openings = 1)
      : path(archive_path) {
    EXPECT_TRUE(IsOk(host.LoadPlugin(BuildPath("libarj_plugin.so"))));
    arjhost::OpenResult opened = arjhost::Archive::OpenFile(host, path, {});
    EXPECT_TRUE(IsOk(opened.status));
    archive = std::move(opened.archive);
    entries = archive->Entries();
    pool = std::make_unique<cli::ArchivePool>(*archive, [this] {
      cli::ArchiveOpening more;
      more.host = std::make_unique<arjhost::Host>();
      if (!more.host->LoadPlugin(BuildPath("libarj_plugin.so")).ok()) return cli::ArchiveOpening{};
      more.archive = arjhost::Archive::OpenFile(*more.host, path, {}).archive;
      return more;
    }, openings);
    arjhost::PasswordSource passwords;
    if (!password.empty())
      passwords = [password](const arjhost::EntryInfo&, int attempt, std::string* answer) {
        *answer = password;
        return attempt == 0;
      };
    cache = std::make_unique<cli::EntryCache>(*pool, entries, passwords, cache_bytes,
                                              [this](const arjhost::EntryInfo& e, const std::string& why) {
                                                std::lock_guard<std::mutex> lock(mutex);
                                                reports.push_back(e.name + ": " + why);
                                              });
  }

  size_t Index(const std::string& name) const {
    for (size_t i = 0; i < entries.size(); ++i)
      if (entries[i].name == name) return i;
    ADD_FAILURE() << name;
    return 0;
  }

  // The entry's bytes read in pieces of `piece` from the start.
  Bytes ReadAll(size_t index, size_t piece) {
    Bytes all;
    std::vector<uint8_t> buffer(piece);
    for (uint64_t at = 0;;) {
      const int64_t n = cache->Read(index, at, buffer.data(), buffer.size());
      if (n <= 0) {
        EXPECT_EQ(n, 0) << entries[index].name;
        return all;
      }
      all.insert(all.end(), buffer.begin(), buffer.begin() + n);
      at += static_cast<uint64_t>(n);
    }
  }
};

// Reads at random offsets and sizes, each compared with `expected`.
void ExpectRandomReads(cli::EntryCache& cache, size_t index, const Bytes& expected, unsigned seed, int count) {
  std::mt19937_64 random(seed);
  std::vector<uint8_t> buffer(70000);
  for (int i = 0; i < count; ++i) {
    const uint64_t offset = random() % (expected.size() + 10);
    const size_t size = 1 + random() % buffer.size();
    const int64_t n = cache.Read(index, offset, buffer.data(), size);
    const uint64_t want = offset >= expected.size() ? 0 : std::min<uint64_t>(size, expected.size() - offset);
    ASSERT_EQ(n, static_cast<int64_t>(want)) << "offset " << offset;
    if (n > 0) {
      ASSERT_TRUE(std::equal(buffer.begin(), buffer.begin() + n, expected.begin() + static_cast<long>(offset)))
          << "offset " << offset;
    }
  }
}

TEST(MountReads, HeldEvictedAndSpilledEntriesReadAtAnyOffset) {
  // 12000 bytes hold one or two of the entries at a time; 4000 hold none
  // of the larger ones, which then go through a spill file.
  for (const uint64_t cache_bytes : {uint64_t{1} << 20, uint64_t{12000}, uint64_t{4000}}) {
    for (const char* name : {"method1.arj", "method4.arj", "method0.arj"}) {
      Mounted m(Data(name), cache_bytes);
      for (int round = 0; round < 2; ++round)
        for (size_t i = 0; i < m.entries.size(); ++i) {
          const Bytes expected = DataFile("src/mixed/" + m.entries[i].name);
          EXPECT_EQ(m.ReadAll(i, 4096), expected) << name << ": " << m.entries[i].name;
          ExpectRandomReads(*m.cache, i, expected, static_cast<unsigned>(i + round), 20);
          EXPECT_LE(m.cache->held_bytes(), cache_bytes);
        }
      EXPECT_TRUE(m.reports.empty()) << name;
      EXPECT_EQ(m.cache->spills() != 0, cache_bytes == 4000) << name;
    }
  }
}

TEST(MountReads, ASpillLastsWhileItsEntryIsOpen) {
  Mounted m(Data("method1.arj"), 100);
  const size_t text = m.Index("text.txt");
  m.cache->Opened(text);
  m.cache->Opened(text);
  EXPECT_EQ(m.ReadAll(text, 1000), DataFile("src/mixed/text.txt"));
  EXPECT_EQ(m.cache->spills(), 1u);
  m.cache->Released(text);
  EXPECT_EQ(m.cache->spills(), 1u);
  m.cache->Released(text);
  EXPECT_EQ(m.cache->spills(), 0u);
  // Opened again, it is decoded again.
  m.cache->Opened(text);
  ExpectRandomReads(*m.cache, text, DataFile("src/mixed/text.txt"), 3, 30);
  m.cache->Released(text);
}

TEST(MountReads, ADamagedOrUnopenedEntryIsAnIoErrorSaidOnceAndTheOthersRead) {
  // One entry stored with a wrong CRC between two sound ones.
  HeaderSpec bad = StoredEntry("bad.txt", "damaged bytes");
  bad.file_crc ^= 1;
  TempDir dir;
  WriteFile(dir.File("bad.arj"), Concat({MainHeader(), BuildHeader(StoredEntry("before.txt", "first")),
                                         BuildHeader(bad), BuildHeader(StoredEntry("after.txt", "last")), EndMarker()}));
  for (const uint64_t cache_bytes : {uint64_t{1} << 20, uint64_t{4}}) {
    Mounted m(dir.File("bad.arj"), cache_bytes);
    uint8_t buffer[64];
    for (int i = 0; i < 3; ++i) EXPECT_EQ(m.cache->Read(m.Index("bad.txt"), 0, buffer, sizeof buffer), -EIO);
    EXPECT_EQ(m.ReadAll(m.Index("before.txt"), 3), ToBytes("first"));
    EXPECT_EQ(m.ReadAll(m.Index("after.txt"), 64), ToBytes("last"));
    ASSERT_EQ(m.reports.size(), 1u);
    EXPECT_NE(m.reports[0].find("bad.txt: CRC mismatch"), std::string::npos) << m.reports[0];
  }
  // Decoded ahead of its reader, a damaged entry is said when it is read.
  Mounted ahead(dir.File("bad.arj"), 1 << 20);
  ahead.cache->DecodeAhead({ahead.Index("bad.txt"), ahead.Index("after.txt")});
  EXPECT_EQ(ahead.ReadAll(ahead.Index("before.txt"), 64), ToBytes("first"));
  EXPECT_EQ(ahead.ReadAll(ahead.Index("after.txt"), 64), ToBytes("last"));
  EXPECT_TRUE(ahead.reports.empty());
  uint8_t byte;
  EXPECT_EQ(ahead.cache->Read(ahead.Index("bad.txt"), 0, &byte, 1), -EIO);
  EXPECT_EQ(ahead.reports.size(), 1u);
  // Garbled entries: with their password, and without one.
  Mounted with(Data("garbled.arj"), 1 << 20, "secret");
  EXPECT_EQ(with.ReadAll(with.Index("text.txt"), 5000), DataFile("src/mixed/text.txt"));
  Mounted without(Data("garbled.arj"), 1 << 20);
  uint8_t buffer[16];
  EXPECT_EQ(without.cache->Read(without.Index("text.txt"), 0, buffer, sizeof buffer), -EIO);
  EXPECT_EQ(without.reports.size(), 1u);
}

TEST(MountReads, ThreadsReadDifferentEntriesAtOnceOnSeveralOpenings) {
  for (const uint64_t cache_bytes : {uint64_t{1} << 20, uint64_t{5000}}) {
    Mounted m(Data("method1.arj"), cache_bytes, "", 3);
    std::vector<Bytes> expected;
    for (const arjhost::EntryInfo& e : m.entries) expected.push_back(DataFile("src/mixed/" + e.name));
    std::vector<std::thread> threads;
    for (unsigned t = 0; t < 6; ++t)
      threads.emplace_back([&, t] {
        for (size_t k = 0; k < m.entries.size(); ++k) {
          const size_t i = (k + t) % m.entries.size();
          ExpectRandomReads(*m.cache, i, expected[i], t * 100 + static_cast<unsigned>(k), 10);
        }
      });
    for (std::thread& t : threads) t.join();
    EXPECT_TRUE(m.reports.empty());
    EXPECT_LE(m.cache->held_bytes(), cache_bytes);
  }
}

TEST(MountReads, ALargeMethodOneEntryReadsRightAtManyOffsets) {
  REQUIRE_PEER("arj");
  Bytes big(3 << 20);
  std::mt19937 random(7);
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>("the quick brown fox "[random() % 20]);
  const std::optional<Bytes> archive = ArchiveWithArj({{"big.bin", big}}, 1);
  ASSERT_TRUE(archive.has_value());
  TempDir dir;
  WriteFile(dir.File("big.arj"), *archive);
  for (const uint64_t cache_bytes : {uint64_t{64} << 20, uint64_t{1} << 20}) {
    Mounted m(dir.File("big.arj"), cache_bytes);
    ExpectRandomReads(*m.cache, 0, big, 11, 300);
    EXPECT_TRUE(m.reports.empty());
  }
}

}  // namespace
