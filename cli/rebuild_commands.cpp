// arjhost delete, replace, add and create: rewrites through the plug-in's
// Rebuild, never in place (see Archive::Rebuild).
#include <sys/stat.h>

#include <cstdio>
#include <set>

#include "cli/commands.h"
#include "cli/messages.h"
#include "cli/rebuild_support.h"
#include "runtime/api/archive.h"

namespace cli {
namespace {

// Every old entry stored under `name` (duplicates are possible).
std::vector<uint64_t> HandlesNamed(const std::vector<arjhost::EntryInfo>& entries, const std::string& name) {
  std::vector<uint64_t> handles;
  for (const arjhost::EntryInfo& e : entries)
    if (e.name == name) handles.push_back(e.handle);
  return handles;
}

bool NeedOperands(const Args& args, const std::string& command, size_t count) {
  if (args.operands.size() >= count) return true;
  Say("arjhost %s: missing operands; try arjhost %s --help\n", command.c_str(), command.c_str());
  return false;
}

// New files, checked for names that would clash with each other or with
// the entries already there.
bool CollectAdded(const Args& args, const std::string& command, const std::vector<arjhost::EntryInfo>& entries,
                  size_t first, arjhost::ChangeSet* changes) {
  int method = -1;
  if (!MethodOption(args, command, &method)) return false;
  std::set<std::string> names;
  for (const arjhost::EntryInfo& e : entries) names.insert(e.name);
  for (size_t i = first; i < args.operands.size(); ++i) {
    arjhost::NewContent content;
    if (!ParseAddedFile(args.operands[i], command, method, &content)) return false;
    if (!names.insert(content.stored_name).second) {
      Say("arjhost %s: %s: %s: an entry named \"%s\" is already there; use replace\n", command.c_str(),
          args.operands[0].c_str(), content.path.c_str(), content.stored_name.c_str());
      return false;
    }
    changes->added.push_back(std::move(content));
  }
  return true;
}

}  // namespace

int RunDelete(const Args& args) {
  if (!NeedOperands(args, "delete", 2)) return kExitFailure;
  Session s;
  if (!OpenRewritable(args, "delete", &s)) return kExitFailure;
  const std::vector<arjhost::EntryInfo> entries = s.archive->Entries();
  arjhost::ChangeSet changes;
  bool partial = false;
  for (size_t i = 1; i < args.operands.size(); ++i) {
    const std::vector<uint64_t> handles = HandlesNamed(entries, args.operands[i]);
    if (handles.empty()) {
      Say("arjhost delete: %s: no entry named \"%s\"\n", ShowPath(s.archive_path).c_str(), args.operands[i].c_str());
      partial = true;
    }
    changes.dropped.insert(handles.begin(), handles.end());
  }
  if (changes.dropped.empty()) return kExitPartial;  // nothing to do: the archive stays as it is
  return RunRebuild(s, args, "delete", changes, Destination(args, s.archive_path), partial);
}

int RunReplace(const Args& args) {
  if (!NeedOperands(args, "replace", 2)) return kExitFailure;
  Session s;
  if (!OpenRewritable(args, "replace", &s)) return kExitFailure;
  const std::vector<arjhost::EntryInfo> entries = s.archive->Entries();
  arjhost::ChangeSet changes;
  bool partial = false;
  for (size_t i = 1; i < args.operands.size(); ++i) {
    const std::string& operand = args.operands[i];
    const size_t eq = operand.find('=');
    if (eq == std::string::npos || eq == 0 || eq + 1 == operand.size()) {
      Say("arjhost replace: \"%s\" is not NAME=FILE\n", operand.c_str());
      return kExitFailure;
    }
    const std::vector<uint64_t> handles = HandlesNamed(entries, operand.substr(0, eq));
    if (handles.empty()) {
      Say("arjhost replace: %s: no entry named \"%s\"\n", ShowPath(s.archive_path).c_str(),
          operand.substr(0, eq).c_str());
      partial = true;
    }
    for (uint64_t h : handles) changes.replaced[h] = {operand.substr(eq + 1), operand.substr(0, eq), -1};
  }
  if (changes.replaced.empty()) return kExitPartial;
  // New content is encoded as it is: garbling it would take a password.
  for (const auto& [handle, content] : changes.replaced)
    if (entries[handle - 1].garbled)
      Say("arjhost replace: %s: %s: was garbled; its new content is written ungarbled\n",
          ShowPath(s.archive_path).c_str(), ShowName(entries[handle - 1].name, args).c_str());
  return RunRebuild(s, args, "replace", changes, Destination(args, s.archive_path), partial);
}

int RunAdd(const Args& args) {
  if (!NeedOperands(args, "add", 2)) return kExitFailure;
  Session s;
  if (!OpenRewritable(args, "add", &s)) return kExitFailure;
  arjhost::ChangeSet changes;
  if (!CollectAdded(args, "add", s.archive->Entries(), 1, &changes)) return kExitFailure;
  return RunRebuild(s, args, "add", changes, Destination(args, s.archive_path), false);
}

int RunCreate(const Args& args) {
  if (!NeedOperands(args, "create", 2)) return kExitFailure;
  const std::string destination = Destination(args, args.operands[0]);
  struct stat st;
  if (::stat(destination.c_str(), &st) == 0) {
    Say("arjhost create: %s: already exists; use add\n", destination.c_str());
    return kExitFailure;
  }
  Session s;
  if (!StartHost(args, &s)) return kExitFailure;
  const size_t slash = destination.find_last_of('/');
  const std::vector<uint8_t> empty =
      arjhost::EmptyArchiveBytes(slash == std::string::npos ? destination : destination.substr(slash + 1));
  std::string error;
  arjhost::OpenOptions options;
  options.scan_all_volumes = false;
  options.name = destination;
  s.archive_path = destination;
  s.archive = arjhost::Archive::OpenMemory(*s.host, empty.data(), empty.size(), options, &error);
  if (!s.archive) {
    Say("arjhost create: %s\n", error.c_str());
    return kExitFailure;
  }
  arjhost::ChangeSet changes;
  if (!CollectAdded(args, "create", {}, 1, &changes)) return kExitFailure;
  return RunRebuild(s, args, "create", changes, destination, false);
}

}  // namespace cli
