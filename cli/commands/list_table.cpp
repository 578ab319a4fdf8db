// arjhost list: the table. Names come last, as they have any length; the
// columns before them are padded by the columns their text takes on a
// terminal, not by its bytes.
#include <algorithm>
#include <cinttypes>
#include <string>

#include "cli/output/display_width.h"
#include "cli/output/entry_fields.h"
#include "cli/output/messages.h"
#include "cli/commands/list_output.h"

namespace cli {
namespace {

size_t Digits(uint64_t n) {
  size_t digits = 1;
  for (; n >= 10; n /= 10) ++digits;
  return digits;
}

// `text` then spaces to `width` bytes, and the space after the column.
void PadRight(std::string* row, const std::string& text, size_t width) {
  *row += text;
  if (text.size() < width) row->append(width - text.size(), ' ');
  *row += ' ';
}

// Spaces to `width` bytes then `text`, and the space after the column.
void PadLeft(std::string* row, const std::string& text, size_t width) {
  if (text.size() < width) row->append(width - text.size(), ' ');
  *row += text;
  *row += ' ';
}

std::string Plural(uint64_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

// "3 files, 2 folders, 6486 bytes, 5485 packed  84.6% (5 entries)".
std::string TotalsLine(const TableSurvey& t) {
  std::string line = Plural(t.files, "file", "files");
  if (t.folders != 0) line += ", " + Plural(t.folders, "folder", "folders");
  if (t.labels != 0) line += ", " + Plural(t.labels, "label", "labels");
  line += ", " + std::to_string(t.size) + " bytes, " + std::to_string(t.packed) + " packed " +
          RatioText(t.packed, t.size);
  return line + " (" + Plural(t.entries, "entry", "entries") + ")";
}

}  // namespace

void TableSurvey::Add(const arjhost::EntryInfo& e, const Args& args) {
  size_width = std::max(size_width, Digits(e.size));
  packed_width = std::max(packed_width, Digits(e.packed));
  if (HasUnixMode(e)) attributes_width = 10;
  if (show_volumes && (!volume_measured || last_volume != e.volume)) {
    volume_width = std::max({volume_width, size_t{6}, DisplayWidth(ShowName(e.volume, args))});
    last_volume = e.volume;
    volume_measured = true;
  }
  ++entries;
  size += e.size;
  packed += e.packed;
  const EntryKind kind = KindOf(e);
  (kind == EntryKind::kFolder ? folders : kind == EntryKind::kLabel ? labels : files) += 1;
}

void PrintComment(const std::string& comment, const char* indent, const Args& args) {
  size_t from = 0;
  while (from < comment.size()) {
    size_t end = comment.find('\n', from);
    if (end == std::string::npos) end = comment.size();
    std::string line = comment.substr(from, end - from);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    Print("%s%s\n", indent, ShowName(line, args).c_str());
    from = end + 1;
  }
}

void PrintArchiveHeading(const Session& s, const Args& args) {
  const arjhost::ArchiveState& state = s.archive->state();
  Print("Archive: %s\n", ShowPath(s.archive_path).c_str());
  if (!state.comment.empty()) {
    Print("Comment:\n");
    PrintComment(state.comment, "  ", args);
  }
  if (state.protected_data) Print("Protected: ARJ-PROTECT damage-protection data follows the archive\n");
  if (state.chapter != 0) Print("Chapters: %u (extraction takes the latest; ranges below)\n", state.chapter);
}

void PrintListTable(const Session& s, const TableSurvey& w, const EntryWalk& chosen, const Args& args) {
  const arjhost::ArchiveState& state = s.archive->state();
  const bool show_volumes = w.show_volumes;
  const bool show_chapters = state.chapter != 0;
  PrintArchiveHeading(s, args);
  std::string heading = PadToWidth("Modified", 19) + " " + PadToWidth("Attr", w.attributes_width) + " " +
                        PadLeftToWidth("Size", w.size_width) + " " + PadLeftToWidth("Packed", w.packed_width) +
                        "  Ratio Method CRC-32   G ";
  if (show_volumes) heading += PadToWidth("Volume", w.volume_width) + " ";
  if (show_chapters) heading += "Chapters ";
  Print("%sName\n", heading.c_str());
  std::string row;  // one buffer for every row
  chosen([&](const arjhost::EntryInfo& e) {
    // A row is one write: a listing may have millions, so it is put
    // together here rather than by printf, which cost it more than the rest.
    row.clear();
    PadRight(&row, ModifiedText(e), 19);
    PadRight(&row, AttributesText(e), w.attributes_width);
    PadLeft(&row, std::to_string(e.size), w.size_width);
    PadLeft(&row, std::to_string(e.packed), w.packed_width);
    PadLeft(&row, RatioText(e.packed, e.size), 6);
    PadLeft(&row, std::to_string(arjhost::format::Byte(e.method)), 6);
    row += CrcText(e.crc);
    row += e.garbled ? " G " : " - ";
    if (show_volumes) row += PadToWidth(ShowName(e.volume, args), w.volume_width) + " ";
    if (show_chapters) row += PadToWidth(ChapterRange(e), 8) + " ";
    row += ShowName(e, args);
    if (HasFileType(e, FileType::kChapterLabel)) row += " (chapter label)";
    Print("%s\n", row.c_str());
    PrintComment(e.comment, "    comment: ", args);
  });
  Print("%s\n", TotalsLine(w).c_str());
  if (show_volumes) Print("Volumes: %zu\n", state.volumes.size());
  Print("Digest: %016" PRIx64 "\n", state.digest);
}

}  // namespace cli
