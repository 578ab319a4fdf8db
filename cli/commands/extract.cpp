// arjhost extract and arjhost test: every chosen entry through the plug-in,
// checked by CRC; extract writes each one safely under the target folder.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <iostream>
#include <set>
#include <utility>

#include "cli/commands/commands.h"
#include "cli/commands/session.h"
#include "cli/files/entry_placement.h"
#include "cli/files/extract_permissions.h"
#include "cli/files/folder_attributes.h"
#include "cli/files/link_entries.h"
#include "cli/files/safe_path.h"
#include "cli/input/existing_files.h"
#include "cli/input/name_pattern.h"
#include "cli/input/password.h"
#include "cli/output/entry_fields.h"
#include "cli/output/entry_tally.h"
#include "cli/output/json_report.h"
#include "cli/output/json_writer.h"
#include "cli/output/messages.h"
#include "cli/output/progress.h"
#include "cli/output/text_tools.h"
#include "runtime/api/entry_workers.h"

namespace cli {
namespace {

using Special = arjhost::EntryInfo::Special;

// What an entry left when the asking for passwords ended is, and why.
std::string NotTried() {
  return "not tried: the asking for passwords ended (" + std::to_string(kWrongPasswords) + " wrong answers, or none)";
}

struct Run {
  const Args& args;
  Session& session;
  bool extracting;
  Passwords& password_keeper;
  ExistingFiles existing;
  bool flat = false;       // --flat: every file in the extraction folder itself
  bool to_stdout = false;  // -c: the files' bytes on stdout, nothing made
  bool verbose = false;    // -v: each name as it is done
  bool keep_damaged = false;  // --keep-damaged: what came out of a damaged entry is kept, for rescue
  int root_fd = -1;
  arjhost::PasswordSource passwords{};
  bool json = false;
  EntryTally tally{};
  ExtractPermissions permissions{false};
  FolderAttributes folders{};
  bool overwrite = false;                  // -o: existing folders take their entries' modes and times too
  std::set<std::string> made_folders{};    // by this run (JoinedPath): the others were there before
  WrittenFiles written{};                  // the files this run wrote: hard links go only to them
  bool hard_links = false;                 // the archive holds some: `written` is kept for them
  std::set<std::string> removed_prefixes{};  // each named once
  size_t ok = 0, failed = 0, skipped = 0;
  uint64_t bytes = 0;
  // Per entry, for --json: name, "ok", "skipped: ..." or the error, bytes delivered.
  struct Result {
    std::string name, result;
    uint64_t size;
  };
  std::vector<Result> results{};
  // Entries handed to the workers, finished (reported, committed) in order:
  // every other entry, and every message, waits until those before it are.
  std::unique_ptr<arjhost::EntryWorkers> workers{};
  struct Pending {
    arjhost::EntryInfo entry;
    std::string path;  // under the folder, for extract
    int dir = -1;
    std::unique_ptr<EntryPlacement> place;
    int fd = -1;
  };
  std::deque<Pending> pending{};
  bool finishing = false;  // reporting a pending entry

  // Enough under way to keep every worker busy while the oldest finishes;
  // each extraction holds two descriptors.
  static constexpr size_t kUnderWay = 16;

  void Settle() {
    while (!pending.empty()) FinishOldest();
  }

  void Queue(Pending p, int fd) {
    workers->Submit(p.entry, fd, passwords);
    pending.push_back(std::move(p));
    if (pending.size() >= kUnderWay) FinishOldest();
  }

  void FinishOldest() {
    Pending p = std::move(pending.front());
    pending.pop_front();
    arjhost::ExtractResult outcome = workers->Collect();
    finishing = true;
    if (p.fd < 0) {
      Tested(p.entry, outcome);
    } else {
      Extracted(p.entry, *p.place, p.fd, outcome);
      p.place.reset();  // lets go of its temporary name before `dir` closes
      close(p.dir);
    }
    finishing = false;
  }

  // An entry under way whose path lies on the way to `path` or under it:
  // the earlier must be in place first.
  bool UnderWay(const std::string& path) const {
    for (const Pending& p : pending) {
      const std::string& a = p.path.size() <= path.size() ? p.path : path;
      const std::string& b = p.path.size() <= path.size() ? path : p.path;
      if (b.compare(0, a.size(), a) == 0 && (a.size() == b.size() || b[a.size()] == '/')) return true;
    }
    return false;
  }

  void Report(const arjhost::EntryInfo& e, const std::string& what) {
    SayError("", "%s: %s: %s", ShowPath(session.archive_path).c_str(), ShowName(e, args).c_str(),
        ShowPath(what).c_str());
  }

  void Fail(const arjhost::EntryInfo& e, const std::string& why, uint64_t size = 0) {
    if (!finishing) Settle();
    ++failed, ++tally.failed;
    Report(e, why);
    results.push_back({JsonName(e, args), why, size});
  }

  void Succeed(const arjhost::EntryInfo& e, uint64_t size) {
    if (!finishing) Settle();
    ++ok;
    tally.Done(e, size);
    results.push_back({JsonName(e, args), "ok", size});
    if (extracting && verbose && !json) Tell("%s\n", ShowName(e, args).c_str());
  }

  // `quiet`: said with -v only (a file kept as -n asks).
  void Skip(const arjhost::EntryInfo& e, const std::string& why, bool quiet = false) {
    Settle();
    ++skipped, ++tally.kept;
    if (!quiet) Report(e, why);
    else if (verbose && !json) Tell("%s: skipped: %s\n", ShowName(e, args).c_str(), why.c_str());
    results.push_back({JsonName(e, args), "skipped: " + why, 0});
  }

  // A line of the tool's report: on stdout, or on stderr when stdout
  // carries the entries' bytes.
  template <class... T>
  void Tell(const char* format, T... values) {
    if (to_stdout) Say(format, values...);
    else Print(format, values...);
  }

  void Test(const arjhost::EntryInfo& e) {
    if (workers) {
      Pending p;
      p.entry = e;
      return Queue(std::move(p), -1);
    }
    Tested(e, session.archive->Test(e, passwords));
  }

  // Garbled entries left when the asking ended were declined unasked.
  std::string Why(const arjhost::EntryInfo& e, const arjhost::Status& status) const {
    if (!e.garbled || !password_keeper.GaveUp() || status.code == arjhost::Code::kWrongPassword) return status.message;
    return "garbled; " + NotTried();
  }

  void Tested(const arjhost::EntryInfo& e, const arjhost::ExtractResult& outcome) {
    bytes += outcome.size;
    if (!outcome.ok()) return Fail(e, Why(e, outcome.status), outcome.size);
    Succeed(e, outcome.size);
    if (!json) Print("ok      %s\n", ShowName(e, args).c_str());
  }

  // The path under the extraction folder of a name entry `e` stores (its
  // own, or a hard link's target): its text (EntryText) without what made
  // it absolute (named once per run).
  bool PathOf(const std::string& stored, const arjhost::EntryInfo& e, std::vector<std::string>* parts,
              std::string* why) {
    std::string removed;
    if (!SplitEntryPath(EntryText(stored, e, args), parts, &removed, why)) return false;
    if (flat && !parts->empty()) parts->erase(parts->begin(), parts->end() - 1);
    if (!removed.empty() && removed_prefixes.insert(removed).second)
      Settle(), Say("arjhost: %s: removing leading \"%s\" from entry names\n", ShowPath(session.archive_path).c_str(),
                    ShowPath(removed).c_str());
    return true;
  }

  void Extract(const arjhost::EntryInfo& e) {
    if (to_stdout) return ExtractToStdout(e);
    const bool special = HasFileType(e, FileType::kUnixSpecial);
    const bool folder = HasFileType(e, FileType::kDirectory);
    // Links and folders read and make what earlier entries put in place.
    if (special || folder) Settle();
    // Two names that share their first 509 bytes must not land on one file.
    if (!e.name_whole) return Fail(e, "its name is longer than 509 bytes and its header could not be read for the rest");
    std::vector<std::string> parts;
    std::string why;
    if (!PathOf(e.name, e, &parts, &why)) return Fail(e, why);
    if (special && e.special != Special::kSymbolicLink && e.special != Special::kHardLink)
      return Skip(e, std::string(SpecialFileText(e.special)) + "; devices and FIFOs are not made");
    const bool symbolic_link = special && e.special == Special::kSymbolicLink;
    const std::string target = symbolic_link ? EntryText(e.link_target, e, args) : std::string();
    if (symbolic_link && !SymbolicLinkStaysInside(target, parts.size() - 1, &why))
      return Fail(e, "symbolic link to " + target + " refused: " + why);
    DirectoryWalk walk(root_fd, &made_folders);
    if (folder) {
      if (flat) return;  // as arj e makes none
      return ExtractFolder(e, walk, parts);
    }
    std::string path = JoinedPath(parts, parts.size());
    if (UnderWay(path)) Settle();
    int dir = walk.Open(parts, parts.size() - 1, &why);
    if (dir < 0) return Fail(e, why);
    // The placement lets go of its temporary name before `dir` closes.
    auto place = std::make_unique<EntryPlacement>(dir, parts.back());
    const ExistingFiles::Choice choice = place->HoldsFile() ? Decide(path) : ExistingFiles::Choice::kReplace;
    why = choice == ExistingFiles::Choice::kKeep ? "" : place->Check(choice == ExistingFiles::Choice::kReplace);
    if (choice == ExistingFiles::Choice::kKeep) Skip(e, "exists", true);
    else if (!why.empty()) Fail(e, why);
    else if (symbolic_link) ExtractSymbolicLink(e, *place, target);
    else if (special) ExtractHardLink(e, walk, parts, *place);
    else if (workers) return QueueFile(e, std::move(path), dir, std::move(place));
    else ExtractFile(e, *place);
    place.reset();
    close(dir);
  }

  // Whether to replace the file at `path`: asked in the archive's order,
  // once the entries before it are reported.
  ExistingFiles::Choice Decide(const std::string& path) {
    Settle();
    return existing.Decide(ShowPath(path));
  }

  // -c: a file's bytes as they come; folders, links and devices make nothing.
  void ExtractToStdout(const arjhost::EntryInfo& e) {
    if (HasFileType(e, FileType::kDirectory) || HasFileType(e, FileType::kUnixSpecial)) return;
    std::string write_error;
    const arjhost::ChunkSink sink = [&write_error](const uint8_t* data, size_t size) {
      for (size_t done = 0; done < size;) {
        const ssize_t n = write(STDOUT_FILENO, data + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
          write_error = std::string("cannot write to standard output: ") + std::strerror(errno);
          return false;
        }
        done += static_cast<size_t>(n);
      }
      return true;
    };
    arjhost::ExtractResult outcome = session.archive->Extract(e, sink, passwords);
    bytes += outcome.size;
    if (!write_error.empty()) return Fail(e, write_error, outcome.size);
    if (!outcome.ok()) return Fail(e, Why(e, outcome.status), outcome.size);
    Succeed(e, outcome.size);
  }

  void ExtractFolder(const arjhost::EntryInfo& e, const DirectoryWalk& walk, std::vector<std::string>& parts) {
    std::string why;
    int dir = walk.Open(parts, parts.size(), &why);
    if (dir < 0) return Fail(e, why);
    close(dir);
    // A folder that was there keeps what its owner gave it, as arj leaves
    // it (an entry ".ssh" must not open up ~/.ssh), unless -o.
    if (!overwrite && !made_folders.count(JoinedPath(parts, parts.size())))
      return Skip(e, "a folder of that name exists; it keeps its mode and time (-o sets them)", true);
    FolderAttributes::Folder folder;
    folder.set_mode = permissions.ForFolder(e, &folder.mode);
    folder.set_time = true;
    folder.time = e.modified_time;
    folder.result = results.size();
    folder.components = std::move(parts);
    folders.Remember(std::move(folder));
    Succeed(e, 0);
  }

  void ExtractSymbolicLink(const arjhost::EntryInfo& e, EntryPlacement& place, const std::string& target) {
    std::string why = MakeSymbolicLink(place, target, e.modified_time);
    if (why.empty()) why = place.Commit();
    if (!why.empty()) return Fail(e, why);
    Succeed(e, 0);
  }

  void ExtractHardLink(const arjhost::EntryInfo& e, const DirectoryWalk& walk, const std::vector<std::string>& parts,
                       EntryPlacement& place) {
    std::vector<std::string> target;
    std::string why;
    if (!PathOf(e.link_target, e, &target, &why)) return Fail(e, "hard link target refused: " + why);
    if (target == parts) return Fail(e, "a hard link to itself");
    why = MakeHardLink(walk, target, written, place);
    if (why.empty()) why = place.Commit();
    if (!why.empty()) return Fail(e, why);
    // Left when the name already was another name of the target.
    unlinkat(place.dir(), place.temp().c_str(), 0);
    Succeed(e, 0);
  }

  // Readable too: a large entry is decoded into this file directly.
  static int CreateFile(const EntryPlacement& place) {
    return openat(place.dir(), place.temp().c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  }

  void QueueFile(const arjhost::EntryInfo& e, std::string path, int dir, std::unique_ptr<EntryPlacement> place) {
    const int fd = CreateFile(*place);
    if (fd < 0) {
      Fail(e, std::string("cannot create a file: ") + std::strerror(errno));
      place.reset();
      close(dir);
      return;
    }
    Pending p;
    p.entry = e;
    p.path = std::move(path);
    p.dir = dir;
    p.place = std::move(place);
    p.fd = fd;
    Queue(std::move(p), fd);
  }

  void ExtractFile(const arjhost::EntryInfo& e, EntryPlacement& place) {
    int fd = CreateFile(place);
    if (fd < 0) return Fail(e, std::string("cannot create a file: ") + std::strerror(errno));
    Extracted(e, place, fd, session.archive->ExtractToFile(e, fd, passwords));
  }

  // With --keep-damaged, the bytes of an entry that came out damaged, said
  // so in its failure; "" when nothing of it is kept.
  std::string KeptDamaged(const arjhost::EntryInfo& e, const arjhost::ExtractResult& outcome) const {
    if (!keep_damaged || !outcome.damaged || outcome.size == 0) return {};
    if (outcome.size == e.size) return "; kept with its damaged bytes (--keep-damaged)";
    return "; kept with the " + std::to_string(outcome.size) + " of " + std::to_string(e.size) +
           " bytes that came out before the damage (--keep-damaged)";
  }

  // Closes `fd`, and puts the file in place when whole (or damaged, and
  // kept as --keep-damaged asks: the entry still fails).
  void Extracted(const arjhost::EntryInfo& e, EntryPlacement& place, int fd, const arjhost::ExtractResult& outcome) {
    bytes += outcome.size;
    const bool whole = outcome.ok();
    const std::string kept = whole ? "" : KeptDamaged(e, outcome);
    const bool put = whole || !kept.empty();
    if (put) {
      fchmod(fd, permissions.ForFile(e));
      if (e.header_known) {
        timespec times[2] = {{static_cast<time_t>(e.modified_time), 0}, {static_cast<time_t>(e.modified_time), 0}};
        futimens(fd, times);
      }
    }
    struct stat file;
    const bool known = put && hard_links && fstat(fd, &file) == 0;
    std::string not_put;  // why the file could not be put in place
    if (close(fd) != 0 && put) not_put = std::string("cannot write the file: ") + std::strerror(errno);
    else if (put) not_put = place.Commit();
    if (known && not_put.empty()) written.Add(file);
    if (whole && not_put.empty()) return Succeed(e, outcome.size);
    if (whole) return Fail(e, not_put, outcome.size);
    if (!put) return Fail(e, Why(e, outcome.status), outcome.size);
    Fail(e, Why(e, outcome.status) + (not_put.empty() ? kept : "; not kept: " + not_put), outcome.size);
  }

  // Once every entry is written.
  void FinishFolders() {
    folders.Apply(DirectoryWalk(root_fd), [this](const FolderAttributes::Folder& f, const std::string& why) {
      Result& r = results[f.result];
      SayError("", "%s: %s: %s", ShowPath(session.archive_path).c_str(), TerminalText(r.name).c_str(),
          ShowPath(why).c_str());
      if (r.result == "ok") --ok, ++failed, --tally.folders, ++tally.failed;
      r.result = why;
    });
  }
};

// What makes no file: an entry of the main header's type (a comment
// alone) and volume and chapter labels.
bool NoFile(const arjhost::EntryInfo& e) {
  return HasFileType(e, FileType::kMainHeader) || HasFileType(e, FileType::kVolumeLabel) ||
         HasFileType(e, FileType::kChapterLabel);
}

void PrintJson(const Run& run, const std::vector<std::string>& missing) {
  JsonWriter json(DocumentStream(), true);
  json.BeginObject();
  WriteArchiveState(json, run.session, run.args);
  json.Key("entries"), json.BeginArray();
  for (const Run::Result& r : run.results) {
    json.BeginObject();
    json.Key("name"), json.String(r.name);
    json.Key("result"), json.String(r.result);
    json.Key("size"), json.Unsigned(r.size);
    json.EndObject();
  }
  json.EndArray();
  json.Key("missing"), json.BeginArray();
  for (const std::string& n : missing) json.String(n);
  json.EndArray();
  json.Key("summary"), json.BeginObject();
  json.Key("entries"), json.Unsigned(run.results.size());
  json.Key("ok"), json.Unsigned(run.ok);
  json.Key("failed"), json.Unsigned(run.failed);
  json.Key("skipped"), json.Unsigned(run.skipped);
  json.Key("bytes"), json.Unsigned(run.bytes);
  json.EndObject();
  json.EndObject();
  std::cout << "\n";
}

int RunEntries(const Args& args, bool extracting) {
  const char* command = extracting ? "extract" : "test";
  Session session;
  if (!OpenSession(args, command, &session)) return kExitFailure;
  const int latest = session.archive->state().chapter;
  const int chapter = args.Has("chapter") ? std::atoi(args.Value("chapter").c_str()) : latest;
  if (args.Has("chapter") && (chapter < 1 || chapter > latest)) {
    const std::string why = latest == 0 ? "the archive has no chapters"
                                        : "--chapter takes a chapter from 1 to " + std::to_string(latest);
    SayError(command, "%s: %s", ShowPath(session.archive_path).c_str(), why.c_str());
    return kExitFailure;
  }
  if (args.Has("stdout") && args.Has("json")) {
    SayError("extract", "--stdout and --json would both write to standard output; choose one");
    return kExitFailure;
  }
  Passwords passwords(args);
  Run run{args, session, extracting, passwords, ExistingFiles(args)};
  run.flat = args.Has("flat");
  run.to_stdout = args.Has("stdout");
  run.verbose = args.Has("verbose");
  run.keep_damaged = args.Has("keep-damaged");
  run.passwords = passwords.Source();
  run.json = args.Has("json");
  run.permissions = ExtractPermissions(args.Has("preserve-permissions"));
  run.overwrite = args.Has("overwrite");
  if (extracting && !run.to_stdout) {
    std::string dir = args.Value("directory", ".");
    std::error_code ignored;  // a folder that cannot be made fails to open below
    std::filesystem::create_directories(dir, ignored);
    run.root_fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (run.root_fd < 0) {
      SayError(command, "%s: cannot open the extraction folder: %s", dir.c_str(), std::strerror(errno));
      return kExitFailure;
    }
  }
  NameSelection selection(std::vector<std::string>(args.operands.begin() + 1, args.operands.end()), args);
  std::vector<arjhost::EntryInfo> entries = session.archive->Entries();
  run.hard_links = std::any_of(entries.begin(), entries.end(), [](const arjhost::EntryInfo& e) {
    return HasFileType(e, FileType::kUnixSpecial) && e.special == Special::kHardLink;
  });
  // arj takes the entries whose last chapter is the main header's or later
  // (none when it is refused); --chapter N those that belong to chapter N.
  const bool archive_chapter_refused = !arjhost::CheckArchiveChapter(latest, entries).ok();
  const auto InChapter = [&](const arjhost::EntryInfo& e) {
    if (args.Has("chapter")) return arjhost::BelongsToChapter(e, chapter);
    return !archive_chapter_refused && arjhost::TakenForArchiveChapter(e, chapter);
  };
  // What the chapter and the patterns choose: the progress line counts it,
  // and the workers share it.
  std::vector<const arjhost::EntryInfo*> chosen;
  uint64_t chosen_bytes = 0;
  size_t in_chapter = 0;
  for (const arjhost::EntryInfo& e : entries) {
    if (!InChapter(e)) continue;
    ++in_chapter;
    if (selection.Takes(e.name, ExtractedName(e, args))) chosen.push_back(&e), chosen_bytes += e.size;
  }
  // Entries decode on every core: each worker opens the archive for itself.
  // (Not for stdout: the bytes go out in the archive's order as they come.)
  if (const unsigned count = arjhost::EntryWorkerCount(entries.size(), chosen.size(), chosen_bytes);
      count > 0 && !run.to_stdout)
    run.workers = std::make_unique<arjhost::EntryWorkers>(*session.host, *session.archive, session.archive_path,
                                                          session.options, count);
  Progress progress(extracting ? "extracting" : "testing", "entries");
  size_t done = 0;
  bool stop_said = false;
  for (const arjhost::EntryInfo* chosen_entry : chosen) {
    const arjhost::EntryInfo& e = *chosen_entry;
    progress.Show(done++, chosen.size(), run.bytes);
    // Judged alike by test and extract, before anything is made.
    if (const arjhost::Status problem = arjhost::CheckEntry(e); !problem.ok()) {
      run.Fail(e, problem.message);
      continue;
    }
    if (NoFile(e)) continue;
    // Each entry left is reported, as not tried.
    if (passwords.GaveUp()) {
      if (!std::exchange(stop_said, true))
        SayError(command, "%s: stopped after %d wrong passwords", ShowPath(session.archive_path).c_str(),
            kWrongPasswords);
      // Named as a queued garbled entry would be, whether or not the
      // workers had this one queued already.
      run.Fail(e, e.garbled ? run.Why(e, {}) : NotTried());
      continue;
    }
    if (extracting) run.Extract(e);
    else run.Test(e);
  }
  run.Settle();
  run.workers.reset();
  if (args.Has("chapter") && in_chapter == 0)
    SayError(command, "%s: chapter %d holds no entry", ShowPath(session.archive_path).c_str(), chapter);
  const std::vector<std::string> missing = selection.Unmatched();
  for (const std::string& n : missing) {
    ++run.failed;
    SayError("", "%s: no entry matches \"%s\"", ShowPath(session.archive_path).c_str(), ShowPath(n).c_str());
  }
  if (run.root_fd >= 0) {
    run.FinishFolders();
    close(run.root_fd);
  }
  if (run.json) PrintJson(run, missing);
  else if (!extracting)
    Print("%zu entr%s tested: %zu ok, %zu failed\n", run.ok + run.failed, run.ok + run.failed == 1 ? "y" : "ies",
          run.ok, run.failed);
  else if (!run.to_stdout || run.verbose) run.Tell("%s\n", run.tally.Text().c_str());
  int state = ReportArchiveState(session, entries, args);
  const bool trouble = run.failed > 0 || (args.Has("chapter") && in_chapter == 0);
  return trouble || state != kExitOk ? kExitPartial : kExitOk;
}

}  // namespace

int RunExtract(const Args& args) { return RunEntries(args, true); }
int RunTest(const Args& args) { return RunEntries(args, false); }

}  // namespace cli
