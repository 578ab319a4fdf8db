#include "plugin/access/extraction.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <string>
#include <vector>

#include "plugin/format/arj_layout.h"
#include "runtime/services/services.h"
#include "tests/support/archive_builder.h"
#include "tests/support/archiver_fixture.h"
#include "tests/support/bytes.h"
#include "tests/support/decode_chain.h"
#include "tests/support/files.h"
#include "tests/support/io_objects.h"
#include "tests/support/peers.h"
#include "tests/support/refusing_host.h"
#include "tests/support/sample_data.h"
#include "tests/support/test_host.h"

namespace {

using namespace testing_support;

// Answers password requests from a list, one answer per request; past the
// list's end it repeats the last. `cancel` answers 2 instead.
class Requester {
 public:
  Requester(TestHost& host, std::vector<std::string> answers, bool cancel = false)
      : answers_(std::move(answers)), cancel_(cancel) {
    EXPECT_EQ(host::CreateObjectQuick(host.root(), &object_, IID_TEXT, PID_DEFAULT), RESULT_OK);
    host.runtime().AddMessageHandler(object_, [this](const arjrt::Message& m) -> ResultCode {
      if (m.msg_class != MSG_CLASS_PASSWORD || m.id != MSG_PASSWORD_REQUEST) return ERR_NOT_HANDLED;
      ++requests_;
      if (cancel_) return 2;
      const std::string& pw = answers_.at(std::min(requests_, answers_.size()) - 1);
      return host::Text(m.context).SetFromBuffer(m.context, 0, pw.data(), static_cast<uint32_t>(pw.size()),
                                                 CP_HOST_PATHS, 0);
    });
  }
  ~Requester() { host::CloseIfOpen(object_); }
  ObjectRef object() const { return object_; }
  size_t requests() const { return requests_; }

 private:
  ObjectRef object_ = nullptr;
  std::vector<std::string> answers_;
  bool cancel_;
  size_t requests_ = 0;
};

struct Extracted {
  ResultCode result;
  Bytes bytes;
};

// OpenEntry, and the content of the temporary I/O it hands back (closed
// here again). On failure nothing may have been created, on success nothing
// but the temporary I/O and what hangs under it.
Extracted Extract(TestHost& host, ArchiverFixture& f, uint64_t handle, ObjectRef requester = nullptr) {
  const size_t objects = host.ExtraObjects();
  ObjectRef temp = reinterpret_cast<ObjectRef>(&temp);  // must be overwritten
  Extracted out{host::Archiver(f.archiver()).OpenEntry(f.archiver(), &temp, handle, requester), {}};
  if (Failed(out.result)) {
    EXPECT_EQ(temp, nullptr);
    EXPECT_EQ(host.ExtraObjects(), objects) << "left behind:\n" << host.runtime().DescribeLive();
    return out;
  }
  EXPECT_NE(temp, nullptr);
  if (temp == nullptr) return out;
  out.bytes = ReadAll(temp);
  host::CloseIfOpen(temp);
  EXPECT_EQ(host.ExtraObjects(), objects) << "everything else hangs under the temporary I/O:\n"
                                          << host.runtime().DescribeLive();
  return out;
}

std::string DataPath(const std::string& name) { return SourcePath("tests/data/" + name); }

// ---- Sound archives -----------------------------------------------------------

class MethodArchives : public ::testing::TestWithParam<int> {};

TEST_P(MethodArchives, EveryEntryExtractsAsItsSourceFile) {
  TestHost host;
  ArchiverFixture f(host);
  ASSERT_EQ(f.OpenFile(DataPath("method" + std::to_string(GetParam()) + ".arj")), RESULT_OK);
  const auto handles = f.Handles();
  ASSERT_EQ(handles.size(), 6u);
  for (uint64_t handle : handles) {
    const std::string name = f.Name(handle);
    SCOPED_TRACE(name);
    const Extracted x = Extract(host, f, handle);
    EXPECT_EQ(x.result, RESULT_OK);
    EXPECT_TRUE(x.bytes == DataFile("src/mixed/" + name)) << "content differs";
  }
}

INSTANTIATE_TEST_SUITE_P(Methods, MethodArchives, ::testing::Values(0, 1, 2, 3, 4),
                         [](const auto& info) { return "m" + std::to_string(info.param); });

TEST(Extraction, ASplitEntryJoinsItsThreeVolumes) {
  for (uint32_t scan_all : {1u, 0u}) {
    SCOPED_TRACE("scan_all " + std::to_string(scan_all));
    TestHost host;
    ArchiverFixture f(host);
    ASSERT_EQ(f.OpenFile(DataPath("split.arj"), scan_all), RESULT_OK);
    ASSERT_EQ(f.state().entry_count, 4u);
    const Extracted small = Extract(host, f, 1);
    EXPECT_EQ(small.result, RESULT_OK);
    EXPECT_TRUE(small.bytes == DataFile("src/split/small.txt"));
    const Extracted big = Extract(host, f, 2);
    EXPECT_EQ(big.result, RESULT_OK);
    EXPECT_EQ(big.bytes.size(), DataFile("src/split/big.bin").size());
    EXPECT_TRUE(big.bytes == DataFile("src/split/big.bin")) << "content differs";
    // The continuation parts are no entries of their own.
    EXPECT_EQ(Extract(host, f, 3).result, ERR_UNSUPPORTED);
    EXPECT_EQ(Extract(host, f, 4).result, ERR_UNSUPPORTED);
  }
}

TEST(Extraction, HandlesOutsideTheTableAreBadParameters) {
  TestHost host;
  ArchiverFixture f(host);
  ASSERT_EQ(f.OpenFile(DataPath("method1.arj")), RESULT_OK);
  EXPECT_EQ(Extract(host, f, 0).result, ERR_BAD_PARAMETER);
  EXPECT_EQ(Extract(host, f, 7).result, ERR_BAD_PARAMETER);
  EXPECT_EQ(Extract(host, f, UINT64_MAX).result, ERR_BAD_PARAMETER);
  EXPECT_EQ(Extract(host, f, 6).result, RESULT_OK);
}

TEST(Extraction, DamagedDataAndUnknownMethodsFailWithNothingLeft) {
  TestHost host;
  {
    Bytes archive = DataFile("method1.arj");
    ArchiverFixture probe(host);
    ASSERT_EQ(probe.OpenMemory(archive), RESULT_OK);
    uint64_t handle = 0;
    for (uint64_t h : probe.Handles())
      if (probe.Name(h) == "text.txt") handle = h;
    ASSERT_NE(handle, 0u);
    const uint64_t data = probe.state().entries[handle - 1].data_offset;
    ASSERT_GT(probe.Packed(handle), 64u);
    for (size_t i = 0; i < 64; ++i) archive[data + i] = 0xFF;  // tables no encoder makes
    ArchiverFixture f(host);
    ASSERT_EQ(f.OpenMemory(archive), RESULT_OK);
    const ResultCode r = Extract(host, f, handle).result;
    EXPECT_TRUE(r == ERR_CORRUPTED || r == ERR_END_OF_DATA) << r;
  }
  {
    HeaderSpec fields = StoredEntry("future.bin", "packed some other way");
    fields.method = 7;
    ArchiverFixture f(host);
    ASSERT_EQ(f.OpenMemory(Concat({MainHeader(), BuildHeader(fields), EndMarker()})), RESULT_OK);
    EXPECT_EQ(Extract(host, f, 1).result, ERR_UNSUPPORTED);
  }
}

// ---- A host that does not take a setting -------------------------------------

// A window, codec, temporary I/O or garble object that did not take a
// property would decode other bytes than the entry's: the extraction fails
// with the host's answer and leaves nothing behind.
TEST(Extraction, APropertyTheHostRefusesFailsItCleanly) {
  const struct {
    const char* archive;
    uint64_t handle;
    PropId prop;
    uint32_t after;  // settings that go through first
  } cases[] = {
      {"method1.arj", 1, PROP_WINDOW_OFFSET, 0},
      {"method1.arj", 1, PROP_WINDOW_SIZE, 0},
      {"method1.arj", 1, PROP_WINDOW_BASE, 0},
      {"method1.arj", 1, PROP_CODEC_METHOD, 0},
      {"method1.arj", 1, PROP_CODEC_UNPACKED_SIZE, 0},
      {"method1.arj", 1, PROP_CODEC_OUTPUT, 0},
      {"method1.arj", 1, PROP_CODEC_INPUT, 0},
      {"method1.arj", 1, PROP_ACCESS_MODE, 0},
      {"method1.arj", 1, PROP_OPEN_MODE, 0},
      {"split.arj", 2, PROP_WINDOW_OFFSET, 1},  // the second part's window
      {"split.arj", 2, PROP_CODEC_INPUT, 2},    // the third part's codec
      {"garbled.arj", 1, PROP_GARBLE_BASE, 0},
      {"garbled.arj", 1, PROP_GARBLE_KEY, 0},
      {"garbled.arj", 1, PROP_GARBLE_KEY_LENGTH, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.archive << " property 0x" << std::hex << c.prop << " after " << c.after);
    TestHost host;
    ArchiverFixture f(host);
    ASSERT_EQ(f.OpenFile(DataPath(c.archive), 1), RESULT_OK);
    Requester requester(host, {"secret"});
    RefusingHost refusing(f.archiver());
    refusing.RefuseProperty(c.prop, c.after);
    EXPECT_EQ(Extract(host, f, c.handle, requester.object()).result, kRefused);
    EXPECT_EQ(refusing.refusals(), 1u);
  }
}

// ---- Garbled entries ----------------------------------------------------------

TEST(ExtractionPasswords, TheRightPasswordIsAskedForOnceAndKept) {
  TestHost host;
  ArchiverFixture f(host);
  ASSERT_EQ(f.OpenFile(DataPath("garbled.arj")), RESULT_OK);
  Requester requester(host, {"secret"});
  const Extracted text = Extract(host, f, 1, requester.object());
  EXPECT_EQ(text.result, RESULT_OK);
  EXPECT_TRUE(text.bytes == DataFile("src/mixed/text.txt"));
  EXPECT_EQ(requester.requests(), 1u);
  const Extracted pattern = Extract(host, f, 2, requester.object());
  EXPECT_EQ(pattern.result, RESULT_OK);
  EXPECT_TRUE(pattern.bytes == DataFile("src/mixed/pattern.bin"));
  EXPECT_EQ(requester.requests(), 1u) << "the stored password serves the second entry";
}

TEST(ExtractionPasswords, AWrongPasswordIsAskedAgain) {
  TestHost host;
  ArchiverFixture f(host);
  ASSERT_EQ(f.OpenFile(DataPath("garbled.arj")), RESULT_OK);
  Requester requester(host, {"wrong", "secret"});
  const Extracted x = Extract(host, f, 2, requester.object());
  EXPECT_EQ(x.result, RESULT_OK);
  EXPECT_TRUE(x.bytes == DataFile("src/mixed/pattern.bin"));
  EXPECT_EQ(requester.requests(), 2u);
}

TEST(ExtractionPasswords, CancellingOrRepeatingTheWrongPasswordEnds) {
  TestHost host;
  {
    ArchiverFixture f(host);
    ASSERT_EQ(f.OpenFile(DataPath("garbled.arj")), RESULT_OK);
    Requester cancels(host, {}, true);
    EXPECT_EQ(Extract(host, f, 1, cancels.object()).result, ERR_CANCELLED);
    EXPECT_EQ(cancels.requests(), 1u);
  }
  {
    ArchiverFixture f(host);
    ASSERT_EQ(f.OpenFile(DataPath("garbled.arj")), RESULT_OK);
    Requester repeats(host, {"wrong"});
    EXPECT_EQ(Extract(host, f, 1, repeats.object()).result, ERR_CANCELLED);
    EXPECT_EQ(repeats.requests(), 2u) << "one retry, then the same answer ends it";
  }
  {
    ArchiverFixture f(host);
    ASSERT_EQ(f.OpenFile(DataPath("garbled.arj")), RESULT_OK);
    EXPECT_EQ(Extract(host, f, 1, nullptr).result, ERR_BAD_PARAMETER);
  }
}

TEST(ExtractionPasswords, RequestsAreBounded) {
  TestHost host;
  ArchiverFixture f(host);
  ASSERT_EQ(f.OpenFile(DataPath("garbled.arj")), RESULT_OK);
  std::vector<std::string> answers;
  for (int i = 0; i < 40; ++i) answers.push_back("wrong" + std::to_string(i));
  Requester requester(host, answers);
  EXPECT_EQ(Extract(host, f, 1, requester.object()).result, ERR_CANCELLED);
  EXPECT_EQ(requester.requests(), size_t{kMaxPasswordAttempts});
}

// ---- Built archives: data at the volume's end and broken chains ---------------

constexpr uint8_t kMainVolumeFlag = 0x04;

HeaderSpec Part(const std::string& content, uint8_t flags) {
  HeaderSpec fields = StoredEntry("big.bin", content, flags);
  return fields;
}

TEST(Extraction, DataMustLieInsideItsVolume) {
  TestHost host;
  const std::string content = "the last entry's data";
  // No end marker: the data ends exactly where the volume does.
  const Bytes exact = Concat({MainHeader(), BuildHeader(StoredEntry("first.txt", "one")),
                              BuildHeader(StoredEntry("last.txt", content))});
  {
    ArchiverFixture f(host);
    ASSERT_FALSE(Failed(f.OpenMemory(exact)));
    const Extracted x = Extract(host, f, 2);
    EXPECT_EQ(x.result, RESULT_OK);
    EXPECT_EQ(x.bytes, ToBytes(content));
  }
  {
    // The header claims one byte more than the volume holds.
    HeaderSpec fields = StoredEntry("last.txt", content);
    fields.packed_override = static_cast<int64_t>(content.size()) + 1;
    const Bytes past = Concat({MainHeader(), BuildHeader(StoredEntry("first.txt", "one")), BuildHeader(fields)});
    ASSERT_EQ(past.size(), exact.size());
    ArchiverFixture f(host);
    ASSERT_FALSE(Failed(f.OpenMemory(past)));
    ASSERT_EQ(f.state().entry_count, 2u);
    EXPECT_EQ(Extract(host, f, 2).result, ERR_CORRUPTED);
    EXPECT_EQ(Extract(host, f, 1).result, RESULT_OK) << "the entry before it is sound";
  }
}

// Writes a volume set test.arj, test.a01, ... with one volume per entry list.
std::string WriteVolumes(const TempDir& dir, const std::vector<std::vector<HeaderSpec>>& volumes) {
  for (size_t v = 0; v < volumes.size(); ++v) {
    std::vector<Bytes> parts = {MainHeader("test.arj", v + 1 < volumes.size() ? kMainVolumeFlag : 0)};
    for (const HeaderSpec& fields : volumes[v]) parts.push_back(BuildHeader(fields));
    parts.push_back(EndMarker());
    char suffix[8];
    std::snprintf(suffix, sizeof suffix, v == 0 ? "arj" : "a%02zu", v);
    WriteFile(dir.File(std::string("test.") + suffix), Concat(parts));
  }
  return dir.File("test.arj");
}

TEST(Extraction, ABrokenChainOfPartsIsCorruptAndCreatesNothing) {
  const std::string first = "the first part, ", second = "and the second";
  const struct {
    const char* what;
    std::vector<std::vector<HeaderSpec>> volumes;
    ResultCode expected;
  } cases[] = {
      {"sound", {{Part(first, Bit(EntryFlag::kContinuesInNext))}, {Part(second, Bit(EntryFlag::kContinuesPrevious))}}, RESULT_OK},
      {"continuation without its flag", {{Part(first, Bit(EntryFlag::kContinuesInNext))}, {Part(second, 0)}}, ERR_CORRUPTED},
      {"continuation in the same volume",
       {{Part(first, Bit(EntryFlag::kContinuesInNext)), Part(second, Bit(EntryFlag::kContinuesPrevious))}, {StoredEntry("other", "x")}},
       ERR_CORRUPTED},
      {"continuation two volumes on",
       {{Part(first, Bit(EntryFlag::kContinuesInNext))}, {}, {Part(second, Bit(EntryFlag::kContinuesPrevious))}},
       ERR_CORRUPTED},
      {"only the first part garbled",
       {{Part(first, Bit(EntryFlag::kContinuesInNext) | Bit(EntryFlag::kGarbled))}, {Part(second, Bit(EntryFlag::kContinuesPrevious))}},
       ERR_CORRUPTED},
      {"only the continuation garbled",
       {{Part(first, Bit(EntryFlag::kContinuesInNext))}, {Part(second, Bit(EntryFlag::kContinuesPrevious) | Bit(EntryFlag::kGarbled))}},
       ERR_CORRUPTED},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TestHost host;
    TempDir dir;
    const std::string path = WriteVolumes(dir, c.volumes);
    ArchiverFixture f(host);
    ASSERT_FALSE(Failed(f.OpenFile(path, 1)));
    ASSERT_GE(f.state().entry_count, 2u);
    Requester requester(host, {"any"});
    const Extracted x = Extract(host, f, 1, requester.object());
    EXPECT_EQ(x.result, c.expected);
    if (!Failed(c.expected)) {
      EXPECT_EQ(x.bytes, ToBytes(first + second));
    }
    EXPECT_EQ(requester.requests(), 0u);
  }
}

// Each part of a garbled split entry has its own modifier, and its key
// starts again at the part's first byte. 0x8D + 's' makes zero key bytes.
TEST(ExtractionPasswords, EachPartOfASplitEntryHasItsOwnKey) {
  const std::string password = "secrets";
  const std::string parts[] = {"first part, eleven", "second part", "and the third"};
  const uint8_t modifiers[] = {0x11, 0x8D, 0x73};
  std::vector<std::vector<HeaderSpec>> volumes;
  for (int i = 0; i < 3; ++i) {
    const uint8_t flags = Bit(EntryFlag::kGarbled) | (i < 2 ? Bit(EntryFlag::kContinuesInNext) : 0) | (i > 0 ? Bit(EntryFlag::kContinuesPrevious) : 0);
    HeaderSpec fields = Part(parts[i], flags);
    fields.garble_modifier = modifiers[i];
    const Bytes key = GarbleKey(password, modifiers[i]);
    for (size_t j = 0; j < fields.data.size(); ++j) fields.data[j] ^= key[j % key.size()];
    volumes.push_back({fields});
  }
  TestHost host;
  TempDir dir;
  ArchiverFixture f(host);
  ASSERT_FALSE(Failed(f.OpenFile(WriteVolumes(dir, volumes), 1)));
  Requester requester(host, {password});
  const Extracted x = Extract(host, f, 1, requester.object());
  EXPECT_EQ(x.result, RESULT_OK);
  EXPECT_EQ(x.bytes, ToBytes(parts[0] + parts[1] + parts[2]));
  EXPECT_EQ(requester.requests(), 1u);
}

// The arj peer's garbled volume sets, packed and stored.
TEST(ExtractionPeer, GarbledVolumeSetsExtract) {
  REQUIRE_PEER("arj");
  const Bytes big = RandomSample(30000, 9);
  const Bytes text = TextSample(5000, 2);
  for (int method : {0, 1, 4}) {
    SCOPED_TRACE("method " + std::to_string(method));
    TempDir dir;
    ASSERT_EQ(mkdir(dir.File("src").c_str(), 0700), 0);
    WriteFile(dir.File("src/big.bin"), big);
    WriteFile(dir.File("src/text.txt"), text);
    std::string output;
    ASSERT_LE(RunArj(dir.File("src"), "a -m" + std::to_string(method) + " -v12k -gsecrets ../set.arj '*'", &output), 1)
        << output;
    TestHost host;
    ArchiverFixture f(host);
    ASSERT_FALSE(Failed(f.OpenFile(dir.File("set.arj"), 1)));
    EXPECT_GE(f.state().volume_count, 3u);
    Requester requester(host, {"secrets"});
    size_t matched = 0;
    for (uint64_t handle : f.Handles()) {
      const std::string name = f.Name(handle);
      const Extracted x = Extract(host, f, handle, requester.object());
      EXPECT_EQ(x.result, RESULT_OK) << name;
      EXPECT_TRUE(x.bytes == (name == "big.bin" ? big : text)) << name;
      ++matched;
    }
    EXPECT_EQ(matched, 2u);
    EXPECT_EQ(requester.requests(), 1u);
  }
}

}  // namespace
