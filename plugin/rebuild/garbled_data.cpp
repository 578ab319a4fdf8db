#include "plugin/rebuild/garbled_data.h"

namespace {

struct GarbleObjects {
  ObjectRef window = nullptr;
  ObjectRef garble = nullptr;
  ~GarbleObjects() {
    host::CloseIfOpen(garble);
    host::CloseIfOpen(window);
  }
};

// A window on the data, and the garble I/O over it (key index 0 at the
// data's first byte).
[[nodiscard]] ResultCode OpenGarbled(ObjectRef archiver, ObjectRef destination, uint64_t at, uint64_t size,
                                     const uint8_t* key, uint32_t key_length, GarbleObjects& o) {
  ResultCode r = host::CreateObject(archiver, &o.window, IID_BLOCK_IO, PID_WINDOW_IO);
  if (Failed(r)) {
    o.window = nullptr;
    return r;
  }
  if (!Failed(r)) r = host::SetPropQWord(o.window, PROP_WINDOW_OFFSET, at);
  if (!Failed(r)) r = host::SetPropQWord(o.window, PROP_WINDOW_SIZE, size);
  if (!Failed(r)) r = host::SetPropObject(o.window, PROP_WINDOW_BASE, destination);
  if (!Failed(r)) r = host::CreateObjectDone(o.window);
  if (Failed(r)) return r;
  if (Failed(r = host::CreateObject(o.window, &o.garble, IID_BLOCK_IO, PID_GARBLE_IO))) {
    o.garble = nullptr;
    return r;
  }
  r = host::SetPropObject(o.garble, PROP_GARBLE_BASE, o.window);
  if (!Failed(r)) r = host::SetPropBuffer(o.garble, PROP_GARBLE_KEY, key, key_length);
  if (!Failed(r)) r = host::SetPropDWord(o.garble, PROP_GARBLE_KEY_LENGTH, key_length);
  return Failed(r) ? r : host::CreateObjectDone(o.garble);
}

}  // namespace

ResultCode GarbleWrittenData(ObjectRef archiver, ObjectRef destination, OutputStream& out, uint64_t at, uint64_t size,
                             const uint8_t* key, uint32_t key_length, uint8_t* buffer) {
  if (out.position != at + size) return ERR_IO;
  GarbleObjects o;
  ResultCode r = OpenGarbled(archiver, destination, at, size, key, key_length, o);
  if (Failed(r)) return r;
  if (Failed(r = SeekBackward(out, size))) return r;
  // Each chunk is read from the file before the stream writes over it:
  // what the stream holds back lies behind the next read.
  for (uint64_t done = 0; done < size;) {
    const uint32_t want = size - done < kGarbleChunk ? static_cast<uint32_t>(size - done) : kGarbleChunk;
    uint32_t count = 0;
    r = host::Io(o.garble).SeekRead(o.garble, &count, done, buffer, want);
    if (Failed(r)) return r;
    if (count != want) return ERR_IO;
    if (Failed(r = WriteBytes(out, buffer, count))) return r;
    done += count;
  }
  return FlushOutput(out);
}
