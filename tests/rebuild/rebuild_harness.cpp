#include "tests/rebuild/rebuild_harness.h"

#include "plugin/format/crc32.h"
#include "runtime/codecs/decode/arj_decoder.h"
#include "runtime/services/change_list.h"
#include "runtime/services/content_file_io.h"
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

ObjectRef FileContent(ObjectRef parent, const std::string& path, const Bytes& data, const std::string& name,
                      int method) {
  WriteFile(path, data);
  ObjectRef io = nullptr;
  EXPECT_EQ(host::CreateObject(parent, &io, IID_BLOCK_IO, arjrt::PID_CONTENT_FILE_IO), RESULT_OK);
  host::SetPropBuffer(io, PROP_OBJECT_PATH, path.c_str(), static_cast<uint32_t>(path.size() + 1));
  if (!name.empty()) host::SetPropBuffer(io, PROP_OBJECT_NAME, name.c_str(), static_cast<uint32_t>(name.size() + 1));
  if (method >= 0) host::SetPropDWord(io, PROP_ENTRY_METHOD, static_cast<uint32_t>(method));
  EXPECT_EQ(host::CreateObjectDone(io), RESULT_OK);
  return io;
}

Bytes IoBytes(ObjectRef io) {
  uint64_t size = 0;
  host::Io(io).GetSize(io, &size, 0);
  Bytes b(size);
  if (size != 0) host::Io(io).SeekRead(io, nullptr, 0, b.data(), static_cast<uint32_t>(size));
  return b;
}

// Every read is checked: failure tests parse partial archives.
WrittenArchive ParseWritten(const Bytes& a) {
  WrittenArchive out;
  auto has = [&](size_t at, size_t n) { return at <= a.size() && n <= a.size() - at; };
  // The offset after the header at `at` (0 when it does not fit).
  auto header_end = [&](size_t at, WrittenEntry* e) -> size_t {
    if (!has(at, 4)) return 0;
    const uint16_t basic = Get16(a, at + 2);
    size_t p = at + 4 + basic;
    if (!has(at + 4, basic) || !has(p, 4)) return 0;
    if (e != nullptr) {
      if (basic < 30) return 0;
      e->basic_size = basic;
      e->first_header_size = a[at + 4];
      const uint32_t crc = a[p] | a[p + 1] << 8 | a[p + 2] << 16 | uint32_t{a[p + 3]} << 24;
      e->header_crc_ok = Crc32Update(basic, a.data() + at + 4, 0) == crc;
      const size_t name_at = at + 4 + e->first_header_size;
      for (size_t q = name_at; q < at + 4 + basic && a[q] != 0; ++q) e->name.push_back(static_cast<char>(a[q]));
    }
    p += 4;
    for (;;) {
      if (!has(p, 2)) return 0;
      const uint16_t ext = Get16(a, p);
      p += 2;
      if (ext == 0) break;
      if (!has(p, ext + 4u)) return 0;
      p += ext + 4;
      if (e != nullptr) ++e->extended_headers;
    }
    return p;
  };
  size_t p = header_end(0, nullptr);
  if (p == 0) return out;
  out.main_header_length = p;
  while (has(p, 4) && Get16(a, p) == 0xEA60) {
    if (Get16(a, p + 2) == 0) {
      out.ended = p + 4 == a.size();
      break;
    }
    if (!has(p, 34)) break;
    WrittenEntry e;
    e.offset = p;
    e.fixed.assign(a.begin() + static_cast<long>(p), a.begin() + static_cast<long>(p + 34));
    const size_t data = header_end(p, &e);
    if (data == 0) break;
    const uint32_t packed = e.Field32(16);
    if (!has(data, packed)) break;
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

Bytes NoiseSample(size_t size) {
  Bytes out(size);
  uint64_t x = 88172645463325252ull;
  for (uint8_t& b : out) {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    b = static_cast<uint8_t>(x >> 32);
  }
  return out;
}

}  // namespace testing_support
