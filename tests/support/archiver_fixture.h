// Opens a MiniArchiver object the way a host does, over archive bytes held
// in memory or in files, and keeps the objects for the test to inspect.
#pragma once

#include <string>
#include <vector>

#include "plugin/state/archiver_state.h"
#include "tests/support/bytes.h"
#include "tests/support/test_host.h"

namespace testing_support {

struct HostMessage {
  uint32_t id;
  ObjectRef context;
  uint64_t digest;
};

// A header the scan handed over (MSG_ENTRY_HEADER), decoded.
struct HeaderNotice {
  uint32_t row;
  ObjectRef volume_io;
  uint64_t offset;
  std::string name;
};

class ArchiverFixture {
 public:
  explicit ArchiverFixture(TestHost& host);
  ~ArchiverFixture();  // closes everything it made

  // Creates the archiver over `bytes` (an I/O named `name`), sets the
  // scan-all-volumes property and completes creation. Returns the result of
  // CreateObjectDone, or of CreateObject when that fails.
  ResultCode OpenMemory(const Bytes& bytes, const std::string& name = "test.arj", uint32_t scan_all = 0);
  // The same over a file (whose siblings are the other volumes).
  ResultCode OpenFile(const std::string& path, uint32_t scan_all = 0);

  ObjectRef archiver() const { return archiver_; }
  ObjectRef io() const { return io_; }
  ArchiverState& state() const { return StateOf(archiver_); }
  // The messages but the headers handed over, which are in headers().
  const std::vector<HostMessage>& messages() const { return messages_; }
  const std::vector<HeaderNotice>& headers() const { return headers_; }

  // Handles of the logical entries, as Next yields them.
  std::vector<uint64_t> Handles();
  // A property of the entry `handle` (0: the current entry) as bytes.
  ResultCode Read(uint64_t handle, PropId prop, void* buffer, uint32_t size, uint32_t* length);
  std::string Name(uint64_t handle);
  uint64_t Size(uint64_t handle);
  uint32_t Packed(uint64_t handle);

 private:
  ResultCode Finish(uint32_t scan_all);

  Bytes bytes_;
  ObjectRef source_ = nullptr;
  ObjectRef io_ = nullptr;
  ObjectRef archiver_ = nullptr;
  std::vector<HostMessage> messages_;
  std::vector<HeaderNotice> headers_;
};

}  // namespace testing_support
