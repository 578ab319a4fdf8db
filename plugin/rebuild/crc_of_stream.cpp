#include "plugin/rebuild/crc_of_stream.h"

#include "plugin/format/crc32.h"

using namespace arjhost::format;

ResultCode CrcOfStream(ObjectRef stream, uint8_t* buffer, uint32_t chunk, uint64_t expected, uint32_t* crc) {
  const StreamMethods& m = host::Stream(stream);
  // Both rewinds matter: the sum covers the whole source, and the encoder
  // reads it again from its start.
  ResultCode r = m.SetPosition(stream, 0, 0, 0);
  if (Failed(r)) return r;
  uint32_t value = 0;
  uint64_t total = 0;
  // Reading stops once past `expected`: a source that never ends cannot
  // keep us here.
  while (total <= expected) {
    uint32_t count = 0;
    r = m.Read(stream, &count, buffer, chunk);
    if (Failed(r) && r != ERR_END_OF_DATA) return r;
    if (count > chunk) return ERR_CORRUPTED;
    if (count == 0) break;
    value = Crc32Update(count, buffer, value);
    total += count;
  }
  if (Failed(r = m.SetPosition(stream, 0, 0, 0))) return r;
  if (total != expected) return ERR_CORRUPTED;
  *crc = value;
  return RESULT_OK;
}
