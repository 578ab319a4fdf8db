// Archives freshly made by arj, of every method, garbled and in volumes,
// extract through our tool to exactly the original files; links, folders,
// absolute names, DOS names and modes come out as arj x restores them.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <random>

#include "tests/support/archive_builder.h"
#include "tests/support/bytes.h"
#include "tests/support/commands.h"
#include "tests/support/files.h"
#include "tests/support/peers.h"
#include "tests/support/tool_runner.h"

namespace {

using namespace testing_support;
namespace fs = std::filesystem;

void MakeFiles(const std::string& dir) {
  std::mt19937 rng(99);
  const size_t sizes[] = {0, 1, 3, 777, 26624, 26625, 90000};
  int n = 0;
  for (size_t size : sizes) {
    Bytes b(size);
    int kind = n % 3;
    for (size_t i = 0; i < size; ++i)
      b[i] = kind == 0   ? static_cast<uint8_t>("the quick brown fox "[rng() % 20])
             : kind == 1 ? static_cast<uint8_t>(rng())
                         : static_cast<uint8_t>((i / 97) & 0xFF);
    WriteFile(dir + "/f" + std::to_string(n++) + ".dat", b);
  }
  fs::create_directories(dir + "/deeper/still");
  WriteFile(dir + "/deeper/still/leaf.txt", ToBytes("leaf\n"));
}

void ExpectExtractsToSource(const std::string& archive, const std::string& source, const std::string& extra) {
  TempDir out;
  std::string log;
  ASSERT_EQ(RunTool("extract " + Quote(archive) + " -C " + out.path() + " " + extra, &log), 0) << archive << "\n" << log;
  for (const auto& e : fs::recursive_directory_iterator(source)) {
    if (!e.is_regular_file()) continue;
    std::string rel = fs::relative(e.path(), source).string();
    EXPECT_EQ(ReadFile(out.File(rel)), ReadFile(e.path().string())) << archive << ": " << rel;
  }
}

TEST(ExtractInterop, EveryMethodGarbledOrNotAndMultiVolume) {
  REQUIRE_PEER("arj");
  TempDir dir;
  std::string src = dir.File("src");
  fs::create_directories(src);
  MakeFiles(src);
  int n = 0;
  for (const char* options : {"-m0", "-m1", "-m2", "-m3", "-m4", "-m1 -gsecret", "-m4 -gsecret", "-m0 -gsecret"}) {
    std::string archive = dir.File("a" + std::to_string(n++) + ".arj");
    ASSERT_EQ(RunArj(src, std::string("a -r ") + options + " '" + archive + "' '*'"), 0) << options;
    ExpectExtractsToSource(archive, src, "-p secret");
  }
  for (const char* options : {"-m0 -v30k", "-m1 -v20k", "-m4 -v25k -gsecret"}) {
    TempDir set;
    std::string archive = set.File("set.arj");
    ASSERT_EQ(RunArj(src, std::string("a -r ") + options + " '" + archive + "' '*'"), 0) << options;
    ASSERT_TRUE(fs::exists(set.File("set.a02"))) << options << ": at least three volumes";
    ExpectExtractsToSource(archive, src, "-p secret");
    ExpectExtractsToSource(set.File("set.a01"), src, "-p secret");
  }
}

// One path of an extracted tree as lstat sees it.
struct Node {
  char kind = '?';      // 'f' file, 'd' folder, 'l' symbolic link, 'p' FIFO
  std::string content;  // a file's bytes or a link's target
  mode_t mode = 0;      // permission bits
  time_t mtime = 0;
  ino_t inode = 0;
};

std::map<std::string, Node> Snapshot(const std::string& root) {
  std::map<std::string, Node> tree;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    struct stat st;
    if (lstat(e.path().c_str(), &st) != 0) continue;
    Node n;
    n.kind = S_ISREG(st.st_mode) ? 'f' : S_ISDIR(st.st_mode) ? 'd' : S_ISLNK(st.st_mode) ? 'l' : S_ISFIFO(st.st_mode) ? 'p' : '?';
    if (n.kind == 'f') {
      Bytes b = ReadFile(e.path().string());
      n.content.assign(b.begin(), b.end());
    }
    if (n.kind == 'l') n.content = fs::read_symlink(e.path()).string();
    n.mode = st.st_mode & 07777;
    n.mtime = st.st_mtime;
    n.inode = st.st_ino;
    tree[e.path().lexically_relative(root).string()] = n;  // relative() would resolve links
  }
  return tree;
}

void SetTime(const std::string& path, time_t t) {
  const timespec times[2] = {{t, 0}, {t, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << path;
}

// Sets the umask of this process (and so of the tools it runs) for a scope.
class ScopedUmask {
 public:
  explicit ScopedUmask(mode_t mask) : old_(umask(mask)) {}
  ~ScopedUmask() { umask(old_); }

 private:
  mode_t old_;
};

// A tree with what `arj a -a1` stores besides plain files, and stored
// times and modes worth restoring.
void MakeUnixTree(const std::string& src) {
  const time_t old_time = 1117000000, older_time = 981173106;
  fs::create_directories(src + "/sub");
  fs::create_directories(src + "/emptydir");
  WriteFile(src + "/a.txt", ToBytes("shared by two names\n"));
  WriteFile(src + "/wide.txt", ToBytes("0777\n"));
  WriteFile(src + "/private.txt", ToBytes("0600\n"));
  WriteFile(src + "/sub/b.txt", ToBytes("below\n"));
  ASSERT_EQ(link((src + "/a.txt").c_str(), (src + "/hard_a").c_str()), 0);
  ASSERT_EQ(chmod((src + "/a.txt").c_str(), 04755), 0);
  ASSERT_EQ(chmod((src + "/wide.txt").c_str(), 0777), 0);
  ASSERT_EQ(chmod((src + "/private.txt").c_str(), 0600), 0);
  ASSERT_EQ(chmod((src + "/sub").c_str(), 0750), 0);
  const std::pair<const char*, const char*> links[] = {
      {"link_rel", "a.txt"}, {"sub/link_down", "b.txt"}, {"dirlink", "sub"},
      {"link_abs", "/etc"},  // refused by arj and by us
      {"sub/up", "../a.txt"},  // refused by arj: its target starts with '.'
  };
  for (const auto& [name, target] : links) fs::create_symlink(target, src + "/" + name);
  ASSERT_EQ(mkfifo((src + "/fifo").c_str(), 0644), 0);
  for (const char* f : {"a.txt", "wide.txt", "private.txt", "sub/b.txt"}) SetTime(src + "/" + f, old_time);
  for (const char* d : {"sub", "emptydir"}) SetTime(src + "/" + d, older_time);
}

TEST(ExtractInterop, UnixLinksFoldersAndModesComeOutAsArjRestoresThem) {
  REQUIRE_PEER("arj");
  ScopedUmask mask(027);
  TempDir dir;
  const std::string src = dir.File("src");
  MakeUnixTree(src);
  ASSERT_EQ(RunArj(src, "a -a1 -r '" + dir.File("unix.arj") + "' '*'"), 0);
  fs::create_directories(dir.File("by_arj"));
  RunArj(dir.File("by_arj"), "x '" + dir.File("unix.arj") + "'");
  const std::map<std::string, Node> arj = Snapshot(dir.File("by_arj"));

  // -C makes the missing parents.
  const std::string kept = dir.File("kept/deeper/still");
  std::string log;
  EXPECT_EQ(RunTool("extract " + dir.File("unix.arj") + " -C " + kept + " --preserve-permissions", &log), 1);
  for (const char* message : {"link_abs: symbolic link to /etc refused: it is absolute",
                              "fifo: a FIFO; devices and FIFOs are not made"})
    EXPECT_NE(log.find(message), std::string::npos) << message << "\n" << log;
  const std::map<std::string, Node> ours = Snapshot(kept);
  EXPECT_EQ(RunTool("extract " + dir.File("unix.arj") + " -C " + dir.File("masked"), &log), 1) << log;
  const std::map<std::string, Node> masked = Snapshot(dir.File("masked"));

  // arj makes the FIFO; it refuses a link whose target starts with '.' or
  // '/', where we refuse one that leads out of the folder.
  ASSERT_EQ(arj.count("fifo"), 1u);
  ASSERT_EQ(arj.count("sub/up"), 0u);
  ASSERT_EQ(arj.count("link_abs"), 0u);
  std::vector<std::string> expected_paths, our_paths;
  for (const auto& [path, node] : arj)
    if (path != "fifo") expected_paths.push_back(path);
  expected_paths.push_back("sub/up");
  std::sort(expected_paths.begin(), expected_paths.end());
  for (const auto& [path, node] : ours) our_paths.push_back(path);
  EXPECT_EQ(our_paths, expected_paths);
  EXPECT_EQ(ours.count("sub/up") ? ours.at("sub/up").content : "", "../a.txt");

  for (const auto& [path, theirs] : arj) {
    if (!ours.count(path) || !masked.count(path)) continue;
    const Node& mine = ours.at(path);
    EXPECT_EQ(mine.kind, theirs.kind) << path;
    EXPECT_EQ(mine.content, theirs.content) << path;
    if (theirs.kind == 'l') continue;
    EXPECT_EQ(mine.mtime, theirs.mtime) << path;
    EXPECT_EQ(mine.mode, theirs.mode) << path << ": --preserve-permissions keeps the stored mode, as arj does";
    EXPECT_EQ(masked.at(path).mode, theirs.mode & ~mode_t{06027}) << path << ": umask applied, no set-ID bits";
    EXPECT_EQ(masked.at(path).mtime, theirs.mtime) << path;
  }
  EXPECT_EQ(arj.at("a.txt").mode, 04755u) << "arj keeps the set-user-ID bit";
  EXPECT_EQ(arj.at("wide.txt").mode, 0777u) << "arj ignores the umask";
  ASSERT_TRUE(ours.count("a.txt") && ours.count("hard_a"));
  EXPECT_EQ(arj.at("a.txt").inode, arj.at("hard_a").inode);
  EXPECT_EQ(ours.at("a.txt").inode, ours.at("hard_a").inode) << "a hard link stays one file";
}

TEST(ExtractInterop, AbsoluteNamesLandUnderTheFolderAsWithArj) {
  REQUIRE_PEER("arj");
  TempDir dir;
  const std::string src = dir.File("abs");
  fs::create_directories(src + "/deep");
  WriteFile(src + "/one.txt", ToBytes("one\n"));
  WriteFile(src + "/deep/two.txt", ToBytes("two\n"));
  ASSERT_EQ(RunArj(dir.path(), "a -jf abs.arj '" + src + "/one.txt' '" + src + "/deep/two.txt'"), 0);
  std::string listing;
  RunToolStdout("list --json " + dir.File("abs.arj"), &listing);
  EXPECT_TRUE(JsonSatisfies(listing, "d['entries'][0]['name'] == '" + src + "/one.txt'")) << "stored absolute\n"
                                                                                         << listing;
  fs::create_directories(dir.File("by_arj"));
  RunArj(dir.File("by_arj"), "x ../abs.arj");
  std::string log;
  ASSERT_EQ(RunTool("extract " + dir.File("abs.arj") + " -C " + dir.File("ours"), &log), 0) << log;
  const std::string notice = "removing leading \"/\" from entry names";
  EXPECT_NE(log.find(notice), std::string::npos) << log;
  EXPECT_EQ(log.find(notice), log.rfind(notice)) << "one notice\n" << log;
  const std::map<std::string, Node> arj = Snapshot(dir.File("by_arj")), ours = Snapshot(dir.File("ours"));
  ASSERT_TRUE(arj.count(src.substr(1) + "/deep/two.txt")) << "arj extracts under the folder too";
  ASSERT_EQ(ours.size(), arj.size());
  for (const auto& [path, theirs] : arj) {
    ASSERT_TRUE(ours.count(path)) << path;
    EXPECT_EQ(ours.at(path).kind, theirs.kind) << path;
    EXPECT_EQ(ours.at(path).content, theirs.content) << path;
  }
}

// A name that is not UTF-8 is written as arj writes it when the entry was
// made on UNIX (the stored bytes: they are the file system's), and decoded
// from the code page, as the listing shows it, when it was made on DOS.
TEST(ExtractInterop, DosCodePageNamesAreWrittenAsTheListingShowsThem) {
  REQUIRE_PEER("arj");
  TempDir dir;
  const std::string src = dir.File("src");
  fs::create_directories(src);
  WriteFile(src + "/caf\x82.txt", ToBytes("accent\n"));  // CP437 e-acute, as DOS arj stores it
  ASSERT_EQ(RunArj(src, "a ../names.arj '*'"), 0);
  fs::create_directories(dir.File("by_arj"));
  RunArj(dir.File("by_arj"), "x ../names.arj");
  ASSERT_TRUE(fs::exists(dir.File("by_arj/caf\x82.txt"))) << "arj writes the stored bytes";
  WriteFile(dir.File("dos.arj"), Concat({MainHeader(), BuildHeader(StoredEntry("caf\x82.txt", "accent\n")), EndMarker()}));
  const struct {
    const char* archive;
    const char* option;
    std::string name;
    const char* listed;  // in JSON
  } cases[] = {{"names.arj", "", "caf\x82.txt", "caf\\ufffd.txt"},
               {"names.arj", "--codepage 866", "caf\x82.txt", "caf\\ufffd.txt"},
               {"dos.arj", "", "caf\xc3\xa9.txt", "caf\xc3\xa9.txt"},
               {"dos.arj", "--codepage 850", "caf\xc3\xa9.txt", "caf\xc3\xa9.txt"},
               {"dos.arj", "--codepage 866", "caf\xd0\x92.txt", "caf\xd0\x92.txt"}};
  for (const auto& c : cases) {
    TempDir out;
    std::string log, listing;
    ASSERT_EQ(RunTool("extract " + dir.File(c.archive) + " -C " + out.path() + " " + c.option, &log), 0) << log;
    EXPECT_EQ(ReadFile(out.File(c.name)), ReadFile(dir.File("by_arj/caf\x82.txt"))) << c.archive << " " << c.option;
    RunToolStdout("list --json " + dir.File(c.archive) + " " + c.option, &listing);
    EXPECT_TRUE(JsonSatisfies(listing, std::string("d['entries'][0]['name'] == '") + c.listed + "'"))
        << c.option << "\n" << listing;
  }
}

}  // namespace
