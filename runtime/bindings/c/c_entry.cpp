// The current entry's fields.
#include <sys/stat.h>

#include "runtime/bindings/c/c_archive.h"
#include "runtime/api/text.h"

namespace {

using arjhost::EntryInfo;
using arjhost::format::FileType;
using Special = EntryInfo::Special;

const EntryInfo* Info(const arjhost_entry* e) { return e != nullptr ? e->info : nullptr; }

// A type this reader knows by its header; an entry whose header could not
// be read is taken for a file, as the listing takes it.
arjhost_entry_type TypeOf(const EntryInfo& e) {
  if (!e.header_known) return ARJHOST_TYPE_FILE;
  switch (e.file_type) {
    case FileType::kBinary:
    case FileType::kText: return ARJHOST_TYPE_FILE;
    case FileType::kDirectory: return ARJHOST_TYPE_FOLDER;
    case FileType::kVolumeLabel:
    case FileType::kChapterLabel: return ARJHOST_TYPE_LABEL;
    case FileType::kUnixSpecial: break;
    default: return ARJHOST_TYPE_OTHER;
  }
  switch (e.special) {
    case Special::kSymbolicLink: return ARJHOST_TYPE_SYMBOLIC_LINK;
    case Special::kHardLink: return ARJHOST_TYPE_HARD_LINK;
    case Special::kFifo: return ARJHOST_TYPE_FIFO;
    case Special::kBlockDevice:
    case Special::kCharDevice: return ARJHOST_TYPE_DEVICE;
    default: return ARJHOST_TYPE_OTHER;
  }
}

uint32_t KindBits(const EntryInfo& e) {
  switch (TypeOf(e)) {
    case ARJHOST_TYPE_FILE:
    case ARJHOST_TYPE_HARD_LINK: return S_IFREG;
    case ARJHOST_TYPE_FOLDER: return S_IFDIR;
    case ARJHOST_TYPE_SYMBOLIC_LINK: return S_IFLNK;
    case ARJHOST_TYPE_FIFO: return S_IFIFO;
    case ARJHOST_TYPE_DEVICE: return e.special == Special::kBlockDevice ? S_IFBLK : S_IFCHR;
    default: return 0;
  }
}

}  // namespace

extern "C" {

const char* arjhost_entry_name(const arjhost_entry* e) { return e != nullptr ? e->name.c_str() : ""; }

const char* arjhost_entry_stored_name(const arjhost_entry* e, size_t* size) {
  const EntryInfo* i = Info(e);
  if (size != nullptr) *size = i != nullptr ? i->name.size() : 0;
  return i != nullptr ? i->name.c_str() : "";
}

uint64_t arjhost_entry_size(const arjhost_entry* e) { return Info(e) ? Info(e)->size : 0; }
uint64_t arjhost_entry_packed_size(const arjhost_entry* e) { return Info(e) ? Info(e)->packed : 0; }
int arjhost_entry_method(const arjhost_entry* e) { return Info(e) ? static_cast<int>(Info(e)->method) : 0; }
uint32_t arjhost_entry_crc32(const arjhost_entry* e) { return Info(e) ? Info(e)->crc : 0; }
int64_t arjhost_entry_mtime(const arjhost_entry* e) { return Info(e) ? Info(e)->modified_time : 0; }

int arjhost_entry_atime(const arjhost_entry* e, int64_t* time) {
  const EntryInfo* i = Info(e);
  if (i == nullptr || !i->accessed_known) return 0;
  if (time != nullptr) *time = i->accessed_time;
  return 1;
}

int arjhost_entry_ctime(const arjhost_entry* e, int64_t* time) {
  const EntryInfo* i = Info(e);
  if (i == nullptr || !i->created_known) return 0;
  if (time != nullptr) *time = i->created_time;
  return 1;
}

uint32_t arjhost_entry_mode(const arjhost_entry* e) {
  const EntryInfo* i = Info(e);
  if (i == nullptr) return 0;
  uint32_t permissions = 0;
  if (arjhost::MadeOnUnix(*i)) permissions = i->access_mode & arjhost::format::kUnixPermissionBits;
  else if (TypeOf(*i) == ARJHOST_TYPE_FOLDER) permissions = 0755;
  else permissions = i->header_known && Has(i->access_mode, arjhost::format::DosAttribute::kReadOnly) ? 0444 : 0644;
  return KindBits(*i) | permissions;
}

uint32_t arjhost_entry_attributes(const arjhost_entry* e) { return Info(e) ? Info(e)->access_mode : 0; }
int arjhost_entry_host_os(const arjhost_entry* e) { return Info(e) ? arjhost::format::Byte(Info(e)->host_os) : 0; }
arjhost_entry_type arjhost_entry_type_of(const arjhost_entry* e) {
  return Info(e) ? TypeOf(*Info(e)) : ARJHOST_TYPE_OTHER;
}
const char* arjhost_entry_link_target(const arjhost_entry* e) { return e != nullptr ? e->link_target.c_str() : ""; }
int arjhost_entry_garbled(const arjhost_entry* e) { return Info(e) && Info(e)->garbled ? 1 : 0; }
unsigned arjhost_entry_flags(const arjhost_entry* e) { return Info(e) ? static_cast<unsigned>(Info(e)->flags) : 0; }
uint64_t arjhost_entry_header_offset(const arjhost_entry* e) { return Info(e) ? Info(e)->header_offset : 0; }

int arjhost_entry_chapters(const arjhost_entry* e, int* first, int* last) {
  const EntryInfo* i = Info(e);
  if (first != nullptr) *first = i != nullptr ? i->first_chapter : 0;
  if (last != nullptr) *last = i != nullptr ? i->last_chapter : 0;
  return i != nullptr && i->last_chapter != 0 ? 1 : 0;
}

const char* arjhost_entry_comment(const arjhost_entry* e) { return e != nullptr ? e->comment.c_str() : ""; }
const char* arjhost_entry_volume(const arjhost_entry* e) { return Info(e) ? Info(e)->volume.c_str() : ""; }
int arjhost_entry_taken(const arjhost_entry* e) { return e != nullptr && e->taken ? 1 : 0; }
const char* arjhost_entry_path(const arjhost_entry* e) { return e != nullptr ? e->path.c_str() : ""; }
int arjhost_entry_header_ok(const arjhost_entry* e) { return Info(e) && !Info(e)->header_crc_ok ? 0 : 1; }
uint64_t arjhost_entry_tested_size(const arjhost_entry* e) { return e != nullptr ? e->tested : 0; }

}  // extern "C"
