// Text an archive stores, for people: names and comments as UTF-8, and
// result codes in words.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "runtime/api/export.h"

namespace arjhost {

struct EntryInfo;

// True when `text` is well-formed UTF-8.
ARJHOST_API bool IsValidUtf8(std::string_view text);
// Decodes `bytes` in code page 437, 850, 866 or 65001 (UTF-8) into UTF-8.
ARJHOST_API std::string DecodeToUtf8(std::string_view bytes, int codepage);
// A stored name (EntryInfo::name holds the stored bytes) as UTF-8: as it
// is when it is valid UTF-8, else decoded from `fallback_codepage`.
ARJHOST_API std::string DisplayName(std::string_view stored, int fallback_codepage = 437);

// Whether the entry was made on UNIX (its header says so): its names are
// then its file system's bytes, and its attributes a UNIX mode.
ARJHOST_API bool MadeOnUnix(const EntryInfo& entry);
// A name the entry stores (its own, or a link's target) as text: the
// stored bytes as they are for an entry made on UNIX (as arj and tar keep
// them), else DisplayName's. This is what extraction writes.
ARJHOST_API std::string EntryText(std::string_view stored, const EntryInfo& entry, int fallback_codepage = 437);

// "not found", "corrupted data", ... for a result code.
ARJHOST_API const char* ResultName(int32_t result);
// "0x800000C5 (not found)".
ARJHOST_API std::string DescribeResult(int32_t result);

}  // namespace arjhost
