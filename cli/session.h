// What every archive command starts with: a host with the plug-in loaded,
// tracing as asked, and the archive named by the first operand opened.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "cli/args.h"
#include "runtime/api/archive.h"
#include "runtime/api/host.h"

namespace cli {

struct Session {
  std::unique_ptr<arjhost::Host> host;
  std::vector<uint8_t> empty_archive;  // the bytes of an archive opened from memory: they outlive it
  std::unique_ptr<arjhost::Archive> archive;
  std::string archive_path;
  arjhost::OpenOptions options;  // as the archive was opened
  int32_t open_result = 0;
  bool recover = false;  // opened with --recover
};

// Makes the host and loads the plug-in, without an archive; on failure
// prints one line on stderr and returns false.
bool StartHost(const Args& args, Session* session);

// Loads the plug-in and opens the archive; on failure prints one line on
// stderr and returns false (the exit code is then 2). With --recover, one
// volume alone, and a line on stderr for every range skipped.
bool OpenSession(const Args& args, const std::string& command, Session* session);
// The same for the archive at `path` (list takes several).
bool OpenArchive(const Args& args, const std::string& command, const std::string& path, Session* session);

// Archive names for JSON: the stored bytes as UTF-8, decoded from
// --codepage (437 by default) when they are not UTF-8.
std::string JsonName(const std::string& stored, const Args& args);
// The same for a terminal, control characters escaped.
std::string ShowName(const std::string& stored, const Args& args);
// A file name (an archive's path, an error line) for a terminal.
std::string ShowPath(const std::string& path);
int CodePageOption(const Args& args);
// --trace's value: digits alone, at most 9 of them. False for anything else.
bool ParseTraceLevel(const std::string& text, int* level);

}  // namespace cli
