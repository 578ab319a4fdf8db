// arjhost: list, extract, test and rewrite ARJ archives through the ARJ
// plug-in hosted by our runtime.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/limit_options.h"

namespace cli {

std::vector<OptionSpec> CommonOptions() {
  std::vector<OptionSpec> list = {{"plugin", 0, true}, {"trace", 0, true}, {"help", 'h', false}};
  for (const OptionSpec& o : LimitOptions()) list.push_back(o);
  return list;
}

const std::vector<Command>& Commands() {
  static const std::vector<Command> commands = {
      {"plugin-info", "plugin-info [--plugin PATH]",
       "show what the plug-in registers and check its manifest", {}, RunPluginInfo},
      {"list", "list ARCHIVE [--json] [--single-volume] [--codepage N]",
       "list the entries of an archive (every volume of its set)",
       {{"json", 0, false}, {"single-volume", 0, false}, {"codepage", 0, true}}, RunList},
      {"extract", "extract ARCHIVE [-C DIR] [-p PASSWORD] [-o] [NAME...]",
       "extract entries (all, or those named) under DIR",
       {{"directory", 'C', true}, {"password", 'p', true}, {"overwrite", 'o', false}, {"single-volume", 0, false},
        {"codepage", 0, true}},
       RunExtract},
      {"test", "test ARCHIVE [-p PASSWORD] [NAME...]", "check that every entry extracts with its CRC",
       {{"password", 'p', true}, {"single-volume", 0, false}, {"codepage", 0, true}}, RunTest},
      {"delete", "delete ARCHIVE NAME... [-o OUT]", "rewrite an archive without the named entries",
       {{"output", 'o', true}}, RunDelete},
      {"replace", "replace ARCHIVE NAME=FILE... [-o OUT]", "rewrite an archive with new content for entries",
       {{"output", 'o', true}}, RunReplace},
      {"add", "add ARCHIVE FILE[=STORED_NAME]... [-m METHOD] [-o OUT]", "rewrite an archive with files appended",
       {{"output", 'o', true}, {"method", 'm', true}}, RunAdd},
      {"create", "create NEW.arj FILE... [-m METHOD] [-o OUT]", "write a new archive holding the files",
       {{"output", 'o', true}, {"method", 'm', true}}, RunCreate},
  };
  return commands;
}

namespace {

void PrintUsage(FILE* out) {
  std::fprintf(out, "usage: arjhost COMMAND [OPTIONS] [OPERANDS]\n\ncommands:\n");
  for (const Command& c : Commands()) std::fprintf(out, "  %-40s %s\n", c.synopsis.c_str(), c.summary.c_str());
  std::fprintf(out,
               "\noptions for every command:\n"
               "  --plugin PATH   the plug-in library (default: libarj_plugin.so beside arjhost)\n"
               "  --trace LEVEL   show the plug-in's trace lines up to LEVEL on stderr\n"
               "  -h, --help      show help\n");
}

}  // namespace
}  // namespace cli

int main(int argc, char** argv) {
  using namespace cli;
  std::vector<std::string> words(argv + 1, argv + argc);
  if (words.empty() || words[0] == "--help" || words[0] == "-h" || words[0] == "help") {
    PrintUsage(words.empty() ? stderr : stdout);
    return words.empty() ? kExitFailure : kExitOk;
  }
  const Command* command = nullptr;
  size_t at = 0;
  for (; at < words.size() && command == nullptr; ++at)
    for (const Command& c : Commands())
      if (c.name == words[at]) command = &c;
  if (command == nullptr) {
    std::fprintf(stderr, "arjhost: unknown command \"%s\"; try arjhost --help\n", words[0].c_str());
    return kExitFailure;
  }
  words.erase(words.begin() + static_cast<long>(at) - 1);
  std::vector<OptionSpec> option_list = CommonOptions();
  option_list.insert(option_list.end(), command->options.begin(), command->options.end());
  Args args;
  std::string error;
  if (!ParseArgs(words, option_list, &args, &error)) {
    std::fprintf(stderr, "arjhost %s: %s\n", command->name.c_str(), error.c_str());
    return kExitFailure;
  }
  if (args.Has("help")) {
    std::printf("usage: arjhost %s\n  %s\n", command->synopsis.c_str(), command->summary.c_str());
    return kExitOk;
  }
  return command->run(args);
}
