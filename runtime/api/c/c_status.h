// The C API's results: the one place where the C++ API's results become
// the C codes of arjhost.h, and a handle's last failure.
#pragma once

#include <cstdint>
#include <exception>
#include <new>
#include <string>

#include "runtime/api/c/arjhost.h"

namespace arjhost::capi {

// The C code for a result code of the C++ API (0: ARJHOST_OK), of an
// entry's data; and of opening a file, where "not found" is the file's.
int CodeOf(int32_t result);
int OpenCodeOf(int32_t result);
// Of a rewrite, where "unsupported" is a change or archive refused.
int WriteCodeOf(int32_t result);

// A handle's last result and, when it failed, why.
struct Failure {
  int code = ARJHOST_OK;
  std::string message;

  // Returns `c`, remembered with `why`; ARJHOST_OK clears the message.
  int Set(int c, std::string why = {}) {
    code = c;
    message = c == ARJHOST_OK ? std::string() : std::move(why);
    return c;
  }
  int Clear() { return Set(ARJHOST_OK); }
};

// Runs `body` (which returns a C result) so that no exception crosses into
// C: memory running short is ARJHOST_ERR_NO_MEMORY, remembered in `failure`.
template <class Body>
int Guarded(Failure& failure, Body&& body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return failure.Set(ARJHOST_ERR_NO_MEMORY, "out of memory");
  } catch (const std::exception& e) {
    try {
      return failure.Set(ARJHOST_ERR_IO, e.what());
    } catch (...) {
      return ARJHOST_ERR_NO_MEMORY;
    }
  }
}

}  // namespace arjhost::capi
