#include "plugin/rebuild/new_comment.h"

#include <cstring>

ResultCode ListedComment(ObjectRef list, uint32_t subject, uint64_t number, uint8_t* buffer, bool* given,
                         EntryComment* comment) {
  *given = false;
  *comment = {};
  uint32_t listed = 0;
  uint32_t length = 0;
  const ResultCode r =
      host::ChangeList2(list).GetComment(list, subject, number, buffer, kNewCommentBufferSize, &listed, &length);
  if (r == ERR_BUFFER_TOO_SMALL) return ERR_BAD_PARAMETER;
  if (Failed(r)) return r;
  if (listed == 0) return RESULT_OK;
  if (length > kNewCommentBufferSize) return ERR_BAD_PARAMETER;
  // A NUL would end the comment early for every reader.
  if (std::memchr(buffer, 0, length) != nullptr) return ERR_BAD_PARAMETER;
  *given = true;
  *comment = {buffer, length};
  return RESULT_OK;
}
