#include "cli/mount/mount_tree.h"

#include <climits>
#include <utility>

#include "runtime/operations/entry_plan.h"
#include "runtime/operations/folder_extraction.h"
#include "runtime/api/text.h"

namespace cli {
namespace {

using Kind = MountNode::Kind;
using Special = arjhost::EntryInfo::Special;

std::vector<std::string> Components(const std::string& path) {
  std::vector<std::string> parts;
  for (size_t start = 0; start <= path.size();) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    if (end > start) parts.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

}  // namespace

MountTree::MountTree(const std::vector<arjhost::EntryInfo>& entries,
                     const std::function<bool(const arjhost::EntryInfo&)>& taken, const Options& options,
                     const LeftOut& left_out)
    : building_(&entries), options_(options) {
  MountNode root;
  root.mode = 0777 & ~options.umask;
  root.time = options.made_time;
  root.links = 2;
  nodes_.push_back(std::move(root));
  for (size_t i = 0; i < entries.size(); ++i)
    if (taken(entries[i])) Take(entries[i], i, left_out);
  building_ = nullptr;
}

size_t MountTree::Add(MountNode node) {
  nodes_.push_back(std::move(node));
  return nodes_.size() - 1;
}

size_t MountTree::Folder(const std::vector<std::string>& components, size_t count, std::string* why) {
  size_t at = kRoot;
  for (size_t i = 0; i < count; ++i) {
    const auto found = nodes_[at].children.find(components[i]);
    if (found != nodes_[at].children.end()) {
      if (nodes_[found->second].kind != Kind::kFolder) {
        *why = "a file or link holds the name of a folder on its way";
        return kNotFound;
      }
      at = found->second;
      continue;
    }
    MountNode folder;
    folder.mode = 0777 & ~options_.umask;  // as extraction makes a folder no entry stores
    folder.time = options_.made_time;
    folder.links = 2;
    const size_t id = Add(std::move(folder));
    nodes_[at].children.emplace(components[i], id);
    ++nodes_[at].links;
    at = id;
  }
  return at;
}

bool MountTree::Place(size_t parent, const std::string& name, size_t id, std::string* why) {
  if (!nodes_[parent].children.emplace(name, id).second) {
    *why = "an earlier entry holds its name (extract keeps it without -o)";
    return false;
  }
  return true;
}

void MountTree::FreeUnlessWhole(size_t parent, const std::string& name, const LeftOut& left_out) {
  if (!options_.whole) return;
  const auto held = nodes_[parent].children.find(name);
  if (held == nodes_[parent].children.end()) return;
  const MountNode& holder = nodes_[held->second];
  if (holder.kind != Kind::kFile || holder.links != 1) return;
  const arjhost::EntryInfo& earlier = (*building_)[holder.entry];
  const arjhost::Status tested = options_.whole(earlier);
  if (tested.ok()) return;
  left_out(earlier, tested.message);
  nodes_[parent].children.erase(held);
}

void MountTree::Take(const arjhost::EntryInfo& e, size_t index, const LeftOut& left_out) {
  if (const arjhost::Status problem = arjhost::CheckEntry(e); !problem.ok()) return left_out(e, problem.message);
  const arjhost::EntryPlan plan = arjhost::PlanEntry(e, {options_.codepage, false});
  using Plan = arjhost::EntryPlan::Kind;
  if (plan.kind == Plan::kNothing) return;
  if (plan.kind == Plan::kRefused || plan.kind == Plan::kSkipped) return left_out(e, plan.why);
  const std::vector<std::string>& parts = plan.parts;
  std::string why;
  // No file system takes such a name: extract fails to make it.
  for (const std::string& part : parts)
    if (part.size() > NAME_MAX)
      return left_out(e, "a part of its name is longer than " + std::to_string(NAME_MAX) + " bytes");
  if (plan.kind == Plan::kFolder) {
    const size_t id = Folder(parts, parts.size(), &why);
    if (id == kNotFound) return left_out(e, why);
    MountNode& node = nodes_[id];
    mode_t mode = 0;
    if (arjhost::ExtractedFolderMode(e, false, options_.umask, &mode)) node.mode = mode;
    node.time = e.modified_time;
    return;
  }
  const size_t parent = Folder(parts, parts.size() - 1, &why);
  if (parent == kNotFound) return left_out(e, why);
  MountNode node;
  if (plan.kind == Plan::kHardLink) {
    // Only to a file an earlier entry made, as extraction links.
    const size_t file = IdOf(plan.LinkPath());
    if (file == kNotFound || nodes_[file].kind != Kind::kFile)
      return left_out(e, "hard link to a file no earlier entry made");
    if (!Place(parent, parts.back(), file, &why)) return left_out(e, why);
    ++nodes_[file].links;
    return;
  }
  if (plan.kind == Plan::kSymbolicLink) {
    node.kind = Kind::kSymbolicLink;
    node.target = plan.link_text;
    node.mode = 0777;
    node.size = node.target.size();
    node.time = e.modified_time;
  } else {
    FreeUnlessWhole(parent, parts.back(), left_out);
    node.kind = Kind::kFile;
    node.mode = arjhost::ExtractedFileMode(e, false, options_.umask);
    node.size = e.size;
    node.entry = index;
    node.time = e.header_known ? e.modified_time : options_.made_time;
  }
  const size_t id = Add(std::move(node));
  if (!Place(parent, parts.back(), id, &why)) {
    nodes_.pop_back();
    left_out(e, why);
  }
}

size_t MountTree::IdOf(const std::string& path) const {
  size_t at = kRoot;
  for (const std::string& name : Components(path)) {
    if (nodes_[at].kind != Kind::kFolder) return kNotFound;
    const auto found = nodes_[at].children.find(name);
    if (found == nodes_[at].children.end()) return kNotFound;
    at = found->second;
  }
  return at;
}

std::vector<size_t> MountTree::EntriesAfter(const std::string& path, size_t count) const {
  std::vector<size_t> entries;
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return entries;
  const size_t folder = IdOf(path.substr(0, slash));
  if (folder == kNotFound || nodes_[folder].kind != Kind::kFolder) return entries;
  const std::map<std::string, size_t>& children = nodes_[folder].children;
  for (auto at = children.upper_bound(path.substr(slash + 1)); at != children.end() && entries.size() < count; ++at)
    if (nodes_[at->second].kind == Kind::kFile) entries.push_back(nodes_[at->second].entry);
  return entries;
}

const MountNode* MountTree::Find(const std::string& path) const {
  const size_t id = IdOf(path);
  return id == kNotFound ? nullptr : &nodes_[id];
}

}  // namespace cli
