#include "plugin/access/entry_properties.h"

#include <cstring>

#include "plugin/format/arj_layout.h"
#include "plugin/format/split_chain.h"

using namespace arjhost::format;

namespace {

constexpr uint32_t kNameQuerySize = 512;

[[nodiscard]] ResultCode PutFixed(const void* value, uint32_t value_size, void* buffer, uint32_t size,
                                  uint32_t* length) {
  *length = value_size;
  if (size < value_size) return ERR_BUFFER_TOO_SMALL;
  std::memcpy(buffer, value, value_size);
  return RESULT_OK;
}

bool NeedsEntry(PropId prop) {
  switch (prop) {
    case PROP_OBJECT_NAME:
    case PROP_OBJECT_PATH:
    case PROP_OBJECT_SIZE:
    case PROP_VOLUME_NAME:
    case PROP_PACKED_SIZE:
    case PROP_OBJECT_CRC:
    case PROP_ENTRY_METHOD:
    case PROP_ENTRY_ENCRYPTED:
      return true;
    default:
      return false;
  }
}

[[nodiscard]] ResultCode SizeQuery(PropId prop, uint32_t* length) {
  switch (prop) {
    case PROP_OBJECT_NAME:
    case PROP_OBJECT_NAME_SIZED:
    case PROP_OBJECT_PATH:
      *length = kNameQuerySize;
      break;
    case PROP_OBJECT_SIZE:
    case PROP_ARCHIVE_DIGEST:
      *length = 8;
      break;
    case PROP_PACKED_SIZE:
      *length = 4;
      break;
    default:  // the length is left as the caller had it
      break;
  }
  return RESULT_OK;
}

[[nodiscard]] ResultCode EntryValue(const ArchiverState& s, uint64_t index, PropId prop, void* buffer, uint32_t size,
                                    uint32_t* length) {
  const EntryRecord& entry = s.entries[index];
  const uint8_t* h = entry.fixed_header;
  switch (prop) {
    case PROP_OBJECT_NAME:
    case PROP_OBJECT_PATH: {
      uint32_t needed = static_cast<uint32_t>(strnlen(entry.name, kEntryNameSize - 1)) + 1;
      *length = needed;
      if (needed > size) return ERR_BUFFER_TOO_SMALL;
      std::memcpy(buffer, entry.name, needed - 1);
      static_cast<char*>(buffer)[needed - 1] = '\0';
      return RESULT_OK;
    }
    case PROP_OBJECT_SIZE: {
      uint64_t total = 0;
      for (uint64_t i = index, last = LastPartOf(s, index); i <= last; ++i) total += OriginalSize(s.entries[i].fixed_header);
      return PutFixed(&total, sizeof total, buffer, size, length);
    }
    case PROP_PACKED_SIZE: {
      uint32_t total = 0;  // wraps, as the 32-bit property does
      for (uint64_t i = index, last = LastPartOf(s, index); i <= last; ++i) total += PackedSize(s.entries[i].fixed_header);
      return PutFixed(&total, sizeof total, buffer, size, length);
    }
    case PROP_VOLUME_NAME: {
      if (s.volume_count < 2) {
        *length = 0;
        return ERR_PROPERTY_UNAVAILABLE;
      }
      ObjectRef io = entry.volume.io;
      return io->system->GetPropBuffer(io, length, PROP_OBJECT_NAME, buffer, size);
    }
    case PROP_OBJECT_CRC: {
      uint32_t crc = FileCrc(h);
      return PutFixed(&crc, sizeof crc, buffer, size, length);
    }
    case PROP_ENTRY_METHOD: {
      uint32_t method = EntryMethod(h);
      return PutFixed(&method, sizeof method, buffer, size, length);
    }
    case PROP_ENTRY_ENCRYPTED: {
      uint32_t garbled = Has(EntryFlags(h), EntryFlag::kGarbled) ? 1 : 0;
      return PutFixed(&garbled, sizeof garbled, buffer, size, length);
    }
    default:
      *length = 0;
      return RESULT_OK;
  }
}

}  // namespace

bool ContinuesPartBefore(const ArchiverState& s, uint64_t index) {
  if (index == 0 || index >= s.entry_count) return false;
  const EntryRecord& before = s.entries[index - 1];
  const EntryRecord& part = s.entries[index];
  return ContinuesPart(EntryFlags(before.fixed_header), before.volume_index, EntryFlags(part.fixed_header),
                       part.volume_index);
}

uint64_t LastPartOf(const ArchiverState& s, uint64_t index) {
  uint64_t last = index;
  while (ContinuesPartBefore(s, last + 1)) ++last;
  return last;
}

ResultCode GetEntryProperty(ObjectRef archiver, uint32_t* length, PropId prop, void* buffer, uint32_t size) {
  ArchiverState& s = StateOf(archiver);
  if (s.entries == nullptr || s.entry_selector == 0) return ERR_NOT_INITIALIZED;
  const uint64_t index = s.entry_selector == kCurrentEntrySelector ? s.current_entry : s.entry_selector - 1;
  uint32_t ignored = 0;
  if (length == nullptr) length = &ignored;
  ResultCode result;
  if ((buffer == nullptr) != (size == 0)) {
    result = ERR_BAD_PARAMETER;
  } else if (buffer == nullptr) {
    result = SizeQuery(prop, length);
  } else if (prop == PROP_ARCHIVE_DIGEST) {
    result = PutFixed(&s.archive_digest, sizeof s.archive_digest, buffer, size, length);
  } else if (NeedsEntry(prop) && index >= s.entry_count) {
    *length = 0;  // names no entry of the table: nothing is read
    result = ERR_BAD_PARAMETER;
  } else {
    result = EntryValue(s, index, prop, buffer, size, length);
  }
  s.entry_selector = kCurrentEntrySelector;
  return result;
}
