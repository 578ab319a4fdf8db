// What an entry's headers must say for it to be delivered, whether a split
// file's parts make it up, and which entries a chapter takes: arj's rules,
// each in one place, for the embedding API and the tool.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "plugin/format/arj_types.h"

namespace arjhost::format {

// One part of an entry as its own local header says (a whole entry has
// one part).
struct PartFacts {
  uint64_t size = 0;
  int64_t position = -1;      // where its header says it starts in the file (-1: not said)
  bool header_known = false;  // its header was read: the fields below are its own
  bool name_matches = true;   // its header names the entry's file
  bool header_crc_ok = true;  // its header passed its CRC
  FileType file_type = FileType::kBinary;
  uint8_t min_version = 0;
  uint8_t method = 0;  // each part is packed by itself, with its own method
};

// An entry as its headers say: its first part's header and every part.
struct EntryFacts {
  bool header_known = false;  // the first part's header was read: the fields below are its own
  bool header_crc_ok = true;  // the first part's header passed its CRC
  FileType file_type = FileType::kBinary;
  uint8_t flags = 0;
  uint8_t min_version = 0;
  uint8_t first_chapter = 0;
  uint8_t last_chapter = 0;
  uint32_t method = 0;  // the first part's
  uint64_t size = 0;    // all parts together
  uint32_t packed = 0;
  uint32_t crc = 0;     // of the whole file
  // File type 6: its UNIX record was missing or not well-formed.
  bool unix_record_unreadable = false;
  std::vector<PartFacts> parts;
};

// What kind of fault a verdict finds, for whoever acts on it: what this
// reader does not know, damage, or a part of a split file that is not
// there (a volume missing, or out of order).
enum class Fault : uint8_t { kNone, kUnknown, kDamaged, kPartMissing };

// A verdict: the fault, and in words why ("" when there is none).
struct Verdict {
  Fault fault = Fault::kNone;
  std::string why;
  bool ok() const { return fault == Fault::kNone; }
};

// Why the entry cannot be delivered as what its headers say it is, or no
// fault when it can: a header (any part's) that fails its CRC, whose
// fields cannot be trusted (arj: "Header CRC error!"), a file type arj does not know (7 and up, which it skips),
// a part asking for a newer format version than kNewestEntryVersion (arj:
// "Unknown version"), data in an entry that holds none (a folder, label,
// comment header, link or other special file, whose sizes and CRC must be
// those of no data, as arj checks it), or a link whose kind cannot be read.
// The unknown type and version are kUnknown, the others kDamaged.
Verdict EntryProblem(const EntryFacts& entry);

// Why the entry's parts do not make up its file, or no fault when they do
// (as far as their headers tell): its first part goes on from an earlier
// volume, that part being missing (kPartMissing); a later part's header
// names another file, or is of another kind than the first part's
// (kDamaged); or a part does not start in the file where the parts before
// it end (a volume missing or out of order: kPartMissing).
Verdict PartsProblem(const EntryFacts& entry);

// The method that stops an entry's decoding, in words: the first part's
// when it is past kLastMethod, else that of the first later part whose
// header names one past it ("unsupported method 7 (part 2 of 3)").
std::string UnsupportedMethod(const EntryFacts& entry);

// Of a chapter archive (`arj ac`), whether an entry is taken for the
// archive's own chapter `chapter` (the main header's, the latest), as arj
// takes them by default: its last chapter is `chapter` or later. Every
// entry is taken when `chapter` is 0 (no chapters), and one whose header
// is not known.
bool TakenForArchiveChapter(const EntryFacts& entry, int chapter);
// Whether an entry belongs to chapter `chapter` (its range holds it), as
// arj's -jbN takes them.
bool BelongsToChapter(const EntryFacts& entry, int chapter);
// Why the main header's chapter takes nothing, or no fault: a chapter past
// the kMaxChapter an archive may have, or one that takes none of the
// entries (`any_taken` false; arj fails both, and both are kDamaged). An
// archive without entries takes none and is not refused for it (`entries` 0).
Verdict ArchiveChapterProblem(int chapter, size_t entries, bool any_taken);

}  // namespace arjhost::format
