#include "tests/support/decode_chain.h"

#include <gtest/gtest.h>

#include "runtime/services/services.h"
#include "tests/support/io_objects.h"

namespace testing_support {

ChainOutput DecodeThroughObjects(ObjectRef parent, const ChainInput& in) {
  ChainOutput out;
  ObjectRef window = Window(parent, in.archive, in.data_offset, in.packed_size);
  ObjectRef source = window;
  if (in.key) {
    EXPECT_EQ(host::CreateObject(window, &source, IID_BLOCK_IO, PID_GARBLE_IO), RESULT_OK);
    EXPECT_EQ(host::SetPropObject(source, PROP_GARBLE_BASE, window), RESULT_OK);
    EXPECT_EQ(host::SetPropBuffer(source, PROP_GARBLE_KEY, in.key->data(), static_cast<uint32_t>(in.key->size())),
              RESULT_OK);
    EXPECT_EQ(host::SetPropDWord(source, PROP_GARBLE_KEY_LENGTH, static_cast<uint32_t>(in.key->size())), RESULT_OK);
    EXPECT_EQ(host::CreateObjectDone(source), RESULT_OK);
  }
  ObjectRef input = nullptr, output = nullptr, codec = nullptr;
  EXPECT_EQ(host::CreateObjectQuick(source, &input, IID_STREAM, PID_DEFAULT), RESULT_OK);
  ObjectRef temp = TempIo(parent, in.temp_memory_limit);
  EXPECT_EQ(host::CreateObjectQuick(temp, &output, IID_STREAM, PID_DEFAULT), RESULT_OK);
  EXPECT_EQ(host::CreateObject(parent, &codec, IID_CODEC, in.method == 0 ? PID_STORE_DECODER : PID_ARJ_DECODER),
            RESULT_OK);
  EXPECT_EQ(host::SetPropDWord(codec, PROP_CODEC_METHOD, in.method), RESULT_OK);
  EXPECT_EQ(host::SetPropQWord(codec, PROP_CODEC_UNPACKED_SIZE, in.unpacked_size), RESULT_OK);
  EXPECT_EQ(host::SetPropObject(codec, PROP_CODEC_INPUT, input), RESULT_OK);
  EXPECT_EQ(host::SetPropObject(codec, PROP_CODEC_OUTPUT, output), RESULT_OK);
  out.result = host::CreateObjectDone(codec);
  if (!Failed(out.result)) {
    out.result = host::Codec(codec).Process(codec, &out.count);
    out.crc = host::GetPropDWord(codec, arjrt::PROP_CODEC_OUTPUT_CRC);
    out.bytes = ReadAll(temp);  // the output stream is still open: Process must have flushed it
  }
  host::CloseIfOpen(codec);
  host::CloseIfOpen(temp);
  host::CloseIfOpen(window);
  return out;
}

Bytes GarbleKey(const std::string& password, uint8_t modifier) {
  Bytes key;
  for (char c : password) key.push_back(static_cast<uint8_t>(static_cast<uint8_t>(c) + modifier));
  return key;
}

}  // namespace testing_support
