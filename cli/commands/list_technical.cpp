// arjhost list -v: every field of every entry, one "Field = value" line
// each and a blank line between entries, for reading and for scripts that
// would rather not parse JSON.
#include <cinttypes>
#include <algorithm>
#include <cstdio>
#include <string>

#include "cli/commands/list_output.h"
#include "cli/output/entry_fields.h"
#include "cli/output/messages.h"
#include "cli/output/text_tools.h"

namespace cli {
namespace {

void Field(const char* name, const std::string& value) { Print("%s = %s\n", name, value.c_str()); }

std::string TimeOr(bool known, int64_t time) { return known ? LocalTimeText(time) : ""; }

std::string PartText(const arjhost::EntryInfo::Part& p, const Args& args) {
  std::string text = "size " + std::to_string(p.size) + ", CRC " + CrcText(p.crc);
  if (!p.volume.empty()) text += ", volume " + ShowName(p.volume, args);
  if (p.header_known) text += ", header at " + std::to_string(p.header_offset);
  if (p.position >= 0) text += ", file offset " + std::to_string(p.position);
  if (p.header_known && !p.header_crc_ok) text += ", header CRC mismatch";
  return text;
}

// The stored attributes as numbers and as ls or DOS shows them.
std::string AttributesField(const arjhost::EntryInfo& e) {
  char hex[8];
  std::snprintf(hex, sizeof hex, "0x%04x", e.access_mode);
  if (HasUnixMode(e)) return OctalMode(e.access_mode) + " " + AttributesText(e) + " (" + hex + ")";
  return std::string(hex) + " " + AttributesText(e);
}

void PrintEntry(const arjhost::EntryInfo& e, const Args& args) {
  Field("Path", ShowName(e, args));
  Field("Folder", KindOf(e) == EntryKind::kFolder ? "+" : "-");
  Field("Size", std::to_string(e.size));
  Field("Packed Size", std::to_string(e.packed));
  std::string ratio = RatioText(e.packed, e.size);  // padded for the table
  ratio.erase(0, ratio.find_first_not_of(' '));
  ratio.erase(ratio.find_last_not_of(' ') + 1);
  Field("Ratio", ratio);
  Field("Method", std::to_string(arjhost::format::Byte(e.method)));
  Field("CRC", CrcText(e.crc));
  Field("Encrypted", e.garbled ? "+" : "-");
  Field("Volume", ShowName(e.volume, args));
  if (!e.header_known) {
    // What only the entry's own header tells is not there to show.
    Field("Header", "not matched: only what the plug-in reports is known");
  } else {
    Field("Modified", ModifiedText(e));
    Field("Accessed", TimeOr(e.accessed_known, e.accessed_time));
    Field("Created", TimeOr(e.created_known, e.created_time));
    Field("Host OS", HostOsText(e.host_os) + " (" + std::to_string(arjhost::format::Byte(e.host_os)) + ")");
    Field(HasUnixMode(e) ? "Mode" : "Attributes", AttributesField(e));
    Field("File Type", FileTypeText(e.file_type) + " (" + std::to_string(arjhost::format::Byte(e.file_type)) + ")");
    if (!e.link_target.empty()) Field("Link Target", TerminalText(EntryText(e.link_target, e, args)));
    Field("Chapters", ChapterRange(e));
    Field("Flags", FlagsText(e.flags));
    Field("Archiver Version", std::to_string(e.archiver_version) + " (needs " + std::to_string(e.min_version) + ")");
    Field("Header Offset", std::to_string(e.header_offset));
    Field("Header CRC", e.header_crc_ok ? "ok" : "mismatch: the header is damaged");
  }
  // On one line, its line breaks escaped, so that no comment passes for a field.
  Field("Comment", ShowName(e.comment, args));
  Field("Parts", std::to_string(e.parts.size()));
  for (size_t k = 0; k < e.parts.size(); ++k)
    Print("Part %zu = %s\n", k + 1, PartText(e.parts[k], args).c_str());
  const arjhost::Status parts = arjhost::CheckParts(e);
  if (!parts.ok()) Field("Parts Problem", parts.message);
}

}  // namespace

void PrintListTechnical(const Session& s, const EntryWalk& chosen, const Args& args) {
  const arjhost::ArchiveState& state = s.archive->state();
  PrintArchiveHeading(s, args);
  Print("Volumes = %zu\nDigest = %016" PRIx64 "\n", std::max<size_t>(state.volumes.size(), 1), state.digest);
  chosen([&](const arjhost::EntryInfo& e) {
    Print("\n");
    PrintEntry(e, args);
  });
}

}  // namespace cli
