// IID_MEMORY: zero-filled blocks with room to grow, so that a table resized
// for every entry costs linear time in total.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_set>

#include "runtime/core/runtime.h"
#include "runtime/services/service_support.h"
#include "runtime/services/services.h"

namespace arjrt {
namespace {

constexpr uint64_t kBlockMagic = 0x4B434F4C42545241ull;  // "ARTBLOCK"
constexpr uint64_t kMaxBlockSize = uint64_t{1} << 40;

struct alignas(16) BlockHeader {
  uint64_t magic;
  uint64_t capacity;
  uint64_t size;
  const void* pool;
};

class MemoryPool {
 public:
  explicit MemoryPool(ObjectRef self)
      : runtime_(AsRt(self)->runtime), budget_(runtime_->limits().archive_memory) {}
  ~MemoryPool() {
    if (!blocks_.empty())
      runtime_->NoteLeak("memory object closed with " + std::to_string(blocks_.size()) + " block(s) allocated");
    for (BlockHeader* h : blocks_) Release(h);
  }

  [[nodiscard]] ResultCode Alloc(void** block, uint64_t size) {
    if (block == nullptr) return ERR_BAD_PARAMETER;
    if (size > kMaxBlockSize || !runtime_->AllowAllocation() || !WithinBudget(size)) return ERR_NO_MEMORY;
    BlockHeader* h = Acquire(size, size);
    if (h == nullptr) return ERR_NO_MEMORY;
    *block = h + 1;
    return RESULT_OK;
  }

  [[nodiscard]] ResultCode Realloc(void** block, void* old_block, uint64_t size) {
    if (block == nullptr) return ERR_BAD_PARAMETER;
    if (old_block == nullptr) return Alloc(block, size);
    BlockHeader* h = Find(old_block);
    if (h == nullptr) return ERR_BAD_PARAMETER;
    if (size > kMaxBlockSize || !runtime_->AllowAllocation()) return ERR_NO_MEMORY;
    if (size <= h->capacity) {
      if (size > h->size) std::memset(reinterpret_cast<uint8_t*>(h + 1) + h->size, 0, size - h->size);
      h->size = size;
      *block = h + 1;
      return RESULT_OK;
    }
    // Grow geometrically so that repeated small growth stays linear in total;
    // within the budget, settle for the size asked.
    uint64_t capacity = size > kMaxBlockSize / 2 ? size : std::max(size, h->capacity + h->capacity / 2);
    if (!WithinBudget(capacity - h->capacity)) capacity = size;
    if (!WithinBudget(capacity - h->capacity)) return ERR_NO_MEMORY;
    // realloc can move a large block by remapping it, without a copy.
    auto* grown = static_cast<BlockHeader*>(std::realloc(h, sizeof(BlockHeader) + capacity));
    if (grown == nullptr) return ERR_NO_MEMORY;
    blocks_.erase(h);
    blocks_.insert(grown);
    std::memset(reinterpret_cast<uint8_t*>(grown + 1) + grown->size, 0, size - grown->size);
    held_ += capacity - grown->capacity;
    grown->capacity = capacity;
    grown->size = size;
    *block = grown + 1;
    return RESULT_OK;
  }

  [[nodiscard]] ResultCode Free(void* block) {
    if (block == nullptr) return RESULT_OK;
    BlockHeader* h = Find(block);
    if (h == nullptr) return ERR_BAD_PARAMETER;
    blocks_.erase(h);
    Release(h);
    return RESULT_OK;
  }

 private:
  // Whether `more` bytes may be held besides what is; a refusal is counted
  // so that the embedder can name the bound as the cause.
  bool WithinBudget(uint64_t more) {
    if (budget_ == 0 || (held_ <= budget_ && more <= budget_ - held_)) return true;
    runtime_->NoteMemoryRefusal();
    return false;
  }

  BlockHeader* Acquire(uint64_t size, uint64_t capacity) {
    auto* h = static_cast<BlockHeader*>(std::malloc(sizeof(BlockHeader) + capacity));
    if (h == nullptr) return nullptr;
    std::memset(h + 1, 0, size);
    *h = {kBlockMagic, capacity, size, this};
    blocks_.insert(h);
    held_ += capacity;
    runtime_->AddBlocks(1);
    return h;
  }

  void Release(BlockHeader* h) {
    held_ -= h->capacity;
    h->magic = 0;
    std::free(h);
    runtime_->AddBlocks(-1);
  }

  BlockHeader* Find(void* block) {
    auto* h = static_cast<BlockHeader*>(block) - 1;
    return blocks_.count(h) != 0 ? h : nullptr;
  }

  Runtime* runtime_;
  const uint64_t budget_;  // 0: none
  uint64_t held_ = 0;      // capacity of the blocks held
  std::unordered_set<BlockHeader*> blocks_;
};

[[nodiscard]] ResultCode Alloc(ObjectRef self, void** block, uint64_t size) {
  return ImplOf<MemoryPool>(self).Alloc(block, size);
}
[[nodiscard]] ResultCode Realloc(ObjectRef self, void** block, void* old_block, uint64_t size) {
  return ImplOf<MemoryPool>(self).Realloc(block, old_block, size);
}
[[nodiscard]] ResultCode Free(ObjectRef self, void* block) { return ImplOf<MemoryPool>(self).Free(block); }

const MemoryMethods kMethods = {Alloc, Realloc, Free};
constexpr InternalHooks kHooks = ServiceHooks<MemoryPool, false>();

}  // namespace

ResultCode RegisterMemoryService(ObjectRef root) {
  return RegisterService(root, IID_MEMORY, PID_MEMORY, kHooks, &kMethods, 3, nullptr, 0,
                         sizeof(ServiceRecord<MemoryPool>));
}

}  // namespace arjrt
