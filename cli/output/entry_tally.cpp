#include "cli/output/entry_tally.h"

#include "cli/output/entry_fields.h"
#include "cli/output/progress.h"

namespace cli {
namespace {

std::string Counted(size_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

}  // namespace

void EntryTally::Done(const arjhost::EntryInfo& e, uint64_t size) {
  if (HasFileType(e, FileType::kDirectory)) ++folders;
  else if (HasFileType(e, FileType::kUnixSpecial)) ++links;
  else ++files;
  bytes += size;
}

std::string EntryTally::Text() const {
  std::string text = Counted(files, "file", "files");
  if (folders != 0) text += ", " + Counted(folders, "folder", "folders");
  if (links != 0) text += ", " + Counted(links, "link", "links");
  text += ", " + SizeText(bytes);
  if (kept != 0) text += ", " + std::to_string(kept) + " skipped";
  if (failed != 0) text += ", " + std::to_string(failed) + " failed";
  return text;
}

}  // namespace cli
