#include "cli/progress.h"

#include <unistd.h>

#include <cstdio>

namespace cli {

Progress::Progress() : tty_(isatty(STDERR_FILENO) != 0), start_(Clock::now()) {}

Progress::~Progress() {
  if (shown_) std::fprintf(stderr, "\r\033[K");
}

void Progress::Show(const std::string& text) {
  if (!tty_) return;
  const auto now = Clock::now();
  if (now - start_ < std::chrono::seconds(1) || now - last_ < std::chrono::milliseconds(200)) return;
  last_ = now;
  shown_ = true;
  std::fprintf(stderr, "\r\033[K%s", text.c_str());
  std::fflush(stderr);
}

}  // namespace cli
