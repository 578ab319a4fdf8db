// The tool's help and its answers to bad usage.
#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <utility>

#include "tests/support/files.h"
#include "tests/support/tool_runner.h"

namespace {

using namespace testing_support;

// The command names of the overview, one per line after "commands:".
std::vector<std::string> ListedCommands(const std::string& overview) {
  std::vector<std::string> names;
  std::istringstream lines(overview.substr(overview.find("commands:\n") + 10));
  std::string line;
  while (std::getline(lines, line) && line.rfind("  ", 0) == 0) {
    std::istringstream words(line);
    std::string name;
    words >> name;
    names.push_back(name);
  }
  return names;
}

// The options a help text lists, one per line: "-x, --exclude PATTERN"
// gives {"-x PATTERN", "--exclude"}, "--json" gives {"--json", "--json"}:
// how a usage line names it, and its long name.
std::vector<std::pair<std::string, std::string>> ListedOptions(const std::string& help, const std::string& heading) {
  std::vector<std::pair<std::string, std::string>> options;
  std::istringstream lines(help.substr(help.find(heading) + heading.size()));
  std::string line;
  while (std::getline(lines, line) && line.rfind("  ", 0) == 0 && line.find_first_not_of(' ') == line.find('-')) {
    std::istringstream words(line);
    std::string first, second, value;
    words >> first;
    const bool has_short = first.size() == 3 && first[2] == ',';
    if (has_short) words >> second;
    words >> value;
    const std::string long_name = has_short ? second : first;
    std::string usage = has_short ? first.substr(0, 2) : first;
    if (!value.empty() && value.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ_=") == std::string::npos) usage += " " + value;
    options.emplace_back(usage, long_name);
  }
  return options;
}

// Each command's usage line names every option of its own, and the
// manual's COMMANDS section shows that very line.
TEST(HelpCommand, EveryCommandHasUsageOptionsAndExamples) {
  std::string overview;
  ASSERT_EQ(RunTool("--help", &overview), 0);
  const std::vector<std::string> names = ListedCommands(overview);
  EXPECT_EQ(names, (std::vector<std::string>{"plugin-info", "list", "extract", "test", "delete", "replace", "add",
                                             "create", "repair", "mount"}));
  std::set<std::string> common;
  for (const auto& [usage, long_name] : ListedOptions(overview, "options for every command:\n")) common.insert(long_name);
  const Bytes manual_bytes = ReadFile(SourcePath("README.md"));
  const std::string manual(manual_bytes.begin(), manual_bytes.end());
  for (const std::string& name : names) {
    std::string by_word, by_option;
    EXPECT_EQ(RunTool("help " + name, &by_word), 0) << name;
    EXPECT_EQ(RunTool(name + " --help", &by_option), 0) << name;
    EXPECT_EQ(by_word, by_option);
    for (const std::string& part : {"usage: arjhost " + name, std::string("options:"), std::string("--plugin PATH"),
                                    std::string("examples:\n  arjhost " + name)})
      EXPECT_NE(by_word.find(part), std::string::npos) << name << ": " << part << "\n" << by_word;
    const std::string usage = by_word.substr(0, by_word.find('\n')) + " ";
    for (const auto& [in_usage, long_name] : ListedOptions(by_word, "options:\n")) {
      if (!common.count(long_name)) {
        EXPECT_NE(usage.find(" [" + in_usage + "] "), std::string::npos) << in_usage << "\n" << usage;
      }
    }
    const std::string prefix = "usage: arjhost " + name + " ";
    const std::string synopsis = usage.size() > prefix.size() ? usage.substr(prefix.size(), usage.size() - prefix.size() - 1) : "";
    EXPECT_NE(manual.find("**" + name + "** `" + synopsis + "`"), std::string::npos) << "README: " << synopsis;
  }
}

TEST(HelpCommand, BadUsageIsOneLineWithAHintAndExitTwo) {
  struct Case {
    std::string args, line;
  } cases[] = {
      {"frobnicate x.arj", "arjhost: unknown command \"frobnicate\"; try arjhost --help\n"},
      {"help frobnicate", "arjhost help: unknown command \"frobnicate\"; try arjhost --help\n"},
      {"list --bogus x.arj", "arjhost list: unknown option --bogus; try arjhost list --help\n"},
      {"extract x.arj -C", "arjhost extract: option -C needs a value; try arjhost extract --help\n"},
      {"test --json=1 x.arj", "arjhost test: option --json=1 takes no value; try arjhost test --help\n"},
      {"l --trace high x.arj",
       "arjhost list: --trace takes a level, a number from 0 (none) to 400 (every line), not \"high\"\n"},
      {"plugin-info --trace -1", "arjhost plugin-info: --trace takes a level, a number from 0 (none) to 400 (every "
                                 "line), not \"-1\"\n"},
  };
  for (const Case& c : cases) {
    std::string out;
    EXPECT_EQ(RunTool(c.args, &out), 2) << c.args;
    EXPECT_EQ(out, c.line);
  }
  std::string out;
  EXPECT_EQ(RunTool("", &out), 2) << "no command: the overview on stderr";
  EXPECT_NE(out.find("commands:"), std::string::npos);
}

// arj's one-letter commands do what the long ones do; the help says so.
TEST(HelpCommand, ArjStyleAliasesAndTheVersion) {
  const struct {
    const char* alias;
    const char* command;
  } cases[] = {{"l", "list"}, {"t", "test"}, {"x", "extract"}, {"e", "extract"}, {"a", "add"}, {"d", "delete"}};
  for (const auto& c : cases) {
    std::string by_alias, by_name;
    EXPECT_EQ(RunTool(std::string("help ") + c.alias, &by_alias), 0) << c.alias;
    RunTool(std::string("help ") + c.command, &by_name);
    EXPECT_EQ(by_alias, by_name) << c.alias;
    EXPECT_NE(by_name.find("aliases, as arj names them: "), std::string::npos) << by_name;
  }
  std::string ours, theirs;
  EXPECT_EQ(RunTool("l " + Data("method1.arj"), &ours), 0);
  RunTool("list " + Data("method1.arj"), &theirs);
  EXPECT_EQ(ours, theirs);
  EXPECT_EQ(RunTool("--trace 400 t " + Data("split.arj"), &ours), 0) << "an option's value is not taken for a command";
  EXPECT_NE(ours.find("trace 400: "), std::string::npos) << ours;
  EXPECT_EQ(RunTool("--version", &ours), 0);
  EXPECT_EQ(ours.rfind("arjhost ", 0), 0u) << ours;
  EXPECT_EQ(ours.find_first_not_of("0123456789.", 8), ours.size() - 1) << ours;
}

// A command that fails before its document still prints one, with the
// error, when asked for JSON.
TEST(HelpCommand, JsonHasADocumentWithTheErrorWhenACommandFails) {
  const struct {
    const char* args;
    const char* check;
  } cases[] = {
      {"list --json /nonexistent.arj",
       "d == {'command': 'list', 'archive': '/nonexistent.arj', 'error': '/nonexistent.arj: cannot be opened: not found'}"},
      {"test --json --bogus x.arj",
       "d['command'] == 'test' and d['error'] == 'unknown option --bogus; try arjhost test --help'"},
      {"extract --json --trace x x.arj", "d['error'].startswith('--trace takes a level')"},
      {"delete --json /nonexistent.arj a.txt", "d['command'] == 'delete' and 'not found' in d['error']"},
      {"list --json --plugin /nonexistent.so x.arj", "'/nonexistent.so' in d['error']"},
      {"frobnicate --json", "d['command'] is None and d['error'].startswith('unknown command')"},
  };
  for (const auto& c : cases) {
    std::string out;
    EXPECT_EQ(RunToolStdout(c.args, &out), 2) << c.args;
    EXPECT_TRUE(JsonSatisfies(out, c.check)) << c.args << "\n" << out;
  }
}

}  // namespace
