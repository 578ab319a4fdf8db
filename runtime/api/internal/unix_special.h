// The API's kinds of UNIX link or special file, read from and written to
// the record arj -a1 stores for one (the format module's unix_special.h).
#pragma once

#include <string>

#include "runtime/api/archive.h"

namespace arjhost {

// Sets `entry->special` (and `link_target`) from the body of the 'U'
// extended header (the bytes after the tag) of an entry of file type 6.
void ApplyUnixSpecial(const std::string& body, EntryInfo* entry);

// The body of that header for new content of a kind other than kFile or
// kFolder ("" for those two).
std::string UnixSpecialBody(const NewContent& content);

}  // namespace arjhost
