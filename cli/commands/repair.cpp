// arjhost repair: a damaged archive rebuilt from its ARJ-PROTECT record
// into a new file, as arj q does.
#include "cli/commands/commands.h"
#include "cli/commands/session.h"
#include "cli/output/messages.h"
#include "runtime/api/repair.h"

namespace cli {
namespace {

// "backup.arj" gives "backup.repaired.arj" beside it.
std::string DefaultRepairedName(const std::string& archive) {
  const size_t slash = archive.find_last_of('/');
  const size_t dot = archive.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash) || dot == slash + 1)
    return archive + ".repaired.arj";
  return archive.substr(0, dot) + ".repaired" + archive.substr(dot);
}

std::string BlockList(const std::vector<uint32_t>& blocks) {
  std::string text;
  for (size_t i = 0; i < blocks.size() && i < 10; ++i) text += (i ? ", " : "") + std::to_string(blocks[i]);
  if (blocks.size() > 10) text += ", ...";
  return text;
}

}  // namespace

int RunRepair(const Args& args) {
  if (args.operands.size() != 1) {
    SayError("repair", "give one archive; try arjhost repair --help");
    return kExitFailure;
  }
  const std::string& archive = args.operands[0];
  if (archive == "-") {
    SayError("repair", "the archive must be a file, not standard input");
    return kExitFailure;
  }
  const std::string out = args.Value("output", DefaultRepairedName(archive));
  const arjhost::RepairReport report = arjhost::RepairArchive(archive, out);
  const std::string name = ShowPath(archive);
  switch (report.verdict) {
    case arjhost::RepairVerdict::kSound:
      Say("%s: every block checks against the ARJ-PROTECT record; nothing to repair\n", name.c_str());
      return kExitOk;
    case arjhost::RepairVerdict::kRepaired:
      if (!report.damaged_blocks.empty())
        Say("%s: %s %s of 1,024 bytes %s damaged; rebuilt from the ARJ-PROTECT record into %s\n", name.c_str(),
            report.damaged_blocks.size() == 1 ? "block" : "blocks", BlockList(report.damaged_blocks).c_str(),
            report.damaged_blocks.size() == 1 ? "was" : "were", ShowPath(out).c_str());
      if (report.record_rebuilt)
        Say("%s: its ARJ-PROTECT record was damaged; written anew into %s\n", name.c_str(), ShowPath(out).c_str());
      return kExitOk;
    case arjhost::RepairVerdict::kBeyondRecord:
      SayError("repair", "%s: damaged blocks %s: %s; nothing written", name.c_str(),
               BlockList(report.damaged_blocks).c_str(), report.cause.c_str());
      return kExitPartial;
    case arjhost::RepairVerdict::kNoRecord:
      SayError("repair", "%s: %s; nothing written", name.c_str(), report.cause.c_str());
      return kExitPartial;
    case arjhost::RepairVerdict::kFailed:
      break;
  }
  SayError("repair", "%s: %s", name.c_str(), ShowPath(report.cause).c_str());
  return kExitFailure;
}

}  // namespace cli
