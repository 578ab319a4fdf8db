// Bounds an embedder sets on the work of one runtime, so that hostile input
// ends in a clear refusal instead of exhausting memory.
#pragma once

#include <cstdint>

namespace arjrt {

struct RuntimeLimits {
  uint32_t max_entries = 0;  // entries per archive; 0: the plug-in's own bound
  uint32_t max_volumes = 0;  // volumes per set; 0: the plug-in's own bound
  // Bytes each memory object may hold at once (the plug-in keeps an open
  // archive's tables in one); 0: no bound.
  uint64_t archive_memory = 0;
  // Bytes a temporary I/O keeps in memory before it moves to a file. More
  // than 8 MiB measured no faster once a spill lands in the destination
  // itself, and memory must not grow with an entry's size.
  uint64_t extract_memory = uint64_t{8} << 20;
};

}  // namespace arjrt
