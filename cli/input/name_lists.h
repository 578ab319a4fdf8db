// @FILE operands: a file of names, one a line, standing for those names
// (as arj !list, 7z @list and tar -T take them).
#pragma once

#include <string>

#include "cli/input/args.h"

namespace cli {

// Puts the lines of each operand "@FILE" from `first` on in its place, as
// operands of their own: a line ends at LF, a CR before it is dropped (a
// list written on DOS), empty lines are skipped, and a line is taken as
// it stands (an "@" in it names a file, not another list). A file whose
// name starts with '@' is named "./@NAME". False with a line on stderr
// for a list that cannot be read whole, or holds a NUL (the exit code is
// then 2: nothing has been written).
bool ExpandNameLists(const std::string& command, size_t first, Args* args);

}  // namespace cli
