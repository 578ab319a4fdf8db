#include "tests/support/tool_mount.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <sstream>
#include <thread>
#include <vector>

#include "tests/support/commands.h"
#include "tests/support/files.h"
#include "tests/support/tool_runner.h"

namespace testing_support {
namespace {

constexpr auto kPatience = std::chrono::seconds(20);
constexpr auto kPoll = std::chrono::milliseconds(5);

}  // namespace

bool CanMount(std::string* why) {
  const int fd = open("/dev/fuse", O_RDWR | O_CLOEXEC);
  if (fd < 0) {
    *why = "/dev/fuse cannot be opened: FUSE mounts are not tested";
    return false;
  }
  close(fd);
  if (RunCommand("command -v fusermount3") != 0) {
    *why = "fusermount3 is not installed: FUSE mounts are not tested";
    return false;
  }
  return true;
}

bool IsMountPoint(const std::string& path) {
  struct stat here, parent;
  return stat(path.c_str(), &here) == 0 && stat((path + "/..").c_str(), &parent) == 0 && here.st_dev != parent.st_dev;
}

ToolMount::ToolMount(const std::string& archive, const std::string& mount_point, const std::string& args,
                     const std::string& temp_dir)
    : mount_point_(mount_point), errors_(mount_point + ".err") {
  std::vector<std::string> words = {Tool(), "mount", archive, mount_point, "-f"};
  std::istringstream split(args);
  for (std::string word; split >> word;) words.push_back(word);
  pid_ = fork();
  if (pid_ == 0) {
    const int err = open(errors_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND, 0600);
    const int null = open("/dev/null", O_RDONLY);
    if (err < 0 || null < 0) _exit(127);
    dup2(null, STDIN_FILENO);
    dup2(err, STDERR_FILENO);
    setenv("TMPDIR", temp_dir.c_str(), 1);
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  // The mount is there once the folder's device changes.
  const auto deadline = std::chrono::steady_clock::now() + kPatience;
  while (std::chrono::steady_clock::now() < deadline) {
    if (IsMountPoint(mount_point_)) {
      mounted_ = true;
      return;
    }
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return;
    }
    std::this_thread::sleep_for(kPoll);
  }
}

ToolMount::~ToolMount() {
  if (pid_ > 0) Unmount();
  unlink(errors_.c_str());
}

int ToolMount::Wait() {
  const auto deadline = std::chrono::steady_clock::now() + kPatience;
  int status = 0;
  while (std::chrono::steady_clock::now() < deadline) {
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      mounted_ = IsMountPoint(mount_point_);
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    std::this_thread::sleep_for(kPoll);
  }
  kill(pid_, SIGKILL);
  waitpid(pid_, &status, 0);
  pid_ = -1;
  RunCommand("fusermount3 -u -z " + Quote(mount_point_) + " 2>/dev/null");
  mounted_ = false;
  return -1;
}

int ToolMount::Unmount() {
  if (pid_ <= 0) return -1;
  RunCommand("fusermount3 -u " + Quote(mount_point_));
  return Wait();
}

int ToolMount::Stop(int signal_number) {
  if (pid_ <= 0) return -1;
  kill(pid_, signal_number);
  return Wait();
}

std::string ToolMount::Errors() const { return ReadText(errors_); }

}  // namespace testing_support
