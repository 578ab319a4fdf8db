// arjhost delete, replace, add and create: rewrites through the plug-in's
// Rebuild, never in place (see Archive::Rebuild).
#include <sys/stat.h>

#include <cstdio>
#include <set>

#include "cli/input/added_files.h"
#include "cli/commands/commands.h"
#include "cli/commands/comment_options.h"
#include "cli/commands/moved_sources.h"
#include "cli/input/name_lists.h"
#include "cli/output/entry_fields.h"
#include "cli/output/messages.h"
#include "cli/input/name_pattern.h"
#include "cli/commands/rebuild_support.h"
#include "runtime/operations/add_by_name.h"
#include "runtime/api/archive.h"

namespace cli {
namespace {

// Every old entry stored under `name` (duplicates are possible).
std::vector<const arjhost::EntryInfo*> EntriesNamed(const std::vector<arjhost::EntryInfo>& entries,
                                                    const std::string& name) {
  std::vector<const arjhost::EntryInfo*> named;
  for (const arjhost::EntryInfo& e : entries)
    if (e.name == name) named.push_back(&e);
  return named;
}

// The command's arguments with the @FILE lists after the archive read in;
// false (with a line on stderr) when a list cannot be read or fewer than
// `count` operands are left.
bool OperandsOf(const Args& given, const std::string& command, size_t count, Args* args) {
  *args = given;
  if (!ExpandNameLists(command, 1, args)) return false;
  if (args->operands.size() >= count) return true;
  SayError(command, "missing operands; try arjhost %s --help", command.c_str());
  return false;
}

// Whether the file differs from the entry as arj ac tells: by its size or
// its time (as far as the entry's time can tell); the bytes are not read.
bool Changed(const arjhost::NewContent& c, const arjhost::EntryInfo& e) {
  struct stat st;
  const int r = c.kind == arjhost::ContentKind::kFile ? ::stat(c.path.c_str(), &st) : ::lstat(c.path.c_str(), &st);
  if (r != 0 || !e.header_known) return true;
  if (c.kind == arjhost::ContentKind::kFile && static_cast<uint64_t>(st.st_size) != e.size) return true;
  const int64_t apart = static_cast<int64_t>(st.st_mtime) - e.modified_time;
  return apart >= arjhost::TimeStepOf(e) || -apart >= arjhost::TimeStepOf(e);
}

// With --new-chapter (arj ac): a file that the archive's latest chapter
// holds unchanged goes on into the new chapter; any other is a new entry
// of it, beside the old versions.
void AddToNewChapter(arjhost::NewContent content, const std::vector<const arjhost::EntryInfo*>& named, int chapter,
                     arjhost::ChangeSet* changes) {
  for (const arjhost::EntryInfo* e : named)
    if (arjhost::TakenForArchiveChapter(*e, chapter) && !Changed(content, *e)) {
      changes->carried.insert(e->handle);
      return;
    }
  changes->added.push_back(std::move(content));
}

// New files: appended, or, as arj a does, in place of the entries of the
// same name (with -u only those older than the file; with --freshen, as
// arj f, only those, and nothing appended). Two files for one name are
// refused. `found_none` tells that no file was left to store.
bool CollectAdded(const Args& args, const std::string& command, const std::vector<arjhost::EntryInfo>& entries,
                  int chapter, const std::string& destination, arjhost::ChangeSet* changes, bool* found_none) {
  changes->new_chapter = args.Has("new-chapter");
  if (changes->new_chapter && args.Has("update")) {
    SayError(command, "--new-chapter and -u do not go together: a chapter takes every file named");
    return false;
  }
  int method = -1;
  if (!MethodOption(args, command, &method)) return false;
  std::vector<arjhost::NewContent> found;
  if (!CollectNewContent(args, command, destination, 1, method, &found)) return false;
  *found_none = found.empty();
  const arjhost::AddMode mode = args.Has("freshen") ? arjhost::AddMode::kFreshen
                                : args.Has("update")  ? arjhost::AddMode::kUpdate
                                                      : arjhost::AddMode::kAdd;
  for (arjhost::NewContent& content : found) {
    const std::string path = content.path;
    arjhost::Status taken;
    if (!changes->new_chapter) {
      taken = arjhost::AddByName(entries, std::move(content), mode, changes);
    } else if ((taken = arjhost::TakeNewName(content.stored_name, changes)).ok()) {
      const std::vector<const arjhost::EntryInfo*> named = EntriesNamed(entries, content.stored_name);
      AddToNewChapter(std::move(content), named, chapter, changes);
    }
    if (!taken.ok()) {
      SayError(command, "%s: %s: %s", args.operands[0].c_str(), path.c_str(), taken.message.c_str());
      return false;
    }
  }
  return true;
}

bool Exists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

// add and create, once the archive they start from is open.
int AddTo(Session& s, const Args& args, const std::string& command, const std::string& destination) {
  arjhost::ChangeSet changes;
  const std::vector<arjhost::EntryInfo> entries = s.archive->Entries();
  bool found_none = false;
  if (!CollectAdded(args, command, entries, s.archive->state().chapter, destination, &changes, &found_none))
    return kExitFailure;
  // A new chapter is added even when it changes no file, as arj ac adds it.
  const bool chapter = changes.new_chapter && !found_none;
  if (!changes.added.empty() || !changes.replaced.empty() || chapter || CommentsAsked(args)) {
    // Noted before anything is read, removed once the new archive stands.
    const MovedSources moved(args.Has("move") ? changes : arjhost::ChangeSet{});
    const int code = RunRebuild(s, args, command, entries, changes, destination);
    if (code != kExitOk) return code;
    const int removed = moved.RemoveAll(command);
    NoteTheChangeOnSignals(command, destination, "the new archive was in place");
    return removed;
  }
  // Nothing is rewritten: as arj u when every file is older, and when
  // every file named was left out (an archive without entries would be
  // taken for a damaged one).
  RewriteOutcome outcome;
  outcome.error = found_none ? "nothing to add: every file named is left out; nothing is written" : "nothing newer to add";
  if (args.Has("json")) PrintRebuildJson(s, args, command, entries, changes, destination, outcome);
  if (found_none) SayError(command, "%s: %s", ShowPath(destination).c_str(), outcome.error.c_str());
  else if (!args.Has("json")) std::printf("%s: %s\n", destination.c_str(), outcome.error.c_str());
  return found_none ? kExitPartial : kExitOk;
}

// Every entry deleted: as arj d ("Deleting empty archive"), the archive is
// removed rather than left without entries, which readers take for a
// damaged one. Nothing is removed nor written when the new archive was to
// go elsewhere (-o), or when recovery read the archive (its damaged
// ranges may still hold something).
int RemoveEmptied(Session& s, const Args& args, const std::vector<arjhost::EntryInfo>& entries,
                  const arjhost::ChangeSet& changes, const std::string& destination) {
  RewriteOutcome outcome;
  if (destination != s.archive_path) {
    outcome.error = destination + ": not written: it would hold no entries";
  } else if (s.archive->state().damaged) {
    outcome.error = destination + ": not removed: every entry recovery read would be deleted from a damaged archive";
  } else {
    NoteTheChangeOnSignals("delete", destination, "every entry deleted; the archive was removed");
    const arjhost::Status removed = s.archive->RemoveFile();
    outcome.removed = removed.ok();
    outcome.error = removed.message;
  }
  if (args.Has("json")) PrintRebuildJson(s, args, "delete", entries, changes, destination, outcome);
  if (!outcome.removed) {
    SayError("delete", "%s", ShowPath(outcome.error).c_str());
    return kExitPartial;
  }
  Say("arjhost delete: %s: every entry deleted: the archive is removed, as arj d removes an empty archive\n",
      ShowPath(destination).c_str());
  return kExitOk;
}

// Why `replace` refuses to give an entry a file's content ("" when it
// does not): a folder, link or label would become a plain file.
std::string NotAFileEntry(const arjhost::EntryInfo& e) {
  if (!e.header_known || arjhost::format::HoldsFileData(e.file_type)) return "";
  return "it is a " + FileTypeText(e.file_type) + " entry; only a file entry takes a file's content";
}

}  // namespace

int RunDelete(const Args& given) {
  Args args;
  if (!OperandsOf(given, "delete", 2, &args)) return kExitFailure;
  Session s;
  if (!OpenRewritable(args, "delete", args.operands[0], false, &s)) return kExitFailure;
  NameSelection selection(std::vector<std::string>(args.operands.begin() + 1, args.operands.end()), args);
  const std::vector<arjhost::EntryInfo> entries = s.archive->Entries();
  arjhost::ChangeSet changes;
  for (const arjhost::EntryInfo& e : entries)
    if (selection.Takes(e.name, ExtractedName(e, args))) changes.dropped.insert(e.handle);
  // Named, as arj d would not; the archive is still rewritten for the
  // patterns that took something (exit code 0).
  for (const std::string& pattern : selection.Unmatched())
    SayError("delete", "%s: no entry matches \"%s\"", ShowPath(s.archive_path).c_str(), ShowPath(pattern).c_str());
  if (changes.dropped.empty()) return kExitPartial;  // nothing to do: the archive stays as it is
  const std::string destination = Destination(args, s.archive_path);
  if (changes.dropped.size() == entries.size()) return RemoveEmptied(s, args, entries, changes, destination);
  return RunRebuild(s, args, "delete", entries, changes, destination);
}

int RunReplace(const Args& given) {
  Args args;
  if (!OperandsOf(given, "replace", 2, &args)) return kExitFailure;
  Session s;
  if (!OpenRewritable(args, "replace", args.operands[0], false, &s)) return kExitFailure;
  const std::vector<arjhost::EntryInfo> entries = s.archive->Entries();
  arjhost::ChangeSet changes;
  for (size_t i = 1; i < args.operands.size(); ++i) {
    const std::string& operand = args.operands[i];
    const size_t eq = operand.find('=');
    if (eq == std::string::npos || eq == 0 || eq + 1 == operand.size()) {
      SayError("replace", "\"%s\" is not NAME=FILE", operand.c_str());
      return kExitFailure;
    }
    const std::string name = operand.substr(0, eq);
    const std::vector<const arjhost::EntryInfo*> named = EntriesNamed(entries, name);
    if (named.empty())
      SayError("replace", "%s: no entry named \"%s\"", ShowPath(s.archive_path).c_str(), ShowPath(name).c_str());
    for (const arjhost::EntryInfo* e : named)
      if (const std::string why = NotAFileEntry(*e); !why.empty()) {
        SayError("replace", "%s: %s: %s", ShowPath(s.archive_path).c_str(), ShowPath(name).c_str(), why.c_str());
        return kExitFailure;
      }
    arjhost::NewContent content;
    content.path = operand.substr(eq + 1);
    content.stored_name = name;
    for (const arjhost::EntryInfo* e : named) changes.replaced[e->handle] = content;
  }
  if (changes.replaced.empty()) return kExitPartial;
  return RunRebuild(s, args, "replace", entries, changes, Destination(args, s.archive_path));
}

int RunAdd(const Args& given) {
  Args args;
  // A comment alone is a change too (as arj c makes it).
  if (!OperandsOf(given, "add", CommentsAsked(given) ? 1 : 2, &args)) return kExitFailure;
  Session s;
  // As arj a and 7zz a do, a missing archive is made; but not of a comment
  // alone: an archive without entries is taken for a damaged one.
  if (!OpenRewritable(args, "add", args.operands[0], true, &s)) return kExitFailure;
  if (s.archive->created() && args.operands.size() < 2) {
    SayError("add", "%s: not written: it does not exist, and a comment alone makes no archive",
        ShowPath(args.operands[0]).c_str());
    return kExitPartial;
  }
  return AddTo(s, args, "add", Destination(args, args.operands[0]));
}

int RunCreate(const Args& given) {
  Args args;
  if (!OperandsOf(given, "create", 2, &args)) return kExitFailure;
  const std::string destination = Destination(args, args.operands[0]);
  // Said before anything of it is read; one that appears later is never
  // replaced (Archive::Rebuild).
  if (Exists(destination)) {
    SayError("create", "%s: already exists; use add", destination.c_str());
    return kExitFailure;
  }
  Session s;
  if (!OpenRewritable(args, "create", destination, true, &s)) return kExitFailure;
  return AddTo(s, args, "create", destination);
}

}  // namespace cli
