// The system method table: every call lands in the object's Runtime.
#include "runtime/core/properties.h"
#include "runtime/core/runtime.h"

namespace arjrt {
namespace {

[[nodiscard]] ResultCode CreateObject(ObjectRef self, ObjectRef* out, uint32_t iid, uint32_t pid, uint32_t subtype) {
  return AsRt(self)->runtime->Create(AsRt(self), out, iid, pid, subtype, false);
}

[[nodiscard]] ResultCode CreateObjectQuick(ObjectRef self, ObjectRef* out, uint32_t iid, uint32_t pid,
                                           uint32_t subtype) {
  return AsRt(self)->runtime->Create(AsRt(self), out, iid, pid, subtype, true);
}

[[nodiscard]] ResultCode CreateObjectDone(ObjectRef self) { return AsRt(self)->runtime->Finish(AsRt(self)); }

[[nodiscard]] ResultCode CloseObject(ObjectRef self) { return AsRt(self)->runtime->Close(AsRt(self)); }

ObjectRef FindAncestor(ObjectRef self, uint32_t iid) {
  for (RtObject* o = AsRt(self)->parent; o != nullptr; o = o->parent)
    if (o->impl->iid == iid) return o;
  return nullptr;
}

uint32_t GetPropDWord(ObjectRef self, PropId prop) { return GetDWordProperty(self, prop); }

[[nodiscard]] ResultCode GetPropString(ObjectRef self, uint32_t* length, PropId prop, char* buffer, uint32_t size,
                                       int32_t codepage) {
  return GetStringProperty(self, length, prop, buffer, size, codepage);
}

[[nodiscard]] ResultCode GetPropBuffer(ObjectRef self, uint32_t* length, PropId prop, void* buffer, uint32_t size) {
  return ReadProperty(self, prop, buffer, size, length);
}

[[nodiscard]] ResultCode SetPropDWord(ObjectRef self, PropId prop, uint32_t value) {
  return WriteProperty(self, prop, &value, sizeof value);
}

[[nodiscard]] ResultCode SetPropQWord(ObjectRef self, PropId prop, uint32_t low, uint32_t high) {
  uint64_t value = (static_cast<uint64_t>(high) << 32) | low;
  return WriteProperty(self, prop, &value, sizeof value);
}

[[nodiscard]] ResultCode SetPropObject(ObjectRef self, PropId prop, ObjectRef value) {
  return WriteProperty(self, prop, &value, sizeof value);
}

[[nodiscard]] ResultCode SetPropBuffer(ObjectRef self, uint32_t* length, PropId prop, const void* buffer,
                                       uint32_t size) {
  ResultCode result = WriteProperty(self, prop, buffer, size);
  if (length != nullptr) *length = Failed(result) ? 0 : size;
  return result;
}

[[nodiscard]] ResultCode SendMessage(ObjectRef self, uint32_t msg_class, uint32_t id, ObjectRef context, void* buffer,
                                     uint32_t* length) {
  return AsRt(self)->runtime->Deliver({self, msg_class, id, context, buffer, length});
}

uint64_t GetPropQWord(ObjectRef self, PropId prop) { return GetQWordProperty(self, prop); }
ObjectRef GetPropObject(ObjectRef self, PropId prop) { return GetObjectProperty(self, prop); }
ObjectRef GetParent(ObjectRef self) { return AsRt(self)->parent; }
uint32_t GetInterfaceId(ObjectRef self) { return AsRt(self)->impl->iid; }

}  // namespace

const SystemMethods kSystemMethods = {
    CreateObject, CreateObjectQuick, CreateObjectDone, CloseObject,   FindAncestor, GetPropDWord,
    GetPropString, GetPropBuffer,    SetPropDWord,     SetPropQWord,  SetPropObject, SetPropBuffer,
    SendMessage,   GetPropQWord,     GetPropObject,    GetParent,     GetInterfaceId,
};

}  // namespace arjrt
