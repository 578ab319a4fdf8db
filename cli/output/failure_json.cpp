#include "cli/output/failure_json.h"

#include <ostream>
#include <utility>

#include "cli/output/json_writer.h"
#include "cli/output/messages.h"

namespace cli {

void PrintFailureJson(const std::string& command, const std::string& archive, const std::string& error,
                      bool line) {
  std::ostream& out = DocumentStream();
  JsonWriter json(out, !line);
  json.BeginObject();
  // Null for what the command line did not get to name.
  for (const auto& [key, value] : {std::pair{"command", &command}, std::pair{"archive", &archive}}) {
    json.Key(key);
    if (value->empty()) json.Null();
    else json.String(*value);
  }
  json.Key("error"), json.String(error);
  if (line) json.Key("ok"), json.Bool(false);
  json.EndObject();
  out << "\n";
  out.flush();
}

}  // namespace cli
