#include "cli/commands/rebuild_support.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <iostream>

#include "cli/commands/commands.h"
#include "cli/commands/comment_options.h"
#include "cli/commands/garble_password.h"
#include "cli/commands/interrupts.h"
#include "cli/input/limit_options.h"
#include "cli/input/password.h"
#include "cli/input/stored_name.h"
#include "cli/output/json_writer.h"
#include "cli/output/messages.h"
#include "cli/output/progress.h"
#include "cli/output/text_tools.h"
#include "runtime/api/text.h"

namespace cli {

bool OpenRewritable(const Args& args, const std::string& command, const std::string& path, bool may_create,
                    Session* s) {
  if (!OpenArchive(args, command, path, s, Purpose::kWrite)) return false;
  if (s->archive->created()) {
    if (may_create) return true;
    SayError("", "%s: cannot be opened: not found", ShowPath(path).c_str());
    return false;
  }
  const std::string why = s->archive->CheckRewrite({}).message;
  if (why.empty()) return true;
  SayError(command, "%s: %s", ShowPath(s->archive_path).c_str(),
      TerminalText(arjhost::DisplayName(why)).c_str());
  return false;
}

bool MethodOption(const Args& args, const std::string& command, int* method) {
  using arjhost::format::Byte;
  constexpr char kLast = static_cast<char>('0' + Byte(arjhost::format::kLastMethod));
  *method = Byte(arjhost::format::Method::kBest);
  if (!args.Has("method")) return true;
  const std::string v = args.Value("method");
  if (v.size() != 1 || v[0] < '0' || v[0] > kLast) {
    SayError(command, "-m takes a method from 0 to %c", kLast);
    return false;
  }
  *method = v[0] - '0';
  return true;
}

std::string Destination(const Args& args, const std::string& archive_path) {
  return args.Value("output", archive_path);
}

bool ParseAddedFile(const std::string& operand, const std::string& command, int method, arjhost::NewContent* out) {
  const size_t eq = operand.find('=');
  out->path = operand.substr(0, eq);
  const std::string given = eq == std::string::npos ? operand : operand.substr(eq + 1);
  std::string error;
  if (out->path.empty() || !StoredNameOf(given, &out->stored_name, &error)) {
    SayError(command, "%s",
        out->path.empty() ? ("\"" + operand + "\" names no file").c_str() : error.c_str());
    return false;
  }
  out->method = method;
  return true;
}

namespace {

std::string NameOfHandle(const std::vector<arjhost::EntryInfo>& entries, arjhost::EntryHandle handle,
                         const Args& args) {
  const arjhost::EntryInfo* e = arjhost::FindEntry(entries, handle);
  return e != nullptr ? ShowName(*e, args) : "";
}

}  // namespace

// The entries kept, dropped, replaced and added, and the output file.
void PrintRebuildJson(Session& s, const Args& args, const std::string& command,
                      const std::vector<arjhost::EntryInfo>& entries, const arjhost::ChangeSet& changes,
                      const std::string& destination, const RewriteOutcome& outcome) {
  JsonWriter json(DocumentStream(), true);
  json.BeginObject();
  json.Key("command"), json.String(command);
  json.Key("archive"), json.String(command == "create" ? "" : s.archive_path);
  json.Key("output"), json.String(destination);
  json.Key("written"), json.Bool(outcome.written);
  if (outcome.removed) json.Key("removed"), json.Bool(true);
  if (!outcome.written && !outcome.removed) json.Key("error"), json.String(outcome.error);
  json.Key("kept"), json.BeginArray();
  for (const arjhost::EntryInfo& e : entries)
    if (!changes.dropped.count(e.handle) && !changes.replaced.count(e.handle)) json.String(ShowName(e, args));
  json.EndArray();
  json.Key("dropped"), json.BeginArray();
  for (arjhost::EntryHandle h : changes.dropped) json.String(NameOfHandle(entries, h, args));
  json.EndArray();
  json.Key("replaced"), json.BeginArray();
  for (const auto& [handle, content] : changes.replaced) {
    json.BeginObject();
    json.Key("name"), json.String(NameOfHandle(entries, handle, args));
    json.Key("file"), json.String(content.path);
    json.EndObject();
  }
  json.EndArray();
  json.Key("added"), json.BeginArray();
  for (const arjhost::NewContent& c : changes.added) {
    json.BeginObject();
    json.Key("name"), json.String(c.stored_name);
    json.Key("file"), json.String(c.path);
    json.EndObject();
  }
  json.EndArray();
  json.EndObject();
  std::cout << "\n";
}

void NoteTheChangeOnSignals(const std::string& command, const std::string& destination, const std::string& change,
                            const std::string& undone) {
  SetNoticeOnceChanged("arjhost " + command + ": " + ShowPath(destination) + ": " + change +
                           " before the signal came" + (undone.empty() ? "" : "; " + undone) + "\n",
                       undone.empty() ? kExitOk : kExitPartial);
}

namespace {

// New content is written as it is: garbling it would take a password the
// rewrite is not given.
void NoteUngarbled(const Session& s, const Args& args, const std::string& command,
                   const std::vector<arjhost::EntryInfo>& entries, const arjhost::ChangeSet& changes) {
  for (const auto& [handle, content] : changes.replaced)
    if (const arjhost::EntryInfo* e = arjhost::FindEntry(entries, handle); e != nullptr && e->garbled)
      Say("arjhost %s: %s: %s: was garbled; its new content is written ungarbled\n", command.c_str(),
          ShowPath(s.archive_path).c_str(), ShowName(*e, args).c_str());
  const bool garbled = std::any_of(entries.begin(), entries.end(), [](const arjhost::EntryInfo& e) { return e.garbled; });
  if (garbled && !changes.added.empty())
    Say("arjhost %s: %s: holds garbled entries; the %zu new ones are written ungarbled\n", command.c_str(),
        ShowPath(s.archive_path).c_str(), changes.added.size());
}

}  // namespace

std::string LeastVolumeSize() {
  static_assert(arjhost::kMinVolumeSize % 1024 == 0, "named in whole K");
  return std::to_string(arjhost::kMinVolumeSize / 1024) + "K";
}

bool VolumeSizeOption(const Args& args, const std::string& command, uint64_t* size) {
  *size = 0;
  if (!args.Has("volume-size")) return true;
  if (!ParseSize(args.Value("volume-size"), UINT64_MAX, size) || !arjhost::CheckVolumeSize(*size).ok()) {
    SayError(command, "--volume-size takes a size of at least %s (as 10K, 1440K, 700M)", LeastVolumeSize().c_str());
    return false;
  }
  return true;
}

int RunRebuild(Session& s, const Args& args, const std::string& command,
               const std::vector<arjhost::EntryInfo>& entries, arjhost::ChangeSet changes,
               const std::string& destination) {
  // A file named "-" would be written where a pipe was meant.
  if (destination == kStandardInput) {
    RefuseStandardInput(command);
    return kExitFailure;
  }
  if (!VolumeSizeOption(args, command, &changes.volume_size)) return kExitFailure;
  // The factor of the record (arj -hk writes 1): the larger ones are not
  // written here.
  if (const std::string factor = args.Value("protect"); !factor.empty() && factor != "1") {
    SayError(command, "--protect=%s: only factor 1 (as arj a -hk writes it) is written",
             ShowPath(factor).c_str());
    return kExitFailure;
  }
  if (!TakeComments(args, command, entries, &changes)) return kExitFailure;
  RewriteOutcome outcome;
  if (const arjhost::Status refused = s.archive->CheckRewrite(changes, entries); !refused.ok()) {
    outcome.error = s.archive_path + ": " + refused.message;
    if (args.Has("json")) PrintRebuildJson(s, args, command, entries, changes, destination, outcome);
    SayError(command, "%s", ShowPath(outcome.error).c_str());
    return kExitFailure;
  }
  // delete writes no new content: its -p is for --test, and for the
  // garbled files of a set it writes (an old set, or --volume-size), which
  // are split again with it.
  std::string garble_password;
  if (command != "delete" && !GarblePassword(s, args, command, entries, &garble_password)) return kExitFailure;
  if (command == "delete" && (s.archive->state().multi_volume || changes.volume_size != 0))
    garble_password = args.Value("password");
  if (garble_password.empty()) NoteUngarbled(s, args, command, entries, changes);
  NoteTheChangeOnSignals(command, destination, "the new archive was in place",
                         args.Has("move") ? "no file stored was removed (--move)" : "");
  {
    // The rebuild says when it starts each file; the bytes of a large one
    // are watched as they are written.
    Progress progress("writing " + ShowPath(destination) + ":", "new files");
    std::atomic<size_t> started{0};
    const size_t total = changes.added.size() + changes.replaced.size();
    ProgressTicker ticker([&] { progress.Show(started, total, s.archive->RebuildBytesWritten()); });
    const Passwords passwords(args, true);
    arjhost::RebuildOptions options;
    // --move removes files: what holds them now must be sound first.
    options.test_entries = args.Has("test") || args.Has("move");
    options.passwords = passwords.Source();
    options.garble_password = garble_password;
    options.protect = args.Has("protect");
    // A typed password is not typed again for the test.
    if (!garble_password.empty() && !args.Has("password"))
      options.passwords = [garble_password](const arjhost::EntryInfo&, int attempt, std::string* password) {
        if (attempt > 0) return false;
        *password = garble_password;
        return true;
      };
    const arjhost::Status rebuilt = s.archive->Rebuild(
        changes, destination, [&](size_t now_started, size_t, const std::string&) { started = now_started; },
        options);
    outcome.written = rebuilt.ok();
    outcome.error = rebuilt.message;
  }
  if (args.Has("json")) PrintRebuildJson(s, args, command, entries, changes, destination, outcome);
  if (!outcome.written) {
    SayError(command, "%s", ShowPath(outcome.error).c_str());
    return kExitPartial;
  }
  // Read by recovery to be failed, never copied.
  if (s.recover)
    for (const arjhost::EntryInfo& e : entries)
      if (e.header_known && !e.header_crc_ok)
        Say("arjhost %s: %s: %s: its header fails its CRC; left out\n", command.c_str(),
            ShowPath(s.archive_path).c_str(), ShowName(e, args).c_str());
  // Copied as they were: a user may be deleting the others, or keeping
  // these to recover what is left.
  for (arjhost::EntryHandle handle : s.archive->DamagedEntriesCopied())
    if (const arjhost::EntryInfo* e = arjhost::FindEntry(entries, handle))
      Say("arjhost %s: %s: %s: its data fails its CRC; copied as it is\n", command.c_str(),
          ShowPath(s.archive_path).c_str(), ShowName(*e, args).c_str());
  // The protection data covers the old bytes: it would not fit the new
  // ones (--protect writes a record of them).
  if (s.archive->state().protected_data && !args.Has("protect"))
    Say("arjhost %s: %s: its ARJ-PROTECT data is not carried over (add --protect or arj -hk writes it anew)\n",
        command.c_str(), ShowPath(destination).c_str());
  if (!args.Has("json") && s.archive->VolumesWritten() > 1)
    std::printf("%s: %zu dropped, %zu replaced, %zu added; %zu volumes\n", destination.c_str(),
                changes.dropped.size(), changes.replaced.size(), changes.added.size(), s.archive->VolumesWritten());
  else if (!args.Has("json"))
    std::printf("%s: %zu dropped, %zu replaced, %zu added\n", destination.c_str(), changes.dropped.size(),
                changes.replaced.size(), changes.added.size());
  return kExitOk;
}

}  // namespace cli
