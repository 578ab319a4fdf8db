#include "plugin/format/header_walk.h"

#include <algorithm>
#include <cstring>

namespace arjhost::format {
namespace {

constexpr uint32_t kSearchChunk = 64 * 1024;

bool DataFits(const HeaderFields& header, uint64_t size) {
  return header.data_offset <= size && header.packed_size <= size - header.data_offset;
}

// A header that fails only its CRC, whole and with its data inside the
// bytes, is kept when a sound header (or the end marker) follows its
// data: its size fields led there, so only its other fields may be wrong.
// Its entry is then read and judged (failed for its header) rather than
// lost without a word. `*after` is then where the following header starts.
bool DamagedButPlaced(const ByteReader& reader, uint64_t at, uint64_t size, uint64_t* after) {
  HeaderFields header, next;
  if (ReadHeaderFields(reader, at, HeaderRole::kLocal, kTablePolicy, &header) != HeaderCause::kHeader ||
      header.crc_matches || !DataFits(header, size))
    return false;
  const HeaderCause cause = ReadHeaderFields(reader, header.next_offset, HeaderRole::kLocal, kSoundPolicy, &next);
  if (cause != HeaderCause::kEndMarker && (cause != HeaderCause::kHeader || !DataFits(next, size))) return false;
  *after = header.next_offset;
  return true;
}

}  // namespace

WalkEnd WalkLocalHeadersFrom(const ByteReader& reader, uint64_t first_local, const HeaderPolicy& policy,
                             const HeaderVisitor& visit, uint64_t max_headers) {
  WalkEnd end;
  HeaderFields& header = end.header;
  uint64_t at = first_local;
  for (;; ++end.visited) {
    if (end.visited >= max_headers) {
      end.limit_reached = true;
      break;
    }
    end.cause = ReadHeaderFields(reader, at, HeaderRole::kLocal, policy, &header, &end.read_error);
    if (end.cause != HeaderCause::kHeader) break;
    at = header.next_offset;
    visit(header);
  }
  return end;
}

WalkEnd WalkLocalHeaders(const ByteReader& reader, uint64_t main_offset, const HeaderPolicy& policy,
                         const HeaderVisitor& visit, uint64_t max_headers) {
  WalkEnd end;
  end.main_header = true;
  end.cause = ReadHeaderFields(reader, main_offset, HeaderRole::kMain, policy, &end.header, &end.read_error);
  // An end marker where the main header belongs opens no archive.
  if (end.cause == HeaderCause::kEndMarker) end.cause = HeaderCause::kTruncated;
  if (end.cause != HeaderCause::kHeader) return end;
  const bool main_crc_matches = end.header.crc_matches;
  end = WalkLocalHeadersFrom(reader, end.header.next_offset, policy, visit, max_headers);
  end.main_crc_matches = main_crc_matches;
  return end;
}

SearchEnd FindHeader(const ByteReader& reader, uint64_t from, uint64_t end, const HeaderFilter& accept) {
  SearchEnd result;
  // Each chunk is read with the largest header's worth of bytes after it,
  // so that a header starting near its end is judged whole.
  std::vector<uint8_t> bytes(size_t{kSearchChunk} + kMaxHeaderPrefix);
  HeaderFacts facts;
  for (uint64_t chunk = from; chunk < end;) {
    const int64_t read = reader.read(reader.context, chunk, bytes.data(), static_cast<uint32_t>(bytes.size()));
    if (read < 0) {
      result.read_error = static_cast<int32_t>(read);
      return result;
    }
    const auto got = static_cast<size_t>(std::min<int64_t>(read, static_cast<int64_t>(bytes.size())));
    const size_t stop = static_cast<size_t>(std::min<uint64_t>({kSearchChunk, end - chunk, got}));
    for (size_t p = 0; p < stop; ++p) {
      const void* hit = std::memchr(bytes.data() + p, kArjHeaderIdLow, stop - p);
      if (hit == nullptr) break;
      p = static_cast<size_t>(static_cast<const uint8_t*>(hit) - bytes.data());
      facts = HeaderFacts{};
      facts.offset = chunk + p;
      if (ParseBasicHeader(bytes.data() + p, got - p, &facts) != HeaderCause::kHeader || !facts.basic_crc_matches)
        continue;
      if (accept(bytes.data() + p, facts)) {
        result.found = true;
        result.offset = chunk + p;
        return result;
      }
    }
    if (got <= kSearchChunk || end - chunk <= kSearchChunk) break;  // the bytes or the range end in this chunk
    chunk += kSearchChunk;
  }
  return result;
}

SearchEnd FindMainHeader(const ByteReader& reader, uint64_t limit) {
  bool acceptable = false;
  SearchEnd end = FindHeader(reader, 0, limit, [&acceptable](const uint8_t* bytes, const HeaderFacts&) {
    acceptable = AcceptableMainHeader(bytes);
    return true;
  });
  if (!acceptable) end.found = false;
  return end;
}

RecoveryPlan PlanRecovery(const ByteReader& reader, uint64_t size) {
  RecoveryPlan plan;
  HeaderFields header;
  HeaderCause cause = ReadHeaderFields(reader, 0, HeaderRole::kMain, kSoundPolicy, &header, &plan.read_error);
  if (cause != HeaderCause::kHeader) {
    plan.main_header = cause;
    return plan;
  }
  // The search takes no main header: one inside a damaged entry's data
  // belongs to an archive stored there, not to this one.
  const auto sound = [&reader, size](const uint8_t* bytes, const HeaderFacts& facts) {
    HeaderFields full;
    return EntryFileType(bytes) != FileType::kMainHeader &&
           ReadHeaderFields(reader, facts.offset, HeaderRole::kLocal, kSoundPolicy, &full) == HeaderCause::kHeader &&
           DataFits(full, size);
  };
  // Every turn moves `at` forward: past a sound entry's data, or to a
  // later offset found by the search.
  uint64_t at = header.next_offset;
  while (at < size) {
    cause = ReadHeaderFields(reader, at, HeaderRole::kLocal, kSoundPolicy, &header);
    if (cause == HeaderCause::kReadFailed) break;
    // A header whose size was zeroed reads as the end marker: sound entries
    // after it say that it is none (trailing bytes, as ARJ-PROTECT's, hold
    // no header that matches its CRC).
    if (cause == HeaderCause::kEndMarker) {
      if (plan.skipped.size() + 1 >= kMaxSkippedRanges) break;
      const SearchEnd found = FindHeader(reader, at + kEndMarkerSize, size, sound);
      if (!found.found) break;
      plan.skipped.push_back({at, found.offset - at, "an end marker with entries after it"});
      at = found.offset;
      continue;
    }
    if ((cause == HeaderCause::kHeaderCrcMismatch || cause == HeaderCause::kExtendedCrcMismatch) &&
        DamagedButPlaced(reader, at, size, &at))
      continue;
    std::string why;
    if (cause == HeaderCause::kHeader) {
      if (DataFits(header, size)) {
        at = header.next_offset;
        continue;
      }
      why = "packed data runs past the end of the file";
    } else {
      why = DescribeHeaderCause(cause, header);
    }
    uint64_t next = size;
    if (plan.skipped.size() + 1 < kMaxSkippedRanges) {
      const SearchEnd found = FindHeader(reader, at + 1, size, sound);
      if (found.found) next = found.offset;
    } else {
      why += "; too many damaged places to search further";
    }
    plan.skipped.push_back({at, next - at, std::move(why)});
    at = next;
  }
  return plan;
}

}  // namespace arjhost::format
