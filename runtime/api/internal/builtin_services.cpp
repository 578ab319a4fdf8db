#include "runtime/api/internal/builtin_services.h"

#include "runtime/codecs/decoder_codec.h"
#include "runtime/codecs/encode_objects/encoder_objects.h"
#include "runtime/services/change_list.h"
#include "runtime/services/content_file_io.h"
#include "runtime/services/reader_io.h"
#include "runtime/services/services.h"

namespace arjrt {

ResultCode RegisterBuiltinServices(ObjectRef root) {
  // The first registration of an interface is its default (plug-in id 0).
  constexpr ResultCode (*kRegistrations[])(ObjectRef) = {
      RegisterMemoryService,        RegisterNativeFileIoService, RegisterMemoryIoService, RegisterStreamService,
      RegisterTextService,          RegisterDigestServices,      RegisterNativeFsService, RegisterFsSourceService,
      RegisterRequesterService,     RegisterWindowIoService,     RegisterJoinedIoService, RegisterGarbleIoService,
      RegisterTempIoService,        RegisterDecoderCodecs,       RegisterEncoderServices, RegisterChangeListService,
      RegisterContentFileIoService, RegisterReaderServices,
  };
  for (auto registration : kRegistrations)
    if (const ResultCode r = registration(root); Failed(r)) return r;
  return RESULT_OK;
}

}  // namespace arjrt
