// The native file system and its source: siblings opened by name, names
// that would leave the directory refused, and files closed with their
// file system.
#include <gtest/gtest.h>

#include <string>

#include "runtime/services/services.h"
#include "tests/support/files.h"
#include "tests/support/io_objects.h"
#include "tests/support/test_host.h"

namespace {

using namespace testing_support;

class NativeFsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFile(dir_.File("data.arj"), "first volume");
    WriteFile(dir_.File("data.a01"), "second volume");
    // The embedder's chain: root -> source -> archive file.
    ASSERT_EQ(host::CreateObjectQuick(host_.root(), &source_, IID_FS_SOURCE, 0), RESULT_OK);
    ASSERT_EQ(OpenNativeFile(source_, &archive_, dir_.File("data.arj")), RESULT_OK);
  }
  void TearDown() override { host::CloseIfOpen(source_); }

  ObjectRef FileSystemOfArchive() {
    ObjectRef fs = nullptr;
    EXPECT_EQ(host::FsSource(source_).GetFileSystem(source_, &fs, archive_), RESULT_OK);
    return fs;
  }
  ResultCode Open(ObjectRef fs, const std::string& name, ObjectRef* io) {
    ObjectRef text = MakeText(host_.root(), name);
    ResultCode result = host::FileSystem(fs).OpenByName(fs, io, text, ACCESS_READ, OPEN_EXISTING);
    host::CloseIfOpen(text);
    return result;
  }
  static std::string Contents(ObjectRef io) {
    char buffer[64];
    uint32_t count = 0;
    IgnoreResult(host::Io(io).SeekRead(io, &count, 0, buffer, sizeof buffer));  // short files: the count tells
    return std::string(buffer, count);
  }

  TempDir dir_;
  TestHost host_;
  ObjectRef source_ = nullptr;
  ObjectRef archive_ = nullptr;
};

TEST_F(NativeFsTest, TheSourceOpensSiblingsOfTheArchive) {
  EXPECT_EQ(host::FindAncestor(archive_, IID_FS_SOURCE), source_);
  ObjectRef fs = FileSystemOfArchive();
  ASSERT_NE(fs, nullptr);
  EXPECT_EQ(fs->system->GetParent(fs), host_.root()) << "it belongs to whoever asked, not to the source";
  EXPECT_EQ(StringProperty(fs, PROP_OBJECT_PATH), dir_.path());

  ObjectRef volume = nullptr;
  ASSERT_EQ(Open(fs, "data.a01", &volume), RESULT_OK);
  EXPECT_EQ(volume->system->GetParent(volume), fs) << "opened files belong to the file system";
  EXPECT_EQ(Contents(volume), "second volume");
  EXPECT_EQ(StringProperty(volume, PROP_OBJECT_NAME), "data.a01");

  volume = reinterpret_cast<ObjectRef>(1);
  EXPECT_EQ(Open(fs, "data.a02", &volume), ERR_NOT_FOUND);
  EXPECT_EQ(volume, nullptr);
  host::CloseIfOpen(fs);
}

TEST_F(NativeFsTest, NamesOutsideTheDirectoryAreRefused) {
  ObjectRef fs = FileSystemOfArchive();
  for (const char* name : {"../x", "a/b", "/etc/passwd", "", ".", "..", "data.a01/"}) {
    ObjectRef io = reinterpret_cast<ObjectRef>(1);
    EXPECT_EQ(Open(fs, name, &io), ERR_BAD_PARAMETER) << '"' << name << '"';
    EXPECT_EQ(io, nullptr);
  }
  ObjectRef io = nullptr;
  EXPECT_EQ(host::FileSystem(fs).OpenByName(fs, &io, archive_, ACCESS_READ, OPEN_EXISTING), ERR_BAD_PARAMETER)
      << "not a text object";
  host::CloseIfOpen(fs);
}

TEST_F(NativeFsTest, BindingNeedsANativeFile) {
  ObjectRef fs = nullptr;
  ASSERT_EQ(host::CreateObjectQuick(host_.root(), &fs, IID_FILE_SYSTEM, PID_NATIVE_FS), RESULT_OK);
  ObjectRef io = reinterpret_cast<ObjectRef>(1);
  EXPECT_EQ(Open(fs, "data.a01", &io), ERR_NOT_INITIALIZED);
  EXPECT_EQ(io, nullptr);

  ObjectRef memory = MakeMemoryIo(host_.root(), "x");
  EXPECT_EQ(host::FileSystem(fs).BindToObject(fs, memory), ERR_UNSUPPORTED);
  EXPECT_EQ(host::FileSystem(fs).BindToObject(fs, nullptr), ERR_UNSUPPORTED);
  EXPECT_EQ(StringProperty(fs, PROP_OBJECT_PATH), "") << "a refused binding changes nothing";
  ObjectRef other = reinterpret_cast<ObjectRef>(1);
  EXPECT_EQ(host::FsSource(source_).GetFileSystem(source_, &other, memory), ERR_UNSUPPORTED);
  EXPECT_EQ(other, nullptr);
  host::CloseIfOpen(memory);

  EXPECT_EQ(host::FileSystem(fs).BindToObject(fs, archive_), RESULT_OK);
  ASSERT_EQ(Open(fs, "data.a01", &io), RESULT_OK);
  EXPECT_EQ(Contents(io), "second volume");

  // Embedders may bind by the directory itself.
  ObjectRef direct = nullptr;
  ASSERT_EQ(host::CreateObject(host_.root(), &direct, IID_FILE_SYSTEM, PID_NATIVE_FS), RESULT_OK);
  ASSERT_EQ(host::SetPropBuffer(direct, PROP_OBJECT_PATH, dir_.path().data(), dir_.path().size()), RESULT_OK);
  ASSERT_EQ(host::CreateObjectDone(direct), RESULT_OK);
  ASSERT_EQ(Open(direct, "data.arj", &io), RESULT_OK);
  EXPECT_EQ(Contents(io), "first volume");
  host::CloseIfOpen(direct);
  host::CloseIfOpen(fs);
}

TEST_F(NativeFsTest, ClonesShareTheDirectoryAndFilesCloseWithTheirFileSystem) {
  const size_t before = host_.ExtraObjects();
  ObjectRef fs = FileSystemOfArchive();
  ObjectRef clone = nullptr;
  ASSERT_EQ(host::FileSystem(fs).Clone(fs, &clone), RESULT_OK);
  EXPECT_EQ(clone->system->GetParent(clone), host_.root()) << "a clone outlives the file system it came from";
  EXPECT_EQ(StringProperty(clone, PROP_OBJECT_PATH), dir_.path());
  ObjectRef a = nullptr, b = nullptr, c = nullptr;
  ASSERT_EQ(Open(clone, "data.a01", &a), RESULT_OK);
  ASSERT_EQ(Open(fs, "data.arj", &b), RESULT_OK);
  ASSERT_EQ(Open(clone, "data.arj", &c), RESULT_OK);
  EXPECT_EQ(Contents(a), "second volume");
  EXPECT_EQ(host_.ExtraObjects(), before + 5);
  host::CloseIfOpen(fs);
  EXPECT_EQ(host_.ExtraObjects(), before + 3) << "the clone and its file stay";
  host::CloseIfOpen(clone);
  EXPECT_EQ(host_.ExtraObjects(), before) << host_.runtime().DescribeLive();

  ObjectRef unbound = nullptr, unbound_clone = nullptr;
  ASSERT_EQ(host::CreateObjectQuick(host_.root(), &unbound, IID_FILE_SYSTEM, PID_NATIVE_FS), RESULT_OK);
  ASSERT_EQ(host::FileSystem(unbound).Clone(unbound, &unbound_clone), RESULT_OK);
  EXPECT_EQ(Open(unbound_clone, "data.arj", &a), ERR_NOT_INITIALIZED);
  host::CloseIfOpen(unbound_clone);
  host::CloseIfOpen(unbound);
}

}  // namespace
