#include "runtime/core/runtime.h"
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
  RegisterGarbleIoService(root);
  RegisterTempIoService(root);
  RegisterDecoderCodecs(root);
}

}  // namespace arjrt
