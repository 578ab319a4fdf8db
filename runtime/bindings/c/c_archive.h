// The C API's reading handle: what arjhost_archive and arjhost_entry hold.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "runtime/api/archive.h"
#include "runtime/operations/chapter_choice.h"
#include "runtime/bindings/c/arjhost.h"
#include "runtime/bindings/c/c_settings.h"
#include "runtime/bindings/c/c_sources.h"
#include "runtime/bindings/c/c_status.h"
#include "runtime/bindings/c/entry_stream.h"
#include "runtime/bindings/c/folder_target.h"
#include "runtime/api/host.h"

struct arjhost_entry {
  const arjhost::EntryInfo* info = nullptr;
  // As the tool shows them: UTF-8.
  std::string name;
  std::string link_target;
  std::string comment;
  uint64_t tested = 0;  // the bytes a test delivered, in arjhost_test_all's callback
  bool taken = true;    // by the archive's chapter choice
  std::string path;     // where extraction puts it ("" nowhere)
};

struct arjhost_archive {
  arjhost::capi::Settings settings;
  std::string label;  // the archive as messages name it
  std::string path;   // the file it was opened from ("" for memory and callbacks)
  arjhost::OpenOptions open_options;  // as it was opened
  arjhost::capi::Failure failure;
  arjhost::capi::Failure open_failure;  // every call on an archive that did not open fails with it
  std::unique_ptr<arjhost::Host> host;
  // What the archive is read from; they outlive it.
  uint64_t kept = 0;  // bytes of streams that cannot seek, kept
  std::unique_ptr<arjhost::capi::CallbackSource> source;
  std::vector<std::unique_ptr<arjhost::capi::CallbackSource>> volumes;
  std::unique_ptr<arjhost::Archive> archive;
  std::vector<arjhost::EntryInfo> entries;
  arjhost::ChapterChoice chapters;  // the tool's, when no chapter is named
  std::string comment;  // the archive's, as UTF-8
  std::string unreadable_volume;  // the last arjhost_archive_unreadable_volume gave
  std::string rebuilt_volume;     // the last arjhost_archive_record_rebuild gave
  size_t next = 0;      // the entry arjhost_next_entry moves to
  arjhost_entry current;
  // The current entry's data: being read, or done with (a result kept for
  // every read after it).
  std::unique_ptr<arjhost::capi::EntryStream> stream;
  bool data_done = false;
  arjhost::capi::Failure data_result;
  // Extraction into one folder at a time, its folders' times applied at
  // the end.
  std::unique_ptr<arjhost::capi::FolderTarget> target;
  std::string extracted_path;  // what the last arjhost_extract made, under its folder

  // Every call on the handle starts here: false, with the failure it
  // returns in `result`, when the open failed (each call fails with it).
  bool Usable(int* result);
  // The passwords of garbled entries: the one set first, then the callback.
  arjhost::PasswordSource Passwords();
  // "ARCHIVE: ENTRY: why" for the current entry.
  std::string AboutEntry(const std::string& why) const;
  // `entry` as the accessors read it.
  arjhost_entry EntryOf(const arjhost::EntryInfo& entry) const;
  // Ends the current entry's decoding, if one is under way.
  void EndStream() { stream.reset(); }
  // Once every entry is done, or on close: the extracted folders' times.
  void FinishExtraction();
};
