#include "fuzz/fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "plugin/frame/registration.h"
#include "runtime/api/internal/builtin_services.h"
#include "runtime/api/internal/host_state.h"
#include "runtime/loader/plugin_loader.h"
#include "runtime/services/services.h"

namespace fuzzing {

arjhost::Host& FuzzHost() {
  static arjhost::Host* host = [] {
    auto* h = new arjhost::Host;
    arjrt::CallPluginEntry(arjhost::HostAccess::RuntimeOf(*h), PluginEntry, "fuzzed plug-in");
    return h;
  }();
  return *host;
}
namespace {

constexpr uint64_t kMaxExtractedEntry = 1 << 20;  // keeps runs short; bombs are the limits' business

template <class T>
T Property(ObjectRef a, uint64_t handle, PropId id) {
  AnyAnswer(host::SetPropQWord(a, PROP_ENTRY_SELECTOR, handle));
  T value{};
  uint32_t length = 0;
  AnyAnswer(a->system->GetPropBuffer(a, &length, id, &value, sizeof value));
  return value;
}

void ReadAll(ObjectRef io) {
  uint64_t size = 0;
  AnyAnswer(host::Io(io).GetSize(io, &size, 0));
  static uint8_t buffer[65536];
  for (uint64_t at = 0; at < size;) {
    uint32_t got = 0;
    AnyAnswer(host::Io(io).SeekRead(io, &got, at, buffer, sizeof buffer));  // the count tells
    if (got == 0) break;
    at += got;
  }
}

void Enumerate(arjrt::Runtime& runtime, ObjectRef archiver, const std::string& password) {
  ObjectRef requester = nullptr;
  Require(host::CreateObjectQuick(runtime.root(), &requester, IID_REQUESTER, arjrt::PID_REQUESTER), "requester");
  runtime.AddMessageHandler(requester, [password](const arjrt::Message& m) -> ResultCode {
    return host::Text(m.context).SetFromBuffer(m.context, 0, password.data(), static_cast<uint32_t>(password.size()),
                                               CP_HOST_PATHS, 0);
  });
  const MiniArchiverMethods& m = host::Archiver(archiver);
  AnyAnswer(m.Reset(archiver));
  uint64_t handle = 0;
  for (int guard = 0; m.Next(archiver, &handle, handle) == RESULT_OK && guard < 100000; ++guard) {
    char name[600];
    uint32_t length = 0;
    for (PropId id : {PROP_OBJECT_NAME, PROP_VOLUME_NAME, PROP_OBJECT_PATH}) {
      AnyAnswer(host::SetPropQWord(archiver, PROP_ENTRY_SELECTOR, handle));
      AnyAnswer(archiver->system->GetPropBuffer(archiver, &length, id, name, sizeof name));
    }
    Property<uint32_t>(archiver, handle, PROP_PACKED_SIZE);
    Property<uint32_t>(archiver, handle, PROP_OBJECT_CRC);
    Property<uint32_t>(archiver, handle, PROP_ENTRY_METHOD);
    Property<uint64_t>(archiver, handle + 1, PROP_OBJECT_SIZE);  // a continuation part, or past the end
    if (Property<uint64_t>(archiver, handle, PROP_OBJECT_SIZE) > kMaxExtractedEntry) continue;
    ObjectRef temp = nullptr;
    if (!Failed(m.OpenEntry(archiver, &temp, handle, requester)) && temp != nullptr) {
      ReadAll(temp);
      host::CloseIfOpen(temp);
    }
  }
  AnyAnswer(m.OpenEntry(archiver, nullptr, 0, requester));
  AnyAnswer(m.OpenEntry(archiver, nullptr, ~0ull, requester));
  host::CloseIfOpen(requester);
}

}  // namespace

arjrt::Runtime& FuzzRuntime() {
  static arjrt::Runtime* runtime = [] {
    auto* r = new arjrt::Runtime(arjrt::RegisterBuiltinServices);
    arjrt::CallPluginEntry(*r, PluginEntry, "fuzzed plug-in");
    return r;
  }();
  return *runtime;
}

void Require(ResultCode result, const char* what) {
  if (!Failed(result)) return;
  std::fprintf(stderr, "harness setup failed: %s (0x%08x)\n", what, static_cast<unsigned>(result));
  std::abort();
}

ObjectRef MakeSource(arjrt::Runtime& runtime) {
  ObjectRef source = nullptr;
  Require(host::CreateObjectQuick(runtime.root(), &source, IID_FS_SOURCE, arjrt::PID_NATIVE_FS_SOURCE), "source");
  return source;
}

ObjectRef MakeMemoryIo(ObjectRef parent, const uint8_t* data, size_t size, const char* name) {
  ObjectRef io = nullptr;
  Require(host::CreateObject(parent, &io, IID_BLOCK_IO, PID_MEMORY_IO), "memory I/O");
  Require(host::SetPropQWord(io, arjrt::PROP_MEMORY_VIEW_ADDRESS, reinterpret_cast<uintptr_t>(data)), "view address");
  Require(host::SetPropQWord(io, arjrt::PROP_MEMORY_VIEW_SIZE, size), "view size");
  Require(host::SetPropBuffer(io, PROP_OBJECT_NAME, name, static_cast<uint32_t>(std::strlen(name) + 1)), "name");
  Require(host::CreateObjectDone(io), "memory I/O");
  return io;
}

ObjectRef OpenArchiver(arjrt::Runtime& runtime, ObjectRef io, uint32_t scan_all) {
  const arjrt::Implementation* impl = runtime.registry().Find(IID_MINIARCHIVER, PID_ARJ);
  if (io == nullptr || impl->hooks.Recognize(io) != RESULT_OK) return nullptr;
  ObjectRef archiver = nullptr;
  if (Failed(host::CreateObject(io, &archiver, IID_MINIARCHIVER, PID_ARJ))) return nullptr;
  Require(host::SetPropDWord(archiver, PROP_SCAN_ALL_VOLUMES, scan_all), "scan mode");
  if (!Failed(host::CreateObjectDone(archiver))) return archiver;
  host::CloseIfOpen(archiver);
  return nullptr;
}

void ExerciseArchiver(arjrt::Runtime& runtime, ObjectRef io, uint32_t scan_all, const std::string& password) {
  ObjectRef archiver = OpenArchiver(runtime, io, scan_all);
  if (archiver == nullptr) return;
  Enumerate(runtime, archiver, password);
  host::CloseIfOpen(archiver);
}

void CheckNothingLeft(arjrt::Runtime& runtime, size_t objects_before) {
  if (runtime.live_object_count() == objects_before && runtime.live_block_count() == 0 &&
      runtime.leak_notes().empty())
    return;
  std::fprintf(stderr, "objects or blocks left behind:\n%s", runtime.DescribeLive().c_str());
  std::abort();
}

}  // namespace fuzzing
