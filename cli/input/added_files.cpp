#include "cli/input/added_files.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <utility>

#include "cli/output/messages.h"
#include "cli/input/name_pattern.h"
#include "cli/commands/rebuild_support.h"
#include "cli/input/stored_name.h"

namespace cli {
namespace {

using arjhost::ContentKind;

// Deeper than any real tree; a bound on the walk however the folders link.
constexpr int kMaxDepth = 256;

class Walk {
 public:
  Walk(const std::string& command, int method, const NameSelection& selection, std::vector<arjhost::NewContent>* out)
      : command_(command), method_(method), selection_(selection), out_(out) {}

  // The archive being written is never stored in itself.
  void Skip(const std::string& archive) {
    struct stat st;
    if (::stat(archive.c_str(), &st) == 0) skipped_ = {st.st_dev, st.st_ino};
  }

  // What is at `path`, stored as `stored`; `st` is what stat or lstat found.
  bool Add(const std::string& path, const std::string& stored, const struct stat& st, int depth) {
    if (std::make_pair(st.st_dev, st.st_ino) == skipped_) {
      if (depth == 0) Say("arjhost %s: %s: the archive is not stored in itself\n", command_.c_str(), ShowPath(path).c_str());
      return true;
    }
    if (selection_.Excluded(stored)) return true;
    arjhost::NewContent c;
    c.path = path;
    c.stored_name = stored;
    c.method = method_;
    if (S_ISDIR(st.st_mode)) {
      c.kind = ContentKind::kFolder;
      out_->push_back(c);
      return AddChildren(path, stored, depth);
    }
    if (S_ISREG(st.st_mode) && st.st_nlink > 1) {
      // A second name of a file stored already is stored as a link to it.
      auto [first, fresh] = first_names_.try_emplace({st.st_dev, st.st_ino}, stored);
      if (!fresh) {
        c.kind = ContentKind::kHardLink;
        c.link_target = first->second;
      }
    } else if (S_ISLNK(st.st_mode)) {
      c.kind = ContentKind::kSymbolicLink;
      if (!ReadLink(path, &c.link_target)) return false;
    } else if (S_ISFIFO(st.st_mode)) {
      c.kind = ContentKind::kFifo;
    } else if (S_ISBLK(st.st_mode) || S_ISCHR(st.st_mode)) {
      c.kind = S_ISBLK(st.st_mode) ? ContentKind::kBlockDevice : ContentKind::kCharDevice;
      c.device = st.st_rdev;
    } else if (!S_ISREG(st.st_mode)) {
      return Refuse(path, "a socket cannot be stored");
    }
    if (c.kind == ContentKind::kFile) {
      // The rebuild reads this file or fails: not a link, FIFO or other
      // file put at the path after the walk. Only a file named on the
      // command line is read through a link.
      c.file_device = static_cast<uint64_t>(st.st_dev);
      c.file_inode = static_cast<uint64_t>(st.st_ino);
      c.follow_link = depth == 0;
    }
    out_->push_back(c);
    return true;
  }

  // What is in the folder at `path`, stored under `stored` ("" for the top).
  bool AddChildren(const std::string& path, const std::string& stored, int depth) {
    if (depth >= kMaxDepth) return Refuse(path, "folders nested more than " + std::to_string(kMaxDepth) + " deep");
    std::vector<std::string> names;
    DIR* dir = ::opendir(path.c_str());
    if (dir == nullptr) return Refuse(path, std::string("cannot read the folder: ") + std::strerror(errno));
    while (const dirent* d = ::readdir(dir)) {
      const std::string name = d->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
      const std::string child = path + "/" + name;
      std::string child_stored, error;
      if (!StoredNameOf(stored.empty() ? name : stored + "/" + name, &child_stored, &error)) return Refuse(child, error);
      struct stat st;
      if (::lstat(child.c_str(), &st) != 0) return Refuse(child, std::string("cannot be read: ") + std::strerror(errno));
      if (!Add(child, child_stored, st, depth + 1)) return false;
    }
    return true;
  }

 private:
  bool ReadLink(const std::string& path, std::string* target) {
    char buffer[arjhost::kMaxLinkTargetLength + 1];
    const ssize_t n = ::readlink(path.c_str(), buffer, sizeof buffer);
    if (n < 0) return Refuse(path, std::string("cannot read the link: ") + std::strerror(errno));
    if (n == 0 || static_cast<size_t>(n) > arjhost::kMaxLinkTargetLength)
      return Refuse(path, "its link target is empty or longer than " +
                              std::to_string(arjhost::kMaxLinkTargetLength) + " bytes");
    target->assign(buffer, static_cast<size_t>(n));
    return true;
  }

  bool Refuse(const std::string& path, const std::string& why) {
    SayError(command_, "%s: %s", ShowPath(path).c_str(), why.c_str());
    return false;
  }

  const std::string& command_;
  int method_;
  const NameSelection& selection_;
  std::vector<arjhost::NewContent>* out_;
  std::map<std::pair<dev_t, ino_t>, std::string> first_names_;  // of files with several names
  std::pair<dev_t, ino_t> skipped_{0, 0};
};

}  // namespace

bool CollectNewContent(const Args& args, const std::string& command, const std::string& archive, size_t first,
                       int method, std::vector<arjhost::NewContent>* out) {
  const NameSelection selection({}, args);
  Walk walk(command, method, selection, out);
  walk.Skip(archive);
  for (size_t i = first; i < args.operands.size(); ++i) {
    // The current folder is stored as what it holds, as arj and tar store it.
    if (args.operands[i] == "." || args.operands[i] == "./") {
      if (!walk.AddChildren(".", "", 0)) return false;
      continue;
    }
    arjhost::NewContent named;
    if (!ParseAddedFile(args.operands[i], command, method, &named)) return false;
    // A file named on the command line is read where a link there points.
    struct stat st;
    if (::stat(named.path.c_str(), &st) != 0) {
      SayError(command, "%s: cannot be read: %s", ShowPath(named.path).c_str(),
                   std::strerror(errno));
      return false;
    }
    if (!walk.Add(named.path, named.stored_name, st, 0)) return false;
  }
  return true;
}

}  // namespace cli
