// An archive opened through the plug-in, as a host drives it: the archiver
// object over the archive's I/O object, its entries and their properties.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "plugin/format/arj_types.h"
#include "runtime/api/export.h"
#include "runtime/api/host.h"
#include "runtime/api/rebuild.h"
#include "runtime/api/status.h"

namespace arjhost {

struct EntryInfo {
  EntryHandle handle;   // its identity (not its position: see entry_handle.h)
  std::string name;     // the stored bytes
  // False when `name` may be cut: the plug-in reports at most 509 bytes of
  // a name, and the entry's header could not be read for the rest.
  bool name_whole = true;
  uint64_t size = 0;    // all parts together
  uint32_t packed = 0;
  format::Method method = format::Method::kStored;  // of the first part; one past kLastMethod is unsupported
  uint32_t crc = 0;     // of the whole file: the parts' CRCs combined (the plug-in reports the first part's)
  bool garbled = false;
  std::string volume;  // the volume holding the entry (empty for a single volume)

  // Taken from the entry's local header by the runtime's own header reader
  // (the plug-in does not report them); `header_known` is false when that
  // header could not be matched to the entry.
  bool header_known = false;
  // false: the header CRC of the first part, or of any part after it, does
  // not match (that header is damaged; see Part::header_crc_ok).
  bool header_crc_ok = true;
  // The typed values hold every stored byte, those arj does not name too
  // (a file type of 7 or more); format::Byte gives the byte back.
  format::FileType file_type = format::FileType::kBinary;
  format::HostOs host_os = format::HostOs::kMsDos;
  uint8_t archiver_version = 0;  // of the arj that wrote the entry
  uint8_t min_version = 0;       // the version it asks of a reader
  // ARJ flags of the first part, all its bits: format::Has(flags, format::EntryFlag::kGarbled).
  format::EntryFlag flags = format::EntryFlagsOf(0);
  uint16_t access_mode = 0;    // the stored file attributes: a UNIX mode, or DOS attribute bits
  int64_t modified_time = 0;   // seconds since 1970-01-01 UTC
  // Access and creation times, which arj 2.6 and later store in a longer
  // first header; `*_known` is false when the header holds none (or 0).
  bool accessed_known = false;
  bool created_known = false;
  int64_t accessed_time = 0;
  int64_t created_time = 0;
  uint64_t header_offset = 0;  // where the first part's local header starts in its volume
  // The chapters the entry belongs to (`arj ac`): first to last, both 0 in
  // an archive without chapters.
  uint8_t first_chapter = 0;
  uint8_t last_chapter = 0;
  std::string comment;         // the stored bytes

  // File type 6: which UNIX link or special file, as arj -a1 keeps it in
  // an extended header. kUnreadable when that header is missing or does
  // not hold a well-formed record.
  enum class Special : uint8_t { kNone, kUnreadable, kFifo, kHardLink, kSymbolicLink, kBlockDevice, kCharDevice };
  Special special = Special::kNone;
  // The stored bytes: a symbolic link's target, or for a hard link the
  // stored name of the entry it shares its data with.
  std::string link_target;

  // The parts of a split entry in order (one part for a whole entry), for
  // checking each part's CRC-32 after extraction.
  struct Part {
    Part() = default;
    Part(uint64_t part_size, uint32_t part_crc, int64_t part_position = -1)
        : size(part_size), crc(part_crc), position(part_position) {}
    uint64_t size = 0;
    uint32_t crc = 0;
    int64_t position = -1;  // where its header says it starts in the file (-1: not said)
    std::string volume;     // the volume holding it ("" for a single volume)
    // From the part's own local header, when it was read (`header_known`):
    // each part is judged as the first is.
    bool header_known = false;
    uint64_t header_offset = 0;  // where its local header starts in that volume
    bool header_crc_ok = true;
    bool name_matches = true;    // its header names the entry's file
    format::FileType file_type = format::FileType::kBinary;
    format::Method method = format::Method::kStored;  // each part is packed by itself, with its own method
    uint8_t min_version = 0;
  };
  std::vector<Part> parts;
};

// The entry of `entries` (an Entries() list, or a part of one in the same
// order) with `handle`, or null when none has it.
ARJHOST_API const EntryInfo* FindEntry(const std::vector<EntryInfo>& entries, EntryHandle handle);

// Whether the entry's parts make up its file, as far as their headers
// tell; if not, why: its first part is flagged as continued from an
// earlier volume, that part being missing (kVolumeMissing); a later part's
// header names another file, or is of another kind than the first part's
// (a label or folder header among a file's parts: kDamaged); or a part
// does not start in the file where the parts before it end (a volume
// missing or out of order: kVolumeMissing). Such an entry is listed, and
// its extraction fails with this.
ARJHOST_API Status CheckParts(const EntryInfo& entry);

// Whether the entry can be delivered as what its headers say it is; if
// not, why: a file type this reader does not know (7 and up, which arj
// skips) or a part asking for a newer format version than it reads (arj:
// "Unknown version"), both kUnsupported; a header (any part's) that fails
// its CRC (arj: "Header CRC error!"), data in an entry that holds none
// (a folder, label, comment header, link or other special file, whose
// sizes and CRC must be those of no data, as arj checks it), or a link
// whose kind cannot be read, both kDamaged. Extract and Test fail such an
// entry with this.
ARJHOST_API Status CheckEntry(const EntryInfo& entry);

// What marks the name of a file whose header is damaged (the damage may
// have changed the name itself): "NAME.damaged-header".
inline constexpr const char kDamagedHeaderMark[] = ".damaged-header";
// Whether `entry` fails CheckEntry for a damaged header alone and holds
// file data; if so, `marked` is the entry as a rescue of its data reads
// it (--keep-damaged): its headers taken as they read, under its name
// marked with kDamagedHeaderMark. The entry itself still fails; its data
// is delivered only when it matches its CRC.
ARJHOST_API bool MarkedForDamagedHeader(const EntryInfo& entry, EntryInfo* marked);

// Of a chapter archive (`arj ac`), whether `entry` is among those taken
// for the archive's own chapter `chapter` (the main header's, the latest),
// as arj takes them by default: its last chapter is `chapter` or later.
// Every entry is taken when `chapter` is 0 (no chapters).
ARJHOST_API bool TakenForArchiveChapter(const EntryInfo& entry, int chapter);
// Whether `entry` belongs to chapter `chapter` (its range holds it), as
// arj's -jbN takes them.
ARJHOST_API bool BelongsToChapter(const EntryInfo& entry, int chapter);
// Whether the main header's chapter takes something; if not (kDamaged),
// why: a chapter past the 250 an archive may have, or one that takes none
// of `entries` (arj fails both).
ARJHOST_API Status CheckArchiveChapter(int chapter, const std::vector<EntryInfo>& entries);
// The same from a walk of the entries (Archive::ForEachEntry): how many
// there are, and whether TakenForArchiveChapter took any.
ARJHOST_API Status CheckArchiveChapter(int chapter, uint64_t entry_count, bool any_taken);

// The seconds between the times the entry's header can hold: 1 where its
// host OS stores Unix time, 2 where it stores an MS-DOS time.
ARJHOST_API int TimeStepOf(const EntryInfo& entry);

// An archive's bytes where the embedder keeps them (a stream it spooled, a
// buffer of its own, a network): read_at gives up to `size` bytes at
// `offset`, the count read, fewer than asked only at the end, or -1 when
// they cannot be read. It is called on the thread of the call on the
// Archive that needs the bytes, never on two threads at once.
struct ArchiveReader {
  std::function<int64_t(uint64_t offset, void* buffer, size_t size)> read_at;
  uint64_t size = 0;
};

// Opens the volume `name` of a set (OpenOptions::open_volume).
enum class VolumeLookup : uint8_t {
  kOpened,      // `volume` reads it
  kMissing,     // there is none of that name: the set ends before it
  kUnreadable,  // it is there but cannot be read: the set ends, incomplete
};
using VolumeOpener = std::function<VolumeLookup(const std::string& name, ArchiveReader* volume)>;

struct OpenOptions {
  bool scan_all_volumes = true;  // every volume of the set, whichever one is named
  std::string name;              // name of a memory archive (for volume naming)
  // Cut damaged headers out of each volume (see ArchiveState::skipped);
  // OpenFile first reads a volume whose ARJ-PROTECT record finds damaged
  // blocks as the record rebuilds them (ArchiveState::record_rebuilds).
  bool recover = false;
  // For OpenForWriting: start from an empty archive even where one is (as
  // zipfile's mode 'w'); the commit replaces that file if it is still as
  // it was then.
  bool start_empty = false;
  // For OpenMemory and OpenReader: the set's other volumes, asked for by
  // the names made from `name` ("backup.a01" after "backup.arj"). Without
  // it such an archive is read as a volume by itself.
  VolumeOpener open_volume;
};

// A damaged range that recovery cut out: its offset in the file, its size,
// what was wrong at its start, and the volume (the file's name) it lies in.
struct SkippedRange {
  uint64_t offset = 0;
  uint64_t size = 0;
  std::string cause;
  std::string volume;
};

// With OpenOptions::recover, an archive file (or a volume of its set)
// whose ARJ-PROTECT record (arj a -hk) finds damaged blocks: the record
// rebuilt them, and the volume is read as rebuilt, in memory (the file is
// left as it is: RepairArchive writes a repaired copy); or the damage is
// beyond the record, and the volume is read as it is, recovered around the
// damage (`cause` says why not).
struct RecordRebuild {
  std::string volume;  // named as SkippedRange::volume names it
  std::vector<uint32_t> damaged_blocks;  // numbers of the 1,024-byte blocks, from 0
  bool rebuilt = false;
  std::string cause;  // why not, when not rebuilt
};

// A volume of the set that is there but could not be read; the set ends
// before it.
struct UnreadableVolume {
  std::string name;
  // Why, the message saying only the cause: "not a regular file" and "no
  // ARJ main header at its start" (kNotAnArchive), "access denied" and "too
  // many open files" (kIoError), ...
  Status status;
};

struct ArchiveState {
  bool multi_volume = false;
  bool damaged = false;
  bool incomplete = false;
  std::string missing_volume;  // the volume an entry continues into, when that is what is missing
  std::vector<UnreadableVolume> unreadable_volumes;  // (the archive is then incomplete)
  bool restricted = false;
  uint64_t digest = 0;  // of the first volume's entries: the same whichever volume of a set was named
  std::vector<std::string> volumes;  // in volume order
  std::vector<uint64_t> volume_digests;
  // With OpenOptions::recover: the ranges the plug-in was not shown (the
  // archive is then damaged).
  std::vector<SkippedRange> skipped;
  // With OpenOptions::recover, of OpenFile: what the ARJ-PROTECT records of
  // damaged volumes did, in volume order. Blocks rebuilt leave the archive
  // sound as far as they go.
  std::vector<RecordRebuild> record_rebuilds;
  // Volumes whose main header fails its CRC ("" for the archive's own when
  // it has no name): read anyway, and reported as damaged.
  std::vector<std::string> damaged_main_headers;
  // The main header says an ARJ-SECURITY envelope seals the archive; the
  // envelope is not verified here.
  bool secured = false;
  // The main header's ARJ-PROTECT flag: damage-protection data follows the
  // end marker (`arj a -hk`). A rewrite does not carry it over.
  bool protected_data = false;
  // The latest chapter of a chapter archive (0 without chapters): the one
  // extraction takes by default.
  uint8_t chapter = 0;
  std::string comment;  // the archive comment, as stored
  // The longest archive comment the main header holds, with its name and
  // fields, within the basic header size readers take.
  size_t comment_room = 0;
};

// Whether the archive is damaged as far as anything read tells: headers
// that could not all be read, a main header or an entry's header (any
// part's) that fails its CRC. What every output's "damaged" says.
ARJHOST_API bool ArchiveDamaged(const ArchiveState& state, const std::vector<EntryInfo>& entries);
// The same from a walk of the entries: whether any header failed its CRC.
ARJHOST_API bool ArchiveDamaged(const ArchiveState& state, bool header_damaged);

// How the extraction (or test) of one entry went, and what came of it.
struct ExtractResult {
  // ok when the entry came out whole with its CRC; else why not: kDamaged
  // ("CRC mismatch ...", "damaged data", "size mismatch ..."),
  // kWrongPassword, kPasswordNeeded, kUnsupported (a method), kVolumeMissing,
  // kLimitExceeded, kIoError (a write failed), kCancelled (the sink
  // stopped it), ...
  Status status;
  uint64_t size = 0;   // bytes delivered
  // The entry failed, yet `size` bytes came out, damaged: all of them with a
  // CRC mismatch, or those decoded before damaged data stopped the decoder
  // (in the file, for ExtractToFile). False when the entry could not be
  // tried, a password was wrong (its bytes are not kept), or a write failed.
  bool damaged = false;

  bool ok() const { return status.ok(); }
};

struct OpenResult;
struct FileStamp;
struct Repack;
struct JoinedEntry;

// Answers a password request for `entry`; `attempt` counts the requests for
// this entry from 0. Returns false to decline (the entry then fails).
using PasswordSource = std::function<bool(const EntryInfo& entry, int attempt, std::string* password)>;
// Receives the entry's bytes in order; returns false to stop (a write
// failed, or no more is wanted): the extraction then ends with kCancelled.
using ChunkSink = std::function<bool(const uint8_t* data, size_t size)>;

// What a rewrite does beyond the changes.
struct RebuildOptions {
  // Every entry of the new archive is tested (Test) before it takes the
  // old one's place (as arj -jt does); a failing one leaves the old one.
  bool test_entries = false;
  // For the test of garbled entries.
  PasswordSource passwords;
  // New and replaced entries are garbled with it, as arj -g garbles them,
  // when it is not empty (at most kMaxGarblePasswordLength bytes). Garbling is no encryption:
  // it keeps out only a casual reader.
  std::string garble_password;
  // The new archive ends with an ARJ-PROTECT record (as arj a -hk writes
  // it), which RepairArchive and arj q rebuild damaged blocks from. Not of
  // a volume set or a self-extracting archive; of at most
  // format::kProtectMaxLength bytes.
  bool protect = false;
};

class ARJHOST_API Archive {
 public:
  ~Archive();
  Archive(const Archive&) = delete;
  Archive& operator=(const Archive&) = delete;

  // Opens an archive file: the archive, or why not (kNotAnArchive,
  // kNotFound, kIoError, kLimitExceeded, ...; the message names the file).
  // Opened again (by workers) with the same options, the file is read as
  // it was: a volume rebuilt from its record is rebuilt the same way.
  static OpenResult OpenFile(Host& host, const std::string& path, const OpenOptions& options);
  // Whether the file at `path` holds an archive the plug-in recognises (a
  // self-extracting one too), as OpenFile would find it; no more is read.
  static bool Recognizes(Host& host, const std::string& path);
  // Opens the archive at `path` to rewrite it, as every writing door does:
  // its WriterLock taken first and held until the archive is destroyed
  // (kInUse when another writer holds it), then the file opened as
  // OpenFile opens it, or, when there is none (or options.start_empty), an
  // empty archive in memory named as the new file (created() true), which
  // Rebuild writes only where no file has appeared meanwhile (or the one
  // that was there is as it was).
  static OpenResult OpenForWriting(Host& host, const std::string& path, const OpenOptions& options);
  // Opened by OpenForWriting where no archive was.
  bool created() const;
  // Opens an archive held in memory (the bytes must outlive the archive).
  static OpenResult OpenMemory(Host& host, const void* data, size_t size, const OpenOptions& options);

  // Opens an archive read through `reader`, which the archive keeps.
  static OpenResult OpenReader(Host& host, const ArchiveReader& reader, const OpenOptions& options);

  const ArchiveState& state() const { return state_; }
  // The logical entries, in archive order (of an archive opened for
  // writing, read once and kept).
  std::vector<EntryInfo> Entries();
  // The same entries handed to `visit` one at a time, none kept (but by
  // an archive opened for writing, which keeps them anyway): memory does
  // not grow with their number (a listing of millions). Stops when `visit`
  // returns false.
  void ForEachEntry(const std::function<bool(const EntryInfo&)>& visit);

  // Extracts one entry through the plug-in, hands its bytes to `sink` and
  // checks the CRC-32 of every part against its header.
  ExtractResult Extract(const EntryInfo& entry, const ChunkSink& sink, const PasswordSource& passwords);
  // Extract, with the bytes handed to `sink` as the decoders write them and
  // the CRC-32 of every part checked on the way: memory stays bounded
  // whatever the entry's size, and no temporary file is made. The bytes of
  // a damaged entry up to the damage reach the sink before the result says
  // it failed. A garbled entry's bytes come once its password is judged, as
  // for Extract. A sink that returns false stops the decoding (kCancelled).
  ExtractResult Stream(const EntryInfo& entry, const ChunkSink& sink, const PasswordSource& passwords);
  // Tests one entry: its size and the CRC-32 of every part, checked as the
  // decoders deliver the bytes, none of which are kept (a garbled entry's
  // are, as for Extract: judging a password reads each part back).
  ExtractResult Test(const EntryInfo& entry, const PasswordSource& passwords);
  // The same into the file `fd` (open for reading and writing), from offset
  // 0, leaving it exactly the entry's size. The entry is decoded into the
  // file directly (a large garbled one through it as its temporary file).
  ExtractResult ExtractToFile(const EntryInfo& entry, int fd, const PasswordSource& passwords);
  // Writes this archive with `changes` applied to `destination` (which may
  // be the archive's own file). The new archive goes to a temporary file
  // beside the destination and replaces it only once the plug-in's Rebuild
  // succeeded and the new file reopens and lists the expected entries; on
  // any failure the destination is untouched and the temporary file gone.
  // A hard link whose target entry would come after it is stored as a
  // file (readers link only to what they already extracted).
  // On failure the message names the file and cause; the code says which:
  // kRefused (CheckRewrite's), kBadArgument, kNotFound or kIoError (a new
  // file), kChanged (a new file, or the archive, changed meanwhile), the
  // failing entry's own (options.test_entries), ...
  // With ChangeSet::volume_size the new archive is written as a volume set
  // named after `destination` (see volume_set_output.h): all its volumes
  // checked as a set before any is renamed into place, the rewritten set's
  // volumes past the new last one removed.
  Status Rebuild(const ChangeSet& changes, const std::string& destination, const RebuildProgress& progress = nullptr,
                 const RebuildOptions& options = {});
  // Removes the archive's file (of a set, every volume; each where a link
  // naming it points), as arj d
  // removes an archive it has emptied, unless the file changed since it was
  // opened (kChanged). On failure the message names the file and cause.
  Status RemoveFile();
  // What a Rebuild under way on another thread has written of the new
  // archive so far, in bytes (0 when none is under way): for a progress line.
  uint64_t RebuildBytesWritten() const;
  // Whether Rebuild takes this archive with `changes`; if not (kRefused),
  // why: a damaged archive not opened with recovery, a
  // kept entry whose header fails its CRC, a new entry under one that is
  // not a folder (or a new entry that is not a folder with entries under
  // it), an incomplete or restricted archive, a comment that does not fit
  // its header. (A self-extracting archive is rewritten after its program,
  // which stays as it was.)
  Status CheckRewrite(const ChangeSet& changes);
  // The same with this archive's Entries(), when the caller has them.
  Status CheckRewrite(const ChangeSet& changes, const std::vector<EntryInfo>& entries);
  // Whether `password` may garble new entries of this archive: ok when it
  // holds no garbled entry or the password opens the first (kWrongPassword
  // when not, naming it; its test's failure when it cannot be read).
  // Rebuild checks it before writing anything.
  Status CheckGarblePassword(const std::string& password);
  // The entries (handles) the last Rebuild copied as they were although
  // their stored data fails its CRC (only stored, ungarbled entries are
  // checked: their bytes pass through the copy).
  const std::vector<EntryHandle>& DamagedEntriesCopied() const;
  // How many volumes the last successful Rebuild wrote (1: one archive).
  size_t VolumesWritten() const { return volumes_written_; }

  struct Objects;  // the host objects behind the archive

 private:
  Archive(Host& host, std::unique_ptr<Objects> objects);
  // The entries as the plug-in and the headers give them (Entries keeps
  // those of an archive opened for writing).
  std::vector<EntryInfo> ReadEntries();
  // Reads the entries as ReadEntries does, handing each to `visit`.
  void WalkEntries(const std::function<bool(const EntryInfo&)>& visit);
  // Whether a Rebuild to `destination` (the file `target`) may commit: no
  // file of this archive changed since it was read, and `target` is as it
  // was when the rebuild started (`at_start`; not there then: still not).
  Status CheckUnchanged(const std::string& destination, const std::string& target, const FileStamp& at_start) const;
  // Rebuild's end for a volume set: the archive in `single` split and put
  // in place as the set whose first volume is `first`, replacing (or
  // removing, past its end) the volumes `own` of the archive rewritten.
  Status PutVolumeSet(const std::string& single, const std::string& first, uint64_t volume_size,
                      const std::vector<std::string>& expected, const std::vector<Repack>& repack,
                      const std::vector<std::string>& own, bool first_replaces, const RebuildOptions& options);
  // Rebuild of a volume set: its entries joined into one archive beside the
  // first volume (a split file as a stand-in, put together from its old
  // parts when split again), that archive rebuilt into a new set in the old
  // one's place; a delete alone is SplitKept.
  Status RebuildSet(const ChangeSet& changes, const std::string& destination, const RebuildProgress& progress,
                    const RebuildOptions& options);
  // RebuildSet of a delete alone: the `kept` entries (`infos`) of the set
  // `name` read as one archive and split into the new set at `target`,
  // never written whole.
  Status SplitKept(const std::vector<JoinedEntry>& kept, const std::vector<const EntryInfo*>& infos,
                   const std::string& name, const std::string& first, const std::string& target,
                   const std::vector<std::string>& volumes, const ChangeSet& changes, const RebuildOptions& options);
  // Extract, Stream, ExtractToFile and Test: to `sink` when given (as the
  // decoders write, with `streaming`), else to `fd` when it is not -1, else
  // to nowhere.
  ExtractResult Deliver(const EntryInfo& entry, const PasswordSource& passwords, const ChunkSink* sink, int fd,
                        bool streaming = false);
  static OpenResult Open(Host& host, std::unique_ptr<Objects> objects, const OpenOptions& options,
                         const std::string& label);
  // OpenFile; under recovery, volumes read as their ARJ-PROTECT records
  // rebuild them when `rebuild` (not for a rewrite, which reads the file
  // as it is).
  static OpenResult OpenFileAs(Host& host, const std::string& path, const OpenOptions& options, bool rebuild);
  // OpenMemory and OpenReader, once `objects` are made as `made` says.
  static OpenResult OpenMade(Host& host, std::unique_ptr<Objects> objects, const Status& made,
                             const OpenOptions& options);

  Host& host_;
  size_t volumes_written_ = 0;
  // Of an archive joined from a set by RebuildSet to be rewritten in its
  // place: the set's volumes, which its Rebuild replaces.
  std::vector<std::string> joined_from_;
  ArchiveState state_;  // filled by message handlers on the objects below
  std::unique_ptr<Objects> objects_;
};

// An archive opened, or why not.
struct OpenResult {
  Status status;
  std::unique_ptr<Archive> archive;  // null unless the status is ok

  bool ok() const { return status.ok(); }
};

}  // namespace arjhost
