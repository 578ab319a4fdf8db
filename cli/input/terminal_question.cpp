#include "cli/input/terminal_question.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include "cli/output/messages.h"

namespace cli {

bool CanAsk() { return isatty(STDIN_FILENO) != 0; }

bool AskTerminal(const std::string& prompt, bool secret, std::string* answer) {
  int tty = open("/dev/tty", O_RDWR | O_CLOEXEC);
  if (tty < 0) return false;
  ClearStatusLine();  // the question is not to run into the progress line
  // Echo goes off before the prompt shows: an answer typed on seeing it is
  // neither echoed nor flushed away.
  termios saved{};
  const bool restore = secret && tcgetattr(tty, &saved) == 0;
  if (restore) {
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    tcsetattr(tty, TCSAFLUSH, &quiet);
  }
  (void)!write(tty, prompt.data(), prompt.size());
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
  if (restore) {
    tcsetattr(tty, TCSAFLUSH, &saved);
    (void)!write(tty, "\n", 1);  // the newline typed was not echoed
  }
  close(tty);
  return got_line;
}

}  // namespace cli
