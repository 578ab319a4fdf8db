#include "cli/input/password.h"

#include <string>

#include "cli/commands/session.h"
#include "cli/input/terminal_question.h"

namespace cli {

struct Passwords::State {
  std::string known;  // the last one typed (or given with -p)
  bool have = false;
  bool typed_last = false;  // the answer to the entry's request before was typed, not remembered
  int wrong = 0;            // typed answers wrong in a row
  bool gave_up = false;
};

namespace {

// On a terminal: one request of one entry.
bool AnswerFromTerminal(Passwords::State& s, const std::string& shown_name, int attempt, std::string* password) {
  if (s.gave_up) return false;
  if (attempt == 0) {
    s.wrong = 0;  // a new entry: the answer before opened its entry
    if (s.have) {
      s.typed_last = false;
      *password = s.known;
      return true;
    }
  } else if (s.typed_last && ++s.wrong >= kWrongPasswords) {
    s.gave_up = true;
    return false;
  }
  std::string prompt = "Password for " + shown_name + ": ";
  if (attempt > 0 && s.typed_last)
    prompt = "Wrong password (" + std::to_string(s.wrong) + " of " + std::to_string(kWrongPasswords) + "); again for " +
             shown_name + ": ";
  else if (attempt > 0) prompt = "The last password does not open " + shown_name + "; its password: ";
  std::string answer;
  if (!AskTerminal(prompt, true, &answer) || answer.empty()) {
    s.gave_up = true;  // no answer: none is asked again
    return false;
  }
  s.known = answer;
  s.have = s.typed_last = true;
  *password = answer;
  return true;
}

}  // namespace

Passwords::Passwords(const Args& args, bool may_ask) : state_(std::make_shared<State>()) {
  if (args.Has("password")) {
    const std::string given = args.Value("password");
    source_ = [given](const arjhost::EntryInfo&, int attempt, std::string* password) {
      if (attempt > 0) return false;
      *password = given;
      return true;
    };
  } else if (CanAsk() && !may_ask) {
    held_back_ = true;
  } else if (CanAsk()) {
    asks_ = true;
    source_ = [state = state_, args](const arjhost::EntryInfo& entry, int attempt, std::string* password) {
      return AnswerFromTerminal(*state, ShowName(entry, args), attempt, password);
    };
  }
}

bool Passwords::GaveUp() const { return state_->gave_up; }

}  // namespace cli
