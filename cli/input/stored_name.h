// The names under which the tool stores new files.
#pragma once

#include <string>

namespace cli {

// The path as given, relative to the current folder with '/' separators
// and without "." components. False with `error` set for an empty name, an
// absolute path, a ".." component, a drive letter, a backslash or a control
// character: an entry must never lead its extractor out of the folder it
// extracts into, whatever tool extracts it.
bool StoredNameOf(const std::string& given, std::string* stored, std::string* error);

}  // namespace cli
