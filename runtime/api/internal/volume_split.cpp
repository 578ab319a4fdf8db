#include "runtime/api/internal/volume_split.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>
#include <vector>

#include "plugin/format/crc32.h"
#include "plugin/format/garble_key.h"
#include "plugin/format/header_parse.h"
#include "plugin/format/header_writer.h"
#include "plugin/format/split_chain.h"
#include "plugin/format/volume_parts.h"
#include "runtime/api/internal/status_of.h"
#include "runtime/api/internal/stored_headers.h"
#include "runtime/codecs/decode/arj_decoder.h"
#include "runtime/codecs/encode/arj_encoder.h"

namespace arjhost {
namespace {

using namespace format;

// The key a garbled entry's (or part's) data is garbled with: the
// password and its header's modifier. Empty for an entry not garbled.
using GarbleKey = std::vector<uint8_t>;
GarbleKey KeyOf(const std::vector<uint8_t>& header, const std::string& password) {
  GarbleKey key(password.size());
  if (Has(EntryFlags(header.data()), EntryFlag::kGarbled))
    MakeGarbleKey(password.data(), static_cast<uint32_t>(password.size()), header[fixed_header::kGarbleModifier],
                  key.data());
  else
    key.clear();
  return key;
}

// Bytes of a file from an offset, up to a count; ungarbled with `key`
// when one is given (the first byte at the data's start).
class RangeSource : public arjrt::ByteSource {
 public:
  RangeSource(int fd, uint64_t offset, uint64_t size, GarbleKey key = {})
      : fd_(fd), offset_(offset), left_(size), key_(std::move(key)) {}
  int64_t Read(uint8_t* buffer, size_t size) override {
    const size_t n = size < left_ ? size : static_cast<size_t>(left_);
    if (n == 0) return 0;
    if (const int e = ReadAt(fd_, offset_, buffer, n); e != 0) return ERR_IO;
    GarbleBytes(buffer, n, key_.data(), static_cast<uint32_t>(key_.size()), read_);
    offset_ += n;
    left_ -= n;
    read_ += n;
    return static_cast<int64_t>(n);
  }

 private:
  int fd_;
  uint64_t offset_;
  uint64_t left_;
  GarbleKey key_;
  uint64_t read_ = 0;
};

// Garbles `size` bytes of the file at `at` in place (data just packed).
int GarbleInFile(int fd, uint64_t at, uint64_t size, const GarbleKey& key) {
  std::vector<uint8_t> buffer(static_cast<size_t>(std::min<uint64_t>(size, 64 * 1024)));
  for (uint64_t done = 0; done < size;) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(size - done, buffer.size()));
    if (const int e = ReadAt(fd, at + done, buffer.data(), n); e != 0) return e;
    GarbleBytes(buffer.data(), n, key.data(), static_cast<uint32_t>(key.size()), done);
    if (const int e = WriteAt(fd, at + done, buffer.data(), n); e != 0) return e;
    done += n;
  }
  return 0;
}

// Writes into a file from an offset; past `limit` bytes it refuses (the
// encoder then stops), having counted what it was offered.
class LimitedSink : public arjrt::ByteSink {
 public:
  static constexpr ResultCode kOverLimit = ERR_LIMIT_EXCEEDED;
  LimitedSink(int fd, uint64_t offset, uint64_t limit) : fd_(fd), offset_(offset), limit_(limit) {}
  ResultCode Write(const uint8_t* data, size_t size) override {
    if (written_ + size > limit_) return kOverLimit;
    if (WriteAt(fd_, offset_ + written_, data, size) != 0) return ERR_IO;
    written_ += size;
    return RESULT_OK;
  }
  uint64_t written() const { return written_; }

 private:
  int fd_;
  uint64_t offset_;
  uint64_t limit_;
  uint64_t written_ = 0;
};

// An unnamed file beside `scratch` (removed as soon as it is made).
Status ScratchFile(const std::string& scratch, Fd* file) {
  std::string pattern = scratch + ".split-XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  const int made = ::mkstemp(name.data());
  if (made < 0) return ErrnoStatus(errno, pattern + ": cannot be made");
  ::unlink(name.data());  // gone with the descriptor
  file->Reset(made);
  return {};
}

// The chunks of one part, packed with `method` from `offset` of the file
// `fd` until they fill `room` packed bytes: each chunk is packed once, and
// one that would overflow the room is tried again at half its size, down
// to a floor, to fill what is left. The part's matches reach back only
// into its own bytes, so that it decodes alone. Data that its first chunk
// does not make smaller ends the part at once: it is stored instead.
class BudgetedChunks : public arjrt::PackedChunkSource {
 public:
  BudgetedChunks(uint8_t method, int fd, uint64_t offset, uint64_t left, uint64_t room)
      : method_(method), fd_(fd), offset_(offset), left_(left), room_bits_(room * 8),
        chunk_(static_cast<size_t>(std::clamp<uint64_t>(room / 16, kMinChunk, arjrt::kChunkBytes))) {}

  ResultCode Next(arjrt::PackedChunk* chunk, uint64_t* unpacked) override {
    *unpacked = 0;
    if (incompressible_) return RESULT_OK;
    for (size_t size = static_cast<size_t>(std::min<uint64_t>(left_, chunk_)); size > 0;
         size = size / 2 >= kMinChunk ? size / 2 : 0) {
      const size_t history = std::min(kept_.size(), arjrt::kChunkHistory);
      std::vector<uint8_t> data(kept_.end() - static_cast<ptrdiff_t>(history), kept_.end());
      data.resize(history + size);
      if (const int e = ReadAt(fd_, offset_, data.data() + history, size); e != 0) return ERR_IO;
      if (const ResultCode r = arjrt::EncodeChunk(method_, data.data(), history, data.size(), chunk); Failed(r))
        return r;
      if (bits_ == 0 && chunk->bits >= uint64_t{size} * 8) {
        incompressible_ = true;
        return RESULT_OK;
      }
      // Whole bytes: the joined stream pads its last one.
      if ((bits_ + chunk->bits + 7) / 8 * 8 > room_bits_) continue;
      bits_ += chunk->bits;
      offset_ += size;
      left_ -= size;
      kept_.assign(data.end() - static_cast<ptrdiff_t>(std::min(data.size(), arjrt::kChunkHistory)), data.end());
      *unpacked = size;
      return RESULT_OK;
    }
    return RESULT_OK;
  }

 private:
  static constexpr uint64_t kMinChunk = 1024;
  uint8_t method_;
  int fd_;
  uint64_t offset_;
  uint64_t left_;
  uint64_t room_bits_;
  size_t chunk_;
  uint64_t bits_ = 0;
  std::vector<uint8_t> kept_;  // the part's last bytes, which the next chunk's matches may reach
  bool incompressible_ = false;
};

// An archive in one file, header after header.
class SingleArchive : public ArchiveInput {
 public:
  SingleArchive(int fd, const std::string& path) : fd_(fd), size_(SizeOfFile(fd)), path_(path) {}
  Status Main(StoredHeader* h) override {
    Status s = ReadStoredAt(fd_, size_, 0, HeaderRole::kMain, h);
    if (s.ok()) offset_ = h->facts.data_offset;
    return s;
  }
  Status Next(StoredHeader* h, int* fd, int* split_method) override {
    *fd = fd_;
    *split_method = -1;
    Status s = ReadStoredAt(fd_, size_, offset_, HeaderRole::kLocal, h);
    if (s.ok() && !h->bytes.empty()) offset_ = h->facts.next_offset;
    return s;
  }
  const std::string& Source() const override { return path_; }

 private:
  int fd_;
  uint64_t size_;
  const std::string& path_;
  uint64_t offset_ = 0;
};

class Splitter {
 public:
  Splitter(ArchiveInput& input, uint64_t limit, const std::string& scratch, const std::string& password,
           const std::vector<Repack>& repack, const VolumeFileMaker& make)
      : input_(input), limit_(limit), scratch_(scratch), password_(password), repack_(repack), make_(make) {}

  Status Run(size_t* count) {
    Status s = input_.Main(&main_);
    if (!s.ok()) return s;
    if (!(s = OpenVolume()).ok()) return s;
    for (size_t index = 0;; ++index) {
      StoredHeader h;
      int split_method = -1;
      if (!(s = input_.Next(&h, &in_, &split_method)).ok()) return s;
      if (h.bytes.empty()) break;  // the end marker
      const Repack* repack = index < repack_.size() && repack_[index].method >= 0 ? &repack_[index] : nullptr;
      // A stand-in's method is its file's, as the input read it.
      const int method = split_method >= 0 ? split_method : repack ? repack->method : -1;
      if (!(s = repack ? Split(h, static_cast<uint8_t>(method), repack->parts) : Place(h)).ok()) return s;
    }
    if (!(s = CloseVolume(true)).ok()) return s;
    *count = volumes_;
    return {};
  }

 private:

  // This volume's main header: the archive's, named as the volume's file,
  // flagged as going on in the next volume unless it is the last.
  Status MainHeaderBytes(bool last, std::vector<uint8_t>* out) const {
    const HeaderFacts& f = main_.facts;
    std::vector<uint8_t> fixed = main_.FixedPart();
    const size_t flags = fixed_header::kFlags - fixed_header::kBasicHeader;
    fixed[flags] = VolumeMainFlags(fixed[flags], last);
    // The name, then from its NUL on (the comment and its NUL) as stored.
    std::vector<uint8_t> rest(volume_name_.begin(), volume_name_.end());
    rest.insert(rest.end(), main_.bytes.begin() + f.name_at + f.name_length, main_.bytes.begin() + main_.basic_end());
    if (!Rewritten(fixed.data(), static_cast<uint32_t>(fixed.size()), {rest.data(), static_cast<uint32_t>(rest.size())},
                   main_.extended(), out))
      return Failure(Code::kUnsupported, volume_path_ + ": its main header would be too large");
    return {};
  }

  Status OpenVolume() {
    if (volumes_ >= kMostVolumes)
      return Failure(Code::kLimitExceeded, "it would take more than " + std::to_string(kMostVolumes) +
                                               " volumes: take a larger volume size");
    Status s = make_(volumes_, &volume_path_, &volume_name_);
    if (!s.ok()) return s;
    out_.Reset(OpenToWrite(volume_path_));
    if (out_.get() < 0) return ErrnoStatus(errno, volume_path_ + ": cannot be written");
    ++volumes_;
    std::vector<uint8_t> header;
    if (!(s = MainHeaderBytes(false, &header)).ok()) return s;
    used_ = 0;
    s = Put(header.data(), header.size());
    main_size_ = used_;
    if (s.ok() && main_size_ + kEndMarkerSize > limit_)
      return Failure(Code::kBadArgument, "the volume size is too small for the archive's main header");
    return s;
  }

  // Ends the volume with the end marker; the last also says, in its main
  // header, that the set ends there (the same length: the name is the same).
  Status CloseVolume(bool last) {
    const uint8_t end[kEndMarkerSize] = {kArjHeaderIdLow, static_cast<uint8_t>(kArjHeaderId >> 8), 0, 0};
    Status s = Put(end, sizeof end);
    if (s.ok() && last) {
      std::vector<uint8_t> header;
      if (!(s = MainHeaderBytes(true, &header)).ok()) return s;
      if (const int e = WriteAt(out_.get(), 0, header.data(), header.size()); e != 0)
        return ErrnoStatus(e, volume_path_ + ": cannot be written");
    }
    // Attempts at packing a part may have written past its end.
    if (s.ok() && ::ftruncate(out_.get(), static_cast<off_t>(used_)) != 0)
      return ErrnoStatus(errno, volume_path_ + ": cannot be written");
    if (s.ok() && used_ > limit_) return Failure(Code::kInternal, volume_path_ + ": larger than the volume size");
    out_.Reset(-1);
    return s;
  }

  Status NextVolume() {
    Status s = CloseVolume(false);
    return s.ok() ? OpenVolume() : s;
  }

  Status Put(const void* bytes, size_t size) {
    if (const int e = WriteAt(out_.get(), used_, bytes, size); e != 0)
      return ErrnoStatus(e, volume_path_ + ": cannot be written from " + input_.Source());
    used_ += size;
    return {};
  }

  uint64_t Room() const { return limit_ - used_ - kEndMarkerSize; }
  bool VolumeHoldsEntries() const { return used_ > main_size_; }

  Status CopyData(uint64_t from, uint64_t size) {
    if (const int e = CopyAt(in_, from, out_.get(), used_, size); e != 0)
      return ErrnoStatus(e, volume_path_ + ": cannot be written from " + input_.Source());
    used_ += size;
    return {};
  }

  // An entry whose data can be cut into parts: a file's, of a method we
  // pack; a garbled one with its password (each part is garbled alone, as
  // arj -v -g garbles them).
  bool Splittable(const StoredHeader& h) const {
    const uint8_t* f = h.bytes.data();
    return HoldsFileData(EntryFileType(f)) && (!Has(EntryFlags(f), EntryFlag::kGarbled) || !password_.empty()) &&
           EntryMethod(f) <= Byte(kLastMethod) && PackedSize(f) > 0 && !IsPartOfSplitFile(EntryFlags(f));
  }

  Status Place(const StoredHeader& h) {
    const uint64_t packed = PackedSize(h.bytes.data());
    const uint64_t whole = h.bytes.size() + packed;
    if (whole <= Room()) {
      Status s = Put(h.bytes.data(), h.bytes.size());
      return s.ok() ? CopyData(h.facts.data_offset, packed) : s;
    }
    if (Splittable(h)) return Split(h, EntryMethod(h.bytes.data()), {});
    if (VolumeHoldsEntries()) {
      Status s = NextVolume();
      if (!s.ok()) return s;
      if (whole <= Room()) return Place(h);
    }
    const bool garbled = Has(EntryFlags(h.bytes.data()), EntryFlag::kGarbled);
    return Failure(Code::kBadArgument, EntryName(h) + ": does not fit in a volume of " + std::to_string(limit_) +
                                           (garbled ? " bytes, and a garbled file is split only with its password"
                                                    : " bytes, and cannot be split"));
  }

  static std::string EntryName(const StoredHeader& h) {
    return std::string(reinterpret_cast<const char*>(h.bytes.data() + h.facts.name_at), h.facts.name_length);
  }

  // The unpacked bytes of the entry: its stored data in the archive, or
  // those of a packed (or garbled) one decoded into a scratch file.
  Status Unpacked(const StoredHeader& h, Fd* scratch, int* fd, uint64_t* base) {
    const uint8_t* f = h.bytes.data();
    const GarbleKey key = KeyOf(h.bytes, password_);
    if (EntryMethod(f) == Byte(Method::kStored) && key.empty()) {
      *fd = in_;
      *base = h.facts.data_offset;
      return {};
    }
    if (Status s = ScratchFile(scratch_, scratch); !s.ok()) return s;
    const int made = scratch->get();
    RangeSource in(in_, h.facts.data_offset, PackedSize(f), key);
    LimitedSink out(made, 0, OriginalSize(f));
    uint64_t written = 0;
    const ResultCode r = arjrt::DecodeArjData(EntryMethod(f), in, out, OriginalSize(f), &written);
    if (Failed(r)) return StatusOf(r, EntryName(h) + ": cannot be unpacked to be split");
    *fd = made;
    *base = 0;
    return {};
  }

  // The part's packed data written at `at`: as many bytes from `position`
  // as fit `room` packed with the entry's method (BudgetedChunks: each
  // byte packed about once), or stored when packing does not make them
  // smaller, as arj stores such a part.
  struct Part {
    uint8_t method = 0;
    uint64_t size = 0;
    uint64_t packed = 0;
    uint32_t crc = 0;
  };
  Status PackPart(uint8_t method, int fd, uint64_t offset, uint64_t left, uint64_t at, uint64_t room, Part* part) {
    if (method != Byte(Method::kStored)) {
      BudgetedChunks chunks(method, fd, offset, left, room);
      LimitedSink out(out_.get(), at, room);
      *part = {method, 0, 0, 0};
      bool reached = false;
      const ResultCode r = arjrt::JoinChunks(chunks, out, room + 1, &part->packed, &part->size, &reached, &part->crc);
      if (Failed(r) || reached)
        return StatusOf(Failed(r) ? r : ERR_LIMIT_EXCEEDED, volume_path_ + ": a part cannot be packed");
      if (part->size > 0 && part->packed < part->size) return {};
    }
    // Stored: the bytes as they are.
    *part = {Byte(Method::kStored), std::min(left, room), 0, 0};
    RangeSource in(fd, offset, part->size);
    LimitedSink out(out_.get(), at, room);
    uint64_t read = 0;
    const ResultCode r = arjrt::EncodeArjData(part->method, in, out, &part->packed, &read, &part->crc);
    if (Failed(r) || read != part->size)
      return StatusOf(Failed(r) ? r : ERR_IO, volume_path_ + ": a part cannot be written");
    return {};
  }

  // The part's header: the entry's, made a part's (volume_parts.h).
  Status PartHeader(const StoredHeader& h, const Part& part, uint64_t position, bool more, uint8_t modifier,
                    std::vector<uint8_t>* out) const {
    std::vector<uint8_t> fixed = h.FixedPart();
    MakePartFixed({part.method, modifier, part.size, part.packed, part.crc, position, more}, &fixed);
    if (!Rewritten(fixed.data(), static_cast<uint32_t>(fixed.size()), h.NameAndComment(), h.extended(), out))
      return Failure(Code::kUnsupported, EntryName(h) + ": its header cannot hold a part's position (name too long)");
    return {};
  }

  // An old part of the file that begins at `position` and fits `room`,
  // copied at `at` as it is: false (nothing written) when there is none.
  Status CopyOldPart(const std::vector<OldPart>& old, uint64_t position, uint64_t at, uint64_t room, Part* part,
                     uint8_t* modifier, bool* copied) {
    *copied = false;
    const auto found = std::find_if(old.begin(), old.end(), [&](const OldPart& p) { return p.position == position; });
    if (found == old.end()) return {};
    const Fd volume(OpenToRead(found->volume));
    if (volume.get() < 0) return ErrnoStatus(errno, found->volume + ": cannot be read");
    StoredHeader oh;
    if (Status s = ReadStoredAt(volume.get(), SizeOfFile(volume.get()), found->header_offset, HeaderRole::kLocal, &oh);
        !s.ok())
      return Failure(s.code, found->volume + ": " + s.message);
    const uint8_t* f = oh.bytes.data();
    if (oh.bytes.empty() || PackedSize(f) > room || OriginalSize(f) != found->size) return {};
    if (const int e = CopyAt(volume.get(), oh.facts.data_offset, out_.get(), at, PackedSize(f)); e != 0)
      return ErrnoStatus(e, volume_path_ + ": cannot be written from " + found->volume);
    *part = {EntryMethod(f), OriginalSize(f), PackedSize(f), FileCrc(f)};
    *modifier = oh.bytes[fixed_header::kGarbleModifier];
    *copied = true;
    return {};
  }

  // The old part's unpacked bytes decoded into `scratch`.
  Status DecodeOldPart(const OldPart& old, Fd* scratch) {
    const Fd volume(OpenToRead(old.volume));
    if (volume.get() < 0) return ErrnoStatus(errno, old.volume + ": cannot be read");
    StoredHeader oh;
    Status s = ReadStoredAt(volume.get(), SizeOfFile(volume.get()), old.header_offset, HeaderRole::kLocal, &oh);
    if (!s.ok() || oh.bytes.empty() || OriginalSize(oh.bytes.data()) != old.size)
      return Failure(s.ok() ? Code::kDamaged : s.code, old.volume + ": a part of the file cannot be read again");
    if (!(s = ScratchFile(scratch_, scratch)).ok()) return s;
    const uint8_t* f = oh.bytes.data();
    RangeSource in(volume.get(), oh.facts.data_offset, PackedSize(f), KeyOf(oh.bytes, password_));
    LimitedSink out(scratch->get(), 0, old.size);
    uint64_t written = 0;
    const ResultCode r = arjrt::DecodeArjData(EntryMethod(f), in, out, old.size, &written);
    if (Failed(r) || written != old.size) return StatusOf(Failed(r) ? r : ERR_IO, old.volume + ": a part cannot be unpacked");
    return {};
  }

  // Writes the file in parts packed with `method`, each in the room its
  // volume has left: one part, a whole entry, when it all fits. A file of
  // a set's rewrite comes as its `old` parts (h is the join's stand-in):
  // each copied as it is where it begins a part and fits its room, else
  // decoded and packed again up to its end (see Repack).
  Status Split(const StoredHeader& h, uint8_t method, const std::vector<OldPart>& old) {
    Fd whole;  // the file's bytes, when it comes whole
    int fd = -1;
    uint64_t base = 0;
    Status s = old.empty() ? Unpacked(h, &whole, &fd, &base) : Status{};
    uint64_t total = old.empty() ? OriginalSize(h.bytes.data()) : 0;
    for (const OldPart& p : old) total += p.size;
    Fd decoded;  // the old part last decoded
    const OldPart* in_decoded = nullptr;
    std::vector<uint8_t> header;
    // The part header's length is known before its fields are.
    if (s.ok()) s = PartHeader(h, Part{}, 0, false, 0, &header);
    const uint64_t header_size = header.size();
    const GarbleKey key = KeyOf(h.bytes, password_);
    for (uint64_t position = 0; s.ok();) {
      if (!BeginsPart(Room(), header_size)) {
        if (!VolumeHoldsEntries())
          return Failure(Code::kBadArgument, EntryName(h) + ": its header leaves no room for data in a volume");
        s = NextVolume();
        continue;
      }
      const uint64_t room = Room() - header_size;
      const uint64_t at = used_ + header_size;
      Part part;
      uint8_t modifier = h.bytes[fixed_header::kGarbleModifier];
      bool copied = false;
      if (!(s = CopyOldPart(old, position, at, room, &part, &modifier, &copied)).ok()) break;
      if (!copied && old.empty()) s = PackPart(method, fd, base + position, total - position, at, room, &part);
      if (!copied && !old.empty()) {
        const auto within = std::find_if(old.begin(), old.end(), [&](const OldPart& p) {
          return position >= p.position && position < p.position + p.size;
        });
        if (within == old.end()) return Failure(Code::kInternal, EntryName(h) + ": its old parts do not make it up");
        if (&*within != in_decoded && (s = DecodeOldPart(*within, &decoded)).ok()) in_decoded = &*within;
        if (s.ok())
          s = PackPart(method, decoded.get(), position - within->position, within->position + within->size - position,
                       at, room, &part);
      }
      if (!s.ok()) break;
      if (!copied)
        if (const int e = GarbleInFile(out_.get(), at, part.packed, key); e != 0)
          return ErrnoStatus(e, volume_path_ + ": cannot be written");
      const bool more = position + part.size < total;
      if (!(s = PartHeader(h, part, position, more, modifier, &header)).ok()) break;
      if (header.size() != header_size) return Failure(Code::kInternal, EntryName(h) + ": a part header changed size");
      if (!(s = Put(header.data(), header.size())).ok()) break;
      used_ += part.packed;
      position += part.size;
      if (!more) break;
      s = NextVolume();
    }
    return s;
  }

  ArchiveInput& input_;
  int in_ = -1;  // the file the current entry's data lies in
  uint64_t limit_;
  const std::string& scratch_;
  const std::string& password_;
  const std::vector<Repack>& repack_;
  const VolumeFileMaker& make_;
  StoredHeader main_;
  Fd out_;
  std::string volume_path_;
  std::string volume_name_;
  size_t volumes_ = 0;
  uint64_t used_ = 0;
  uint64_t main_size_ = 0;
};

}  // namespace

Status SplitIntoVolumes(const std::string& single, uint64_t volume_size, const std::string& scratch,
                        const std::string& password, const std::vector<Repack>& repack,
                        const VolumeFileMaker& make_volume, size_t* count) {
  const Fd in(OpenToRead(single));
  if (in.get() < 0) return ErrnoStatus(errno, single + ": cannot be read");
  SingleArchive input(in.get(), single);
  return SplitIntoVolumes(input, volume_size, scratch, password, repack, make_volume, count);
}

Status SplitIntoVolumes(ArchiveInput& input, uint64_t volume_size, const std::string& scratch,
                        const std::string& password, const std::vector<Repack>& repack,
                        const VolumeFileMaker& make_volume, size_t* count) {
  return Splitter(input, volume_size, scratch, password, repack, make_volume).Run(count);
}

Status JoinedSet::Main(StoredHeader* h) {
  const Fd volume(OpenToRead(first_));
  if (volume.get() < 0) return ErrnoStatus(errno, first_ + ": cannot be read");
  StoredHeader main;
  if (Status s = ReadStoredAt(volume.get(), SizeOfFile(volume.get()), 0, HeaderRole::kMain, &main); !s.ok()) return s;
  std::vector<uint8_t> fixed = main.FixedPart();
  const size_t flags = fixed_header::kFlags - fixed_header::kBasicHeader;
  fixed[flags] = static_cast<uint8_t>(VolumeMainFlags(fixed[flags], true) & ~Bit(MainFlag::kProtected));
  std::vector<uint8_t> bytes;
  if (!Rewritten(fixed.data(), static_cast<uint32_t>(fixed.size()), main.NameAndComment(), main.extended(), &bytes))
    return Failure(Code::kUnsupported, first_ + ": its main header cannot be written again");
  return ParseStored(bytes, HeaderRole::kMain, h);
}

Status JoinedSet::Next(StoredHeader* h, int* fd, int* split_method) {
  *fd = -1;
  *split_method = -1;
  if (next_ == entries_.size()) {
    *h = StoredHeader{};  // the end
    return {};
  }
  const size_t index = next_++;
  const JoinedEntry& e = entries_[index];
  if (volume_.get() < 0 || e.volume != volume_path_) {
    volume_.Reset(OpenToRead(e.volume));
    if (volume_.get() < 0) return ErrnoStatus(errno, e.volume + ": cannot be read");
    volume_path_ = e.volume;
    volume_size_ = SizeOfFile(volume_.get());
  }
  if (Status s = ReadStoredAt(volume_.get(), volume_size_, e.header_offset, HeaderRole::kLocal, h); !s.ok())
    return Failure(s.code, e.volume + ": " + s.message);
  if (h->bytes.empty()) return Failure(Code::kDamaged, e.volume + ": an entry's header is not where it was");
  if (!e.split) {
    *fd = volume_.get();
    if (damaged_ == nullptr || !StoredPlainFile(h->bytes.data())) return {};
    bool sound = true;
    if (Status s = CheckCrc(*h, &sound); !s.ok()) return s;
    if (!sound) damaged_->push_back(index);
    return {};
  }
  // A stand-in without data: the new set takes the file from its old
  // parts, packing again only what it cannot copy.
  *split_method = EntryMethod(h->bytes.data());
  std::vector<uint8_t> fixed = h->FixedPart();
  MakeStandInFixed(&fixed);
  std::vector<uint8_t> bytes;
  if (!Rewritten(fixed.data(), static_cast<uint32_t>(fixed.size()), h->NameAndComment(), h->extended(), &bytes))
    return Failure(Code::kUnsupported, "a joined entry's header cannot be written");
  return ParseStored(bytes, HeaderRole::kLocal, h);
}

// Whether the stored bytes of `h` match its CRC, in *sound.
Status JoinedSet::CheckCrc(const StoredHeader& h, bool* sound) const {
  std::vector<uint8_t> buffer(64 * 1024);
  uint64_t at = h.facts.data_offset;
  uint64_t left = PackedSize(h.bytes.data());
  uint32_t crc = 0;
  while (left > 0) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(left, buffer.size()));
    if (const int e = ReadAt(volume_.get(), at, buffer.data(), n); e != 0)
      return ErrnoStatus(e, volume_path_ + ": cannot be read");
    crc = Crc32Update(n, buffer.data(), crc);
    at += n;
    left -= n;
  }
  *sound = crc == FileCrc(h.bytes.data());
  return {};
}

Status JoinVolumes(const std::string& first_volume, const std::vector<JoinedEntry>& entries,
                   const std::string& out_path, std::vector<int>* repack) {
  repack->assign(entries.size(), -1);
  const Fd out(OpenToWrite(out_path));
  if (out.get() < 0) return ErrnoStatus(errno, out_path + ": cannot be written");
  uint64_t at = 0;
  auto put = [&](const std::vector<uint8_t>& bytes) {
    const int e = WriteAt(out.get(), at, bytes.data(), bytes.size());
    at += bytes.size();
    return e == 0 ? Status{} : ErrnoStatus(e, out_path + ": cannot be written");
  };
  JoinedSet joined(first_volume, entries);
  StoredHeader h;
  Status s = joined.Main(&h);
  if (s.ok()) s = put(h.bytes);
  for (size_t i = 0; s.ok(); ++i) {
    int fd = -1, split_method = -1;
    if (!(s = joined.Next(&h, &fd, &split_method)).ok() || h.bytes.empty()) break;
    (*repack)[i] = split_method;
    if (!(s = put(h.bytes)).ok()) break;
    if (fd < 0) continue;
    const uint64_t packed = PackedSize(h.bytes.data());
    if (const int err = CopyAt(fd, h.facts.data_offset, out.get(), at, packed); err != 0)
      return ErrnoStatus(err, out_path + ": cannot be written from " + joined.Source());
    at += packed;
  }
  if (!s.ok()) return s;
  const std::vector<uint8_t> end{kArjHeaderIdLow, static_cast<uint8_t>(kArjHeaderId >> 8), 0, 0};
  return put(end);
}

}  // namespace arjhost
