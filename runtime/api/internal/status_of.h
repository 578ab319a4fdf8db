// The API's Status from what the layers below it answer: the host's result
// codes, the system's errno values and the format module's verdicts. Each
// is mapped to a Code here and nowhere else; a caller that knows more (an
// extraction knows whether a password was given) says so with Failure.
#pragma once

#include <string>

#include "plugin/format/entry_verdicts.h"
#include "plugin/host/host_types.h"
#include "runtime/api/status.h"

namespace arjhost {

Code CodeOf(ResultCode result);
Code CodeOfErrno(int error);
Code CodeOf(format::Fault fault);

// A failure with the code `code`, the host's `result` behind it (0: none).
Status Failure(Code code, std::string message, ResultCode result = RESULT_OK);
// A failure of the host's `result`, coded by CodeOf (ok when it did not fail).
Status StatusOf(ResultCode result, std::string message);
// A failure the system reported as `error` (errno): "WHAT: its words".
Status ErrnoStatus(int error, const std::string& what);
// A verdict of the format module: ok when it finds no fault.
Status StatusOf(const format::Verdict& verdict);

}  // namespace arjhost
