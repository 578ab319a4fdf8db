// Everything one header says, decoded: the fixed part's fields, what a
// longer first header adds (a part's position in its file, the access and
// creation times), the name and comment, the CRC state and the UNIX
// record of a link or special file. The one decoding that the runtime's
// walks and the embedding API fill entries from.
#pragma once

#include <cstdint>
#include <string>

#include "plugin/format/arj_types.h"
#include "plugin/format/header_parse.h"

namespace arjhost::format {

struct HeaderFields {
  uint64_t offset = 0;       // where the header id is
  uint64_t data_offset = 0;  // just after the extended headers: the packed data of a local header
  uint64_t next_offset = 0;  // where the next header starts
  uint16_t basic_size = 0;
  uint8_t first_header_size = 0;
  uint8_t archiver_version = 0;
  uint8_t min_version = 0;
  HostOs host_os = HostOs::kMsDos;
  uint8_t flags = 0;
  uint8_t method = 0;
  FileType file_type = FileType::kBinary;
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
  // A local header of file type 6: the body of its first extended header
  // tagged 'U' (see unix_special.h); empty when there is none.
  std::string unix_special;
};

// Fills `out` from a basic header already judged whole in `bytes` (all but
// the UNIX record, which lies in the extended headers).
void DecodeHeaderFields(const uint8_t* bytes, const HeaderFacts& facts, HeaderFields* out);

// Reads the header at `offset` under `policy` into `out`: every field on
// kHeader and on a CRC cause, the offsets on kEndMarker, the size read on
// kBasicHeaderTooLarge. `read_error` (if given) receives the reader's code
// on kReadFailed.
HeaderCause ReadHeaderFields(const ByteReader& reader, uint64_t offset, HeaderRole role, const HeaderPolicy& policy,
                             HeaderFields* out, int32_t* read_error = nullptr);

// What was found at `header`'s offset, for a message ("basic header size
// 3000 over 2600"); a failed read is "read failed", its cause the caller's
// to add.
std::string DescribeHeaderCause(HeaderCause cause, const HeaderFields& header);

}  // namespace arjhost::format
