// Archive::Rebuild: the change list, the destination I/O, the plug-in's
// Rebuild, and the checks before the new archive takes the old one's place;
// and the removal of an archive a rewrite would leave without entries.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <map>
#include <utility>

#include "runtime/api/archive.h"
#include "runtime/api/internal/archive_objects.h"
#include "runtime/api/internal/chapter_pass.h"
#include "runtime/api/internal/file_stamp.h"
#include "runtime/api/internal/protected_file.h"
#include "runtime/api/internal/rewrite_checks.h"
#include "runtime/api/internal/status_of.h"
#include "runtime/api/internal/stub_copy.h"
#include "runtime/api/internal/temp_beside.h"
#include "runtime/api/internal/unix_special.h"
#include "runtime/api/internal/volume_names.h"
#include "runtime/api/internal/volume_set_output.h"
#include "runtime/api/internal/volume_split.h"
#include "runtime/api/internal/written_order.h"
#include "runtime/api/writer_lock.h"
#include "runtime/codecs/parallel/encode_ahead.h"
#include "runtime/core/result_names.h"
#include "runtime/services/change_list.h"
#include "runtime/services/content_file_io.h"
#include "runtime/services/listed_file.h"
#include "runtime/services/native_path.h"
#include "runtime/services/pending_files.h"
#include "runtime/services/services.h"

namespace arjhost {
namespace {

constexpr uint64_t kMaxContentSize = 0xFFFFFFFFull;  // ARJ size fields hold 32 bits

// Closes an object on every path out of a scope.
struct Owned {
  ObjectRef object = nullptr;
  ~Owned() { host::CloseIfOpen(object); }
};

[[nodiscard]] ResultCode SetString(ObjectRef o, PropId id, const std::string& value) {
  return host::SetPropBuffer(o, id, value.c_str(), static_cast<uint32_t>(value.size() + 1));
}

// What stands at the path of content without data: present, and of its
// kind (a link target within bounds).
Status CheckContentWithoutData(const NewContent& c) {
  struct stat st;
  if (::lstat(c.path.c_str(), &st) != 0) {
    const int error = errno;  // before the message is made
    return ErrnoStatus(error, c.path + ": cannot be read");
  }
  if (c.kind == ContentKind::kFolder && !S_ISDIR(st.st_mode)) return Failure(Code::kBadArgument, c.path + ": not a folder");
  const bool link = c.kind == ContentKind::kSymbolicLink || c.kind == ContentKind::kHardLink;
  if (link && (c.link_target.empty() || c.link_target.size() > kMaxLinkTargetLength ||
               c.link_target.find('\0') != std::string::npos))
    return Failure(Code::kBadArgument, c.path + ": its link target is empty or longer than " +
                                           std::to_string(kMaxLinkTargetLength) + " bytes");
  return {};
}

arjrt::ListedFile ListedOf(const NewContent& c) { return {c.path, c.file_device, c.file_inode, c.follow_link}; }

// A file that can be content: present, regular, readable, small enough,
// and the one listed. The file found is the one read later: its identity
// is kept in `c` when the caller did not give it.
Status CheckContentFile(NewContent& c) {
  if (c.kind != ContentKind::kFile) return CheckContentWithoutData(c);
  const std::string& path = c.path;
  const arjrt::ListedFile listed = ListedOf(c);
  struct stat st;
  if (const int e = arjrt::LookAtListedFile(listed, &st); e != 0)
    return ErrnoStatus(e, path + ": cannot be read");
  if (listed.known() && !arjrt::IsListedFile(listed, st))
    return StatusOf(ERR_CONTENT_REPLACED, path + ": " + arjrt::ResultName(ERR_CONTENT_REPLACED));
  if (!S_ISREG(st.st_mode)) return Failure(Code::kBadArgument, path + ": not a regular file");
  if (static_cast<uint64_t>(st.st_size) > kMaxContentSize)
    return Failure(Code::kUnsupported, path + ": too large for an ARJ entry (4 GiB or more)");
  if (::access(path.c_str(), R_OK) != 0) {
    const int error = errno;
    return ErrnoStatus(error, path + ": cannot be read");
  }
  c.file_device = static_cast<uint64_t>(st.st_dev);
  c.file_inode = static_cast<uint64_t>(st.st_ino);
  return {};
}

// The content files the rebuild has opened so far.
struct OpenedFiles {
  std::string last;  // so that a failure can name it
  size_t count = 0;
  size_t total = 0;
  const RebuildProgress* progress = nullptr;
};

// Content without data takes the mode and time of what is at its path,
// not of what a link there points to.
[[nodiscard]] ResultCode SetNoDataProperties(ObjectRef io, const NewContent& content) {
  struct stat st;
  ResultCode r = RESULT_OK;
  if (!content.given_attributes && ::lstat(content.path.c_str(), &st) == 0) {
    r = host::SetPropDWord(io, PROP_FILE_MODE, static_cast<uint32_t>(st.st_mode));
    if (!Failed(r)) r = host::SetPropQWord(io, PROP_MODIFIED_TIME, static_cast<uint64_t>(st.st_mtime));
  }
  const std::string body = UnixSpecialBody(content);
  if (!Failed(r) && !body.empty())
    r = host::SetPropBuffer(io, PROP_UNIX_SPECIAL, body.data(), static_cast<uint32_t>(body.size()));
  return r;
}

// A file is read only if it is still the one listed.
[[nodiscard]] ResultCode SetListedProperties(ObjectRef io, const NewContent& content) {
  const uint64_t identity[2] = {content.file_device, content.file_inode};
  ResultCode r = host::SetPropBuffer(io, arjrt::PROP_CONTENT_IDENTITY, identity, sizeof identity);
  if (!Failed(r)) r = host::SetPropDWord(io, arjrt::PROP_CONTENT_FOLLOW_LINK, content.follow_link ? 1 : 0);
  return r;
}

// A file's content (or a folder) stored with the mode and time the
// embedder gave it.
[[nodiscard]] ResultCode SetGivenAttributes(ObjectRef io, const NewContent& content) {
  const uint32_t type = content.kind == ContentKind::kFolder ? S_IFDIR : S_IFREG;
  ResultCode r = host::SetPropDWord(io, PROP_FILE_MODE, type | (content.mode & 07777u));
  if (!Failed(r)) r = host::SetPropQWord(io, PROP_MODIFIED_TIME, static_cast<uint64_t>(content.modified_time));
  return r;
}

// Opens the content as a child of the list, counting it in `opened`.
arjrt::ContentOpener OpenerFor(const NewContent& content, bool with_name, OpenedFiles* opened) {
  return [content, with_name, opened](ObjectRef list, ObjectRef* out) -> ResultCode {
    opened->last = content.path;
    ++opened->count;
    if (*opened->progress) (*opened->progress)(opened->count, opened->total, content.path);
    ObjectRef io = nullptr;
    ResultCode r = host::CreateObject(list, &io, IID_BLOCK_IO, arjrt::PID_CONTENT_FILE_IO);
    if (Failed(r)) return r;
    // Content that did not take its path, name or method would be stored
    // as something else than asked for.
    r = SetString(io, PROP_OBJECT_PATH, content.path);
    if (!Failed(r) && with_name) r = SetString(io, PROP_OBJECT_NAME, content.stored_name);
    if (!Failed(r) && content.method >= 0)
      r = host::SetPropDWord(io, PROP_ENTRY_METHOD, static_cast<uint32_t>(content.method));
    if (!Failed(r) && content.kind == ContentKind::kFile) r = SetListedProperties(io, content);
    if (!Failed(r) && content.given_attributes) r = SetGivenAttributes(io, content);
    if (!Failed(r) && content.kind != ContentKind::kFile) r = SetNoDataProperties(io, content);
    if (!Failed(r)) r = host::CreateObjectDone(io);
    if (Failed(r)) {
      host::CloseIfOpen(io);
      return r;
    }
    *out = io;
    return RESULT_OK;
  };
}

// The files the plug-in will encode, in the order it writes them (replaced
// entries in archive order, then the added), each with the method it will
// take: the given one, else the entry's own, else that of the archive's
// first entry, which added entries copy.
std::vector<arjrt::AheadFile> FilesToPackAhead(const ChangeSet& changes, const std::vector<EntryInfo>& entries) {
  std::vector<arjrt::AheadFile> files;
  auto list = [&](const NewContent& c, uint32_t otherwise) {
    if (c.kind != ContentKind::kFile) return;  // folders and links hold no data to pack
    arjrt::AheadFile f;
    if (arjrt::ListAheadFile(ListedOf(c), c.method >= 0 ? static_cast<uint32_t>(c.method) : otherwise, &f))
      files.push_back(std::move(f));
  };
  for (const auto& [handle, content] : changes.replaced)
    if (const EntryInfo* e = FindEntry(entries, handle)) list(content, format::Byte(e->method));
  for (const NewContent& c : changes.added)
    list(c, format::Byte(entries.empty() ? format::Method::kBest : entries.front().method));
  return files;
}

// In words: the system's own for what a file refused (`os_error`, when
// known), ours for the rest.
std::string Describe(ResultCode r, uint32_t os_error = 0) {
  if (r == ERR_LIMIT_EXCEEDED) return "too large for an ARJ archive (4 GiB or more)";
  if (r == ERR_UNSUPPORTED) return "cannot be rewritten (several volumes, split entries, or an unsupported method)";
  if ((r == ERR_IO || r == ERR_ACCESS_DENIED) && os_error != 0) return std::strerror(static_cast<int>(os_error));
  return arjrt::ResultName(r);
}

// A fault of one new file, named with it rather than as the archive's.
bool IsContentFault(ResultCode r) {
  return r == ERR_CONTENT_CHANGED || r == ERR_CONTENT_GREW || r == ERR_CONTENT_SHRANK || r == ERR_CONTENT_REPLACED;
}

// Collects MSG_DAMAGED_ENTRY_COPIED for the archive's life (the handler
// goes with its source object).
void WatchDamagedCopies(Archive::Objects& o) {
  if (std::exchange(o.watching_copies, true)) return;
  o.runtime.AddMessageHandler(o.source, [&o](const arjrt::Message& m) -> ResultCode {
    if (m.msg_class != MSG_CLASS_ARCHIVE || m.id != MSG_DAMAGED_ENTRY_COPIED) return ERR_NOT_HANDLED;
    uint64_t number = 0;
    if (m.buffer == nullptr || m.length == nullptr || *m.length != sizeof number) return ERR_BAD_PARAMETER;
    const uint8_t* bytes = static_cast<const uint8_t*>(m.buffer);
    for (size_t i = 0; i < sizeof number; ++i) number |= uint64_t{bytes[i]} << (8 * i);
    o.damaged_copies.push_back(EntryHandle(number));
    return RESULT_OK;
  });
}

// Names the temporary file for RebuildBytesWritten while the rebuild runs.
class WatchedTemp {
 public:
  WatchedTemp(Archive::Objects& o, const std::string& path) : o_(o) { Set(path); }
  ~WatchedTemp() { Set({}); }
  WatchedTemp(const WatchedTemp&) = delete;
  WatchedTemp& operator=(const WatchedTemp&) = delete;

 private:
  void Set(const std::string& path) {
    std::lock_guard<std::mutex> lock(o_.rebuild_mutex);
    o_.rebuild_temp = path;
  }
  Archive::Objects& o_;
};

// Whether the archive written to `path` opens and lists `expected`, in
// order, and, when `options` ask for it, every entry passes its test.
Status CheckListed(Host& host, const std::string& path, const std::vector<std::string>& expected,
                   const std::string& destination, const RebuildOptions& options) {
  OpenOptions opening;
  opening.scan_all_volumes = false;
  OpenResult check = Archive::OpenFile(host, path, opening);
  if (!check.ok()) {
    check.status.message = destination + ": not written: the new archive does not reopen: " + check.status.message;
    return check.status;
  }
  const std::vector<EntryInfo> listed = check.archive->Entries();
  bool same = !check.archive->state().damaged && listed.size() == expected.size();
  for (size_t i = 0; same && i < listed.size(); ++i) same = listed[i].name == expected[i];
  if (!same)
    return Failure(Code::kInternal, destination + ": not written: the new archive does not list the expected entries");
  if (options.test_entries)
    if (Status tested = TestEveryEntry(*check.archive, listed, options.passwords); !tested.ok()) {
      tested.message = destination + ": not written: the new archive fails its test: " + tested.message;
      return tested;
    }
  return {};
}

// The ranges of the rebuild's entries (the kept ones, then the added) in
// the chapter after `chapter`: a kept entry keeps its range, one carried
// goes on into the new chapter, an added one is of the new chapter alone.
format::ChapterPlan ChapterPlanOf(const std::vector<EntryInfo>& old_entries, const ChangeSet& changes,
                                  uint8_t chapter) {
  format::ChapterPlan plan;
  plan.chapter = static_cast<uint8_t>(chapter + 1);
  for (const EntryInfo& e : old_entries) {
    if (changes.dropped.count(e.handle)) continue;
    const bool carried = changes.carried.count(e.handle) != 0;
    plan.entries.push_back({e.name, e.first_chapter, carried ? plan.chapter : e.last_chapter, false});
  }
  for (const NewContent& c : changes.added) plan.entries.push_back({c.stored_name, plan.chapter, plan.chapter, true});
  return plan;
}

// A change names a handle the archive has not.
Status NoEntry(EntryHandle handle) {
  return Failure(Code::kBadArgument, "no entry " + ToString(handle), ERR_BAD_PARAMETER);
}

// Each comment asked for fits its header, and names an entry that is there.
Status CheckComments(const ChangeSet& changes, const std::vector<EntryInfo>& entries, size_t archive_room) {
  const auto too_long = [](const std::string& whose, size_t length) {
    return Failure(Code::kRefused, whose + ": the comment (" + std::to_string(length) +
                                           " bytes) does not fit an ARJ header with its name (at most " +
                                           std::to_string(format::kMaxBasicHeaderSize) +
                                           " bytes together), or holds a NUL");
  };
  if (const auto& c = changes.archive_comment; c && (c->size() > archive_room || c->find('\0') != std::string::npos))
    return too_long("the archive", c->size());
  for (const auto& [handle, comment] : changes.comments) {
    const EntryInfo* e = FindEntry(entries, handle);
    if (e == nullptr) return NoEntry(handle);
    if (!CommentFits(e->name, comment)) return too_long(e->name, comment.size());
  }
  for (const NewContent& c : changes.added)
    if (c.comment && !CommentFits(c.stored_name, *c.comment)) return too_long(c.stored_name, c.comment->size());
  return {};
}

// Whether `password` (when one is given) garbles the new entries of the
// archive `name`: within bounds, and opening its garbled ones.
// The old parts of the split file `e` of the set named `name`, in order,
// for the new set to copy where they fit.
Status OldPartsOf(const EntryInfo& e, const std::string& name, Repack* r) {
  uint64_t position = 0;
  for (const EntryInfo::Part& part : e.parts) {
    if (!part.header_known)
      return Failure(Code::kDamaged, name + ": not written: " + e.name + ": a part's header cannot be read");
    r->parts.push_back({VolumeFile(name, part.volume), part.header_offset, position, part.size});
    position += part.size;
  }
  return {};
}

// What writing a set at `first` takes from the rebuild's options; the
// archive it is split from is the caller's to give.
VolumeSetRequest SetRequest(const std::string& first, uint64_t volume_size, const std::vector<std::string>& own,
                            bool first_replaces, const RebuildOptions& options) {
  VolumeSetRequest request;
  request.first = first;
  request.volume_size = volume_size;
  request.old_volumes = own;
  request.first_replaces = first_replaces;
  request.test_entries = options.test_entries;
  request.passwords = options.passwords;
  request.garble_password = options.garble_password;
  return request;
}

Status CheckPasswordFor(Archive& archive, const std::string& name, const std::string& password) {
  if (password.size() > kMaxGarblePasswordLength)
    return Failure(Code::kBadArgument, "the password is longer than " + std::to_string(kMaxGarblePasswordLength) +
                                           " bytes");
  if (password.empty()) return {};
  Status wrong = archive.CheckGarblePassword(password);
  if (!wrong.ok()) wrong.message = name + ": " + wrong.message;
  return wrong;
}

}  // namespace

uint64_t Archive::RebuildBytesWritten() const {
  std::lock_guard<std::mutex> lock(objects_->rebuild_mutex);
  struct stat st;
  if (objects_->rebuild_temp.empty() || ::stat(objects_->rebuild_temp.c_str(), &st) != 0) return 0;
  return static_cast<uint64_t>(st.st_size);
}

const std::vector<EntryHandle>& Archive::DamagedEntriesCopied() const { return objects_->damaged_copies; }

Status Archive::RemoveFile() {
  const std::string& path = objects_->path;
  if (path.empty()) return Failure(Code::kBadArgument, "an archive in memory has no file to remove");
  std::unique_ptr<WriterLock> lock;
  if (!WriterLock::HeldFor(path))
    if (Status taken = WriterLock::Take(path, &lock); !taken.ok()) return taken;
  // Another writer's work would be lost with it.
  if (!objects_->opened_stamp.known) return Failure(Code::kChanged, path + ": not removed: it changed since it was opened");
  for (const auto& [file, stamp] : objects_->guarded)
    if (StampOfFile(file) != stamp)
      return Failure(Code::kChanged, path + ": not removed: " + file + " changed since it was opened");
  // Of a set, every volume goes: the named one last, so that a failure
  // before it leaves what was asked undone.
  std::vector<std::string> targets;
  if (state_.multi_volume)
    for (const std::string& volume : VolumeFiles(path, state_.volumes))
      if (volume != path) targets.push_back(InPlaceTarget(volume));
  targets.push_back(InPlaceTarget(path));
  Status status;
  arjrt::MakeTheChange([&] {
    for (const std::string& target : targets)
      if (::unlink(target.c_str()) != 0) {
        const int error = errno;
        status = ErrnoStatus(error, target + ": cannot be removed");
        return &target != &targets.front();  // a volume already removed is a change made
      }
    SyncFolderOf(targets.back());
    return true;
  });
  return status;
}

Status Archive::CheckGarblePassword(const std::string& password) {
  for (const EntryInfo& e : Entries()) {
    if (!e.garbled) continue;
    ExtractResult tested = Test(e, [&password](const EntryInfo&, int attempt, std::string* given) {
      if (attempt > 0) return false;
      *given = password;
      return true;
    });
    if (tested.status.code == Code::kWrongPassword)
      tested.status.message = "the password does not open its garbled entry " + e.name;
    else if (!tested.ok())
      tested.status.message = e.name + ": the password cannot be checked: " + tested.status.message;
    return tested.status;
  }
  return {};
}

Status Archive::CheckRewrite(const ChangeSet& changes) { return CheckRewrite(changes, Entries()); }

Status Archive::CheckRewrite(const ChangeSet& changes, const std::vector<EntryInfo>& entries) {
  const std::string refusal = RewriteRefusal(state_, entries, changes, objects_->recovered);
  if (!refusal.empty()) return Failure(Code::kRefused, refusal);
  return CheckComments(changes, entries, state_.comment_room);
}

Status Archive::Rebuild(const ChangeSet& asked, const std::string& destination, const RebuildProgress& progress,
                        const RebuildOptions& options) {
  if (state_.multi_volume) return RebuildSet(asked, destination, progress, options);
  std::vector<EntryInfo> old_entries = Entries();
  // The files as checked below, each with the identity it is read by; a
  // link ahead of its target stored as a file.
  ChangeSet changes = asked;
  if (objects_->recovered) LeaveOutDamagedHeaders(old_entries, &changes);
  StoreLinksAheadOfTheirTargetsAsFiles(old_entries, &changes);
  const std::string& name = objects_->path.empty() ? destination : objects_->path;
  if (Status wrong = CheckPasswordFor(*this, name, options.garble_password); !wrong.ok()) return wrong;
  if (Status refused = CheckRewrite(changes, old_entries); !refused.ok()) {
    refused.message = name + ": " + refused.message;
    return refused;
  }

  // What the new archive must list: the kept entries in order, then the
  // added; and which of them a set's join stored, to be packed when split.
  std::vector<std::string> expected;
  std::vector<Repack> repack;
  for (const EntryInfo& e : old_entries)
    if (!changes.dropped.count(e.handle)) {
      expected.push_back(e.name);
      const auto stored = objects_->repack.find(e.handle);
      repack.push_back(stored != objects_->repack.end() && !changes.replaced.count(e.handle) ? stored->second
                                                                                              : Repack{});
    }
  for (const NewContent& c : changes.added) expected.push_back(c.stored_name);
  repack.resize(expected.size());
  for (const auto& [handle, content] : changes.replaced)
    if (FindEntry(old_entries, handle) == nullptr) return NoEntry(handle);
  for (auto& [handle, content] : changes.replaced)
    if (Status checked = CheckContentFile(content); !checked.ok()) return checked;
  for (NewContent& c : changes.added) {
    if (Status checked = CheckContentFile(c); !checked.ok()) return checked;
    if (c.stored_name.size() > kMaxStoredNameLength)
      return Failure(Code::kBadArgument, c.path + ": its stored name is too long for an ARJ header (" +
                                             std::to_string(c.stored_name.size()) + " bytes, at most " +
                                             std::to_string(kMaxStoredNameLength) + ")");
  }

  const std::string target = destination == objects_->path ? InPlaceTarget(destination) : destination;
  // One writer at a time: the doors lock before they read; a caller that
  // did not is locked out of others' commits at least from here on.
  std::unique_ptr<WriterLock> commit_lock;
  if (!WriterLock::HeldFor(target))
    if (Status taken = WriterLock::Take(target, &commit_lock); !taken.ok()) return taken;
  // Where there was no archive when it was opened, none may be replaced.
  const FileStamp at_start = destination == objects_->path ? objects_->opened_stamp
                             : destination == objects_->created_path ? objects_->created_over
                                                                     : StampOfFile(target);
  if (options.protect && (changes.volume_size != 0 || objects_->window != nullptr))
    return Failure(Code::kRefused, name + ": an ARJ-PROTECT record is not written to a volume set or a "
                                          "self-extracting archive");
  if (changes.volume_size != 0) {
    if (Status refused = CheckVolumeSetRequest(changes.volume_size, target); !refused.ok()) return refused;
    if (objects_->window != nullptr)
      return Failure(Code::kRefused, name + ": a self-extracting archive is not written as a volume set");
  }
  TempBeside temp(target);
  objects_->damaged_copies.clear();
  WatchDamagedCopies(*objects_);
  std::string why;
  if (!temp.Create(&why)) return Failure(Code::kIoError, why, ERR_IO);
  const WatchedTemp watched(*objects_, temp.path());

  ResultCode r = RESULT_OK;
  OpenedFiles opened;  // of the content files
  opened.total = changes.replaced.size() + changes.added.size();
  opened.progress = &progress;
  {
    arjrt::Runtime& runtime = objects_->runtime;
    Owned list, output, past_stub;
    r = host::CreateObjectQuick(runtime.root(), &list.object, IID_CHANGE_LIST_2, arjrt::PID_CHANGE_LIST);
    for (EntryHandle handle : changes.dropped)
      if (!Failed(r)) r = arjrt::ChangeListDrop(list.object, handle.value());
    for (const auto& [handle, content] : changes.replaced)
      if (!Failed(r)) r = arjrt::ChangeListReplace(list.object, handle.value(), OpenerFor(content, false, &opened));
    for (const NewContent& c : changes.added)
      if (!Failed(r)) r = arjrt::ChangeListAdd(list.object, OpenerFor(c, true, &opened), c.comment);
    for (const auto& [handle, comment] : changes.comments)
      if (!Failed(r)) r = arjrt::ChangeListComment(list.object, handle.value(), comment);
    if (!Failed(r) && changes.archive_comment) r = arjrt::ChangeListComment(list.object, 0, *changes.archive_comment);
    if (!Failed(r) && !options.garble_password.empty())
      r = arjrt::ChangeListGarblePassword(list.object, options.garble_password);
    if (!Failed(r)) r = host::CreateObject(runtime.root(), &output.object, IID_BLOCK_IO, PID_NATIVE_FILE_IO);
    if (!Failed(r)) r = SetString(output.object, PROP_OBJECT_PATH, temp.path());
    if (!Failed(r)) r = host::SetPropDWord(output.object, PROP_ACCESS_MODE, ACCESS_READ | ACCESS_WRITE);
    // The temporary file is new and empty: truncating it would only make
    // ext4 flush it at close.
    if (!Failed(r)) r = host::SetPropDWord(output.object, PROP_OPEN_MODE, OPEN_EXISTING);
    if (!Failed(r)) r = host::CreateObjectDone(output.object);
    // A self-extracting archive keeps its program: the new archive goes
    // after the same stub.
    if (!Failed(r) && objects_->window != nullptr)
      r = PutStubFirst(objects_->io, FixedProperty<uint64_t>(objects_->window, PROP_WINDOW_OFFSET), output.object,
                       &past_stub.object);
    if (Failed(r))
      return StatusOf(r, temp.path() + ": cannot be written: " +
                             Describe(r, output.object ? host::GetPropDWord(output.object, arjrt::PROP_OS_ERROR) : 0));
    ObjectRef a = objects_->archiver;
    const arjrt::ScopedEncodeAhead ahead(runtime, FilesToPackAhead(changes, old_entries));
    r = host::Archiver(a).Rebuild(a, list.object, past_stub.object ? past_stub.object : output.object);
    if (Failed(r)) {
      const ResultCode open_failure = arjrt::ChangeListOpenFailure(list.object);
      const ResultCode failure = Failed(open_failure) ? open_failure : r;
      if (IsContentFault(failure))
        return StatusOf(failure, destination + ": not written: " + opened.last + ": " + Describe(failure));
      std::string cause = Failed(open_failure) ? Describe(open_failure)
                                               : Describe(r, host::GetPropDWord(output.object, arjrt::PROP_OS_ERROR));
      if (!opened.last.empty()) cause += " (last file read: " + opened.last + ")";
      return StatusOf(failure, destination + ": not written: " + cause);
    }
  }

  if (options.protect && !changes.new_chapter)
    if (std::string why = ProtectFile(temp.path()); !why.empty())
      return Failure(Code::kRefused, destination + ": not written: " + why);
  // The new archive must open and list what we asked for before it
  // replaces anything (and pass its test when asked: a volume set's is
  // tested once split, as it is put in place).
  const bool tested_here = changes.volume_size == 0;
  if (Status listed = CheckListed(host_, temp.path(), expected, destination, tested_here && !changes.new_chapter ? options : RebuildOptions{}); !listed.ok()) return listed;
  // A new chapter: the entries' ranges and places, and its label.
  TempBeside chaptered(target);
  if (changes.new_chapter) {
    const format::ChapterPlan plan = ChapterPlanOf(old_entries, changes, state_.chapter);
    if (!chaptered.Create(&why)) return Failure(Code::kIoError, why, ERR_IO);
    if (Status s = WriteChapter(temp.path(), plan, static_cast<int64_t>(::time(nullptr)), chaptered.path()); !s.ok()) {
      s.message = destination + ": not written: " + s.message;
      return s;
    }
    if (options.protect)
      if (std::string protect_why = ProtectFile(chaptered.path()); !protect_why.empty())
        return Failure(Code::kRefused, destination + ": not written: " + protect_why);
    expected.clear();
    std::vector<Repack> chaptered_repack;
    for (size_t index : format::ChapterOrder(plan)) {
      expected.push_back(plan.entries[index].name);
      chaptered_repack.push_back(repack[index]);
    }
    expected.push_back(format::ChapterLabel(plan.chapter));
    chaptered_repack.emplace_back();
    repack = std::move(chaptered_repack);
    if (Status listed = CheckListed(host_, chaptered.path(), expected, destination, tested_here ? options : RebuildOptions{}); !listed.ok()) return listed;
  }
  TempBeside& written = changes.new_chapter ? chaptered : temp;
  // Another writer would have its work, or ours, lost by the rename.
  if (Status changed = CheckUnchanged(destination, target, at_start); !changed.ok()) return changed;
  if (changes.volume_size != 0) {
    // Only the archive's own volumes, rewritten in place, may be replaced
    // or removed; never those of an archive written elsewhere (-o).
    std::vector<std::string> own = joined_from_;
    if (own.empty() && destination == objects_->path) own = VolumeFiles(objects_->path, state_.volumes);
    return PutVolumeSet(written.path(), target, changes.volume_size, expected, repack, own, at_start.known, options);
  }
  if (!written.Commit(&why, at_start.known)) return Failure(at_start.known ? Code::kIoError : Code::kChanged, why, ERR_IO);
  volumes_written_ = 1;
  return {};
}

Status Archive::CheckUnchanged(const std::string& destination, const std::string& target,
                               const FileStamp& at_start) const {
  for (const auto& [file, stamp] : objects_->guarded)
    if (StampOfFile(file) != stamp)
      return Failure(Code::kChanged, destination + ": not written: " + file + " changed while it was being rewritten");
  const FileStamp now = StampOfFile(target);
  if (!at_start.known && now.known)
    return Failure(Code::kChanged, destination + ": not written: a file of that name appeared meanwhile");
  if (at_start.known && now != at_start)
    return Failure(Code::kChanged, destination + ": not written: " + target + " changed while it was being rewritten");
  return {};
}

Status Archive::PutVolumeSet(const std::string& single, const std::string& first, uint64_t volume_size,
                             const std::vector<std::string>& expected, const std::vector<Repack>& repack,
                             const std::vector<std::string>& own, bool first_replaces, const RebuildOptions& options) {
  VolumeSetRequest request = SetRequest(first, volume_size, own, first_replaces, options);
  request.single = single;
  request.expected = expected;
  request.repack = repack;
  size_t count = 0;
  Status s = WriteVolumeSet(host_, request, &count);
  volumes_written_ = count;
  return s;
}

Status Archive::SplitKept(const std::vector<JoinedEntry>& kept, const std::vector<const EntryInfo*>& infos,
                          const std::string& name, const std::string& first, const std::string& target,
                          const std::vector<std::string>& volumes, const ChangeSet& changes,
                          const RebuildOptions& options) {
  // One writer at a time (the doors lock before they read); the target as
  // it was before anything was read, which the commit must find unchanged.
  std::unique_ptr<WriterLock> commit_lock;
  if (!WriterLock::HeldFor(target))
    if (Status taken = WriterLock::Take(target, &commit_lock); !taken.ok()) return taken;
  const FileStamp at_start = StampOfFile(target);
  VolumeSetRequest request = SetRequest(target, changes.volume_size, target == first ? volumes : std::vector<std::string>{},
                                        at_start.known, options);
  request.repack.resize(infos.size());
  for (size_t i = 0; i < infos.size(); ++i) {
    request.expected.push_back(infos[i]->name);
    if (!kept[i].split) continue;
    request.repack[i].method = static_cast<int>(infos[i]->method);  // the input reads the exact one
    if (Status lost = OldPartsOf(*infos[i], name, &request.repack[i]); !lost.ok()) return lost;
  }
  std::vector<size_t> damaged;
  request.joined_first = first;
  request.joined = kept;
  request.damaged = &damaged;
  request.before_commit = [&] { return CheckUnchanged(target, target, at_start); };
  size_t count = 0;
  Status s = WriteVolumeSet(host_, request, &count);
  volumes_written_ = count;
  objects_->damaged_copies.clear();
  for (size_t i : damaged) objects_->damaged_copies.push_back(infos[i]->handle);
  return s;
}

Status Archive::RebuildSet(const ChangeSet& asked, const std::string& destination, const RebuildProgress& progress,
                           const RebuildOptions& options) {
  const std::vector<EntryInfo> entries = Entries();
  const std::string& name = objects_->path;
  ChangeSet changes = asked;
  if (objects_->recovered) LeaveOutDamagedHeaders(entries, &changes);
  if (Status refused = CheckRewrite(changes, entries); !refused.ok()) {
    refused.message = name + ": " + refused.message;
    return refused;
  }
  const std::vector<std::string> volumes = VolumeFiles(name, state_.volumes);
  const std::string first = InPlaceTarget(volumes.empty() ? name : volumes.front());
  // Rewritten in place, whichever volume was named, the set starts at its
  // first volume again.
  const std::string target = destination == name ? first : destination;
  if (changes.volume_size == 0) {
    // The old set's volume size, as far as its volumes tell: its largest
    // (a volume holds what fits, so each may fall short of the size).
    for (const std::string& volume : volumes) {
      struct stat st;
      if (::stat(volume.c_str(), &st) == 0) changes.volume_size = std::max<uint64_t>(changes.volume_size, st.st_size);
    }
    changes.volume_size = std::max(changes.volume_size, kMinVolumeSize);
  }
  if (Status refused = CheckVolumeSetRequest(changes.volume_size, target); !refused.ok()) return refused;

  if (Status wrong = CheckPasswordFor(*this, name, options.garble_password); !wrong.ok()) return wrong;
  // Entries left out and nothing else: the kept ones are read from the old
  // volumes as one archive and split into the new set (SplitKept), one
  // write of the set where a join, its rebuild and the split write three.
  // (A record asked for takes the joined path, whose rebuild refuses it.)
  const bool drops_alone = changes.replaced.empty() && changes.added.empty() && !changes.new_chapter &&
                           changes.carried.empty() && changes.comments.empty() && !changes.archive_comment &&
                           !objects_->recovered && !options.protect;
  std::vector<JoinedEntry> joined_entries;
  std::vector<const EntryInfo*> joined_infos;
  for (const EntryInfo& e : entries) {
    if (e.parts.size() > 1 && e.garbled && options.garble_password.empty())
      return Failure(Code::kUnsupported, name + ": " + e.name +
                                             ": a garbled file split over volumes is rewritten only with its password");
    if (drops_alone && changes.dropped.count(e.handle)) continue;
    joined_entries.push_back({e.volume.empty() ? first : VolumeFile(name, e.volume), e.header_offset, e.parts.size() > 1});
    joined_infos.push_back(&e);
  }
  if (drops_alone) return SplitKept(joined_entries, joined_infos, name, first, target, volumes, changes, options);
  TempBeside joined(target);
  std::string why;
  if (!joined.Create(&why)) return Failure(Code::kIoError, why, ERR_IO);
  std::vector<int> repack;
  Status s = JoinVolumes(first, joined_entries, joined.path(), &repack);
  if (!s.ok()) {
    s.message = name + ": not written: the set cannot be joined: " + s.message;
    return s;
  }
  OpenOptions opening;
  opening.scan_all_volumes = false;
  OpenResult opened = OpenFile(host_, joined.path(), opening);
  if (!opened.ok())
    return Failure(Code::kInternal, name + ": not written: the joined set does not reopen: " + opened.status.message);
  const std::vector<EntryInfo> listed = opened.archive->Entries();
  bool same = listed.size() == entries.size();
  for (size_t i = 0; same && i < listed.size(); ++i) same = listed[i].name == entries[i].name;
  if (!same) return Failure(Code::kInternal, name + ": not written: the joined set does not list the set's entries");
  // The set's volumes are what the joined archive's commit must find as
  // they were.
  opened.archive->objects_->guarded = objects_->guarded;
  // The joined archive's entries are the set's, in order, under handles of
  // their own.
  std::map<EntryHandle, EntryHandle> handle_of;
  for (size_t i = 0; i < entries.size(); ++i) handle_of[entries[i].handle] = listed[i].handle;
  ChangeSet joined_changes = changes;
  joined_changes.dropped.clear();
  joined_changes.replaced.clear();
  for (EntryHandle h : changes.dropped)
    if (handle_of.count(h)) joined_changes.dropped.insert(handle_of[h]);
  joined_changes.carried.clear();
  for (EntryHandle h : changes.carried)
    if (handle_of.count(h)) joined_changes.carried.insert(handle_of[h]);
  for (const auto& [h, content] : changes.replaced)
    if (handle_of.count(h)) joined_changes.replaced[handle_of[h]] = content;
    else return NoEntry(h);
  joined_changes.comments.clear();
  for (const auto& [h, comment] : changes.comments)
    if (handle_of.count(h)) joined_changes.comments[handle_of[h]] = comment;
    else return NoEntry(h);
  if (target == first) opened.archive->joined_from_ = volumes;
  // Each split file: packed again where the new set places it, its old
  // parts copied where they fit.
  for (size_t i = 0; i < listed.size(); ++i) {
    if (repack[i] < 0) continue;
    Repack& r = opened.archive->objects_->repack[listed[i].handle];
    r.method = repack[i];
    if (Status lost = OldPartsOf(entries[i], name, &r); !lost.ok()) return lost;
  }
  s = opened.archive->Rebuild(joined_changes, target, progress, options);
  volumes_written_ = opened.archive->volumes_written_;
  // The damaged entries the joined archive's rebuild copied are the set's
  // to say, as one archive's are.
  objects_->damaged_copies.clear();
  for (EntryHandle copied : opened.archive->objects_->damaged_copies)
    for (size_t i = 0; i < listed.size(); ++i)
      if (listed[i].handle == copied) objects_->damaged_copies.push_back(entries[i].handle);
  return s;
}

Status CheckVolumeSize(uint64_t size) {
  if (size >= kMinVolumeSize) return {};
  return {Code::kBadArgument, "a volume size of " + std::to_string(size) + " bytes is too small: at least " +
                                  std::to_string(kMinVolumeSize)};
}

}  // namespace arjhost
