// What every archive command starts with: a host with the plug-in loaded,
// tracing as asked, and the archive named by the first operand opened.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "cli/input/args.h"
#include "runtime/api/archive.h"
#include "runtime/api/host.h"
#include "runtime/api/kept_stream.h"

namespace cli {

struct Session {
  std::unique_ptr<arjhost::Host> host;
  // An archive read from standard input ("-"), kept: it outlives the archive.
  std::unique_ptr<arjhost::KeptStream> input;
  std::unique_ptr<arjhost::Archive> archive;
  std::string archive_path;
  arjhost::OpenOptions options;  // as the archive was opened
  bool recover = false;  // opened with --recover

  // Whether the archive can be opened again by its path (by workers):
  // not one read from standard input.
  bool Reopenable() const { return input == nullptr; }
};

// The archive operand that names standard input.
constexpr char kStandardInput[] = "-";

// Says that `command` does not write to "-" (standard input names no file
// to write); returns false.
bool RefuseStandardInput(const std::string& command);

// Makes the host and loads the plug-in, without an archive; on failure
// prints one line on stderr and returns false.
bool StartHost(const Args& args, Session* session);

// What a command opens an archive for: to read it, or to rewrite it (its
// writer lock held from before it is read to the end of the session; a
// missing one is opened empty, to be made: Archive::OpenForWriting).
enum class Purpose { kRead, kWrite };

// Loads the plug-in and opens the archive; on failure prints one line on
// stderr and returns false (the exit code is then 2). With --recover, a
// line on stderr for every volume read as rebuilt from its ARJ-PROTECT
// record (or damaged beyond it) and for every range skipped. "-" reads
// the archive from standard input, once, to its end (list, test and
// extract take it; a pipe holds no other volumes).
bool OpenSession(const Args& args, const std::string& command, Session* session, Purpose purpose = Purpose::kRead);
// The same for the archive at `path` (list takes several).
bool OpenArchive(const Args& args, const std::string& command, const std::string& path, Session* session,
                 Purpose purpose = Purpose::kRead);

// Stored texts of DOS hosts (volume names, comments) for JSON: the stored
// bytes as UTF-8, decoded from --codepage (437 by default) when they are
// not UTF-8.
std::string JsonName(const std::string& stored, const Args& args);
// The same for a terminal, control characters escaped.
std::string ShowName(const std::string& stored, const Args& args);
// A name the entry stores (its own, or a link's target) as text: the
// stored bytes as they are for an entry made on UNIX, whose names are the
// file system's bytes (as arj and tar keep them), else as JsonName decodes
// them from the DOS code page. This is what extraction writes.
std::string EntryText(const std::string& stored, const arjhost::EntryInfo& entry, const Args& args);
// The entry's name for JSON (bytes that are not UTF-8 become U+FFFD there)
// and for a terminal (escaped: "caf\xe9").
std::string JsonName(const arjhost::EntryInfo& entry, const Args& args);
std::string ShowName(const arjhost::EntryInfo& entry, const Args& args);
// The entry's name as it is extracted: its path under the extraction
// folder, separators as '/', without what made it absolute. Patterns match
// it (and the stored name); a name extraction refuses is its EntryText.
std::string ExtractedName(const arjhost::EntryInfo& entry, const Args& args);
// A file name (an archive's path, an error line) for a terminal: bytes
// that are not UTF-8 escaped, not decoded (local names are no DOS names).
std::string ShowPath(const std::string& path);
// The file of `volume` (a name the state gives) of the set opened as
// `archive_path`: beside it, or that path itself for its own volume.
std::string VolumePathOf(const std::string& archive_path, const std::string& volume);
int CodePageOption(const Args& args);
// --trace's value: digits alone, at most 9 of them. False for anything else.
bool ParseTraceLevel(const std::string& text, int* level);

}  // namespace cli
