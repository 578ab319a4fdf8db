#include "tests/support/tool_runner.h"

#include "tests/support/commands.h"
#include "tests/support/files.h"

namespace testing_support {

std::string Tool() { return BuildPath("arjhost"); }

int RunTool(const std::string& args, std::string* out) { return RunCommand(Tool() + " " + args + " </dev/null", out); }

int RunToolIn(const std::string& dir, const std::string& args, std::string* out) {
  return RunCommand("cd " + Quote(dir) + " && " + Quote(Tool()) + " " + args + " </dev/null", out);
}

int RunToolStdout(const std::string& args, std::string* out) {
  return RunCommand("(" + Tool() + " " + args + " </dev/null 2>/dev/null)", out);
}

bool JsonSatisfies(const std::string& json, const std::string& check) {
  TempDir dir;
  WriteFile(dir.File("out.json"), json);
  WriteFile(dir.File("check.py"),
            "import json, sys\nd = json.load(open(sys.argv[1]))\nsys.exit(0 if (" + check + ") else 1)\n");
  return RunCommand("python3 " + dir.File("check.py") + " " + dir.File("out.json")) == 0;
}

}  // namespace testing_support
