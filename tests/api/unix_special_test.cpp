// The UNIX links and special files that arj -a1 stores: the runtime's
// header walk reads what each entry is from its 'U' extended header.
#include <gtest/gtest.h>

#include <string>

#include "plugin/format/unix_special.h"
#include "runtime/api/archive.h"
#include "runtime/api/internal/unix_special.h"
#include "tests/support/api_status.h"
#include "tests/support/archive_builder.h"
#include "tests/support/files.h"

namespace {

using namespace testing_support;
using Special = arjhost::EntryInfo::Special;

// An extended header tagged 'U': the reserved byte, then `body`.
Bytes UnixExtension(const std::string& body) { return ToBytes(std::string("U") + '\0' + body); }

// A kind-and-length byte (kind in the top three bits).
std::string KindLength(unsigned kind, unsigned length) { return std::string(1, static_cast<char>(kind << 5 | length)); }

HeaderSpec SpecialEntry(const std::string& name, std::vector<Bytes> extended) {
  HeaderSpec h = StoredEntry(name, "");
  h.host_os = 2;
  h.file_type = 6;
  h.extended = std::move(extended);
  return h;
}

TEST(UnixSpecial, EachKindAndLengthFormAsArjWritesThem) {
  const std::string long_target(300, 'y');
  const std::string thirty(30, 'z');
  const std::string thirty_one(31, 'w');
  const std::string device("\x03\x01\0\0\0\0\0\0", 8);
  struct Case {
    const char* label;
    std::vector<Bytes> extended;
    Special special;
    std::string target;
  } cases[] = {
      {"FIFO", {UnixExtension(KindLength(0, 0))}, Special::kFifo, ""},
      {"hard link", {UnixExtension(KindLength(1, 10) + "src/hard_a")}, Special::kHardLink, "src/hard_a"},
      {"symbolic link", {UnixExtension(KindLength(2, 4) + "/etc")}, Special::kSymbolicLink, "/etc"},
      {"30 bytes in the short form", {UnixExtension(KindLength(2, 30) + thirty)}, Special::kSymbolicLink, thirty},
      {"31 bytes in the long form", {UnixExtension(KindLength(2, 31) + "\x1f" + '\0' + thirty_one)},
       Special::kSymbolicLink, thirty_one},
      {"300 bytes in the long form", {UnixExtension(KindLength(2, 31) + "\x2c\x01" + long_target)},
       Special::kSymbolicLink, long_target},
      {"block device", {UnixExtension(KindLength(3, 8) + device)}, Special::kBlockDevice, ""},
      {"character device", {UnixExtension(KindLength(4, 8) + device)}, Special::kCharDevice, ""},
      {"after an extended header of another kind", {ToBytes("Xother"), UnixExtension(KindLength(2, 1) + "a")},
       Special::kSymbolicLink, "a"},
      {"no extended header", {}, Special::kUnreadable, ""},
      {"a tag alone", {ToBytes("U")}, Special::kUnreadable, ""},
      {"an unknown kind", {UnixExtension(KindLength(5, 1) + "a")}, Special::kUnreadable, ""},
      {"a length past the end", {UnixExtension(KindLength(2, 9) + "abc")}, Special::kUnreadable, ""},
      {"bytes past the length", {UnixExtension(KindLength(2, 1) + "abc")}, Special::kUnreadable, ""},
      {"a long length cut short", {UnixExtension(KindLength(2, 31) + "\x05")}, Special::kUnreadable, ""},
      {"an empty link target", {UnixExtension(KindLength(2, 0))}, Special::kUnreadable, ""},
      {"a NUL in a link target", {UnixExtension(KindLength(2, 3) + std::string("a\0b", 3))}, Special::kUnreadable, ""},
  };
  for (const Case& c : cases) {
    const Bytes archive = Concat({MainHeader(), BuildHeader(StoredEntry("plain.txt", "x")),
                                  BuildHeader(SpecialEntry("special", c.extended)), EndMarker()});
    arjhost::Host host;
    ASSERT_TRUE(IsOk(host.LoadPlugin(BuildPath("libarj_plugin.so"))));
    const arjhost::OpenResult opened = arjhost::Archive::OpenMemory(host, archive.data(), archive.size(), {});
    ASSERT_TRUE(IsOk(opened.status)) << c.label;
    const std::vector<arjhost::EntryInfo> entries = opened.archive->Entries();
    ASSERT_EQ(entries.size(), 2u) << c.label;
    EXPECT_EQ(entries[0].special, Special::kNone) << c.label;
    ASSERT_TRUE(entries[1].header_known) << c.label;
    EXPECT_EQ(entries[1].special, c.special) << c.label;
    EXPECT_EQ(entries[1].link_target, c.target) << c.label;
  }
}

// What add writes for a link or special file reads back as the same kind
// and target, in both length forms and at their boundary.
TEST(UnixSpecial, BodiesWrittenForNewEntriesReadBack) {
  using Kind = arjhost::ContentKind;
  const struct {
    Kind kind;
    std::string target;
    Special special;
  } cases[] = {
      {Kind::kFifo, "", Special::kFifo},
      {Kind::kHardLink, "dir/first", Special::kHardLink},
      {Kind::kSymbolicLink, std::string(30, 'a'), Special::kSymbolicLink},
      {Kind::kSymbolicLink, std::string(31, 'b'), Special::kSymbolicLink},
      {Kind::kSymbolicLink, std::string(1024, 'c'), Special::kSymbolicLink},
      {Kind::kBlockDevice, "", Special::kBlockDevice},
      {Kind::kCharDevice, "", Special::kCharDevice},
  };
  for (const auto& c : cases) {
    arjhost::NewContent content("path", "name");
    content.kind = c.kind;
    content.link_target = c.target;
    content.device = 0x0103;
    arjhost::EntryInfo entry;
    const std::string body = arjhost::UnixSpecialBody(content);
    // The plug-in's template holds a body of at most this size: the longest
    // target fills it.
    EXPECT_LE(body.size(), arjhost::format::kMaxUnixSpecialBodySize);
    if (c.target.size() == arjhost::kMaxLinkTargetLength) {
      EXPECT_EQ(body.size(), arjhost::format::kMaxUnixSpecialBodySize);
    }
    arjhost::ApplyUnixSpecial(body, &entry);
    EXPECT_EQ(entry.special, c.special) << c.target.size();
    EXPECT_EQ(entry.link_target, c.target);
  }
  EXPECT_EQ(arjhost::UnixSpecialBody(arjhost::NewContent("f", "f")), "") << "a file has no such header";
}

}  // namespace
