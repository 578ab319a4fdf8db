// How the parts of a file split over volumes join, as arj writes them:
// every part but the last says the file goes on in the next volume, every
// part but the first says it goes on from the previous one, each part lies
// in the volume after the one before it and starts in the file where the
// parts before it end. The one statement of the rule, for the plug-in's
// table and extraction and for the runtime's verdicts.
#pragma once

#include <cstdint>

#include "plugin/format/arj_types.h"

namespace arjhost::format {

constexpr bool GoesOnInNextVolume(uint8_t flags) { return Has(flags, EntryFlag::kContinuesInNext); }
constexpr bool GoesOnFromPreviousVolume(uint8_t flags) { return Has(flags, EntryFlag::kContinuesPrevious); }
// Either end of a split file (a part of one).
constexpr bool IsPartOfSplitFile(uint8_t flags) { return GoesOnInNextVolume(flags) || GoesOnFromPreviousVolume(flags); }

// Whether the part with `later_flags`, read from volume `later_volume`,
// continues the part with `earlier_flags` from `earlier_volume`.
constexpr bool ContinuesPart(uint8_t earlier_flags, uint64_t earlier_volume, uint8_t later_flags,
                             uint64_t later_volume) {
  return GoesOnInNextVolume(earlier_flags) && GoesOnFromPreviousVolume(later_flags) &&
         later_volume == earlier_volume + 1;
}

// Whether a table whose first and last parts carry these flags lacks a
// volume: its first part goes on from one before, or its last goes on in
// one after.
constexpr bool TableLacksVolume(uint8_t first_flags, uint8_t last_flags) {
  return GoesOnFromPreviousVolume(first_flags) || GoesOnInNextVolume(last_flags);
}

// A later part is garbled as the first part is (one password opens all).
constexpr bool GarbledAlike(uint8_t first_flags, uint8_t later_flags) {
  return Has(first_flags, EntryFlag::kGarbled) == Has(later_flags, EntryFlag::kGarbled);
}

// A later part is of the first part's kind: binary and text parts join
// into one file (arj converts neither here); any other type must be the
// first part's own.
constexpr bool SameKindOfPart(FileType first, FileType later) {
  return first == later || (HoldsFileData(first) && HoldsFileData(later));
}

// Whether a part whose header says it starts at `position` of the file
// starts where the parts before it end (`end`, their sizes from the first
// part's position): positions are stored in 32 bits and wrap as a file
// passes 4 GiB.
constexpr bool StartsWhereEarlierPartsEnd(uint64_t position, uint64_t end) { return position == (end & 0xFFFFFFFFu); }

}  // namespace arjhost::format
