#include "cli/output/entry_tally.h"

#include "cli/output/progress.h"

namespace cli {
namespace {

constexpr uint8_t kFileTypeDirectory = 3;
constexpr uint8_t kFileTypeUnixSpecial = 6;

std::string Counted(size_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

}  // namespace

void EntryTally::Done(const arjhost::EntryInfo& e, uint64_t size) {
  if (e.header_known && e.file_type == kFileTypeDirectory) ++folders;
  else if (e.header_known && e.file_type == kFileTypeUnixSpecial) ++links;
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
