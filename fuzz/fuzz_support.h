// What the archive harnesses share: one runtime with the plug-in linked in,
// the drive of an archiver over an I/O object as a host would, and the
// check that nothing was left behind.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "plugin/host/host_objects.h"
#include "runtime/api/host.h"
#include "runtime/core/runtime.h"

namespace fuzzing {

arjrt::Runtime& FuzzRuntime();
// A host of the embedding API with the plug-in linked in, for the
// harnesses that drive an Archive.
arjhost::Host& FuzzHost();

// The harness's own setup: its failure is a fault of the harness or of the
// runtime, never of the input, and aborts the run.
void Require(ResultCode result, const char* what);
// A call on what the input made: any answer will do, as only a crash, a
// hang or a leak is a finding.
constexpr void AnyAnswer(ResultCode result) { IgnoreResult(result); }

// A file-system source under the root (closing it closes all below it).
ObjectRef MakeSource(arjrt::Runtime& runtime);
// A memory I/O named `name` under `parent`, viewing `data`.
ObjectRef MakeMemoryIo(ObjectRef parent, const uint8_t* data, size_t size, const char* name);

// An archiver over `io` that was recognized and opened, or null.
ObjectRef OpenArchiver(arjrt::Runtime& runtime, ObjectRef io, uint32_t scan_all);
// Recognition, creation in the given scan mode, enumeration with every
// property, and extraction of every entry (with `password` when asked).
void ExerciseArchiver(arjrt::Runtime& runtime, ObjectRef io, uint32_t scan_all, const std::string& password);

// Aborts when objects or blocks were left behind since `objects_before`.
void CheckNothingLeft(arjrt::Runtime& runtime, size_t objects_before);

}  // namespace fuzzing
