// What every call of the embedding API that can fail answers: a code a
// caller can act on, and a message a person can read.
#pragma once

#include <cstdint>
#include <string>

#include "runtime/api/export.h"

namespace arjhost {

// What went wrong, one value for each thing a caller may do differently.
// The values are stable: a later version adds codes at the end and never
// renumbers one (a C or Python binding may store them). Reading the codes
// as a binding groups them: kNotAnArchive, kDamaged, kUnsupported and
// kVolumeMissing say the archive is bad; kWrongPassword and kPasswordNeeded
// that a password is; kLimitExceeded that a bound refused the work; the
// rest are errors of the caller, the system or this library.
enum class Code : uint8_t {
  kOk = 0,
  // No ARJ archive there: no main header a reader takes.
  kNotAnArchive = 1,
  // Damaged headers or data: a CRC or size that does not match, data cut
  // short, parts that do not make up their file, a header of no sense.
  kDamaged = 2,
  // A garbled entry does not decode with the password given: the password
  // is wrong, or the garbled data damaged (the check cannot tell them apart).
  kWrongPassword = 3,
  // A garbled entry, and no password was given for it.
  kPasswordNeeded = 4,
  // A method, file type or format version this reader does not know; what
  // an ARJ archive cannot hold (a file of 4 GiB or more); a rewrite this
  // archive cannot take (a garbled file split over volumes, without its
  // password).
  kUnsupported = 5,
  // A volume of the set that an entry continues into (or comes from) is
  // not there.
  kVolumeMissing = 6,
  // A bound of Limits refused it (entries, volumes, memory, sizes, ratio,
  // total).
  kLimitExceeded = 7,
  // The system refused a read or a write; the message names the file and
  // carries the system's own words (strerror).
  kIoError = 8,
  // No such file, plug-in or entry.
  kNotFound = 9,
  // A rewrite refused the archive or the changes asked of it (a damaged
  // archive, a new entry under one that is not a folder, ...).
  kRefused = 10,
  // The caller stopped it: a ChunkSink returned false.
  kCancelled = 11,
  // The caller asked for what cannot be: an entry of another archive, a
  // stored name too long for a header, new content that is not what its
  // kind says (no regular file, no folder, a link target too long).
  kBadArgument = 12,
  // Memory could not be had.
  kOutOfMemory = 13,
  // A file changed while it was being read or rewritten (new content, or
  // the archive itself): trying again may succeed.
  kChanged = 14,
  // None of the above: the runtime or the plug-in failed otherwise
  // (Status::host_result tells how).
  kInternal = 15,
  // Another writer holds the archive (its lock beside it): trying again
  // once that one is done may succeed.
  kInUse = 16,
};

// "ok", "not an archive", "damaged", ...: the code in a few words.
ARJHOST_API const char* CodeName(Code code);

struct Status {
  Code code = Code::kOk;
  // One line naming the file or entry and the cause; "" when ok. A verdict
  // on a thing the caller handed in (CheckEntry, CheckParts, ...) says only
  // what is wrong with it: the caller names it.
  std::string message;
  // The result code of the runtime or plug-in behind the failure (text.h
  // describes it), 0 when there is none: for diagnosis, not for deciding.
  int32_t host_result = 0;

  bool ok() const { return code == Code::kOk; }
};

}  // namespace arjhost
