// A progress line on stderr for long work, only when stderr is a terminal
// and only once the work has taken more than a second.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace cli {

class Progress {
 public:
  Progress();
  ~Progress();  // clears the line if one was shown
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  // Shows `text` in place of the last line, at most five times a second.
  void Show(const std::string& text);

 private:
  using Clock = std::chrono::steady_clock;
  bool tty_;
  bool shown_ = false;
  Clock::time_point start_, last_;
};

}  // namespace cli
