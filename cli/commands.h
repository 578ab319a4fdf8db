// The tool's commands. Each returns the process exit code.
#pragma once

#include <string>
#include <vector>

#include "cli/args.h"

namespace cli {

// Exit codes shared by the commands.
constexpr int kExitOk = 0;
constexpr int kExitPartial = 1;   // damaged, incomplete, or some entries failed
constexpr int kExitFailure = 2;   // not an archive, cannot be opened, bad usage

struct Command {
  std::string name;
  std::string synopsis;
  std::string summary;
  std::vector<OptionSpec> options;
  int (*run)(const Args& args);
};

const std::vector<Command>& Commands();
// Options every command takes.
std::vector<OptionSpec> CommonOptions();

int RunPluginInfo(const Args& args);
int RunList(const Args& args);
int RunExtract(const Args& args);
int RunTest(const Args& args);
int RunDelete(const Args& args);
int RunReplace(const Args& args);
int RunAdd(const Args& args);
int RunCreate(const Args& args);

struct Session;
int ReportArchiveState(const Session& session);

}  // namespace cli
