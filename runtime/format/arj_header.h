// The runtime's view of one ARJ header, for what the plug-in does not
// report (times, file types, attributes, whole names) and for finding and
// recovering archives. The rules are the format module's; this reads
// through an I/O object's positional SeekRead.
#pragma once

#include <cstdint>
#include <string>

#include "plugin/format/header_parse.h"
#include "plugin/host/host_objects.h"

namespace arjrt {

struct ArjHeader {
  uint64_t offset = 0;       // where the header id is
  uint64_t data_offset = 0;  // just after the extended headers: the packed data of a local header
  uint64_t next_offset = 0;  // where the next header starts
  uint16_t basic_size = 0;
  uint8_t first_header_size = 0;
  uint8_t archiver_version = 0;
  uint8_t min_version = 0;
  uint8_t host_os = 0;
  uint8_t flags = 0;
  uint8_t method = 0;
  uint8_t file_type = 0;
  uint8_t garble_modifier = 0;
  uint32_t file_time = 0;  // as stored; its form depends on host_os (see arj_time.h)
  uint32_t packed_size = 0;
  uint32_t original_size = 0;
  uint32_t file_crc = 0;
  uint16_t filespec_position = 0;
  uint16_t access_mode = 0;
  uint8_t first_chapter = 0;
  uint8_t last_chapter = 0;
  // Where a part of a file starts in the file, from the first header's
  // bytes past its fixed part (a first header size of 34 or more); -1
  // when the header does not hold it.
  int64_t file_position = -1;
  // Access and creation times, stored as file_time is, in the first
  // header's bytes after the file position (arj 2.6 and later); 0 when the
  // header does not hold them.
  uint32_t accessed_time = 0;
  uint32_t created_time = 0;
  bool crc_matches = false;  // the basic and extended headers match their CRCs
  std::string name;
  std::string comment;
  // A local header of file type 6: the body of its extended header tagged
  // 'U' (after the tag), where arj -a1 says which link or special file it
  // is; empty when there is none.
  std::string unix_extension;
};

// Reads the header at `offset` of `io` under `policy` into `out` (every
// field is set on kHeader and on a CRC cause; the offsets on kEndMarker).
// `io_error` (if given) receives the I/O's code on kReadFailed.
HeaderCause ReadHeaderAt(ObjectRef io, uint64_t offset, HeaderRole role, const HeaderPolicy& policy, ArjHeader* out,
                         ResultCode* io_error = nullptr);

// Fills `out` from a basic header already judged whole in `bytes`.
void HeaderFromBytes(const uint8_t* bytes, const HeaderFacts& facts, ArjHeader* out);

// A message for what ReadHeaderAt found at `header`'s offset.
std::string DescribeHeaderCause(HeaderCause cause, const ArjHeader& header, ResultCode io_error);

}  // namespace arjrt
