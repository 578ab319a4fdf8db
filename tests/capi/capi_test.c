/* The C API as a C program uses it (C99, linked with libarjhost): the
 * test archives through every way of opening them, read against what the
 * tool extracts; the CRC verdict on the last read; passwords; volume sets
 * from a path and through the volume callback; limits; extraction that
 * keeps names inside the folder; writing and deleting (checked by the
 * peers when they are installed); two handles on two threads.
 *   capi_test SOURCE_DIR TOOL
 * Prints one line per failed check and "capi test: N checks, M failed". */
#define _XOPEN_SOURCE 700
#include <arjhost.h>
#include <errno.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

static int checks, failures;
static const char *group = "";
static const char *data_dir, *tool;
static char scratch[512];

#define CHECK(condition, ...)                                     \
  do {                                                            \
    ++checks;                                                     \
    if (!(condition)) {                                           \
      ++failures;                                                 \
      fprintf(stderr, "FAILED %s (%s:%d): ", group, __FILE__, __LINE__); \
      fprintf(stderr, __VA_ARGS__);                               \
      fputc('\n', stderr);                                        \
    }                                                             \
  } while (0)

/* ---- helpers ------------------------------------------------------------ */

typedef struct {
  unsigned char *data;
  size_t size;
} Bytes;

static Bytes read_file(const char *path) {
  Bytes b = {NULL, 0};
  FILE *f = fopen(path, "rb");
  if (f == NULL) return b;
  size_t room = 0;
  for (;;) {
    if (b.size == room) {
      room = room ? room * 2 : 65536;
      b.data = realloc(b.data, room);
    }
    size_t n = fread(b.data + b.size, 1, room - b.size, f);
    if (n == 0) break;
    b.size += n;
  }
  fclose(f);
  return b;
}

static const char *data_path(const char *name) {
  static char path[1024];
  snprintf(path, sizeof path, "%s/%s", data_dir, name);
  return path;
}

static int exists(const char *path) {
  struct stat st;
  return lstat(path, &st) == 0;
}

static int peer_installed(const char *peer) {
  char command[256];
  snprintf(command, sizeof command, "command -v %s >/dev/null 2>&1", peer);
  return system(command) == 0;
}

static int in_ci(void) {
  const char *ci = getenv("CI");
  return ci != NULL && strcmp(ci, "true") == 0;
}

/* The peer's verdict on an archive; -1 when the peer is not installed
 * (which fails the run in CI). */
static int peer_test(const char *peer, const char *archive) {
  char command[2048];
  if (!peer_installed(peer)) {
    if (in_ci()) CHECK(0, "%s is not installed", peer);
    else fprintf(stderr, "skipped: %s is not installed\n", peer);
    return -1;
  }
  if (strcmp(peer, "arj") == 0)
    snprintf(command, sizeof command, "timeout 60 arj t '%s' -y </dev/null >/dev/null 2>&1", archive);
  else
    snprintf(command, sizeof command, "timeout 60 7zz t '%s' >/dev/null 2>&1", archive);
  return system(command);
}

static unsigned long crc_table[256];
static unsigned long crc32_of(const unsigned char *p, size_t n) {
  unsigned long c = 0xFFFFFFFFul;
  if (crc_table[1] == 0)
    for (unsigned i = 0; i < 256; ++i) {
      unsigned long v = i;
      for (int k = 0; k < 8; ++k) v = v & 1 ? 0xEDB88320ul ^ (v >> 1) : v >> 1;
      crc_table[i] = v;
    }
  for (size_t i = 0; i < n; ++i) c = crc_table[(c ^ p[i]) & 0xFF] ^ (c >> 8);
  return c ^ 0xFFFFFFFFul;
}

/* Reads the current entry's data with reads of `chunk` bytes; returns the
 * last read's result (0 at a sound end). */
static ptrdiff_t read_all(arjhost_archive *a, Bytes *out, size_t chunk) {
  unsigned char *buffer = malloc(chunk);
  ptrdiff_t n;
  out->data = NULL;
  out->size = 0;
  while ((n = arjhost_read_data(a, buffer, chunk)) > 0) {
    out->data = realloc(out->data, out->size + (size_t)n);
    memcpy(out->data + out->size, buffer, (size_t)n);
    out->size += (size_t)n;
  }
  free(buffer);
  return n;
}

/* A stream over a file, through callbacks: with seek and size, or read
 * alone as from a pipe. */
typedef struct {
  FILE *file;
  int closed;
} Stream;

static ptrdiff_t stream_read(void *user, void *buffer, size_t size) {
  return (ptrdiff_t)fread(buffer, 1, size, ((Stream *)user)->file);
}
static int64_t stream_seek(void *user, int64_t offset, int whence) {
  FILE *f = ((Stream *)user)->file;
  return fseek(f, (long)offset, whence) == 0 ? (int64_t)ftell(f) : -1;
}
static void stream_close(void *user) {
  Stream *s = user;
  fclose(s->file);
  s->closed = 1;
}

static arjhost_callbacks callbacks_of(Stream *s, int seekable) {
  arjhost_callbacks c;
  memset(&c, 0, sizeof c);
  c.read = stream_read;
  c.seek = seekable ? stream_seek : NULL;
  c.close = stream_close;
  c.user = s;
  return c;
}

/* Volumes in memory, by name, from the data folder. */
typedef struct {
  Bytes held[32];
  int count;
  int asked;
  int as_stream; /* open them as streams that cannot seek */
  Stream streams[32];
} Volumes;

static int open_volume(void *user, const char *name, arjhost_volume *volume) {
  Volumes *v = user;
  ++v->asked;
  if (!exists(data_path(name)) || v->count == 32) return ARJHOST_ERR_NOT_FOUND;
  if (v->as_stream) {
    Stream *s = &v->streams[v->count++];
    s->file = fopen(data_path(name), "rb");
    volume->callbacks = callbacks_of(s, 0);
    return ARJHOST_OK;
  }
  v->held[v->count] = read_file(data_path(name));
  volume->data = v->held[v->count].data;
  volume->size = v->held[v->count].size;
  ++v->count;
  return ARJHOST_OK;
}

static void free_volumes(Volumes *v) {
  for (int i = 0; i < v->count; ++i) free(v->held[i].data);
}

/* ---- a table of archives through every way of opening ------------------- */

enum { BY_PATH, BY_MEMORY, BY_SEEKABLE_STREAM, BY_PIPE, BY_PIPE_SPILLED, OPEN_WAYS };
static const char *const way_names[] = {"path", "memory", "seekable stream", "pipe", "pipe kept in a file"};

typedef struct {
  const char *name;
  const char *password;
  int entries;       /* as listed */
  int tool_exit;     /* the tool's extraction: 0 all sound, 1 some failed */
} ArchiveCase;

static const ArchiveCase archive_cases[] = {
    {"method0.arj", NULL, 6, 0},  {"method1.arj", NULL, 6, 0},   {"method2.arj", NULL, 6, 0},
    {"method3.arj", NULL, 6, 0},  {"method4.arj", NULL, 6, 0},   {"comment.arj", NULL, 1, 0},
    {"entries20.arj", NULL, 20, 0}, {"entries21.arj", NULL, 21, 0}, {"longname.arj", NULL, 2, 0},
    {"garbled.arj", "secret", 2, 0}, {"trailing.arj", NULL, 6, 0}, {"truncated.arj", NULL, 6, 1},
    {"badcrc.arj", NULL, 1, 1},   {"split.arj", NULL, 2, 0},
};

static arjhost_archive *open_by(int way, const char *name, arjhost_options *o, Bytes *memory, Stream *stream,
                                Volumes *volumes) {
  const char *path = data_path(name);
  o->name = name;
  o->open_volume = open_volume;
  o->volume_user = volumes;
  switch (way) {
    case BY_PATH: return arjhost_open_path(path, o);
    case BY_MEMORY:
      *memory = read_file(path);
      return arjhost_open_memory(memory->data, memory->size, o);
    default:
      stream->file = fopen(path, "rb");
      stream->closed = 0;
      if (way == BY_PIPE_SPILLED) o->max_stream_memory = 1000;
      {
        arjhost_callbacks c = callbacks_of(stream, way == BY_SEEKABLE_STREAM);
        return arjhost_open_callbacks(&c, o);
      }
  }
}

static void test_archive_table(void) {
  group = "archive table";
  for (size_t i = 0; i < sizeof archive_cases / sizeof archive_cases[0]; ++i) {
    const ArchiveCase *c = &archive_cases[i];
    char out[700], command[2048];
    snprintf(out, sizeof out, "%s/tool-%zu", scratch, i);
    snprintf(command, sizeof command, "'%s' extract '%s' -C '%s' -o %s%s >/dev/null 2>&1", tool, data_path(c->name),
             out, c->password ? "-p " : "", c->password ? c->password : "");
    int status = system(command);
    CHECK(WIFEXITED(status) && WEXITSTATUS(status) == c->tool_exit, "%s: the tool's extraction exited %d", c->name,
          WEXITSTATUS(status));
    for (int way = 0; way < OPEN_WAYS; ++way) {
      arjhost_options o;
      arjhost_options_init(&o);
      o.password = c->password;
      Bytes memory = {NULL, 0};
      Stream stream = {NULL, 0};
      Volumes volumes;
      memset(&volumes, 0, sizeof volumes);
      volumes.as_stream = way >= BY_PIPE;
      arjhost_archive *a = open_by(way, c->name, &o, &memory, &stream, &volumes);
      CHECK(arjhost_error_code(a) == ARJHOST_OK, "%s by %s: %s", c->name, way_names[way], arjhost_error_string(a));
      CHECK((int)arjhost_archive_entry_count(a) == c->entries, "%s by %s: %zu entries", c->name, way_names[way],
            arjhost_archive_entry_count(a));
      arjhost_entry *e;
      int r, failed = 0, listed = 0;
      while ((r = arjhost_next_entry(a, &e)) == ARJHOST_OK) {
        ++listed;
        if (arjhost_entry_type_of(e) != ARJHOST_TYPE_FILE) continue;
        Bytes got;
        ptrdiff_t end = read_all(a, &got, 4096);
        char extracted[1500];
        snprintf(extracted, sizeof extracted, "%s/%s", out, arjhost_entry_name(e));
        Bytes want = read_file(extracted);
        if (end == 0) {
          CHECK(want.data != NULL || got.size == 0, "%s by %s: %s read, but the tool made no file", c->name,
                way_names[way], arjhost_entry_name(e));
          CHECK(got.size == want.size && (got.size == 0 || memcmp(got.data, want.data, got.size) == 0),
                "%s by %s: %s: %zu bytes read differ from the tool's %zu", c->name, way_names[way],
                arjhost_entry_name(e), got.size, want.size);
          CHECK(got.size == arjhost_entry_size(e) && crc32_of(got.data, got.size) == arjhost_entry_crc32(e),
                "%s by %s: %s: size or CRC", c->name, way_names[way], arjhost_entry_name(e));
        } else {
          ++failed;
          CHECK(end < 0 && *arjhost_error_string(a) != '\0', "%s by %s: %s failed without a reason", c->name,
                way_names[way], arjhost_entry_name(e));
          CHECK(want.data == NULL, "%s by %s: %s failed, yet the tool extracted it", c->name, way_names[way],
                arjhost_entry_name(e));
          CHECK(arjhost_read_data(a, got.data ? (void *)got.data : (void *)&got, 1) == end,
                "%s by %s: a read after the failure says it again", c->name, way_names[way]);
        }
        free(got.data);
        free(want.data);
      }
      CHECK(r == ARJHOST_END && listed == c->entries, "%s by %s: the walk ended with %d after %d entries", c->name,
            way_names[way], r, listed);
      CHECK((failed != 0) == (c->tool_exit != 0), "%s by %s: %d entries failed", c->name, way_names[way], failed);
      arjhost_close(a);
      CHECK(way < BY_SEEKABLE_STREAM || stream.closed, "%s by %s: the stream was not closed", c->name, way_names[way]);
      for (int v = 0; v < volumes.count; ++v)
        CHECK(!volumes.as_stream || volumes.streams[v].closed, "%s: a volume stream was not closed", c->name);
      free_volumes(&volumes);
      free(memory.data);
    }
  }
}

/* ---- the verdict on the last read -------------------------------------- */

static void test_crc_on_last_read(void) {
  group = "CRC verdict";
  static unsigned char buffer[4096];
  arjhost_archive *a = arjhost_open_path(data_path("badcrc.arj"), NULL);
  arjhost_entry *e;
  CHECK(arjhost_next_entry(a, &e) == ARJHOST_OK && arjhost_entry_size(e) == 3000, "the entry");
  CHECK(arjhost_read_data(a, buffer, 0) == 0 && arjhost_read_data(a, NULL, 0) == 0 &&
            arjhost_error_code(a) == ARJHOST_OK, "a read of nothing gives 0, not an error");
  CHECK(arjhost_read_data(a, buffer, 1000) == 1000, "first read");
  CHECK(arjhost_read_data(a, buffer, 1000) == 1000, "second read");
  CHECK(arjhost_read_data(a, buffer, 1000) == ARJHOST_ERR_DAMAGED, "the read that reaches the end fails");
  CHECK(strstr(arjhost_error_string(a), "data.bin") != NULL && strstr(arjhost_error_string(a), "CRC mismatch") != NULL,
        "names the entry and the cause: %s", arjhost_error_string(a));
  CHECK(arjhost_read_data(a, buffer, 1000) == ARJHOST_ERR_DAMAGED, "and every read after it");
  CHECK(arjhost_read_data(a, buffer, 1) == ARJHOST_ERR_DAMAGED && arjhost_read_data(a, buffer, 0) == 0,
        "a read of nothing is 0 after the end too");
  CHECK(arjhost_test_data(a) == ARJHOST_ERR_DAMAGED, "test says it too");
  arjhost_close(a);

  a = arjhost_open_path(data_path("badcrc.arj"), NULL);
  CHECK(arjhost_next_entry(a, &e) == ARJHOST_OK, "the entry again");
  CHECK(arjhost_read_data(a, buffer, sizeof buffer) == ARJHOST_ERR_DAMAGED, "one read of it all fails");
  arjhost_close(a);

  /* Data that stops decoding fails on the read that meets it. */
  a = arjhost_open_path(data_path("truncated.arj"), NULL);
  ptrdiff_t last = 0;
  while (arjhost_next_entry(a, &e) == ARJHOST_OK) {
    Bytes got;
    last = read_all(a, &got, 512);
    free(got.data);
  }
  CHECK(last == ARJHOST_ERR_DAMAGED, "the cut entry: %td %s", last, arjhost_error_string(a));
  arjhost_close(a);
}

/* An entry of more than a MiB decodes on a thread of the handle's while it
 * is read: bytes sound and whole, and the verdict on a damaged one still
 * on the read that reaches its end. */
static void test_large_entries(void) {
  group = "large entries";
  enum { kSize = 5 << 20, kMarkAt = 4 << 20 };  /* past 4 MiB the CRC is checked on a thread of its own too */
  unsigned char *data = malloc(kSize);
  for (size_t i = 0; i < kSize; ++i) data[i] = (unsigned char)(i * 31 + i / 7);
  memcpy(data + kMarkAt, "XMARKERX", 8);
  char packed[700], stored[700];
  snprintf(packed, sizeof packed, "%s/large1.arj", scratch);
  snprintf(stored, sizeof stored, "%s/large0.arj", scratch);
  for (int method = 0; method < 2; ++method) {
    arjhost_writer *w = arjhost_write_open(method ? packed : stored, NULL);
    CHECK(arjhost_write_add_memory(w, "large.bin", data, kSize, method, 0644, 0) == ARJHOST_OK &&
              arjhost_write_commit(w) == ARJHOST_OK,
          "written: %s", arjhost_writer_error_string(w));
    arjhost_write_close(w);
  }
  arjhost_archive *a = arjhost_open_path(packed, NULL);
  arjhost_entry *e;
  Bytes got;
  CHECK(arjhost_next_entry(a, &e) == ARJHOST_OK && read_all(a, &got, 65536) == 0 && got.size == kSize &&
            memcmp(got.data, data, kSize) == 0,
        "read whole: %s", arjhost_error_string(a));
  free(got.data);
  arjhost_close(a);
  /* Half read, then left: the decoding stops. */
  a = arjhost_open_path(packed, NULL);
  static unsigned char buffer[65536];
  CHECK(arjhost_next_entry(a, &e) == ARJHOST_OK && arjhost_read_data(a, buffer, sizeof buffer) > 0 &&
            arjhost_next_entry(a, &e) == ARJHOST_END,
        "left half read");
  arjhost_close(a);

  /* One byte of the stored data spoiled. */
  Bytes file = read_file(stored);
  unsigned char *mark = file.data;
  while (mark != NULL && memcmp(mark, "XMARKERX", 8) != 0)
    mark = memchr(mark + 1, 'X', file.size - (size_t)(mark + 1 - file.data));
  CHECK(mark != NULL, "the mark in the stored data");
  if (mark != NULL) {
    mark[1] ^= 1;
    FILE *f = fopen(stored, "wb");
    fwrite(file.data, 1, file.size, f);
    fclose(f);
  }
  free(file.data);
  a = arjhost_open_path(stored, NULL);
  size_t total = 0;
  ptrdiff_t n = 0;
  CHECK(arjhost_next_entry(a, &e) == ARJHOST_OK, "the spoiled entry");
  while ((n = arjhost_read_data(a, buffer, sizeof buffer)) > 0) total += (size_t)n;
  CHECK(n == ARJHOST_ERR_DAMAGED && total == kSize - sizeof buffer, "every read but the last: %td after %zu bytes", n,
        total);
  CHECK(strstr(arjhost_error_string(a), "CRC mismatch") != NULL, "says why: %s", arjhost_error_string(a));
  arjhost_close(a);
  free(data);
}

/* ---- testing every entry ------------------------------------------------- */

typedef struct {
  int heard, failed;
  char failed_name[64];
  uint64_t tested, sizes; /* bytes the tests delivered, and the entries' sizes */
} Heard;

static void hear(void *user, const arjhost_entry *entry, int result, const char *message) {
  Heard *h = user;
  ++h->heard;
  h->tested += arjhost_entry_tested_size(entry);
  h->sizes += arjhost_entry_size(entry);
  if (result == ARJHOST_OK) return;
  if (h->failed++ == 0) snprintf(h->failed_name, sizeof h->failed_name, "%s", arjhost_entry_name(entry));
  CHECK(strstr(message, arjhost_entry_name(entry)) != NULL, "the message names the entry: %s", message);
}

static int test_all_of(const char *path, const char *password, Heard *heard) {
  arjhost_options o;
  arjhost_options_init(&o);
  o.password = password;
  memset(heard, 0, sizeof *heard);
  arjhost_archive *a = arjhost_open_path(path, &o);
  int r = arjhost_test_all(a, hear, heard);
  arjhost_close(a);
  return r;
}

static void test_testing_all(void) {
  group = "test all";
  Heard h;
  CHECK(test_all_of(data_path("method1.arj"), NULL, &h) == ARJHOST_OK && h.heard == 6 && h.failed == 0 &&
            h.tested == h.sizes,
        "sound: %d heard, %llu of %llu bytes", h.heard, (unsigned long long)h.tested, (unsigned long long)h.sizes);
  CHECK(test_all_of(data_path("truncated.arj"), NULL, &h) == ARJHOST_ERR_DAMAGED && h.heard == 6 && h.failed == 1 &&
            strcmp(h.failed_name, "random.bin") == 0 && h.tested < h.sizes,
        "the cut entry: %d heard, %s", h.heard, h.failed_name);
  CHECK(test_all_of(data_path("garbled.arj"), NULL, &h) == ARJHOST_ERR_PASSWORD_NEEDED && h.failed == 2, "garbled");
  CHECK(test_all_of(data_path("garbled.arj"), "secret", &h) == ARJHOST_OK, "with its password");

  /* Enough to decode for the worker threads, one entry spoiled. */
  char path[700];
  snprintf(path, sizeof path, "%s/many.arj", scratch);
  enum { kEntries = 24, kSize = 64 << 10 };
  unsigned char *data = malloc(kSize);
  arjhost_writer *w = arjhost_write_open(path, NULL);
  for (int i = 0; i < kEntries; ++i) {
    char name[32];
    for (size_t k = 0; k < kSize; ++k) data[k] = (unsigned char)(k * (unsigned)(i + 3) + k / 97);
    memcpy(data + kSize / 2, i == 17 ? "SPOILED!" : "sound...", 8);
    snprintf(name, sizeof name, "part%02d.bin", i);
    arjhost_write_add_memory(w, name, data, kSize, 0, 0644, 0);
  }
  CHECK(arjhost_write_commit(w) == ARJHOST_OK, "written: %s", arjhost_writer_error_string(w));
  arjhost_write_close(w);
  /* The same entries as a volume set, read whole from its last volume. */
  char set_path[700];
  snprintf(set_path, sizeof set_path, "%s/set.arj", scratch);
  w = arjhost_write_open(set_path, NULL);
  CHECK(arjhost_write_volume_size(w, 1000) == ARJHOST_ERR_ARGUMENT, "a volume too small is refused");
  CHECK(arjhost_write_volume_size(w, 300 << 10) == ARJHOST_OK, "volume size: %s", arjhost_writer_error_string(w));
  for (int i = 0; i < 8; ++i) {
    char name[32];
    for (size_t k = 0; k < kSize; ++k) data[k] = (unsigned char)(k * 2654435761u >> (i + 7));
    snprintf(name, sizeof name, "set%02d.bin", i);
    arjhost_write_add_memory(w, name, data, kSize, 0, 0644, 0);
  }
  CHECK(arjhost_write_commit(w) == ARJHOST_OK, "set written: %s", arjhost_writer_error_string(w));
  arjhost_write_close(w);
  snprintf(set_path, sizeof set_path, "%s/set.a01", scratch);
  CHECK(test_all_of(set_path, NULL, &h) == ARJHOST_OK && h.heard == 8, "the set from its second volume: %d heard",
        h.heard);
  free(data);
  CHECK(test_all_of(path, NULL, &h) == ARJHOST_OK && h.heard == kEntries, "all sound: %d heard", h.heard);
  Bytes file = read_file(path);
  for (size_t at = 0; at + 8 <= file.size; ++at)
    if (memcmp(file.data + at, "SPOILED!", 8) == 0) file.data[at] ^= 1;
  FILE *f = fopen(path, "wb");
  fwrite(file.data, 1, file.size, f);
  fclose(f);
  free(file.data);
  CHECK(test_all_of(path, NULL, &h) == ARJHOST_ERR_DAMAGED && h.heard == kEntries && h.failed == 1 &&
            strcmp(h.failed_name, "part17.bin") == 0,
        "the spoiled one, in its place: %d heard, %d failed, %s", h.heard, h.failed, h.failed_name);
  /* A header that fails its CRC: its entry fails, and the archive is damaged. */
  Bytes crc = read_file(data_path("entries20.arj"));
  for (size_t at = 0; at + 10 <= crc.size; ++at)
    if (memcmp(crc.data + at, "file05.txt", 10) == 0) crc.data[at + 5] = '7';
  snprintf(path, sizeof path, "%s/crc.arj", scratch);
  f = fopen(path, "wb");
  fwrite(crc.data, 1, crc.size, f);
  fclose(f);
  free(crc.data);
  CHECK(test_all_of(path, NULL, &h) == ARJHOST_ERR_DAMAGED && h.heard == 20 && h.failed == 1 &&
            strcmp(h.failed_name, "file07.txt") == 0,
        "the damaged header's entry fails: %d heard, %d failed, %s", h.heard, h.failed, h.failed_name);
  arjhost_archive *a = arjhost_open_path(path, NULL);
  CHECK((arjhost_archive_flags(a) & ARJHOST_ARCHIVE_DAMAGED) != 0, "the archive is damaged");
  arjhost_entry *e;
  int bad_reads = 0;
  char buffer[256];
  while (arjhost_next_entry(a, &e) == ARJHOST_OK)
    if (arjhost_read_data(a, buffer, sizeof buffer) == ARJHOST_ERR_DAMAGED) ++bad_reads;
  CHECK(bad_reads == 1, "one entry's read fails: %d", bad_reads);
  arjhost_close(a);
}

/* ---- passwords ------------------------------------------------------------ */

typedef struct {
  const char *answers[4];
  int asked;
} Answers;

static int answer(void *user, const char *entry, int attempt, char *password, size_t size) {
  Answers *an = user;
  (void)entry;
  if (attempt != an->asked % 4 && attempt != 0) return ARJHOST_ERR_ARGUMENT;
  const char *given = an->answers[an->asked++ % 4];
  if (given == NULL) return ARJHOST_ERR_CANCELLED;
  snprintf(password, size, "%s", given);
  return ARJHOST_OK;
}

static ptrdiff_t read_garbled(arjhost_options *o, Answers *answers) {
  if (answers != NULL) {
    o->password_callback = answer;
    o->password_user = answers;
  }
  arjhost_archive *a = arjhost_open_path(data_path("garbled.arj"), o);
  arjhost_entry *e;
  ptrdiff_t r = arjhost_next_entry(a, &e);
  if (r == ARJHOST_OK) {
    Bytes got;
    r = read_all(a, &got, 4096);
    if (r == 0) r = (ptrdiff_t)got.size;
    free(got.data);
  }
  arjhost_close(a);
  return r;
}

/* ---- recovery through the ARJ-PROTECT record --------------------------- */

/* protected.arj (arj a -hk) with bytes flipped in its blocks at `at`,
 * written to the scratch folder as `name`; its path. */
static const char *damaged_copy(const char *name, const size_t *at, int count) {
  static char path[700];
  Bytes b = read_file(data_path("protected.arj"));
  for (int k = 0; k < count; ++k)
    if (at[k] < b.size) b.data[at[k]] ^= 0x55;
  snprintf(path, sizeof path, "%s/%s", scratch, name);
  FILE *f = fopen(path, "wb");
  if (f != NULL) {
    fwrite(b.data, 1, b.size, f);
    fclose(f);
  }
  free(b.data);
  return path;
}

/* Opened with `recover`, an archive whose record rebuilds its damaged
 * blocks reads as the tool extracts it and says which blocks; damage
 * beyond the record is said with its cause; without `recover` the damage
 * is seen. */
static void test_record_rebuild(void) {
  group = "ARJ-PROTECT rebuild";
  static const size_t two_blocks[] = {200, 7000}, three_blocks[] = {200, 7000, 15000};
  char two[700], out[700], command[2048];
  snprintf(two, sizeof two, "%s", damaged_copy("two.arj", two_blocks, 2));
  snprintf(out, sizeof out, "%s/rebuilt-by-tool", scratch);
  snprintf(command, sizeof command, "'%s' extract --recover '%s' -C '%s' >/dev/null 2>&1", tool, two, out);
  int status = system(command);
  CHECK(WIFEXITED(status) && WEXITSTATUS(status) == 0, "the tool's extraction exited %d", WEXITSTATUS(status));

  arjhost_options o;
  arjhost_options_init(&o);
  o.recover = 1;
  arjhost_archive *a = arjhost_open_path(two, &o);
  const uint32_t *blocks = NULL;
  size_t count = 0;
  const char *cause = "";
  const char *volume = arjhost_archive_record_rebuild(a, 0, &blocks, &count, &cause);
  CHECK(volume != NULL && strcmp(volume, "two.arj") == 0 && count == 2 && blocks[0] == 0 && blocks[1] == 6 &&
            cause == NULL,
        "blocks 0 and 6 rebuilt: %s, %zu blocks", volume ? volume : "none", count);
  CHECK(arjhost_archive_record_rebuild(a, 1, NULL, NULL, NULL) == NULL, "one volume rebuilt");
  const unsigned flags = arjhost_archive_flags(a);
  CHECK((flags & ARJHOST_ARCHIVE_REBUILT) && !(flags & (ARJHOST_ARCHIVE_DAMAGED | ARJHOST_ARCHIVE_BEYOND_RECORD)),
        "rebuilt and sound: flags %#x", flags);
  arjhost_entry *e;
  int files = 0;
  while (arjhost_next_entry(a, &e) == ARJHOST_OK) {
    if (arjhost_entry_type_of(e) != ARJHOST_TYPE_FILE) continue;
    ++files;
    Bytes got;
    const ptrdiff_t end = read_all(a, &got, 4096);
    char extracted[1500];
    snprintf(extracted, sizeof extracted, "%s/%s", out, arjhost_entry_name(e));
    Bytes want = read_file(extracted);
    CHECK(end == 0 && want.data != NULL && got.size == want.size &&
              (got.size == 0 || memcmp(got.data, want.data, got.size) == 0),
          "%s: read as the tool extracts it", arjhost_entry_name(e));
    free(got.data);
    free(want.data);
  }
  CHECK(files == 6, "%d files read", files);
  arjhost_close(a);
  Heard h;
  memset(&h, 0, sizeof h);
  a = arjhost_open_path(two, &o);
  CHECK(arjhost_test_all(a, hear, &h) == ARJHOST_OK && h.failed == 0, "tested as rebuilt: %d failed", h.failed);
  arjhost_close(a);

  a = arjhost_open_path(two, NULL);
  CHECK(arjhost_archive_record_rebuild(a, 0, NULL, NULL, NULL) == NULL &&
            !(arjhost_archive_flags(a) & ARJHOST_ARCHIVE_REBUILT),
        "no rebuild without recover");
  memset(&h, 0, sizeof h);
  CHECK(arjhost_error_code(a) != ARJHOST_OK || arjhost_test_all(a, hear, &h) != ARJHOST_OK,
        "the damage is seen without recover");
  arjhost_close(a);

  a = arjhost_open_path(damaged_copy("three.arj", three_blocks, 3), &o);
  volume = arjhost_archive_record_rebuild(a, 0, &blocks, &count, &cause);
  CHECK(volume != NULL && count == 3 && cause != NULL && strstr(cause, "3 blocks are damaged") != NULL &&
            (arjhost_archive_flags(a) & ARJHOST_ARCHIVE_BEYOND_RECORD) &&
            !(arjhost_archive_flags(a) & ARJHOST_ARCHIVE_REBUILT),
        "beyond the record: %s", cause ? cause : "no cause");
  arjhost_close(a);
}

/* Entries by index, and what the archive as a whole says. */
static void test_seeking_and_state(void) {
  group = "seek and state";
  Bytes memory = read_file(data_path("method1.arj"));
  arjhost_archive *a = arjhost_open_path(data_path("method1.arj"), NULL);
  arjhost_archive *m = arjhost_open_memory(memory.data, memory.size, NULL);
  arjhost_entry *e, *third = NULL;
  char name[256] = "";
  for (int k = 0; k < 3; ++k) CHECK(arjhost_next_entry(a, &third) == ARJHOST_OK, "walk to the third entry");
  if (third != NULL) snprintf(name, sizeof name, "%s", arjhost_entry_name(third));
  CHECK(arjhost_seek_entry(a, 2, &e) == ARJHOST_OK && strcmp(arjhost_entry_name(e), name) == 0, "seek to it");
  CHECK(arjhost_entry_header_ok(e) == 1, "its header is sound");
  CHECK(arjhost_next_entry(a, &e) == ARJHOST_OK && arjhost_seek_entry(a, 0, &e) == ARJHOST_OK, "the walk goes on and back");
  CHECK(arjhost_seek_entry(a, 99, &e) == ARJHOST_END && e == NULL, "past the last");
  CHECK(arjhost_archive_digest(a) != 0 && arjhost_archive_digest(a) == arjhost_archive_digest(m), "one digest");
  CHECK(arjhost_archive_unreadable_volume(a, 0, NULL) == NULL, "no unreadable volume");
  CHECK((arjhost_archive_flags(a) & (ARJHOST_ARCHIVE_MAIN_HEADER_DAMAGED | ARJHOST_ARCHIVE_CHAPTER_REFUSED |
                                      ARJHOST_ARCHIVE_HEADERS_UNREAD | ARJHOST_ARCHIVE_VOLUME_MISSING)) == 0,
        "flags of a sound archive");
  CHECK(arjhost_choose_chapter(a, 1) == ARJHOST_ERR_ARGUMENT && arjhost_choose_chapter(a, 0) == ARJHOST_OK,
        "no chapter to choose but the default");
  arjhost_close(a);
  arjhost_close(m);
  free(memory.data);
  /* Where extraction puts each entry, or nowhere. */
  static const char *const paths[][2] = {{"../escape.txt", ""}, {"/abs/rooted.txt", "abs/rooted.txt"},
                                         {"ok.txt", "ok.txt"}, {"inside/evil.txt", "inside/evil.txt"}};
  a = arjhost_open_path(data_path("unsafe.arj"), NULL);
  int matched = 0;
  while (arjhost_next_entry(a, &e) == ARJHOST_OK)
    for (size_t k = 0; k < sizeof paths / sizeof paths[0]; ++k)
      if (strcmp(arjhost_entry_name(e), paths[k][0]) == 0) {
        CHECK(strcmp(arjhost_entry_path(e), paths[k][1]) == 0, "%s goes to \"%s\"", paths[k][0], arjhost_entry_path(e));
        ++matched;
      }
  CHECK(matched == 4, "the names: %d", matched);
  arjhost_close(a);
}

static void test_passwords(void) {
  group = "passwords";
  arjhost_options o;
  arjhost_options_init(&o);
  CHECK(read_garbled(&o, NULL) == ARJHOST_ERR_PASSWORD_NEEDED, "without one");
  o.password = "secret";
  CHECK(read_garbled(&o, NULL) == 10894, "set");
  o.password = "wrong";
  CHECK(read_garbled(&o, NULL) == ARJHOST_ERR_WRONG_PASSWORD, "wrong");
  Answers right = {{"secret"}, 0};
  arjhost_options_init(&o);
  CHECK(read_garbled(&o, &right) == 10894 && right.asked == 1, "asked once: %d", right.asked);
  Answers second = {{"nope", "secret"}, 0};
  CHECK(read_garbled(&o, &second) == 10894 && second.asked == 2, "a wrong answer asked again: %d", second.asked);
  Answers after_set = {{"secret"}, 0};
  o.password = "wrong";
  CHECK(read_garbled(&o, &after_set) == 10894 && after_set.asked == 1, "the callback after the set one");
  Answers never = {{"a", "b", "c", "d"}, 0};
  o.password = NULL;
  CHECK(read_garbled(&o, &never) == ARJHOST_ERR_WRONG_PASSWORD && never.asked == 3, "three wrong answers end it: %d",
        never.asked);
  Answers declined = {{NULL}, 0};
  CHECK(read_garbled(&o, &declined) == ARJHOST_ERR_PASSWORD_NEEDED, "declined");

  arjhost_archive *a = arjhost_open_path(data_path("garbled.arj"), NULL);
  arjhost_entry *e;
  CHECK(arjhost_set_password(a, "secret") == ARJHOST_OK && arjhost_next_entry(a, &e) == ARJHOST_OK &&
            arjhost_test_data(a) == ARJHOST_OK && arjhost_entry_garbled(e),
        "set on the handle: %s", arjhost_error_string(a));
  arjhost_close(a);
}

/* ---- volume sets ------------------------------------------------------------ */

static void test_volume_sets(void) {
  group = "volume sets";
  for (int as_stream = 0; as_stream < 3; ++as_stream) {
    arjhost_options o;
    arjhost_options_init(&o);
    Volumes volumes;
    memset(&volumes, 0, sizeof volumes);
    volumes.as_stream = as_stream == 1;
    o.name = "split.arj";
    if (as_stream < 2) {
      o.open_volume = open_volume;
      o.volume_user = &volumes;
    }
    Bytes first = read_file(data_path("split.arj"));
    arjhost_archive *a = arjhost_open_memory(first.data, first.size, &o);
    unsigned flags = arjhost_archive_flags(a);
    CHECK(arjhost_error_code(a) == ARJHOST_OK, "opened: %s", arjhost_error_string(a));
    arjhost_entry *e;
    ptrdiff_t end = 0;
    uint64_t size = 0;
    while (arjhost_next_entry(a, &e) == ARJHOST_OK) {
      Bytes got;
      end = read_all(a, &got, 8192);
      size = got.size;
      free(got.data);
    }
    if (as_stream < 2) {
      CHECK(flags & ARJHOST_ARCHIVE_MULTI_VOLUME, "a set: flags %x", flags);
      CHECK(arjhost_archive_volume_count(a) == 3 && volumes.count >= 2, "three volumes, the others asked for: %zu, %d",
            arjhost_archive_volume_count(a), volumes.count);
      CHECK(end == 0 && size == 30000, "the split file whole: %td, %llu", end, (unsigned long long)size);
    } else {
      CHECK(end == ARJHOST_ERR_MISSING_VOLUME, "without the callback the rest is missing: %td %s", end,
            arjhost_error_string(a));
    }
    arjhost_close(a);
    free_volumes(&volumes);
    free(first.data);
  }

  /* From a path, as the tool finds the set: naming its second volume. */
  arjhost_archive *a = arjhost_open_path(data_path("split.a01"), NULL);
  CHECK(arjhost_archive_volume_count(a) == 3 && arjhost_archive_entry_count(a) == 2, "the whole set");
  CHECK(strstr(arjhost_archive_volume_name(a, 0), "split.arj") != NULL, "the first volume: %s",
        arjhost_archive_volume_name(a, 0));
  arjhost_close(a);
}

/* ---- limits ------------------------------------------------------------------ */

/* The options as a header laid them out before max_threads: a program built
 * against it opens and tests archives with a later library, which writes
 * none of the bytes past its struct; a struct not set up is refused. */
typedef struct {
  size_t size;
  uint64_t limits[9];
  int codepage, single_volume, recover;
  const char *name, *plugin, *password;
  arjhost_password_callback password_callback;
  void *password_user;
  arjhost_volume_callback open_volume;
  void *volume_user;
} earlier_options;

static void test_options_of_an_earlier_header(void) {
  group = "options of an earlier header";
  struct {
    earlier_options o;
    unsigned char after[64];
  } held;
  memset(held.after, 0xA5, sizeof held.after);
  arjhost_options_init_sized((arjhost_options *)&held.o, sizeof held.o);
  int untouched = 1;
  for (size_t k = 0; k < sizeof held.after; ++k) untouched &= held.after[k] == 0xA5;
  CHECK(untouched && held.o.size == sizeof held.o && held.o.codepage == 437, "filled within its size");
  held.o.password = "secret";
  arjhost_archive *a = arjhost_open_path(data_path("garbled.arj"), (const arjhost_options *)&held.o);
  CHECK(arjhost_error_code(a) == ARJHOST_OK && arjhost_test_all(a, NULL, NULL) == ARJHOST_OK, "opened and tested: %s",
        arjhost_error_string(a));
  arjhost_close(a);
  arjhost_options zeroed;
  memset(&zeroed, 0, sizeof zeroed);
  a = arjhost_open_path(data_path("method1.arj"), &zeroed);
  CHECK(arjhost_error_code(a) == ARJHOST_ERR_ARGUMENT && strstr(arjhost_error_string(a), "arjhost_options_init"),
        "not set up: %s", arjhost_error_string(a));
  arjhost_close(a);
  arjhost_options one;
  arjhost_options_init(&one);
  one.max_threads = 1;
  a = arjhost_open_path(data_path("method1.arj"), &one);
  CHECK(arjhost_test_all(a, NULL, NULL) == ARJHOST_OK, "on the caller's thread: %s", arjhost_error_string(a));
  arjhost_close(a);
}

static void test_limits(void) {
  group = "limits";
  arjhost_options o;
  arjhost_options_init(&o);
  o.max_entries = 5;
  arjhost_archive *a = arjhost_open_path(data_path("entries20.arj"), &o);
  arjhost_entry *e;
  CHECK(arjhost_error_code(a) == ARJHOST_ERR_LIMIT, "entries: %d %s", arjhost_error_code(a), arjhost_error_string(a));
  CHECK(arjhost_next_entry(a, &e) == ARJHOST_ERR_LIMIT, "every call fails with it");
  arjhost_close(a);

  arjhost_options_init(&o);
  o.max_size = 5000;
  a = arjhost_open_path(data_path("method1.arj"), &o);
  int refused = 0, read = 0;
  while (arjhost_next_entry(a, &e) == ARJHOST_OK) {
    Bytes got;
    ptrdiff_t r = read_all(a, &got, 4096);
    free(got.data);
    if (arjhost_entry_size(e) > 5000) refused += r == ARJHOST_ERR_LIMIT;
    else read += r == 0;
  }
  CHECK(refused == 2 && read == 4, "entries over the size: %d refused, %d read", refused, read);
  arjhost_close(a);

  arjhost_options_init(&o);
  o.max_stream_size = 1000;
  Stream s = {fopen(data_path("method1.arj"), "rb"), 0};
  arjhost_callbacks c = callbacks_of(&s, 0);
  a = arjhost_open_callbacks(&c, &o);
  CHECK(arjhost_error_code(a) == ARJHOST_ERR_LIMIT && s.closed, "a stream over its bound: %s", arjhost_error_string(a));
  arjhost_close(a);

  arjhost_options_init(&o);
  o.codepage = 1252;
  a = arjhost_open_path(data_path("method1.arj"), &o);
  CHECK(arjhost_error_code(a) == ARJHOST_ERR_ARGUMENT, "an unknown code page");
  arjhost_close(a);
  a = arjhost_open_path(data_path("no-such.arj"), NULL);
  CHECK(arjhost_error_code(a) == ARJHOST_ERR_NOT_FOUND, "a missing file: %s", arjhost_error_string(a));
  arjhost_close(a);
  a = arjhost_open_path(data_path("gen_sources.py"), NULL);
  CHECK(arjhost_error_code(a) == ARJHOST_ERR_NOT_ARCHIVE, "not an archive: %s", arjhost_error_string(a));
  arjhost_close(a);
}

/* ---- extraction into a folder -------------------------------------------------- */

static void test_extraction(void) {
  group = "extraction";
  char root[700], folder[800], path[1000];
  snprintf(root, sizeof root, "%s/extract", scratch);
  mkdir(root, 0700);
  snprintf(folder, sizeof folder, "%s/into", root);
  static const struct {
    const char *name;
    int result;
  } expected[] = {{"../escape.txt", ARJHOST_ERR_REFUSED}, {"/abs/rooted.txt", ARJHOST_OK}, {"ok.txt", ARJHOST_OK},
                  {"up", ARJHOST_ERR_REFUSED},           {"inside", ARJHOST_OK},        {"inside/evil.txt", ARJHOST_ERR_REFUSED}};
  arjhost_archive *a = arjhost_open_path(data_path("unsafe.arj"), NULL);
  arjhost_entry *e;
  for (int i = 0; arjhost_next_entry(a, &e) == ARJHOST_OK; ++i) {
    int r = arjhost_extract(a, folder, 0);
    CHECK(i < 6 && strcmp(arjhost_entry_name(e), expected[i].name) == 0 && r == expected[i].result,
          "%s: %d %s", arjhost_entry_name(e), r, arjhost_error_string(a));
  }
  arjhost_close(a);
  snprintf(path, sizeof path, "%s/escape.txt", root);
  CHECK(!exists(path), "nothing beside the folder");
  snprintf(path, sizeof path, "%s/abs/rooted.txt", folder);
  CHECK(exists(path), "a rooted name under the folder");
  snprintf(path, sizeof path, "%s/up", folder);
  CHECK(!exists(path), "no link leading out");

  /* An existing file: refused, kept, or replaced as asked. */
  a = arjhost_open_path(data_path("method1.arj"), NULL);
  snprintf(folder, sizeof folder, "%s/twice", root);
  CHECK(arjhost_next_entry(a, &e) == ARJHOST_OK && arjhost_extract(a, folder, 0) == ARJHOST_OK, "first: %s",
        arjhost_error_string(a));
  CHECK(arjhost_extract(a, folder, 0) == ARJHOST_ERR_REFUSED && strstr(arjhost_error_string(a), "exists"),
        "again: %s", arjhost_error_string(a));
  CHECK(arjhost_extract(a, folder, ARJHOST_EXTRACT_SKIP_EXISTING) == ARJHOST_SKIPPED, "kept");
  CHECK(arjhost_extract(a, folder, ARJHOST_EXTRACT_OVERWRITE) == ARJHOST_OK, "replaced");
  arjhost_close(a);

  /* A damaged entry leaves nothing, unless kept as asked. */
  a = arjhost_open_path(data_path("badcrc.arj"), NULL);
  snprintf(folder, sizeof folder, "%s/damaged", root);
  snprintf(path, sizeof path, "%s/data.bin", folder);
  CHECK(arjhost_next_entry(a, &e) == ARJHOST_OK && arjhost_extract(a, folder, 0) == ARJHOST_ERR_DAMAGED && !exists(path),
        "not kept: %s", arjhost_error_string(a));
  CHECK(arjhost_extract(a, folder, ARJHOST_EXTRACT_KEEP_DAMAGED) == ARJHOST_ERR_DAMAGED && exists(path), "kept");
  arjhost_close(a);
}

/* ---- writing ---------------------------------------------------------------------- */

static int list_names(const char *archive, char names[][64], int room) {
  arjhost_archive *a = arjhost_open_path(archive, NULL);
  arjhost_entry *e;
  int n = 0;
  while (n < room && arjhost_next_entry(a, &e) == ARJHOST_OK) snprintf(names[n++], 64, "%s", arjhost_entry_name(e));
  arjhost_close(a);
  return n;
}

static void test_writing(void) {
  group = "writing";
  char archive[700];
  snprintf(archive, sizeof archive, "%s/written.arj", scratch);
  const char *text = "bytes from memory\n";
  arjhost_writer *w = arjhost_write_open(archive, NULL);
  CHECK(arjhost_writer_error_code(w) == ARJHOST_OK, "open: %s", arjhost_writer_error_string(w));
  CHECK(arjhost_write_add_memory(w, "notes/memory.txt", text, strlen(text), 1, 0640, 1700000000) == ARJHOST_OK,
        "memory: %s", arjhost_writer_error_string(w));
  CHECK(arjhost_write_add_file(w, data_path("src/mixed/text.txt"), "text.txt", 4) == ARJHOST_OK, "file: %s",
        arjhost_writer_error_string(w));
  CHECK(arjhost_write_add_file(w, data_path("src/mixed/pattern.bin"), "pattern.bin", -1) == ARJHOST_OK, "file");
  CHECK(arjhost_write_add_memory(w, "../out.txt", text, 3, 1, 0644, 0) == ARJHOST_ERR_REFUSED, "a name leaving");
  CHECK(arjhost_write_add_memory(w, "/abs.txt", text, 3, 1, 0644, 0) == ARJHOST_ERR_REFUSED, "an absolute name");
  CHECK(arjhost_write_add_memory(w, "text.txt", text, 3, 1, 0644, 0) == ARJHOST_ERR_REFUSED, "a second file");
  CHECK(arjhost_write_add_file(w, data_path("src/nothing"), "nothing", 1) == ARJHOST_ERR_NOT_FOUND, "a missing file");
  CHECK(arjhost_write_add_file(w, data_path("src/mixed/one.txt"), NULL, 1) == ARJHOST_ERR_REFUSED,
        "stored under its absolute path");
  CHECK(arjhost_write_add_file(w, data_path("src"), "src", 1) == ARJHOST_ERR_REFUSED, "a folder");
  CHECK(arjhost_write_add_memory(w, "m.txt", text, 3, 9, 0644, 0) == ARJHOST_ERR_ARGUMENT, "method 9");
  CHECK(arjhost_write_commit(w) == ARJHOST_OK, "commit: %s", arjhost_writer_error_string(w));
  arjhost_write_close(w);

  arjhost_archive *a = arjhost_open_path(archive, NULL);
  arjhost_entry *e;
  CHECK(arjhost_archive_entry_count(a) == 3, "three entries");
  CHECK(arjhost_next_entry(a, &e) == ARJHOST_OK && strcmp(arjhost_entry_name(e), "notes/memory.txt") == 0 &&
            (arjhost_entry_mode(e) & 0777) == 0640 && arjhost_entry_mtime(e) == 1700000000,
        "the memory entry's name, mode and time");
  Bytes got;
  CHECK(read_all(a, &got, 7) == 0 && got.size == strlen(text) && memcmp(got.data, text, got.size) == 0, "its bytes");
  free(got.data);
  CHECK(arjhost_next_entry(a, &e) == ARJHOST_OK && arjhost_entry_method(e) == 4, "text.txt with method 4");
  arjhost_close(a);
  int verdict = peer_test("arj", archive);
  CHECK(verdict <= 0, "arj t fails what we wrote: %d", verdict);
  verdict = peer_test("7zz", archive);
  CHECK(verdict <= 0, "7zz t fails what we wrote: %d", verdict);

  /* Delete, and add to an existing archive in place of an entry; a second
   * writer meanwhile is refused, and a folder entry taken. */
  w = arjhost_write_open(archive, NULL);
  arjhost_writer *second = arjhost_write_open_new(archive, NULL);
  CHECK(arjhost_writer_error_code(second) == ARJHOST_ERR_IN_USE, "a second writer: %s",
        arjhost_writer_error_string(second));
  arjhost_write_close(second);
  CHECK(arjhost_write_add_folder(w, "folder/", 0750, 1600000000) == ARJHOST_OK, "a folder: %s",
        arjhost_writer_error_string(w));
  CHECK(arjhost_write_delete(w, "pattern.bin") == ARJHOST_OK, "delete");
  CHECK(arjhost_write_delete(w, "no-such") == ARJHOST_ERR_NOT_FOUND, "delete what is not there");
  CHECK(arjhost_write_add_memory(w, "text.txt", "new", 3, 0, 0600, 0) == ARJHOST_OK, "replace");
  CHECK(arjhost_write_commit(w) == ARJHOST_OK, "commit: %s", arjhost_writer_error_string(w));
  CHECK(arjhost_write_commit(w) == ARJHOST_ERR_ARGUMENT, "once only");
  arjhost_write_close(w);
  char names[4][64];
  CHECK(list_names(archive, names, 4) == 3 && strcmp(names[0], "notes/memory.txt") == 0 &&
            strcmp(names[1], "text.txt") == 0 && strcmp(names[2], "folder") == 0,
        "kept in order, the folder added");
  verdict = peer_test("arj", archive);
  CHECK(verdict <= 0, "arj t fails the rewrite: %d", verdict);

  /* Nothing changes without a commit; an emptied archive is removed. */
  w = arjhost_write_open(archive, NULL);
  CHECK(arjhost_write_delete(w, "text.txt") == ARJHOST_OK, "dropped, not committed");
  arjhost_write_close(w);
  CHECK(list_names(archive, names, 4) == 3, "still three");
  w = arjhost_write_open(archive, NULL);
  arjhost_write_delete(w, "text.txt");
  arjhost_write_delete(w, "notes/memory.txt");
  arjhost_write_delete(w, "folder");
  CHECK(arjhost_write_commit(w) == ARJHOST_OK && !exists(archive), "removed as arj d removes it");
  arjhost_write_close(w);

  /* Comments and garbling: written, read back, and a wrong password for
   * an archive's garbled entries refused. */
  w = arjhost_write_open(archive, NULL);
  CHECK(arjhost_write_add_memory(w, "g.txt", text, strlen(text), 1, 0644, 0) == ARJHOST_OK, "garbled entry");
  CHECK(arjhost_write_set_entry_comment(w, "g.txt", "entry note") == ARJHOST_OK, "entry comment");
  CHECK(arjhost_write_set_entry_comment(w, "none.txt", "x") == ARJHOST_ERR_NOT_FOUND, "no such entry");
  CHECK(arjhost_write_set_comment(w, "archive note") == ARJHOST_OK, "archive comment");
  CHECK(arjhost_write_set_password(w, "secret") == ARJHOST_OK, "password");
  CHECK(arjhost_write_commit(w) == ARJHOST_OK, "commit: %s", arjhost_writer_error_string(w));
  arjhost_write_close(w);
  Heard heard;
  CHECK(test_all_of(archive, "secret", &heard) == ARJHOST_OK && heard.failed == 0,
        "the garbled entry reads with its password");
  verdict = peer_test("arj", archive);
  CHECK(verdict != 0, "arj t takes no garbled entry without its password");
  a = arjhost_open_path(archive, NULL);
  CHECK(strcmp(arjhost_archive_comment(a), "archive note") == 0, "the archive comment");
  CHECK(arjhost_next_entry(a, &e) == ARJHOST_OK && arjhost_entry_garbled(e) &&
            strcmp(arjhost_entry_comment(e), "entry note") == 0,
        "garbled, with its comment");
  arjhost_close(a);
  w = arjhost_write_open(archive, NULL);
  CHECK(arjhost_write_set_password(w, "wrong") == ARJHOST_ERR_WRONG_PASSWORD, "a wrong password: %s",
        arjhost_writer_error_string(w));
  arjhost_write_close(w);
  remove(archive);

  /* A volume set missing a volume is refused (a whole one is rewritten). */
  char copy[700];
  snprintf(copy, sizeof copy, "%s/split.arj", scratch);
  Bytes first = read_file(data_path("split.arj"));
  FILE *f = fopen(copy, "wb");
  fwrite(first.data, 1, first.size, f);
  fclose(f);
  free(first.data);
  w = arjhost_write_open(copy, NULL);
  CHECK(arjhost_writer_error_code(w) == ARJHOST_ERR_REFUSED, "an incomplete set: %s", arjhost_writer_error_string(w));
  CHECK(arjhost_write_add_memory(w, "x", "x", 1, 0, 0644, 0) == ARJHOST_ERR_REFUSED, "every call says so");
  arjhost_write_close(w);
}

/* ---- two handles on two threads ------------------------------------------------ */

typedef struct {
  const char *archive;
  int rounds;
  int sound;  /* entries read whole with their CRC */
  int entries;
} Reader;

static void *read_rounds(void *user) {
  Reader *r = user;
  for (int round = 0; round < r->rounds; ++round) {
    arjhost_archive *a = arjhost_open_path(r->archive, NULL);
    arjhost_entry *e;
    while (arjhost_next_entry(a, &e) == ARJHOST_OK) {
      Bytes got;
      ++r->entries;
      if (read_all(a, &got, 1024) == 0 && crc32_of(got.data, got.size) == arjhost_entry_crc32(e)) ++r->sound;
      free(got.data);
    }
    arjhost_close(a);
  }
  return NULL;
}

static void test_threads(void) {
  group = "threads";
  char first[1024], second[1024];
  snprintf(first, sizeof first, "%s", data_path("method1.arj"));
  snprintf(second, sizeof second, "%s", data_path("split.arj"));
  Reader readers[2] = {{first, 20, 0, 0}, {second, 20, 0, 0}};
  pthread_t threads[2];
  for (int i = 0; i < 2; ++i) pthread_create(&threads[i], NULL, read_rounds, &readers[i]);
  for (int i = 0; i < 2; ++i) pthread_join(threads[i], NULL);
  CHECK(readers[0].sound == 120 && readers[0].entries == 120, "method1.arj: %d sound", readers[0].sound);
  CHECK(readers[1].sound == 40 && readers[1].entries == 40, "split.arj: %d sound", readers[1].sound);
}

int main(int argc, char **argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: capi_test DATA_DIR TOOL\n");
    return 2;
  }
  /* Absolute: a file added under its own path is refused as a stored name. */
  static char data[4096];
  if (realpath(argv[1], data) == NULL) return 2;
  data_dir = data;
  tool = argv[2];
  const char *tmp = getenv("TMPDIR");
  snprintf(scratch, sizeof scratch, "%s/capi-test-XXXXXX", tmp != NULL && *tmp != '\0' ? tmp : "/tmp");
  if (mkdtemp(scratch) == NULL) return 2;
  CHECK(strcmp(arjhost_version(), "") != 0, "a version");
  CHECK(arjhost_version_number() == ARJHOST_VERSION_NUMBER, "the library's version is the header's");
  CHECK(strcmp(arjhost_strerror(ARJHOST_ERR_DAMAGED), "damaged") == 0 &&
            strcmp(arjhost_strerror(ARJHOST_ERR_IN_USE), "in use by another writer") == 0 &&
            strcmp(arjhost_strerror(ARJHOST_ERR_PLUGIN), "the ARJ plug-in could not be loaded") == 0 &&
            strcmp(arjhost_strerror(-40), "unknown code") == 0 && strcmp(arjhost_strerror(7), "unknown code") == 0,
        "code texts without a handle");
  test_archive_table();
  test_crc_on_last_read();
  test_large_entries();
  test_testing_all();
  test_seeking_and_state();
  test_record_rebuild();
  test_passwords();
  test_volume_sets();
  test_limits();
  test_options_of_an_earlier_header();
  test_extraction();
  test_writing();
  test_threads();
  char command[700];
  snprintf(command, sizeof command, "rm -rf '%s'", scratch);
  if (system(command) != 0) fprintf(stderr, "could not remove %s\n", scratch);
  printf("capi test: %d checks, %d failed\n", checks, failures);
  return failures != 0;
}
