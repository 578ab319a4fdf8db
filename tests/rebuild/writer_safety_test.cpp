// Writing never loses data: one writer at a time (a lock beside the
// archive), nothing replaced that appeared or changed meanwhile, and a set's
// commit that a kill at any step leaves old or new, never mixed.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "runtime/api/archive.h"
#include "runtime/api/writer_lock.h"
#include "tests/support/commands.h"
#include "tests/support/files.h"
#include "tests/support/peers.h"
#include "tests/support/sample_data.h"
#include "tests/support/tool_runner.h"

namespace testing_support {
namespace {

namespace fs = std::filesystem;

bool NothingLeftBeside(const std::string& dir) {
  for (const auto& item : fs::directory_iterator(dir)) {
    const std::string name = item.path().filename().string();
    if (name.find(".tmp-") != std::string::npos || name.find(".arjhost-") != std::string::npos) return false;
  }
  return true;
}

std::string EntryNames(const std::string& archive) {
  std::string json;
  if (RunToolStdout("list --json " + Quote(archive), &json) != 0) return "unlisted";
  std::string names;
  for (size_t at = 0; (at = json.find("\"name\": \"", at)) != std::string::npos;) {
    at += 9;
    names += json.substr(at, json.find('"', at) - at) + " ";
  }
  return names;
}

// A set of several volumes holding a file split over them, in `dir`.
void MakeSet(const std::string& dir) {
  WriteFile(dir + "/big.bin", RandomSample(40000, 7));
  WriteFile(dir + "/small.txt", TextSample(3000, 8));
  WriteFile(dir + "/last.txt", TextSample(500, 9));
  std::string output;
  ASSERT_EQ(RunToolIn(dir, "create set.arj big.bin small.txt last.txt -m 0 --volume-size 10K", &output), 0) << output;
  for (const char* name : {"big.bin", "small.txt", "last.txt"}) fs::remove(dir + "/" + name);
}

TEST(WriterLocks, ASecondWriterIsInUseAndNoOtherFileIsTakenForALock) {
  TempDir dir;
  MakeSet(dir.path());
  const Bytes before = ReadFile(dir.File("set.a01"));
  std::unique_ptr<arjhost::WriterLock> held;
  ASSERT_TRUE(arjhost::WriterLock::Take(dir.File("set.arj"), &held).ok());
  // The set is one archive, whichever volume or link names it.
  fs::create_symlink("set.a01", dir.File("link.a01"));
  for (const char* name : {"set.arj", "set.a02", "link.a01"}) {
    std::unique_ptr<arjhost::WriterLock> second;
    EXPECT_EQ(arjhost::WriterLock::Take(dir.File(name), &second).code, arjhost::Code::kInUse) << name;
  }
  WriteFile(dir.File("new.txt"), ToBytes("new"));
  std::string output;
  EXPECT_EQ(RunToolIn(dir.path(), "add set.a01 new.txt", &output), 2) << output;
  EXPECT_NE(output.find("in use by another writer"), std::string::npos) << output;
  EXPECT_EQ(ReadFile(dir.File("set.a01")), before);
  held.reset();
  EXPECT_TRUE(NothingLeftBeside(dir.path()));
  EXPECT_EQ(RunToolIn(dir.path(), "add set.a01 new.txt", &output), 0) << output;
  EXPECT_TRUE(NothingLeftBeside(dir.path()));

  // A file of the lock's name that is not a lock, or a link there, is
  // someone's own: refused, and left as it is.
  WriteFile(dir.File("mine.arj.arjhost-lock"), ToBytes("my notes"));
  fs::create_symlink("/etc/hostname", dir.File("theirs.arj.arjhost-lock"));
  std::unique_ptr<arjhost::WriterLock> refused;
  EXPECT_EQ(arjhost::WriterLock::Take(dir.File("mine.arj"), &refused).code, arjhost::Code::kRefused);
  EXPECT_EQ(arjhost::WriterLock::Take(dir.File("theirs.arj"), &refused).code, arjhost::Code::kRefused);
  EXPECT_EQ(ReadFile(dir.File("mine.arj.arjhost-lock")), ToBytes("my notes"));
  EXPECT_TRUE(fs::is_symlink(dir.File("theirs.arj.arjhost-lock")));
}

// Two writers started together: each either commits or fails "in use";
// no success is lost to the other's commit.
TEST(WriterRaces, TwoWritersAtOnceNeverBothSucceedWithAChangeLost) {
  TempDir dir;
  WriteFile(dir.File("one.bin"), RandomSample(3 << 20, 1));
  WriteFile(dir.File("two.bin"), RandomSample(200, 2));
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    fs::remove(dir.File("a.arj"));
    const std::string tool = Quote(Tool());
    std::string output;
    RunCommand("cd " + Quote(dir.path()) + " && { (" + tool + " add a.arj one.bin >one.out 2>&1; echo $? >one.code) & (" +
                   tool + " add a.arj two.bin >two.out 2>&1; echo $? >two.code) & wait; }",
               &output);
    const std::string names = EntryNames(dir.File("a.arj"));
    for (const char* who : {"one", "two"}) {
      const std::string code = ReadText(dir.File(std::string(who) + ".code"));
      const std::string said = ReadText(dir.File(std::string(who) + ".out"));
      if (code == "0\n")
        EXPECT_NE(names.find(std::string(who) + ".bin"), std::string::npos) << who << " succeeded, yet: " << names;
      else
        EXPECT_TRUE(said.find("in use by another writer") != std::string::npos ||
                    said.find("appeared meanwhile") != std::string::npos)
            << who << " exited " << code << " saying " << said;
    }
    EXPECT_TRUE(NothingLeftBeside(dir.path()));
  }
}

TEST(WriterRaces, WhatAppearedOrChangedMeanwhileIsNeverReplaced) {
  TempDir dir;
  MakeSet(dir.path());
  WriteFile(dir.File("new.txt"), ToBytes("new"));
  arjhost::Host host;
  ASSERT_TRUE(host.LoadPlugin(BuildPath("libarj_plugin.so")).ok());
  arjhost::ChangeSet add;
  add.added.emplace_back(dir.File("new.txt"), "new.txt");

  // Created while we wrote ours (by a writer that takes no lock, as arj).
  arjhost::OpenResult fresh = arjhost::Archive::OpenForWriting(host, dir.File("fresh.arj"), {});
  ASSERT_TRUE(fresh.ok()) << fresh.status.message;
  EXPECT_TRUE(fresh.archive->created());
  WriteFile(dir.File("fresh.arj"), ToBytes("someone else's"));
  const arjhost::Status lost = fresh.archive->Rebuild(add, dir.File("fresh.arj"));
  EXPECT_EQ(lost.code, arjhost::Code::kChanged) << lost.message;
  EXPECT_NE(lost.message.find("appeared meanwhile"), std::string::npos) << lost.message;
  EXPECT_EQ(ReadFile(dir.File("fresh.arj")), ToBytes("someone else's"));

  // A later volume of a set changed meanwhile: an addition, and a delete
  // (which splits the set's entries without joining them in a file first).
  fresh.archive.reset();
  for (const bool deleting : {false, true}) {
    SCOPED_TRACE(deleting ? "delete" : "add");
    arjhost::OpenResult set = arjhost::Archive::OpenForWriting(host, dir.File("set.arj"), {});
    ASSERT_TRUE(set.ok()) << set.status.message;
    arjhost::ChangeSet changes = add;
    if (deleting) {
      changes = {};
      changes.dropped.insert(set.archive->Entries().at(1).handle);
    }
    const Bytes volume = ReadFile(dir.File("set.a02"));
    const timespec later[2] = {{::time(nullptr) + 100 + deleting, 0}, {::time(nullptr) + 100 + deleting, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, dir.File("set.a02").c_str(), later, 0), 0);
    const arjhost::Status changed = set.archive->Rebuild(changes, dir.File("set.arj"));
    EXPECT_EQ(changed.code, arjhost::Code::kChanged) << changed.message;
    EXPECT_NE(changed.message.find("set.a02 changed while it was being rewritten"), std::string::npos)
        << changed.message;
    EXPECT_EQ(ReadFile(dir.File("set.a02")), volume);
    set.archive.reset();
    EXPECT_TRUE(NothingLeftBeside(dir.path()));
  }
}

// An ARJ-PROTECT record is not written to a set: asked of a delete (which
// splits the kept entries from the old volumes) as of any rewrite, it is
// refused and the set stays as it was.
TEST(WriterRaces, ARecordAskedOfASetIsRefusedWhateverTheChange) {
  TempDir dir;
  MakeSet(dir.path());
  const Bytes before = ReadFile(dir.File("set.arj"));
  arjhost::Host host;
  ASSERT_TRUE(host.LoadPlugin(BuildPath("libarj_plugin.so")).ok());
  arjhost::OpenResult set = arjhost::Archive::OpenForWriting(host, dir.File("set.arj"), {});
  ASSERT_TRUE(set.ok()) << set.status.message;
  arjhost::ChangeSet changes;
  changes.dropped.insert(set.archive->Entries().at(1).handle);
  arjhost::RebuildOptions options;
  options.protect = true;
  const arjhost::Status refused = set.archive->Rebuild(changes, dir.File("set.arj"), {}, options);
  EXPECT_EQ(refused.code, arjhost::Code::kRefused) << refused.message;
  EXPECT_NE(refused.message.find("not written to a volume set"), std::string::npos) << refused.message;
  set.archive.reset();
  EXPECT_EQ(ReadFile(dir.File("set.arj")), before);
  EXPECT_TRUE(NothingLeftBeside(dir.path()));
}

// The tool run under strace, killed (SIGKILL) as it makes the n-th of the
// calls `calls`; its exit status (0: it ended before the n-th).
int KilledAt(const std::string& dir, const std::string& calls, int n, const std::string& args) {
  // LeakSanitizer cannot run under ptrace and would fail every run.
  return RunCommand("cd " + Quote(dir) + " && ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0 strace -f -o /dev/null -e trace=" + calls + " -e inject=" + calls +
                    ":signal=KILL:when=" + std::to_string(n) + " " + Quote(Tool()) + " " + args + " >/dev/null 2>&1");
}

TEST(SetCommits, AKillAtAnyRenameOrFsyncLeavesTheOldSetOrTheNew) {
  REQUIRE_PEER("strace");
  if (RunCommand("strace -f -o /dev/null true") != 0) GTEST_SKIP() << "strace cannot trace here";
  TempDir made;
  MakeSet(made.path());
  const std::string old_names = EntryNames(made.File("set.arj"));
  const std::string rewrite = "delete set.arj small.txt";
  std::string new_names;
  for (const std::string calls : {"rename,renameat,renameat2,link", "fsync,fdatasync"}) {
    int n = 1;
    for (;; ++n) {
      SCOPED_TRACE(calls + " " + std::to_string(n));
      TempDir dir;
      for (const auto& item : fs::directory_iterator(made.path())) fs::copy_file(item.path(), dir.File(item.path().filename()));
      const int code = KilledAt(dir.path(), calls, n, rewrite);
      // Whatever the kill left, the next open finds a whole set, old or new.
      std::string output;
      EXPECT_EQ(RunToolIn(dir.path(), "test set.a01", &output), 0) << output;
      const std::string names = EntryNames(dir.File("set.arj"));
      EXPECT_TRUE(names == old_names || (names + "small.txt ").size() == old_names.size()) << names;
      if (ToolInstalled("arj")) {
        EXPECT_EQ(RunArj(dir.path(), "t -v set.arj", &output), 0) << output;
      }
      EXPECT_FALSE(fs::exists(dir.File("set.arj.arjhost-commit")));
      if (code == 0) {
        new_names = names;
        break;
      }
      ASSERT_LT(n, 100) << "the kill never missed";
    }
    EXPECT_GE(n, 3) << calls << ": the commit makes several";
  }
  EXPECT_EQ(new_names.find("small.txt"), std::string::npos) << new_names;
}

}  // namespace
}  // namespace testing_support
