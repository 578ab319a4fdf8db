#include "plugin/rebuild/create_encoder.h"

ResultCode CreateEncoder(ObjectRef parent, uint8_t method, ObjectRef* codec, ObjectRef input, ObjectRef output) {
  *codec = nullptr;
  ObjectRef created = nullptr;
  ResultCode r = host::CreateObject(parent, &created, IID_CODEC, method != 0 ? PID_ARJ_ENCODER : PID_STORE_ENCODER);
  if (Failed(r)) return r;
  // A warning is no object: nothing to encode with.
  if (created == nullptr) return ERR_NOT_INITIALIZED;
  *codec = created;
  host::SetPropObject(created, PROP_CODEC_OUTPUT, output);
  host::SetPropObject(created, PROP_CODEC_INPUT, input);
  host::SetPropDWord(created, PROP_CODEC_METHOD, method);
  return host::CreateObjectDone(created);
}
