// arjhost: list, extract, test and rewrite ARJ archives through the ARJ
// plug-in hosted by our runtime.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/help.h"
#include "cli/interrupts.h"

namespace cli {
namespace {

bool IsHelpWord(const std::string& word) { return word == "--help" || word == "-h" || word == "help"; }

// `arjhost`, `arjhost --help`, `arjhost help [COMMAND]`.
int RunHelp(const std::vector<std::string>& words) {
  if (words.empty()) {
    PrintOverview(stderr);
    return kExitFailure;
  }
  if (words[0] != "help" || words.size() == 1) {
    PrintOverview(stdout);
    return kExitOk;
  }
  const Command* command = FindCommand(words[1]);
  if (command == nullptr) {
    std::fprintf(stderr, "arjhost help: unknown command \"%s\"; try arjhost --help\n", words[1].c_str());
    return kExitFailure;
  }
  PrintCommandHelp(*command, stdout);
  return kExitOk;
}

int RunCommandLine(std::vector<std::string> words) {
  if (words.empty() || IsHelpWord(words[0])) return RunHelp(words);
  // The command is the first word that names one, so that common options
  // may come before it.
  size_t at = 0;
  const Command* command = nullptr;
  for (; at < words.size() && command == nullptr; ++at) command = FindCommand(words[at]);
  if (command == nullptr) {
    std::string first;
    for (const std::string& w : words)
      if (first.empty() && !w.empty() && w[0] != '-') first = w;
    if (first.empty()) std::fprintf(stderr, "arjhost: no command given; try arjhost --help\n");
    else std::fprintf(stderr, "arjhost: unknown command \"%s\"; try arjhost --help\n", first.c_str());
    return kExitFailure;
  }
  words.erase(words.begin() + static_cast<long>(at) - 1);
  std::vector<OptionSpec> option_list = CommonOptions();
  option_list.insert(option_list.end(), command->options.begin(), command->options.end());
  Args args;
  std::string error;
  if (!ParseArgs(words, option_list, &args, &error)) {
    std::fprintf(stderr, "arjhost %s: %s; try arjhost %s --help\n", command->name.c_str(), error.c_str(),
                 command->name.c_str());
    return kExitFailure;
  }
  if (args.Has("help")) {
    PrintCommandHelp(*command, stdout);
    return kExitOk;
  }
  return command->run(args);
}

}  // namespace
}  // namespace cli

int main(int argc, char** argv) {
  cli::RemovePendingFilesOnSignals();
  return cli::RunCommandLine(std::vector<std::string>(argv + 1, argv + argc));
}
