/* arjhost.h: the C API of libarjhost, for reading and writing ARJ archives
 * from C and from any language that calls C (C99; link with -larjhost,
 * found by `pkg-config arjhost` or CMake's find_package(arjhost)).
 *
 * Reading goes as with libarchive: open an archive, walk its entries with
 * arjhost_next_entry, and read, test, extract or skip each one's data.
 *
 *   arjhost_archive *a = arjhost_open_path("backup.arj", NULL);
 *   arjhost_entry *e;
 *   while (arjhost_next_entry(a, &e) == ARJHOST_OK) ... arjhost_read_data(a, buffer, sizeof buffer) ...
 *   arjhost_close(a);
 *
 * An open never returns NULL but when memory is short: an archive that
 * could not be opened gives its error through arjhost_error_code and
 * arjhost_error_string, and every call on it fails with that error.
 *
 * Threads: a handle is used by one thread at a time; different handles
 * work on different threads at once, sharing nothing. The library keeps no
 * global state of its own, installs no signal handler and prints nothing.
 * A callback is called only while a call on its handle is under way, never
 * twice at once, on the calling thread or, while arjhost_read_data decodes,
 * on the handle's own decoding thread.
 *
 * Names are UTF-8 as `arjhost list` shows them: the stored bytes of an
 * entry made on UNIX (bytes that are not UTF-8 become U+FFFD), other hosts'
 * names decoded from the DOS code page when they are not UTF-8. Strings
 * returned stay valid until the next call on the handle that moves to
 * another entry, or its close.
 */
#ifndef ARJHOST_H
#define ARJHOST_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define ARJHOST_C_API __attribute__((visibility("default")))
#else
#define ARJHOST_C_API
#endif

/* Results: ARJHOST_OK, ARJHOST_END, ARJHOST_SKIPPED, or one of the errors
 * (negative). The errors are the embedding API's codes (arjhost::Code),
 * negated, and keep their numbers from one version to the next: bindings
 * may store them. ARJHOST_ERR_NOT_ARCHIVE to _MISSING_VOLUME say the
 * archive is bad, _WRONG_PASSWORD and _PASSWORD_NEEDED that a password
 * is, _LIMIT that a bound refused the work. */
#define ARJHOST_OK 0
#define ARJHOST_END 1      /* no more entries */
#define ARJHOST_SKIPPED 2  /* the entry was left out, as asked or as the rules want: see the error string */
#define ARJHOST_ERR_NOT_ARCHIVE (-1)      /* not an ARJ archive */
#define ARJHOST_ERR_DAMAGED (-2)          /* a CRC or size that does not match, data cut short, damaged headers */
#define ARJHOST_ERR_WRONG_PASSWORD (-3)   /* garbled, and the password does not decode it (or the data is damaged) */
#define ARJHOST_ERR_PASSWORD_NEEDED (-4)  /* garbled, and no password was given */
#define ARJHOST_ERR_UNSUPPORTED (-5)      /* a method, version or file type this reader does not know */
#define ARJHOST_ERR_MISSING_VOLUME (-6)   /* the entry goes on in (or comes from) a volume that is not there */
#define ARJHOST_ERR_LIMIT (-7)            /* over one of the limits in arjhost_options */
#define ARJHOST_ERR_IO (-8)               /* the system refused a read or a write */
#define ARJHOST_ERR_NOT_FOUND (-9)        /* no such file or entry */
#define ARJHOST_ERR_REFUSED (-10)         /* unsafe: a name leaving the folder, a file in the way, a change refused */
#define ARJHOST_ERR_CANCELLED (-11)       /* stopped: a callback declined to go on */
#define ARJHOST_ERR_ARGUMENT (-12)        /* a bad argument, or a call the handle cannot take now */
#define ARJHOST_ERR_NO_MEMORY (-13)
#define ARJHOST_ERR_CHANGED (-14)         /* a file changed while it was read or rewritten: trying again may do */
#define ARJHOST_ERR_INTERNAL (-15)
#define ARJHOST_ERR_IN_USE (-16)          /* another writer holds the archive: trying again once it is done may do */
/* Of the C API alone, counted down from -64. */
#define ARJHOST_ERR_PLUGIN (-64)          /* the ARJ plug-in could not be loaded */

typedef struct arjhost_archive arjhost_archive;
typedef struct arjhost_entry arjhost_entry;
typedef struct arjhost_writer arjhost_writer;

/* The version this header is of, as a number: major * 10000 + minor * 100
 * + patch (10000 for 1.0.0), for #if; arjhost_version_number() gives the
 * library's. A later library with the same major version runs programs
 * built against this header unchanged: this C API (functions, codes,
 * structs) is the interface with that promise; the C++ headers are not. */
#define ARJHOST_VERSION_NUMBER 10100

/* "1.1.0": the version of the library the program runs with. */
ARJHOST_C_API const char *arjhost_version(void);
ARJHOST_C_API int arjhost_version_number(void);
/* What a result code means, in a few words ("damaged", "not found"); no
 * handle needed. Unknown codes give "unknown code". */
ARJHOST_C_API const char *arjhost_strerror(int code);

/* ---- Sources other than a file ---------------------------------------- */

/* Reads up to `size` bytes: the count, 0 at the end, negative on error. */
typedef ptrdiff_t (*arjhost_read_callback)(void *user, void *buffer, size_t size);
/* Moves to `offset` from SEEK_SET, SEEK_CUR or SEEK_END: the new position,
 * or negative when the stream cannot seek. */
typedef int64_t (*arjhost_seek_callback)(void *user, int64_t offset, int whence);
/* The stream's size in bytes, or negative when it is not known. */
typedef int64_t (*arjhost_size_callback)(void *user);

/* A stream the archive (or a volume) is read from. `read` is needed;
 * `seek` and `size` are optional. A stream that cannot seek is read once,
 * from where it stands, and kept in memory up to max_stream_memory, the
 * rest in an unnamed temporary file, up to max_stream_size in all. `close`,
 * when given, is called once the library is done with the stream (at the
 * latest by arjhost_close, also when the open fails). */
typedef struct arjhost_callbacks {
  arjhost_read_callback read;
  arjhost_seek_callback seek;
  arjhost_size_callback size;
  void (*close)(void *user);
  void *user;
} arjhost_callbacks;

/* A volume of a set, as the volume callback opens it: in memory (`data`,
 * kept by the caller until arjhost_close) or, when `data` is NULL, read
 * through `callbacks`. */
typedef struct arjhost_volume {
  const void *data;
  size_t size;
  arjhost_callbacks callbacks;
} arjhost_volume;

/* Opens the volume `name` of a set read from memory or callbacks (the
 * names are made from arjhost_options.name: "backup.a01" after
 * "backup.arj"). Returns ARJHOST_OK with `volume` filled,
 * ARJHOST_ERR_NOT_FOUND when there is none of that name (the set ends
 * before it), or another error when it is there but cannot be read (the
 * set then ends, incomplete). */
typedef int (*arjhost_volume_callback)(void *user, const char *name, arjhost_volume *volume);

/* Writes the password for the garbled entry `entry_name` (UTF-8) into
 * `password` (NUL-terminated, at most `size` bytes with the NUL) and
 * returns ARJHOST_OK; anything else declines (the entry fails). `attempt`
 * counts this entry's requests from 0: a wrong answer is asked again, at
 * most three times. */
typedef int (*arjhost_password_callback)(void *user, const char *entry_name, int attempt, char *password,
                                         size_t size);

/* ---- Options ------------------------------------------------------------ */

typedef struct arjhost_options {
  /* The struct's size as the program was built (sizeof): arjhost_options_init
   * sets it. Options a later header adds go at the end; an open reads only
   * `size` bytes, and options past them take their defaults, so a program
   * built against an earlier header keeps working with a later library. */
  size_t size;
  /* Bounds on what a hostile archive may cost, as the tool's --max-*
   * options; 0 turns one off (entries and volumes: the plug-in's own
   * bounds of 4,000,000 and 100,000 stay). */
  uint64_t max_entries;        /* entries of one archive (default 0: the plug-in's bound) */
  uint64_t max_volumes;        /* volumes of one set (default 0: the plug-in's bound) */
  uint64_t max_memory;         /* memory of the open archive's tables (default 2 GiB) */
  uint64_t max_extract_memory; /* memory one extraction holds; more goes to a temporary file (8 MiB) */
  uint64_t max_size;           /* unpacked size of one entry (default 0: none) */
  uint64_t max_ratio;          /* unpacked / packed size of an entry over 256 MiB (default 1000) */
  uint64_t max_total;          /* unpacked bytes of all entries read, tested or extracted (64 GiB) */
  uint64_t max_stream_memory;  /* a stream that cannot seek: kept in memory up to this (64 MiB) */
  uint64_t max_stream_size;    /* ... and read up to this in all (64 GiB) */
  /* The DOS code page (437, 850 or 866) of names not made on UNIX that
   * are not UTF-8. Default 437. */
  int codepage;
  /* Read the named volume (and what its last entry needs) alone, not the
   * whole set; read past damaged headers (each volume of a set by itself). */
  int single_volume;
  int recover;
  /* The archive's name when it is not opened from a path: volume names
   * are made from it, and messages name it. NULL: "memory archive". */
  const char *name;
  /* The plug-in library; NULL: $ARJHOST_PLUGIN, else the one installed
   * with libarjhost. */
  const char *plugin;
  /* The password of garbled entries, tried first; then the callback. */
  const char *password;
  arjhost_password_callback password_callback;
  void *password_user;
  /* Opens the other volumes of a set read from memory or callbacks;
   * NULL: such an archive is read as a volume by itself. */
  arjhost_volume_callback open_volume;
  void *volume_user;
  /* Options from here on are read only when `size` covers them. */
  /* Threads arjhost_test_all decodes on, the caller's included: 0 (the
   * default) as many as pay, one for each core; 1 the caller's alone. */
  unsigned max_threads;
} arjhost_options;

/* Fills `options` with the defaults and its size. Options given to an
 * open are copied. */
#define arjhost_options_init(options) arjhost_options_init_sized((options), sizeof(arjhost_options))
/* The same for a struct of `size` bytes, the size of the header's struct
 * the caller was built with (what the macro passes). */
ARJHOST_C_API void arjhost_options_init_sized(arjhost_options *options, size_t size);

/* ---- Opening ------------------------------------------------------------ */

/* Opens the archive file at `path`; a volume of a set opens the whole set,
 * found beside it as the tool finds it. `options` may be NULL. */
ARJHOST_C_API arjhost_archive *arjhost_open_path(const char *path, const arjhost_options *options);
/* Opens an archive held in memory, read where it lies (no copy, no
 * temporary file): the bytes must outlive the handle. */
ARJHOST_C_API arjhost_archive *arjhost_open_memory(const void *data, size_t size, const arjhost_options *options);
/* Opens an archive read through callbacks (see arjhost_callbacks). */
ARJHOST_C_API arjhost_archive *arjhost_open_callbacks(const arjhost_callbacks *callbacks,
                                                      const arjhost_options *options);
/* Stops what is under way, removes what an unfinished extraction left,
 * applies the times and modes of extracted folders, and frees the handle.
 * NULL is ignored. */
ARJHOST_C_API void arjhost_close(arjhost_archive *a);

/* The last call's result (ARJHOST_OK when it succeeded) and why it failed,
 * naming the archive, the entry and the cause ("" when it did not). */
ARJHOST_C_API int arjhost_error_code(const arjhost_archive *a);
ARJHOST_C_API const char *arjhost_error_string(const arjhost_archive *a);

/* Passwords for garbled entries, from now on (see arjhost_options). */
ARJHOST_C_API int arjhost_set_password(arjhost_archive *a, const char *password);
ARJHOST_C_API int arjhost_set_password_callback(arjhost_archive *a, arjhost_password_callback callback, void *user);

/* ---- The archive -------------------------------------------------------- */

#define ARJHOST_ARCHIVE_MULTI_VOLUME 0x01u
#define ARJHOST_ARCHIVE_DAMAGED 0x02u       /* headers that cannot all be read, or fail their CRC */
#define ARJHOST_ARCHIVE_INCOMPLETE 0x04u    /* a volume of the set is missing or cannot be read */
#define ARJHOST_ARCHIVE_SECURED 0x08u       /* an ARJ-SECURITY envelope, not verified */
#define ARJHOST_ARCHIVE_PROTECTED 0x10u     /* ARJ-PROTECT data follows the archive */
#define ARJHOST_ARCHIVE_RECOVERED 0x20u     /* `recover` skipped damaged ranges */
#define ARJHOST_ARCHIVE_MAIN_HEADER_DAMAGED 0x40u /* a volume's main header fails its CRC (DAMAGED is set too) */
#define ARJHOST_ARCHIVE_CHAPTER_REFUSED 0x80u     /* chapters arj refuses: no entry is taken for testing */
#define ARJHOST_ARCHIVE_HEADERS_UNREAD 0x100u     /* headers could not all be read (DAMAGED is set too) */
#define ARJHOST_ARCHIVE_VOLUME_MISSING 0x200u     /* a volume of the set is missing (INCOMPLETE is set too) */
/* Since 1.1.0: `recover` read damaged blocks as the ARJ-PROTECT record
 * (arj a -hk) rebuilt them; BEYOND_RECORD: a record found more damage than
 * it rebuilds. arjhost_archive_record_rebuild says which blocks. */
#define ARJHOST_ARCHIVE_REBUILT 0x400u
#define ARJHOST_ARCHIVE_BEYOND_RECORD 0x800u

/* ARJHOST_ARCHIVE_* bits. */
ARJHOST_C_API unsigned arjhost_archive_flags(const arjhost_archive *a);
/* The entries of the archive, and the archive comment (UTF-8; "" when none). */
ARJHOST_C_API size_t arjhost_archive_entry_count(const arjhost_archive *a);
ARJHOST_C_API const char *arjhost_archive_comment(arjhost_archive *a);
/* The latest chapter of a chapter archive (arj ac), 0 without chapters. */
ARJHOST_C_API int arjhost_archive_chapter(const arjhost_archive *a);
/* The volumes read, in order; NULL past the last. */
ARJHOST_C_API size_t arjhost_archive_volume_count(const arjhost_archive *a);
ARJHOST_C_API const char *arjhost_archive_volume_name(const arjhost_archive *a, size_t index);
/* The volumes of the set that are there but cannot be read, in order: the
 * name, and in `*cause` why (the cause alone); NULL past the last. */
ARJHOST_C_API const char *arjhost_archive_unreadable_volume(arjhost_archive *a, size_t index, const char **cause);
/* Since 1.1.0. With `recover`, of an archive opened from a path: the
 * volumes (the archive's file, or the files of its set) whose ARJ-PROTECT
 * record found damaged blocks, in order. Of the one at `index`: its name
 * (as arjhost_archive_unreadable_volume names one), the numbers of its
 * damaged blocks of 1,024 bytes from 0 in `*blocks` (`*count` of them,
 * valid until arjhost_close), and in `*cause` NULL when the record rebuilt
 * them (the volume is read as rebuilt, in memory; the file is unchanged),
 * else why not (the volume is then read around the damage). Any of
 * `blocks`, `count` and `cause` may be NULL. NULL past the last. */
ARJHOST_C_API const char *arjhost_archive_record_rebuild(arjhost_archive *a, size_t index, const uint32_t **blocks,
                                                         size_t *count, const char **cause);
/* The archive digest `arjhost list` shows: of the first volume's entries,
 * the same whichever volume of a set was opened. */
ARJHOST_C_API uint64_t arjhost_archive_digest(const arjhost_archive *a);

/* ---- Entries ------------------------------------------------------------ */

/* Moves to the next entry: ARJHOST_OK with *entry set, ARJHOST_END after
 * the last, or an error. The entry stays valid until the next call of
 * arjhost_next_entry or arjhost_close. */
ARJHOST_C_API int arjhost_next_entry(arjhost_archive *a, arjhost_entry **entry);
/* Moves to the entry `index` (from 0, in archive order) as arjhost_next_entry
 * would: the walk goes on after it. ARJHOST_END past the last. */
ARJHOST_C_API int arjhost_seek_entry(arjhost_archive *a, size_t index, arjhost_entry **entry);

typedef enum arjhost_entry_type {
  ARJHOST_TYPE_FILE = 0,
  ARJHOST_TYPE_FOLDER = 1,
  ARJHOST_TYPE_SYMBOLIC_LINK = 2,
  ARJHOST_TYPE_HARD_LINK = 3,
  ARJHOST_TYPE_FIFO = 4,
  ARJHOST_TYPE_DEVICE = 5,
  ARJHOST_TYPE_LABEL = 6,  /* a volume or chapter label */
  ARJHOST_TYPE_OTHER = 7   /* a comment alone, a type this reader does not know, an unreadable link record */
} arjhost_entry_type;

ARJHOST_C_API const char *arjhost_entry_name(const arjhost_entry *e);
/* The name's stored bytes, `*size` of them (NUL-terminated too). */
ARJHOST_C_API const char *arjhost_entry_stored_name(const arjhost_entry *e, size_t *size);
ARJHOST_C_API uint64_t arjhost_entry_size(const arjhost_entry *e);
ARJHOST_C_API uint64_t arjhost_entry_packed_size(const arjhost_entry *e);
ARJHOST_C_API int arjhost_entry_method(const arjhost_entry *e);
/* Of the whole file (a split file's parts combined). */
ARJHOST_C_API uint32_t arjhost_entry_crc32(const arjhost_entry *e);
/* Seconds since 1970-01-01 UTC. Access and creation times are stored by
 * arj 2.6 and later only: 0 is returned when none is, else 1. */
ARJHOST_C_API int64_t arjhost_entry_mtime(const arjhost_entry *e);
ARJHOST_C_API int arjhost_entry_atime(const arjhost_entry *e, int64_t *time);
ARJHOST_C_API int arjhost_entry_ctime(const arjhost_entry *e, int64_t *time);
/* A mode as stat(2) gives it: the kind (S_IFREG, S_IFDIR, ...) and the
 * stored UNIX permission bits, or for another host's entry 0644 (0444 when
 * read-only; folders 0755). */
ARJHOST_C_API uint32_t arjhost_entry_mode(const arjhost_entry *e);
/* The stored attributes (a UNIX mode or DOS attribute bits) and host OS. */
ARJHOST_C_API uint32_t arjhost_entry_attributes(const arjhost_entry *e);
ARJHOST_C_API int arjhost_entry_host_os(const arjhost_entry *e);
ARJHOST_C_API arjhost_entry_type arjhost_entry_type_of(const arjhost_entry *e);
/* A symbolic link's target, or the name a hard link shares its data with
 * (UTF-8; "" for other entries). */
ARJHOST_C_API const char *arjhost_entry_link_target(const arjhost_entry *e);
ARJHOST_C_API int arjhost_entry_garbled(const arjhost_entry *e);
/* The ARJ flags byte of the entry's first part (garbled 0x01, continues in
 * the next volume 0x04, goes on from the previous one 0x08, ...), and where
 * that part's local header starts in its volume, as `arjhost list -v`
 * shows them. */
ARJHOST_C_API unsigned arjhost_entry_flags(const arjhost_entry *e);
ARJHOST_C_API uint64_t arjhost_entry_header_offset(const arjhost_entry *e);
/* The chapters the entry belongs to, first to last: 1, or 0 (first and
 * last 0) in an archive without chapters. */
ARJHOST_C_API int arjhost_entry_chapters(const arjhost_entry *e, int *first, int *last);
ARJHOST_C_API const char *arjhost_entry_comment(const arjhost_entry *e);
/* The volume holding the entry's first part ("" for a single volume). */
ARJHOST_C_API const char *arjhost_entry_volume(const arjhost_entry *e);
/* 1 when `arjhost test` and `arjhost extract` take the entry (and
 * arjhost_test_all tests it): every entry of an archive without chapters,
 * those arj takes for a chapter archive's latest chapter; 0 for an entry
 * of older chapters only, and for every entry when the archive's chapter
 * is refused (ARJHOST_ARCHIVE_CHAPTER_REFUSED). */
ARJHOST_C_API int arjhost_entry_taken(const arjhost_entry *e);
/* Takes the entries that belong to chapter `chapter` (1 to the archive's
 * latest) from now on, as `arjhost extract --chapter N`; 0 goes back to
 * the default. arjhost_entry_taken and arjhost_test_all follow the choice.
 * ARJHOST_ERR_ARGUMENT when the archive has no such chapter. */
ARJHOST_C_API int arjhost_choose_chapter(arjhost_archive *a, int chapter);
/* Where extraction puts the entry, relative to its folder ('/' between the
 * parts, as arjhost_extracted_path would say), or "" when it makes nothing
 * there (a label, a device or FIFO) or refuses the entry. */
ARJHOST_C_API const char *arjhost_entry_path(const arjhost_entry *e);
/* 1 when the headers of the entry (of each of its parts) pass their CRC,
 * else 0: the entry is listed as it reads, and the archive is damaged. */
ARJHOST_C_API int arjhost_entry_header_ok(const arjhost_entry *e);
/* In arjhost_test_all's callback: the bytes the test delivered (all of
 * them for a sound entry, those before the fault for a failed one). */
ARJHOST_C_API uint64_t arjhost_entry_tested_size(const arjhost_entry *e);

/* ---- The current entry's data ------------------------------------------- */

/* Copies the next bytes of the current entry into `buffer`: their count,
 * 0 at its end, or a negative error. Memory stays the same whatever the
 * entry's size. The call that reaches the end fails when the entry does not
 * match its CRC-32 or its size (its bytes are in the buffer, and are not
 * sound), as does any call once the data turns out damaged. A `size` of 0
 * reads nothing and returns 0, as read(2) does (`buffer` may then be NULL):
 * only a read that asks for bytes tells the end. */
ARJHOST_C_API ptrdiff_t arjhost_read_data(arjhost_archive *a, void *buffer, size_t size);
/* Leaves the rest of the current entry's data unread. */
ARJHOST_C_API int arjhost_skip_data(arjhost_archive *a);
/* Decodes the current entry and checks its size and CRC-32, keeping none
 * of its bytes (as `arjhost test`). */
ARJHOST_C_API int arjhost_test_data(arjhost_archive *a);

/* Hears the test of each entry, in archive order: ARJHOST_OK, or an error
 * and its message (naming the archive, the entry and the cause). */
typedef void (*arjhost_result_callback)(void *user, const arjhost_entry *entry, int result, const char *message);
/* Tests the archive's entries as `arjhost test` does: those of its chapter
 * (the latest, for a chapter archive), labels and a comment alone passed
 * over, on every core for an archive opened from a path with enough to
 * decode. `callback` may be NULL. Returns ARJHOST_OK when every entry is
 * sound, else the first entry's error (the error string tells it). The
 * walk of arjhost_next_entry is left where it was. */
ARJHOST_C_API int arjhost_test_all(arjhost_archive *a, arjhost_result_callback callback, void *user);

#define ARJHOST_EXTRACT_OVERWRITE 0x01u            /* replace an existing file or link */
#define ARJHOST_EXTRACT_SKIP_EXISTING 0x02u        /* keep it: the entry is skipped (ARJHOST_OK) */
#define ARJHOST_EXTRACT_PRESERVE_PERMISSIONS 0x04u /* keep set-user-ID bits, ignore the umask */
#define ARJHOST_EXTRACT_FLAT 0x08u                 /* no folders: each file under the last part of its name */
#define ARJHOST_EXTRACT_KEEP_DAMAGED 0x10u         /* keep what came out of a damaged entry (it still fails) */

/* Extracts the current entry under `folder` (made when missing) by the
 * tool's rules: a name never leaves the folder (a leading "/" or drive
 * letter is removed, ".." refused, no symbolic link followed on the way), a
 * file is written under a temporary name and put in place only when whole
 * and checked, a symbolic link only when it stays inside the folder, a hard
 * link only to a file this handle extracted; devices and FIFOs are not
 * made. A folder's stored time and mode are applied when the walk reaches
 * its end, or at arjhost_close. `flags`: ARJHOST_EXTRACT_* bits. */
ARJHOST_C_API int arjhost_extract(arjhost_archive *a, const char *folder, unsigned flags);
/* Where the last arjhost_extract put its entry, relative to its folder
 * ('/' between the parts, as the extraction rules made it: a leading "/"
 * or drive letter removed, '\' a separator, the last part alone when
 * flat); "" when it made nothing (a device, a label, a failure). */
ARJHOST_C_API const char *arjhost_extracted_path(const arjhost_archive *a);

/* ---- Writing ------------------------------------------------------------ */

/* Starts changes to the archive at `path`, or a new archive there when
 * there is none. Nothing is written before arjhost_write_commit, which
 * writes the new archive beside `path` and renames it over the old one
 * only once it reopens with the expected entries, as the tool does;
 * otherwise the old one is left as it was. A damaged archive is refused;
 * a volume set is written as a new set (see arjhost_write_volume_size).
 * The archive's writer lock (a file beside it, "NAME.arj.arjhost-lock")
 * is held from here to arjhost_write_close: another writer, here or in
 * the tool, fails ARJHOST_ERR_IN_USE meanwhile, as this one does while
 * another holds it. `options` may be NULL. */
ARJHOST_C_API arjhost_writer *arjhost_write_open(const char *path, const arjhost_options *options);
/* The same, starting from an archive without entries whatever is at
 * `path` (as zipfile's mode 'w'): the commit replaces that file, if it is
 * still as it was when this was called (ARJHOST_ERR_CHANGED otherwise). */
ARJHOST_C_API arjhost_writer *arjhost_write_open_new(const char *path, const arjhost_options *options);
/* Adds the regular file `file` as `stored_name` (NULL: `file` itself), a
 * plain relative path; an entry of that name is replaced. `method`: 0
 * (stored) to 4; -1 for 1. */
ARJHOST_C_API int arjhost_write_add_file(arjhost_writer *w, const char *file, const char *stored_name, int method);
/* Adds `size` bytes as `stored_name`, with the UNIX permission bits `mode`
 * and modification time `mtime` (seconds since 1970). The bytes are copied. */
ARJHOST_C_API int arjhost_write_add_memory(arjhost_writer *w, const char *stored_name, const void *data, size_t size,
                                           int method, uint32_t mode, int64_t mtime);
/* Adds a folder entry `stored_name` (a trailing '/' is dropped), as
 * arj -a1 stores one, with the UNIX permission bits `mode` and time
 * `mtime`. */
ARJHOST_C_API int arjhost_write_add_folder(arjhost_writer *w, const char *stored_name, uint32_t mode, int64_t mtime);
/* Drops every entry stored as `stored_name`: ARJHOST_ERR_NOT_FOUND when
 * none is. */
ARJHOST_C_API int arjhost_write_delete(arjhost_writer *w, const char *stored_name);
/* Writes the archive as a volume set, as arj a -v: `path` (which must end
 * in ".arj"), then .a01, .a02, ..., no volume larger than `size` bytes (at
 * least 10240); files split over volumes are packed part by part. 0: one
 * archive (a set being rewritten keeps its volumes' size). */
ARJHOST_C_API int arjhost_write_volume_size(arjhost_writer *w, uint64_t size);
/* Sets the archive comment written (its bytes as given; "" removes it);
 * NULL keeps the stored one. A comment that does not fit the main header
 * (2600 bytes with its name) fails the commit with ARJHOST_ERR_REFUSED. */
ARJHOST_C_API int arjhost_write_set_comment(arjhost_writer *w, const char *comment);
/* Sets the comment of every entry stored as `stored_name`, old or added
 * before this call ("" removes it): ARJHOST_ERR_NOT_FOUND when none is.
 * Name and comment must fit one header (checked at the commit). */
ARJHOST_C_API int arjhost_write_set_entry_comment(arjhost_writer *w, const char *stored_name, const char *comment);
/* Garbles every entry added or replaced with `password`, as arj -g does
 * (NULL or "": none is garbled). Garbling is no encryption: it keeps out
 * only a casual reader. An archive holding garbled entries takes only the
 * password that opens them (ARJHOST_ERR_WRONG_PASSWORD otherwise). */
ARJHOST_C_API int arjhost_write_set_password(arjhost_writer *w, const char *password);
/* Writes the changes. When every entry is dropped and none added the
 * archive is removed, as arj d removes an archive it empties. */
ARJHOST_C_API int arjhost_write_commit(arjhost_writer *w);
ARJHOST_C_API int arjhost_writer_error_code(const arjhost_writer *w);
ARJHOST_C_API const char *arjhost_writer_error_string(const arjhost_writer *w);
/* Frees the writer; changes not committed are dropped. */
ARJHOST_C_API void arjhost_write_close(arjhost_writer *w);

#ifdef __cplusplus
}
#endif

#endif /* ARJHOST_H */
