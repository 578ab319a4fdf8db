#include "cli/commands/archive_operands.h"

#include <sys/stat.h>

#include <cctype>
#include <memory>

#include "runtime/api/archive.h"
#include "runtime/api/host.h"

namespace cli {
namespace {

bool NamesAnArchive(arjhost::Host* host, const std::string& operand) {
  std::string lower = operand;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (lower.size() > 4 && lower.compare(lower.size() - 4, 4, ".arj") == 0 &&
      operand.find_first_of("*?") == std::string::npos)
    return true;
  struct stat st;
  return host != nullptr && ::stat(operand.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
         arjhost::Archive::Recognizes(*host, operand);
}

}  // namespace

void SplitOperands(const Args& args, std::vector<std::string>* paths, std::vector<std::string>* patterns) {
  // Loaded only to tell archives from patterns; a plug-in that does not
  // load is named when the first archive is opened.
  std::unique_ptr<arjhost::Host> host;
  if (args.operands.size() > 1) {
    host = std::make_unique<arjhost::Host>();
    if (!host->LoadPlugin(args.Value("plugin")).ok()) host.reset();
  }
  for (size_t i = 0; i < args.operands.size(); ++i)
    (i == 0 || NamesAnArchive(host.get(), args.operands[i]) ? paths : patterns)->push_back(args.operands[i]);
  if (paths->empty()) paths->push_back("");
}

}  // namespace cli
