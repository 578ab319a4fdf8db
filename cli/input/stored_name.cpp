#include "cli/input/stored_name.h"

#include "runtime/api/rebuild.h"

namespace cli {

bool StoredNameOf(const std::string& given, std::string* stored, std::string* error) {
  if (arjhost::StoredNameOf(given, stored, error)) return true;
  *error += "; give a plain relative path, or FILE=STORED_NAME";
  return false;
}

}  // namespace cli
