#include "runtime/operations/entry_plan.h"

#include "plugin/format/arj_layout.h"
#include "runtime/operations/folder_extraction.h"
#include "runtime/operations/internal/link_entries.h"
#include "runtime/operations/internal/safe_path.h"
#include "runtime/api/text.h"

namespace arjhost {
namespace {

EntryPlan Planned(EntryPlan::Kind kind, const std::string& why = {}) {
  EntryPlan plan;
  plan.kind = kind;
  plan.why = why;
  return plan;
}

// The components of a stored name under the folder (the last alone when
// flat); false with `why` when the name is refused.
bool PartsOf(const std::string& stored, const EntryInfo& entry, const EntryPlanOptions& options,
             std::vector<std::string>* parts, std::string* removed, std::string* why) {
  if (!SplitEntryPath(EntryText(stored, entry, options.codepage), parts, removed, why)) return false;
  if (options.flat && !parts->empty()) parts->erase(parts->begin(), parts->end() - 1);
  return true;
}

}  // namespace

std::string EntryPlan::Path() const { return JoinedPath(parts, parts.size()); }
std::string EntryPlan::LinkPath() const { return JoinedPath(link_parts, link_parts.size()); }

EntryPlan PlanEntry(const EntryInfo& e, const EntryPlanOptions& options) {
  using Kind = EntryPlan::Kind;
  if (MakesNoFile(e)) return {};
  if (!e.name_whole)
    return Planned(Kind::kRefused, "its name is longer than " + std::to_string(format::kStoredNameChars) +
                                       " bytes and its header could not be read for the rest");
  EntryPlan plan;
  if (!PartsOf(e.name, e, options, &plan.parts, &plan.removed_prefix, &plan.why))
    return Planned(Kind::kRefused, plan.why);
  const bool special = e.header_known && e.file_type == format::FileType::kUnixSpecial;
  if (e.header_known && e.file_type == format::FileType::kDirectory) {
    plan.kind = options.flat ? Kind::kNothing : Kind::kFolder;  // as arj e makes none
    return plan;
  }
  if (!special) {
    plan.kind = Kind::kFile;
    return plan;
  }
  if (e.special == EntryInfo::Special::kSymbolicLink) {
    plan.link_text = EntryText(e.link_target, e, options.codepage);
    std::string why;
    if (!SymbolicLinkStaysInside(plan.link_text, plan.parts.size() - 1, &why))
      return Planned(Kind::kRefused, "symbolic link to " + plan.link_text + " refused: " + why);
    plan.kind = Kind::kSymbolicLink;
    return plan;
  }
  if (e.special == EntryInfo::Special::kHardLink) {
    std::string removed, why;
    if (!PartsOf(e.link_target, e, options, &plan.link_parts, &removed, &why))
      return Planned(Kind::kRefused, "hard link target refused: " + why);
    if (plan.link_parts == plan.parts) return Planned(Kind::kRefused, "a hard link to itself");
    plan.kind = Kind::kHardLink;
    return plan;
  }
  return Planned(Kind::kSkipped, std::string(SpecialFileText(e.special)) + "; devices and FIFOs are not made");
}

}  // namespace arjhost
