#include "cli/stored_name.h"

#include <vector>

namespace cli {

bool StoredNameOf(const std::string& given, std::string* stored, std::string* error) {
  if (!given.empty() && given[0] == '/') {
    *error = "\"" + given + "\" is an absolute path; give a relative one or NAME=STORED_NAME";
    return false;
  }
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= given.size()) {
    size_t end = given.find('/', start);
    if (end == std::string::npos) end = given.size();
    std::string part = given.substr(start, end - start);
    if (part == "..") {
      *error = "\"" + given + "\" has a \"..\" component";
      return false;
    }
    if (!part.empty() && part != ".") parts.push_back(part);
    start = end + 1;
  }
  if (parts.empty()) {
    *error = "\"" + given + "\" names no file";
    return false;
  }
  stored->clear();
  for (const std::string& p : parts) *stored += (stored->empty() ? "" : "/") + p;
  return true;
}

}  // namespace cli
