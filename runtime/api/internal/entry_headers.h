// The local headers of the plug-in's table rows, as its scan hands them
// over (MSG_ENTRY_HEADER) while it reads them: the entry fields the
// plug-in does not report (times, file type, host, attributes, comment,
// the whole name), kept compact by row so that a table of a million
// entries costs a few dozen bytes a row here. A row's header is the one
// the plug-in read for that row: matched by position, never by name.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "plugin/format/header_fields.h"
#include "plugin/host/host_objects.h"

namespace arjhost {

class EntryHeaders {
 public:
  // Takes a notice of the header of a row read from `volume_io`; false
  // when it is not one. Row 0 starts the table over (the plug-in scans
  // again once it has found the other volumes).
  bool Take(ObjectRef volume_io, const uint8_t* bytes, size_t length);
  // The header of row `row` (0-based) into `out`, the UNIX record of a link
  // or special file read from its volume; false when none was taken. Its
  // name is `reported` (what the plug-in reports for the row) unless the
  // plug-in cut it.
  bool Read(uint64_t row, const std::string& reported, format::HeaderFields* out) const;
  uint64_t rows() const { return rows_; }

 private:
  struct Record {
    uint32_t offset;
    uint32_t file_position;
    uint32_t file_time;
    uint32_t accessed_time;
    uint32_t created_time;
    uint16_t access_mode;
    uint8_t archiver_version;
    uint8_t min_version;
    uint8_t host_os;
    uint8_t flags;
    uint8_t method;
    uint8_t file_type;
    uint8_t first_chapter;
    uint8_t last_chapter;
    uint8_t marks;
  };
  // Rows in blocks, so that a large table grows without copying.
  static constexpr size_t kBlockRows = 4096;
  using Block = std::unique_ptr<Record[]>;

  void Clear();

  std::vector<Block> blocks_;
  uint64_t rows_ = 0;
  // Only some rows have these.
  std::unordered_map<uint64_t, std::string> comments_;
  std::unordered_map<uint64_t, std::string> long_names_;  // names past what the plug-in keeps
  std::unordered_map<uint64_t, ObjectRef> special_volumes_;  // where a link's record is read from
};

}  // namespace arjhost
