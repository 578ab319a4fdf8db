// The run of test and extract over an archive's chosen entries, as every
// door runs it: each entry judged (CheckEntry) before anything is made,
// what makes no file passed over, the rest decoded on worker threads when
// that pays (each opening the archive's file again), and every verdict
// reported in the archive's order, whether decoded by a worker, by the
// caller's thread, or refused untried.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "runtime/api/archive.h"
#include "runtime/operations/entry_workers.h"
#include "runtime/api/export.h"
#include "runtime/operations/folder_extraction.h"
#include "runtime/api/host.h"

namespace arjhost {

// The archive a run reads, and how to open it again for workers.
struct EntryRunSource {
  Host& host;
  Archive& archive;
  std::string reopen_path;  // empty: it cannot be opened again (a stream), so no workers
  OpenOptions options;
};

class ARJHOST_API EntryRun {
 public:
  // An entry's verdict, in archive order, with the file its extraction
  // wrote (empty for a test, or a verdict reached without decoding);
  // `decoded` false when it was reached without decoding (Report).
  using Verdict =
      std::function<void(const EntryInfo& entry, const ExtractResult& outcome, PlacedFile file, bool decoded)>;

  EntryRun(const EntryRunSource& source, const PasswordSource& passwords, Verdict verdict);
  ~EntryRun();
  EntryRun(const EntryRun&) = delete;
  EntryRun& operator=(const EntryRun&) = delete;

  // Starts workers for `chosen` of the archive's `entry_count` entries (as
  // many as EntryWorkerCount gives, at most `max_workers`);
  // `garbled_anywhere` when the passwords ask no one, so garbled entries
  // decode side by side too.
  void ShareOut(size_t entry_count, const std::vector<const EntryInfo*>& chosen, unsigned max_workers,
                bool garbled_anywhere);
  // Starts `count` workers (none: 0) whatever the entries.
  void StartWorkers(unsigned count, bool garbled_anywhere);
  // Decodes `entry`: only checked, or into `file` (placed by the caller).
  void Test(const EntryInfo& entry);
  void Extract(const EntryInfo& entry, PlacedFile file);
  // A verdict reached without decoding, reported after those before it.
  void Report(const EntryInfo& entry, const Status& status);
  // Every verdict due reported. Called from within a verdict it does
  // nothing: the entries before it are reported already.
  void Settle();
  // An entry under way whose path lies on the way to `path` or under it.
  bool UnderWay(const std::string& path) const;

 private:
  struct Pending {
    const EntryInfo* entry;
    PlacedFile file;
  };
  void FinishOldest();

  EntryRunSource source_;
  PasswordSource passwords_;
  Verdict verdict_;
  std::unique_ptr<EntryWorkers> workers_;
  std::deque<Pending> pending_;
  bool reporting_ = false;
};

// What a door adds to the shared loop over the chosen entries.
struct EntryLoopHooks {
  std::function<void(size_t index)> next;  // before each entry (progress)
  // An entry its header refuses (CheckEntry), once those before it are
  // reported: the door reports its verdict. Unset: it fails as refused.
  std::function<void(const EntryInfo&, const Status& problem)> refused;
  // A failed status fails the entry untried (no password left to try).
  std::function<Status(const EntryInfo&)> untried;
  // What is done with an admitted entry; unset: it is tested.
  std::function<void(const EntryInfo&)> attempt;
};

// Tests or extracts `chosen` in order through `run`, as the tool's test
// and extract, arjhost_test_all and the bindings do: each entry judged by
// its header before anything is made of it, what makes no file (a label, a
// comment alone) passed over; returns once every verdict is reported.
ARJHOST_API void RunChosenEntries(EntryRun& run, const std::vector<const EntryInfo*>& chosen,
                                  const EntryLoopHooks& hooks);

}  // namespace arjhost
