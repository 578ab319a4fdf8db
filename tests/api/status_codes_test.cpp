// What an embedder is told when a call fails: a code it can act on and a
// message naming the file or entry and the cause, for each kind of failure
// of opening, extracting and rewriting; and no failure told as success.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "plugin/host/host_types.h"
#include "runtime/api/archive.h"
#include "runtime/api/internal/status_of.h"
#include "tests/support/api_status.h"
#include "tests/support/archive_builder.h"
#include "tests/support/bytes.h"
#include "tests/support/files.h"

namespace testing_support {
namespace {

using arjhost::Code;

TEST(StatusCodes, EachCodeHasANameOfItsOwn) {
  std::set<std::string> names;
  for (int c = 0; c <= static_cast<int>(Code::kInternal); ++c) {
    const std::string name = arjhost::CodeName(static_cast<Code>(c));
    EXPECT_NE(name, "unknown code") << c;
    EXPECT_TRUE(names.insert(name).second) << c << ": " << name;
  }
}

// Every failure of the runtime or plug-in is one; its warnings are not.
TEST(StatusCodes, NoFailureOfTheHostReadsAsSuccess) {
  for (ResultCode r : {ERR_UNSUPPORTED, ERR_NO_MEMORY, ERR_BUFFER_TOO_SMALL, ERR_BAD_PARAMETER, ERR_END_OF_DATA,
                       ERR_BAD_VOLUME_NAME, ERR_END_OF_LIST, ERR_NOT_INITIALIZED, ERR_NOT_FOUND, ERR_NO_SOURCE,
                       ERR_CANCELLED, ERR_CORRUPTED, ERR_NOT_RECOGNIZED, ERR_PROPERTY_UNAVAILABLE, ERR_LIMIT_EXCEEDED,
                       ERR_IO, ERR_ACCESS_DENIED, ERR_NOT_HANDLED, ERR_CRC_MISMATCH, ERR_TOO_MANY_OPEN_FILES,
                       ERR_CONTENT_CHANGED, ERR_CONTENT_GREW, ERR_CONTENT_SHRANK, ERR_CONTENT_REPLACED,
                       MakeError(0x8000FFFFu)}) {
    const arjhost::Status status = arjhost::StatusOf(r, "what failed");
    EXPECT_NE(status.code, Code::kOk) << std::hex << r;
    EXPECT_EQ(status.host_result, r);
  }
  for (ResultCode r : {RESULT_OK, WARN_CORRUPTED, WARN_SHORT_READ}) EXPECT_TRUE(arjhost::StatusOf(r, "").ok()) << r;
  EXPECT_EQ(arjhost::ErrnoStatus(0, "x").code, Code::kIoError) << "an unknown cause is still a failure";
}

class Statuses : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(IsOk(host_.LoadPlugin(BuildPath("libarj_plugin.so")))); }

  // `path` opened; the test ends unless it opens.
  std::unique_ptr<arjhost::Archive> Open(const std::string& path) {
    arjhost::OpenResult opened = arjhost::Archive::OpenFile(host_, path, {});
    EXPECT_TRUE(IsOk(opened.status)) << path;
    return std::move(opened.archive);
  }

  arjhost::Host host_;
  TempDir dir_;
};

TEST_F(Statuses, OpeningSaysWhyNot) {
  std::filesystem::create_directory(dir_.File("folder.arj"));
  WriteFile(dir_.File("text.arj"), std::string("plain text, no archive\n"));
  WriteFile(dir_.File("empty.arj"), Bytes{});
  const struct {
    const char* name;
    Code code;
    const char* said;
  } cases[] = {
      {"missing.arj", Code::kNotFound, "missing.arj: cannot be opened: not found"},
      {"folder.arj", Code::kBadArgument, "folder.arj: cannot be opened: is a directory"},
      {"text.arj", Code::kNotAnArchive, "text.arj: not an ARJ archive"},
      {"empty.arj", Code::kNotAnArchive, "empty.arj: not an ARJ archive"},
  };
  for (const auto& c : cases) {
    const arjhost::OpenResult opened = arjhost::Archive::OpenFile(host_, dir_.File(c.name), {});
    EXPECT_EQ(opened.status.code, c.code) << opened.status.message;
    EXPECT_EQ(opened.archive, nullptr);
    EXPECT_NE(opened.status.message.find(c.said), std::string::npos) << opened.status.message;
  }
}

// A volume of a set that is there but no volume ends the set, and says why.
TEST_F(Statuses, AVolumeThatCannotBeReadSaysWhy) {
  for (const char* v : {"split.arj", "split.a02"}) std::filesystem::copy_file(Data(v), dir_.File(v));
  std::filesystem::create_directory(dir_.File("split.a01"));
  const std::unique_ptr<arjhost::Archive> archive = Open(dir_.File("split.arj"));
  ASSERT_NE(archive, nullptr);
  EXPECT_TRUE(archive->state().incomplete);
  ASSERT_EQ(archive->state().unreadable_volumes.size(), 1u);
  const arjhost::UnreadableVolume& unreadable = archive->state().unreadable_volumes[0];
  EXPECT_EQ(unreadable.name, "split.a01");
  EXPECT_EQ(unreadable.status.code, Code::kNotAnArchive);
  EXPECT_EQ(unreadable.status.message, "not a regular file");
}

// Each way an entry fails is told apart: a password to ask for, one to ask
// again, a method this reader lacks, a volume to find, a stop the caller made.
TEST_F(Statuses, ExtractionSaysWhatTheCallerMayDo) {
  HeaderSpec unknown_method = StoredEntry("method9.bin", "data");
  unknown_method.method = 9;
  WriteFile(dir_.File("methods.arj"), Concat({MainHeader(), BuildHeader(unknown_method), EndMarker()}));
  std::filesystem::copy_file(Data("split.arj"), dir_.File("split.arj"));  // its other volumes missing
  const arjhost::PasswordSource wrong = [](const arjhost::EntryInfo&, int attempt, std::string* password) {
    *password = "wrong";
    return attempt == 0;
  };
  const struct {
    const char* label;
    std::string path;
    std::string entry;
    arjhost::PasswordSource passwords;
    bool stop;  // the sink takes nothing
    Code code;
    const char* said;
  } cases[] = {
      {"garbled, no password", Data("garbled.arj"), "", nullptr, false, Code::kPasswordNeeded,
       "garbled, and no password was given"},
      {"garbled, a wrong password", Data("garbled.arj"), "", wrong, false, Code::kWrongPassword,
       "damaged data or wrong password"},
      {"a method past 4", dir_.File("methods.arj"), "method9.bin", nullptr, false, Code::kUnsupported,
       "unsupported method 9"},
      {"the next volume missing", dir_.File("split.arj"), "big.bin", nullptr, false, Code::kVolumeMissing,
       "split.a01, is missing"},
      {"stopped by the sink", Data("method1.arj"), "", nullptr, true, Code::kCancelled, "stopped"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    const std::unique_ptr<arjhost::Archive> archive = Open(c.path);
    ASSERT_NE(archive, nullptr);
    const std::vector<arjhost::EntryInfo> entries = archive->Entries();
    const arjhost::EntryInfo* entry = nullptr;
    for (const arjhost::EntryInfo& e : entries)
      if (entry == nullptr && e.size > 0 && (c.entry.empty() || e.name == c.entry)) entry = &e;
    ASSERT_NE(entry, nullptr);
    const arjhost::ExtractResult result =
        archive->Extract(*entry, [&c](const uint8_t*, size_t) { return !c.stop; }, c.passwords);
    EXPECT_EQ(result.status.code, c.code) << result.status.message;
    EXPECT_NE(result.status.message.find(c.said), std::string::npos) << result.status.message;
    EXPECT_FALSE(result.damaged);
  }
}

// A rewrite refused, or asked for what cannot be, names why and leaves the
// archive as it was.
TEST_F(Statuses, RewritesSayWhyNot) {
  std::filesystem::copy_file(Data("truncated.arj"), dir_.File("damaged.arj"));
  std::filesystem::copy_file(Data("method1.arj"), dir_.File("a.arj"));
  std::filesystem::create_directory(dir_.File("folder"));
  const std::unique_ptr<arjhost::Archive> damaged = Open(dir_.File("damaged.arj"));
  ASSERT_NE(damaged, nullptr);
  EXPECT_EQ(damaged->CheckRewrite({}).code, Code::kRefused);
  const arjhost::Status refused = damaged->Rebuild({}, dir_.File("damaged.arj"));
  EXPECT_EQ(refused.code, Code::kRefused);
  EXPECT_EQ(refused.message.rfind(dir_.File("damaged.arj") + ": a damaged archive is not rewritten", 0), 0u)
      << refused.message;

  const std::unique_ptr<arjhost::Archive> sound = Open(dir_.File("a.arj"));
  ASSERT_NE(sound, nullptr);
  EXPECT_TRUE(IsOk(sound->CheckRewrite({})));
  const struct {
    const char* label;
    arjhost::NewContent added;
    Code code;
    const char* said;
  } cases[] = {
      {"a file that is not there", {dir_.File("none.txt"), "none.txt"}, Code::kNotFound, "none.txt: cannot be read"},
      {"a folder as a file", {dir_.File("folder"), "folder"}, Code::kBadArgument, "folder: not a regular file"},
      {"a name past a header's bound", {Data("method1.arj"), std::string(arjhost::kMaxStoredNameLength + 1, 'n')},
       Code::kBadArgument, "its stored name is too long"},
  };
  const Bytes before = ReadFile(dir_.File("a.arj"));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    arjhost::ChangeSet changes;
    changes.added.push_back(c.added);
    const arjhost::Status written = sound->Rebuild(changes, dir_.File("a.arj"));
    EXPECT_EQ(written.code, c.code) << written.message;
    EXPECT_NE(written.message.find(c.said), std::string::npos) << written.message;
    EXPECT_EQ(ReadFile(dir_.File("a.arj")), before);
  }
}

// An archive is removed only if it is still the file that was opened.
TEST_F(Statuses, RemovingSaysWhyNot) {
  const Bytes bytes = DataFile("method1.arj");
  const arjhost::OpenResult in_memory = arjhost::Archive::OpenMemory(host_, bytes.data(), bytes.size(), {});
  ASSERT_TRUE(IsOk(in_memory.status));
  EXPECT_EQ(in_memory.archive->RemoveFile().code, Code::kBadArgument);

  WriteFile(dir_.File("a.arj"), bytes);
  const std::unique_ptr<arjhost::Archive> changed = Open(dir_.File("a.arj"));
  ASSERT_NE(changed, nullptr);
  Bytes longer = bytes;
  longer.push_back(0);
  WriteFile(dir_.File("a.arj"), longer);
  const arjhost::Status not_removed = changed->RemoveFile();
  EXPECT_EQ(not_removed.code, Code::kChanged) << not_removed.message;
  EXPECT_NE(not_removed.message.find("changed since it was opened"), std::string::npos) << not_removed.message;
  EXPECT_TRUE(std::filesystem::exists(dir_.File("a.arj")));

  const std::unique_ptr<arjhost::Archive> same = Open(dir_.File("a.arj"));
  ASSERT_NE(same, nullptr);
  EXPECT_TRUE(IsOk(same->RemoveFile()));
  EXPECT_FALSE(std::filesystem::exists(dir_.File("a.arj")));
}

}  // namespace
}  // namespace testing_support
