// What must hold before a rebuild writes anything: every old entry can be
// copied from the archive I/O, whole, at offsets that make sense.
#pragma once

#include "plugin/state/archiver_state.h"

// ERR_UNSUPPORTED for an archive of several volumes, an entry in another
// volume or a split entry; ERR_CORRUPTED for an entry whose stored header
// span or packed data do not lie within the archive I/O.
[[nodiscard]] ResultCode CheckCopyableArchive(const ArchiverState& s);
