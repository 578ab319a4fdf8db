// libFuzzer target: an archive in memory opened through the embedding API,
// as the tool opens files: the search for a main header behind a stub, the
// runtime's own header walk for entry times and modes, and with the first
// byte's low bit the recovery walk and its joined I/O; then every entry of
// a bounded size is extracted and checked. Every failure must come with a
// message and a code that says what it was (never kInternal for an entry:
// what an archive holds is damage, or unknown, or missing).
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz/fuzz_support.h"
#include "runtime/api/archive.h"
#include "runtime/api/internal/host_state.h"
#include "runtime/core/runtime.h"

namespace {

constexpr uint64_t kMaxExtractedEntry = 1 << 20;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  arjhost::Host& host = fuzzing::FuzzHost();
  arjrt::Runtime& runtime = arjhost::HostAccess::RuntimeOf(host);
  const size_t objects = runtime.live_object_count();
  {
    arjhost::OpenOptions options;
    options.recover = (data[0] & 1) != 0;
    options.scan_all_volumes = (data[0] & 2) != 0;
    options.name = "fuzz.arj";
    const arjhost::OpenResult opened = arjhost::Archive::OpenMemory(host, data + 1, size - 1, options);
    // A failure is coded, and said.
    if (opened.ok() == (opened.archive == nullptr) || opened.ok() != opened.status.message.empty()) std::abort();
    if (const std::unique_ptr<arjhost::Archive>& archive = opened.archive) {
      for (const arjhost::EntryInfo& e : archive->Entries()) {
        if (e.size > kMaxExtractedEntry) continue;
        const arjhost::ExtractResult extracted = archive->Extract(
            e, [](const uint8_t*, size_t) { return true; },
            [](const arjhost::EntryInfo&, int attempt, std::string* password) {
              *password = "secret";
              return attempt == 0;
            });
        if (extracted.ok() != extracted.status.message.empty() || extracted.status.code == arjhost::Code::kInternal)
          std::abort();
      }
    }
  }
  if (runtime.live_object_count() != objects || runtime.live_block_count() != 0) {
    std::fprintf(stderr, "objects or blocks left behind:\n%s", runtime.DescribeLive().c_str());
    std::abort();
  }
  return 0;
}
