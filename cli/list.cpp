// arjhost list: one row per entry, totals, the digest, and a notice when the
// archive is damaged or incomplete.
#include <cinttypes>
#include <cstdio>
#include <iostream>

#include "cli/commands.h"
#include "cli/json_report.h"
#include "cli/session.h"
#include "runtime/api/text_tools.h"

namespace cli {
namespace {

std::string Ratio(uint64_t packed, uint64_t size) {
  if (size == 0) return "  -  ";
  char text[16];
  std::snprintf(text, sizeof text, "%5.1f%%", 100.0 * static_cast<double>(packed) / static_cast<double>(size));
  return text;
}

// The entry's time as a person reads it; "-" when its header is not known.
std::string ModifiedText(const arjhost::EntryInfo& e) {
  return e.header_known ? arjhost::LocalTimeText(e.modified_time) : "-";
}

constexpr uint8_t kFileTypeChapterLabel = 5;

// A stored comment, one indented line per line it holds, each made safe
// for the terminal (the indent keeps a comment from passing for a row).
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

std::string ChapterRange(const arjhost::EntryInfo& e) {
  char text[16];
  std::snprintf(text, sizeof text, "%03u-%03u", e.first_chapter, e.last_chapter);
  return text;
}

void PrintTable(const Session& s, const std::vector<arjhost::EntryInfo>& entries, const Args& args) {
  const arjhost::ArchiveState& state = s.archive->state();
  std::printf("Archive: %s\n", ShowPath(s.archive_path).c_str());
  if (!state.comment.empty()) {
    std::printf("Comment:\n");
    PrintComment(state.comment, "  ", args);
  }
  if (state.protected_data) std::printf("Protected: ARJ-PROTECT damage-protection data follows the archive\n");
  if (state.chapter != 0) std::printf("Chapters: %u (extraction takes the latest; ranges below)\n", state.chapter);
  std::printf("%-32s %12s %12s %6s %6s %-8s %-3s %-19s %s\n", "Name", "Size", "Packed", "Ratio", "Method", "CRC-32",
              "G", "Modified", "Volume");
  uint64_t total_size = 0, total_packed = 0;
  for (const arjhost::EntryInfo& e : entries) {
    total_size += e.size;
    total_packed += e.packed;
    std::string name = ShowName(e.name, args);
    if (e.header_known && e.file_type == kFileTypeChapterLabel) name += " (chapter label)";
    if (state.chapter != 0) name += " [" + ChapterRange(e) + "]";
    std::printf("%-32s %12" PRIu64 " %12u %6s %6u %08x %-3s %-19s %s\n", name.c_str(), e.size, e.packed,
                Ratio(e.packed, e.size).c_str(), e.method, e.crc, e.garbled ? "G" : "-", ModifiedText(e).c_str(),
                ShowName(e.volume, args).c_str());
    PrintComment(e.comment, "    comment: ", args);
  }
  std::printf("%zu entr%s, %" PRIu64 " bytes, %" PRIu64 " packed %s\n", entries.size(),
              entries.size() == 1 ? "y" : "ies", total_size, total_packed, Ratio(total_packed, total_size).c_str());
  if (state.volumes.size() > 1) std::printf("Volumes: %zu\n", state.volumes.size());
  std::printf("Digest: %016" PRIx64 "\n", state.digest);
}

std::string CrcText(uint32_t crc) {
  char text[12];
  std::snprintf(text, sizeof text, "%08x", crc);
  return text;
}

void PrintJson(const Session& s, const std::vector<arjhost::EntryInfo>& entries, const Args& args) {
  arjhost::JsonWriter json(std::cout, true);
  json.BeginObject();
  WriteArchiveState(json, s, args);
  json.Key("entries"), json.BeginArray();
  for (const arjhost::EntryInfo& e : entries) {
    json.BeginObject();
    json.Key("name"), json.String(JsonName(e.name, args));
    json.Key("size"), json.Unsigned(e.size);
    json.Key("packed"), json.Unsigned(e.packed);
    json.Key("method"), json.Unsigned(e.method);
    json.Key("crc"), json.String(CrcText(e.crc));
    // Each part's own size and CRC, as its header holds them.
    json.Key("parts"), json.BeginArray();
    for (const arjhost::EntryInfo::Part& p : e.parts) {
      json.BeginObject();
      json.Key("size"), json.Unsigned(p.size);
      json.Key("crc"), json.String(CrcText(p.crc));
      json.EndObject();
    }
    json.EndArray();
    // Why the parts do not make up the file; null when they do.
    const std::string problem = arjhost::PartsProblem(e);
    json.Key("parts_problem");
    if (problem.empty()) json.Null();
    else json.String(problem);
    json.Key("garbled"), json.Bool(e.garbled);
    json.Key("header_crc_ok"), json.Bool(!e.header_known || e.header_crc_ok);
    json.Key("volume"), json.String(JsonName(e.volume, args));
    // Null where the entry's header could not be matched.
    if (e.header_known) {
      json.Key("modified"), json.String(ModifiedText(e));
      json.Key("file_type"), json.Unsigned(e.file_type);
      json.Key("host_os"), json.Unsigned(e.host_os);
      json.Key("comment"), json.String(JsonName(e.comment, args));
      json.Key("chapters"), json.BeginArray(), json.Unsigned(e.first_chapter), json.Unsigned(e.last_chapter);
      json.EndArray();
    } else {
      for (const char* key : {"modified", "file_type", "host_os", "comment", "chapters"}) json.Key(key), json.Null();
    }
    json.EndObject();
  }
  json.EndArray();
  json.EndObject();
  std::cout << "\n";
}

// Names every entry whose parts do not make up its file (test and extract
// name them as they fail); true when there is one.
bool ReportPartsProblems(const Session& s, const std::vector<arjhost::EntryInfo>& entries, const Args& args) {
  bool any = false;
  for (const arjhost::EntryInfo& e : entries) {
    const std::string problem = arjhost::PartsProblem(e);
    if (problem.empty()) continue;
    any = true;
    std::fprintf(stderr, "arjhost: %s: %s: %s\n", ShowPath(s.archive_path).c_str(), ShowName(e.name, args).c_str(),
                 problem.c_str());
  }
  return any;
}

}  // namespace

// Prints the notices of a damaged or incomplete archive and of entries whose
// header fails its CRC; returns the exit code.
int ReportArchiveState(const Session& s, const std::vector<arjhost::EntryInfo>& entries, const Args& args) {
  bool bad_header = false;
  for (const arjhost::EntryInfo& e : entries)
    if (e.header_known && !e.header_crc_ok) {
      bad_header = true;
      std::fprintf(stderr, "arjhost: %s: %s: header CRC mismatch: the header is damaged%s\n", ShowPath(s.archive_path).c_str(),
                   ShowName(e.name, args).c_str(), s.recover ? "" : " (--recover leaves such entries out)");
    }
  const arjhost::ArchiveState& state = s.archive->state();
  for (const std::string& volume : state.damaged_main_headers)
    std::fprintf(stderr, "arjhost: %s: main header CRC mismatch: the archive header is damaged\n",
                 ShowPath(volume.empty() ? s.archive_path : volume).c_str());
  if (state.secured)
    std::fprintf(stderr, "arjhost: %s: the archive is sealed with an ARJ-SECURITY envelope, which is not verified\n",
                 ShowPath(s.archive_path).c_str());
  if (!state.skipped.empty())
    std::fprintf(stderr, "arjhost: %s: archive is damaged; recovered what lies outside the %zu skipped range%s\n",
                 ShowPath(s.archive_path).c_str(), state.skipped.size(), state.skipped.size() == 1 ? "" : "s");
  else if (state.damaged)
    std::fprintf(stderr, "arjhost: %s: archive is damaged; showing what could be read%s\n", ShowPath(s.archive_path).c_str(),
                 s.recover ? "" : " (--recover reads past the damage)");
  for (const arjhost::UnreadableVolume& v : state.unreadable_volumes)
    std::fprintf(stderr, "arjhost: %s: archive is incomplete: its volume %s cannot be read: %s (the set ends before it)\n",
                 ShowPath(s.archive_path).c_str(), ShowPath(v.name).c_str(), v.cause.c_str());
  // An unreadable volume is what the plug-in's incompleteness is about then.
  if (state.incomplete && state.unreadable_volumes.empty() && !state.missing_volume.empty())
    std::fprintf(stderr, "arjhost: %s: archive is incomplete: a volume that an entry continues into is missing: %s\n",
                 ShowPath(s.archive_path).c_str(), ShowName(state.missing_volume, args).c_str());
  else if (state.incomplete && state.unreadable_volumes.empty())
    std::fprintf(stderr, "arjhost: %s: archive is incomplete: a volume of its set is missing\n",
                 ShowPath(s.archive_path).c_str());
  const bool trouble =
      state.damaged || state.incomplete || bad_header || !state.damaged_main_headers.empty() || state.secured;
  return trouble ? kExitPartial : kExitOk;
}

int RunList(const Args& args) {
  Session s;
  if (!OpenSession(args, "list", &s)) return kExitFailure;
  std::vector<arjhost::EntryInfo> entries = s.archive->Entries();
  if (args.Has("json")) PrintJson(s, entries, args);
  else PrintTable(s, entries, args);
  const int code = ReportArchiveState(s, entries, args);
  return ReportPartsProblems(s, entries, args) ? kExitPartial : code;
}

}  // namespace cli
