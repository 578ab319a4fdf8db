#include "runtime/api/rebuild.h"

#include <cctype>
#include <vector>

namespace arjhost {
namespace {

// What other tools would read as more than a relative name, or show
// wrongly: a reason, or "" for a name they all take as it is.
std::string HostileTrait(const std::string& given) {
  if (!given.empty() && given[0] == '/') return "is an absolute path";
  if (given.size() >= 2 && std::isalpha(static_cast<unsigned char>(given[0])) && given[1] == ':')
    return "starts with a drive letter";
  for (unsigned char c : given) {
    if (c < 0x20 || c == 0x7F) return "holds a control character";
    if (c == '\\') return "holds a backslash, a folder separator to DOS and Windows tools";
  }
  return "";
}

}  // namespace

bool StoredNameOf(const std::string& given, std::string* stored, std::string* error) {
  // Shown quoted: the name may hold what a terminal would act on.
  auto refuse = [&](const std::string& why) {
    std::string shown;
    for (unsigned char c : given) shown += c < 0x20 || c == 0x7F ? '?' : static_cast<char>(c);
    *error = "\"" + shown + "\" " + why;
    return false;
  };
  if (const std::string trait = HostileTrait(given); !trait.empty()) return refuse(trait);
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= given.size()) {
    size_t end = given.find('/', start);
    if (end == std::string::npos) end = given.size();
    std::string part = given.substr(start, end - start);
    if (part == "..") return refuse("has a \"..\" component");
    if (!part.empty() && part != ".") parts.push_back(part);
    start = end + 1;
  }
  if (parts.empty()) return refuse("names no file");
  stored->clear();
  for (const std::string& p : parts) *stored += (stored->empty() ? "" : "/") + p;
  return true;
}

bool CommentFits(const std::string& name, const std::string& comment) {
  // A written header's basic part: its fixed fields, then name and comment
  // each with its NUL (kMaxStoredNameLength is what is left for both).
  return comment.find('\0') == std::string::npos && name.size() + comment.size() <= kMaxStoredNameLength;
}

}  // namespace arjhost
