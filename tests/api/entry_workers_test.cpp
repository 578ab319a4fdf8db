// Entries tested and extracted on worker threads: the same outcomes, bytes
// and order as one thread gives, whatever the number of workers and the
// order in which they finish; garbled entries ask for their passwords in
// turn, or are shared when no one is asked; a failed entry fails alone and
// the rest finish cleanly.
#include "runtime/operations/entry_run.h"
#include "runtime/operations/entry_workers.h"
#include "runtime/api/pending_files.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "tests/support/api_status.h"
#include "tests/support/archive_builder.h"
#include "tests/support/files.h"
#include "tests/support/test_host.h"

namespace testing_support {
namespace {

struct Opened {
  arjhost::Host host;
  std::unique_ptr<arjhost::Archive> archive;
  std::string path;
  arjhost::OpenOptions options;

  // `name` of tests/data, or a path.
  explicit Opened(const std::string& name, const arjhost::OpenOptions& open_options = {})
      : path(name.find('/') == std::string::npos ? SourcePath("tests/data/" + name) : name), options(open_options) {
    EXPECT_TRUE(IsOk(host.LoadPlugin(BuildPath("libarj_plugin.so"))));
    arjhost::OpenResult opened = arjhost::Archive::OpenFile(host, path, options);
    EXPECT_TRUE(IsOk(opened.status));
    archive = std::move(opened.archive);
  }
};

struct Result {
  arjhost::Code code;
  std::string error;
  uint64_t size;
  Bytes bytes;  // extracted
  bool operator==(const Result& o) const {
    return code == o.code && error == o.error && size == o.size && bytes == o.bytes;
  }
};

Bytes ReadBack(int fd) {
  Bytes out(static_cast<size_t>(lseek(fd, 0, SEEK_END)));
  EXPECT_EQ(pread(fd, out.data(), out.size(), 0), static_cast<ssize_t>(out.size()));
  return out;
}

// A wrong password first: the retry starts the entry over.
arjhost::PasswordSource WrongThenRight(std::vector<std::string>* asked) {
  return [asked](const arjhost::EntryInfo& e, int attempt, std::string* password) {
    if (asked != nullptr) asked->push_back(e.name + " " + std::to_string(attempt));
    *password = attempt == 0 ? "wrong" : "secret";
    return true;
  };
}

// One password for every entry, as -p gives it: asks no one.
arjhost::PasswordSource Given(const std::string& given) {
  return [given](const arjhost::EntryInfo&, int attempt, std::string* password) {
    *password = given;
    return attempt == 0;
  };
}

// Each entry's outcome through `workers` workers (0: on the archive alone),
// tested or extracted into files of `dir`; `anywhere`: garbled entries are
// shared with the workers.
std::vector<Result> Outcomes(const std::string& name, unsigned workers, bool extract,
                             std::vector<std::string>* asked = nullptr,
                             const arjhost::PasswordSource& given = nullptr, bool anywhere = false,
                             const arjhost::OpenOptions& options = {}) {
  Opened o(name, options);
  if (!o.archive) return {};
  TempDir dir;
  const arjhost::PasswordSource passwords = given ? given : WrongThenRight(asked);
  std::vector<arjhost::EntryInfo> entries = o.archive->Entries();
  std::vector<int> fds;
  for (size_t i = 0; i < entries.size(); ++i)
    fds.push_back(extract ? open(dir.File(std::to_string(i)).c_str(), O_RDWR | O_CREAT, 0600) : -1);
  std::vector<arjhost::ExtractResult> outcomes;
  if (workers == 0) {
    for (size_t i = 0; i < entries.size(); ++i)
      outcomes.push_back(extract ? o.archive->ExtractToFile(entries[i], fds[i], passwords)
                                 : o.archive->Test(entries[i], passwords));
  } else {
    arjhost::EntryWorkers pool(o.host, *o.archive, o.path, o.options, workers);
    if (anywhere) pool.AllowGarbledOnWorkers();
    // Two queued ahead of the one collected: workers finish out of order.
    for (size_t i = 0; i < entries.size(); ++i) {
      pool.Submit(entries[i], fds[i], passwords);
      if (pool.queued() > 2) outcomes.push_back(pool.Collect());
    }
    while (pool.queued() != 0) outcomes.push_back(pool.Collect());
  }
  std::vector<Result> results;
  for (size_t i = 0; i < outcomes.size(); ++i) {
    results.push_back({outcomes[i].status.code, outcomes[i].status.message, outcomes[i].size,
                       extract ? ReadBack(fds[i]) : Bytes{}});
    if (fds[i] >= 0) close(fds[i]);
  }
  return results;
}

TEST(EntryWorkers, GiveTheOutcomesOneThreadGivesInOrder) {
  // Sound archives of each method, a volume set, garbled entries, and
  // damaged ones whose entries fail.
  for (const char* name : {"method1.arj", "method2.arj", "method3.arj", "method4.arj", "method0.arj", "split.arj",
                           "garbled.arj", "truncated.arj", "badheader.arj", "trailing.arj"}) {
    for (bool extract : {false, true}) {
      const std::vector<Result> alone = Outcomes(name, 0, extract);
      ASSERT_FALSE(alone.empty()) << name;
      for (unsigned workers : {1u, 2u, 5u})
        EXPECT_TRUE(Outcomes(name, workers, extract) == alone)
            << name << (extract ? " extracted" : " tested") << " by " << workers << " workers";
    }
  }
}

TEST(EntryWorkers, AskForPasswordsInTheArchivesOrder) {
  std::vector<std::string> alone, pooled;
  Outcomes("garbled.arj", 0, false, &alone);
  const std::vector<Result> tested = Outcomes("garbled.arj", 3, false, &pooled);
  EXPECT_GE(alone.size(), 2u);
  for (const Result& r : tested) EXPECT_EQ(r.code, arjhost::Code::kOk) << r.error;
  EXPECT_EQ(pooled, alone);
}

// With the password given (right or wrong), garbled entries go to any
// worker and give what one thread gives.
TEST(EntryWorkers, ShareGarbledEntriesWhenNoOneIsAsked) {
  for (const char* password : {"secret", "wrong"}) {
    for (bool extract : {false, true}) {
      const std::vector<Result> alone = Outcomes("garbled.arj", 0, extract, nullptr, Given(password));
      ASSERT_GE(alone.size(), 2u);
      EXPECT_EQ(alone[0].code, password == std::string("secret") ? arjhost::Code::kOk : arjhost::Code::kWrongPassword);
      for (unsigned workers : {1u, 2u, 5u})
        EXPECT_TRUE(Outcomes("garbled.arj", workers, extract, nullptr, Given(password), true) == alone)
            << password << (extract ? " extracted" : " tested") << " by " << workers << " workers";
    }
  }
}

// Under recovery an archive whose ARJ-PROTECT record rebuilds a damaged
// block of data (its headers read the same either way) is read as rebuilt
// by every worker too, as it opens the file again: every entry sound, as
// in the archive before the damage, and the state says which block.
TEST(EntryWorkers, ReadAnArchiveAsItsRecordRebuiltIt) {
  TempDir dir;
  Bytes damaged = DataFile("protected.arj");
  damaged[7000] ^= 0x55;  // in block 6, a file's data
  WriteFile(dir.File("d.arj"), damaged);
  arjhost::OpenOptions recover;
  recover.recover = true;
  {
    Opened o(dir.File("d.arj"), recover);
    ASSERT_TRUE(o.archive);
    const arjhost::ArchiveState& state = o.archive->state();
    ASSERT_EQ(state.record_rebuilds.size(), 1u);
    EXPECT_EQ(state.record_rebuilds[0].volume, "d.arj");
    EXPECT_EQ(state.record_rebuilds[0].damaged_blocks, std::vector<uint32_t>{6});
    EXPECT_TRUE(state.record_rebuilds[0].rebuilt);
    EXPECT_FALSE(state.damaged);
  }
  const std::vector<Result> sound = Outcomes("protected.arj", 0, true);
  ASSERT_EQ(sound.size(), 6u);
  for (const Result& r : sound) EXPECT_EQ(r.code, arjhost::Code::kOk) << r.error;
  for (unsigned workers : {0u, 1u, 3u})
    EXPECT_TRUE(Outcomes(dir.File("d.arj"), workers, true, nullptr, nullptr, false, recover) == sound)
        << workers << " workers";
  // Without recovery the damage is seen.
  EXPECT_FALSE(Outcomes(dir.File("d.arj"), 2, true) == sound);
}

// Dropped with entries still queued: the ones under way finish, the rest
// are never started, and nothing is left open.
TEST(EntryWorkers, StopCleanlyWithEntriesLeft) {
  Opened o("method1.arj");
  ASSERT_TRUE(o.archive);
  const std::vector<arjhost::EntryInfo> entries = o.archive->Entries();
  {
    arjhost::EntryWorkers pool(o.host, *o.archive, o.path, {}, 2);
    for (const arjhost::EntryInfo& e : entries) pool.Submit(e, -1, nullptr);
    EXPECT_TRUE(IsOk(pool.Collect().status));
  }
  EXPECT_TRUE(IsOk(o.archive->Test(entries.back(), nullptr).status)) << "the caller's archive is untouched";
}

// Without an archive file to open again, Collect does the work itself.
TEST(EntryWorkers, WithoutWorkersCollectDoesTheWork) {
  Opened o("method2.arj");
  ASSERT_TRUE(o.archive);
  const std::vector<arjhost::EntryInfo> entries = o.archive->Entries();
  arjhost::EntryWorkers pool(o.host, *o.archive, SourcePath("tests/data/missing.arj"), {}, 2);
  for (const arjhost::EntryInfo& e : entries) pool.Submit(e, -1, nullptr);
  for (const arjhost::EntryInfo& e : entries) EXPECT_EQ(pool.Collect().size, e.size) << e.name;
}

// The loop every door runs: verdicts in the archive's order whether an
// entry was decoded by a worker, by the caller, judged damaged by its
// header or refused untried between them, and what makes no file is
// passed over.
TEST(EntryRun, ReportsEveryVerdictInTheArchivesOrder) {
  for (const char* name : {"method1.arj", "garbled.arj", "badheader.arj", "split.arj", "comment.arj", "truncated.arj"}) {
    std::vector<std::string> runs[2];
    for (unsigned workers : {0u, 3u}) {
      Opened o(name);
      ASSERT_TRUE(o.archive) << name;
      const std::vector<arjhost::EntryInfo> entries = o.archive->Entries();
      std::vector<const arjhost::EntryInfo*> chosen;
      for (const arjhost::EntryInfo& e : entries) chosen.push_back(&e);
      std::vector<std::string>& seen = runs[workers == 0 ? 0 : 1];
      arjhost::EntryRun run({o.host, *o.archive, o.path, {}}, Given("secret"),
                            [&seen](const arjhost::EntryInfo& e, const arjhost::ExtractResult& outcome,
                                    arjhost::PlacedFile, bool decoded) {
                              seen.push_back(e.name + (decoded ? " decoded " : " judged ") + outcome.status.message);
                            });
      run.StartWorkers(workers, true);
      arjhost::EntryLoopHooks hooks;
      size_t tried = 0;
      hooks.untried = [&tried](const arjhost::EntryInfo&) -> arjhost::Status {
        if (++tried % 3 == 0) return {arjhost::Code::kCancelled, "left"};
        return {};
      };
      arjhost::RunChosenEntries(run, chosen, hooks);
      size_t makes_no_file = 0;
      for (const arjhost::EntryInfo& e : entries) makes_no_file += arjhost::CheckEntry(e).ok() && arjhost::MakesNoFile(e);
      EXPECT_EQ(seen.size(), entries.size() - makes_no_file) << name;
    }
    EXPECT_EQ(runs[1], runs[0]) << name;
  }
}

TEST(EntryWorkers, AreWorthStartingOnlyForSomeEntries) {
  constexpr uint64_t kMiB = uint64_t{1} << 20;
  EXPECT_EQ(arjhost::EntryWorkerCount(0, 0, 0), 0u);
  EXPECT_EQ(arjhost::EntryWorkerCount(1, 1, 100 * kMiB), 0u);
  EXPECT_EQ(arjhost::EntryWorkerCount(1000000, 1000000, 1000000 * kMiB), 0u) << "each worker would copy the tables";
  // Small entries decode faster than a worker opens the archive again.
  EXPECT_EQ(arjhost::EntryWorkerCount(10000, 10000, 10000 * 1000), 0u);
  EXPECT_EQ(arjhost::EntryWorkerCount(10000, 2, kMiB), 0u) << "two chosen of many: little to share";
  if (std::thread::hardware_concurrency() < 2) return;
  EXPECT_GE(arjhost::EntryWorkerCount(61, 61, 61 * kMiB), 1u);
  EXPECT_GE(arjhost::EntryWorkerCount(10000, 2, 1000 * kMiB), 1u);
  // Fewer as the tables grow: together they stay within a bound.
  EXPECT_EQ(arjhost::EntryWorkerCount(50000, 50000, 50000 * kMiB), 1u);
  EXPECT_LE(arjhost::EntryWorkerCount(10000, 10000, 10000 * kMiB), 5u);
}

// A signal that ends the command must run its handler on the command's own
// thread, which holds it off while it registers a temporary file; the
// starter's mask is as it was.
TEST(WorkerThreads, NeverTakeTheSignalsThatEndACommand) {
  sigset_t before, after, inside;
  pthread_sigmask(SIG_SETMASK, nullptr, &before);
  std::thread t = arjhost::StartWorkerThread([&inside] { pthread_sigmask(SIG_SETMASK, nullptr, &inside); });
  t.join();
  pthread_sigmask(SIG_SETMASK, nullptr, &after);
  for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    EXPECT_EQ(sigismember(&inside, signal_number), 1) << signal_number;
    EXPECT_EQ(sigismember(&after, signal_number), sigismember(&before, signal_number)) << signal_number;
  }
}

}  // namespace
}  // namespace testing_support
