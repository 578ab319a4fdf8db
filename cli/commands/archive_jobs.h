// What list and test share when they check several archives: the archives
// and patterns named, --jobs (archives checked side by side, each on a
// thread of its own, the output in the order the archives were given) and
// the form of their JSON documents.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "cli/input/args.h"
#include "cli/output/archive_documents.h"

namespace cli {

struct ArchivePlan {
  std::vector<std::string> paths;     // the archives, in the order given
  std::vector<std::string> patterns;  // choosing entries of each
  unsigned jobs = 1;                  // archives checked at once (no more than there are)
  unsigned threads_per_archive = 1;   // the cores shared among them: an archive's own thread and its workers
  DocumentForm form = DocumentForm::kNone;
};

// Reads the plan from the command line; false after saying what is wrong
// (a usage error).
bool PlanArchives(const Args& args, const std::string& command, ArchivePlan* plan);

// Checks archive i (0 to plan.paths.size() - 1) with check(i, its
// document), plan.jobs at a time, and returns every archive's exit code
// in order. What a check writes comes out in the archives' order: that of
// the earliest archive not done at once, the others' held back (within a
// bound, past which a check waits for its turn).
std::vector<int> CheckArchives(const ArchivePlan& plan,
                               const std::function<int(size_t index, ArchiveDocument& document)>& check);

// The exit code of the whole command: the worst of the archives'.
int WorstOf(const std::vector<int>& codes);

}  // namespace cli
