// Where the tool's answers to password requests come from, for every
// entry of one command.
#pragma once

#include <memory>

#include "cli/input/args.h"
#include "runtime/api/archive.h"

namespace cli {

// Typed answers wrong in a row that end the asking, and the command.
constexpr int kWrongPasswords = 3;

// Why a terminal was not asked for a garbled entry's password.
constexpr const char* kNotAskedSideBySide =
    "a terminal is not asked while archives are checked side by side: give -p, or --jobs 1";

class Passwords {
 public:
  // With -p: that password, once per entry (a second request for the same
  // entry means it is wrong). Without -p, on a terminal: the password that
  // opened an entry is tried first for the next; else the person is asked
  // (echo off), once, and again only when the answer was wrong; three
  // wrong answers in a row, or no answer, end the asking. With neither:
  // declines. Without `may_ask` a terminal is not asked either (archives
  // checked side by side, whose prompts would come in no order).
  Passwords(const Args& args, bool may_ask);

  // Answers requests; shares this object's state (workers take copies).
  arjhost::PasswordSource Source() const { return source_; }
  // Whether the asking ended: the command stops there.
  bool GaveUp() const;
  // Whether a terminal could have been asked but `may_ask` held it back.
  bool AskingHeldBack() const { return held_back_; }
  // Whether a person is asked: the entries must then come in their order.
  bool AsksSomeone() const { return asks_; }

  struct State;

 private:
  std::shared_ptr<State> state_;
  arjhost::PasswordSource source_;
  bool held_back_ = false;
  bool asks_ = false;
};

}  // namespace cli
