// The --max-* options every archive command takes: bounds on what a hostile
// archive may cost, handed to the host.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli/input/args.h"
#include "runtime/api/host.h"

namespace cli {

std::vector<OptionSpec> LimitOptions();
// "1000", "64K", "8M", "2G": a count, or bytes with a binary suffix, at
// most `max`; false for anything else.
bool ParseSize(const std::string& text, uint64_t max, uint64_t* out);
// Sets the host's limits from the options; false with `error` for a value
// that is not a count or size.
bool ApplyLimitOptions(const Args& args, arjhost::Host& host, std::string* error);

}  // namespace cli
