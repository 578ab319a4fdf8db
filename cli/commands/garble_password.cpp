#include "cli/commands/garble_password.h"

#include <algorithm>

#include "cli/input/terminal_question.h"
#include "cli/output/messages.h"

namespace cli {
namespace {

// Whether `password` opens `entry`: the test decodes it and checks its CRC.
bool Opens(Session& s, const Args& args, const std::string& command, const arjhost::EntryInfo& entry,
           const std::string& password) {
  const arjhost::ExtractResult tested =
      s.archive->Test(entry, [&](const arjhost::EntryInfo&, int attempt, std::string* out) {
        if (attempt > 0) return false;
        *out = password;
        return true;
      });
  if (tested.ok()) return true;
  if (tested.status.code == arjhost::Code::kWrongPassword)
    SayError(command, "%s: the password does not open its garbled entry %s; nothing is written",
             ShowPath(s.archive_path).c_str(), ShowName(entry, args).c_str());
  else
    SayError(command, "%s: %s: the password cannot be checked: %s", ShowPath(s.archive_path).c_str(),
             ShowName(entry, args).c_str(), ShowPath(tested.status.message).c_str());
  return false;
}

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
  return garbled == entries.end() || Opens(s, args, command, *garbled, *password);
}

}  // namespace cli
