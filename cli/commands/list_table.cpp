// arjhost list: the table. Names come last, as they have any length; the
// columns before them are padded by the columns their text takes on a
// terminal, not by its bytes.
#include <cinttypes>
#include <cstdio>
#include <string>

#include "cli/output/display_width.h"
#include "cli/output/entry_fields.h"
#include "cli/commands/list_output.h"

namespace cli {
namespace {

size_t Digits(uint64_t n) {
  size_t digits = 1;
  for (; n >= 10; n /= 10) ++digits;
  return digits;
}

// Widths of the columns whose contents vary, found before the first row.
struct Widths {
  size_t size = 4, packed = 6, attributes = 5, volume = 0;

  Widths(const std::vector<arjhost::EntryInfo>& entries, bool show_volumes, const Args& args) {
    const std::string* last_volume = nullptr;
    for (const arjhost::EntryInfo& e : entries) {
      size = std::max(size, Digits(e.size));
      packed = std::max(packed, Digits(e.packed));
      if (HasUnixMode(e)) attributes = 10;
      // An entry's volume is mostly the one before it: measured once.
      if (show_volumes && (last_volume == nullptr || *last_volume != e.volume)) {
        volume = std::max({volume, size_t{6}, DisplayWidth(ShowName(e.volume, args))});
        last_volume = &e.volume;
      }
    }
  }
};

std::string Plural(uint64_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

// "3 files, 2 folders, 6486 bytes, 5485 packed  84.6% (5 entries)".
std::string TotalsLine(const std::vector<arjhost::EntryInfo>& entries) {
  uint64_t size = 0, packed = 0, files = 0, folders = 0, labels = 0;
  for (const arjhost::EntryInfo& e : entries) {
    size += e.size;
    packed += e.packed;
    const EntryKind kind = KindOf(e);
    (kind == EntryKind::kFolder ? folders : kind == EntryKind::kLabel ? labels : files) += 1;
  }
  std::string line = Plural(files, "file", "files");
  if (folders != 0) line += ", " + Plural(folders, "folder", "folders");
  if (labels != 0) line += ", " + Plural(labels, "label", "labels");
  line += ", " + std::to_string(size) + " bytes, " + std::to_string(packed) + " packed " + RatioText(packed, size);
  return line + " (" + Plural(entries.size(), "entry", "entries") + ")";
}

}  // namespace

void PrintComment(const std::string& comment, const char* indent, const Args& args) {
  size_t from = 0;
  while (from < comment.size()) {
    size_t end = comment.find('\n', from);
    if (end == std::string::npos) end = comment.size();
    std::string line = comment.substr(from, end - from);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::printf("%s%s\n", indent, ShowName(line, args).c_str());
    from = end + 1;
  }
}

void PrintArchiveHeading(const Session& s, const Args& args) {
  const arjhost::ArchiveState& state = s.archive->state();
  std::printf("Archive: %s\n", ShowPath(s.archive_path).c_str());
  if (!state.comment.empty()) {
    std::printf("Comment:\n");
    PrintComment(state.comment, "  ", args);
  }
  if (state.protected_data) std::printf("Protected: ARJ-PROTECT damage-protection data follows the archive\n");
  if (state.chapter != 0) std::printf("Chapters: %u (extraction takes the latest; ranges below)\n", state.chapter);
}

void PrintListTable(const Session& s, const std::vector<arjhost::EntryInfo>& entries, const Args& args) {
  const arjhost::ArchiveState& state = s.archive->state();
  const bool show_volumes = state.volumes.size() > 1;
  const bool show_chapters = state.chapter != 0;
  const Widths w(entries, show_volumes, args);
  PrintArchiveHeading(s, args);
  std::string heading = PadToWidth("Modified", 19) + " " + PadToWidth("Attr", w.attributes) + " " +
                        PadLeftToWidth("Size", w.size) + " " + PadLeftToWidth("Packed", w.packed) +
                        "  Ratio Method CRC-32   G ";
  if (show_volumes) heading += PadToWidth("Volume", w.volume) + " ";
  if (show_chapters) heading += "Chapters ";
  std::printf("%sName\n", heading.c_str());
  for (const arjhost::EntryInfo& e : entries) {
    std::printf("%-19s %-*s %*" PRIu64 " %*u %6s %6u %08x %s ", ModifiedText(e).c_str(), static_cast<int>(w.attributes),
                AttributesText(e).c_str(), static_cast<int>(w.size), e.size, static_cast<int>(w.packed), e.packed,
                RatioText(e.packed, e.size).c_str(), arjhost::format::Byte(e.method), e.crc, e.garbled ? "G" : "-");
    if (show_volumes) std::printf("%s ", PadToWidth(ShowName(e.volume, args), w.volume).c_str());
    if (show_chapters) std::printf("%-8s ", ChapterRange(e).c_str());
    const bool label = HasFileType(e, FileType::kChapterLabel);
    std::printf("%s%s\n", ShowName(e, args).c_str(), label ? " (chapter label)" : "");
    PrintComment(e.comment, "    comment: ", args);
  }
  std::printf("%s\n", TotalsLine(entries).c_str());
  if (show_volumes) std::printf("Volumes: %zu\n", state.volumes.size());
  std::printf("Digest: %016" PRIx64 "\n", state.digest);
}

}  // namespace cli
