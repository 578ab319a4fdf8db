#include "runtime/codecs/encode/arj_encoder.h"

#include "runtime/codecs/encode/bit_joiner.h"
#include "runtime/common/crc32.h"
#include "runtime/codecs/encode/packed_chunks.h"
#include "runtime/codecs/encode/store_copy.h"

namespace arjrt {

ResultCode JoinChunks(PackedChunkSource& chunks, ByteSink& out, uint64_t limit, uint64_t* packed_written,
                      uint64_t* unpacked_read, bool* reached, uint32_t* unpacked_crc) {
  BitJoiner joiner(out);
  PackedChunk chunk;
  uint64_t read = 0;
  uint32_t crc = 0;
  uint64_t bits = 0;
  ResultCode r = RESULT_OK;
  if (reached != nullptr) *reached = false;
  for (;;) {
    uint64_t unpacked = 0;
    if (Failed(r = chunks.Next(&chunk, &unpacked)) || unpacked == 0) break;
    read += unpacked;
    crc = Crc32Combine(crc, chunk.crc, unpacked);
    bits += chunk.bits;
    // Stopped before writing it: what is written stays below the limit.
    if ((bits + 7) / 8 >= limit) {
      if (reached != nullptr) *reached = true;
      break;
    }
    if (Failed(r = joiner.Append(chunk))) break;
  }
  // Nothing to pack packs to no less than nothing.
  if (!Failed(r) && limit == 0 && reached != nullptr) *reached = true;
  // A read error wins; else the sink's error, if any, from the final byte.
  const ResultCode finished = joiner.Finish();
  if (!Failed(r)) r = finished;
  if (packed_written != nullptr) *packed_written = joiner.bytes_written();
  if (unpacked_read != nullptr) *unpacked_read = read;
  if (unpacked_crc != nullptr) *unpacked_crc = crc;
  return r;
}

ResultCode EncodeArjData(uint32_t method, ByteSource& in, ByteSink& out, uint64_t* packed_written,
                         uint64_t* unpacked_read, uint32_t* unpacked_crc) {
  if (method > 4) {
    if (packed_written != nullptr) *packed_written = 0;
    if (unpacked_read != nullptr) *unpacked_read = 0;
    if (unpacked_crc != nullptr) *unpacked_crc = 0;
    return ERR_UNSUPPORTED;
  }
  if (method != 0) {
    InlineChunks chunks(method, in);
    return JoinChunks(chunks, out, UINT64_MAX, packed_written, unpacked_read, nullptr, unpacked_crc);
  }
  uint64_t written = 0;
  uint64_t read = 0;
  uint32_t crc = 0;
  const ResultCode r = StoreCopy(in, out, &written, &read, &crc);
  if (packed_written != nullptr) *packed_written = written;
  if (unpacked_read != nullptr) *unpacked_read = read;
  if (unpacked_crc != nullptr) *unpacked_crc = crc;
  return r;
}

}  // namespace arjrt
