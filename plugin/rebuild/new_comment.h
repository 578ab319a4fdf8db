// A comment the change list gives in place of the one stored: of the
// archive, of an old entry, or of an added object.
#pragma once

#include <cstdint>

#include "plugin/host/host_objects.h"
#include "plugin/rebuild/encoded_entry.h"

// Room for the longest comment a basic header can hold.
constexpr uint32_t kNewCommentBufferSize = arjhost::format::kMaxBasicHeaderSize;

// Asks `list` with QUERY_COMMENT or QUERY_ADDED_COMMENT about `number`;
// when it gives a comment, reads it into `buffer` (kNewCommentBufferSize
// bytes) and sets *given and *comment. A list that answers yes and serves
// no comment gives none: the stored one stays. ERR_BAD_PARAMETER for a
// comment longer than a header holds.
[[nodiscard]] ResultCode QueriedComment(ObjectRef list, uint32_t query, uint64_t number, uint8_t* buffer,
                                        bool* given, EntryComment* comment);
