#include "runtime/api/internal/rewrite_checks.h"

#include <sys/stat.h>

#include <climits>
#include <cstdlib>

#include "runtime/api/internal/written_order.h"

namespace arjhost {
namespace {

const char kRecoverHint[] = "; --recover reads what is left, and rewrites that";

std::string DamageOf(const ArchiveState& state, const std::vector<EntryInfo>& entries) {
  if (!state.damaged_main_headers.empty()) return "its main header fails its CRC";
  for (const EntryInfo& e : entries)
    if (e.header_known && !e.header_crc_ok) return "the header of entry \"" + e.name + "\" fails its CRC";
  if (state.damaged) return "its headers cannot all be read";
  return "";
}

// Why a new chapter cannot be added (empty when it can): as arj ac, only
// to a chapter archive (or a new one), and not past the last chapter.
std::string ChapterRefusal(const ArchiveState& state, const std::vector<EntryInfo>& entries) {
  if (state.chapter == 0 && !entries.empty())
    return "not a chapter archive (arj ac refuses it too): a new chapter is added only to one made with chapters";
  if (state.chapter >= format::kMaxChapter)
    return "it has " + std::to_string(format::kMaxChapter) + " chapters, the most an archive may have";
  return "";
}

}  // namespace

std::string RewriteRefusal(const ArchiveState& state, const std::vector<EntryInfo>& entries, const ChangeSet& changes,
                           bool recovered) {
  if (!recovered) {
    const std::string damage = DamageOf(state, entries);
    if (!damage.empty()) return "a damaged archive is not rewritten: " + damage + kRecoverHint;
  }
  // (Read with recovery, such an entry is left out: LeaveOutDamagedHeaders.)
  for (const EntryInfo& e : entries)
    if (!recovered && e.header_known && !e.header_crc_ok && !changes.dropped.count(e.handle) &&
        !changes.replaced.count(e.handle))
      return "the header of entry \"" + e.name + "\" fails its CRC: it must be left out";
  if (std::string names = NameUnderAnEntryThatIsNoFolder(entries, changes); !names.empty()) return names;
  if (state.incomplete) return "an incomplete archive cannot be rewritten";
  if (changes.new_chapter) {
    if (std::string why = ChapterRefusal(state, entries); !why.empty()) return why;
  }
  if (state.restricted && !state.damaged && !state.multi_volume) return "this archive cannot be rewritten";
  return "";
}

void LeaveOutDamagedHeaders(const std::vector<EntryInfo>& entries, ChangeSet* changes) {
  for (const EntryInfo& e : entries)
    if (e.header_known && !e.header_crc_ok && !changes->replaced.count(e.handle)) changes->dropped.insert(e.handle);
}

std::string InPlaceTarget(const std::string& path) {
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
  char resolved[PATH_MAX];
  return ::realpath(path.c_str(), resolved) != nullptr ? std::string(resolved) : path;
}

Status TestEveryEntry(Archive& archive, const std::vector<EntryInfo>& entries, const PasswordSource& passwords) {
  for (const EntryInfo& e : entries) {
    ExtractResult tested = archive.Test(e, passwords);
    if (!tested.ok()) {
      tested.status.message = e.name + ": " + tested.status.message;
      return tested.status;
    }
  }
  return {};
}

}  // namespace arjhost
