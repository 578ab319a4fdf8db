// Failures the runtime's own services never give but a host may: a
// property that is not taken, a text that does not take its string. Objects
// made under `parent` while a RefusingHost stands (and the objects made
// under those) go through it; one stands at a time.
#pragma once

#include <cstdint>

#include "plugin/host/host_objects.h"

namespace testing_support {

constexpr ResultCode kRefused = ERR_ACCESS_DENIED;

class RefusingHost {
 public:
  explicit RefusingHost(ObjectRef parent);  // must outlive nothing it made: close those first
  ~RefusingHost();
  RefusingHost(const RefusingHost&) = delete;
  RefusingHost& operator=(const RefusingHost&) = delete;

  // Setting `prop` fails with kRefused once `after` settings went through.
  void RefuseProperty(PropId prop, uint32_t after = 0) {
    prop_ = prop;
    prop_after_ = after;
  }
  // A text object's SetFromBuffer fails with kRefused once `after` calls
  // went through.
  void RefuseTextFromBuffer(uint32_t after) {
    refuse_text_ = true;
    text_after_ = after;
  }
  // Objects of interface `iid` are not made (kRefused), as by a host that
  // does not know the interface.
  void RefuseInterface(uint32_t iid) { iid_ = iid; }
  uint32_t refusals() const { return refusals_; }

  [[nodiscard]] ResultCode Answer(PropId prop);
  [[nodiscard]] ResultCode AnswerText();
  [[nodiscard]] ResultCode AnswerCreate(uint32_t iid);

 private:
  ObjectRef parent_;
  const SystemMethods* parent_system_;
  PropId prop_ = 0;
  uint32_t prop_after_ = 0;
  bool refuse_text_ = false;
  uint32_t text_after_ = 0;
  uint32_t iid_ = 0;
  uint32_t refusals_ = 0;
};

}  // namespace testing_support
