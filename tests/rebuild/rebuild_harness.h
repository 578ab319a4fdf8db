// Running the plug-in's Rebuild in tests: content objects in memory, a
// destination to read back, an independent parse of what was written, and
// our decoders to unpack it.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tests/support/archive_builder.h"
#include "tests/support/archiver_fixture.h"
#include "tests/support/test_host.h"

namespace testing_support {

// A memory I/O under `parent` holding `data`, named `name` (if not empty).
ObjectRef MemoryContent(ObjectRef parent, const Bytes& data, const std::string& name = "");
// The runtime's content file I/O over a new file `path` holding `data`,
// with a stored name and (when >= 0) a method asked for.
ObjectRef FileContent(ObjectRef parent, const std::string& path, const Bytes& data, const std::string& name = "",
                      int method = -1);
Bytes IoBytes(ObjectRef io);

// One header as written, parsed without the plug-in.
struct WrittenEntry {
  uint64_t offset = 0;
  Bytes fixed;        // the 34-byte fixed part
  std::string name;
  uint8_t first_header_size = 0;
  uint16_t basic_size = 0;
  bool header_crc_ok = false;
  size_t extended_headers = 0;
  Bytes packed;
  uint8_t flags() const { return fixed[8]; }
  uint8_t method() const { return fixed[9]; }
  uint8_t file_type() const { return fixed[10]; }
  uint32_t Field32(size_t at) const { return fixed[at] | fixed[at + 1] << 8 | fixed[at + 2] << 16 | uint32_t{fixed[at + 3]} << 24; }
};

struct WrittenArchive {
  size_t main_header_length = 0;
  std::vector<WrittenEntry> entries;
  bool ended = false;  // the end marker closes it, with nothing after
};

WrittenArchive ParseWritten(const Bytes& archive);
// The entry's content, through our decoders; nullopt when they refuse it or
// its CRC does not match.
std::optional<Bytes> Unpack(const WrittenEntry& e);

// Rebuilds the fixture's archive through `list` into a fresh memory I/O;
// returns the result and leaves the bytes in *out.
ResultCode RebuildInto(ArchiverFixture& f, ObjectRef list, Bytes* out);

// A list object from the runtime's ChangeList service.
ObjectRef NewChangeList(TestHost& host);

Bytes DataFile(const std::string& name);  // tests/data/NAME
Bytes MixedSample(size_t size, uint32_t seed);  // text, runs and noise
Bytes NoiseSample(size_t size);                 // incompressible

}  // namespace testing_support
