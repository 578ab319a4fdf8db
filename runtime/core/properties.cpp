#include "runtime/core/properties.h"

#include <algorithm>
#include <cstring>

#include "runtime/core/rt_object.h"

namespace arjrt {
namespace {

uint8_t* FieldOf(ObjectRef object, const PropertyRow& row) {
  return static_cast<uint8_t*>(object->instance) + row.value.number;
}

// Copies a value of known size, reporting the size in `length`.
[[nodiscard]] ResultCode CopyOut(const void* value, uint32_t value_size, void* buffer, uint32_t size,
                                 uint32_t* length) {
  if (length != nullptr) *length = value_size;
  if (buffer == nullptr && size == 0) return RESULT_OK;  // a size query
  if (buffer == nullptr || size < value_size) return ERR_BUFFER_TOO_SMALL;
  std::memcpy(buffer, value, value_size);
  return RESULT_OK;
}

bool InsideInstance(ObjectRef object, const PropertyRow& row) {
  return object->instance != nullptr && row.value.number + row.size <= AsRt(object)->impl->instance_size;
}

}  // namespace

ResultCode ReadProperty(ObjectRef object, PropId id, void* buffer, uint32_t size, uint32_t* length) {
  const PropertyRow* row = AsRt(object)->impl->FindProperty(id);
  if (row == nullptr) return ERR_PROPERTY_UNAVAILABLE;
  switch (row->mode) {
    case PROP_MODE_GETTER: {
      if (row->getter == nullptr) return ERR_PROPERTY_UNAVAILABLE;
      uint32_t ignored = 0;
      return row->getter(object, length != nullptr ? length : &ignored, id, buffer, size);
    }
    case PROP_MODE_FIELD_READ:
    case PROP_MODE_FIELD_READ_WRITE:
      if (!InsideInstance(object, *row)) return ERR_PROPERTY_UNAVAILABLE;
      return CopyOut(FieldOf(object, *row), row->size, buffer, size, length);
    case PROP_MODE_INLINE: {
      uint64_t value = row->value.number;
      return CopyOut(&value, std::min<uint32_t>(row->size, sizeof value), buffer, size, length);
    }
    case PROP_MODE_STATIC:
      return CopyOut(row->value.address, row->size, buffer, size, length);
    case PROP_MODE_STATIC_STRING: {
      const char* text = *static_cast<const char* const*>(row->value.address);
      return CopyOut(text, static_cast<uint32_t>(std::strlen(text) + 1), buffer, size, length);
    }
    default:  // write-only fields and unknown modes
      return ERR_PROPERTY_UNAVAILABLE;
  }
}

ResultCode WriteProperty(ObjectRef object, PropId id, const void* buffer, uint32_t size) {
  const PropertyRow* row = AsRt(object)->impl->FindProperty(id);
  if (row == nullptr) return ERR_PROPERTY_UNAVAILABLE;
  if (row->setter != nullptr) return row->setter(object, id, buffer, size);
  if (row->mode != PROP_MODE_FIELD_WRITE && row->mode != PROP_MODE_FIELD_READ_WRITE) return ERR_ACCESS_DENIED;
  if (!InsideInstance(object, *row)) return ERR_PROPERTY_UNAVAILABLE;
  uint8_t* field = FieldOf(object, *row);
  uint32_t n = std::min(size, row->size);
  if (n != 0) std::memcpy(field, buffer, n);
  std::memset(field + n, 0, row->size - n);
  return RESULT_OK;
}

uint32_t GetDWordProperty(ObjectRef object, PropId id) {
  return static_cast<uint32_t>(GetQWordProperty(object, id));
}

uint64_t GetQWordProperty(ObjectRef object, PropId id) {
  uint64_t value = 0;
  uint32_t length = 0;
  uint32_t size = PropKindOf(id) == PropKind::DWord ? 4 : 8;
  if (Failed(ReadProperty(object, id, &value, size, &length))) return 0;
  if (length < sizeof value) value &= (length == 0 ? 0 : ~0ull >> (64 - 8 * length));
  return value;
}

ObjectRef GetObjectProperty(ObjectRef object, PropId id) {
  ObjectRef value = nullptr;
  uint32_t length = 0;
  if (Failed(ReadProperty(object, id, &value, sizeof value, &length)) || length != sizeof value) return nullptr;
  return value;
}

ResultCode GetStringProperty(ObjectRef object, uint32_t* length, PropId id, char* buffer, uint32_t size,
                             int32_t codepage) {
  // Our code pages for names and host paths both carry the bytes unchanged.
  (void)codepage;
  uint32_t value_length = 0;
  ResultCode result = ReadProperty(object, id, buffer, size, &value_length);
  if (buffer != nullptr && size != 0) {
    if (Failed(result)) {
      if (result != ERR_BUFFER_TOO_SMALL) buffer[0] = '\0';
    } else {
      buffer[std::min(value_length, size) - (value_length == 0 ? 0 : 1)] = '\0';
    }
  }
  if (length != nullptr) *length = value_length;
  return result;
}

}  // namespace arjrt
