#include "plugin/rebuild/new_comment.h"

#include <cstring>

ResultCode QueriedComment(ObjectRef list, uint32_t query, uint64_t number, uint8_t* buffer, bool* given,
                          EntryComment* comment) {
  *given = false;
  *comment = {};
  ObjectRef unused = nullptr;
  const uint32_t answer = host::ChangeList(list).QueryEntry(list, &unused, query, number);
  host::CloseIfOpen(unused);  // none is asked for: one handed over is ours to close
  if (answer == 0) return RESULT_OK;
  uint32_t length = 0;
  if (Failed(list->system->GetPropBuffer(list, &length, PROP_QUERIED_COMMENT, nullptr, 0))) return RESULT_OK;
  if (length > kNewCommentBufferSize) return ERR_BAD_PARAMETER;
  uint32_t read = 0;
  if (length != 0) {
    const ResultCode r = list->system->GetPropBuffer(list, &read, PROP_QUERIED_COMMENT, buffer, length);
    if (Failed(r)) return r;
    if (read != length) return ERR_BAD_PARAMETER;
  }
  // A NUL would end the comment early for every reader.
  if (std::memchr(buffer, 0, length) != nullptr) return ERR_BAD_PARAMETER;
  *given = true;
  *comment = {buffer, length};
  return RESULT_OK;
}
