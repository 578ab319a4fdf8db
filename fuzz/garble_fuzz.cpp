// libFuzzer target: garbled extraction with arbitrary passwords. The first
// byte gives the password's length, the password follows, then the archive.
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  size_t length = data[0];
  if (length > size - 1) length = size - 1;
  std::string password(reinterpret_cast<const char*>(data + 1), length);
  arjrt::Runtime& runtime = fuzzing::FuzzRuntime();
  const size_t objects = runtime.live_object_count();
  ObjectRef source = fuzzing::MakeSource(runtime);
  fuzzing::ExerciseArchiver(runtime, fuzzing::MakeMemoryIo(source, data + 1 + length, size - 1 - length, "g.arj"), 0,
                            password);
  host::CloseIfOpen(source);
  fuzzing::CheckNothingLeft(runtime, objects);
  return 0;
}
