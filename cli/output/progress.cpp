#include "cli/output/progress.h"

#include <unistd.h>

#include <cstdio>

#include "cli/output/messages.h"
#include "runtime/api/pending_files.h"

namespace cli {

std::string SizeText(uint64_t bytes) {
  if (bytes < 1024) return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
  static const char* const kUnits[] = {"KiB", "MiB", "GiB", "TiB"};
  double value = static_cast<double>(bytes) / 1024;
  size_t unit = 0;
  while (value >= 1024 && unit + 1 < std::size(kUnits)) value /= 1024, ++unit;
  char text[32];
  std::snprintf(text, sizeof text, "%.1f %s", value, kUnits[unit]);
  return text;
}

Progress::Progress(std::string doing, std::string unit)
    : doing_(std::move(doing)), unit_(std::move(unit)), tty_(isatty(STDERR_FILENO) != 0), start_(Clock::now()) {}

Progress::~Progress() {
  if (shown_) ClearStatusLine();
}

void Progress::Show(size_t done, size_t total, uint64_t bytes) {
  if (!tty_) return;
  std::lock_guard<std::mutex> lock(mutex_);
  const auto now = Clock::now();
  if (now - start_ < std::chrono::seconds(1) || now - last_ < std::chrono::milliseconds(200)) return;
  last_ = now;
  shown_ = true;
  const double seconds = std::chrono::duration<double>(now - start_).count();
  ShowStatusLine(doing_ + " " + std::to_string(done) + " of " + std::to_string(total) + " " + unit_ + ", " +
                 SizeText(bytes) + ", " + SizeText(static_cast<uint64_t>(static_cast<double>(bytes) / seconds)) + "/s");
}

ProgressTicker::ProgressTicker(std::function<void()> tick) : tick_(std::move(tick)) {
  thread_ = arjhost::StartWorkerThread([this] {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stop_.wait_for(lock, std::chrono::milliseconds(200), [this] { return stopping_; })) {
      lock.unlock();
      tick_();
      lock.lock();
    }
  });
}

ProgressTicker::~ProgressTicker() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  stop_.notify_all();
  thread_.join();
}

}  // namespace cli
