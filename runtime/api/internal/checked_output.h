// An entry's bytes as the decoders write them: the CRC of every part
// checked, and written to the destination file, if any. A large entry is
// checked and written on a thread beside the decoding.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "runtime/api/archive.h"
#include "runtime/core/scratch_storage.h"

namespace arjhost {

// The CRC of every part, checked as the entry's bytes pass: every part
// carries the CRC of its own bytes.
class PartCheck {
 public:
  explicit PartCheck(const EntryInfo& entry) : parts_(entry.parts), left_(parts_.empty() ? 0 : parts_[0].size) {}

  void Add(const uint8_t* data, size_t size);
  const std::string& error() const { return error_; }
  void Restart();
  // After the last byte: every part must have been checked, empty ones
  // too, and a list of parts that could not be matched checks nothing.
  const std::string& Finish();

 private:
  const std::vector<EntryInfo::Part>& parts_;
  size_t part_ = 0;
  uint64_t left_;
  uint32_t crc_ = 0;
  std::string error_;
};

// Takes the bytes from the temporary I/O (as its pass-through): checked,
// and written to `fd` when it is not -1, and handed to `sink` when it is
// given (else, for a test, kept nowhere). No copy waits in memory or in a
// temporary file to be read back. A sink that returns false stops the
// decoding.
class CheckAsTheyCome : public arjrt::PassThrough {
 public:
  // With `beside`, checking and writing run on a thread of their own.
  CheckAsTheyCome(PartCheck& check, int fd, const ChunkSink* sink, bool beside);
  ~CheckAsTheyCome() override;
  CheckAsTheyCome(const CheckAsTheyCome&) = delete;
  CheckAsTheyCome& operator=(const CheckAsTheyCome&) = delete;

  void Begin() override;
  bool Take(const uint8_t* data, size_t size) override;
  // Waits until every byte taken is checked and written; then size() and
  // write_error() hold, and the check may be read.
  void Settle();
  uint64_t size() const { return size_; }
  // The errno of the first write to the file that failed; 0 when none did.
  int write_error() const { return write_error_; }
  // The sink refused a chunk: the rest went nowhere.
  bool sink_stopped() const { return sink_stopped_; }

 private:
  struct Buffer {
    std::vector<uint8_t> bytes;
    size_t used = 0;
    uint64_t offset = 0;  // in the entry
  };

  void Consume(const uint8_t* data, size_t size, uint64_t offset);
  void HandOver();  // the buffer being filled, to the thread
  void Work();

  PartCheck& check_;
  int fd_;
  const ChunkSink* sink_;
  uint64_t size_ = 0;
  int write_error_ = 0;
  std::atomic<bool> sink_stopped_{false};  // set beside, read by Take

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Buffer> full_;    // for the thread, in order
  std::vector<Buffer> spare_;  // emptied by it
  size_t buffers_ = 0;         // made so far
  Buffer filling_;
  bool busy_ = false;  // the thread holds a buffer
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace arjhost
