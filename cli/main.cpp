// arjhost: list, extract, test and rewrite ARJ archives through the ARJ
// plug-in hosted by our runtime.
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>
#ifdef __GLIBC__
#include <malloc.h>
#endif

#include "cli/commands/commands.h"
#include "cli/output/failure_json.h"
#include "cli/commands/help.h"
#include "cli/commands/interrupts.h"
#include "cli/output/messages.h"
#include "cli/commands/session.h"
#include "runtime/api/version.h"

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
  const Alias* alias = FindAlias(words[1]);
  const Command* command = FindCommand(alias != nullptr ? alias->command : words[1]);
  if (command == nullptr) {
    SayError("help", "unknown command \"%s\"; try arjhost --help", words[1].c_str());
    return kExitFailure;
  }
  PrintCommandHelp(*command, stdout);
  return kExitOk;
}

// Whether `word` is a common option that takes its value from the next
// word ("--plugin PATH"), so that the value is not taken for a command.
bool TakesNextWord(const std::string& word) {
  for (const OptionSpec& o : CommonOptions()) {
    if (!o.takes_value) continue;
    if (word == "--" + o.name || (o.short_name != 0 && word == std::string("-") + o.short_name)) return true;
  }
  return false;
}

// Where the command word stands: the first word that names a command or
// an alias, past common options and their values; words.size() when none.
size_t CommandWordAt(const std::vector<std::string>& words) {
  for (size_t at = 0; at < words.size(); ++at) {
    if (words[at] == "--") break;
    if (FindCommand(words[at]) != nullptr || FindAlias(words[at]) != nullptr) return at;
    if (TakesNextWord(words[at])) ++at;
  }
  return words.size();
}

// Whether the command line asks for JSON (`option`: "--json" or
// "--json-lines").
bool AskedFor(const std::vector<std::string>& words, const std::string& option) {
  for (const std::string& w : words) {
    if (w == "--") break;
    if (w == option) return true;
  }
  return false;
}

int RunCommand(std::vector<std::string> words, std::string* command_name, std::string* archive) {
  const size_t at = CommandWordAt(words);
  if (at == words.size()) {
    std::string first;
    for (const std::string& w : words)
      if (first.empty() && !w.empty() && w[0] != '-') first = w;
    if (first.empty()) SayError("", "no command given; try arjhost --help");
    else SayError("", "unknown command \"%s\"; try arjhost --help", first.c_str());
    return kExitFailure;
  }
  const Alias* alias = FindAlias(words[at]);
  const Command* command = FindCommand(alias != nullptr ? alias->command : words[at]);
  words.erase(words.begin() + static_cast<long>(at));
  if (alias != nullptr) words.insert(words.begin(), alias->options.begin(), alias->options.end());
  *command_name = command->name;
  std::vector<OptionSpec> option_list = CommonOptions();
  option_list.insert(option_list.end(), command->options.begin(), command->options.end());
  Args args;
  std::string error;
  if (!ParseArgs(words, option_list, &args, &error)) {
    SayError(command->name, "%s; try arjhost %s --help", error.c_str(), command->name.c_str());
    return kExitFailure;
  }
  if (args.Has("help")) {
    PrintCommandHelp(*command, stdout);
    return kExitOk;
  }
  if (!args.operands.empty()) *archive = args.operands[0];
  int trace_level = 0;
  if (args.Has("trace") && !ParseTraceLevel(args.Value("trace"), &trace_level)) {
    SayError(command->name, "--trace takes a level, a number from 0 (none) to 400 (every line), not \"%s\"", args.Value("trace").c_str());
    return kExitFailure;
  }
  return command->run(args);
}

int RunCommandLine(const std::vector<std::string>& words) {
  if (words.size() == 1 && words[0] == "--version") {
    std::printf("arjhost %s\n", arjhost::Version());
    return kExitOk;
  }
  if (words.empty() || IsHelpWord(words[0])) return RunHelp(words);
  std::string command, archive;
  const int code = RunCommand(words, &command, &archive);
  // With --json a script gets a document even when the command fails
  // before it writes one.
  const bool lines = AskedFor(words, "--json-lines");
  if ((lines || AskedFor(words, "--json")) && code != kExitOk && !DocumentWritten())
    PrintFailureJson(command, archive, LastError(), lines);
  return code;
}

}  // namespace
}  // namespace cli

int main(int argc, char** argv) {
#ifdef __GLIBC__
  // Testing an entry frees a few hundred KiB, and glibc hands the top of a
  // heap back to the system (and faults it in again for the next entry)
  // each time more than its trim threshold is free there, on every thread
  // but the first alike: archives tested side by side then spent more time
  // in the kernel than decoding. Fixed at the bounds glibc's own moving
  // thresholds reach.
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 64 << 20);
#endif
  cli::RemovePendingFilesOnSignals();
  // Past the file size limit (ulimit -f) a write then fails with EFBIG, which
  // is named, and the temporary files are removed; the signal would end the
  // tool with them left behind.
  std::signal(SIGXFSZ, SIG_IGN);
  return cli::RunCommandLine(std::vector<std::string>(argv + 1, argv + argc));
}
