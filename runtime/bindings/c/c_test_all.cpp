// arjhost_test_all: every entry of the archive tested as `arjhost test`
// tests it (the one loop both run), reported in archive order.
#include <limits>

#include "runtime/bindings/c/c_archive.h"
#include "runtime/operations/entry_run.h"

using arjhost::capi::CodeOf;
using arjhost::capi::Guarded;

extern "C" int arjhost_test_all(arjhost_archive* a, arjhost_result_callback callback, void* user) {
  int r = ARJHOST_OK;
  if (a == nullptr) return ARJHOST_ERR_ARGUMENT;
  if (!a->Usable(&r)) return r;
  return Guarded(a->failure, [&] {
    a->EndStream();
    // The entries `arjhost test` takes by default: those of the archive's
    // own chapter (every entry without chapters), none when it is refused.
    std::vector<const arjhost::EntryInfo*> chosen;
    for (const arjhost::EntryInfo& e : a->entries)
      if (a->chapters.Takes(e)) chosen.push_back(&e);
    arjhost::capi::Failure first;
    const auto verdict = [&](const arjhost::EntryInfo& e, const arjhost::ExtractResult& outcome, arjhost::PlacedFile, bool) {
      arjhost_entry entry = a->EntryOf(e);
      entry.tested = outcome.size;
      arjhost::capi::Failure f;
      if (!outcome.ok()) f.Set(CodeOf(outcome.status), a->label + ": " + entry.name + ": " + outcome.status.message);
      if (first.code == ARJHOST_OK) first = f;
      if (callback != nullptr) callback(user, &entry, f.code, f.message.c_str());
    };
    // Each worker opens the archive's file again: only a file can be shared.
    arjhost::EntryRun run({*a->host, *a->archive, a->path, a->open_options}, a->Passwords(), verdict);
    const unsigned threads = a->settings.options.max_threads;
    run.ShareOut(a->entries.size(), chosen, threads == 0 ? std::numeric_limits<unsigned>::max() : threads - 1, false);
    arjhost::RunChosenEntries(run, chosen, {});
    a->failure = first;
    return a->failure.code;
  });
}
