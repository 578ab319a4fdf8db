// The output of several jobs run side by side (archives checked at once),
// held back so that it comes out in the order the jobs were given: the
// earliest job not done writes at once, the others keep their text until
// their turn. What they keep together is bounded: a job that finds the
// bound reached waits for its turn.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace cli {

enum class Channel { kStdout, kStderr };

class OrderedOutput {
 public:
  using Writer = std::function<void(Channel channel, const std::string& text)>;

  // `jobs` jobs, numbered from 0, whose kept text together stays within
  // about `budget` bytes; a job's text goes out through `write`.
  OrderedOutput(size_t jobs, size_t budget, Writer write);
  OrderedOutput(const OrderedOutput&) = delete;
  OrderedOutput& operator=(const OrderedOutput&) = delete;

  // Keeps `text` of `job` after what it kept before and returns true; false
  // when it is the job's turn, and the caller writes the text at once.
  bool Keep(size_t job, Channel channel, std::string_view text);
  // Whether `job`'s text goes out at once.
  bool InTurn(size_t job) const;
  // `job` wrote all it had; the text of the jobs after it goes out up to
  // the first that is still running, whose turn it then is.
  void Done(size_t job);

 private:
  struct Job {
    std::vector<std::pair<Channel, std::string>> kept;
    bool done = false;
  };

  void WriteKept(Job& job);

  const size_t budget_;
  const Writer write_;
  mutable std::mutex mutex_;
  std::condition_variable turn_changed_;
  std::vector<Job> jobs_;
  size_t turn_ = 0;  // the earliest job not done
  size_t kept_bytes_ = 0;
};

}  // namespace cli
