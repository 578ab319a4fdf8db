#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "plugin/format/crc32.h"
#include "runtime/services/services.h"
#include "tests/support/archive_parser.h"
#include "tests/support/bytes.h"
#include "tests/support/decode_chain.h"
#include "tests/support/io_objects.h"
#include "tests/support/peers.h"
#include "tests/support/sample_data.h"
#include "tests/support/test_host.h"

namespace {

using namespace testing_support;

Bytes Garbled(const Bytes& plain, const Bytes& key) {
  Bytes out = plain;
  for (size_t j = 0; j < out.size(); ++j) out[j] ^= key[j % key.size()];
  return out;
}

ObjectRef GarbleIo(ObjectRef parent, ObjectRef base, const Bytes& key) {
  ObjectRef io = nullptr;
  EXPECT_EQ(host::CreateObject(parent, &io, IID_BLOCK_IO, PID_GARBLE_IO), RESULT_OK);
  EXPECT_EQ(host::SetPropObject(io, PROP_GARBLE_BASE, base), RESULT_OK);
  EXPECT_EQ(host::SetPropBuffer(io, PROP_GARBLE_KEY, key.data(), static_cast<uint32_t>(key.size())), RESULT_OK);
  EXPECT_EQ(host::SetPropDWord(io, PROP_GARBLE_KEY_LENGTH, static_cast<uint32_t>(key.size())), RESULT_OK);
  EXPECT_EQ(host::CreateObjectDone(io), RESULT_OK);
  return io;
}

Bytes Plain(size_t size) {
  Bytes b(size);
  for (size_t i = 0; i < size; ++i) b[i] = static_cast<uint8_t>(i * 7 + i / 251);
  return b;
}

TEST(GarbleIo, RemovesTheKeyAtEveryOffsetAndReadSize) {
  TestHost host;
  const Bytes plain = Plain(3000);
  const Bytes key = {0x11, 0x00, 0xFE, 0x42, 0x00, 0x99, 0x07};  // zeros inside the key count
  const Bytes garbled = Garbled(plain, key);
  ObjectRef base = MemoryView(host.root(), garbled);
  ObjectRef io = GarbleIo(host.root(), base, key);
  EXPECT_EQ(ReadAll(io), plain);
  uint64_t size = 0;
  EXPECT_EQ(host::Io(io).GetSize(io, &size, 0), RESULT_OK);
  EXPECT_EQ(size, plain.size());
  // The key position follows the offset of each read, not the reads made so far.
  for (uint64_t offset : {0u, 1u, 6u, 7u, 13u, 2999u, 1234u})
    for (uint32_t n : {1u, 5u, 8u, 700u}) {
      Bytes got(n);
      uint32_t count = 0;
      const ResultCode r = host::Io(io).SeekRead(io, &count, offset, got.data(), n);
      const uint64_t expected = std::min<uint64_t>(n, plain.size() - offset);
      ASSERT_EQ(count, expected);
      EXPECT_EQ(r, expected == n ? RESULT_OK : WARN_SHORT_READ);
      EXPECT_TRUE(std::equal(got.begin(), got.begin() + count, plain.begin() + offset)) << offset << "+" << n;
    }
  uint8_t byte = 0;
  uint32_t count = 0;
  EXPECT_EQ(host::Io(io).SeekRead(io, &count, 3000, &byte, 1), ERR_END_OF_DATA);
  EXPECT_EQ(host::Io(io).SeekWrite(io, &count, 0, &byte, 1), ERR_ACCESS_DENIED);
  host::CloseIfOpen(io);
  host::CloseIfOpen(base);
}

TEST(GarbleIo, TakesNewKeysAndBasesAfterCreation) {
  TestHost host;
  const Bytes plain = Plain(500);
  const Bytes first = {1, 2, 3}, second = {0xA0, 0x00, 0x5C, 0x33, 0x10};
  const Bytes garbled_first = Garbled(plain, first), garbled_second = Garbled(plain, second);
  ObjectRef a = MemoryView(host.root(), garbled_first), b = MemoryView(host.root(), garbled_second);
  ObjectRef io = GarbleIo(host.root(), a, first);
  EXPECT_EQ(ReadAll(io), plain);

  // A new part of a split entry: another base and key, then CreateObjectDone again.
  EXPECT_EQ(host::SetPropObject(io, PROP_GARBLE_BASE, b), RESULT_OK);
  EXPECT_EQ(host::SetPropBuffer(io, PROP_GARBLE_KEY, second.data(), 5), RESULT_OK);
  EXPECT_EQ(host::SetPropDWord(io, PROP_GARBLE_KEY_LENGTH, 5), RESULT_OK);
  EXPECT_EQ(host::CreateObjectDone(io), RESULT_OK);
  EXPECT_EQ(ReadAll(io), plain);

  // A length past the key bytes given uses zeros there: those bytes pass unchanged.
  const Bytes short_key = {0xA0};
  EXPECT_EQ(host::SetPropBuffer(io, PROP_GARBLE_KEY, short_key.data(), 1), RESULT_OK);
  EXPECT_EQ(host::SetPropDWord(io, PROP_GARBLE_KEY_LENGTH, 2), RESULT_OK);
  EXPECT_EQ(ReadAll(io), Garbled(garbled_second, {0xA0, 0x00}));

  // Length 0: no garbling at all.
  EXPECT_EQ(host::SetPropDWord(io, PROP_GARBLE_KEY_LENGTH, 0), RESULT_OK);
  EXPECT_EQ(ReadAll(io), garbled_second);

  const Bytes too_long(513, 1);
  EXPECT_EQ(host::SetPropBuffer(io, PROP_GARBLE_KEY, too_long.data(), 513), ERR_BAD_PARAMETER);
  EXPECT_EQ(host::SetPropDWord(io, PROP_GARBLE_KEY_LENGTH, 513), ERR_BAD_PARAMETER);
  const Bytes longest(512, 0x5A);
  EXPECT_EQ(host::SetPropBuffer(io, PROP_GARBLE_KEY, longest.data(), 512), RESULT_OK);
  EXPECT_EQ(ReadAll(io), Garbled(garbled_second, longest));

  host::CloseIfOpen(b);
  uint8_t byte;
  uint32_t count = 0;
  EXPECT_EQ(host::Io(io).SeekRead(io, &count, 0, &byte, 1), ERR_NOT_INITIALIZED) << "its base closed";
  host::CloseIfOpen(io);
  host::CloseIfOpen(a);
}

// ---- The arj peer's garbled archives ----------------------------------------

std::vector<SampleFile> PeerFiles() {
  return {{"text.txt", TextSample(40000, 3)},
          {"pattern.bin", PatternSample(30000, 4)},
          {"tiny.txt", {'h', 'i', '\n'}}};
}

bool KeyHasZero(const std::string& password, uint8_t modifier) {
  for (uint8_t k : GarbleKey(password, modifier))
    if (k == 0) return true;
  return false;
}

// Decodes every entry of a garbled archive image through the objects and
// compares it with the file it came from.
void ExpectEntriesDecode(const Bytes& archive, const std::string& password,
                         const std::vector<SampleFile>& files) {
  TestHost host;
  const ParsedArchive parsed = ParseArchive(archive);
  ASSERT_TRUE(parsed.ended);
  ASSERT_EQ(parsed.entries.size(), files.size());
  ObjectRef io = MemoryView(host.root(), archive);
  for (const ParsedEntry& e : parsed.entries) {
    SCOPED_TRACE(e.name);
    EXPECT_TRUE(e.flags() & 1) << "not garbled";
    const auto file = std::find_if(files.begin(), files.end(), [&](const auto& f) { return f.name == e.name; });
    ASSERT_NE(file, files.end());
    ChainInput in{io, e.data_offset, e.packed.size(), e.method(), e.original_size(),
                  GarbleKey(password, e.garble_modifier())};
    ChainOutput out = DecodeThroughObjects(host.root(), in);
    EXPECT_EQ(out.result, RESULT_OK);
    EXPECT_EQ(out.count, file->bytes.size());
    EXPECT_TRUE(out.bytes == file->bytes) << "content differs";
    EXPECT_EQ(out.crc, e.crc());
  }
  host::CloseIfOpen(io);
}

class GarbledPeerArchives : public ::testing::TestWithParam<int> {};

TEST_P(GarbledPeerArchives, DecodeByteForByte) {
  REQUIRE_PEER("arj");
  const auto files = PeerFiles();
  const std::string password = "secret";
  auto archive = ArchiveWithArj(files, GetParam(), {"-g" + password});
  ASSERT_TRUE(archive.has_value()) << "arj failed";
  ExpectEntriesDecode(*archive, password, files);
}

// The modifier comes from the clock, so the password is chosen after a look
// at the modifier of a probe archive: bytes that make zero key bytes for it
// and for the next few values, in case the clock moves on in between (on
// a loaded machine arj can take seconds to run, so several are covered).
TEST_P(GarbledPeerArchives, DecodeWithAZeroByteInTheKey) {
  REQUIRE_PEER("arj");
  const auto files = PeerFiles();
  for (int attempt = 0; attempt < 20; ++attempt) {
    auto probe = ArchiveWithArj(files, GetParam(), {"-gprobe"});
    ASSERT_TRUE(probe.has_value()) << "arj failed";
    const uint8_t modifier = ParseArchive(*probe).entries.at(0).garble_modifier();
    std::string password = "se";
    for (int ahead = 0; ahead < 8; ++ahead) {
      const auto c = static_cast<char>(static_cast<uint8_t>(0 - modifier - ahead));
      if (c != '\0' && c != '\'') password += c;
    }
    password += "cret";
    auto archive = ArchiveWithArj(files, GetParam(), {"-g" + password});
    ASSERT_TRUE(archive.has_value()) << "arj failed";
    const auto entries = ParseArchive(*archive).entries;
    if (!KeyHasZero(password, entries.at(0).garble_modifier())) continue;
    ExpectEntriesDecode(*archive, password, files);
    return;
  }
  FAIL() << "no archive whose key has a zero byte in 20 attempts";
}

INSTANTIATE_TEST_SUITE_P(Methods, GarbledPeerArchives, ::testing::Values(0, 1, 2, 3, 4),
                         [](const auto& info) { return "m" + std::to_string(info.param); });

}  // namespace
