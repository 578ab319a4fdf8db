// Blocks of the ArchiverState, allocated through its memory object. Sizes
// are computed in 64 bits and tables are bounded, so that no count read
// from an archive can wrap a size or grow a table without end.
#pragma once

#include <cstdint>

#include "plugin/format/arj_layout.h"
#include "plugin/state/archiver_state.h"

// The bounds in force for this archive: ours, or the host's if lower.
uint64_t EntryBound(const ArchiverState& s);
uint64_t VolumeBound(const ArchiverState& s);

// Allocates a zero-filled block into `*field` (which must be empty).
[[nodiscard]] ResultCode AllocateBlock(ArchiverState& s, void** field, uint64_t size);
// Resizes the block in `*field`, keeping its bytes and zero-filling new ones.
[[nodiscard]] ResultCode ResizeBlock(ArchiverState& s, void** field, uint64_t size);
// Frees the block in `*field`, if any, and empties the field.
void ReleaseBlock(ArchiverState& s, void** field);

template <class T>
[[nodiscard]] ResultCode AllocateBlock(ArchiverState& s, T** field, uint64_t size) {
  return AllocateBlock(s, reinterpret_cast<void**>(field), size);
}
template <class T>
[[nodiscard]] ResultCode ResizeBlock(ArchiverState& s, T** field, uint64_t size) {
  return ResizeBlock(s, reinterpret_cast<void**>(field), size);
}
template <class T>
void ReleaseBlock(ArchiverState& s, T** field) {
  ReleaseBlock(s, reinterpret_cast<void**>(field));
}

// Room for `slots` records in the entry or volume table; ERR_LIMIT_EXCEEDED
// past the bound.
[[nodiscard]] ResultCode ReserveEntrySlots(ArchiverState& s, uint64_t slots);
[[nodiscard]] ResultCode ReserveVolumeSlots(ArchiverState& s, uint64_t slots);
