#include "runtime/codecs/encode/packed_chunks.h"

#include <cstring>

#include "plugin/format/crc32.h"
#include "runtime/codecs/encode/bit_writer.h"
#include "runtime/codecs/encode/fast_encoder.h"
#include "runtime/codecs/encode/lz_window.h"
#include "runtime/codecs/encode/lzh_encoder.h"

namespace arjrt {
namespace {

static_assert(kChunkHistory + kChunkBytes <= LzWindow::kBufferBytes, "a chunk is packed without moving its window");

class BufferSource : public ByteSource {
 public:
  BufferSource(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  int64_t Read(uint8_t* buffer, size_t size) override {
    const size_t n = std::min(size, size_ - at_);
    if (n != 0) std::memcpy(buffer, data_ + at_, n);
    at_ += n;
    return static_cast<int64_t>(n);
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

class VectorSink : public ByteSink {
 public:
  explicit VectorSink(std::vector<uint8_t>& bytes) : bytes_(bytes) {}
  ResultCode Write(const uint8_t* data, size_t size) override {
    bytes_.insert(bytes_.end(), data, data + size);
    return RESULT_OK;
  }

 private:
  std::vector<uint8_t>& bytes_;
};


[[nodiscard]] ResultCode EncodeChunkWith(uint32_t method, const uint8_t* data, size_t history, size_t size,
                                         PackedChunk* out) {
  out->bytes.clear();
  out->bits = 0;
  // Room for literals at nine bits a byte and the trees: no growth on the way.
  out->bytes.reserve((size - history) + (size - history) / 8 + 4096);
  BufferSource in(data, size);
  VectorSink sink(out->bytes);
  BitWriter bits(sink);
  uint64_t read = 0;
  const ResultCode r = method == 4 ? EncodeFast(in, history, bits, &read) : EncodeLzh(method, in, history, bits, &read);
  const uint32_t pending = bits.pending_bits();
  const ResultCode finished = bits.Finish();
  out->bits = uint64_t{out->bytes.size()} * 8 - (pending != 0 ? 8 - pending : 0);
  return Failed(r) ? r : finished;
}

// Whether the optimal parse is worth its time on data that method 2 packs
// into `packed` bits of `input` bytes: not on data it packs below a quarter
// (text, where its deep chains find what the parse's shallow searches
// miss, and runs, where the parse gains a few bytes for twice the time),
// nor on data it cannot pack (stored in the end).
bool OptimalParseWins(uint64_t packed, size_t input) {
  const uint64_t input_bits = uint64_t{input} * 8;
  return packed >= input_bits / 4 && packed <= input_bits / 100 * 97;
}

// A chunk's start, which method 1 judges a large chunk by.
constexpr size_t kProbeBytes = 32768;

// EncodeChunk's packing, without the CRC.
[[nodiscard]] ResultCode PackChunk(uint32_t method, const uint8_t* data, size_t history, size_t size,
                                   PackedChunk* out) {
  if (method != 1) return EncodeChunkWith(method, data, history, size, out);
  ResultCode r;
  // A large chunk whose start method 2 packs to 30% or more (programs,
  // tables: the start of text packs a little looser than the whole) takes
  // the optimal parse alone, which packs such data tighter every time
  // measured: method 2's parse of it all would only be thrown away.
  if (size - history > kProbeBytes) {
    r = EncodeChunkWith(2, data, history, history + kProbeBytes, out);
    const uint64_t probe_bits = uint64_t{kProbeBytes} * 8;
    if (!Failed(r) && out->bits >= probe_bits * 3 / 10 && OptimalParseWins(out->bits, kProbeBytes))
      return EncodeChunkWith(1, data, history, size, out);
  }
  // A small chunk is packed by the optimal parse first: where that packs
  // it to 30% or more (text of many words, programs), method 2's parse
  // has not come out smaller in any file measured.
  if (size - history <= kProbeBytes) {
    r = EncodeChunkWith(1, data, history, size, out);
    const uint64_t input_bits = uint64_t{size - history} * 8;
    if (Failed(r) || out->bits >= input_bits * 3 / 10) return r;
    PackedChunk lazy;
    r = EncodeChunkWith(2, data, history, size, &lazy);
    if (!Failed(r) && lazy.bits <= out->bits) *out = std::move(lazy);
    return r;
  }
  // Else it takes method 2's parse unless the optimal parse comes out
  // smaller, so that no small file packs worse with method 1 than with
  // method 2 (both cut it into the same chunks).
  r = EncodeChunkWith(2, data, history, size, out);
  if (Failed(r) || !OptimalParseWins(out->bits, size - history)) return r;
  PackedChunk optimal;
  r = EncodeChunkWith(1, data, history, size, &optimal);
  if (!Failed(r) && optimal.bits < out->bits) *out = std::move(optimal);
  return r;
}

}  // namespace

ResultCode EncodeChunk(uint32_t method, const uint8_t* data, size_t history, size_t size, PackedChunk* out) {
  if (method < 1 || method > 4) return ERR_UNSUPPORTED;
  const ResultCode r = PackChunk(method, data, history, size, out);
  out->crc = arjhost::format::Crc32Update(size - history, data + history, 0);
  return r;
}

int64_t ReadFull(ByteSource& in, uint8_t* buffer, size_t size) {
  size_t got = 0;
  while (got < size) {
    const int64_t n = in.Read(buffer + got, size - got);
    if (n < 0) return n;
    // A source must not claim more than it was offered.
    if (static_cast<uint64_t>(n) > size - got) return ERR_BAD_PARAMETER;
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  return static_cast<int64_t>(got);
}

InlineChunks::InlineChunks(uint32_t method, ByteSource& in)
    : method_(method), in_(in), buffer_(kChunkHistory + kChunkBytes) {}

ResultCode InlineChunks::Next(PackedChunk* chunk, uint64_t* unpacked) {
  *unpacked = 0;
  const int64_t got = ReadFull(in_, buffer_.data() + history_, kChunkBytes);
  if (got < 0) return static_cast<ResultCode>(got);
  if (got == 0) return RESULT_OK;
  const size_t end = history_ + static_cast<size_t>(got);
  const ResultCode r = EncodeChunk(method_, buffer_.data(), history_, end, chunk);
  if (Failed(r)) return r;
  *unpacked = static_cast<uint64_t>(got);
  // The chunk's tail is the next one's history.
  const size_t keep = std::min(end, kChunkHistory);
  std::memmove(buffer_.data(), buffer_.data() + end - keep, keep);
  history_ = keep;
  return RESULT_OK;
}

}  // namespace arjrt
