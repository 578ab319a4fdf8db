// One entry's bytes pulled by the caller while the plug-in pushes them:
// the entry decodes on a thread of its own, which hands each chunk over
// and waits until the caller has taken it, so memory stays bounded
// whatever the entry's size; a small entry is decoded at once instead,
// into a buffer of its size. The CRC verdict comes with the last bytes.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "runtime/api/archive.h"

namespace arjhost::capi {

class EntryStream {
 public:
  // Starts decoding `entry` of `archive`, which no one else uses until
  // this is gone.
  EntryStream(Archive& archive, const EntryInfo& entry, PasswordSource passwords);
  // Stops the decoding and waits for its thread.
  ~EntryStream();
  EntryStream(const EntryStream&) = delete;
  EntryStream& operator=(const EntryStream&) = delete;

  // Copies the next bytes into `buffer`: their count, 0 at the end, -1 when
  // the entry failed (see result()). The call whose bytes reach the
  // entry's size waits for the verdict, and fails with it.
  ptrdiff_t Read(void* buffer, size_t size);
  // Once Read returned -1 (or 0): how the decoding ended.
  const ExtractResult& result() const { return result_; }

 private:
  bool Offer(const uint8_t* data, size_t size);  // on the decoding thread
  ptrdiff_t ReadHeld(void* buffer, size_t size);  // a small entry, decoded at once

  Archive& archive_;
  const EntryInfo& entry_;
  PasswordSource passwords_;
  std::mutex mutex_;
  std::condition_variable changed_;
  const uint8_t* chunk_ = nullptr;  // offered and not yet taken
  size_t left_ = 0;
  bool finished_ = false;  // the decoding ended: result_ holds
  bool stopping_ = false;  // the caller wants no more
  uint64_t taken_ = 0;
  ExtractResult result_;
  std::vector<uint8_t> held_;  // a small entry's bytes
  std::thread thread_;
};

}  // namespace arjhost::capi
