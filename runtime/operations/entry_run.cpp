#include "runtime/operations/entry_run.h"

#include <algorithm>
#include <utility>

namespace arjhost {
namespace {

// Enough under way to keep every worker busy while the oldest finishes;
// an extraction holds two descriptors for each.
constexpr size_t kUnderWay = 16;

}  // namespace

EntryRun::EntryRun(const EntryRunSource& source, const PasswordSource& passwords, Verdict verdict)
    : source_(source), passwords_(passwords), verdict_(std::move(verdict)) {}

EntryRun::~EntryRun() = default;

void EntryRun::ShareOut(size_t entry_count, const std::vector<const EntryInfo*>& chosen, unsigned max_workers,
                        bool garbled_anywhere) {
  if (source_.reopen_path.empty()) return;
  uint64_t bytes = 0;
  for (const EntryInfo* e : chosen) bytes += e->size;
  const unsigned count = std::min(EntryWorkerCount(entry_count, chosen.size(), bytes), max_workers);
  StartWorkers(count, garbled_anywhere);
}

void EntryRun::StartWorkers(unsigned count, bool garbled_anywhere) {
  if (count == 0 || source_.reopen_path.empty()) return;
  workers_ = std::make_unique<EntryWorkers>(source_.host, source_.archive, source_.reopen_path, source_.options, count);
  if (garbled_anywhere) workers_->AllowGarbledOnWorkers();
}

void EntryRun::Test(const EntryInfo& entry) {
  if (!workers_) return verdict_(entry, source_.archive.Test(entry, passwords_), PlacedFile(), true);
  workers_->Submit(entry, -1, passwords_);
  pending_.push_back({&entry, PlacedFile()});
  if (pending_.size() >= kUnderWay) FinishOldest();
}

void EntryRun::Extract(const EntryInfo& entry, PlacedFile file) {
  if (!workers_) {
    const ExtractResult outcome = source_.archive.ExtractToFile(entry, file.fd(), passwords_);
    return verdict_(entry, outcome, std::move(file), true);
  }
  workers_->Submit(entry, file.fd(), passwords_);
  pending_.push_back({&entry, std::move(file)});
  if (pending_.size() >= kUnderWay) FinishOldest();
}

void EntryRun::Report(const EntryInfo& entry, const Status& status) {
  Settle();
  ExtractResult outcome;
  outcome.status = status;
  verdict_(entry, outcome, PlacedFile(), false);
}

void EntryRun::Settle() {
  if (reporting_) return;
  while (!pending_.empty()) FinishOldest();
}

void EntryRun::FinishOldest() {
  Pending p = std::move(pending_.front());
  pending_.pop_front();
  const ExtractResult outcome = workers_->Collect();
  reporting_ = true;
  verdict_(*p.entry, outcome, std::move(p.file), true);
  reporting_ = false;
}

bool EntryRun::UnderWay(const std::string& path) const {
  for (const Pending& p : pending_) {
    const std::string& under_way = p.file.path();
    const std::string& a = under_way.size() <= path.size() ? under_way : path;
    const std::string& b = under_way.size() <= path.size() ? path : under_way;
    if (b.compare(0, a.size(), a) == 0 && (a.size() == b.size() || b[a.size()] == '/')) return true;
  }
  return false;
}

void RunChosenEntries(EntryRun& run, const std::vector<const EntryInfo*>& chosen, const EntryLoopHooks& hooks) {
  for (size_t i = 0; i < chosen.size(); ++i) {
    const EntryInfo& e = *chosen[i];
    if (hooks.next) hooks.next(i);
    if (const Status problem = CheckEntry(e); !problem.ok()) {
      if (!hooks.refused) {
        run.Report(e, problem);
        continue;
      }
      run.Settle();
      hooks.refused(e, problem);
      continue;
    }
    if (MakesNoFile(e)) continue;
    if (hooks.untried)
      if (const Status why = hooks.untried(e); !why.ok()) {
        run.Report(e, why);
        continue;
      }
    if (hooks.attempt) hooks.attempt(e);
    else run.Test(e);
  }
  run.Settle();
}

}  // namespace arjhost
