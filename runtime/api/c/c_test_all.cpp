// arjhost_test_all: every entry of the archive tested as `arjhost test`
// tests it, on worker threads when that pays, reported in archive order.
#include <deque>
#include <memory>

#include "runtime/api/c/c_archive.h"
#include "runtime/api/entry_workers.h"
#include "runtime/api/folder_extraction.h"

using arjhost::capi::CodeOf;
using arjhost::capi::Guarded;

namespace {

// Enough under way to keep every worker busy while the oldest finishes.
constexpr size_t kUnderWay = 16;

// The entries `arjhost test` takes by default: those of the archive's own
// chapter (every entry without chapters), none when that chapter is refused.
std::vector<const arjhost::EntryInfo*> Chosen(const arjhost_archive& a, uint64_t* bytes) {
  std::vector<const arjhost::EntryInfo*> chosen;
  *bytes = 0;
  for (const arjhost::EntryInfo& e : a.entries)
    if (a.chapters.Takes(e)) chosen.push_back(&e), *bytes += e.size;
  return chosen;
}

// Each entry's result to the callback; the first failure kept.
struct Report {
  Report(arjhost_archive& handle, arjhost_result_callback to, void* with) : a(handle), callback(to), user(with) {}

  arjhost_archive& a;
  arjhost_result_callback callback;
  void* user;
  arjhost::capi::Failure first;

  void operator()(const arjhost::EntryInfo& e, const arjhost::Status& status, uint64_t tested = 0) {
    arjhost_entry entry = a.EntryOf(e);
    entry.tested = tested;
    arjhost::capi::Failure f;
    if (!status.ok()) f.Set(CodeOf(status), a.label + ": " + entry.name + ": " + status.message);
    if (first.code == ARJHOST_OK) first = f;
    if (callback != nullptr) callback(user, &entry, f.code, f.message.c_str());
  }
};

}  // namespace

extern "C" int arjhost_test_all(arjhost_archive* a, arjhost_result_callback callback, void* user) {
  int r = ARJHOST_OK;
  if (a == nullptr) return ARJHOST_ERR_ARGUMENT;
  if (!a->Usable(&r)) return r;
  return Guarded(a->failure, [&] {
    a->EndStream();
    uint64_t bytes = 0;
    const std::vector<const arjhost::EntryInfo*> chosen = Chosen(*a, &bytes);
    Report report(*a, callback, user);
    const arjhost::PasswordSource passwords = a->Passwords();
    // Each worker opens the archive's file again: only a file can be shared.
    std::unique_ptr<arjhost::EntryWorkers> workers;
    if (const unsigned count = arjhost::EntryWorkerCount(a->entries.size(), chosen.size(), bytes);
        count > 0 && !a->path.empty())
      workers = std::make_unique<arjhost::EntryWorkers>(*a->host, *a->archive, a->path, a->open_options, count);
    std::deque<const arjhost::EntryInfo*> pending;
    auto finish_oldest = [&] {
      const arjhost::ExtractResult outcome = workers->Collect();
      report(*pending.front(), outcome.status, outcome.size);
      pending.pop_front();
    };
    for (const arjhost::EntryInfo* e : chosen) {
      if (const arjhost::Status problem = arjhost::CheckEntry(*e); !problem.ok()) {
        while (!pending.empty()) finish_oldest();
        report(*e, problem);
        continue;
      }
      if (arjhost::MakesNoFile(*e)) continue;
      if (!workers) {
        const arjhost::ExtractResult outcome = a->archive->Test(*e, passwords);
        report(*e, outcome.status, outcome.size);
        continue;
      }
      workers->Submit(*e, -1, passwords);
      pending.push_back(e);
      if (pending.size() >= kUnderWay) finish_oldest();
    }
    while (!pending.empty()) finish_oldest();
    a->failure = report.first;
    return a->failure.code;
  });
}
