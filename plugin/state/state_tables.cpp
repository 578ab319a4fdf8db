#include "plugin/state/state_tables.h"

ResultCode AllocateBlock(ArchiverState& s, void** field, uint64_t size) {
  if (s.memory == nullptr) return ERR_NO_MEMORY;
  *field = nullptr;
  ResultCode result = host::Memory(s.memory).Alloc(s.memory, field, size);
  if (Failed(result)) *field = nullptr;
  else if (*field == nullptr) result = ERR_NO_MEMORY;
  return result;
}

ResultCode ResizeBlock(ArchiverState& s, void** field, uint64_t size) {
  if (s.memory == nullptr) return ERR_NO_MEMORY;
  void* block = *field;
  ResultCode result = host::Memory(s.memory).Realloc(s.memory, &block, *field, size);
  if (Failed(result)) return result;
  if (block == nullptr) return ERR_NO_MEMORY;
  *field = block;
  return result;
}

void ReleaseBlock(ArchiverState& s, void** field) {
  // A block the memory object refuses to free is its to account for at its
  // close; this field lets go of it either way.
  if (*field != nullptr && s.memory != nullptr) IgnoreResult(host::Memory(s.memory).Free(s.memory, *field));
  *field = nullptr;
}

namespace {

uint64_t HostBound(const ArchiverState& s, PropId id, uint64_t own) {
  ObjectRef root = s.memory != nullptr ? host::FindAncestor(s.memory, IID_ROOT) : nullptr;
  const uint64_t bound = root != nullptr ? host::GetPropDWord(root, id) : 0;
  return bound != 0 && bound < own ? bound : own;
}

}  // namespace

uint64_t EntryBound(const ArchiverState& s) {
  return HostBound(s, PROP_LIMIT_MAX_ENTRIES, arjhost::format::kMaxEntries);
}
uint64_t VolumeBound(const ArchiverState& s) {
  return HostBound(s, PROP_LIMIT_MAX_VOLUMES, arjhost::format::kMaxVolumes);
}

ResultCode ReserveEntrySlots(ArchiverState& s, uint64_t slots) {
  if (slots > EntryBound(s) + kFreeEntrySlots) return ERR_LIMIT_EXCEEDED;
  return ResizeBlock(s, &s.entries, slots * sizeof(EntryRecord));
}

ResultCode ReserveVolumeSlots(ArchiverState& s, uint64_t slots) {
  if (slots > VolumeBound(s) + kDiscoveredVolumeSlots) return ERR_LIMIT_EXCEEDED;
  return ResizeBlock(s, &s.volumes, slots * sizeof(VolumeRecord));
}
