// One table of crafted local headers and what each reader makes of them:
// the plug-in's header reader and scan, the runtime's header walk (which
// pairs headers with the plug-in's entries) and recovery. The reader, scan
// and recovery tests all run over it.
#pragma once

#include <string>
#include <vector>

#include "plugin/format/header_parse.h"
#include "plugin/host/host_types.h"
#include "tests/support/archive_builder.h"

namespace testing_support {

struct HeaderCase {
  std::string name;
  // A main header, the case's header at `offset` (with its data), then, for
  // most cases, a sound entry "b.txt" and the end marker.
  Bytes archive;
  uint64_t offset = 0;
  // The plug-in: ReadLocalHeader at `offset`, and the scan's entries and
  // damaged flag.
  ResultCode reader = RESULT_OK;
  size_t entries = 0;
  bool damaged = false;
  // The runtime's walk under the table policy at `offset`, and whether the
  // header matched its CRCs there (on kHeader).
  HeaderCause walk = HeaderCause::kHeader;
  bool crc_ok = true;
  // Recovery skips a damaged range at `offset`.
  bool recovery_skips = false;
  // Where the plug-in lists an entry that recovery leaves out: why.
  std::string divergence;
  // What arj 3.10 says of the same archive, for the record.
  std::string arj;
};

const std::vector<HeaderCase>& HeaderCases();

}  // namespace testing_support
