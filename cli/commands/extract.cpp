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
#include <filesystem>
#include <limits>
#include <set>
#include <utility>

#include "cli/commands/archive_jobs.h"
#include "cli/commands/chapter_choice.h"
#include "cli/commands/commands.h"
#include "cli/commands/session.h"
#include "cli/input/existing_files.h"
#include "cli/input/name_pattern.h"
#include "cli/input/password.h"
#include "cli/output/archive_documents.h"
#include "cli/output/entry_fields.h"
#include "cli/output/entry_tally.h"
#include "cli/output/json_report.h"
#include "cli/output/json_writer.h"
#include "cli/output/messages.h"
#include "cli/output/progress.h"
#include "cli/output/text_tools.h"
#include "runtime/operations/entry_run.h"
#include "runtime/operations/folder_extraction.h"

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
  bool to_stdout = false;  // -c: the files' bytes on stdout, nothing made
  bool verbose = false;    // -v: each name as it is done
  int root_fd = -1;
  arjhost::PasswordSource passwords{};
  bool json = false;
  EntryTally tally{};
  // Where the entries are put, by the library's safe-path rules.
  std::unique_ptr<arjhost::FolderExtraction> folder{};
  arjhost::FolderExtraction::Hooks hooks{};
  size_t ok = 0, failed = 0, skipped = 0;
  uint64_t bytes = 0;
  // Per entry, for --json: name, "ok", "skipped: ..." or the error, bytes delivered.
  struct Result {
    std::string name, result;
    uint64_t size;
  };
  std::vector<Result> results{};
  // The library's run over the entries: workers, and every verdict in the
  // archive's order (every other entry, and every message, waits until
  // those before it are reported).
  std::unique_ptr<arjhost::EntryRun> entry_run{};

  void Settle() { entry_run->Settle(); }

  // A verdict, in order: tested, extracted, or reached without decoding.
  void Verdict(const arjhost::EntryInfo& e, const arjhost::ExtractResult& outcome, arjhost::PlacedFile file,
               bool decoded) {
    if (!decoded) return Fail(e, outcome.status.message);
    if (file.empty()) return Tested(e, outcome);
    Extracted(e, std::move(file), outcome);
  }

  void Report(const arjhost::EntryInfo& e, const std::string& what) {
    SayError("", "%s: %s: %s", ShowPath(session.archive_path).c_str(), ShowName(e, args).c_str(),
        ShowPath(what).c_str());
  }

  void Fail(const arjhost::EntryInfo& e, const std::string& why, uint64_t size = 0) {
    Settle();
    ++failed, ++tally.failed;
    Report(e, why);
    results.push_back({JsonName(e, args), why, size});
  }

  void Succeed(const arjhost::EntryInfo& e, uint64_t size) {
    Settle();
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

  // Garbled entries left when the asking ended were declined unasked.
  std::string Why(const arjhost::EntryInfo& e, const arjhost::Status& status) const {
    if (e.garbled && status.code == arjhost::Code::kPasswordNeeded && password_keeper.AskingHeldBack())
      return status.message + " (" + kNotAskedSideBySide + ")";
    if (!e.garbled || !password_keeper.GaveUp() || status.code == arjhost::Code::kWrongPassword) return status.message;
    return "garbled; " + NotTried();
  }

  void Tested(const arjhost::EntryInfo& e, const arjhost::ExtractResult& outcome) {
    bytes += outcome.size;
    if (!outcome.ok()) return Fail(e, Why(e, outcome.status), outcome.size);
    Succeed(e, outcome.size);
    if (!json) Print("ok      %s\n", ShowName(e, args).c_str());
  }

  void Extract(const arjhost::EntryInfo& e) {
    if (to_stdout) return ExtractToStdout(e);
    // Links and folders read and make what earlier entries put in place.
    if (HasFileType(e, FileType::kUnixSpecial) || HasFileType(e, FileType::kDirectory)) Settle();
    arjhost::FolderExtraction::Step step = folder->Prepare(e, results.size(), hooks);
    using Kind = arjhost::FolderExtraction::Step::Kind;
    switch (step.kind) {
      case Kind::kDone: return Succeed(e, 0);
      case Kind::kSkipped: return Skip(e, step.why, step.quiet);
      case Kind::kFailed: return Fail(e, step.why);
      case Kind::kNothing: return;
      case Kind::kDecode: break;
    }
    entry_run->Extract(e, std::move(step.file));
  }

  // The hooks by which the library's placing of entries keeps the run's
  // order: its notices, the entries under way, the questions.
  void SetHooks() {
    hooks.prefix_removed = [this](const std::string& removed) {
      Settle();
      Say("arjhost: %s: removing leading \"%s\" from entry names\n", ShowPath(session.archive_path).c_str(),
          ShowPath(removed).c_str());
    };
    // An entry under way on the way to the path, or under it, goes first.
    hooks.placing = [this](const std::string& path) {
      if (entry_run->UnderWay(path)) Settle();
    };
    hooks.existing = [this](const std::string& path) { return Decide(path); };
  }

  // Whether to replace the file at `path`: asked in the archive's order,
  // once the entries before it are reported.
  arjhost::ExistingFile Decide(const std::string& path) {
    Settle();
    switch (existing.Decide(ShowPath(path))) {
      case ExistingFiles::Choice::kReplace: return arjhost::ExistingFile::kReplace;
      case ExistingFiles::Choice::kKeep: return arjhost::ExistingFile::kKeep;
      default: return arjhost::ExistingFile::kFail;
    }
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

  // Puts the file in place when whole (or damaged, and kept as
  // --keep-damaged asks: the entry still fails).
  void Extracted(const arjhost::EntryInfo& e, arjhost::PlacedFile file, const arjhost::ExtractResult& outcome) {
    bytes += outcome.size;
    const std::string why = folder->FinishFile(e, std::move(file), outcome, Why(e, outcome.status));
    if (why.empty()) return Succeed(e, outcome.size);
    Fail(e, why, outcome.size);
  }

  // --keep-damaged: the data of an entry that fails for its header alone,
  // kept under its name marked as damaged when it matches its CRC (else as
  // any damaged entry's); the entry still fails with `problem`. Decoded
  // here rather than on a worker: its failure says where the bytes went.
  void KeepForDamagedHeader(const arjhost::EntryInfo& e, const arjhost::EntryInfo& marked, const std::string& problem) {
    Settle();
    arjhost::FolderExtraction::Step step = folder->Prepare(marked, results.size(), hooks);
    if (step.kind != arjhost::FolderExtraction::Step::Kind::kDecode)
      return Fail(e, problem + (step.why.empty() ? "" : "; its data not kept: " + step.why));
    const arjhost::ExtractResult outcome = session.archive->ExtractToFile(marked, step.file.fd(), passwords);
    bytes += outcome.size;
    const std::string where = step.path;
    const std::string why = folder->FinishFile(marked, std::move(step.file), outcome, Why(marked, outcome.status));
    // Its data damaged too: said as any damaged entry's, with where what
    // was kept of it went (the marked name is no name the user knows).
    const bool kept = faccessat(root_fd, where.c_str(), F_OK, AT_SYMLINK_NOFOLLOW) == 0;
    if (!why.empty()) return Fail(e, problem + "; " + why + (kept ? ", as " + where : ""), outcome.size);
    Fail(e, problem + "; its data, which matches its CRC, kept as " + where + " (--keep-damaged)", outcome.size);
  }

  // Once every entry is written.
  void FinishFolders() {
    folder->FinishFolders([this](size_t tag, const std::string& why) {
      Result& r = results[tag];
      SayError("", "%s: %s: %s", ShowPath(session.archive_path).c_str(), TerminalText(r.name).c_str(),
          ShowPath(why).c_str());
      if (r.result == "ok") --ok, ++failed, --tally.folders, ++tally.failed;
      r.result = why;
    });
  }
};

void WriteRunMembers(JsonWriter& json, const Run& run, const std::vector<arjhost::EntryInfo>& entries,
                     const std::vector<std::string>& missing) {
  WriteArchiveState(json, run.session, arjhost::ArchiveDamaged(run.session.archive->state(), entries), run.args);
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
}

// Tests or extracts the entries of the archive at `path` that `patterns`
// take, on at most `max_workers` worker threads beside the caller's, and
// returns the exit code for it.
int RunEntries(const Args& args, bool extracting, const std::string& path, const std::vector<std::string>& patterns,
               Passwords& passwords, unsigned max_workers, ArchiveDocument& document) {
  const char* command = extracting ? "extract" : "test";
  Session session;
  if (!OpenArchive(args, command, path, &session)) {
    document.Failed(path, LastError());
    return kExitFailure;
  }
  std::vector<arjhost::EntryInfo> entries = session.archive->Entries();
  // arj takes the entries whose last chapter is the main header's or later
  // (none when it is refused); --chapter N those that belong to chapter N.
  arjhost::ChapterChoice chapters;
  if (!MakeChapterChoice(args, command, ShowPath(session.archive_path), session.archive->state().chapter, entries,
                         &chapters))
    return kExitFailure;
  if (args.Has("stdout") && args.Has("json")) {
    SayError("extract", "--stdout and --json would both write to standard output; choose one");
    return kExitFailure;
  }
  Run run{args, session, extracting, passwords, ExistingFiles(args)};
  run.to_stdout = args.Has("stdout");
  run.verbose = args.Has("verbose");
  run.passwords = passwords.Source();
  run.json = document.wanted();
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
  NameSelection selection(patterns, args);
  if (run.root_fd >= 0) {
    arjhost::FolderExtractionOptions options;
    options.codepage = CodePageOption(args);
    options.flat = args.Has("flat");
    options.overwrite = args.Has("overwrite");
    options.preserve_permissions = args.Has("preserve-permissions");
    options.keep_damaged = args.Has("keep-damaged");
    options.hard_links = std::any_of(entries.begin(), entries.end(), [](const arjhost::EntryInfo& e) {
      return HasFileType(e, FileType::kUnixSpecial) && e.special == Special::kHardLink;
    });
    run.folder = std::make_unique<arjhost::FolderExtraction>(run.root_fd, options);
    run.SetHooks();
  }
  // What the chapter and the patterns choose: the progress line counts it,
  // and the workers share it.
  std::vector<const arjhost::EntryInfo*> chosen;
  size_t in_chapter = 0;
  for (const arjhost::EntryInfo& e : entries) {
    if (!chapters.Takes(e)) continue;
    ++in_chapter;
    if (selection.Takes(e.name, ExtractedName(e, args))) chosen.push_back(&e);
  }
  // Entries decode on every core: each worker opens the archive for itself.
  // (Not for stdout: the bytes go out in the archive's order as they come;
  // nor for an archive read from standard input, which cannot be opened again.)
  run.entry_run = std::make_unique<arjhost::EntryRun>(
      arjhost::EntryRunSource{*session.host, *session.archive,
                              session.Reopenable() && !run.to_stdout ? session.archive_path : std::string(),
                              session.options},
      run.passwords,
      [&run](const arjhost::EntryInfo& e, const arjhost::ExtractResult& outcome, arjhost::PlacedFile file,
             bool decoded) { run.Verdict(e, outcome, std::move(file), decoded); });
  // Garbled entries whose password no one is asked decode side by side too.
  run.entry_run->ShareOut(entries.size(), chosen, max_workers, !passwords.AsksSomeone());
  Progress progress(extracting ? "extracting" : "testing", "entries");
  bool stop_said = false;
  arjhost::EntryLoopHooks hooks;
  hooks.next = [&](size_t index) { progress.Show(index, chosen.size(), run.bytes); };
  // Each entry left once the asking for passwords ended is reported, as not tried.
  hooks.untried = [&](const arjhost::EntryInfo& e) -> arjhost::Status {
    if (!passwords.GaveUp()) return {};
    if (!std::exchange(stop_said, true))
      SayError(command, "%s: stopped after %d wrong passwords", ShowPath(session.archive_path).c_str(),
          kWrongPasswords);
    // Named as a queued garbled entry would be, whether or not the workers
    // had this one queued already.
    return {arjhost::Code::kPasswordNeeded, e.garbled ? run.Why(e, {}) : NotTried()};
  };
  // An entry its header refuses: failed, its data kept under a name marked
  // as damaged when --keep-damaged asks.
  hooks.refused = [&](const arjhost::EntryInfo& e, const arjhost::Status& problem) {
    arjhost::EntryInfo marked;
    if (run.folder && args.Has("keep-damaged") && arjhost::MarkedForDamagedHeader(e, &marked))
      run.KeepForDamagedHeader(e, marked, problem.message);
    else
      run.Fail(e, problem.message);
  };
  hooks.attempt = [&](const arjhost::EntryInfo& e) {
    if (extracting) run.Extract(e);
    else run.entry_run->Test(e);
  };
  arjhost::RunChosenEntries(*run.entry_run, chosen, hooks);
  run.entry_run.reset();
  if (args.Has("chapter") && in_chapter == 0)
    SayError(command, "%s: chapter %d holds no entry", ShowPath(session.archive_path).c_str(), chapters.chapter());
  const std::vector<std::string> missing = selection.Unmatched();
  for (const std::string& n : missing) {
    ++run.failed;
    SayError("", "%s: no entry matches \"%s\"", ShowPath(session.archive_path).c_str(), ShowPath(n).c_str());
  }
  if (run.root_fd >= 0) {
    run.FinishFolders();
    close(run.root_fd);
  }
  const auto write_document = [&](bool ok) {
    WriteRunMembers(document.Begin(), run, entries, missing);
    document.End(ok);
  };
  // The document before the notices on stderr; a line says the verdict,
  // and comes after them.
  if (run.json) {
    if (!document.lines()) write_document(true);
  } else if (!extracting)
    Print("%zu entr%s tested: %zu ok, %zu failed\n", run.ok + run.failed, run.ok + run.failed == 1 ? "y" : "ies",
          run.ok, run.failed);
  else if (!run.to_stdout || run.verbose) run.Tell("%s\n", run.tally.Text().c_str());
  int state = ReportArchiveState(session, entries, args);
  const bool trouble = run.failed > 0 || (args.Has("chapter") && in_chapter == 0);
  const int code = trouble || state != kExitOk ? kExitPartial : kExitOk;
  if (document.lines()) write_document(code == kExitOk);
  return code;
}

}  // namespace

int RunExtract(const Args& args) {
  const std::string path = args.operands.empty() ? std::string() : args.operands[0];
  const std::vector<std::string> patterns(args.operands.begin() + (args.operands.empty() ? 0 : 1), args.operands.end());
  Passwords passwords(args, true);
  ArchiveDocument document(DocumentFormOf(args), 0, 1);
  return RunEntries(args, true, path, patterns, passwords, std::numeric_limits<unsigned>::max(), document);
}

int RunTest(const Args& args) {
  ArchivePlan plan;
  if (!PlanArchives(args, "test", &plan)) return kExitFailure;
  // One password keeper for the command: three wrong answers end it. A
  // terminal is asked only while one archive is tested at a time.
  Passwords passwords(args, plan.jobs == 1);
  const bool several = plan.paths.size() > 1;
  const std::vector<int> codes = CheckArchives(plan, [&](size_t index, ArchiveDocument& document) {
    if (several && !document.wanted()) Print("%sArchive: %s\n", index > 0 ? "\n" : "", ShowPath(plan.paths[index]).c_str());
    return RunEntries(args, false, plan.paths[index], plan.patterns, passwords, plan.threads_per_archive - 1, document);
  });
  if (several && plan.form == DocumentForm::kNone) {
    const size_t sound = static_cast<size_t>(std::count(codes.begin(), codes.end(), kExitOk));
    Print("\n%zu archives tested: %zu ok, %zu failed\n", codes.size(), sound, codes.size() - sound);
  }
  return WorstOf(codes);
}

}  // namespace cli
