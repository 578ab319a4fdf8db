#include "tests/rebuild/rebuild_harness.h"

#include "plugin/common/crc32.h"
#include "runtime/codecs/decode/arj_decoder.h"
#include "runtime/services/change_list.h"
#include "runtime/services/services.h"

namespace testing_support {
namespace {

uint16_t Get16(const Bytes& b, size_t at) { return static_cast<uint16_t>(b[at] | b[at + 1] << 8); }

class BytesSource : public arjrt::ByteSource {
 public:
  explicit BytesSource(const Bytes& b) : b_(b) {}
  int64_t Read(uint8_t* buffer, size_t size) override {
    const size_t n = std::min(size, b_.size() - at_);
    std::copy(b_.begin() + static_cast<long>(at_), b_.begin() + static_cast<long>(at_ + n), buffer);
    at_ += n;
    return static_cast<int64_t>(n);
  }

 private:
  const Bytes& b_;
  size_t at_ = 0;
};

class BytesSink : public arjrt::ByteSink {
 public:
  ResultCode Write(const uint8_t* data, size_t size) override {
    bytes.insert(bytes.end(), data, data + size);
    return RESULT_OK;
  }
  Bytes bytes;
};

}  // namespace

ObjectRef MemoryContent(ObjectRef parent, const Bytes& data, const std::string& name) {
  ObjectRef io = nullptr;
  EXPECT_EQ(host::CreateObjectQuick(parent, &io, IID_BLOCK_IO, PID_MEMORY_IO), RESULT_OK);
  if (!data.empty()) host::Io(io).SeekWrite(io, nullptr, 0, data.data(), static_cast<uint32_t>(data.size()));
  if (!name.empty()) host::SetPropBuffer(io, PROP_OBJECT_NAME, name.c_str(), static_cast<uint32_t>(name.size() + 1));
  return io;
}

Bytes IoBytes(ObjectRef io) {
  uint64_t size = 0;
  host::Io(io).GetSize(io, &size, 0);
  Bytes b(size);
  if (size != 0) host::Io(io).SeekRead(io, nullptr, 0, b.data(), static_cast<uint32_t>(size));
  return b;
}

WrittenArchive ParseWritten(const Bytes& a) {
  WrittenArchive out;
  auto header_end = [&](size_t at, WrittenEntry* e) -> size_t {
    const uint16_t basic = Get16(a, at + 2);
    size_t p = at + 4 + basic;
    if (e != nullptr) {
      e->basic_size = basic;
      e->first_header_size = a[at + 4];
      const uint32_t crc = a[p] | a[p + 1] << 8 | a[p + 2] << 16 | uint32_t{a[p + 3]} << 24;
      e->header_crc_ok = Crc32Update(basic, a.data() + at + 4, 0) == crc;
    }
    p += 4;
    for (;;) {
      const uint16_t ext = Get16(a, p);
      p += 2;
      if (ext == 0) break;
      p += ext + 4;
      if (e != nullptr) ++e->extended_headers;
    }
    return p;
  };
  if (a.size() < 4) return out;
  size_t p = header_end(0, nullptr);
  out.main_header_length = p;
  while (p + 4 <= a.size() && Get16(a, p) == 0xEA60) {
    if (Get16(a, p + 2) == 0) {
      out.ended = p + 4 == a.size();
      break;
    }
    WrittenEntry e;
    e.offset = p;
    e.fixed.assign(a.begin() + static_cast<long>(p), a.begin() + static_cast<long>(p + 34));
    e.name = reinterpret_cast<const char*>(a.data() + p + 4 + a[p + 4]);
    const size_t data = header_end(p, &e);
    const uint32_t packed = e.Field32(16);
    if (data + packed > a.size()) break;
    e.packed.assign(a.begin() + static_cast<long>(data), a.begin() + static_cast<long>(data + packed));
    out.entries.push_back(std::move(e));
    p = data + packed;
  }
  return out;
}

std::optional<Bytes> Unpack(const WrittenEntry& e) {
  BytesSource in(e.packed);
  BytesSink out;
  if (Failed(arjrt::DecodeArjData(e.method(), in, out, e.Field32(20), nullptr))) return std::nullopt;
  if (Crc32Update(out.bytes.size(), out.bytes.data(), 0) != e.Field32(24)) return std::nullopt;
  return out.bytes;
}

ResultCode RebuildInto(ArchiverFixture& f, ObjectRef list, Bytes* out) {
  ObjectRef dest = nullptr;
  EXPECT_EQ(host::CreateObjectQuick(f.archiver(), &dest, IID_BLOCK_IO, PID_MEMORY_IO), RESULT_OK);
  ResultCode r = host::Archiver(f.archiver()).Rebuild(f.archiver(), list, dest);
  *out = IoBytes(dest);
  host::CloseObject(dest);
  return r;
}

ObjectRef NewChangeList(TestHost& host) {
  ObjectRef list = nullptr;
  EXPECT_EQ(host::CreateObjectQuick(host.root(), &list, IID_CHANGE_LIST, arjrt::PID_CHANGE_LIST), RESULT_OK);
  return list;
}

Bytes DataFile(const std::string& name) { return ReadFile(SourcePath("tests/data/" + name)); }

Bytes MixedSample(size_t size, uint32_t seed) {
  Bytes b;
  b.reserve(size);
  uint32_t x = seed * 2654435761u + 1;
  const std::string words[] = {"archive ", "entry ", "header ", "the ", "of ", "packed ", "data\n", "volume "};
  while (b.size() < size) {
    x = x * 1103515245u + 12345u;
    const uint32_t kind = (x >> 16) % 10;
    if (kind < 6) {
      for (char c : words[(x >> 8) % 8]) b.push_back(static_cast<uint8_t>(c));
    } else if (kind < 8) {
      b.insert(b.end(), (x >> 4) % 40, static_cast<uint8_t>(x >> 24));
    } else {
      for (int i = 0; i < 16; ++i) b.push_back(static_cast<uint8_t>((x = x * 1103515245u + 12345u) >> 24));
    }
  }
  b.resize(size);
  return b;
}

}  // namespace testing_support
