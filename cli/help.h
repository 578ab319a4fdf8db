// The tool's help texts, from the command table.
#pragma once

#include <cstdio>

#include "cli/commands.h"

namespace cli {

// Usage and one line per command.
void PrintOverview(FILE* out);
// The command's usage, description, options (its own and the common ones)
// and examples.
void PrintCommandHelp(const Command& command, FILE* out);

}  // namespace cli
