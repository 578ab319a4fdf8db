// The current entry's data: read, skipped, tested, or extracted into a
// folder.
#include <algorithm>

#include "runtime/bindings/c/c_archive.h"
#include "runtime/operations/folder_extraction.h"

using arjhost::capi::CodeOf;
using arjhost::capi::Guarded;

namespace {

// Every call on the current entry starts here: false (with the failure
// it returns) for no handle, one whose open failed, or no current entry.
bool HasEntry(arjhost_archive* a, int* result) {
  if (a == nullptr) {
    *result = ARJHOST_ERR_ARGUMENT;
    return false;
  }
  if (!a->Usable(result)) return false;
  if (a->current.info != nullptr) return true;
  *result = a->failure.Set(ARJHOST_ERR_ARGUMENT, a->label + ": no current entry (arjhost_next_entry gives one)");
  return false;
}

int FailedEntry(arjhost_archive* a, const arjhost::Status& status) {
  return a->failure.Set(CodeOf(status), a->AboutEntry(status.message));
}

bool HoldsHardLinks(const std::vector<arjhost::EntryInfo>& entries) {
  return std::any_of(entries.begin(), entries.end(), [](const arjhost::EntryInfo& e) {
    return e.header_known && e.file_type == arjhost::format::FileType::kUnixSpecial &&
           e.special == arjhost::EntryInfo::Special::kHardLink;
  });
}

}  // namespace

extern "C" {

ptrdiff_t arjhost_read_data(arjhost_archive* a, void* buffer, size_t size) {
  int r = ARJHOST_OK;
  if (!HasEntry(a, &r)) return r;
  // Nothing asked, nothing read, as read(2) does: not the end, not an error.
  if (size == 0) return 0;
  if (buffer == nullptr) return a->failure.Set(ARJHOST_ERR_ARGUMENT, a->AboutEntry("no buffer to read into"));
  // Once the data ended, each read says how it ended.
  if (a->data_done) {
    a->failure = a->data_result;
    return a->data_result.code;
  }
  ptrdiff_t n = 0;
  const int guarded = Guarded(a->failure, [&] {
    if (!a->stream) a->stream = std::make_unique<arjhost::capi::EntryStream>(*a->archive, *a->current.info, a->Passwords());
    n = a->stream->Read(buffer, size);
    if (n > 0) return ARJHOST_OK;
    a->data_done = true;
    if (n < 0) FailedEntry(a, a->stream->result().status);
    a->data_result = a->failure;
    a->EndStream();
    return a->failure.code;
  });
  return guarded != ARJHOST_OK ? guarded : n;
}

int arjhost_skip_data(arjhost_archive* a) {
  int r = ARJHOST_OK;
  if (!HasEntry(a, &r)) return r;
  a->EndStream();
  a->data_done = true;
  a->data_result.Clear();
  return ARJHOST_OK;
}

int arjhost_test_data(arjhost_archive* a) {
  int r = ARJHOST_OK;
  if (!HasEntry(a, &r)) return r;
  return Guarded(a->failure, [&] {
    a->EndStream();
    const arjhost::ExtractResult tested = a->archive->Test(*a->current.info, a->Passwords());
    return tested.ok() ? ARJHOST_OK : FailedEntry(a, tested.status);
  });
}

int arjhost_extract(arjhost_archive* a, const char* folder, unsigned flags) {
  int r = ARJHOST_OK;
  if (!HasEntry(a, &r)) return r;
  if (folder == nullptr || *folder == '\0')
    return a->failure.Set(ARJHOST_ERR_ARGUMENT, a->AboutEntry("no folder to extract into"));
  a->extracted_path.clear();
  return Guarded(a->failure, [&] {
    a->EndStream();
    // Another folder, or other switches: the one before is done with.
    if (a->target && !a->target->Serves(folder, flags)) {
      a->FinishExtraction();
      if (a->failure.code != ARJHOST_OK) return a->failure.code;
    }
    if (!a->target) {
      a->target = arjhost::capi::FolderTarget::Open(folder, flags, a->settings.options.codepage,
                                                     HoldsHardLinks(a->entries), &a->failure);
      if (!a->target) return a->failure.code;
    }
    const arjhost::EntryInfo& e = *a->current.info;
    if (const arjhost::Status problem = arjhost::CheckEntry(e); !problem.ok()) return FailedEntry(a, problem);
    arjhost::FolderExtraction::Hooks hooks;
    if ((flags & ARJHOST_EXTRACT_OVERWRITE) != 0)
      hooks.existing = [](const std::string&) { return arjhost::ExistingFile::kReplace; };
    else if ((flags & ARJHOST_EXTRACT_SKIP_EXISTING) != 0)
      hooks.existing = [](const std::string&) { return arjhost::ExistingFile::kKeep; };
    const size_t tag = static_cast<size_t>(a->current.info - a->entries.data());
    arjhost::FolderExtraction::Step step = a->target->extraction().Prepare(e, tag, hooks);
    using Kind = arjhost::FolderExtraction::Step::Kind;
    switch (step.kind) {
      case Kind::kDone: a->extracted_path = step.path; return ARJHOST_OK;
      case Kind::kNothing: return ARJHOST_OK;
      case Kind::kSkipped: return a->failure.Set(ARJHOST_SKIPPED, a->AboutEntry(step.why));
      case Kind::kFailed: return a->failure.Set(ARJHOST_ERR_REFUSED, a->AboutEntry(step.why));
      case Kind::kDecode: break;
    }
    const arjhost::ExtractResult extracted = a->archive->ExtractToFile(e, step.file.fd(), a->Passwords());
    const std::string why =
        a->target->extraction().FinishFile(e, std::move(step.file), extracted, extracted.status.message);
    if (why.empty()) {
      a->extracted_path = step.path;
      return ARJHOST_OK;
    }
    return a->failure.Set(extracted.ok() ? ARJHOST_ERR_IO : CodeOf(extracted.status), a->AboutEntry(why));
  });
}

const char* arjhost_extracted_path(const arjhost_archive* a) { return a != nullptr ? a->extracted_path.c_str() : ""; }

}  // extern "C"
