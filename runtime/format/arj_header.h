// The runtime's own reader of ARJ headers, for what the plug-in does not
// report (times, file types, attributes) and for finding an archive behind
// a stub. It reads through positional SeekRead only and trusts no size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "plugin/host/host_objects.h"

namespace arjrt {

constexpr uint8_t kArjIdFirst = 0x60;
constexpr uint8_t kArjIdSecond = 0xEA;
constexpr uint32_t kMaxBasicHeaderSize = 2600;
// Bytes of the basic header up to and including the access mode; a first
// header shorter than this cannot hold the fields every reader needs.
constexpr uint32_t kMinFirstHeaderSize = 28;
// id, basic size, the largest basic header, its CRC, one extended size.
constexpr uint32_t kMaxHeaderPrefix = 4 + kMaxBasicHeaderSize + 4 + 2;
// Extended headers after one basic header; arj writes none or one.
constexpr uint32_t kMaxExtendedHeaders = 64;

constexpr uint8_t kArjFlagGarbled = 0x01;
constexpr uint8_t kArjFlagSplitNext = 0x04;
constexpr uint8_t kArjFlagSplitPrev = 0x08;

struct ArjHeader {
  uint64_t offset = 0;       // where the header id is
  uint64_t data_offset = 0;  // just after the extended headers: the packed data of a local header
  uint16_t basic_size = 0;
  uint8_t first_header_size = 0;
  uint8_t archiver_version = 0;
  uint8_t min_version = 0;
  uint8_t host_os = 0;
  uint8_t flags = 0;
  uint8_t method = 0;
  uint8_t file_type = 0;
  uint8_t garble_modifier = 0;
  uint32_t file_time = 0;  // as stored; its form depends on host_os (see entry_time.h)
  uint32_t packed_size = 0;
  uint32_t original_size = 0;
  uint32_t file_crc = 0;
  uint16_t filespec_position = 0;
  uint16_t access_mode = 0;
  uint8_t first_chapter = 0;  // 0 when the first header is too short to hold them
  uint8_t last_chapter = 0;
  bool crc_checked = false;  // the header CRC was verified (and matched)
  bool crc_matches = false;  // the stored header CRC is the basic header's, checked or not
  std::string name;
  std::string comment;

  // Where the next header starts after this local header's packed data.
  uint64_t NextOffset() const { return data_offset + packed_size; }
};

// Parses the basic header of `bytes`, which hold `available` bytes from a
// header id on, into `out` (offset and data_offset are left alone). Returns
// RESULT_OK; ERR_END_OF_LIST for an end marker (basic size 0);
// ERR_NOT_RECOGNIZED when the id is not there; ERR_END_OF_DATA when the
// bytes end within the header; ERR_CORRUPTED for a basic size above 2600,
// a first header size out of range, a name or comment without its NUL
// inside the basic header, or (with `verify_crc`) a header CRC that does
// not match.
ResultCode ParseBasicHeader(const uint8_t* bytes, size_t available, bool verify_crc, ArjHeader* out);

// Reads the header at `offset` of `io` with its extended headers (their
// CRCs are checked with `verify_crc` too). Returns what ParseBasicHeader
// does, or the I/O's error; on RESULT_OK every field of `out` is set. For an
// end marker `out->data_offset` is the offset just after it.
ResultCode ReadHeader(ObjectRef io, uint64_t offset, bool verify_crc, ArjHeader* out);

}  // namespace arjrt
