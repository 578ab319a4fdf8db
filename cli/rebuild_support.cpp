#include "cli/rebuild_support.h"

#include <cstdio>

#include "cli/commands.h"
#include "cli/stored_name.h"

namespace cli {

bool OpenRewritable(const Args& args, const std::string& command, Session* s) {
  if (!OpenSession(args, command, s)) return false;
  const arjhost::ArchiveState& state = s->archive->state();
  const char* why = state.multi_volume ? "a multi-volume archive cannot be rewritten"
                    : state.damaged    ? "a damaged archive cannot be rewritten"
                    : state.incomplete ? "an incomplete archive cannot be rewritten"
                    : state.restricted ? "this archive cannot be rewritten"
                                       : nullptr;
  if (why == nullptr) return true;
  std::fprintf(stderr, "arjhost %s: %s: %s\n", command.c_str(), s->archive_path.c_str(), why);
  return false;
}

bool MethodOption(const Args& args, const std::string& command, int* method) {
  *method = -1;
  if (!args.Has("method")) return true;
  const std::string v = args.Value("method");
  if (v.size() != 1 || v[0] < '0' || v[0] > '4') {
    std::fprintf(stderr, "arjhost %s: -m takes a method from 0 to 4\n", command.c_str());
    return false;
  }
  *method = v[0] - '0';
  return true;
}

std::string Destination(const Args& args, const std::string& archive_path) {
  return args.Value("output", archive_path);
}

bool ParseAddedFile(const std::string& operand, const std::string& command, int method, arjhost::NewContent* out) {
  const size_t eq = operand.find('=');
  out->path = operand.substr(0, eq);
  const std::string given = eq == std::string::npos ? operand : operand.substr(eq + 1);
  std::string error;
  if (out->path.empty() || !StoredNameOf(given, &out->stored_name, &error)) {
    std::fprintf(stderr, "arjhost %s: %s\n", command.c_str(),
                 out->path.empty() ? ("\"" + operand + "\" names no file").c_str() : error.c_str());
    return false;
  }
  out->method = method;
  return true;
}

int RunRebuild(Session& s, const std::string& command, const arjhost::ChangeSet& changes,
               const std::string& destination, bool partial) {
  std::string error;
  if (!s.archive->Rebuild(changes, destination, &error)) {
    std::fprintf(stderr, "arjhost %s: %s\n", command.c_str(), error.c_str());
    return kExitPartial;
  }
  std::printf("%s: %zu dropped, %zu replaced, %zu added\n", destination.c_str(), changes.dropped.size(),
              changes.replaced.size(), changes.added.size());
  return partial ? kExitPartial : kExitOk;
}

}  // namespace cli
