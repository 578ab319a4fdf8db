// The tool's help texts, from the command table.
#pragma once

#include <cstdio>
#include <string>

#include "cli/commands/commands.h"

namespace cli {

// "list ARCHIVE... [PATTERN...] [-v] [-x PATTERN] ...": the command, its
// operands and each of its own options, in the table's order.
std::string UsageOf(const Command& command);
// Usage and one line per command.
void PrintOverview(FILE* out);
// The command's usage, description, options (its own and the common ones)
// and examples.
void PrintCommandHelp(const Command& command, FILE* out);

}  // namespace cli
