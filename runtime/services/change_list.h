// IID_CHANGE_LIST_2: what a rebuild does with each old entry (keep as
// stored, drop, replace), which new objects it appends, the comments it
// writes and the password it garbles every entry it encodes with, filled
// in by embedders through the functions below.
//
// Content is given as an opener that makes an I/O object as a child of the
// list when the rebuild reaches it, so that a rebuild of thousands of files
// holds one open at a time. A replacement is handed to the plug-in, which
// closes it after its entry; an added object stays the list's, which closes
// it once the plug-in has moved on to the next one. Whatever the rebuild
// never reached closes with the list.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "plugin/host/host_objects.h"

namespace arjrt {

constexpr uint32_t PID_CHANGE_LIST = 210;

// Makes the content's I/O object as a child of `list` into *out.
using ContentOpener = std::function<ResultCode(ObjectRef list, ObjectRef* out)>;

// Entry numbers are 1-based, as the rebuild asks for them. Entries the list
// is told nothing about are kept as stored.
[[nodiscard]] ResultCode ChangeListDrop(ObjectRef list, uint64_t entry_number);
[[nodiscard]] ResultCode ChangeListReplace(ObjectRef list, uint64_t entry_number, ContentOpener content);
// Appended in the order of these calls. The object's PROP_OBJECT_NAME is
// the entry's stored name; `comment`, when given, its comment.
[[nodiscard]] ResultCode ChangeListAdd(ObjectRef list, ContentOpener content,
                                       std::optional<std::string> comment = std::nullopt);
// The comment written in place of the stored one ("" for none): of old
// entry `entry_number`, or of the archive (0).
[[nodiscard]] ResultCode ChangeListComment(ObjectRef list, uint64_t entry_number, std::string comment);
// The password every entry the rebuild encodes is garbled with ("" for
// none).
[[nodiscard]] ResultCode ChangeListGarblePassword(ObjectRef list, std::string password);
// The first failure an opener reported during a rebuild (0 if none), for
// the embedder's message: the plug-in sees only a missing object.
[[nodiscard]] ResultCode ChangeListOpenFailure(ObjectRef list);

[[nodiscard]] ResultCode RegisterChangeListService(ObjectRef root);

}  // namespace arjrt
