// What add and create store for the files a user names: each file, and a
// folder with everything under it.
#pragma once

#include <string>
#include <vector>

#include "cli/input/args.h"
#include "runtime/api/rebuild.h"

namespace cli {

// The new entries for operands `first` on (FILE or FILE=STORED_NAME). A
// folder is stored as a folder entry followed by what is under it, in name
// order; under a folder, links and special files are stored as links (a
// second name of a file already stored as a hard link to it), never
// followed. Names taken by -x are left out, and so is the file `archive`.
// False with a line on stderr when an operand or a name found is refused.
bool CollectNewContent(const Args& args, const std::string& command, const std::string& archive, size_t first,
                       int method, std::vector<arjhost::NewContent>* out);

}  // namespace cli
