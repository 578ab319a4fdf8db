// libFuzzer target: the input is an archive handed to the plug-in as a
// memory I/O. Recognition, both scan modes, enumeration with every
// property, and extraction of every entry (garbled ones with a password).
// Every object and block must be released afterwards.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "plugin/frame/registration.h"
#include "runtime/core/runtime.h"
#include "runtime/loader/plugin_loader.h"
#include "runtime/services/services.h"

namespace {

constexpr uint64_t kMaxExtractedEntry = 1 << 20;  // keeps runs short; bombs are the limits' business

arjrt::Runtime& Host() {
  static arjrt::Runtime* runtime = [] {
    auto* r = new arjrt::Runtime;
    arjrt::CallPluginEntry(*r, PluginEntry, "fuzzed plug-in");
    return r;
  }();
  return *runtime;
}

template <class T>
T Property(ObjectRef a, uint64_t handle, PropId id) {
  host::SetPropQWord(a, PROP_ENTRY_SELECTOR, handle);
  T value{};
  uint32_t length = 0;
  a->system->GetPropBuffer(a, &length, id, &value, sizeof value);
  return value;
}

void ReadAll(ObjectRef io) {
  uint64_t size = 0;
  host::Io(io).GetSize(io, &size, 0);
  uint8_t buffer[65536];
  for (uint64_t at = 0; at < size;) {
    uint32_t got = 0;
    host::Io(io).SeekRead(io, &got, at, buffer, sizeof buffer);
    if (got == 0) break;
    at += got;
  }
}

void Exercise(arjrt::Runtime& runtime, const uint8_t* data, size_t size, uint32_t scan_all) {
  ObjectRef root = runtime.root();
  ObjectRef source = nullptr, io = nullptr, archiver = nullptr, requester = nullptr;
  host::CreateObjectQuick(root, &source, IID_FS_SOURCE, arjrt::PID_NATIVE_FS_SOURCE);
  host::CreateObject(source, &io, IID_BLOCK_IO, PID_MEMORY_IO);
  host::SetPropQWord(io, arjrt::PROP_MEMORY_VIEW_ADDRESS, reinterpret_cast<uintptr_t>(data));
  host::SetPropQWord(io, arjrt::PROP_MEMORY_VIEW_SIZE, size);
  io->system->SetPropBuffer(io, nullptr, PROP_OBJECT_NAME, "fuzz.arj", 9);
  host::CreateObjectDone(io);
  const arjrt::Implementation* impl = runtime.registry().Find(IID_MINIARCHIVER, PID_ARJ);
  if (impl->hooks.Recognize(io) == RESULT_OK &&
      !Failed(host::CreateObject(io, &archiver, IID_MINIARCHIVER, PID_ARJ))) {
    host::SetPropDWord(archiver, PROP_SCAN_ALL_VOLUMES, scan_all);
    if (!Failed(host::CreateObjectDone(archiver))) {
      host::CreateObjectQuick(root, &requester, IID_REQUESTER, arjrt::PID_REQUESTER);
      runtime.AddMessageHandler(requester, [](const arjrt::Message& m) -> ResultCode {
        host::Text(m.context).SetFromBuffer(m.context, 0, "secret", 6, CP_HOST_PATHS, 0);
        return RESULT_OK;
      });
      const MiniArchiverMethods& m = host::Archiver(archiver);
      m.Reset(archiver);
      uint64_t handle = 0;
      for (int guard = 0; m.Next(archiver, &handle, handle) == RESULT_OK && guard < 100000; ++guard) {
        char name[600];
        uint32_t length = 0;
        host::SetPropQWord(archiver, PROP_ENTRY_SELECTOR, handle);
        archiver->system->GetPropBuffer(archiver, &length, PROP_OBJECT_NAME, name, sizeof name);
        host::SetPropQWord(archiver, PROP_ENTRY_SELECTOR, handle);
        archiver->system->GetPropBuffer(archiver, &length, PROP_VOLUME_NAME, name, sizeof name);
        Property<uint32_t>(archiver, handle, PROP_PACKED_SIZE);
        Property<uint32_t>(archiver, handle, PROP_OBJECT_CRC);
        Property<uint32_t>(archiver, handle, PROP_ENTRY_METHOD);
        Property<uint64_t>(archiver, handle + 1, PROP_OBJECT_SIZE);  // a continuation part, or past the end
        if (Property<uint64_t>(archiver, handle, PROP_OBJECT_SIZE) > kMaxExtractedEntry) continue;
        ObjectRef temp = nullptr;
        if (!Failed(m.OpenEntry(archiver, &temp, handle, requester)) && temp != nullptr) {
          ReadAll(temp);
          host::CloseObject(temp);
        }
      }
      m.OpenEntry(archiver, nullptr, 0, requester);
      m.OpenEntry(archiver, nullptr, ~0ull, requester);
      host::CloseObject(requester);
    }
  }
  host::CloseObject(source);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  arjrt::Runtime& runtime = Host();
  const size_t objects = runtime.live_object_count();
  for (uint32_t scan_all : {0u, 1u}) Exercise(runtime, data, size, scan_all);
  if (runtime.live_object_count() != objects || runtime.live_block_count() != 0 || !runtime.leak_notes().empty()) {
    std::fprintf(stderr, "objects or blocks left behind:\n%s", runtime.DescribeLive().c_str());
    std::abort();
  }
  return 0;
}
