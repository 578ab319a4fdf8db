// Archives in memory whole, for the ARJ-PROTECT record: reading one,
// writing it back, and protecting a newly written one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace arjhost {

// A regular file's bytes (at most `limit` of them); false with `error` set.
bool ReadWholeFile(const std::string& path, uint64_t limit, std::vector<uint8_t>* bytes, std::string* error);
// Its last `count` bytes (or all, when fewer); false with `error` set.
bool ReadFileEnd(const std::string& path, uint64_t count, std::vector<uint8_t>* bytes, std::string* error);
// Writes `bytes` over the file's content; false with `error` set.
bool WriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes, std::string* error);

// Marks the archive written at `path` (not yet in place) as protected and
// appends its ARJ-PROTECT record; "" or why not.
std::string ProtectFile(const std::string& path);

}  // namespace arjhost
