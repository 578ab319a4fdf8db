// The output of jobs run side by side comes out in the order the jobs were
// given, each job's text in its own order across stdout and stderr.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "cli/output/ordered_output.h"

namespace {

using cli::Channel;
using cli::OrderedOutput;

struct Written {
  std::vector<std::pair<Channel, std::string>> pieces;
  OrderedOutput::Writer Writer() {
    return [this](Channel channel, const std::string& text) { pieces.emplace_back(channel, text); };
  }
};

TEST(OrderedOutput, KeptTextComesOutInTheJobsOrderWhenTheirTurnComes) {
  Written written;
  OrderedOutput output(3, 1 << 20, written.Writer());
  EXPECT_FALSE(output.Keep(0, Channel::kStdout, "first")) << "the first job writes at once";
  EXPECT_TRUE(output.Keep(1, Channel::kStdout, "one "));
  EXPECT_TRUE(output.Keep(1, Channel::kStdout, "two\n"));
  EXPECT_TRUE(output.Keep(1, Channel::kStderr, "warning\n"));
  EXPECT_TRUE(output.Keep(1, Channel::kStdout, "three\n"));
  EXPECT_TRUE(output.Keep(2, Channel::kStdout, "last\n"));
  output.Done(2);
  EXPECT_TRUE(written.pieces.empty()) << "a job done early waits for those before it";
  EXPECT_FALSE(output.InTurn(1));
  output.Done(0);
  const std::vector<std::pair<Channel, std::string>> job1 = {
      {Channel::kStdout, "one two\n"}, {Channel::kStderr, "warning\n"}, {Channel::kStdout, "three\n"}};
  EXPECT_EQ(written.pieces, job1);
  EXPECT_TRUE(output.InTurn(1));
  EXPECT_FALSE(output.Keep(1, Channel::kStdout, "now\n")) << "in its turn a job writes at once";
  output.Done(1);
  EXPECT_EQ(written.pieces.back(), std::make_pair(Channel::kStdout, std::string("last\n")));
  EXPECT_EQ(written.pieces.size(), 4u);
}

// A job ahead of its turn that would keep more than the bound waits for
// its turn: what it kept is written before it goes on.
TEST(OrderedOutput, AJobPastTheBoundWaitsForItsTurn) {
  std::atomic<bool> returned{false};
  bool kept = false;
  std::vector<bool> returned_when_written;
  OrderedOutput output(2, 8, [&](Channel, const std::string&) { returned_when_written.push_back(returned); });
  std::thread ahead([&] {
    kept = output.Keep(1, Channel::kStdout, "more than the bound");
    returned = true;
  });
  output.Done(0);
  ahead.join();
  // Kept when it came before its turn (else its caller writes it).
  EXPECT_EQ(returned_when_written, kept ? std::vector<bool>{false} : std::vector<bool>{});
}

}  // namespace
