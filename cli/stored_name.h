// The names under which the tool stores new files.
#pragma once

#include <string>

namespace cli {

// The path as given, relative to the current folder with '/' separators
// and without "." components. False with `error` set for an empty name, an
// absolute path or a ".." component: an entry must never lead its
// extractor out of the folder it extracts into.
bool StoredNameOf(const std::string& given, std::string* stored, std::string* error);

}  // namespace cli
