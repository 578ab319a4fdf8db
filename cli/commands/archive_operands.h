// Which operands of list and test are archives and which are patterns.
#pragma once

#include <string>
#include <vector>

#include "cli/input/args.h"

namespace cli {

// The first operand is an archive, and so is each later one that holds an
// archive the plug-in recognises, or is named *.arj without wildcards (to
// be named as missing, or as no archive); the others are patterns, a file
// of that name in the current folder too. No operand: one archive named
// "", which OpenArchive names as missing.
void SplitOperands(const Args& args, std::vector<std::string>* paths, std::vector<std::string>* patterns);

}  // namespace cli
