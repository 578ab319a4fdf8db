#include "runtime/api/internal/entry_headers.h"

#include "plugin/format/header_notice.h"
#include "runtime/format/header_io.h"

namespace arjhost {

namespace {

enum Mark : uint8_t { kCrcMatches = 1, kHasPosition = 2 };

}  // namespace

void EntryHeaders::Clear() {
  blocks_.clear();
  rows_ = 0;
  comments_.clear();
  long_names_.clear();
  special_volumes_.clear();
}

bool EntryHeaders::Take(ObjectRef volume_io, const uint8_t* bytes, size_t length) {
  uint32_t row = 0;
  format::HeaderFields h;
  if (!format::DecodeHeaderNotice(bytes, length, &row, &h)) return false;
  if (row == 0) Clear();
  // Rows come in order; another would not be the table's.
  if (row != rows_) return false;
  if (rows_ % kBlockRows == 0) blocks_.push_back(std::make_unique<Record[]>(kBlockRows));
  Record& r = blocks_.back()[rows_ % kBlockRows];
  r.offset = static_cast<uint32_t>(h.offset);
  r.file_position = h.file_position >= 0 ? static_cast<uint32_t>(h.file_position) : 0;
  r.file_time = h.file_time;
  r.accessed_time = h.accessed_time;
  r.created_time = h.created_time;
  r.access_mode = h.access_mode;
  r.archiver_version = h.archiver_version;
  r.min_version = h.min_version;
  r.host_os = format::Byte(h.host_os);
  r.flags = h.flags;
  r.method = h.method;
  r.file_type = format::Byte(h.file_type);
  r.first_chapter = h.first_chapter;
  r.last_chapter = h.last_chapter;
  r.marks = static_cast<uint8_t>((h.crc_matches ? kCrcMatches : 0) | (h.file_position >= 0 ? kHasPosition : 0));
  if (!h.comment.empty()) comments_.emplace(rows_, std::move(h.comment));
  if (h.name.size() >= format::kStoredNameChars) long_names_.emplace(rows_, std::move(h.name));
  if (h.file_type == format::FileType::kUnixSpecial) special_volumes_.emplace(rows_, volume_io);
  ++rows_;
  return true;
}

bool EntryHeaders::Read(uint64_t row, const std::string& reported, format::HeaderFields* out) const {
  if (row >= rows_) return false;
  const Record& r = blocks_[row / kBlockRows][row % kBlockRows];
  *out = format::HeaderFields{};
  out->offset = r.offset;
  out->file_position = (r.marks & kHasPosition) != 0 ? int64_t{r.file_position} : -1;
  out->file_time = r.file_time;
  out->accessed_time = r.accessed_time;
  out->created_time = r.created_time;
  out->access_mode = r.access_mode;
  out->archiver_version = r.archiver_version;
  out->min_version = r.min_version;
  out->host_os = format::HostOsOf(r.host_os);
  out->flags = r.flags;
  out->method = r.method;
  out->file_type = format::FileTypeOf(r.file_type);
  out->first_chapter = r.first_chapter;
  out->last_chapter = r.last_chapter;
  out->crc_matches = (r.marks & kCrcMatches) != 0;
  if (auto it = comments_.find(row); it != comments_.end()) out->comment = it->second;
  const auto long_name = long_names_.find(row);
  out->name = long_name != long_names_.end() ? long_name->second : reported;
  // The record lies in an extended header, which the notice does not carry.
  if (auto it = special_volumes_.find(row); it != special_volumes_.end()) {
    format::HeaderFields whole;
    format::ReadHeaderFields(arjrt::ReaderOf(it->second), r.offset, format::HeaderRole::kLocal, format::kTablePolicy,
                             &whole);
    out->unix_special = std::move(whole.unix_special);
  }
  return true;
}

}  // namespace arjhost
