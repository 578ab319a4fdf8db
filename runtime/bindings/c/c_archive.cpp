// Opening and closing a reading handle, its errors, passwords, the
// archive's state and the walk over its entries.
#include "runtime/bindings/c/c_archive.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "runtime/operations/entry_plan.h"
#include "runtime/api/text.h"
#include "runtime/api/version.h"

using arjhost::capi::Failure;
using arjhost::capi::Guarded;

namespace {

// A password callback is asked this often for one entry, as the tool asks
// a person.
constexpr int kCallbackAsks = 3;
constexpr size_t kPasswordBuffer = 1024;

std::string Utf8(const std::string& stored, const arjhost::EntryInfo& entry, int codepage) {
  return arjhost::DecodeToUtf8(arjhost::EntryText(stored, entry, codepage), 65001);
}

bool KnownCodePage(int codepage) { return codepage == 437 || codepage == 850 || codepage == 866; }

// A new handle with its settings and host; null only when memory is short.
arjhost_archive* NewHandle(const arjhost_options* options, const std::string& label) {
  auto* a = new (std::nothrow) arjhost_archive;
  if (a == nullptr) return nullptr;
  const int r = Guarded(a->failure, [&] {
    if (!arjhost::capi::SettingsOf(options, &a->settings, &a->failure)) return a->failure.code;
    a->label = label.empty() ? (a->settings.name.empty() ? "memory archive" : a->settings.name) : label;
    if (!KnownCodePage(a->settings.options.codepage))
      return a->failure.Set(ARJHOST_ERR_ARGUMENT, a->label + ": the code page must be 437, 850 or 866");
    a->host = arjhost::capi::StartHost(a->settings, &a->failure);
    return a->failure.code;
  });
  if (r != ARJHOST_OK) a->open_failure = a->failure;
  return a;
}

// What the archive is opened with, kept for the workers of arjhost_test_all.
const arjhost::OpenOptions& OpenOptionsOf(arjhost_archive* a) {
  const arjhost_options& o = a->settings.options;
  arjhost::OpenOptions& options = a->open_options;
  options.recover = o.recover != 0;
  options.scan_all_volumes = o.single_volume == 0;
  options.name = a->settings.name;
  options.open_volume = arjhost::capi::VolumeOpenerOf(a->settings, &a->kept, &a->volumes);
  return options;
}

// The open's outcome: the archive and its entries, or why not.
arjhost_archive* Opened(arjhost_archive* a, arjhost::OpenResult opened) {
  Guarded(a->failure, [&] {
    if (!opened.ok()) return a->failure.Set(opened.status);
    a->archive = std::move(opened.archive);
    a->entries = a->archive->Entries();
    // No chapter named: the choice cannot fail.
    arjhost::ChapterChoice::Make(0, a->archive->state().chapter, a->entries, &a->chapters);
    return a->failure.Clear();
  });
  a->open_failure = a->failure;
  return a;
}

// Every call on a handle starts here: false (with the failure it returns)
// for no handle, or one whose open failed.
bool Usable(arjhost_archive* a, int* result) {
  if (a != nullptr) return a->Usable(result);
  *result = ARJHOST_ERR_ARGUMENT;
  return false;
}

}  // namespace

bool arjhost_archive::Usable(int* result) {
  failure = open_failure;
  *result = failure.code;
  return failure.code == ARJHOST_OK;
}

arjhost::PasswordSource arjhost_archive::Passwords() {
  return [this](const arjhost::EntryInfo& entry, int attempt, std::string* password) {
    int asks = attempt;
    if (settings.has_password) {
      if (attempt == 0) {
        *password = settings.password;
        return true;
      }
      --asks;
    }
    const arjhost_password_callback callback = settings.options.password_callback;
    if (callback == nullptr || asks >= kCallbackAsks) return false;
    char answer[kPasswordBuffer] = {};
    const std::string name = Utf8(entry.name, entry, settings.options.codepage);
    if (callback(settings.options.password_user, name.c_str(), asks, answer, sizeof answer) != ARJHOST_OK) return false;
    answer[sizeof answer - 1] = '\0';
    password->assign(answer);
    return true;
  };
}

arjhost_entry arjhost_archive::EntryOf(const arjhost::EntryInfo& e) const {
  const int codepage = settings.options.codepage;
  arjhost_entry entry;
  entry.info = &e;
  entry.taken = chapters.Takes(e);
  using Plan = arjhost::EntryPlan::Kind;
  const arjhost::EntryPlan plan = arjhost::PlanEntry(e, {codepage, false});
  if (plan.kind != Plan::kNothing && plan.kind != Plan::kRefused && plan.kind != Plan::kSkipped)
    entry.path = plan.Path();
  entry.name = Utf8(e.name, e, codepage);
  entry.link_target = Utf8(e.link_target, e, codepage);
  entry.comment = Utf8(e.comment, e, codepage);
  return entry;
}

std::string arjhost_archive::AboutEntry(const std::string& why) const {
  return label + ": " + current.name + ": " + why;
}

void arjhost_archive::FinishExtraction() {
  if (!target) return;
  size_t tag = 0;
  const std::string why = target->Finish(&tag);
  target.reset();
  if (!why.empty() && tag < entries.size())
    failure.Set(ARJHOST_ERR_IO, label + ": " + Utf8(entries[tag].name, entries[tag], settings.options.codepage) +
                                    ": " + why);
}

extern "C" {

const char* arjhost_version(void) { return arjhost::Version(); }

static_assert(ARJHOST_VERSION_NUMBER ==
                  ARJHOST_VERSION_MAJOR * 10000 + ARJHOST_VERSION_MINOR * 100 + ARJHOST_VERSION_PATCH,
              "arjhost.h's version number is the library's");
int arjhost_version_number(void) { return ARJHOST_VERSION_NUMBER; }

arjhost_archive* arjhost_open_path(const char* path, const arjhost_options* options) {
  arjhost_archive* a = NewHandle(options, path != nullptr ? path : "");
  if (a == nullptr || a->open_failure.code != ARJHOST_OK) return a;
  if (path == nullptr || *path == '\0') {
    a->open_failure = a->failure;
    a->open_failure.Set(ARJHOST_ERR_ARGUMENT, "no archive named");
    a->failure = a->open_failure;
    return a;
  }
  arjhost::OpenResult opened;
  Guarded(a->failure, [&] {
    a->path = path;
    opened = arjhost::Archive::OpenFile(*a->host, path, OpenOptionsOf(a));
    return ARJHOST_OK;
  });
  return Opened(a, std::move(opened));
}

arjhost_archive* arjhost_open_memory(const void* data, size_t size, const arjhost_options* options) {
  arjhost_archive* a = NewHandle(options, "");
  if (a == nullptr || a->open_failure.code != ARJHOST_OK) return a;
  arjhost::OpenResult opened;
  static const uint8_t kNothing = 0;  // an empty archive has no bytes to point at
  Guarded(a->failure, [&] {
    opened = arjhost::Archive::OpenMemory(*a->host, data != nullptr ? data : &kNothing, data != nullptr ? size : 0,
                                          OpenOptionsOf(a));
    return ARJHOST_OK;
  });
  return Opened(a, std::move(opened));
}

arjhost_archive* arjhost_open_callbacks(const arjhost_callbacks* callbacks, const arjhost_options* options) {
  arjhost_archive* a = NewHandle(options, "");
  if (a == nullptr || a->open_failure.code != ARJHOST_OK) {
    // The stream is the library's from the call on: done with, it is closed.
    if (callbacks != nullptr && callbacks->close != nullptr) callbacks->close(callbacks->user);
    return a;
  }
  arjhost::OpenResult opened;
  Guarded(a->failure, [&] {
    if (callbacks == nullptr) return a->failure.Set(ARJHOST_ERR_ARGUMENT, a->label + ": no callbacks given");
    a->source = arjhost::capi::CallbackSource::Open(*callbacks, a->settings, &a->kept, a->label, &a->failure);
    if (!a->source) return a->failure.code;
    const arjhost::OpenOptions& open = OpenOptionsOf(a);
    // Kept in memory, it is read where it lies.
    if (const std::vector<uint8_t>* memory = a->source->Memory())
      opened = arjhost::Archive::OpenMemory(*a->host, memory->data(), memory->size(), open);
    else
      opened = arjhost::Archive::OpenReader(*a->host, a->source->Reader(), open);
    return ARJHOST_OK;
  });
  if (a->failure.code != ARJHOST_OK) {
    a->open_failure = a->failure;
    return a;
  }
  return Opened(a, std::move(opened));
}

void arjhost_close(arjhost_archive* a) {
  if (a == nullptr) return;
  Guarded(a->failure, [&] {
    a->EndStream();
    a->FinishExtraction();
    return ARJHOST_OK;
  });
  delete a;
}

int arjhost_error_code(const arjhost_archive* a) { return a != nullptr ? a->failure.code : ARJHOST_ERR_ARGUMENT; }

const char* arjhost_error_string(const arjhost_archive* a) {
  return a != nullptr ? a->failure.message.c_str() : "no archive handle";
}

int arjhost_set_password(arjhost_archive* a, const char* password) {
  int r = ARJHOST_OK;
  if (!Usable(a, &r)) return r;
  return Guarded(a->failure, [&] {
    a->EndStream();
    a->settings.has_password = password != nullptr;
    a->settings.password = password != nullptr ? password : "";
    return ARJHOST_OK;
  });
}

int arjhost_set_password_callback(arjhost_archive* a, arjhost_password_callback callback, void* user) {
  int r = ARJHOST_OK;
  if (!Usable(a, &r)) return r;
  a->EndStream();
  a->settings.options.password_callback = callback;
  a->settings.options.password_user = user;
  return ARJHOST_OK;
}

unsigned arjhost_archive_flags(const arjhost_archive* a) {
  if (a == nullptr || !a->archive) return 0;
  const arjhost::ArchiveState& s = a->archive->state();
  unsigned flags = 0;
  if (s.multi_volume) flags |= ARJHOST_ARCHIVE_MULTI_VOLUME;
  if (arjhost::ArchiveDamaged(s, a->entries)) flags |= ARJHOST_ARCHIVE_DAMAGED;
  if (s.incomplete || !s.unreadable_volumes.empty()) flags |= ARJHOST_ARCHIVE_INCOMPLETE;
  if (s.secured) flags |= ARJHOST_ARCHIVE_SECURED;
  if (s.protected_data) flags |= ARJHOST_ARCHIVE_PROTECTED;
  if (!s.skipped.empty()) flags |= ARJHOST_ARCHIVE_RECOVERED;
  if (!s.damaged_main_headers.empty()) flags |= ARJHOST_ARCHIVE_MAIN_HEADER_DAMAGED;
  if (s.damaged) flags |= ARJHOST_ARCHIVE_HEADERS_UNREAD;
  if (s.incomplete) flags |= ARJHOST_ARCHIVE_VOLUME_MISSING;
  for (const arjhost::RecordRebuild& r : s.record_rebuilds)
    flags |= r.rebuilt ? ARJHOST_ARCHIVE_REBUILT : ARJHOST_ARCHIVE_BEYOND_RECORD;
  if (!arjhost::CheckArchiveChapter(s.chapter, a->entries).ok()) flags |= ARJHOST_ARCHIVE_CHAPTER_REFUSED;
  return flags;
}

size_t arjhost_archive_entry_count(const arjhost_archive* a) { return a != nullptr ? a->entries.size() : 0; }

const char* arjhost_archive_comment(arjhost_archive* a) {
  if (a == nullptr || !a->archive) return "";
  Guarded(a->failure, [&] {
    // An archive comment's bytes are the DOS code page's unless UTF-8.
    a->comment = arjhost::DisplayName(a->archive->state().comment, a->settings.options.codepage);
    return ARJHOST_OK;
  });
  return a->comment.c_str();
}

int arjhost_archive_chapter(const arjhost_archive* a) {
  return a != nullptr && a->archive ? a->archive->state().chapter : 0;
}

int arjhost_choose_chapter(arjhost_archive* a, int chapter) {
  int r = ARJHOST_OK;
  if (!Usable(a, &r)) return r;
  return Guarded(a->failure, [&] {
    arjhost::ChapterChoice choice;
    const arjhost::Status made =
        arjhost::ChapterChoice::Make(chapter, a->archive->state().chapter, a->entries, &choice);
    if (!made.ok()) return a->failure.Set(ARJHOST_ERR_ARGUMENT, a->label + ": " + made.message);
    a->chapters = choice;
    if (a->current.info != nullptr) a->current = a->EntryOf(*a->current.info);
    return a->failure.Clear();
  });
}

size_t arjhost_archive_volume_count(const arjhost_archive* a) {
  return a != nullptr && a->archive ? a->archive->state().volumes.size() : 0;
}

const char* arjhost_archive_volume_name(const arjhost_archive* a, size_t index) {
  if (a == nullptr || !a->archive || index >= a->archive->state().volumes.size()) return nullptr;
  return a->archive->state().volumes[index].c_str();
}

const char* arjhost_archive_unreadable_volume(arjhost_archive* a, size_t index, const char** cause) {
  if (cause != nullptr) *cause = nullptr;
  if (a == nullptr || !a->archive || index >= a->archive->state().unreadable_volumes.size()) return nullptr;
  const arjhost::UnreadableVolume& v = a->archive->state().unreadable_volumes[index];
  a->unreadable_volume = arjhost::DisplayName(v.name);
  if (cause != nullptr) *cause = v.status.message.c_str();
  return a->unreadable_volume.c_str();
}

const char* arjhost_archive_record_rebuild(arjhost_archive* a, size_t index, const uint32_t** blocks, size_t* count,
                                           const char** cause) {
  if (blocks != nullptr) *blocks = nullptr;
  if (count != nullptr) *count = 0;
  if (cause != nullptr) *cause = nullptr;
  if (a == nullptr || !a->archive || index >= a->archive->state().record_rebuilds.size()) return nullptr;
  const arjhost::RecordRebuild& r = a->archive->state().record_rebuilds[index];
  if (blocks != nullptr) *blocks = r.damaged_blocks.data();
  if (count != nullptr) *count = r.damaged_blocks.size();
  if (cause != nullptr && !r.rebuilt) *cause = r.cause.c_str();
  a->rebuilt_volume = arjhost::DisplayName(r.volume);
  return a->rebuilt_volume.c_str();
}

uint64_t arjhost_archive_digest(const arjhost_archive* a) {
  return a != nullptr && a->archive ? a->archive->state().digest : 0;
}

int arjhost_seek_entry(arjhost_archive* a, size_t index, arjhost_entry** entry) {
  if (a != nullptr) a->next = a->entries.size() < index ? a->entries.size() : index;
  return arjhost_next_entry(a, entry);
}

int arjhost_next_entry(arjhost_archive* a, arjhost_entry** entry) {
  int r = ARJHOST_OK;
  if (entry != nullptr) *entry = nullptr;
  if (!Usable(a, &r)) return r;
  if (entry == nullptr) return a->failure.Set(ARJHOST_ERR_ARGUMENT, a->label + ": no place for the entry given");
  return Guarded(a->failure, [&] {
    a->EndStream();
    a->data_done = false;
    a->data_result.Clear();
    a->current = arjhost_entry{};
    if (a->next >= a->entries.size()) {
      // The folders extracted into take their times once all is in place.
      a->FinishExtraction();
      return a->failure.code != ARJHOST_OK ? a->failure.code : ARJHOST_END;
    }
    a->current = a->EntryOf(a->entries[a->next++]);
    *entry = &a->current;
    return ARJHOST_OK;
  });
}

}  // extern "C"
