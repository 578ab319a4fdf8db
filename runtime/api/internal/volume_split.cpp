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
#include "runtime/api/internal/status_of.h"
#include "runtime/api/internal/stored_headers.h"
#include "runtime/codecs/decode/arj_decoder.h"
#include "runtime/codecs/encode/arj_encoder.h"

namespace arjhost {
namespace {

using namespace format;

// As arj ("up to 999 archive volumes"): names past .999 would grow, and
// every volume is open at once while the set is checked.
constexpr size_t kMaxWrittenVolumes = 999;
// A part smaller than this is not begun: the file goes on in a new volume.
constexpr uint64_t kMinPartRoom = 1024;
// The offset (from the header id) of a part's position in its file, which
// a first header size of 34 or more holds.
constexpr size_t kFilePosition = kFixedHeaderSize;

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

class Splitter {
 public:
  Splitter(int in, uint64_t in_size, uint64_t limit, const std::string& scratch, const std::string& password,
           const VolumeFileMaker& make)
      : in_(in), in_size_(in_size), limit_(limit), scratch_(scratch), password_(password), make_(make) {}

  Status Run(size_t* count) {
    uint64_t offset = 0;
    Status s = ReadStored(offset, HeaderRole::kMain, &main_);
    if (!s.ok()) return s;
    offset = main_.facts.data_offset;
    if (!(s = OpenVolume()).ok()) return s;
    for (;;) {
      StoredHeader h;
      if (!(s = ReadStored(offset, HeaderRole::kLocal, &h)).ok()) return s;
      if (h.bytes.empty()) break;  // the end marker
      if (!(s = Place(h)).ok()) return s;
      offset = h.facts.next_offset;
    }
    if (!(s = CloseVolume(true)).ok()) return s;
    *count = volumes_;
    return {};
  }

 private:
  Status ReadStored(uint64_t offset, HeaderRole role, StoredHeader* h) {
    return ReadStoredAt(in_, in_size_, offset, role, h);
  }

  // This volume's main header: the archive's, named as the volume's file,
  // flagged as going on in the next volume unless it is the last.
  Status MainHeaderBytes(bool last, std::vector<uint8_t>* out) const {
    const HeaderFacts& f = main_.facts;
    std::vector<uint8_t> fixed = main_.FixedPart();
    const size_t flags = fixed_header::kFlags - fixed_header::kBasicHeader;
    if (last) fixed[flags] &= static_cast<uint8_t>(~Bit(MainFlag::kContinuesInNext));
    else fixed[flags] |= Bit(MainFlag::kContinuesInNext);
    // The name, then from its NUL on (the comment and its NUL) as stored.
    std::vector<uint8_t> rest(volume_name_.begin(), volume_name_.end());
    rest.insert(rest.end(), main_.bytes.begin() + f.name_at + f.name_length, main_.bytes.begin() + main_.basic_end());
    if (!Rewritten(fixed.data(), static_cast<uint32_t>(fixed.size()), {rest.data(), static_cast<uint32_t>(rest.size())},
                   main_.extended(), out))
      return Failure(Code::kUnsupported, volume_path_ + ": its main header would be too large");
    return {};
  }

  Status OpenVolume() {
    if (volumes_ >= kMaxWrittenVolumes)
      return Failure(Code::kLimitExceeded, "it would take more than " + std::to_string(kMaxWrittenVolumes) +
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
      return ErrnoStatus(e, volume_path_ + ": cannot be written");
    used_ += size;
    return {};
  }

  uint64_t Room() const { return limit_ - used_ - kEndMarkerSize; }
  bool VolumeHoldsEntries() const { return used_ > main_size_; }

  Status CopyData(uint64_t from, uint64_t size) {
    if (const int e = CopyAt(in_, from, out_.get(), used_, size); e != 0)
      return ErrnoStatus(e, volume_path_ + ": cannot be written");
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
    if (Splittable(h)) return Split(h);
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
  // as fit `room` packed with the entry's method, or stored when packing
  // does not make them smaller, as arj stores such a part.
  struct Part {
    uint8_t method = 0;
    uint64_t size = 0;
    uint64_t packed = 0;
    uint32_t crc = 0;
  };
  Status PackPart(uint8_t method, int fd, uint64_t base, uint64_t position, uint64_t left, uint64_t at,
                  uint64_t room, Part* part) {
    uint64_t best = 0;
    Part tried;
    uint64_t guess = std::min(left, room * 4);
    for (int attempt = 0; method != Byte(Method::kStored) && attempt < 8 && guess > 0; ++attempt) {
      RangeSource in(fd, base + position, guess);
      LimitedSink out(out_.get(), at, room * 2);
      uint64_t read = 0;
      tried = {method, guess, 0, 0};
      const ResultCode r = arjrt::EncodeArjData(method, in, out, &tried.packed, &read, &tried.crc);
      const bool over = r == LimitedSink::kOverLimit;
      if (Failed(r) && !over) return StatusOf(r, volume_path_ + ": a part cannot be packed");
      if (!over && read != guess) return Failure(Code::kInternal, volume_path_ + ": a part was not read whole");
      const uint64_t packed = over ? room * 2 : tried.packed;
      if (!over && packed <= room) {
        if (packed >= guess) break;  // packing does not pay: stored below
        if (guess > best) {
          best = guess;
          *part = tried;
        }
        if (guess == left || packed >= room - room / 16) break;
      }
      // Scaled to fill the room, a little short of it.
      const double scaled = static_cast<double>(guess) * static_cast<double>(room - room / 32) /
                            static_cast<double>(std::max<uint64_t>(packed, 1));
      const uint64_t next = std::min(left, static_cast<uint64_t>(scaled));
      if (next == guess || (next <= best && best > 0)) break;
      guess = next;
    }
    if (best > 0 && part->packed < part->size) {
      if (tried.size != best) {  // the last attempt overwrote the best one: pack it again
        RangeSource in(fd, base + position, best);
        LimitedSink out(out_.get(), at, room);
        uint64_t read = 0;
        const ResultCode r = arjrt::EncodeArjData(method, in, out, &part->packed, &read, &part->crc);
        if (Failed(r) || read != best)
          return StatusOf(Failed(r) ? r : ERR_IO, volume_path_ + ": a part cannot be packed");
      }
      return {};
    }
    // Stored: the bytes as they are.
    *part = {Byte(Method::kStored), std::min(left, room), 0, 0};
    RangeSource in(fd, base + position, part->size);
    LimitedSink out(out_.get(), at, room);
    uint64_t read = 0;
    const ResultCode r = arjrt::EncodeArjData(part->method, in, out, &part->packed, &read, &part->crc);
    if (Failed(r) || read != part->size)
      return StatusOf(Failed(r) ? r : ERR_IO, volume_path_ + ": a part cannot be written");
    return {};
  }

  // The part's header: the entry's, with a first header size that holds
  // the part's position, its flags, method, sizes and CRC.
  Status PartHeader(const StoredHeader& h, const Part& part, uint64_t position, bool more,
                    std::vector<uint8_t>* out) const {
    const HeaderFacts& f = h.facts;
    const size_t basic = fixed_header::kBasicHeader;
    std::vector<uint8_t> fixed(h.bytes.begin(), h.bytes.begin() + basic + f.first_header_size);
    if (fixed.size() < kFilePosition + 4) fixed.resize(kFilePosition + 4, 0);
    fixed[fixed_header::kFirstHeaderSize] = static_cast<uint8_t>(fixed.size() - basic);
    uint8_t flags = EntryFlags(fixed.data());
    if (more) flags |= Bit(EntryFlag::kContinuesInNext);
    if (position > 0) flags |= Bit(EntryFlag::kContinuesPrevious);
    fixed[fixed_header::kFlags] = flags;
    fixed[fixed_header::kMethod] = part.method;
    StoreDWord(fixed.data() + fixed_header::kPackedSize, static_cast<uint32_t>(part.packed));
    StoreDWord(fixed.data() + fixed_header::kOriginalSize, static_cast<uint32_t>(part.size));
    StoreDWord(fixed.data() + fixed_header::kFileCrc, part.crc);
    StoreDWord(fixed.data() + kFilePosition, static_cast<uint32_t>(position));
    const uint32_t rest_at = basic + f.first_header_size;
    const ByteSpan rest{h.bytes.data() + rest_at, h.basic_end() - rest_at};
    if (!Rewritten(fixed.data() + basic, static_cast<uint32_t>(fixed.size() - basic), rest, h.extended(), out))
      return Failure(Code::kUnsupported, EntryName(h) + ": its header cannot hold a part's position (name too long)");
    return {};
  }

  // Writes the file in parts, each in the room its volume has left.
  Status Split(const StoredHeader& h) {
    Fd scratch;
    int fd = -1;
    uint64_t base = 0;
    Status s = Unpacked(h, &scratch, &fd, &base);
    const uint64_t total = OriginalSize(h.bytes.data());
    std::vector<uint8_t> header;
    // The part header's length is known before its fields are.
    if (s.ok()) s = PartHeader(h, Part{}, 0, false, &header);
    const uint64_t header_size = header.size();
    const GarbleKey key = KeyOf(h.bytes, password_);
    for (uint64_t position = 0; s.ok();) {
      if (header_size + kMinPartRoom > Room()) {
        if (!VolumeHoldsEntries())
          return Failure(Code::kBadArgument, EntryName(h) + ": its header leaves no room for data in a volume");
        s = NextVolume();
        continue;
      }
      const uint64_t room = Room() - header_size;
      Part part;
      s = PackPart(EntryMethod(h.bytes.data()), fd, base, position, total - position, used_ + header_size, room, &part);
      if (!s.ok()) break;
      if (const int e = GarbleInFile(out_.get(), used_ + header_size, part.packed, key); e != 0)
        return ErrnoStatus(e, volume_path_ + ": cannot be written");
      const bool more = position + part.size < total;
      if (!(s = PartHeader(h, part, position, more, &header)).ok()) break;
      if (header.size() != header_size) return Failure(Code::kInternal, EntryName(h) + ": a part header changed size");
      if (!(s = Put(header.data(), header.size())).ok()) break;
      used_ += part.packed;
      position += part.size;
      if (!more) break;
      s = NextVolume();
    }
    return s;
  }

  int in_;
  uint64_t in_size_;
  uint64_t limit_;
  const std::string& scratch_;
  const std::string& password_;
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
                        const std::string& password, const VolumeFileMaker& make_volume, size_t* count) {
  const Fd in(OpenToRead(single));
  if (in.get() < 0) return ErrnoStatus(errno, single + ": cannot be read");
  return Splitter(in.get(), SizeOfFile(in.get()), volume_size, scratch, password, make_volume).Run(count);
}

namespace {

// Packs `size` bytes of `from` with `method` into `out` at `at`: stored
// when packing does not make them smaller.
Status PackWhole(uint8_t method, int from, uint64_t size, int out, uint64_t at, uint8_t* used, uint64_t* packed,
                 uint32_t* crc) {
  for (uint8_t m : {method, Byte(Method::kStored)}) {
    RangeSource in(from, 0, size);
    LimitedSink sink(out, at, UINT64_MAX);
    uint64_t read = 0;
    const ResultCode r = arjrt::EncodeArjData(m, in, sink, packed, &read, crc);
    if (Failed(r) || read != size) return StatusOf(Failed(r) ? r : ERR_IO, "a joined entry cannot be packed");
    *used = m;
    if (*packed < size || m == Byte(Method::kStored)) break;
  }
  return {};
}

}  // namespace

Status JoinVolumes(const std::string& first_volume, const std::vector<JoinedEntry>& entries,
                   const SplitContent& content, const std::string& scratch, const std::string& password,
                   const std::string& out_path) {
  const Fd out(OpenToWrite(out_path));
  if (out.get() < 0) return ErrnoStatus(errno, out_path + ": cannot be written");
  uint64_t at = 0;
  auto put = [&](const std::vector<uint8_t>& bytes) {
    const int e = WriteAt(out.get(), at, bytes.data(), bytes.size());
    at += bytes.size();
    return e == 0 ? Status{} : ErrnoStatus(e, out_path + ": cannot be written");
  };
  std::vector<uint8_t> header;
  Status s;
  {
    const Fd volume(OpenToRead(first_volume));
    if (volume.get() < 0) return ErrnoStatus(errno, first_volume + ": cannot be read");
    StoredHeader main;
    if (!(s = ReadStoredAt(volume.get(), SizeOfFile(volume.get()), 0, HeaderRole::kMain, &main)).ok()) return s;
    std::vector<uint8_t> fixed = main.FixedPart();
    fixed[fixed_header::kFlags - fixed_header::kBasicHeader] &= static_cast<uint8_t>(~Bit(MainFlag::kContinuesInNext));
    if (!Rewritten(fixed.data(), static_cast<uint32_t>(fixed.size()), main.NameAndComment(), main.extended(), &header))
      return Failure(Code::kUnsupported, first_volume + ": its main header cannot be written again");
    if (!(s = put(header)).ok()) return s;
  }
  for (size_t i = 0; i < entries.size(); ++i) {
    const JoinedEntry& e = entries[i];
    const Fd volume(OpenToRead(e.volume));
    if (volume.get() < 0) return ErrnoStatus(errno, e.volume + ": cannot be read");
    StoredHeader h;
    if (!(s = ReadStoredAt(volume.get(), SizeOfFile(volume.get()), e.header_offset, HeaderRole::kLocal, &h)).ok())
      return Failure(s.code, e.volume + ": " + s.message);
    if (!e.split) {
      if (!(s = put(h.bytes)).ok()) return s;
      const uint64_t packed = PackedSize(h.bytes.data());
      if (const int err = CopyAt(volume.get(), h.facts.data_offset, out.get(), at, packed); err != 0)
        return ErrnoStatus(err, out_path + ": cannot be written from " + e.volume);
      at += packed;
      continue;
    }
    Fd whole;
    if (!(s = ScratchFile(scratch, &whole)).ok() || !(s = content(i, whole.get())).ok()) return s;
    const uint64_t size = SizeOfFile(whole.get());
    if (size > 0xFFFFFFFFull) return Failure(Code::kUnsupported, "a joined entry would be 4 GiB or more");
    uint8_t method = 0;
    uint64_t packed = 0;
    uint32_t crc = 0;
    if (!(s = PackWhole(EntryMethod(h.bytes.data()), whole.get(), size, out.get(), at + h.bytes.size(), &method,
                        &packed, &crc)).ok())
      return s;
    // Garbled again as its parts were, with its first part's modifier.
    if (const int e = GarbleInFile(out.get(), at + h.bytes.size(), packed, KeyOf(h.bytes, password)); e != 0)
      return ErrnoStatus(e, out_path + ": cannot be written");
    std::vector<uint8_t> fixed = h.FixedPart();
    const size_t basic = fixed_header::kBasicHeader;
    fixed[fixed_header::kFlags - basic] &=
        static_cast<uint8_t>(~(Bit(EntryFlag::kContinuesInNext) | Bit(EntryFlag::kContinuesPrevious)));
    fixed[fixed_header::kMethod - basic] = method;
    StoreDWord(fixed.data() + fixed_header::kPackedSize - basic, static_cast<uint32_t>(packed));
    StoreDWord(fixed.data() + fixed_header::kOriginalSize - basic, static_cast<uint32_t>(size));
    StoreDWord(fixed.data() + fixed_header::kFileCrc - basic, crc);
    if (fixed.size() >= kFilePosition + 4 - basic) StoreDWord(fixed.data() + kFilePosition - basic, 0);
    if (!Rewritten(fixed.data(), static_cast<uint32_t>(fixed.size()), h.NameAndComment(), h.extended(), &header))
      return Failure(Code::kUnsupported, "a joined entry's header cannot be written");
    if (!(s = put(header)).ok()) return s;
    at += packed;
  }
  const std::vector<uint8_t> end{kArjHeaderIdLow, static_cast<uint8_t>(kArjHeaderId >> 8), 0, 0};
  return put(end);
}

}  // namespace arjhost
