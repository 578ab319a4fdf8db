// The C API's results: the one place where the embedding API's statuses
// become the C codes of arjhost.h, and a handle's last failure.
#pragma once

#include <exception>
#include <new>
#include <string>

#include "runtime/bindings/c/arjhost.h"
#include "runtime/api/status.h"

namespace arjhost::capi {

// ARJHOST_OK, or the status's code negated.
int CodeOf(const Status& status);

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
  int Set(const Status& status) { return Set(CodeOf(status), status.message); }
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
      return failure.Set(ARJHOST_ERR_INTERNAL, e.what());
    } catch (...) {
      return ARJHOST_ERR_NO_MEMORY;
    }
  }
}

}  // namespace arjhost::capi
