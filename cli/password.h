// Where the tool's answers to password requests come from.
#pragma once

#include "cli/args.h"
#include "runtime/api/archive.h"

namespace cli {

// With -p: that password, once per entry (a second request for the same
// entry means it is wrong). Without -p, on a terminal: asks, echo off, up to
// three times. With neither: declines.
arjhost::PasswordSource MakePasswordSource(const Args& args);

}  // namespace cli
