#include "plugin/rebuild/create_encoder.h"

ResultCode CreateEncoder(ObjectRef parent, uint8_t method, ObjectRef* codec, ObjectRef input, ObjectRef output) {
  *codec = nullptr;
  ObjectRef created = nullptr;
  ResultCode r = host::CreateObject(parent, &created, IID_CODEC, method != 0 ? PID_ARJ_ENCODER : PID_STORE_ENCODER);
  if (Failed(r)) return r;
  // A warning is no object: nothing to encode with.
  if (created == nullptr) return ERR_NOT_INITIALIZED;
  *codec = created;  // the caller closes it, on failure too
  // An encoder that did not take its streams or method would write
  // something other than the entry.
  r = host::SetPropObject(created, PROP_CODEC_OUTPUT, output);
  if (!Failed(r)) r = host::SetPropObject(created, PROP_CODEC_INPUT, input);
  if (!Failed(r)) r = host::SetPropDWord(created, PROP_CODEC_METHOD, method);
  return Failed(r) ? r : host::CreateObjectDone(created);
}
