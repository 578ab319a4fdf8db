// Reading one ARJ header into facts and a cause: the one parser behind the
// plug-in's entry table and the runtime's header walks. No I/O of its own
// (bytes come through a ByteReader), no allocation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "plugin/format/arj_layout.h"

namespace arjhost::format {

// What was found at a header's offset.
enum class HeaderCause : uint8_t {
  kHeader,               // a whole header
  kEndMarker,            // the end-of-archive marker (whatever follows it)
  kNoHeaderId,           // the bytes there do not start with the header id
  kTruncated,            // the bytes end inside the header or its extended headers
  kBasicHeaderTooLarge,  // a basic header size over kMaxBasicHeaderSize
  kHeaderCrcMismatch,    // the basic header fails its CRC (under a policy that requires it)
  kExtendedCrcMismatch,  // an extended header fails its CRC (likewise)
  kPastOffsetLimit,      // the header's data would end past what the policy's positions can name
  kReadFailed,           // the reader failed; HeaderFacts::read_error holds its code
};

// A short phrase for messages: "header CRC mismatch".
std::string HeaderCauseText(HeaderCause cause);

// What a reader counts as damage. Every reader parses headers alike;
// readers differ only here.
struct HeaderPolicy {
  bool crc_mismatch_is_damage;
  uint64_t offset_limit;  // a local header whose data ends past this is damaged
};

// The entry table, whose headers the runtime takes from the scan that
// reads them (header_notice.h), and each volume's main header: a header
// that fails a CRC is read like any other and marked (its entry is
// listed, and reported as damaged), and positions are 32-bit.
constexpr HeaderPolicy kTablePolicy = {false, kVolumeOffsetLimit};
// Recovery and the search for an archive behind a stub: only a header whose
// CRCs match is taken, since a search meets many byte runs that merely look
// like headers.
constexpr HeaderPolicy kSoundPolicy = {true, uint64_t{1} << 62};

// The main header has no packed data: its size fields hold other things.
enum class HeaderRole : uint8_t { kMain, kLocal };

// Reads up to `size` bytes at `offset` into `buffer`; returns the count
// delivered (fewer at the end of the data), or a negative I/O error code.
struct ByteReader {
  void* context;
  int64_t (*read)(void* context, uint64_t offset, void* buffer, uint32_t size);
};

struct HeaderFacts {
  uint64_t offset = 0;   // of the header id
  size_t available = 0;  // bytes read into the prefix
  uint16_t basic_size = 0;
  uint8_t first_header_size = 0;
  // From the header id on, within the prefix. A string that reaches the end
  // of the basic header without its NUL ends there.
  uint32_t name_at = 0;
  uint32_t name_length = 0;
  uint32_t comment_at = 0;
  uint32_t comment_length = 0;
  bool basic_crc_matches = false;
  bool extended_crc_matches = true;
  uint32_t extended_headers = 0;
  uint64_t data_offset = 0;  // after the extended headers (after the end marker for one)
  uint64_t next_offset = 0;  // after the packed data: where the next header starts
  int32_t read_error = 0;

  bool CrcMatches() const { return basic_crc_matches && extended_crc_matches; }
};

// The minimum version to extract a main header must ask for to start an
// archive: what every arj writes there. A header asking for another is
// refused, louder than arj, which reads any.
constexpr uint8_t kRecognizedMinVersion = 1;

// Whether the fixed header in `bytes` (kFixedHeaderSize of them) can start
// an archive: it has the header id, a basic header size arj reads, and
// asks for kRecognizedMinVersion. The one rule for a file's first bytes
// and for the header found behind a stub.
bool AcceptableMainHeader(const uint8_t* bytes);

// Judges the basic header in `bytes` (`available` of them, from a header
// id on): kHeader, kEndMarker, kNoHeaderId, kTruncated (fewer than the
// fixed header's 34 bytes, or the basic header and its CRC not whole) or
// kBasicHeaderTooLarge. On kHeader the sizes, strings and basic CRC of
// `facts` are set.
HeaderCause ParseBasicHeader(const uint8_t* bytes, size_t available, HeaderFacts* facts);

// Reads the header at `offset`: one read of up to kMaxHeaderPrefix bytes
// into `prefix` (which holds that many), the basic header judged, the
// extended headers walked (their CRCs checked), then `policy` applied. On
// kHeader and on a CRC cause every fact is set; on kEndMarker the offsets.
HeaderCause ReadHeader(const ByteReader& reader, uint64_t offset, HeaderRole role, const HeaderPolicy& policy,
                       uint8_t* prefix, HeaderFacts* facts);

}  // namespace arjhost::format
