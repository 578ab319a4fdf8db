#include "tests/codecs/decode/arj_peer.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <system_error>

#include "tests/codecs/decode/arj_archive_reader.h"

namespace arjrt::test {

namespace {

class ScratchFolder {
 public:
  ScratchFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "arj-decode-XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~ScratchFolder() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace

bool ArjInstalled() { return std::system("command -v arj >/dev/null 2>&1") == 0; }

bool RunningInCi() {
  const char* ci = std::getenv("CI");
  return ci != nullptr && std::strcmp(ci, "true") == 0;
}

std::optional<std::vector<uint8_t>> ArchiveWithArj(const std::vector<SampleFile>& files, int method,
                                                   const std::vector<std::string>& options) {
  ScratchFolder scratch;
  if (scratch.path().empty()) return std::nullopt;
  const std::string dir = scratch.path() + "/files";
  std::error_code ec;
  std::filesystem::create_directory(dir, ec);
  if (ec || !WriteSampleFiles(dir, files)) return std::nullopt;
  std::string command = "cd '" + dir + "' && arj a -y -m" + std::to_string(method);
  for (const std::string& option : options) {
    if (option.find('\'') != std::string::npos || option.find('\0') != std::string::npos) return std::nullopt;
    command += " '" + option + "'";
  }
  command += " ../out.arj '*' </dev/null >/dev/null 2>&1";
  const int status = std::system(command.c_str());
  // Exit code 1 is a warning only.
  if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) > 1) return std::nullopt;
  return ReadFileBytes(scratch.path() + "/out.arj");
}

}  // namespace arjrt::test
