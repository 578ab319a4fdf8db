// `arjhost mount` run in the foreground by a test: started in a child
// process, waited for until the mount appears, unmounted with fusermount3.
#pragma once

#include <sys/types.h>

#include <string>

namespace testing_support {

// Whether this machine can mount through FUSE: /dev/fuse opens and
// fusermount3 is there; if not, `why`.
bool CanMount(std::string* why);

class ToolMount {
 public:
  // Runs `arjhost mount ARCHIVE MOUNT_POINT -f ARGS` (ARGS split on
  // spaces) with TMPDIR set to `temp_dir`, stderr into a file, and waits
  // (at most 20 seconds) for the mount point's device to change.
  ToolMount(const std::string& archive, const std::string& mount_point, const std::string& args,
            const std::string& temp_dir);
  // Unmounts if still mounted.
  ~ToolMount();
  ToolMount(const ToolMount&) = delete;
  ToolMount& operator=(const ToolMount&) = delete;

  bool mounted() const { return mounted_; }
  pid_t pid() const { return pid_; }
  // fusermount3 -u, then the process's exit status (-1 if it did not end
  // within 20 seconds: it is then killed).
  int Unmount();
  // The signal to the process, then its exit status as Unmount's.
  int Stop(int signal_number);
  // What it wrote on stderr so far.
  std::string Errors() const;

 private:
  int Wait();

  std::string mount_point_;
  std::string errors_;
  pid_t pid_ = -1;
  bool mounted_ = false;
};

// Whether a FUSE file system is mounted at `path` (its device is not its
// parent's).
bool IsMountPoint(const std::string& path);

}  // namespace testing_support

// Skips the test where FUSE cannot mount, except in CI where it must.
#define REQUIRE_FUSE()                                                  \
  do {                                                                  \
    std::string why_no_fuse;                                            \
    if (!::testing_support::CanMount(&why_no_fuse)) {                   \
      if (::testing_support::RunningInCi()) FAIL() << why_no_fuse;      \
      GTEST_SKIP() << why_no_fuse;                                      \
    }                                                                   \
  } while (0)
