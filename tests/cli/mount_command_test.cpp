// arjhost mount through FUSE as a user runs it: the mounted tree against
// what extract writes, a damaged entry among sound ones, random reads of a
// large entry, and what an unmount leaves (no process, no temporary file).
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <map>
#include <random>
#include <thread>

#include "tests/support/archive_builder.h"
#include "tests/support/bytes.h"
#include "tests/support/commands.h"
#include "tests/support/files.h"
#include "tests/support/peers.h"
#include "tests/support/tool_mount.h"
#include "tests/support/tool_runner.h"

namespace {

using namespace testing_support;
namespace fs = std::filesystem;

// What a tree holds, path by path (below its root): kind, mode, time,
// bytes or link target, and the first path of the same file (hard links).
struct Item {
  char kind = '?';
  mode_t mode = 0;
  int64_t time = 0;
  std::string data;
  std::string same_as;
  bool operator==(const Item& o) const {
    return kind == o.kind && mode == o.mode && time == o.time && data == o.data && same_as == o.same_as;
  }
};

std::ostream& operator<<(std::ostream& out, const Item& i) {
  return out << i.kind << " " << std::oct << i.mode << std::dec << " t=" << i.time << " " << i.data.size()
             << " bytes, same as '" << i.same_as << "'";
}

// `folder_times`: compare the times of folders too (those an entry stores;
// extract stamps the others when it makes them, the mount when it is made).
std::map<std::string, Item> Snapshot(const std::string& root, bool folder_times) {
  std::map<std::string, Item> items;
  std::map<std::pair<dev_t, ino_t>, std::string> first;
  std::vector<std::string> paths;
  for (const auto& e : fs::recursive_directory_iterator(root)) paths.push_back(e.path().lexically_relative(root).string());
  std::sort(paths.begin(), paths.end());
  for (const std::string& p : paths) {
    const std::string full = root + "/" + p;
    struct stat st;
    if (lstat(full.c_str(), &st) != 0) {
      ADD_FAILURE() << full;
      continue;
    }
    Item item;
    item.mode = st.st_mode & 07777;
    item.time = st.st_mtime;
    if (S_ISDIR(st.st_mode)) {
      item.kind = 'd';
      // A folder no entry stores takes the time it was made, by extract
      // or by the mount, seconds apart under load: "recent" is its time.
      if (!folder_times) item.time = 0;
      else if (item.time > ::time(nullptr) - 3600) item.time = 1;
    } else if (S_ISLNK(st.st_mode)) {
      item.kind = 'l';
      item.data = fs::read_symlink(full).string();
    } else {
      item.kind = 'f';
      item.data = AsString(ReadFile(full));
      const auto [at, fresh] = first.emplace(std::make_pair(st.st_dev, st.st_ino), p);
      if (!fresh) item.same_as = at->second;
    }
    items[p] = item;
  }
  return items;
}

// Mounts `archive` with `args` and checks the tree against what extract
// writes with `extract_args`, then unmounts: extract's exit code, nothing left.
void ExpectMountedAsExtracted(const std::string& archive, const std::string& args, const std::string& extract_args,
                              bool folder_times = false) {
  TempDir dir;
  fs::create_directories(dir.File("mnt"));
  fs::create_directories(dir.File("tmp"));
  std::string log;
  const int extracted_code = RunTool("extract " + Quote(archive) + " -C " + Quote(dir.File("out")) + " " + extract_args, &log);
  ASSERT_LE(extracted_code, 1) << log;
  ToolMount mount(archive, dir.File("mnt"), args, dir.File("tmp"));
  ASSERT_TRUE(mount.mounted()) << archive << "\n" << mount.Errors();
  const std::map<std::string, Item> mounted = Snapshot(dir.File("mnt"), folder_times);
  const std::map<std::string, Item> extracted = Snapshot(dir.File("out"), folder_times);
  EXPECT_FALSE(extracted.empty()) << archive;
  EXPECT_EQ(mounted, extracted) << archive;
  // The same verdict: 1 when entries are left out or the archive is damaged.
  EXPECT_EQ(mount.Unmount(), extracted_code) << mount.Errors();
  EXPECT_FALSE(mount.mounted());
  EXPECT_TRUE(fs::is_empty(dir.File("tmp"))) << "a temporary file was left";
}

TEST(MountCommand, TheTreeIsWhatExtractWrites) {
  REQUIRE_FUSE();
  ExpectMountedAsExtracted(Data("method1.arj"), "", "");
  ExpectMountedAsExtracted(Data("method4.arj"), "--cache 4K", "");  // the larger entries spilled
  // Any volume of a set mounts the whole set.
  ExpectMountedAsExtracted(Data("split.a01"), "", "");
  ExpectMountedAsExtracted(Data("garbled.arj"), "-p secret", "-p secret");
  TempDir keys;
  WriteFile(keys.File("key"), std::string("secret\n"));
  ExpectMountedAsExtracted(Data("garbled.arj"), "--password-file " + keys.File("key"), "-p secret");
  ExpectMountedAsExtracted(Data("unsafe.arj"), "", "");  // what extract refuses is left out
}

TEST(MountCommand, ATerminalIsAskedOnceForThePassword) {
  REQUIRE_FUSE();
  TempDir dir;
  fs::create_directories(dir.File("mnt"));
  std::string shown;
  ASSERT_EQ(RunToolOnTerminal(dir.path(), "mount " + Data("garbled.arj") + " mnt",
                              {{"Password for the garbled entries of ", "secret"}}, &shown),
            0)
      << shown;
  EXPECT_EQ(shown.find("Password"), shown.rfind("Password")) << shown;  // once, for both entries
  EXPECT_TRUE(IsMountPoint(dir.File("mnt")));
  EXPECT_EQ(ReadFile(dir.File("mnt/text.txt")), DataFile("src/mixed/text.txt"));
  EXPECT_EQ(ReadFile(dir.File("mnt/pattern.bin")), DataFile("src/mixed/pattern.bin"));
  EXPECT_EQ(RunCommand("fusermount3 -u " + Quote(dir.File("mnt"))), 0);
}

TEST(MountCommand, LinksFoldersAndChaptersAreWhatExtractWrites) {
  REQUIRE_FUSE();
  REQUIRE_PEER("arj");
  TempDir dir;
  const std::string src = dir.File("src");
  fs::create_directories(src + "/sub/deeper");
  WriteFile(src + "/f.txt", std::string("hello\n"));
  WriteFile(src + "/sub/deeper/g.txt", std::string("deep\n"));
  chmod((src + "/f.txt").c_str(), 0640);
  chmod((src + "/sub").c_str(), 0750);
  ASSERT_EQ(link((src + "/f.txt").c_str(), (src + "/sub/hard.txt").c_str()), 0);
  ASSERT_EQ(symlink("f.txt", (src + "/link").c_str()), 0);
  ASSERT_EQ(symlink("../f.txt", (src + "/sub/up").c_str()), 0);
  // Stored folder times an hour and more ago, told apart from made ones.
  const timespec stored[2] = {{1600000000, 0}, {1600000000, 0}};
  for (const char* folder : {"/sub/deeper", "/sub"}) ASSERT_EQ(utimensat(AT_FDCWD, (src + folder).c_str(), stored, 0), 0);
  ASSERT_EQ(RunArj(src, "a -r -a1 ../links.arj *"), 0);
  ExpectMountedAsExtracted(dir.File("links.arj"), "", "", true);

  // Three chapters, each adding to the one before.
  for (int chapter = 1; chapter <= 3; ++chapter) {
    WriteFile(src + "/c" + std::to_string(chapter) + ".txt", std::string(chapter * 100, 'a' + chapter));
    WriteFile(src + "/f.txt", "version " + std::to_string(chapter));
    ASSERT_EQ(RunArj(src, "ac ../chapters.arj f.txt c" + std::to_string(chapter) + ".txt"), 0);
  }
  ExpectMountedAsExtracted(dir.File("chapters.arj"), "", "");
  ExpectMountedAsExtracted(dir.File("chapters.arj"), "--chapter 1", "--chapter 1");
}

TEST(MountCommand, ADamagedEntryIsAnIoErrorWhileItsNeighboursRead) {
  REQUIRE_FUSE();
  HeaderSpec bad = StoredEntry("bad.txt", "damaged bytes");
  bad.file_crc ^= 1;
  // Empty as its header says, with packed data: no read would find it.
  HeaderSpec empty = StoredEntry("empty.txt", "data");
  empty.original_size = 0;
  TempDir dir;
  WriteFile(dir.File("bad.arj"), Concat({MainHeader(), BuildHeader(StoredEntry("before.txt", "first")), BuildHeader(bad),
                                         BuildHeader(empty), BuildHeader(StoredEntry("after.txt", "last")), EndMarker()}));
  std::string tested;
  EXPECT_EQ(RunTool("test " + dir.File("bad.arj"), &tested), 1);
  EXPECT_NE(tested.find("empty.txt: "), std::string::npos) << tested;
  fs::create_directories(dir.File("mnt"));
  fs::create_directories(dir.File("tmp"));
  ToolMount mount(dir.File("bad.arj"), dir.File("mnt"), "", dir.File("tmp"));
  ASSERT_TRUE(mount.mounted()) << mount.Errors();
  // Listed without decoding: its size is the header's.
  struct stat st;
  ASSERT_EQ(stat(dir.File("mnt/bad.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_size, 13);
  EXPECT_NE(stat(dir.File("mnt/empty.txt").c_str(), &st), 0);
  EXPECT_NE(mount.Errors().find("bad.arj: empty.txt: left out: "), std::string::npos) << mount.Errors();
  for (int i = 0; i < 2; ++i) {
    const int fd = open(dir.File("mnt/bad.txt").c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    char buffer[64];
    errno = 0;
    EXPECT_EQ(read(fd, buffer, sizeof buffer), -1);
    EXPECT_EQ(errno, EIO);
    close(fd);
  }
  EXPECT_EQ(ReadText(dir.File("mnt/before.txt")), "first");
  EXPECT_EQ(ReadText(dir.File("mnt/after.txt")), "last");
  // Read-only.
  EXPECT_LT(open(dir.File("mnt/after.txt").c_str(), O_WRONLY), 0);
  EXPECT_EQ(mount.Unmount(), 1) << "an entry was left out";
  const std::string errors = mount.Errors();
  EXPECT_NE(errors.find("bad.arj: bad.txt: CRC mismatch"), std::string::npos) << errors;
  EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 2) << errors;
}

TEST(MountCommand, RandomReadsOfALargeMethodOneEntryAreRight) {
  REQUIRE_FUSE();
  REQUIRE_PEER("arj");
  Bytes big(5 << 20);
  std::mt19937 random(3);
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>("lorem ipsum dolor sit"[random() % 21]);
  const std::optional<Bytes> archive = ArchiveWithArj({{"big.bin", big}, {"small.txt", ToBytes("small")}}, 1);
  ASSERT_TRUE(archive.has_value());
  TempDir dir;
  WriteFile(dir.File("big.arj"), *archive);
  fs::create_directories(dir.File("mnt"));
  fs::create_directories(dir.File("tmp"));
  // Held in the cache, and spilled (the cache smaller than the entry).
  for (const char* args : {"", "--cache 1M"}) {
    ToolMount mount(dir.File("big.arj"), dir.File("mnt"), args, dir.File("tmp"));
    ASSERT_TRUE(mount.mounted()) << mount.Errors();
    const int fd = open(dir.File("mnt/big.bin").c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    std::vector<uint8_t> buffer(200000);
    for (int i = 0; i < 300; ++i) {
      const size_t offset = random() % big.size();
      const size_t size = 1 + random() % buffer.size();
      const ssize_t n = pread(fd, buffer.data(), size, static_cast<off_t>(offset));
      ASSERT_EQ(n, static_cast<ssize_t>(std::min(size, big.size() - offset))) << args << " at " << offset;
      ASSERT_TRUE(std::equal(buffer.begin(), buffer.begin() + n, big.begin() + static_cast<long>(offset)))
          << args << " at " << offset;
    }
    close(fd);
    EXPECT_EQ(ReadText(dir.File("mnt/small.txt")), "small");
    EXPECT_EQ(mount.Unmount(), 0) << mount.Errors();
    EXPECT_TRUE(fs::is_empty(dir.File("tmp"))) << args;
  }
}

// Processes whose command line holds `text`.
int ProcessesWith(const std::string& text) {
  int count = 0;
  DIR* proc = opendir("/proc");
  while (dirent* e = proc ? readdir(proc) : nullptr) {
    const std::string cmdline = ReadText(std::string("/proc/") + e->d_name + "/cmdline");
    if (cmdline.find(text) != std::string::npos) ++count;
  }
  if (proc) closedir(proc);
  return count;
}

TEST(MountCommand, UnmountingOrStoppingEndsTheMountAndLeavesNothing) {
  REQUIRE_FUSE();
  TempDir dir;
  fs::create_directories(dir.File("mnt"));
  fs::create_directories(dir.File("tmp"));
  for (const int signal_number : {SIGTERM, SIGINT}) {
    ToolMount mount(Data("method1.arj"), dir.File("mnt"), "--cache 1K", dir.File("tmp"));
    ASSERT_TRUE(mount.mounted()) << mount.Errors();
    // A spill file open while the signal comes.
    const int fd = open(dir.File("mnt/text.txt").c_str(), O_RDONLY);
    char buffer[100];
    EXPECT_EQ(read(fd, buffer, sizeof buffer), 100);
    const pid_t pid = mount.pid();
    EXPECT_EQ(mount.Stop(signal_number), 0) << mount.Errors();
    close(fd);
    EXPECT_FALSE(mount.mounted());
    EXPECT_NE(kill(pid, 0), 0);
    EXPECT_TRUE(fs::is_empty(dir.File("tmp")));
  }
  // In the background: the command returns once the mount is ready.
  std::string log;
  ASSERT_EQ(RunTool("mount " + Data("method1.arj") + " " + dir.File("mnt"), &log), 0) << log;
  EXPECT_TRUE(IsMountPoint(dir.File("mnt")));
  EXPECT_EQ(ReadFile(dir.File("mnt/text.txt")), DataFile("src/mixed/text.txt"));
  EXPECT_EQ(RunCommand("fusermount3 -u " + Quote(dir.File("mnt"))), 0);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (ProcessesWith(dir.File("mnt")) > 0 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_EQ(ProcessesWith(dir.File("mnt")), 0);
  EXPECT_FALSE(IsMountPoint(dir.File("mnt")));
}

TEST(MountCommand, WhatCannotBeMountedIsRefused) {
  TempDir dir;
  std::string log;
  EXPECT_EQ(RunTool("mount " + Data("method1.arj"), &log), 2);
  EXPECT_NE(log.find("give an archive and a folder"), std::string::npos) << log;
  EXPECT_EQ(RunTool("mount - " + dir.path(), &log), 2);
  EXPECT_EQ(RunTool("mount " + Data("method1.arj") + " " + dir.path() + " --cache lots", &log), 2);
  EXPECT_NE(log.find("--cache takes a size"), std::string::npos) << log;
  EXPECT_EQ(RunTool("mount " + Data("method1.arj") + " " + dir.File("missing"), &log), 2);
  EXPECT_EQ(RunTool("mount " + Data("src/mixed/text.txt") + " " + dir.path(), &log), 2);
  EXPECT_FALSE(IsMountPoint(dir.path()));
}

}  // namespace
