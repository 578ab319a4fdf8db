#include "tests/support/tool_runner.h"

#include <gtest/gtest.h>

#include "tests/support/commands.h"
#include "tests/support/files.h"

namespace testing_support {

std::string Tool() { return BuildPath("arjhost"); }

namespace {

// `code` of the tool run with `args`; a failure of the test when the
// sanitizers stopped the tool, whatever code the test expects.
int Judged(int code, const std::string& args, const std::string* out) {
#ifdef ARJHOST_SANITIZER_EXIT_CODE
  if (code == ARJHOST_SANITIZER_EXIT_CODE)
    ADD_FAILURE() << "the sanitizers stopped arjhost " << args << (out != nullptr ? ":\n" + *out : std::string());
#else
  (void)args;
  (void)out;
#endif
  return code;
}

}  // namespace

std::string Python() { return std::string(ARJHOST_PYTHON).empty() ? "python3" : Quote(ARJHOST_PYTHON); }

int RunTool(const std::string& args, std::string* out) {
  return Judged(RunCommand(Tool() + " " + args + " </dev/null", out), args, out);
}

int RunToolIn(const std::string& dir, const std::string& args, std::string* out) {
  return Judged(RunCommand("cd " + Quote(dir) + " && " + Quote(Tool()) + " " + args + " </dev/null", out), args, out);
}

int RunToolStdout(const std::string& args, std::string* out) {
  return Judged(RunCommand("(" + Tool() + " " + args + " </dev/null 2>/dev/null)", out), args, nullptr);
}

namespace {

// The terminal's side of RunToolOnTerminal: argv[1] the folder, argv[2] the
// tool, argv[3] its arguments, then prompt and answer pairs; prints what the
// terminal showed.
constexpr const char* kTerminalDriver = R"(import os, pty, select, shlex, sys, time
folder, command, pairs = sys.argv[1], shlex.quote(sys.argv[2]) + ' ' + sys.argv[3], sys.argv[4:]
pid, fd = pty.fork()
if pid == 0:
    os.chdir(folder)
    os.execvp('/bin/sh', ['/bin/sh', '-c', command])
seen, since, deadline = b'', b'', time.time() + 20
while True:
    if pairs and pairs[0].encode() in since:
        os.write(fd, pairs[1].encode() + b'\n')
        pairs, since = pairs[2:], b''
    if time.time() > deadline:
        os.kill(pid, 9)
        sys.stdout.write(seen.decode('utf-8', 'replace'))
        sys.exit(124)
    ready, _, _ = select.select([fd], [], [], 0.1)
    if not ready:
        continue
    try:
        data = os.read(fd, 65536)
    except OSError:
        break
    if not data:
        break
    seen += data
    since += data
_, status = os.waitpid(pid, 0)
sys.stdout.write(seen.decode('utf-8', 'replace'))
sys.exit(os.WEXITSTATUS(status) if os.WIFEXITED(status) else 125)
)";

}  // namespace

int RunToolOnTerminal(const std::string& dir, const std::string& args,
                      const std::vector<std::pair<std::string, std::string>>& answers, std::string* out) {
  TempDir scripts;
  WriteFile(scripts.File("terminal.py"), std::string(kTerminalDriver));
  std::string command =
      Python() + " " + Quote(scripts.File("terminal.py")) + " " + Quote(dir) + " " + Quote(Tool()) + " " + Quote(args);
  for (const auto& [prompt, answer] : answers) command += " " + Quote(prompt) + " " + Quote(answer);
  return Judged(RunCommand(command, out), args, out);
}

bool JsonSatisfies(const std::string& json, const std::string& check) {
  TempDir dir;
  WriteFile(dir.File("out.json"), json);
  WriteFile(dir.File("check.py"),
            "import json, sys\nd = json.load(open(sys.argv[1]))\nsys.exit(0 if (" + check + ") else 1)\n");
  return RunCommand(Python() + " " + dir.File("check.py") + " " + dir.File("out.json")) == 0;
}

}  // namespace testing_support
