// The I/O object that a viewing I/O (a window, a garble I/O) reads, and
// maybe writes, through. It is set as an object property and may close
// before the viewer does, so it is checked for life at every use rather
// than trusted once.
#pragma once

#include <cstdint>

#include "plugin/host/host_objects.h"
#include "runtime/services/service_support.h"

namespace arjrt {

class BaseIo {
 public:
  explicit BaseIo(ObjectRef owner) : owner_(owner) {}

  // Takes an object property value; a null object clears the base. Only a
  // live block I/O of the same runtime, other than the owner, is accepted.
  [[nodiscard]] ResultCode Set(const void* buffer, uint32_t size);
  [[nodiscard]] ResultCode Get(void* buffer, uint32_t size, uint32_t* length) const;

  // ERR_NOT_INITIALIZED without a live base, ERR_BAD_PARAMETER inside a
  // call of the base (bases that lead back to the owner).
  [[nodiscard]] ResultCode Ready() const;
  // The base's own calls, once Ready.
  [[nodiscard]] ResultCode SeekRead(uint32_t* count, uint64_t offset, void* buffer, uint32_t size);
  [[nodiscard]] ResultCode GetSize(uint64_t* size);
  // The base's PROP_OBJECT_NAME: a view is named by what it shows.
  [[nodiscard]] ResultCode GetName(void* buffer, uint32_t size, uint32_t* length);
  // Writes, for a view that lets them through; a base without them refuses
  // (ERR_ACCESS_DENIED).
  [[nodiscard]] ResultCode SeekWrite(uint32_t* count, uint64_t offset, const void* buffer, uint32_t size);
  [[nodiscard]] ResultCode SetSize(uint64_t size);
  [[nodiscard]] ResultCode Flush();

 private:
  ObjectRef owner_;
  ObjectRef base_ = nullptr;
  bool busy_ = false;  // inside a call of the base: a cycle of bases comes back here
};

// The method table of a read-only viewing I/O whose Impl (behind a
// ServiceRecord) has SeekRead and GetSize; writes are refused.
template <class Impl>
struct ReadOnlyViewMethods {
  [[nodiscard]] static ResultCode SeekRead(ObjectRef self, uint32_t* count, uint64_t offset, void* buffer,
                                           uint32_t size) {
    return ImplOf<Impl>(self).SeekRead(count, offset, buffer, size);
  }
  [[nodiscard]] static ResultCode GetSize(ObjectRef self, uint64_t* size, uint32_t) {
    return ImplOf<Impl>(self).GetSize(size);
  }
  [[nodiscard]] static ResultCode SeekWrite(ObjectRef, uint32_t* count, uint64_t, const void*, uint32_t) {
    if (count != nullptr) *count = 0;
    return ERR_ACCESS_DENIED;
  }
  [[nodiscard]] static ResultCode SetSize(ObjectRef, uint64_t) { return ERR_ACCESS_DENIED; }
  [[nodiscard]] static ResultCode Flush(ObjectRef) { return RESULT_OK; }
  static constexpr BlockIoMethods kTable = {SeekRead, GetSize, SeekWrite, SetSize, Flush};
};

// The same for a view that also passes writes on: its Impl has SeekWrite,
// SetSize and Flush too.
template <class Impl>
struct WritableViewMethods {
  [[nodiscard]] static ResultCode SeekWrite(ObjectRef self, uint32_t* count, uint64_t offset, const void* buffer, uint32_t size) {
    return ImplOf<Impl>(self).SeekWrite(count, offset, buffer, size);
  }
  [[nodiscard]] static ResultCode SetSize(ObjectRef self, uint64_t size) { return ImplOf<Impl>(self).SetSize(size); }
  [[nodiscard]] static ResultCode Flush(ObjectRef self) { return ImplOf<Impl>(self).Flush(); }
  static constexpr BlockIoMethods kTable = {ReadOnlyViewMethods<Impl>::SeekRead, ReadOnlyViewMethods<Impl>::GetSize,
                                            SeekWrite, SetSize, Flush};
};

}  // namespace arjrt
