// The tool's commands. Each returns the process exit code.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "cli/input/args.h"
#include "runtime/api/archive.h"

namespace cli {

// Exit codes shared by the commands.
constexpr int kExitOk = 0;
constexpr int kExitPartial = 1;   // damaged, incomplete, or some entries failed
constexpr int kExitFailure = 2;   // not an archive, cannot be opened, bad usage

struct Command {
  std::string name;
  std::string operands;  // for the usage line, which lists the options from `options`
  std::string summary;  // one line for the command list
  std::vector<OptionSpec> options;
  int (*run)(const Args& args);
  std::string description;            // what `arjhost help NAME` explains
  std::vector<std::string> examples;  // command lines, each with a comment
};

// A short name as arj has it: `arjhost l` for `arjhost list`, `arjhost e`
// for `arjhost extract --flat`.
struct Alias {
  std::string name;
  std::string command;
  std::vector<std::string> options;  // given before the user's words
};

const std::vector<Command>& Commands();
const std::vector<Alias>& Aliases();
// The command of that name, or null.
const Command* FindCommand(const std::string& name);
// The alias of that name, or null.
const Alias* FindAlias(const std::string& name);
// "l" for list: the aliases of a command, comma-separated ("" when none).
std::string AliasesOf(const std::string& command);
// Options every command takes.
const std::vector<OptionSpec>& CommonOptions();

int RunPluginInfo(const Args& args);
int RunList(const Args& args);
int RunExtract(const Args& args);
int RunTest(const Args& args);
int RunDelete(const Args& args);
int RunReplace(const Args& args);
int RunAdd(const Args& args);
int RunCreate(const Args& args);
int RunMount(const Args& args);
int RunRepair(const Args& args);

// Hands entries to a visitor, each once, in archive order: a walk of an
// archive's entries (Archive::ForEachEntry) or of a list of them.
using EntryVisitor = std::function<void(const arjhost::EntryInfo&)>;
using EntryWalk = std::function<void(const EntryVisitor&)>;
EntryWalk WalkOf(const std::vector<arjhost::EntryInfo>& entries);

// What the notices of an archive need from all of its entries, taken one
// at a time.
struct ArchiveEntryFacts {
  uint64_t count = 0;
  bool header_damaged = false;  // an entry's header (any part's) fails its CRC
  bool chapter_taken = false;   // an entry is taken for the archive's chapter
  void Add(const arjhost::EntryInfo& e, int chapter);
};

struct Session;
// Prints the notices of a damaged, incomplete or empty archive and of
// entries whose header (any part's) fails its CRC (walking `all` again
// only when there is one); returns the exit code.
int ReportArchiveState(const Session& session, const ArchiveEntryFacts& facts, const EntryWalk& all,
                       const Args& args);
int ReportArchiveState(const Session& session, const std::vector<arjhost::EntryInfo>& entries, const Args& args);

}  // namespace cli
