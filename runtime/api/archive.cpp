#include "runtime/api/archive.h"

#include <sys/stat.h>

#include <cstring>
#include <functional>
#include <utility>

#include "plugin/format/arj_layout.h"
#include "runtime/api/internal/archive_objects.h"
#include "runtime/api/internal/entry_metadata.h"
#include "runtime/api/internal/host_state.h"
#include "runtime/api/internal/record_rebuild.h"
#include "runtime/api/internal/set_commit.h"
#include "runtime/api/internal/volume_names.h"
#include "runtime/api/internal/status_of.h"
#include "runtime/codecs/decoder_messages.h"
#include "runtime/common/crc32.h"
#include "runtime/core/result_names.h"
#include "runtime/core/runtime.h"
#include "runtime/format/header_io.h"
#include "runtime/services/reader_io.h"
#include "runtime/services/services.h"

namespace arjhost {

namespace {

// Each part's size is what its sum over the parts after it leaves, its
// volume the one the plug-in names for its row; a table
// whose sums do not fall part by part, or an archiver that does not take
// the selector (it would answer for another entry), gives no parts to check.
std::vector<EntryInfo::Part> PartsOf(ObjectRef a, uint64_t first, uint64_t end, const EntryInfo& e) {
  if (end <= first + 1) {
    std::vector<EntryInfo::Part> whole = {{e.size, e.crc}};
    whole[0].volume = e.volume;
    return whole;
  }
  std::vector<EntryInfo::Part> parts;
  uint64_t remaining = e.size;
  for (uint64_t h = first; h < end; ++h) {
    if (Failed(host::SetPropQWord(a, PROP_ENTRY_SELECTOR, h + 1))) return {};
    uint64_t after = h + 1 < end ? FixedProperty<uint64_t>(a, PROP_OBJECT_SIZE) : 0;
    if (Failed(host::SetPropQWord(a, PROP_ENTRY_SELECTOR, h))) return {};
    uint32_t crc = FixedProperty<uint32_t>(a, PROP_OBJECT_CRC);
    if (after > remaining) return {};
    parts.push_back({remaining - after, crc});
    // The selector names an entry for one read.
    if (Failed(host::SetPropQWord(a, PROP_ENTRY_SELECTOR, h))) return {};
    parts.back().volume = StringProperty(a, PROP_VOLUME_NAME);
    remaining = after;
  }
  return parts;
}

// The CRC of the parts joined; the first part's when they are not known.
uint32_t WholeFileCrc(const EntryInfo& e) {
  if (e.parts.size() < 2) return e.crc;
  uint32_t crc = e.parts[0].crc;
  for (size_t k = 1; k < e.parts.size(); ++k) crc = arjrt::Crc32Combine(crc, e.parts[k].crc, e.parts[k].size);
  return crc;
}

std::string Count(uint64_t n, const char* unit) { return std::to_string(n) + " " + unit; }

// Why the plug-in refused to open, naming the bound that stopped it.
Status OpenFailure(ResultCode r, const Limits& limits, bool memory_refused, const std::string& label) {
  const std::string prefix = label + ": cannot be opened: ";
  if (memory_refused && r == ERR_NO_MEMORY)
    return Failure(Code::kLimitExceeded,
                   prefix + "its tables need more memory than the limit of " + Count(limits.archive_memory, "bytes"), r);
  if (r == ERR_LIMIT_EXCEEDED) {
    const uint64_t entries = limits.max_entries != 0 ? limits.max_entries : kPluginMaxEntries;
    const uint64_t volumes = limits.max_volumes != 0 ? limits.max_volumes : kPluginMaxVolumes;
    return StatusOf(r, prefix + "more entries or volumes than the limits allow (" + Count(entries, "entries") + ", " +
                           Count(volumes, "volumes") + ")");
  }
  return StatusOf(r, prefix + arjrt::ResultName(r));
}

// A self-extracting archive has its main header behind a stub: the
// plug-in then reads a window over the file from that header on. A file
// that starts with a header id is left as it is, damaged or not: what it
// holds is the plug-in's to judge.
[[nodiscard]] ResultCode AttachWindowPastStub(Archive::Objects& o) {
  uint8_t id[2] = {};
  uint32_t count = 0;
  // The count tells: a read that fails or falls short finds no header id here.
  IgnoreResult(host::Io(o.io).SeekRead(o.io, &count, 0, id, sizeof id));
  if (count == sizeof id && format::LoadWord(id) == format::kArjHeaderId) return RESULT_OK;
  uint64_t offset = 0, size = 0;
  if (arjrt::FindMainHeader(o.io, format::kMainHeaderSearchLimit, &offset) != RESULT_OK || offset == 0)
    return RESULT_OK;
  ResultCode r = host::Io(o.io).GetSize(o.io, &size, 0);
  if (Failed(r)) return r;
  r = host::CreateObject(o.io, &o.window, IID_BLOCK_IO, PID_WINDOW_IO);
  if (Failed(r)) {
    o.window = nullptr;
    return r;
  }
  r = host::SetPropQWord(o.window, PROP_WINDOW_OFFSET, offset);
  if (!Failed(r)) r = host::SetPropQWord(o.window, PROP_WINDOW_SIZE, size - offset);
  if (!Failed(r)) r = host::SetPropObject(o.window, PROP_WINDOW_BASE, o.io);
  if (!Failed(r)) r = host::CreateObjectDone(o.window);
  if (Failed(r)) host::CloseIfOpen(o.window);
  return r;
}

// Why a volume that is there could not be read, in plain words: the
// plug-in's codes say more of a volume than in general.
Status VolumeFailure(ResultCode r) {
  switch (r) {
    case ERR_UNSUPPORTED: return Failure(Code::kNotAnArchive, "not a regular file", r);
    case ERR_CORRUPTED: return Failure(Code::kNotAnArchive, "no ARJ main header at its start", r);
    default: return Failed(r) ? StatusOf(r, arjrt::ResultName(r)) : Failure(Code::kInternal, arjrt::ResultName(r), r);
  }
}

// A name in a message's buffer, up to its NUL or its end.
std::string NameIn(const uint8_t* bytes, uint32_t length) {
  if (length == 0) return "";
  const auto* text = reinterpret_cast<const char*>(bytes);
  return std::string(text, strnlen(text, length));
}

// What the plug-in tells the host about the archive as it opens it: the
// state, each volume's I/O for the reading of its main header, and the
// local headers its scan read.
[[nodiscard]] ResultCode TakeArchiveMessage(const arjrt::Message& m, ArchiveState* state, VolumeWalk* walk,
                                            EntryHeaders* headers) {
  if (m.msg_class != MSG_CLASS_ARCHIVE) return ERR_NOT_HANDLED;
  const auto* bytes = static_cast<const uint8_t*>(m.buffer);
  const uint32_t length = m.buffer != nullptr && m.length != nullptr ? *m.length : 0;
  switch (m.id) {
    case MSG_ARCHIVE_INCOMPLETE:
      state->incomplete = true;
      state->missing_volume = NameIn(bytes, length);
      return RESULT_OK;
    case MSG_VOLUME_UNREADABLE:
      if (length < 4) return ERR_BAD_PARAMETER;
      state->unreadable_volumes.push_back(
          {NameIn(bytes + 4, length - 4), VolumeFailure(static_cast<ResultCode>(format::LoadDWord(bytes)))});
      return RESULT_OK;
    case MSG_VOLUME_DIGEST: {
      uint64_t digest = 0;
      if (length >= sizeof digest) std::memcpy(&digest, bytes, sizeof digest);
      state->volumes.push_back(VolumeNameOf(m.context));
      state->volume_digests.push_back(digest);
      if (m.context != nullptr) walk->Add(state->volumes.back(), m.context);
      return RESULT_OK;
    }
    case MSG_ENTRY_HEADER:
      return headers->Take(m.context, bytes, length) ? RESULT_OK : ERR_BAD_PARAMETER;
    default:
      return ERR_NOT_HANDLED;
  }
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

ResultCode OpenNativeFileForReading(ObjectRef parent, const std::string& path, ObjectRef* io) {
  *io = nullptr;
  ObjectRef file = nullptr;
  ResultCode r = host::CreateObject(parent, &file, IID_BLOCK_IO, PID_NATIVE_FILE_IO);
  if (Failed(r)) return r;
  r = host::SetPropBuffer(file, PROP_OBJECT_PATH, path.c_str(), static_cast<uint32_t>(path.size() + 1));
  if (!Failed(r)) r = host::SetPropDWord(file, PROP_ACCESS_MODE, ACCESS_READ);
  if (!Failed(r)) r = host::SetPropDWord(file, PROP_OPEN_MODE, OPEN_EXISTING);
  if (!Failed(r)) r = host::CreateObjectDone(file);
  if (Failed(r)) {
    host::CloseIfOpen(file);
    return r;
  }
  *io = file;
  return r;
}

namespace {

// A source whose file systems open the other volumes through `opener`.
[[nodiscard]] ResultCode CreateOpenerSource(Archive::Objects& o, const arjrt::VolumeOpener& opener) {
  ResultCode r = host::CreateObject(o.runtime.root(), &o.source, IID_FS_SOURCE, arjrt::PID_OPENER_FS_SOURCE);
  if (Failed(r)) {
    o.source = nullptr;
    return r;
  }
  r = host::SetPropQWord(o.source, arjrt::PROP_VOLUME_OPENER, reinterpret_cast<uintptr_t>(&opener));
  if (!Failed(r)) r = host::CreateObjectDone(o.source);
  return r;
}

// How an archive file is read.
enum class FileReading {
  kAsItIs,
  kRecovered,  // each volume without its damaged ranges
  kRebuilt,    // the same, once each volume's ARJ-PROTECT record rebuilt what it can
};

// The archive file's objects, up to its I/O (past a stub).
ResultCode OpenFileObjects(Archive::Objects& o, const std::string& path, FileReading reading) {
  // Under recovery the other volumes are opened as files beside it too,
  // each read as the archive's own file is.
  arjrt::VolumeOpener siblings = SiblingFileOpener(o.runtime.root(), path);
  if (reading == FileReading::kRebuilt) siblings = RebuildingOpener(std::move(siblings), &o.volume_rebuilds);
  ResultCode r = reading != FileReading::kAsItIs
                     ? CreateOpenerSource(o, RecoveringOpener(std::move(siblings), &o.volume_skips))
                     : host::CreateObjectQuick(o.runtime.root(), &o.source, IID_FS_SOURCE, arjrt::PID_NATIVE_FS_SOURCE);
  if (!Failed(r)) r = OpenNativeFileForReading(o.source, path, &o.io);
  if (!Failed(r) && reading == FileReading::kRebuilt) r = ReadOwnVolumeRebuilt(o);
  if (!Failed(r)) r = AttachWindowPastStub(o);
  return r;
}

// Why the file could not be opened: a folder is named as one (the I/O
// takes only regular files, and "unsupported" would not say why).
Status FileOpenFailure(const std::string& path, ResultCode r) {
  struct stat st;
  if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
    return Failure(Code::kBadArgument, path + ": cannot be opened: is a directory", r);
  return StatusOf(r, path + ": cannot be opened: " + arjrt::ResultName(r));
}

}  // namespace

bool Archive::Recognizes(Host& host, const std::string& path) {
  Objects objects(HostAccess::RuntimeOf(host));
  return !Failed(OpenFileObjects(objects, path, FileReading::kAsItIs)) &&
         RecognizingImplementation(HostAccess::RuntimeOf(host), objects.archive_io()) != nullptr;
}

OpenResult Archive::OpenFile(Host& host, const std::string& path, const OpenOptions& options) {
  return OpenFileAs(host, path, options, true);
}

OpenResult Archive::OpenFileAs(Host& host, const std::string& path, const OpenOptions& options, bool rebuild) {
  // A set is read whole, old or new: never as a crash left its commit.
  if (Status finished = FinishInterruptedCommit(path); !finished.ok()) return {finished, nullptr};
  auto objects = std::make_unique<Objects>(HostAccess::RuntimeOf(host));
  objects->path = path;
  objects->opened_stamp = StampOfFile(path);
  const FileReading reading = !options.recover ? FileReading::kAsItIs
                              : rebuild        ? FileReading::kRebuilt
                                               : FileReading::kRecovered;
  if (const ResultCode r = OpenFileObjects(*objects, path, reading); Failed(r))
    return {FileOpenFailure(path, r), nullptr};
  OpenResult opened = Open(host, std::move(objects), options, path);
  if (opened.ok()) {
    Objects& o = *opened.archive->objects_;
    o.guarded.emplace_back(path, o.opened_stamp);
    for (const std::string& volume : opened.archive->state_.volumes) {
      const std::string file = VolumeFile(path, volume);
      if (file != path) o.guarded.emplace_back(file, StampOfFile(file));
    }
  }
  return opened;
}

OpenResult Archive::OpenForWriting(Host& host, const std::string& path, const OpenOptions& options) {
  std::unique_ptr<WriterLock> lock;
  if (Status taken = WriterLock::Take(path, &lock); !taken.ok()) return {taken, nullptr};
  struct stat st;
  if (!options.start_empty && (::lstat(path.c_str(), &st) == 0 || errno != ENOENT)) {
    // What is rewritten is what the file holds: under recovery its damage
    // is cut out, not rebuilt from an ARJ-PROTECT record.
    OpenResult opened = OpenFileAs(host, path, options, false);
    if (opened.ok()) opened.archive->objects_->lock = std::move(lock);
    return opened;
  }
  // None: an empty one, named as the new file.
  const size_t slash = path.find_last_of('/');
  std::vector<uint8_t> empty = EmptyArchiveBytes(slash == std::string::npos ? path : path.substr(slash + 1));
  OpenOptions memory = options;
  memory.scan_all_volumes = false;
  memory.name = path;
  OpenResult opened = OpenMemory(host, empty.data(), empty.size(), memory);
  if (opened.ok()) {
    opened.archive->objects_->lock = std::move(lock);
    opened.archive->objects_->empty_start = std::move(empty);  // the same buffer: a vector's move keeps it
    opened.archive->objects_->created_path = path;
    if (options.start_empty) opened.archive->objects_->created_over = StampOfFile(path);
  }
  return opened;
}

bool Archive::created() const { return !objects_->empty_start.empty(); }

namespace {

arjrt::ByteReader ByteReaderOf(const ArchiveReader& reader) {
  return {[read = reader.read_at](uint64_t offset, void* buffer, uint32_t size) { return read(offset, buffer, size); },
          reader.size};
}

// The source above an archive that is not a file: one that opens the
// other volumes of its set through the embedder's opener, when it gave one
// (each recovered by itself under recovery).
[[nodiscard]] ResultCode CreateSource(Archive::Objects& o, const OpenOptions& options) {
  if (!options.open_volume)
    return host::CreateObjectQuick(o.runtime.root(), &o.source, IID_FS_SOURCE, arjrt::PID_NATIVE_FS_SOURCE);
  arjrt::VolumeOpener opener = [open = options.open_volume](const std::string& name,
                                                            arjrt::ByteReader* volume) -> ResultCode {
    ArchiveReader reader;
    switch (open(name, &reader)) {
      case VolumeLookup::kOpened:
        if (!reader.read_at) return ERR_BAD_PARAMETER;
        *volume = ByteReaderOf(reader);
        return RESULT_OK;
      case VolumeLookup::kMissing:
        return ERR_NOT_FOUND;
      default:
        return ERR_IO;
    }
  };
  if (options.recover) opener = RecoveringOpener(std::move(opener), &o.volume_skips);
  return CreateOpenerSource(o, opener);
}

// The archive's I/O of `pid` under a source, named `options.name`, its own
// properties set by `configure`.
std::unique_ptr<Archive::Objects> OpenOwnIo(Host& host, const OpenOptions& options, uint32_t pid,
                                            const std::function<ResultCode(ObjectRef io)>& configure,
                                            ResultCode* result) {
  auto objects = std::make_unique<Archive::Objects>(HostAccess::RuntimeOf(host));
  ResultCode r = CreateSource(*objects, options);
  if (!Failed(r)) r = host::CreateObject(objects->source, &objects->io, IID_BLOCK_IO, pid);
  if (!Failed(r)) {
    // The I/O is the source's child: a failure here closes it with the source.
    r = configure(objects->io);
    if (!Failed(r) && !options.name.empty())
      r = host::SetPropBuffer(objects->io, PROP_OBJECT_NAME, options.name.c_str(),
                              static_cast<uint32_t>(options.name.size() + 1));
    if (!Failed(r)) r = host::CreateObjectDone(objects->io);
  }
  *result = r;
  return objects;
}

}  // namespace

OpenResult Archive::OpenMemory(Host& host, const void* data, size_t size, const OpenOptions& options) {
  ResultCode made = RESULT_OK;
  auto objects = OpenOwnIo(host, options, PID_MEMORY_IO, [data, size](ObjectRef io) {
    ResultCode r = host::SetPropQWord(io, arjrt::PROP_MEMORY_VIEW_ADDRESS, reinterpret_cast<uintptr_t>(data));
    if (!Failed(r)) r = host::SetPropQWord(io, arjrt::PROP_MEMORY_VIEW_SIZE, size);
    return r;
  }, &made);
  return OpenMade(host, std::move(objects), StatusOf(made, arjrt::ResultName(made)), options);
}

OpenResult Archive::OpenReader(Host& host, const ArchiveReader& reader, const OpenOptions& options) {
  ResultCode made = RESULT_OK;
  auto objects = OpenOwnIo(host, options, arjrt::PID_READER_IO, [&reader](ObjectRef io) {
    if (!reader.read_at) return ERR_BAD_PARAMETER;
    const arjrt::ByteReader bytes = ByteReaderOf(reader);
    return host::SetPropQWord(io, arjrt::PROP_BYTE_READER, reinterpret_cast<uintptr_t>(&bytes));
  }, &made);
  return OpenMade(host, std::move(objects), StatusOf(made, reader.read_at ? arjrt::ResultName(made) : "no reader given"),
                  options);
}

OpenResult Archive::OpenMade(Host& host, std::unique_ptr<Objects> objects, const Status& made,
                             const OpenOptions& options) {
  const std::string label = options.name.empty() ? "memory archive" : options.name;
  if (!made.ok()) {
    Status failed = made;
    failed.message = label + ": cannot be opened: " + made.message;
    return {failed, nullptr};
  }
  return Open(host, std::move(objects), options, label);
}

OpenResult Archive::Open(Host& host, std::unique_ptr<Objects> objects, const OpenOptions& options,
                         const std::string& label) {
  arjrt::Runtime& runtime = HostAccess::RuntimeOf(host);
  if (options.recover) {
    ResultCode r = AttachRecoveryJoin(*objects);
    if (Failed(r)) return {StatusOf(r, label + ": cannot be recovered: " + arjrt::DescribeResult(r)), nullptr};
  }
  const arjrt::Implementation* impl = RecognizingImplementation(runtime, objects->archive_io());
  if (impl == nullptr) return {StatusOf(ERR_NOT_RECOGNIZED, label + ": not an ARJ archive"), nullptr};

  std::unique_ptr<Archive> archive(new Archive(host, std::move(objects)));
  Objects& o = *archive->objects_;
  ArchiveState& state = archive->state_;
  o.recovered = options.recover;
  runtime.AddMessageHandler(o.source, [&state, &o](const arjrt::Message& m) {
    return TakeArchiveMessage(m, &state, &o.volume_walk, &o.entry_headers);
  });

  runtime.AddMessageHandler(o.source, [&o](const arjrt::Message& m) -> ResultCode {
    if (m.msg_class != arjrt::kMsgClassDecoder || m.id != arjrt::kMsgUnusedPackedData) return ERR_NOT_HANDLED;
    if (m.buffer != nullptr && m.length != nullptr && *m.length == sizeof o.unused_packed)
      std::memcpy(&o.unused_packed, m.buffer, sizeof o.unused_packed);
    return RESULT_OK;
  });

  const uint64_t refusals = runtime.memory_refusals();
  ResultCode r = host::CreateObject(o.archive_io(), &o.archiver, impl->iid, impl->pid);
  // An archiver that did not take the volume choice would read other
  // volumes than asked for; it closes with its I/O on failure.
  if (!Failed(r)) r = host::SetPropDWord(o.archiver, PROP_SCAN_ALL_VOLUMES, options.scan_all_volumes ? 1 : 0);
  if (!Failed(r)) r = host::CreateObjectDone(o.archiver);
  if (Failed(r)) return {OpenFailure(r, host.limits(), runtime.memory_refusals() != refusals, label), nullptr};
  const std::string own = VolumeNameOf(o.archive_io());
  state.skipped = InVolumeOrder(o.volume_skips, state.volumes, own);
  state.record_rebuilds = InVolumeOrder(o.volume_rebuilds, state.volumes, own);
  state.damaged = r == WARN_CORRUPTED || !state.skipped.empty();
  state.restricted = host::GetPropDWord(o.archiver, PROP_RESTRICTED) != 0;
  state.multi_volume = state.volumes.size() > 1 || (state.restricted && !state.damaged);
  // The plug-in's digest covers the volume it was handed, as it read that
  // volume before looking for the others; the first volume's digest is the
  // set's, whichever volume was named.
  state.digest = state.volume_digests.empty() ? FixedProperty<uint64_t>(o.archiver, PROP_ARCHIVE_DIGEST)
                                              : state.volume_digests.front();
  // Without a digest naming the volumes, the archive's own is the one read.
  if (o.volume_walk.empty()) o.volume_walk.Add("", o.archive_io());
  bool first = true;
  o.volume_walk.ReadMainHeaders([&state, &first](const std::string& volume, const format::HeaderFields* main) {
    if (main == nullptr || !main->crc_matches) state.damaged_main_headers.push_back(volume);
    if (main != nullptr && format::Has(main->flags, format::MainFlag::kSecured)) state.secured = true;
    // The first volume speaks for the set: arj repeats the comment and the
    // chapter in every volume.
    if (main != nullptr && std::exchange(first, false)) {
      state.protected_data = format::Has(main->flags, format::MainFlag::kProtected);
      state.chapter = main->last_chapter;
      state.comment = main->comment;
      const size_t around = main->basic_size - std::min<size_t>(main->basic_size, main->comment.size());
      state.comment_room = format::kMaxBasicHeaderSize - std::min<size_t>(format::kMaxBasicHeaderSize, around);
    }
  });
  return {Status{}, std::move(archive)};
}

const EntryInfo* FindEntry(const std::vector<EntryInfo>& entries, EntryHandle handle) {
  // Entries come in the plug-in's order, which is the handles' order.
  const auto at = std::lower_bound(entries.begin(), entries.end(), handle,
                                   [](const EntryInfo& e, EntryHandle h) { return e.handle < h; });
  return at != entries.end() && at->handle == handle ? &*at : nullptr;
}

std::vector<EntryInfo> Archive::Entries() {
  // A writer's archive is read under its lock, by several checks in turn:
  // its headers are walked once. Others are listed anew, and once (a
  // million entries are not kept twice).
  if (objects_->lock == nullptr) return ReadEntries();
  std::lock_guard<std::mutex> hold(objects_->entries_mutex);
  if (!objects_->entries) objects_->entries = ReadEntries();
  return *objects_->entries;
}

void Archive::ForEachEntry(const std::function<bool(const EntryInfo&)>& visit) {
  // A writer's archive keeps its entries, read under its lock (Entries).
  if (objects_->lock != nullptr) {
    for (const EntryInfo& e : Entries())
      if (!visit(e)) return;
    return;
  }
  WalkEntries(visit);
}

std::vector<EntryInfo> Archive::ReadEntries() {
  ObjectRef a = objects_->archiver;
  const MiniArchiverMethods& m = host::Archiver(a);
  // Counted first, so that a list of a million entries is not grown by
  // doubling (Next alone is cheap).
  uint64_t handle = 0;
  size_t count = 0;
  // Next from handle 0 starts over whatever Reset answers: Reset only
  // rewinds the current entry, which Next sets again.
  for (IgnoreResult(m.Reset(a)); m.Next(a, &handle, handle) == RESULT_OK;) ++count;
  std::vector<EntryInfo> entries;
  entries.reserve(count);
  WalkEntries([&entries](const EntryInfo& e) {
    entries.push_back(e);
    return true;
  });
  return entries;
}

void Archive::WalkEntries(const std::function<bool(const EntryInfo&)>& visit) {
  ObjectRef a = objects_->archiver;
  const MiniArchiverMethods& m = host::Archiver(a);
  const auto row_name = [a](uint64_t row) {
    // PartsOf has had the selector take every part's row.
    IgnoreResult(host::SetPropQWord(a, PROP_ENTRY_SELECTOR, row + 1));
    return StringProperty(a, PROP_OBJECT_NAME);
  };
  // An entry's parts run up to the next entry's handle (after the last,
  // up to the table's size + 1, which the final Next stores): each entry
  // is finished once the next one is found, so only one is held.
  EntryInfo pending;
  bool has_pending = false;
  const auto finish = [&](uint64_t end) {
    pending.parts = PartsOf(a, pending.handle.value(), end, pending);
    FillEntryHeaders(pending, objects_->entry_headers, row_name);
    pending.crc = WholeFileCrc(pending);
    return visit(pending);
  };
  uint64_t handle = 0;
  // Next from handle 0 starts over whatever Reset answers.
  IgnoreResult(m.Reset(a));
  while (m.Next(a, &handle, handle) == RESULT_OK) {
    if (has_pending && !finish(handle)) return;
    // The selector names a row for one read: these are the current entry's.
    pending = EntryInfo{};
    pending.handle = EntryHandle(handle);
    pending.name = StringProperty(a, PROP_OBJECT_NAME);
    pending.name_whole = pending.name.size() < format::kStoredNameChars;
    pending.size = FixedProperty<uint64_t>(a, PROP_OBJECT_SIZE);
    pending.packed = FixedProperty<uint32_t>(a, PROP_PACKED_SIZE);
    // A header's method is a byte: the property holds no more.
    pending.method = format::MethodOf(static_cast<uint8_t>(FixedProperty<uint32_t>(a, PROP_ENTRY_METHOD)));
    pending.crc = FixedProperty<uint32_t>(a, PROP_OBJECT_CRC);
    pending.garbled = FixedProperty<uint32_t>(a, PROP_ENTRY_ENCRYPTED) != 0;
    pending.volume = StringProperty(a, PROP_VOLUME_NAME);
    has_pending = true;
  }
  if (has_pending) finish(handle);
}

}  // namespace arjhost
