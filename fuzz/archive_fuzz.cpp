// libFuzzer target: the input is a single-volume archive handed to the
// plug-in as a memory I/O, opened in both scan modes.
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  arjrt::Runtime& runtime = fuzzing::FuzzRuntime();
  const size_t objects = runtime.live_object_count();
  for (uint32_t scan_all : {0u, 1u}) {
    ObjectRef source = fuzzing::MakeSource(runtime);
    fuzzing::ExerciseArchiver(runtime, fuzzing::MakeMemoryIo(source, data, size, "fuzz.arj"), scan_all, "secret");
    host::CloseIfOpen(source);
  }
  fuzzing::CheckNothingLeft(runtime, objects);
  return 0;
}
