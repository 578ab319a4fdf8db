// A comment the change list gives in place of the one stored: of the
// archive, of an old entry, or of an added object.
#pragma once

#include <cstdint>

#include "plugin/host/host_objects.h"
#include "plugin/rebuild/encoded_entry.h"

// Room for the longest comment a basic header can hold.
constexpr uint32_t kNewCommentBufferSize = arjhost::format::kMaxBasicHeaderSize;

// Asks `list`, of the second version, for the comment of `subject` and
// `number` (COMMENT_OF_*); when it gives one, reads it into `buffer`
// (kNewCommentBufferSize bytes) and sets *given and *comment.
// ERR_BAD_PARAMETER for a comment longer than a header holds or holding a
// NUL; the list's own failure as it is.
[[nodiscard]] ResultCode ListedComment(ObjectRef list, uint32_t subject, uint64_t number, uint8_t* buffer,
                                       bool* given, EntryComment* comment);
