#include "plugin/rebuild/added_name.h"

#include <cstring>

#include "plugin/format/arj_types.h"

ResultCode ReadAddedName(ObjectRef object, char* buffer, uint32_t* length) {
  buffer[0] = '\0';
  ResultCode r =
      object->system->GetPropString(object, nullptr, PROP_OBJECT_NAME, buffer, kAddedNameBufferSize, CP_ENTRY_NAMES);
  buffer[kAddedNameBufferSize - 1] = '\0';  // whatever the host left there
  if (Failed(r)) return r == ERR_BUFFER_TOO_SMALL ? ERR_BAD_PARAMETER : r;
  const size_t n = std::strlen(buffer);
  if (n == 0 || n > arjhost::format::kMaxNameLength) return ERR_BAD_PARAMETER;
  *length = static_cast<uint32_t>(n);
  return RESULT_OK;
}
