#include "plugin/access/enumeration.h"

#include "plugin/access/entry_properties.h"
#include "plugin/state/archiver_state.h"
#include "plugin/state/state_tables.h"

ResultCode Reset(ObjectRef archiver) {
  ArchiverState& s = StateOf(archiver);
  s.current_entry = 0;
  s.entry_selector = kCurrentEntrySelector;
  return RESULT_OK;
}

ResultCode SetCurrent(ObjectRef archiver, uint64_t index) {
  StateOf(archiver).current_entry = index;
  return RESULT_OK;
}

ResultCode Next(ObjectRef archiver, uint64_t* handle, uint64_t previous) {
  ArchiverState& s = StateOf(archiver);
  uint64_t i = previous;
  uint64_t next;
  ResultCode result = RESULT_OK;
  for (;;) {
    s.current_entry = i;
    next = i + 1;
    // Nothing at or past the entry count is examined (a handle of ~0 wraps to 0 here).
    if (next == 0 || next > s.entry_count) {
      result = ERR_END_OF_LIST;
      break;
    }
    if (ContinuesPartBefore(s, i)) {
      i = next;
      continue;
    }
    break;
  }
  if (handle != nullptr) *handle = next;
  return result;
}

ResultCode OnPreClose(ObjectRef archiver) {
  ArchiverState& s = StateOf(archiver);
  ReleaseBlock(s, &s.work_buffer);
  ReleaseBlock(s, &s.volumes);
  ReleaseBlock(s, &s.entries);
  s.scanned_volume = nullptr;
  ReleaseBlock(s, &s.main_header);
  s.volume_count = 0;
  s.entry_count = 0;
  s.main_header_length = 0;
  host::CloseIfOpen(s.file_system);
  return RESULT_OK;
}
