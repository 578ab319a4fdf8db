// A progress line on stderr for long work: entries, bytes and rate, only
// when stderr is a terminal and only once the work has taken more than a
// second. Any other output clears it first (messages.h).
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace cli {

class Progress {
 public:
  // `doing`: "testing", "extracting", "writing new.arj"; `unit`: what
  // is counted ("entries", "files").
  Progress(std::string doing, std::string unit);
  ~Progress();  // clears the line if one was shown
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  // "testing 4 of 10 entries, 516 MiB, 120.5 MiB/s", at most five times a
  // second. Safe from any thread.
  void Show(size_t done, size_t total, uint64_t bytes);

 private:
  using Clock = std::chrono::steady_clock;
  const std::string doing_, unit_;
  const bool tty_;
  std::mutex mutex_;
  bool shown_ = false;
  Clock::time_point start_, last_;
};

// Calls `tick` every fifth of a second on a thread of its own, for work
// that reports nothing while it runs (a rebuild packing one large file).
class ProgressTicker {
 public:
  explicit ProgressTicker(std::function<void()> tick);
  ~ProgressTicker();  // stops and joins the thread
  ProgressTicker(const ProgressTicker&) = delete;
  ProgressTicker& operator=(const ProgressTicker&) = delete;

 private:
  std::function<void()> tick_;
  std::mutex mutex_;
  std::condition_variable stop_;
  bool stopping_ = false;
  std::thread thread_;
};

// "1.2 MiB", "512 bytes": a size as a person reads it.
std::string SizeText(uint64_t bytes);

}  // namespace cli
