// One host runtime: the root object, the registry, every live object and
// memory block, message delivery and the trace sink.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "plugin/host/host_objects.h"
#include "runtime/core/implementation.h"
#include "runtime/core/limits.h"
#include "runtime/core/rt_object.h"
#include "runtime/core/scratch_storage.h"

namespace arjrt {

struct Message {
  ObjectRef target;  // the object the message was sent to
  uint32_t msg_class;
  uint32_t id;
  ObjectRef context;
  void* buffer;
  uint32_t* length;
};

// Returns the receiver's result, or ERR_NOT_HANDLED to let the message go
// on to the handlers of the object's ancestors.
using MessageHandler = std::function<ResultCode(const Message&)>;
using TraceSink = std::function<void(int32_t level, std::string_view text)>;

class EncodeAhead;

// Registers services under the root; the runtime's own services are
// listed at the top, with the host (builtin_services.h), as this floor
// knows none of them.
using ServiceRegistration = ResultCode (*)(ObjectRef root);

class Runtime {
 public:
  // A runtime with its root, and the services `registration` registers
  // (none when it is null).
  explicit Runtime(ServiceRegistration registration = nullptr);
  ~Runtime();  // closes the root, and so every object still open
  Runtime(const Runtime&) = delete;
  Runtime& operator=(const Runtime&) = delete;

  ObjectRef root() { return root_; }
  Registry& registry() { return registry_; }

  // Object system; the system method table forwards here.
  [[nodiscard]] ResultCode Create(RtObject* parent, ObjectRef* out, uint32_t iid, uint32_t pid, uint32_t subtype,
                                  bool finish);
  [[nodiscard]] ResultCode Finish(RtObject* object);
  [[nodiscard]] ResultCode Close(RtObject* object);
  bool IsLive(ObjectRef object) const { return live_.count(AsRt(object)) != 0; }

  // Accounting, for the ownership checks of the tests and the teardown report.
  size_t live_object_count() const { return live_.size(); }
  size_t live_block_count() const { return live_blocks_; }
  void AddBlocks(int64_t delta) { live_blocks_ += delta; }
  // One line per object still open (other than the root), and the leak
  // notes recorded when memory objects closed with blocks still allocated.
  std::string DescribeLive() const;
  const std::vector<std::string>& leak_notes() const { return leak_notes_; }
  void NoteLeak(std::string note) { leak_notes_.push_back(std::move(note)); }

  // Shared by the temporary I/Os.
  ScratchStorage& scratch() { return scratch_; }

  // Allocation failure injection: the k-th allocation from now fails (k >= 1),
  // and with `persistent` every one after it too. 0 turns it off.
  void FailAllocation(uint64_t k, bool persistent = false);
  bool AllowAllocation();  // consumed by every Alloc and Realloc
  uint64_t allocation_count() const { return allocations_; }

  RuntimeLimits& limits() { return limits_; }
  // Allocations refused because a memory object would pass its bound.
  uint64_t memory_refusals() const { return memory_refusals_; }
  void NoteMemoryRefusal() { ++memory_refusals_; }

  // The files a rebuild under way has handed to workers to pack ahead
  // (null when none): the encoders take their packed data from there.
  EncodeAhead* encode_ahead() const { return encode_ahead_; }
  void set_encode_ahead(EncodeAhead* ahead) { encode_ahead_ = ahead; }

  // Messages.
  void AddMessageHandler(ObjectRef object, MessageHandler handler);
  [[nodiscard]] ResultCode Deliver(const Message& message);

  // Trace lines with level <= max_level go to the sink.
  void SetTraceSink(TraceSink sink, int32_t max_level);
  void EmitTrace(int32_t level, std::string_view text);
  bool Traces(int32_t level) const { return sink_ && level <= trace_level_; }

 private:
  void Destroy(RtObject* object);

  EncodeAhead* encode_ahead_ = nullptr;

  Registry registry_;
  ScratchStorage scratch_;  // outlives the objects the destructor closes
  ObjectRef root_ = nullptr;
  uint64_t next_serial_ = 1;
  std::unordered_set<RtObject*> live_;
  int64_t live_blocks_ = 0;
  std::vector<std::string> leak_notes_;
  uint64_t allocations_ = 0;
  uint64_t fail_at_ = 0;
  bool fail_persistent_ = false;
  RuntimeLimits limits_;
  uint64_t memory_refusals_ = 0;
  std::unordered_map<RtObject*, std::vector<MessageHandler>> handlers_;
  TraceSink sink_;
  int32_t trace_level_ = 0;
};

// The system method table shared by every object.
extern const SystemMethods kSystemMethods;

// Registers the root interface.
[[nodiscard]] ResultCode RegisterRootInterface(Registry& registry);

}  // namespace arjrt
