#include "runtime/api/archive.h"

#include "runtime/api/archive_objects.h"

#include <cstring>

#include "runtime/core/result_names.h"
#include "runtime/core/runtime.h"
#include "runtime/services/services.h"

namespace arjhost {


namespace {

constexpr uint32_t kAccessRead = 1;
constexpr uint32_t kOpenExisting = 1;

// Each part's size is what its sum over the parts after it leaves; a table
// whose sums do not fall part by part gives no parts to check.
std::vector<EntryInfo::Part> PartsOf(ObjectRef a, uint64_t first, uint64_t end, const EntryInfo& e) {
  if (end <= first + 1) return {{e.size, e.crc}};
  std::vector<EntryInfo::Part> parts;
  uint64_t remaining = e.size;
  for (uint64_t h = first; h < end; ++h) {
    host::SetPropQWord(a, PROP_ENTRY_SELECTOR, h + 1);
    uint64_t after = h + 1 < end ? FixedProperty<uint64_t>(a, PROP_OBJECT_SIZE) : 0;
    host::SetPropQWord(a, PROP_ENTRY_SELECTOR, h);
    uint32_t crc = FixedProperty<uint32_t>(a, PROP_OBJECT_CRC);
    if (after > remaining) return {};
    parts.push_back({remaining - after, crc});
    remaining = after;
  }
  return parts;
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
  // The final Next stored the table's size + 1: the parts of the last entry
  // run up to it, those of every other up to the next entry's handle.
  const uint64_t table_end = handle;
  for (size_t i = 0; i < entries.size(); ++i) {
    const uint64_t first = entries[i].handle;
    const uint64_t end = i + 1 < entries.size() ? entries[i + 1].handle : table_end;
    entries[i].parts = PartsOf(a, first, end, entries[i]);
  }
  return entries;
}

}  // namespace arjhost
