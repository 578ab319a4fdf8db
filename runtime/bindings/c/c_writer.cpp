// The C API's writing handle: changes gathered, then written at once by
// the C++ API's Rebuild, which replaces the archive only when the new one
// reopens whole (or removes an archive emptied, as arj d does).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <set>
#include <string>
#include <vector>

#include "runtime/operations/add_by_name.h"
#include "runtime/api/archive.h"
#include "runtime/bindings/c/arjhost.h"
#include "runtime/bindings/c/c_settings.h"
#include "runtime/bindings/c/c_status.h"
#include "runtime/api/rebuild.h"

using arjhost::capi::Failure;
using arjhost::capi::Guarded;

struct arjhost_writer {
  arjhost::capi::Settings settings;
  std::string path;
  Failure failure;
  Failure open_failure;  // every call on a writer that did not open fails with it
  std::unique_ptr<arjhost::Host> host;
  std::unique_ptr<arjhost::Archive> archive;
  std::vector<arjhost::EntryInfo> entries;
  arjhost::ChangeSet changes;
  // Bytes added from memory wait in files of a private folder until the
  // commit reads them.
  std::string spool;
  size_t spooled = 0;
  std::string garble_password;  // of the entries written, when not empty
  bool done = false;  // committed, or failed committing: nothing more is taken

  ~arjhost_writer() {
    archive.reset();
    if (!spool.empty()) {
      std::error_code ignored;
      std::filesystem::remove_all(spool, ignored);
    }
  }
};

namespace {

constexpr int kDefaultMethod = 1;  // as arj a packs

// Every call on a writer starts here: false (with the failure it returns)
// for no writer, one whose open failed, or one already done.
bool Usable(arjhost_writer* w, int* result) {
  if (w == nullptr) {
    *result = ARJHOST_ERR_ARGUMENT;
    return false;
  }
  if (w->open_failure.code != ARJHOST_OK) {
    w->failure = w->open_failure;
    *result = w->failure.code;
    return false;
  }
  if (w->done) {
    *result = w->failure.Set(ARJHOST_ERR_ARGUMENT, w->path + ": the changes were committed already");
    return false;
  }
  w->failure.Clear();
  return true;
}

// Opens what the writer starts from, its lock held until it is closed: the
// archive at its path, or, when there is none, an empty one named as the
// new file.
int OpenStart(arjhost_writer* w, bool start_empty) {
  w->host = arjhost::capi::StartHost(w->settings, &w->failure);
  if (!w->host) return w->failure.code;
  arjhost::OpenOptions options;
  options.start_empty = start_empty;
  arjhost::OpenResult opened = arjhost::Archive::OpenForWriting(*w->host, w->path, options);
  if (!opened.ok()) return w->failure.Set(opened.status);
  w->archive = std::move(opened.archive);
  w->entries = w->archive->Entries();
  if (const arjhost::Status refused = w->archive->CheckRewrite({}, w->entries); !refused.ok())
    return w->failure.Set(ARJHOST_ERR_REFUSED, w->path + ": " + refused.message);
  return ARJHOST_OK;
}

bool MethodOf(int given, int* method) {
  *method = given < 0 ? kDefaultMethod : given;
  return *method <= static_cast<int>(arjhost::format::Byte(arjhost::format::kLastMethod));
}

// The content under `stored_name` replaces the entries of that name, as
// arj a replaces them, or is appended.
int Take(arjhost_writer* w, arjhost::NewContent content) {
  const arjhost::Status taken = arjhost::AddByName(w->entries, std::move(content), arjhost::AddMode::kAdd, &w->changes);
  if (!taken.ok()) return w->failure.Set(ARJHOST_ERR_REFUSED, w->path + ": " + taken.message);
  return ARJHOST_OK;
}

// The name a new entry is stored under, by the rule every rewrite keeps.
int StoredName(arjhost_writer* w, const char* given, std::string* stored) {
  std::string error;
  if (given == nullptr || !arjhost::StoredNameOf(given, stored, &error))
    return w->failure.Set(ARJHOST_ERR_REFUSED, w->path + ": " + (given == nullptr ? "no stored name given" : error));
  return ARJHOST_OK;
}

// A private folder for the bytes added from memory.
int MakeSpool(arjhost_writer* w) {
  if (!w->spool.empty()) return ARJHOST_OK;
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/arjhost-add-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr)
    return w->failure.Set(ARJHOST_ERR_IO, w->path + ": cannot make a folder for the bytes to add: " +
                                              std::strerror(errno));
  w->spool = pattern;
  return ARJHOST_OK;
}

// The message names the archive and the entry, never the spool file: that
// name means nothing to the caller.
int WriteSpoolFile(arjhost_writer* w, const std::string& file, const std::string& stored_name, const void* data,
                   size_t size) {
  const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  int error = fd < 0 ? errno : 0;
  for (size_t done = 0; error == 0 && done < size;) {
    const ssize_t n = ::write(fd, static_cast<const uint8_t*>(data) + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) error = n < 0 ? errno : EIO;
    else done += static_cast<size_t>(n);
  }
  if (fd >= 0 && ::close(fd) != 0 && error == 0) error = errno;
  if (error != 0)
    return w->failure.Set(ARJHOST_ERR_IO, w->path + ": " + stored_name +
                                              ": the bytes to add cannot be set aside for the commit: " +
                                              std::strerror(error));
  return ARJHOST_OK;
}

arjhost_writer* OpenWriter(const char* path, const arjhost_options* options, bool start_empty) {
  auto* w = new (std::nothrow) arjhost_writer;
  if (w == nullptr) return nullptr;
  Guarded(w->failure, [&] {
    if (!arjhost::capi::SettingsOf(options, &w->settings, &w->failure)) return w->failure.code;
    if (path == nullptr || *path == '\0') return w->failure.Set(ARJHOST_ERR_ARGUMENT, "no archive named");
    w->path = path;
    return OpenStart(w, start_empty);
  });
  w->open_failure = w->failure;
  return w;
}

}  // namespace

extern "C" {

arjhost_writer* arjhost_write_open(const char* path, const arjhost_options* options) {
  return OpenWriter(path, options, false);
}

arjhost_writer* arjhost_write_open_new(const char* path, const arjhost_options* options) {
  return OpenWriter(path, options, true);
}

int arjhost_write_add_file(arjhost_writer* w, const char* file, const char* stored_name, int method) {
  int r = ARJHOST_OK;
  if (!Usable(w, &r)) return r;
  return Guarded(w->failure, [&] {
    if (file == nullptr || *file == '\0') return w->failure.Set(ARJHOST_ERR_ARGUMENT, w->path + ": no file named");
    arjhost::NewContent content;
    content.path = file;
    if (const int s = StoredName(w, stored_name != nullptr ? stored_name : file, &content.stored_name); s != 0)
      return s;
    if (!MethodOf(method, &content.method))
      return w->failure.Set(ARJHOST_ERR_ARGUMENT, w->path + ": " + file + ": the method must be 0 to 4");
    struct stat st;
    if (::stat(file, &st) != 0)
      return w->failure.Set(errno == ENOENT ? ARJHOST_ERR_NOT_FOUND : ARJHOST_ERR_IO,
                            std::string(file) + ": cannot be read: " + std::strerror(errno));
    if (!S_ISREG(st.st_mode)) return w->failure.Set(ARJHOST_ERR_REFUSED, std::string(file) + ": not a regular file");
    return Take(w, std::move(content));
  });
}

int arjhost_write_add_memory(arjhost_writer* w, const char* stored_name, const void* data, size_t size, int method,
                             uint32_t mode, int64_t mtime) {
  int r = ARJHOST_OK;
  if (!Usable(w, &r)) return r;
  return Guarded(w->failure, [&] {
    if (data == nullptr && size != 0) return w->failure.Set(ARJHOST_ERR_ARGUMENT, w->path + ": no bytes given");
    arjhost::NewContent content;
    if (const int s = StoredName(w, stored_name, &content.stored_name); s != 0) return s;
    if (!MethodOf(method, &content.method))
      return w->failure.Set(ARJHOST_ERR_ARGUMENT, w->path + ": " + stored_name + ": the method must be 0 to 4");
    if (const int s = MakeSpool(w); s != 0) return s;
    content.path = w->spool + "/" + std::to_string(w->spooled++);
    if (const int s = WriteSpoolFile(w, content.path, content.stored_name, data != nullptr ? data : "", size); s != 0)
      return s;
    content.given_attributes = true;
    content.mode = mode;
    content.modified_time = mtime;
    return Take(w, std::move(content));
  });
}

int arjhost_write_add_folder(arjhost_writer* w, const char* stored_name, uint32_t mode, int64_t mtime) {
  int r = ARJHOST_OK;
  if (!Usable(w, &r)) return r;
  return Guarded(w->failure, [&] {
    arjhost::NewContent content;
    if (const int s = StoredName(w, stored_name, &content.stored_name); s != 0) return s;
    // A folder of ours stands for it; its mode and time are the ones given.
    if (const int s = MakeSpool(w); s != 0) return s;
    content.path = w->spool;
    content.kind = arjhost::ContentKind::kFolder;
    content.given_attributes = true;
    content.mode = mode;
    content.modified_time = mtime;
    return Take(w, std::move(content));
  });
}

int arjhost_write_delete(arjhost_writer* w, const char* stored_name) {
  int r = ARJHOST_OK;
  if (!Usable(w, &r)) return r;
  if (stored_name == nullptr) return w->failure.Set(ARJHOST_ERR_ARGUMENT, w->path + ": no entry named");
  return Guarded(w->failure, [&] {
    bool found = false;
    for (const arjhost::EntryInfo& e : w->entries)
      if (e.name == stored_name) {
        w->changes.dropped.insert(e.handle);
        w->changes.replaced.erase(e.handle);
        found = true;
      }
    if (!found) return w->failure.Set(ARJHOST_ERR_NOT_FOUND, w->path + ": no entry named \"" + stored_name + "\"");
    return ARJHOST_OK;
  });
}

int arjhost_write_volume_size(arjhost_writer* w, uint64_t size) {
  int r = ARJHOST_OK;
  if (!Usable(w, &r)) return r;
  if (const arjhost::Status checked = arjhost::CheckVolumeSize(size); size != 0 && !checked.ok())
    return w->failure.Set(ARJHOST_ERR_ARGUMENT, w->path + ": " + checked.message);
  w->changes.volume_size = size;
  return ARJHOST_OK;
}

int arjhost_write_set_comment(arjhost_writer* w, const char* comment) {
  int r = ARJHOST_OK;
  if (!Usable(w, &r)) return r;
  return Guarded(w->failure, [&] {
    if (comment == nullptr)
      w->changes.archive_comment.reset();
    else
      w->changes.archive_comment = comment;
    return ARJHOST_OK;
  });
}

int arjhost_write_set_entry_comment(arjhost_writer* w, const char* stored_name, const char* comment) {
  int r = ARJHOST_OK;
  if (!Usable(w, &r)) return r;
  if (stored_name == nullptr || comment == nullptr)
    return w->failure.Set(ARJHOST_ERR_ARGUMENT, w->path + ": no entry or comment given");
  return Guarded(w->failure, [&] {
    bool found = false;
    for (arjhost::NewContent& c : w->changes.added)
      if (c.stored_name == stored_name) c.comment = comment, found = true;
    for (const arjhost::EntryInfo& e : w->entries)
      if (e.name == stored_name && !w->changes.dropped.count(e.handle)) w->changes.comments[e.handle] = comment, found = true;
    if (!found) return w->failure.Set(ARJHOST_ERR_NOT_FOUND, w->path + ": no entry named \"" + stored_name + "\"");
    return ARJHOST_OK;
  });
}

int arjhost_write_set_password(arjhost_writer* w, const char* password) {
  int r = ARJHOST_OK;
  if (!Usable(w, &r)) return r;
  return Guarded(w->failure, [&] {
    const std::string given = password != nullptr ? password : "";
    if (given.size() > arjhost::kMaxGarblePasswordLength)
      return w->failure.Set(ARJHOST_ERR_ARGUMENT, w->path + ": the password is longer than " +
                                                      std::to_string(arjhost::kMaxGarblePasswordLength) + " bytes");
    if (!given.empty())
      if (const arjhost::Status checked = w->archive->CheckGarblePassword(given); !checked.ok()) {
        arjhost::Status named = checked;
        named.message = w->path + ": " + named.message;
        return w->failure.Set(named);
      }
    w->garble_password = given;
    return ARJHOST_OK;
  });
}

int arjhost_write_commit(arjhost_writer* w) {
  int r = ARJHOST_OK;
  if (!Usable(w, &r)) return r;
  return Guarded(w->failure, [&] {
    w->done = true;
    const arjhost::ChangeSet& c = w->changes;
    const bool new_archive = w->archive->created();
    const bool commented = !c.comments.empty() || c.archive_comment.has_value();
    if (c.dropped.empty() && c.replaced.empty() && c.added.empty() && !commented && !new_archive) return ARJHOST_OK;
    if (c.added.empty() && c.replaced.empty() && c.dropped.size() == w->entries.size()) {
      // An archive without entries would be taken for a damaged one.
      if (new_archive)
        return w->failure.Set(ARJHOST_ERR_ARGUMENT, w->path + ": nothing to write: the archive would hold no entries");
      return w->failure.Set(w->archive->RemoveFile());
    }
    arjhost::RebuildOptions options;
    options.garble_password = w->garble_password;
    return w->failure.Set(w->archive->Rebuild(c, w->path, nullptr, options));
  });
}

int arjhost_writer_error_code(const arjhost_writer* w) { return w != nullptr ? w->failure.code : ARJHOST_ERR_ARGUMENT; }

const char* arjhost_writer_error_string(const arjhost_writer* w) {
  return w != nullptr ? w->failure.message.c_str() : "no writer handle";
}

void arjhost_write_close(arjhost_writer* w) { delete w; }

}  // extern "C"
