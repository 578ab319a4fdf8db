// Entries' bytes read at any offset, each entry decoded once: an LZH
// stream only decodes forward, so an entry's bytes are kept in a cache
// bounded by bytes (the least recently read go first), and an entry
// larger than the cache is decoded forward, ahead of its readers, into an
// unnamed spill file that serves every offset while the entry is open.
// A damaged entry reads as EIO, said once; every other reads normally.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "cli/mount/archive_pool.h"
#include "runtime/api/archive.h"

namespace cli {

class EntryCache {
 public:
  // Says why an entry cannot be read, once for each entry.
  using Report = std::function<void(const arjhost::EntryInfo& entry, const std::string& why)>;

  // `entries` and `pool` outlive the cache.
  EntryCache(ArchivePool& pool, const std::vector<arjhost::EntryInfo>& entries, arjhost::PasswordSource passwords,
             uint64_t cache_bytes, Report report);
  ~EntryCache();  // stops the decoding under way
  EntryCache(const EntryCache&) = delete;
  EntryCache& operator=(const EntryCache&) = delete;

  // Up to `size` bytes of entry `index` at `offset` into `buffer`: the
  // count (short only at the end), or -EIO. Safe on any thread.
  int64_t Read(size_t index, uint64_t offset, void* buffer, size_t size);
  // An entry opened and released: a spill file lasts while it is open.
  void Opened(size_t index);
  void Released(size_t index);

  // Entries a reader will likely read next (the files after the one it
  // opened, as cp -r and file managers go): decoded into the cache on a
  // thread of their own, beside the reader's, unless held already or too
  // large for the cache. A newer call replaces the entries not yet begun.
  void DecodeAhead(const std::vector<size_t>& indices);

  // Bytes held in memory now (the cache's and those being decoded into it).
  uint64_t held_bytes() const;
  // Spill files open now.
  size_t spills() const;

 private:
  struct Spill;
  struct State {
    bool failed = false;    // read as EIO from now on, `why` said at the first read
    bool said = false;
    std::string why;
    bool decoding = false;  // into memory, by one reader; the others wait
    std::shared_ptr<const std::vector<uint8_t>> bytes;
    std::list<size_t>::iterator recent;  // in recent_, while `bytes` are held
    std::shared_ptr<Spill> spill;
    int opened = 0;
  };

  int64_t ReadHeld(size_t index, uint64_t offset, void* buffer, size_t size);
  int64_t ReadSpilled(size_t index, uint64_t offset, void* buffer, size_t size);
  // Frees held entries, least recently read first, until `size` more fit.
  void MakeRoom(uint64_t size);
  void Fail(size_t index, const std::string& why);
  // -EIO, with the cause said unless it was.
  int64_t Failed(std::unique_lock<std::mutex>& lock, size_t index);
  // The entry's bytes held in the cache, decoded first unless they are
  // (or, decoded by another thread, once they are); null when the entry
  // failed. Called and returns with `lock` held.
  std::shared_ptr<const std::vector<uint8_t>> Hold(std::unique_lock<std::mutex>& lock, size_t index);
  void DecodeAheadLoop();
  void DecodeIntoSpill(size_t index, const std::shared_ptr<Spill>& spill);
  // Drops the state of an entry that holds nothing any more.
  void Forget(size_t index);
  void StopSpill(std::unique_lock<std::mutex>& lock, std::shared_ptr<Spill> spill);

  ArchivePool& pool_;
  const std::vector<arjhost::EntryInfo>& entries_;
  arjhost::PasswordSource passwords_;
  uint64_t cache_bytes_;
  Report report_;

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::unordered_map<size_t, State> states_;  // only entries read, failed or open
  std::list<size_t> recent_;                  // held entries, most recently read first
  uint64_t held_ = 0;
  size_t spills_ = 0;
  std::vector<size_t> ahead_;  // entries to decode ahead, next first
  bool stopping_ = false;
  std::thread ahead_thread_;
};

}  // namespace cli
