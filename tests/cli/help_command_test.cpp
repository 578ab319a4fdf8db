// The tool's help and its answers to bad usage.
#include <gtest/gtest.h>

#include <sstream>

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

TEST(HelpCommand, EveryCommandHasUsageOptionsAndExamples) {
  std::string overview;
  ASSERT_EQ(RunTool("--help", &overview), 0);
  const std::vector<std::string> names = ListedCommands(overview);
  EXPECT_EQ(names, (std::vector<std::string>{"plugin-info", "list", "extract", "test", "delete", "replace", "add",
                                             "create"}));
  for (const std::string& name : names) {
    std::string by_word, by_option;
    EXPECT_EQ(RunTool("help " + name, &by_word), 0) << name;
    EXPECT_EQ(RunTool(name + " --help", &by_option), 0) << name;
    EXPECT_EQ(by_word, by_option);
    for (const std::string& part : {"usage: arjhost " + name, std::string("options:"), std::string("--plugin PATH"),
                                    std::string("examples:\n  arjhost " + name)})
      EXPECT_NE(by_word.find(part), std::string::npos) << name << ": " << part << "\n" << by_word;
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

}  // namespace
