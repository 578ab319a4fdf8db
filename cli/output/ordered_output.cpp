#include "cli/output/ordered_output.h"

namespace cli {

OrderedOutput::OrderedOutput(size_t jobs, size_t budget, Writer write)
    : budget_(budget), write_(std::move(write)), jobs_(jobs) {}

bool OrderedOutput::Keep(size_t job, Channel channel, std::string_view text) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (job == turn_) return false;
  auto& kept = jobs_[job].kept;
  if (!kept.empty() && kept.back().first == channel) kept.back().second.append(text);
  else kept.emplace_back(channel, std::string(text));
  kept_bytes_ += text.size();
  // The job in turn never waits here, so the wait ends.
  turn_changed_.wait(lock, [&] { return kept_bytes_ <= budget_ || job == turn_; });
  return true;
}

bool OrderedOutput::InTurn(size_t job) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return job == turn_;
}

void OrderedOutput::WriteKept(Job& job) {
  for (const auto& [channel, text] : job.kept) {
    write_(channel, text);
    kept_bytes_ -= text.size();
  }
  job.kept.clear();
  job.kept.shrink_to_fit();
}

void OrderedOutput::Done(size_t job) {
  std::lock_guard<std::mutex> lock(mutex_);
  jobs_[job].done = true;
  // Written under the lock: a job whose turn comes writes its own text
  // only after what it kept.
  while (turn_ < jobs_.size() && jobs_[turn_].done) {
    ++turn_;
    if (turn_ < jobs_.size()) WriteKept(jobs_[turn_]);
  }
  turn_changed_.notify_all();
}

}  // namespace cli
