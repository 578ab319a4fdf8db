// arjhost mount: an archive (a volume set whole) as a read-only folder
// through FUSE, its tree what extract would write.
#include <syslog.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

#include "cli/commands/chapter_choice.h"
#include "cli/commands/commands.h"
#include "cli/commands/session.h"
#include "cli/input/limit_options.h"
#include "cli/input/terminal_question.h"
#include "cli/mount/archive_pool.h"
#include "cli/mount/entry_cache.h"
#include "cli/mount/fuse_serve.h"
#include "cli/mount/mount_tree.h"
#include "cli/output/messages.h"
#include "runtime/operations/folder_extraction.h"

namespace cli {
namespace {

constexpr uint64_t kDefaultCache = uint64_t{256} << 20;
// Openings of the archive beside the first: each decodes on a thread of its own.
constexpr size_t kMostOpenings = 4;

// The password of garbled entries: -p, the first line of
// --password-file, or (neither given) typed once at a terminal. False,
// said, when it cannot be had.
bool PasswordOf(const Args& args, bool garbled, std::string* password, bool* have) {
  *have = false;
  if (args.Has("password") && args.Has("password-file")) {
    SayError("mount", "-p and --password-file both give the password; give one");
    return false;
  }
  if (args.Has("password")) {
    *password = args.Value("password");
    *have = true;
    return true;
  }
  if (args.Has("password-file")) {
    std::ifstream file(args.Value("password-file"), std::ios::binary);
    if (!file || !std::getline(file, *password)) {
      SayError("mount", "%s: cannot read the password from it", ShowPath(args.Value("password-file")).c_str());
      return false;
    }
    if (!password->empty() && password->back() == '\r') password->pop_back();
    *have = true;
    return true;
  }
  if (!garbled || !CanAsk()) return true;
  *have = AskTerminal("Password for the garbled entries of " + ShowPath(args.operands[0]) + ": ", true, password) &&
          !password->empty();
  return true;
}

// What tells two openings of the archive apart.
bool SameOpening(const arjhost::Archive& a, const arjhost::Archive& b) {
  return a.state().digest == b.state().digest && a.state().volume_digests == b.state().volume_digests &&
         a.state().volumes == b.state().volumes;
}

}  // namespace

int RunMount(const Args& args) {
  if (!MountSupported()) {
    SayError("mount", "this arjhost was built without mount support (libfuse 3 was not found)");
    return kExitFailure;
  }
  if (args.operands.size() != 2) {
    SayError("mount", "give an archive and a folder to mount it on; try arjhost mount --help");
    return kExitFailure;
  }
  const std::string shown = args.operands[0];
  if (shown == kStandardInput) {
    SayError("mount", "-: an archive from standard input cannot be mounted; name its file");
    return kExitFailure;
  }
  uint64_t cache_bytes = kDefaultCache;
  if (args.Has("cache") && !ParseSize(args.Value("cache"), UINT64_MAX, &cache_bytes)) {
    SayError("mount", "--cache takes a size (K, M or G allowed), not \"%s\"", args.Value("cache").c_str());
    return kExitFailure;
  }
  // The mount leaves the folder it was started in: the archive is found
  // again by its whole path.
  std::error_code error;
  const std::string path = std::filesystem::absolute(shown, error).string();
  Session session;
  if (!OpenArchive(args, "mount", error ? shown : path, &session)) return kExitFailure;
  // Every read of an evicted entry decodes it again: over a mount's life
  // that adds up without any bomb, so the sum is bounded only when asked.
  if (!args.Has("max-total")) {
    arjhost::Limits limits = session.host->limits();
    limits.max_total = 0;
    session.host->SetLimits(limits);
  }
  const std::vector<arjhost::EntryInfo> entries = session.archive->Entries();
  arjhost::ChapterChoice chapters;
  if (!MakeChapterChoice(args, "mount", ShowPath(shown), session.archive->state().chapter, entries, &chapters))
    return kExitFailure;
  const int state_code = ReportArchiveState(session, entries, args);

  MountTree::Options tree_options;
  tree_options.codepage = CodePageOption(args);
  tree_options.umask = arjhost::ExtractionUmask();
  tree_options.made_time = static_cast<int64_t>(::time(nullptr));
  const bool garbled = std::any_of(entries.begin(), entries.end(),
                                   [&chapters](const arjhost::EntryInfo& e) { return e.garbled && chapters.Takes(e); });
  std::string password;
  bool have_password = false;
  if (!PasswordOf(args, garbled, &password, &have_password)) return kExitFailure;
  arjhost::PasswordSource passwords;
  if (have_password)
    passwords = [password](const arjhost::EntryInfo&, int attempt, std::string* answer) {
      if (attempt > 0) return false;
      *answer = password;
      return true;
    };

  size_t left_out = 0;
  const auto say_left_out = [&](const arjhost::EntryInfo& e, const std::string& why) {
    ++left_out;
    SayError("", "%s: %s: left out: %s", ShowPath(shown).c_str(), ShowName(e, args).c_str(), ShowPath(why).c_str());
  };
  // The kernel never reads an empty file, so nothing would find packed
  // data or a CRC that an empty entry must not have: each is tested here,
  // as extract tests it.
  const auto taken = [&](const arjhost::EntryInfo& e) {
    if (!chapters.Takes(e)) return false;
    if (e.size != 0 || !e.header_known || !arjhost::format::HoldsFileData(e.file_type) || !arjhost::CheckEntry(e).ok())
      return true;
    const arjhost::ExtractResult tested = session.archive->Test(e, passwords);
    if (!tested.status.ok()) say_left_out(e, tested.status.message);
    return tested.status.ok();
  };
  tree_options.whole = [&](const arjhost::EntryInfo& e) { return session.archive->Test(e, passwords).status; };
  const MountTree tree(entries, taken, tree_options, say_left_out);

  const arjhost::Archive& first = *session.archive;
  const ArchivePool::Opener open_more = [&session, &first]() {
    ArchiveOpening opening;
    opening.host = std::make_unique<arjhost::Host>();
    opening.host->SetLimits(session.host->limits());
    if (!opening.host->LoadPlugin(session.host->plugin_path()).ok()) return ArchiveOpening{};
    arjhost::OpenResult opened = arjhost::Archive::OpenFile(*opening.host, session.archive_path, session.options);
    // A file changed since the mount was made is not read for it.
    if (!opened.ok() || !SameOpening(*opened.archive, first)) return ArchiveOpening{};
    opening.archive = std::move(opened.archive);
    return opening;
  };
  ArchivePool pool(*session.archive, open_more,
                   std::clamp<size_t>(std::thread::hardware_concurrency(), 1, kMostOpenings));
  bool to_log = false;
  EntryCache cache(pool, entries, passwords, cache_bytes, [&](const arjhost::EntryInfo& e, const std::string& why) {
    const std::string line = ShowPath(shown) + ": " + ShowName(e, args) + ": " + ShowPath(why);
    if (to_log) syslog(LOG_ERR, "%s", line.c_str());
    else SayError("", "%s", line.c_str());
  });

  MountService service;
  service.tree = &tree;
  service.cache = &cache;
  service.mount_point = args.operands[1];
  service.source = path;
  service.foreground = args.Has("foreground");
  service.ready_code = state_code != kExitOk || left_out != 0 ? kExitPartial : kExitOk;
  // In the background stderr is gone: what cannot be read is logged.
  service.detached = [&to_log, foreground = service.foreground] {
    if (foreground) return;
    openlog("arjhost", LOG_PID, LOG_USER);
    to_log = true;
  };
  return ServeMount(service);
}

}  // namespace cli
