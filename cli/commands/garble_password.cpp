#include "cli/commands/garble_password.h"

#include <algorithm>

#include "cli/input/terminal_question.h"
#include "cli/output/messages.h"

namespace cli {
namespace {

bool Typed(const std::string& command, const std::string& prompt, std::string* answer) {
  if (AskTerminal(prompt, true, answer) && !answer->empty()) return true;
  SayError(command, "no password was typed; nothing is written");
  return false;
}

}  // namespace

bool GarblePassword(Session& s, const Args& args, const std::string& command,
                    const std::vector<arjhost::EntryInfo>& entries, std::string* password) {
  password->clear();
  const auto garbled =
      std::find_if(entries.begin(), entries.end(), [](const arjhost::EntryInfo& e) { return e.garbled; });
  const bool asked = args.Has("garble") || args.Has("password");
  if (garbled == entries.end() && !asked) return true;
  if (args.Has("password")) {
    *password = args.Value("password");
    if (password->empty()) {
      SayError(command, "-p: an empty password garbles nothing");
      return false;
    }
  } else if (!CanAsk()) {
    if (args.Has("garble")) {
      SayError(command, "-g: no terminal to type the password on: give -p PASSWORD");
      return false;
    }
    return true;  // written ungarbled, as said once the rewrite is done
  } else if (garbled != entries.end()) {
    if (!Typed(command, "Password of " + ShowPath(s.archive_path) + " (garbles the new entries): ", password))
      return false;
  } else {
    std::string again;
    if (!Typed(command, "Password to garble the new entries with: ", password) ||
        !Typed(command, "The same password again: ", &again))
      return false;
    if (again != *password) {
      SayError(command, "the two passwords typed differ; nothing is written");
      return false;
    }
  }
  if (garbled == entries.end()) return true;
  const arjhost::Status checked = s.archive->CheckGarblePassword(*password);
  if (checked.ok()) return true;
  SayError(command, "%s: %s; nothing is written", ShowPath(s.archive_path).c_str(), ShowPath(checked.message).c_str());
  return false;
}

}  // namespace cli
