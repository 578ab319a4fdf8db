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

// Method 1 chooses between the optimal parse and method 2's parse (deep
// chains, lazy matching). The optimal parse packs programs, tables and
// text of many words tighter every time measured; method 2 wins on text of
// few words, whose long matches its long chain finds, and takes a third of
// the time on text that packs below a quarter, where the optimal parse
// gains under 2%.

// Packed to 30% or more, data is of the kind the optimal parse wins on.
bool OptimalKind(uint64_t packed_bits, size_t input) { return packed_bits >= uint64_t{input} * 8 * 3 / 10; }

// Chunks up to this size are packed by the optimal parse first; larger ones
// are judged by method 2's packing of their first kProbeBytes.
constexpr size_t kProbeBytes = 32768;

[[nodiscard]] ResultCode PackSmallWithMethod1(const uint8_t* data, size_t history, size_t size, PackedChunk* out) {
  ResultCode r = EncodeChunkWith(1, data, history, size, out);
  if (Failed(r) || OptimalKind(out->bits, size - history)) return r;
  PackedChunk lazy;
  r = EncodeChunkWith(2, data, history, size, &lazy);
  if (!Failed(r) && lazy.bits <= out->bits) *out = std::move(lazy);
  return r;
}

[[nodiscard]] ResultCode PackLargeWithMethod1(const uint8_t* data, size_t history, size_t size, PackedChunk* out) {
  // The start of text packs a little looser than the whole, so text still
  // reads as text at 30%; data method 2 cannot pack is no kind to judge by.
  ResultCode r = EncodeChunkWith(2, data, history, history + kProbeBytes, out);
  if (!Failed(r) && OptimalKind(out->bits, kProbeBytes) && out->bits <= uint64_t{kProbeBytes} * 8 / 100 * 97)
    return EncodeChunkWith(1, data, history, size, out);
  // Text-like: method 2's parse, unless the optimal parse comes out smaller
  // where method 2 packs it to a quarter or more (and can pack it at all).
  r = EncodeChunkWith(2, data, history, size, out);
  const uint64_t input_bits = uint64_t{size - history} * 8;
  if (Failed(r) || out->bits < input_bits / 4 || out->bits > input_bits / 100 * 97) return r;
  PackedChunk optimal;
  r = EncodeChunkWith(1, data, history, size, &optimal);
  if (!Failed(r) && optimal.bits < out->bits) *out = std::move(optimal);
  return r;
}

// EncodeChunk's packing, without the CRC.
[[nodiscard]] ResultCode PackChunk(uint32_t method, const uint8_t* data, size_t history, size_t size,
                                   PackedChunk* out) {
  if (method != 1) return EncodeChunkWith(method, data, history, size, out);
  return size - history <= kProbeBytes ? PackSmallWithMethod1(data, history, size, out)
                                       : PackLargeWithMethod1(data, history, size, out);
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
