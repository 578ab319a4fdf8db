#include "cli/commands/session.h"

#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>

#include "cli/input/limit_options.h"
#include "cli/output/entry_fields.h"
#include "cli/output/messages.h"
#include "cli/output/text_tools.h"
#include "runtime/operations/folder_extraction.h"
#include "runtime/api/text.h"

namespace cli {

int CodePageOption(const Args& args) { return std::atoi(args.Value("codepage", "437").c_str()); }

std::string JsonName(const std::string& stored, const Args& args) {
  return arjhost::DisplayName(stored, CodePageOption(args));
}

std::string ShowName(const std::string& stored, const Args& args) {
  return TerminalText(JsonName(stored, args));
}

std::string EntryText(const std::string& stored, const arjhost::EntryInfo& entry, const Args& args) {
  return arjhost::EntryText(stored, entry, CodePageOption(args));
}

std::string JsonName(const arjhost::EntryInfo& entry, const Args& args) { return EntryText(entry.name, entry, args); }

std::string ShowName(const arjhost::EntryInfo& entry, const Args& args) {
  return TerminalText(JsonName(entry, args));
}

std::string ExtractedName(const arjhost::EntryInfo& entry, const Args& args) {
  const std::string text = JsonName(entry, args);
  std::string path;
  return arjhost::ExtractedPath(text, &path) ? path : text;
}

std::string ShowPath(const std::string& path) { return TerminalText(path); }

std::string VolumePathOf(const std::string& archive_path, const std::string& volume) {
  const size_t slash = archive_path.rfind('/');
  const std::string directory = slash == std::string::npos ? "" : archive_path.substr(0, slash + 1);
  if (volume.empty() || archive_path.compare(directory.size(), std::string::npos, volume) == 0) return archive_path;
  return directory + volume;
}

bool ParseTraceLevel(const std::string& text, int* level) {
  if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos) return false;
  *level = std::stoi(text);
  return true;
}

namespace {

// A volume set keeps every volume open; a soft descriptor limit of 1024
// would cut a set of thousands short, so take what the hard limit allows.
void RaiseDescriptorLimit() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);
  }
}

// Standard input, read to its end and kept (in memory, then in a temporary
// file), then opened as the archive.
arjhost::OpenResult OpenStandardInput(Session* session) {
  if (::isatty(STDIN_FILENO)) {
    arjhost::OpenResult refused;
    refused.status.code = arjhost::Code::kBadArgument;
    refused.status.message = "-: standard input is a terminal; pipe an archive into it";
    return refused;
  }
  const arjhost::StreamRead read = [](void* buffer, size_t size) -> int64_t {
    for (;;) {
      const ssize_t n = ::read(STDIN_FILENO, buffer, size);
      if (n >= 0 || errno != EINTR) return n;
    }
  };
  arjhost::OpenResult kept;
  kept.status = arjhost::KeptStream::Keep(read, {}, kStandardInput, &session->input);
  if (!kept.status.ok()) return kept;
  arjhost::OpenOptions options = session->options;
  options.name = kStandardInput;
  if (const std::vector<uint8_t>* memory = session->input->Memory())
    return arjhost::Archive::OpenMemory(*session->host, memory->data(), memory->size(), options);
  return arjhost::Archive::OpenReader(*session->host, session->input->Reader(), options);
}

// With --recover: what the ARJ-PROTECT record of each damaged volume did.
void SayRecordRebuilds(const Session& session) {
  for (const arjhost::RecordRebuild& r : session.archive->state().record_rebuilds) {
    const std::string name = ShowPath(VolumePathOf(session.archive_path, r.volume));
    std::string blocks;
    for (uint32_t b : r.damaged_blocks) blocks += (blocks.empty() ? "" : ", ") + std::to_string(b);
    if (r.rebuilt)
      Say("arjhost: %s: damaged blocks %s rebuilt from its ARJ-PROTECT record; read as rebuilt, in memory (the "
          "file is unchanged: arjhost repair writes a repaired copy)\n",
          name.c_str(), blocks.c_str());
    else
      Say("arjhost: %s: damaged blocks %s: %s; recovering what is sound\n", name.c_str(), blocks.c_str(),
          r.cause.c_str());
  }
}

}  // namespace

bool StartHost(const Args& args, Session* session) {
  RaiseDescriptorLimit();
  session->host = std::make_unique<arjhost::Host>();
  int trace_level = 0;  // the command line checked it
  ParseTraceLevel(args.Value("trace", "0"), &trace_level);
  session->host->SetTraceLevel(trace_level);
  std::string error;
  if (!ApplyLimitOptions(args, *session->host, &error)) {
    SayError("", "%s", error.c_str());
    return false;
  }
  if (const arjhost::Status loaded = session->host->LoadPlugin(args.Value("plugin")); !loaded.ok()) {
    const bool looked = !args.Has("plugin") && std::getenv("ARJHOST_PLUGIN") == nullptr;
    SayError("", "%s%s", loaded.message.c_str(),
        looked ? " (looked for beside libarjhost.so, the library arjhost runs with, and in the arjhost folder "
                 "beside it; --plugin PATH or ARJHOST_PLUGIN names it)"
               : "");
    return false;
  }
  return true;
}

bool OpenSession(const Args& args, const std::string& command, Session* session, Purpose purpose) {
  return OpenArchive(args, command, args.operands.empty() ? std::string() : args.operands[0], session, purpose);
}

bool RefuseStandardInput(const std::string& command) {
  SayError(command, "-: an archive from standard input can be listed, tested and extracted, not rewritten");
  return false;
}

bool OpenArchive(const Args& args, const std::string& command, const std::string& path, Session* session,
                 Purpose purpose) {
  if (path.empty()) {
    SayError(command, "no archive named; try arjhost %s --help", command.c_str());
    return false;
  }
  int codepage = CodePageOption(args);
  if (codepage != 437 && codepage != 850 && codepage != 866) {
    SayError(command, "--codepage takes 437, 850 or 866");
    return false;
  }
  if (!StartHost(args, session)) return false;
  session->archive_path = path;
  arjhost::OpenOptions options;
  session->recover = args.Has("recover");
  options.scan_all_volumes = !args.Has("single-volume");
  options.recover = session->recover;
  session->options = options;
  const bool standard_input = path == kStandardInput;
  if (standard_input && command != "list" && command != "test" && command != "extract")
    return RefuseStandardInput(command);
  // A new archive is named as the file it is written to (-o OUT).
  if (purpose == Purpose::kWrite) options.name = args.Value("output", path);
  arjhost::OpenResult opened =
      standard_input               ? OpenStandardInput(session)
      : purpose == Purpose::kWrite ? arjhost::Archive::OpenForWriting(*session->host, session->archive_path, options)
                                   : arjhost::Archive::OpenFile(*session->host, session->archive_path, options);
  if (!opened.ok()) {
    SayError("", "%s", ShowPath(opened.status.message).c_str());
    return false;
  }
  session->archive = std::move(opened.archive);
  SayRecordRebuilds(*session);
  const arjhost::ArchiveState& state = session->archive->state();
  for (const arjhost::SkippedRange& r : state.skipped)
    Say("arjhost: %s: skipped %" PRIu64 " bytes at offset %" PRIu64 ": %s\n",
        ShowPath(VolumePathOf(session->archive_path, r.volume)).c_str(), r.size, r.offset, r.cause.c_str());
  if (session->recover && state.multi_volume && !options.scan_all_volumes)
    Say("arjhost: %s: one volume of a multi-volume set: --single-volume --recover reads this volume alone; "
        "without --single-volume the whole set is recovered\n",
        ShowPath(session->archive_path).c_str());
  return true;
}

}  // namespace cli
