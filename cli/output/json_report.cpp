#include "cli/output/json_report.h"

#include <cinttypes>
#include <cstdio>

#include "cli/output/json_writer.h"
#include "runtime/api/text.h"

namespace cli {

void WriteArchiveState(JsonWriter& json, const Session& s, bool damaged, const Args& args) {
  const arjhost::ArchiveState& state = s.archive->state();
  char digest[24];
  std::snprintf(digest, sizeof digest, "%016" PRIx64, state.digest);
  json.Key("archive"), json.String(s.archive_path);
  json.Key("digest"), json.String(digest);
  json.Key("multi_volume"), json.Bool(state.multi_volume);
  json.Key("damaged"), json.Bool(damaged);
  json.Key("incomplete"), json.Bool(state.incomplete);
  json.Key("main_header_crc_ok"), json.Bool(state.damaged_main_headers.empty());
  json.Key("secured"), json.Bool(state.secured);
  json.Key("protected"), json.Bool(state.protected_data);
  json.Key("chapter"), json.Unsigned(state.chapter);
  json.Key("comment"), json.String(JsonName(state.comment, args));
  json.Key("volumes"), json.BeginArray();
  for (const std::string& v : state.volumes) json.String(JsonName(v, args));
  json.EndArray();
  json.Key("unreadable_volumes"), json.BeginArray();
  for (const arjhost::UnreadableVolume& v : state.unreadable_volumes) {
    json.BeginObject();
    json.Key("name"), json.String(arjhost::DisplayName(v.name));
    json.Key("cause"), json.String(v.status.message);
    json.EndObject();
  }
  json.EndArray();
  json.Key("skipped"), json.BeginArray();
  for (const arjhost::SkippedRange& r : state.skipped) {
    json.BeginObject();
    json.Key("offset"), json.Unsigned(r.offset);
    json.Key("size"), json.Unsigned(r.size);
    json.Key("cause"), json.String(r.cause);
    json.Key("volume"), json.String(JsonName(r.volume, args));
    json.EndObject();
  }
  json.EndArray();
}

}  // namespace cli
