// The names under which the tool stores new files: the library's rule
// (arjhost::StoredNameOf), its refusals with the tool's hint.
#pragma once

#include <string>

namespace cli {

bool StoredNameOf(const std::string& given, std::string* stored, std::string* error);

}  // namespace cli
