#include <sys/stat.h>

#include "runtime/operations/add_by_name.h"

namespace arjhost {
namespace {

// The file's modification time as arj u compares it: the one given with
// the content, else of what is at the path (itself, for content without data).
int64_t ModifiedTimeOf(const NewContent& c) {
  if (c.given_attributes) return c.modified_time;
  struct stat st;
  const int r = c.kind == ContentKind::kFile ? ::stat(c.path.c_str(), &st) : ::lstat(c.path.c_str(), &st);
  return r == 0 ? static_cast<int64_t>(st.st_mtime) : 0;
}

// Whether the file is newer than the entry, as far as the entry's time
// can tell (an MS-DOS time holds even seconds).
bool Newer(const NewContent& c, const EntryInfo& e) {
  return !e.header_known || ModifiedTimeOf(c) >= e.modified_time + TimeStepOf(e);
}

}  // namespace

Status TakeNewName(const std::string& name, ChangeSet* changes) {
  if (changes->named.insert(name).second) return {};
  return {Code::kBadArgument, "a second file for the entry \"" + name + "\""};
}

Status AddByName(const std::vector<EntryInfo>& entries, NewContent content, AddMode mode, ChangeSet* changes) {
  if (Status taken = TakeNewName(content.stored_name, changes); !taken.ok()) return taken;
  bool named = false;
  for (const EntryInfo& e : entries) {
    if (e.name != content.stored_name || changes->dropped.count(e.handle)) continue;
    named = true;
    if (mode == AddMode::kAdd || Newer(content, e)) changes->replaced[e.handle] = content;
  }
  if (!named && mode != AddMode::kFreshen) changes->added.push_back(std::move(content));
  return {};
}

}  // namespace arjhost
