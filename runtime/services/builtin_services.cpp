#include "runtime/codecs/encode_objects/encoder_objects.h"
#include "runtime/core/runtime.h"
#include "runtime/services/change_list.h"
#include "runtime/services/content_file_io.h"
#include "runtime/services/services.h"

namespace arjrt {

void RegisterBuiltinServices(ObjectRef root) {
  // The first registration of an interface is its default (plug-in id 0).
  RegisterMemoryService(root);
  RegisterNativeFileIoService(root);
  RegisterMemoryIoService(root);
  RegisterStreamService(root);
  RegisterTextService(root);
  RegisterDigestServices(root);
  RegisterNativeFsService(root);
  RegisterFsSourceService(root);
  RegisterRequesterService(root);
  RegisterWindowIoService(root);
  RegisterJoinedIoService(root);
  RegisterGarbleIoService(root);
  RegisterTempIoService(root);
  RegisterDecoderCodecs(root);
  RegisterEncoderServices(root);
  RegisterChangeListService(root);
  RegisterContentFileIoService(root);
}

}  // namespace arjrt
