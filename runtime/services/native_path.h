// Path helpers shared by the native file I/O, the native file system and
// its source: what a file's directory and name are, and which names may be
// opened beside it.
#pragma once

#include <string>
#include <string_view>

#include "plugin/host/host_objects.h"

namespace arjrt {

// The part after the last '/' ("data.a03" of "dir/data.a03").
std::string_view BaseName(std::string_view path);
// The directory part: "." for a bare name, "/" for a file in the root.
std::string_view DirectoryName(std::string_view path);
// dir + "/" + name, without doubling a trailing '/'.
std::string JoinPath(std::string_view dir, std::string_view name);
// A name of a file in the same directory: not empty, ".", "..", and without
// '/' or NUL.
bool IsSiblingName(std::string_view name);

// The name a text object holds, as a path: ERR_BAD_PARAMETER for no text,
// a name too long for a path, or one a NUL inside would cut short.
[[nodiscard]] ResultCode NameInText(ObjectRef text, std::string* name);

// The name in `dir` that equals `name` but for the case of ASCII letters
// (the first in byte order when several do); false when there is none.
bool FindNameIgnoringCase(const std::string& dir, std::string_view name, std::string* found);

// When `io` is a native file I/O with a path, stores that file's directory
// in *dir and returns true; otherwise leaves *dir alone.
bool DirectoryOfNativeFile(ObjectRef io, std::string* dir);

}  // namespace arjrt
