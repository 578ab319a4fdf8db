#include "runtime/api/internal/written_order.h"

#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "plugin/format/arj_types.h"

namespace arjhost {
namespace {

// Calls `visit(name, old, content)` for each entry in written order: `old`
// is null for an added entry, `content` for one copied as it was.
template <class Changes, class Visit>
void VisitWritten(const std::vector<EntryInfo>& entries, Changes& changes, Visit visit) {
  for (const EntryInfo& e : entries) {
    if (changes.dropped.count(e.handle)) continue;
    auto replaced = changes.replaced.find(e.handle);
    visit(std::string_view(e.name), &e, replaced == changes.replaced.end() ? nullptr : &replaced->second);
  }
  for (auto& c : changes.added) visit(std::string_view(c.stored_name), nullptr, &c);
}

bool IsFolder(const EntryInfo* old, const NewContent* content) {
  if (content != nullptr) return content->kind == ContentKind::kFolder;
  return old->header_known && old->file_type == format::FileType::kDirectory;
}

}  // namespace

void StoreLinksAheadOfTheirTargetsAsFiles(const std::vector<EntryInfo>& entries, ChangeSet* changes) {
  std::unordered_set<std::string_view> written;
  VisitWritten(entries, *changes, [&](std::string_view name, const EntryInfo*, NewContent* content) {
    if (content != nullptr && content->kind == ContentKind::kHardLink && !written.count(content->link_target)) {
      content->kind = ContentKind::kFile;
      content->link_target.clear();
    }
    written.insert(name);
  });
}

std::string NameUnderAnEntryThatIsNoFolder(const std::vector<EntryInfo>& entries, const ChangeSet& changes) {
  if (changes.replaced.empty() && changes.added.empty()) return "";
  // Of each name that an entry other than a folder has: whether such an
  // entry of that name is new.
  std::unordered_map<std::string_view, bool> no_folders;
  std::vector<std::pair<std::string_view, bool>> names;  // each entry's name, and whether it is new
  VisitWritten(entries, changes, [&](std::string_view name, const EntryInfo* old, const NewContent* content) {
    names.emplace_back(name, content != nullptr);
    if (!IsFolder(old, content)) no_folders[name] |= content != nullptr;
  });
  for (const auto& [name, changed] : names)
    for (size_t slash = name.find('/'); slash != std::string_view::npos; slash = name.find('/', slash + 1)) {
      const auto upper = no_folders.find(name.substr(0, slash));
      if (upper != no_folders.end() && (changed || upper->second))
        return "\"" + std::string(name) + "\" would lie under \"" + std::string(upper->first) +
               "\", an entry that is not a folder";
    }
  return "";
}

}  // namespace arjhost
