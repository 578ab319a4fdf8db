#include "cli/commands/moved_sources.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <set>

#include "cli/commands/commands.h"
#include "cli/commands/interrupts.h"
#include "cli/output/text_tools.h"
#include "cli/output/messages.h"

namespace cli {

namespace {

// What changes when a file is written, renamed over or replaced: the
// change time moves with any write, even one that keeps the other fields.
bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
         a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec &&
         a.st_ctim.tv_sec == b.st_ctim.tv_sec && a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}

}  // namespace

MovedSources::MovedSources(const arjhost::ChangeSet& changes) {
  std::set<std::string> paths;
  const auto note = [&](const arjhost::NewContent& c) {
    if (c.kind != arjhost::ContentKind::kFile || !paths.insert(c.path).second) return;
    Source source{c.path, false, {}};
    // The file stored is the one read through a link named on the command
    // line: the link is what goes, as it is what was named.
    source.noted = ::stat(c.path.c_str(), &source.seen) == 0 &&
                   (c.file_inode == 0 || (static_cast<uint64_t>(source.seen.st_dev) == c.file_device &&
                                          static_cast<uint64_t>(source.seen.st_ino) == c.file_inode));
    sources_.push_back(source);
  };
  for (const auto& [handle, content] : changes.replaced) note(content);
  for (const arjhost::NewContent& c : changes.added) note(c);
}

int MovedSources::RemoveAll(const std::string& command) const {
  int code = kExitOk;
  // A signal stops the removals; each file left is named.
  HeldSignals held;
  for (const Source& source : sources_) {
    struct stat now;
    std::string why;
    if (held.Came())
      why = "a signal came first";
    else if (!source.noted || ::stat(source.path.c_str(), &now) != 0)
      why = "it could not be looked at";
    else if (!SameFile(source.seen, now))
      why = "it changed since it was read";
    else if (::unlink(source.path.c_str()) != 0)
      why = std::strerror(errno);
    if (why.empty()) continue;
    SayError(command, "%s: not removed: %s; it stays where it was", TerminalText(source.path).c_str(), why.c_str());
    code = kExitPartial;
  }
  return code;
}

}  // namespace cli
