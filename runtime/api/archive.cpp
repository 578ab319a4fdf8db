#include "runtime/api/archive.h"

#include <cstring>

#include "runtime/api/archive_objects.h"
#include "runtime/core/result_names.h"
#include "runtime/core/runtime.h"
#include "runtime/services/services.h"

namespace arjhost {

namespace {

constexpr uint32_t kAccessRead = 1;
constexpr uint32_t kOpenExisting = 1;

std::string StringProperty(ObjectRef o, PropId id) {
  char buffer[4096];
  uint32_t length = 0;
  if (Failed(o->system->GetPropBuffer(o, &length, id, buffer, sizeof buffer)) || length == 0) return "";
  return std::string(buffer, strnlen(buffer, std::min<size_t>(length, sizeof buffer)));
}

template <class T>
T FixedProperty(ObjectRef o, PropId id) {
  T value{};
  uint32_t length = 0;
  o->system->GetPropBuffer(o, &length, id, &value, sizeof value);
  return value;
}

const arjrt::Implementation* RecognizingImplementation(arjrt::Runtime& runtime, ObjectRef io) {
  for (const auto& impl : runtime.registry().all())
    if (impl->iid == IID_MINIARCHIVER && impl->hooks.Recognize != nullptr && impl->hooks.Recognize(io) == RESULT_OK)
      return impl.get();
  return nullptr;
}

}  // namespace

Archive::Archive(Host& host, std::unique_ptr<Objects> objects) : host_(host), objects_(std::move(objects)) {}
Archive::~Archive() = default;

std::unique_ptr<Archive> Archive::OpenFile(Host& host, const std::string& path, const OpenOptions& options,
                                           std::string* error, int32_t* result) {
  auto objects = std::make_unique<Objects>(host.runtime());
  ObjectRef root = host.runtime().root();
  ResultCode r = host::CreateObjectQuick(root, &objects->source, IID_FS_SOURCE, arjrt::PID_NATIVE_FS_SOURCE);
  if (!Failed(r)) r = host::CreateObject(objects->source, &objects->io, IID_BLOCK_IO, PID_NATIVE_FILE_IO);
  if (!Failed(r)) {
    objects->io->system->SetPropBuffer(objects->io, nullptr, PROP_OBJECT_PATH, path.c_str(),
                                       static_cast<uint32_t>(path.size() + 1));
    host::SetPropDWord(objects->io, PROP_ACCESS_MODE, kAccessRead);
    host::SetPropDWord(objects->io, PROP_OPEN_MODE, kOpenExisting);
    r = host::CreateObjectDone(objects->io);
  }
  if (Failed(r)) {
    if (error) *error = path + ": cannot be opened: " + arjrt::ResultName(r);
    if (result) *result = r;
    return nullptr;
  }
  return Open(host, std::move(objects), options, path, error, result);
}

std::unique_ptr<Archive> Archive::OpenMemory(Host& host, const void* data, size_t size, const OpenOptions& options,
                                             std::string* error, int32_t* result) {
  auto objects = std::make_unique<Objects>(host.runtime());
  ObjectRef root = host.runtime().root();
  ResultCode r = host::CreateObjectQuick(root, &objects->source, IID_FS_SOURCE, arjrt::PID_NATIVE_FS_SOURCE);
  if (!Failed(r)) r = host::CreateObject(objects->source, &objects->io, IID_BLOCK_IO, PID_MEMORY_IO);
  if (!Failed(r)) {
    host::SetPropQWord(objects->io, arjrt::PROP_MEMORY_VIEW_ADDRESS, reinterpret_cast<uintptr_t>(data));
    host::SetPropQWord(objects->io, arjrt::PROP_MEMORY_VIEW_SIZE, size);
    if (!options.name.empty())
      objects->io->system->SetPropBuffer(objects->io, nullptr, PROP_OBJECT_NAME, options.name.c_str(),
                                         static_cast<uint32_t>(options.name.size() + 1));
    r = host::CreateObjectDone(objects->io);
  }
  std::string label = options.name.empty() ? "memory archive" : options.name;
  if (Failed(r)) {
    if (error) *error = label + ": cannot be opened: " + arjrt::ResultName(r);
    if (result) *result = r;
    return nullptr;
  }
  return Open(host, std::move(objects), options, label, error, result);
}

std::unique_ptr<Archive> Archive::Open(Host& host, std::unique_ptr<Objects> objects, const OpenOptions& options,
                                       const std::string& label, std::string* error, int32_t* result) {
  arjrt::Runtime& runtime = host.runtime();
  auto fail = [&](ResultCode r, const std::string& why) -> std::unique_ptr<Archive> {
    if (error) *error = label + ": " + why;
    if (result) *result = r;
    return nullptr;
  };
  const arjrt::Implementation* impl = RecognizingImplementation(runtime, objects->io);
  if (impl == nullptr) return fail(ERR_NOT_RECOGNIZED, "not an ARJ archive");

  std::unique_ptr<Archive> archive(new Archive(host, std::move(objects)));
  Objects& o = *archive->objects_;
  ArchiveState& state = archive->state_;
  runtime.AddMessageHandler(o.source, [&state](const arjrt::Message& m) -> ResultCode {
    if (m.msg_class != MSG_CLASS_ARCHIVE) return ERR_NOT_HANDLED;
    if (m.id == MSG_ARCHIVE_INCOMPLETE) {
      state.incomplete = true;
      return RESULT_OK;
    }
    if (m.id != MSG_VOLUME_DIGEST) return ERR_NOT_HANDLED;
    uint64_t digest = 0;
    if (m.buffer != nullptr && m.length != nullptr && *m.length >= sizeof digest)
      std::memcpy(&digest, m.buffer, sizeof digest);
    state.volumes.push_back(m.context != nullptr ? StringProperty(m.context, PROP_OBJECT_NAME) : "");
    state.volume_digests.push_back(digest);
    return RESULT_OK;
  });

  ResultCode r = host::CreateObject(o.io, &o.archiver, impl->iid, impl->pid);
  if (Failed(r)) return fail(r, std::string("cannot be opened: ") + arjrt::ResultName(r));
  host::SetPropDWord(o.archiver, PROP_SCAN_ALL_VOLUMES, options.scan_all_volumes ? 1 : 0);
  r = host::CreateObjectDone(o.archiver);
  if (Failed(r)) return fail(r, std::string("cannot be opened: ") + arjrt::ResultName(r));
  state.damaged = r == WARN_CORRUPTED;
  state.restricted = host::GetPropDWord(o.archiver, PROP_RESTRICTED) != 0;
  state.multi_volume = state.volumes.size() > 1 || (state.restricted && !state.damaged);
  state.digest = FixedProperty<uint64_t>(o.archiver, PROP_ARCHIVE_DIGEST);
  return archive;
}

std::vector<EntryInfo> Archive::Entries() {
  ObjectRef a = objects_->archiver;
  const MiniArchiverMethods& m = host::Archiver(a);
  std::vector<EntryInfo> entries;
  m.Reset(a);
  uint64_t handle = 0;
  while (m.Next(a, &handle, handle) == RESULT_OK) {
    EntryInfo e;
    e.handle = handle;
    e.name = StringProperty(a, PROP_OBJECT_NAME);
    e.size = FixedProperty<uint64_t>(a, PROP_OBJECT_SIZE);
    e.packed = FixedProperty<uint32_t>(a, PROP_PACKED_SIZE);
    e.method = FixedProperty<uint32_t>(a, PROP_ENTRY_METHOD);
    e.crc = FixedProperty<uint32_t>(a, PROP_OBJECT_CRC);
    e.garbled = FixedProperty<uint32_t>(a, PROP_ENTRY_ENCRYPTED) != 0;
    e.volume = StringProperty(a, PROP_VOLUME_NAME);
    entries.push_back(std::move(e));
  }
  return entries;
}

}  // namespace arjhost
