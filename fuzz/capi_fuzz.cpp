// libFuzzer target: the C API's opens from memory and through callbacks
// (a stream that can seek, and one that cannot, kept in memory or spilled
// to a file), with the other volumes of a set handed over by the volume
// callback; every entry is walked and all its data read.
// Input: a flags byte (bit 0 callbacks, else memory; bit 1 the stream can
// seek; bit 2 a stream kept in a file past 4 KiB; bit 3 the password set,
// else asked; bits 4-5 the volumes after the first), then those volumes
// (fuzz.a01 on) each after its 16-bit length, then the first volume.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "runtime/bindings/c/arjhost.h"

namespace {

struct Span {
  const uint8_t* data = nullptr;
  size_t size = 0;
};

// A stream over a span, from its start.
struct SpanStream {
  Span span;
  size_t at = 0;
};

ptrdiff_t Read(void* user, void* buffer, size_t size) {
  auto* s = static_cast<SpanStream*>(user);
  const size_t n = std::min(size, s->span.size - s->at);
  if (n != 0) std::memcpy(buffer, s->span.data + s->at, n);
  s->at += n;
  return static_cast<ptrdiff_t>(n);
}

int64_t Seek(void* user, int64_t offset, int whence) {
  auto* s = static_cast<SpanStream*>(user);
  const int64_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? static_cast<int64_t>(s->at)
                                                                   : static_cast<int64_t>(s->span.size);
  const int64_t to = base + offset;
  if (to < 0 || to > static_cast<int64_t>(s->span.size)) return -1;
  s->at = static_cast<size_t>(to);
  return to;
}

struct Input {
  uint8_t flags = 0;
  std::vector<Span> volumes;
  std::vector<SpanStream> streams;  // one per volume, for the callbacks

  arjhost_callbacks CallbacksOf(size_t volume) {
    streams[volume] = SpanStream{volumes[volume], 0};
    arjhost_callbacks c;
    std::memset(&c, 0, sizeof c);
    c.read = Read;
    c.seek = (flags & 2) != 0 ? Seek : nullptr;
    c.user = &streams[volume];
    return c;
  }
};

// "fuzz.a01" is the second volume, and so on.
int OpenVolume(void* user, const char* name, arjhost_volume* volume) {
  auto* in = static_cast<Input*>(user);
  const size_t length = std::strlen(name);
  if (length != 8 || std::strncmp(name, "fuzz.a0", 7) != 0 || name[7] < '1' || name[7] > '9')
    return ARJHOST_ERR_NOT_FOUND;
  const size_t index = static_cast<size_t>(name[7] - '0');
  if (index >= in->volumes.size()) return ARJHOST_ERR_NOT_FOUND;
  if ((in->flags & 1) != 0) {
    volume->callbacks = in->CallbacksOf(index);
  } else {
    volume->data = in->volumes[index].data;
    volume->size = in->volumes[index].size;
  }
  return ARJHOST_OK;
}

int AskPassword(void*, const char*, int attempt, char* password, size_t size) {
  std::snprintf(password, size, "%s", attempt == 0 ? "secret" : "other");
  return attempt < 2 ? ARJHOST_OK : ARJHOST_ERR_CANCELLED;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  Input in;
  in.flags = data[0];
  size_t at = 1;
  for (int v = (in.flags >> 4) & 3; v > 0 && at + 2 <= size; --v) {
    const size_t length = std::min<size_t>(data[at] | (data[at + 1] << 8), size - at - 2);
    in.volumes.push_back({data + at + 2, length});
    at += 2 + length;
  }
  in.volumes.insert(in.volumes.begin(), Span{data + at, size - at});
  in.streams.resize(in.volumes.size());

  arjhost_options o;
  arjhost_options_init(&o);
  o.plugin = ARJHOST_FUZZ_PLUGIN;
  o.name = "fuzz.arj";
  o.max_size = 1 << 20;  // an entry's size costs time, not findings
  if ((in.flags & 4) != 0) o.max_stream_memory = 4096;
  if ((in.flags & 8) != 0) o.password = "secret";
  else o.password_callback = AskPassword;
  o.open_volume = OpenVolume;
  o.volume_user = &in;
  arjhost_archive* a = nullptr;
  if ((in.flags & 1) != 0) {
    arjhost_callbacks c = in.CallbacksOf(0);
    a = arjhost_open_callbacks(&c, &o);
  } else {
    a = arjhost_open_memory(in.volumes[0].data, in.volumes[0].size, &o);
  }
  // Whatever it opened as, every entry is walked and read.
  (void)arjhost_archive_flags(a);
  (void)arjhost_archive_comment(a);
  (void)arjhost_archive_digest(a);
  const char* cause = nullptr;
  for (size_t k = 0; arjhost_archive_unreadable_volume(a, k, &cause) != nullptr; ++k) {
  }
  arjhost_entry* e = nullptr;
  while (arjhost_next_entry(a, &e) == ARJHOST_OK) {
    (void)arjhost_entry_mode(e);
    (void)arjhost_entry_type_of(e);
    (void)arjhost_entry_header_ok(e);
    static thread_local uint8_t buffer[1 << 16];
    while (arjhost_read_data(a, buffer, sizeof buffer) > 0) {
    }
  }
  // Back to an entry by its index, and the whole archive tested as the tool does.
  if (arjhost_seek_entry(a, in.flags >> 4, &e) == ARJHOST_OK) (void)arjhost_test_data(a);
  (void)arjhost_test_all(a, [](void*, const arjhost_entry* tested, int, const char*) {
    (void)arjhost_entry_tested_size(tested);
  }, nullptr);
  arjhost_close(a);
  return 0;
}
