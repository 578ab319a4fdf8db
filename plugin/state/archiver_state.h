// The per-object instance record of a MiniArchiver object and the two
// tables it holds. The host allocates the record zero-filled.
#pragma once

#include <cstddef>
#include <cstdint>

#include "plugin/format/arj_layout.h"
#include "plugin/host/host_objects.h"

struct VolumeRecord {
  ObjectRef io;                 // the volume's I/O object (the archive I/O for its own volume)
  ObjectRef stream;             // a stream over that I/O
  uint32_t first_entry_offset;  // the volume's main header length
  uint32_t entries;             // entries taken from this volume
};

constexpr size_t kEntryNameSize = 512;
static_assert(kEntryNameSize > arjhost::format::kStoredNameChars, "room for the name the table keeps and its NUL");

struct EntryRecord {
  // The first four fields are the entry's digest image, hashed as stored
  // here (the offsets are little-endian on every machine we build for).
  uint64_t data_offset;
  uint64_t header_offset;
  char name[kEntryNameSize];
  uint8_t fixed_header[arjhost::format::kFixedHeaderSize];
  VolumeRecord volume;  // the volume's record as it stood when the entry was read
  uint32_t volume_index;
};

constexpr size_t kDigestImageSize = 562;
static_assert(offsetof(EntryRecord, header_offset) == 8);
static_assert(offsetof(EntryRecord, name) == 16);
static_assert(offsetof(EntryRecord, fixed_header) == 528);
static_assert(offsetof(EntryRecord, fixed_header) + arjhost::format::kFixedHeaderSize == kDigestImageSize);

constexpr size_t kPasswordSize = 512;
constexpr uint32_t kVolumeNameSize = 512;
constexpr size_t kWorkBufferSize = 20096;

struct ArchiverState {
  uint32_t restricted;
  uint32_t reserved_property_word;  // served as PROP_RESERVED_WORD, never written here
  uint32_t capabilities;
  uint8_t host_byte;                // host-settable, not read by the plug-in
  uint16_t host_word;               // host-settable, not read by the plug-in
  uint32_t open_mode;
  uint32_t access_mode;
  uint32_t scan_all_volumes;
  uint64_t entry_selector;          // 1-based handle, or kCurrentEntrySelector
  uint32_t multi_volume;
  uint64_t current_entry;           // 0-based index
  uint8_t* main_header;             // bytes from the archive I/O's start to its first local header
  uint32_t main_header_length;
  uint32_t volume_count;
  uint32_t entry_count;
  VolumeRecord* volumes;
  EntryRecord* entries;
  ObjectRef digest;
  uint64_t archive_digest;
  ObjectRef archive_stream;
  ObjectRef archive_io;
  ObjectRef file_system;            // the one long-lived object closed by OnPreClose
  uint32_t incomplete;
  uint8_t* work_buffer;
  char password[kPasswordSize];
  uint8_t garble_key[kPasswordSize];
  uint32_t damaged;
  ObjectRef memory;
  // The first volume of the set found but not readable (its open or its main
  // header failed with `unreadable_cause`); 0 when there is none.
  ResultCode unreadable_cause;
  char unreadable_volume[kVolumeNameSize];
  // The volume whose entries the archive digest covers (its I/O) and how
  // many it held: the rescan that finds the set reads that volume's
  // headers again, the same bytes, and its digest is not computed twice.
  ObjectRef digested_volume;
  uint32_t digested_entries;
  // The one volume the table holds a whole scan of (its I/O, where its
  // entries start, how many it held), so that the open of the whole set,
  // finding no other volume, keeps the table rather than reading the
  // same headers again; null when the table holds another scan.
  ObjectRef scanned_volume;
  uint32_t scanned_offset;
  uint32_t scanned_entries;
};

constexpr uint64_t kCurrentEntrySelector = 0x0000FFFFFFFFFFFFull;

// Table sizes, in records.
constexpr uint32_t kInitialEntrySlots = 20;
constexpr uint32_t kFreeEntrySlots = 10;       // always free after the last entry
constexpr uint32_t kInitialVolumeSlots = 20;   // the table OpenArchive creates
constexpr uint32_t kDiscoveredVolumeSlots = 30;
constexpr uint32_t kFreeVolumeSlots = 20;

inline ArchiverState& StateOf(ObjectRef archiver) { return *static_cast<ArchiverState*>(archiver->instance); }
