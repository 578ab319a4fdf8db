// Text helpers for embedders: names for display and JSON output.
#pragma once

#include "runtime/common/codepage.h"
#include "runtime/common/json_writer.h"
#include "runtime/core/result_names.h"

namespace arjhost {

using arjrt::DecodeToUtf8;
using arjrt::DescribeResult;
using arjrt::DisplayName;
using arjrt::IsValidUtf8;
using arjrt::JsonWriter;
using arjrt::ResultName;
using arjrt::TerminalText;

}  // namespace arjhost
