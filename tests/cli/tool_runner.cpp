#include "tests/cli/tool_runner.h"

#include "tests/support/archive_builder.h"
#include "tests/support/test_host.h"

namespace testing_support {

std::string Tool() { return BuildPath("arjhost"); }
std::string Data(const std::string& name) { return SourcePath("tests/data/" + name); }

int RunTool(const std::string& args, std::string* out) { return RunCommand(Tool() + " " + args + " </dev/null", out); }

int RunToolStdout(const std::string& args, std::string* out) {
  return RunCommand("(" + Tool() + " " + args + " </dev/null 2>/dev/null)", out);
}

bool JsonSatisfies(const std::string& json, const std::string& check) {
  TempDir dir;
  WriteFile(dir.File("out.json"), ToBytes(json));
  WriteFile(dir.File("check.py"), ToBytes("import json, sys\nd = json.load(open(sys.argv[1]))\nsys.exit(0 if (" +
                                          check + ") else 1)\n"));
  std::string ignored;
  return RunCommand("python3 " + dir.File("check.py") + " " + dir.File("out.json"), &ignored) == 0;
}

}  // namespace testing_support
