#include "runtime/operations/folder_extraction.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <set>
#include <utility>

#include "runtime/operations/entry_plan.h"
#include "runtime/operations/internal/entry_placement.h"
#include "runtime/operations/internal/extract_permissions.h"
#include "runtime/operations/internal/folder_attributes.h"
#include "runtime/operations/internal/link_entries.h"
#include "runtime/operations/internal/safe_path.h"
#include "runtime/api/text.h"

namespace arjhost {

using Kind = FolderExtraction::Step::Kind;
using Special = EntryInfo::Special;

bool ExtractedPath(const std::string& text, std::string* path) {
  std::string why;
  return ExtractedPath(text, path, &why);
}

bool ExtractedPath(const std::string& text, std::string* path, std::string* why) {
  std::vector<std::string> parts;
  std::string removed;
  if (!SplitEntryPath(text, &parts, &removed, why)) return false;
  *path = JoinedPath(parts, parts.size());
  return true;
}

bool MakesNoFile(const EntryInfo& entry) {
  if (!entry.header_known) return false;
  const format::FileType type = entry.file_type;
  return type == format::FileType::kMainHeader || type == format::FileType::kVolumeLabel ||
         type == format::FileType::kChapterLabel;
}

mode_t ExtractionUmask() { return CurrentUmask(); }

mode_t ExtractedFileMode(const EntryInfo& entry, bool preserve_permissions, mode_t umask) {
  return ExtractPermissions(preserve_permissions, umask).ForFile(entry);
}

bool ExtractedFolderMode(const EntryInfo& entry, bool preserve_permissions, mode_t umask, mode_t* mode) {
  return ExtractPermissions(preserve_permissions, umask).ForFolder(entry, mode);
}

bool ExtractedLinkStaysInside(const std::string& target, size_t depth, std::string* why) {
  return SymbolicLinkStaysInside(target, depth, why);
}

struct PlacedFile::Parts {
  int dir = -1;
  std::unique_ptr<EntryPlacement> place;
  int fd = -1;
  std::string path;

  ~Parts() {
    if (fd >= 0) close(fd);
    place.reset();  // lets go of its temporary name before `dir` closes
    if (dir >= 0) close(dir);
  }
};

PlacedFile::PlacedFile() = default;
PlacedFile::~PlacedFile() = default;
PlacedFile::PlacedFile(PlacedFile&&) noexcept = default;
PlacedFile& PlacedFile::operator=(PlacedFile&&) noexcept = default;
bool PlacedFile::empty() const { return parts_ == nullptr; }
int PlacedFile::fd() const { return parts_ ? parts_->fd : -1; }
const std::string& PlacedFile::path() const {
  static const std::string kNone;
  return parts_ ? parts_->path : kNone;
}

struct FolderExtraction::State {
  int root_fd;
  FolderExtractionOptions options;
  ExtractPermissions permissions;
  FolderAttributes folders;
  std::set<std::string> made_folders;  // by this extraction (JoinedPath): the others were there before
  WrittenFiles written;                // hard links go only to these
  std::set<std::string> removed_prefixes;  // each named once

  State(int fd, const FolderExtractionOptions& o) : root_fd(fd), options(o), permissions(o.preserve_permissions) {}

  // The path under the folder of a name `entry` stores (its own, or a hard
  // link's target), without what made it absolute.
  Step Folder(const EntryInfo& entry, const DirectoryWalk& walk, std::vector<std::string>& parts, size_t tag) {
    std::string why;
    const int dir = walk.Open(parts, parts.size(), &why);
    if (dir < 0) return Failed(why);
    close(dir);
    // A folder that was there keeps what its owner gave it, as arj leaves
    // it (an entry ".ssh" must not open up ~/.ssh), unless overwriting.
    if (!options.overwrite && !made_folders.count(JoinedPath(parts, parts.size())))
      return Skipped("a folder of that name exists; it keeps its mode and time (" + options.switches.overwrite +
                         " sets them)",
                     true);
    FolderAttributes::Folder folder;
    folder.set_mode = permissions.ForFolder(entry, &folder.mode);
    folder.set_time = true;
    folder.time = entry.modified_time;
    folder.result = tag;
    folder.components = std::move(parts);
    folders.Remember(std::move(folder));
    return Done();
  }

  Step HardLink(const std::vector<std::string>& target, const DirectoryWalk& walk, EntryPlacement& place) {
    std::string why = MakeHardLink(walk, target, written, place);
    if (why.empty()) why = place.Commit();
    if (!why.empty()) return Failed(why);
    // Left when the name already was another name of the target.
    unlinkat(place.dir(), place.temp().c_str(), 0);
    return Done();
  }

  // With keep_damaged, the bytes of an entry that came out damaged, said
  // so in its failure; "" when nothing of it is kept.
  std::string KeptDamaged(const EntryInfo& entry, const ExtractResult& outcome) const {
    if (!options.keep_damaged || !outcome.damaged || outcome.size == 0) return {};
    const std::string flag = " (" + options.switches.keep_damaged + ")";
    if (outcome.size == entry.size) return "; kept with its damaged bytes" + flag;
    return "; kept with the " + std::to_string(outcome.size) + " of " + std::to_string(entry.size) +
           " bytes that came out before the damage" + flag;
  }

  static Step Done() { return Of(Kind::kDone, ""); }
  static Step Failed(const std::string& why) { return Of(Kind::kFailed, why); }
  static Step Skipped(const std::string& why, bool quiet = false) {
    Step s = Of(Kind::kSkipped, why);
    s.quiet = quiet;
    return s;
  }
  static Step Of(Kind kind, const std::string& why) {
    Step s;
    s.kind = kind;
    s.why = why;
    return s;
  }
};

FolderExtraction::FolderExtraction(int root_fd, const FolderExtractionOptions& options)
    : state_(std::make_unique<State>(root_fd, options)) {}
FolderExtraction::~FolderExtraction() = default;

FolderExtraction::Step FolderExtraction::Prepare(const EntryInfo& e, size_t tag, const Hooks& hooks) {
  State& s = *state_;
  EntryPlan plan = PlanEntry(e, {s.options.codepage, s.options.flat});
  using PlanKind = EntryPlan::Kind;
  switch (plan.kind) {
    case PlanKind::kNothing: return {};
    case PlanKind::kRefused: return State::Failed(plan.why);
    case PlanKind::kSkipped: return State::Skipped(plan.why);
    default: break;
  }
  if (!plan.removed_prefix.empty() && s.removed_prefixes.insert(plan.removed_prefix).second && hooks.prefix_removed)
    hooks.prefix_removed(plan.removed_prefix);
  std::vector<std::string>& parts = plan.parts;
  // What was made (or waits for its bytes) says where.
  const auto placed_at = [&plan](Step step) {
    if (step.kind == Kind::kDone || step.kind == Kind::kDecode) step.path = plan.Path();
    return step;
  };
  std::string why;
  DirectoryWalk walk(s.root_fd, &s.made_folders);
  if (plan.kind == PlanKind::kFolder) return placed_at(s.Folder(e, walk, parts, tag));

  auto placed = std::make_unique<PlacedFile::Parts>();
  placed->path = JoinedPath(parts, parts.size());
  if (hooks.placing) hooks.placing(placed->path);
  placed->dir = walk.Open(parts, parts.size() - 1, &why);
  if (placed->dir < 0) return State::Failed(why);
  placed->place = std::make_unique<EntryPlacement>(placed->dir, parts.back());
  EntryPlacement& place = *placed->place;
  ExistingFile choice = ExistingFile::kReplace;
  if (place.HoldsFile()) choice = hooks.existing ? hooks.existing(placed->path) : ExistingFile::kFail;
  if (choice == ExistingFile::kKeep) return State::Skipped("exists", true);
  const FolderExtractionOptions::Switches& flags = s.options.switches;
  why = place.Check(choice == ExistingFile::kReplace,
                    "use " + flags.overwrite + " to overwrite, " + flags.skip_existing + " to keep it");
  if (!why.empty()) return State::Failed(why);
  if (plan.kind == PlanKind::kSymbolicLink) {
    why = MakeSymbolicLink(place, plan.link_text, e.modified_time);
    if (why.empty()) why = place.Commit();
    return placed_at(why.empty() ? State::Done() : State::Failed(why));
  }
  if (plan.kind == PlanKind::kHardLink) return placed_at(s.HardLink(plan.link_parts, walk, place));
  // Readable too: a large entry is decoded into this file directly.
  placed->fd = openat(place.dir(), place.temp().c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (placed->fd < 0) return State::Failed(std::string("cannot create a file: ") + std::strerror(errno));
  Step step = State::Of(Kind::kDecode, "");
  step.file.parts_ = std::move(placed);
  return placed_at(std::move(step));
}

std::string FolderExtraction::FinishFile(const EntryInfo& e, PlacedFile file, const ExtractResult& outcome,
                                         const std::string& cause) {
  State& s = *state_;
  PlacedFile::Parts& p = *file.parts_;
  const bool whole = outcome.ok();
  const std::string kept = whole ? "" : s.KeptDamaged(e, outcome);
  const bool put = whole || !kept.empty();
  if (put) {
    fchmod(p.fd, s.permissions.ForFile(e));
    if (e.header_known) {
      const timespec times[2] = {{static_cast<time_t>(e.modified_time), 0}, {static_cast<time_t>(e.modified_time), 0}};
      futimens(p.fd, times);
    }
  }
  struct stat written;
  const bool known = put && s.options.hard_links && fstat(p.fd, &written) == 0;
  std::string not_put;  // why the file could not be put in place
  const int fd = std::exchange(p.fd, -1);
  if (close(fd) != 0 && put) not_put = std::string("cannot write the file: ") + std::strerror(errno);
  else if (put) not_put = p.place->Commit();
  if (known && not_put.empty()) s.written.Add(written);
  if (whole) return not_put;
  if (!put) return cause;
  return cause + (not_put.empty() ? kept : "; not kept: " + not_put);
}

void FolderExtraction::FinishFolders(const std::function<void(size_t tag, const std::string& why)>& failed) {
  state_->folders.Apply(DirectoryWalk(state_->root_fd),
                        [&failed](const FolderAttributes::Folder& f, const std::string& why) { failed(f.result, why); });
}

}  // namespace arjhost
