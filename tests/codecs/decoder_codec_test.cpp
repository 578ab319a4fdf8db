#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "runtime/services/services.h"
#include "tests/support/archive_parser.h"
#include "tests/support/bytes.h"
#include "tests/support/decode_chain.h"
#include "tests/support/files.h"
#include "tests/support/io_objects.h"
#include "tests/support/test_host.h"

namespace {

using namespace testing_support;
std::vector<ParsedEntry> EntriesOf(const Bytes& archive) {
  ParsedArchive parsed = ParseArchive(archive);
  EXPECT_TRUE(parsed.ended);
  return std::move(parsed.entries);
}

ChainInput InputFor(ObjectRef archive, const ParsedEntry& e) {
  return {archive, e.data_offset, e.packed.size(), e.method(), e.original_size(), std::nullopt};
}

class CheckedInArchives : public ::testing::TestWithParam<int> {};

// Small limits send the output through the temporary file as well.
TEST_P(CheckedInArchives, DecodeThroughTheObjectChain) {
  TestHost host;
  const Bytes archive = DataFile("method" + std::to_string(GetParam()) + ".arj");
  const auto entries = EntriesOf(archive);
  ASSERT_EQ(entries.size(), 6u);
  ObjectRef io = MemoryView(host.root(), archive);
  for (uint64_t limit : {uint64_t{8} << 20, uint64_t{1000}}) {
    for (const ParsedEntry& e : entries) {
      SCOPED_TRACE(e.name + " limit " + std::to_string(limit));
      const Bytes source = DataFile("src/mixed/" + e.name);
      ASSERT_EQ(source.size(), e.original_size());
      ChainInput in = InputFor(io, e);
      in.temp_memory_limit = limit;
      const ChainOutput out = DecodeThroughObjects(host.root(), in);
      EXPECT_EQ(out.result, RESULT_OK);
      EXPECT_EQ(out.count, source.size());
      EXPECT_TRUE(out.bytes == source) << "content differs";
      EXPECT_EQ(out.crc, e.crc());
    }
  }
  host::CloseIfOpen(io);
  EXPECT_EQ(host.ExtraObjects(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Methods, CheckedInArchives, ::testing::Values(0, 1, 2, 3, 4),
                         [](const auto& info) { return "m" + std::to_string(info.param); });

TEST(DecoderCodec, DamagedDataFailsAndKeepsWhatWasDecoded) {
  TestHost host;
  for (int method = 0; method <= 4; ++method) {
    SCOPED_TRACE("method " + std::to_string(method));
    Bytes archive = DataFile("method" + std::to_string(method) + ".arj");
    const auto entries = EntriesOf(archive);
    const auto text = std::find_if(entries.begin(), entries.end(), [](auto& e) { return e.name == "text.txt"; });
    ASSERT_NE(text, entries.end());
    const Bytes source = DataFile("src/mixed/text.txt");

    // The window ends halfway: the input runs out.
    ObjectRef io = MemoryView(host.root(), archive);
    ChainInput cut = InputFor(io, *text);
    cut.packed_size /= 2;
    ChainOutput out = DecodeThroughObjects(host.root(), cut);
    EXPECT_TRUE(Failed(out.result)) << out.result;
    EXPECT_LT(out.count, source.size());
    EXPECT_EQ(out.bytes.size(), out.count) << "flushed on failure too";
    // What came from real input matches; the decoder reads a few zero bits
    // past the end before it knows, and those may add a short tail.
    const size_t agreed = std::mismatch(out.bytes.begin(), out.bytes.end(), source.begin()).first - out.bytes.begin();
    EXPECT_GT(agreed + 1024, out.bytes.size());
    EXPECT_GT(agreed, source.size() / 4);
    host::CloseIfOpen(io);

    if (method == 0) continue;  // stored data has nothing to be impossible
    // Block headers of all ones: tables no encoder makes.
    for (size_t i = 0; i < 64; ++i) archive[text->data_offset + i] = 0xFF;
    io = MemoryView(host.root(), archive);
    out = DecodeThroughObjects(host.root(), InputFor(io, *text));
    EXPECT_TRUE(Failed(out.result)) << out.result;
    EXPECT_LT(out.count, source.size());
    host::CloseIfOpen(io);
  }
}

// The objects a codec is made from, for the tests of its setup.
struct CodecParts {
  explicit CodecParts(TestHost& host) : bytes(ToBytes("stored bytes")) {
    io = MemoryView(host.root(), bytes);
    temp = TempIo(host.root(), 1 << 20);
    EXPECT_EQ(host::CreateObjectQuick(io, &input, IID_STREAM, PID_DEFAULT), RESULT_OK);
    EXPECT_EQ(host::CreateObjectQuick(temp, &output, IID_STREAM, PID_DEFAULT), RESULT_OK);
  }
  ~CodecParts() {
    host::CloseIfOpen(temp);
    host::CloseIfOpen(io);
  }
  ObjectRef Codec(ObjectRef parent, uint32_t pid, uint32_t method, bool with_input, bool with_output) {
    ObjectRef codec = nullptr;
    EXPECT_EQ(host::CreateObject(parent, &codec, IID_CODEC, pid), RESULT_OK);
    EXPECT_EQ(host::SetPropDWord(codec, PROP_CODEC_METHOD, method), RESULT_OK);
    EXPECT_EQ(host::SetPropQWord(codec, PROP_CODEC_UNPACKED_SIZE, bytes.size()), RESULT_OK);
    if (with_input) {
      EXPECT_EQ(host::SetPropObject(codec, PROP_CODEC_INPUT, input), RESULT_OK);
    }
    if (with_output) {
      EXPECT_EQ(host::SetPropObject(codec, PROP_CODEC_OUTPUT, output), RESULT_OK);
    }
    return codec;
  }
  Bytes bytes;
  ObjectRef io = nullptr, temp = nullptr, input = nullptr, output = nullptr;
};

TEST(DecoderCodec, CreationChecksTheStreamsAndTheMethod) {
  TestHost host;
  CodecParts parts(host);
  const struct {
    uint32_t pid, method;
    bool input, output;
    ResultCode expected;
  } cases[] = {
      {PID_STORE_DECODER, 0, true, true, RESULT_OK},          {PID_STORE_DECODER, 0, false, true, ERR_NOT_INITIALIZED},
      {PID_STORE_DECODER, 0, true, false, ERR_NOT_INITIALIZED}, {PID_STORE_DECODER, 1, true, true, ERR_UNSUPPORTED},
      {PID_ARJ_DECODER, 0, true, true, ERR_UNSUPPORTED},      {PID_ARJ_DECODER, 1, true, true, RESULT_OK},
      {PID_ARJ_DECODER, 4, true, true, RESULT_OK},            {PID_ARJ_DECODER, 5, true, true, ERR_UNSUPPORTED},
  };
  for (const auto& c : cases) {
    ObjectRef codec = parts.Codec(host.root(), c.pid, c.method, c.input, c.output);
    EXPECT_EQ(host::CreateObjectDone(codec), c.expected) << c.pid << " method " << c.method;
    if (Failed(c.expected)) {
      uint64_t count = 7;
      EXPECT_EQ(host::Codec(codec).Process(codec, &count), ERR_NOT_INITIALIZED);
      EXPECT_EQ(count, 0u);
    }
    host::CloseIfOpen(codec);
  }
  // Something other than a stream as input.
  ObjectRef codec = parts.Codec(host.root(), PID_STORE_DECODER, 0, false, true);
  EXPECT_EQ(host::SetPropObject(codec, PROP_CODEC_INPUT, parts.io), RESULT_OK);
  EXPECT_EQ(host::CreateObjectDone(codec), ERR_NOT_INITIALIZED);
  host::CloseIfOpen(codec);
}

TEST(DecoderCodec, ProcessFlushesAndReportsTheCrcAndItsOwnFailures) {
  TestHost host;
  {
    CodecParts parts(host);
    ObjectRef codec = parts.Codec(host.root(), PID_STORE_DECODER, 0, true, true);
    ASSERT_EQ(host::CreateObjectDone(codec), RESULT_OK);
    uint64_t count = 0;
    EXPECT_EQ(host::Codec(codec).Process(codec, &count), RESULT_OK);
    EXPECT_EQ(count, parts.bytes.size());
    EXPECT_EQ(ReadAll(parts.temp), parts.bytes) << "in the I/O before the output stream closes";
    EXPECT_EQ(host::GetPropDWord(codec, arjrt::PROP_CODEC_OUTPUT_CRC), Crc32Of("stored bytes"));
    // The streams are not the codec's: once they close, Process has nothing to work on.
    host::CloseIfOpen(parts.output);
    EXPECT_EQ(host::Codec(codec).Process(codec, &count), ERR_NOT_INITIALIZED);
    host::CloseIfOpen(codec);
  }
  {
    // An output that refuses writes: the failure surfaces from Process, at
    // the latest when the buffered bytes are flushed.
    CodecParts parts(host);
    ObjectRef readonly = MemoryView(host.root(), parts.bytes);
    ObjectRef refusing = nullptr;
    ASSERT_EQ(host::CreateObjectQuick(readonly, &refusing, IID_STREAM, PID_DEFAULT), RESULT_OK);
    ObjectRef codec = parts.Codec(host.root(), PID_STORE_DECODER, 0, true, false);
    EXPECT_EQ(host::SetPropObject(codec, PROP_CODEC_OUTPUT, refusing), RESULT_OK);
    ASSERT_EQ(host::CreateObjectDone(codec), RESULT_OK);
    uint64_t count = 0;
    EXPECT_EQ(host::Codec(codec).Process(codec, &count), ERR_ACCESS_DENIED);
    host::CloseIfOpen(codec);
    host::CloseIfOpen(readonly);
  }
  EXPECT_EQ(host.ExtraObjects(), 0u);
}

}  // namespace
