#include "cli/password.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "runtime/api/text_tools.h"

namespace cli {
namespace {

constexpr int kTerminalAttempts = 3;

// Reads one line from the terminal with echo off.
bool AskTerminal(const std::string& prompt, std::string* answer) {
  int tty = open("/dev/tty", O_RDWR | O_CLOEXEC);
  if (tty < 0) return false;
  (void)!write(tty, prompt.data(), prompt.size());
  termios saved{};
  bool restore = tcgetattr(tty, &saved) == 0;
  if (restore) {
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    tcsetattr(tty, TCSAFLUSH, &quiet);
  }
  answer->clear();
  char c;
  bool got_line = false;
  while (read(tty, &c, 1) == 1) {
    if (c == '\n' || c == '\r') {
      got_line = true;
      break;
    }
    if (answer->size() < 511) answer->push_back(c);
  }
  if (restore) tcsetattr(tty, TCSAFLUSH, &saved);
  (void)!write(tty, "\n", 1);
  close(tty);
  return got_line;
}

}  // namespace

arjhost::PasswordSource MakePasswordSource(const Args& args) {
  if (args.Has("password")) {
    std::string given = args.Value("password");
    return [given](const arjhost::EntryInfo&, int attempt, std::string* password) {
      if (attempt > 0) return false;
      *password = given;
      return true;
    };
  }
  if (!isatty(STDIN_FILENO)) return nullptr;
  const int codepage = std::atoi(args.Value("codepage", "437").c_str());
  return [codepage](const arjhost::EntryInfo& entry, int attempt, std::string* password) {
    if (attempt >= kTerminalAttempts) return false;
    std::string prompt = (attempt == 0 ? "Password for " : "Wrong password; again for ") +
                         arjhost::DisplayName(entry.name, codepage) + ": ";
    return AskTerminal(prompt, password);
  };
}

}  // namespace cli
