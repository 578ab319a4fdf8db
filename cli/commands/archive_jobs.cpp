#include "cli/commands/archive_jobs.h"

#include <algorithm>
#include <atomic>
#include <thread>

#include "cli/commands/archive_operands.h"
#include "cli/commands/commands.h"
#include "cli/output/messages.h"
#include "cli/output/ordered_output.h"
#include "runtime/api/pending_files.h"

namespace cli {
namespace {

// More would only add threads waiting for the disk and for their turn.
constexpr unsigned kMostJobs = 256;
// What the archives checked ahead of their turn may hold back together.
constexpr size_t kHeldBackBytes = size_t{8} << 20;

unsigned Cores() { return std::max(1u, std::thread::hardware_concurrency()); }

// --jobs N: digits alone; 0 is one job per core.
bool ReadJobs(const std::string& text, unsigned* jobs) {
  if (text.empty() || text.size() > 3 || text.find_first_not_of("0123456789") != std::string::npos) return false;
  const unsigned n = static_cast<unsigned>(std::stoul(text));
  if (n > kMostJobs) return false;
  *jobs = n == 0 ? Cores() : n;
  return true;
}

}  // namespace

bool PlanArchives(const Args& args, const std::string& command, ArchivePlan* plan) {
  if (args.Has("json") && args.Has("json-lines")) {
    SayError(command, "--json prints one document, --json-lines one line for each archive; choose one");
    return false;
  }
  unsigned jobs = 1;
  if (args.Has("jobs") && !ReadJobs(args.Value("jobs"), &jobs)) {
    SayError(command, "--jobs takes the number of archives checked at once, 1 to %u (0: one for each core), not \"%s\"",
        kMostJobs, args.Value("jobs").c_str());
    return false;
  }
  plan->form = DocumentFormOf(args);
  SplitOperands(args, &plan->paths, &plan->patterns);
  plan->jobs = static_cast<unsigned>(std::min<size_t>(jobs, plan->paths.size()));
  plan->threads_per_archive = std::max(1u, Cores() / plan->jobs);
  return true;
}

std::vector<int> CheckArchives(const ArchivePlan& plan,
                               const std::function<int(size_t index, ArchiveDocument& document)>& check) {
  const size_t count = plan.paths.size();
  std::vector<int> codes(count, kExitOk);
  BeginDocuments(plan.form, count);
  if (plan.jobs <= 1) {
    for (size_t i = 0; i < count; ++i) {
      ArchiveDocument document(plan.form, i, count);
      codes[i] = check(i, document);
    }
  } else {
    OrderedOutput output(count, kHeldBackBytes, WriteNow);
    std::atomic<size_t> next{0};
    // The archives are taken in order, so the one whose turn it is is
    // always under way, and never waits.
    const auto work = [&] {
      for (size_t i; (i = next++) < count;) {
        JobOutputScope scope(output, i);
        ArchiveDocument document(plan.form, i, count);
        codes[i] = check(i, document);
      }
    };
    std::vector<std::thread> threads;
    for (unsigned t = 0; t < plan.jobs; ++t) threads.push_back(arjhost::StartWorkerThread(work));
    for (std::thread& t : threads) t.join();
  }
  EndDocuments(plan.form, count);
  return codes;
}

int WorstOf(const std::vector<int>& codes) {
  return codes.empty() ? kExitOk : *std::max_element(codes.begin(), codes.end());
}

}  // namespace cli
