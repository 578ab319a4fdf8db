#include "tests/format/header_cases.h"

namespace testing_support {
namespace {

// The basic header of a built header (without id, size, CRC and the rest).
Bytes BasicOf(const Bytes& header) {
  const size_t size = header[2] | (header[3] << 8);
  return Bytes(header.begin() + 4, header.begin() + 4 + static_cast<long>(size));
}

// Frames basic header bytes as a header: id, size, CRC (spoilt when asked),
// extended headers (the first one's CRC spoilt when asked), end of chain.
Bytes Frame(const Bytes& basic, const std::vector<Bytes>& extended = {}, bool bad_crc = false,
            bool bad_extended_crc = false) {
  Bytes out = {0x60, 0xEA, static_cast<uint8_t>(basic.size()), static_cast<uint8_t>(basic.size() >> 8)};
  out.insert(out.end(), basic.begin(), basic.end());
  auto put_crc = [&out](const Bytes& b, bool spoil) {
    uint32_t crc = Crc32Of(b) ^ (spoil ? 1u : 0u);
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(crc >> (8 * i)));
  };
  put_crc(basic, bad_crc);
  for (size_t i = 0; i < extended.size(); ++i) {
    out.push_back(static_cast<uint8_t>(extended[i].size()));
    out.push_back(static_cast<uint8_t>(extended[i].size() >> 8));
    out.insert(out.end(), extended[i].begin(), extended[i].end());
    put_crc(extended[i], bad_extended_crc && i == 0);
  }
  out.push_back(0);
  out.push_back(0);
  return out;
}

const std::string kContent = "hello world\n";

HeaderSpec EntryA() { return StoredEntry("a.txt", kContent); }

// The case's header with its data, between a main header and a sound
// entry "b.txt" with the end marker.
HeaderCase Around(std::string name, const Bytes& header) {
  HeaderCase c;
  c.name = std::move(name);
  const Bytes main = MainHeader();
  c.offset = main.size();
  c.archive = Concat({main, header, ToBytes(kContent), BuildHeader(StoredEntry("b.txt", "second")), EndMarker()});
  return c;
}

HeaderCase Sound(HeaderCase c) {
  c.entries = 2;
  return c;
}

HeaderCase Damaged(HeaderCase c, HeaderCause walk, bool recovery_skips = true) {
  c.reader = ERR_CORRUPTED;
  c.entries = 0;
  c.damaged = true;
  c.walk = walk;
  c.recovery_skips = recovery_skips;
  return c;
}

HeaderCase WithArj(HeaderCase c, std::string arj) {
  c.arj = std::move(arj);
  return c;
}

// The header of "a.txt" without its data, its comment padded so that the
// basic header is `basic_size` bytes.
Bytes WithBasicSize(size_t basic_size) {
  HeaderSpec a = EntryA();
  a.data.clear();
  a.packed_size = static_cast<uint32_t>(kContent.size());
  a.comment.assign(basic_size - 30 - a.name.size() - 2, 'c');
  return BuildHeader(a);
}

Bytes HeaderOnly(HeaderSpec a) {
  a.packed_size = static_cast<uint32_t>(a.data.size());
  a.data.clear();
  return BuildHeader(a);
}

std::vector<HeaderCase> MakeCases() {
  std::vector<HeaderCase> cases;
  const Bytes a = HeaderOnly(EntryA());
  const Bytes basic = BasicOf(a);

  cases.push_back(WithArj(Sound(Around("sound header", a)), "ok"));
  cases.push_back(WithArj(Sound(Around("basic header of 2600 bytes", WithBasicSize(2600))), "ok"));
  cases.push_back(WithArj(Damaged(Around("basic header of 2601 bytes", WithBasicSize(2601)),
                                  HeaderCause::kBasicHeaderTooLarge),
                          "Bad header, exit 2"));
  cases.push_back(WithArj(Damaged(Around("basic header of 3027 bytes", WithBasicSize(3027)),
                                  HeaderCause::kBasicHeaderTooLarge),
                          "Bad header, exit 2"));

  // A header that fails only its CRC, whose data ends where a sound header
  // starts: the entry table and recovery both read it (and its entry fails).
  HeaderCase crc = Sound(Around("header CRC mismatch", Frame(basic, {}, true)));
  crc.crc_ok = false;
  cases.push_back(WithArj(crc, "Header CRC error!, exit 3"));
  HeaderCase ext_crc = Sound(Around("extended header CRC mismatch", Frame(basic, {Bytes(4, 'x')}, false, true)));
  ext_crc.crc_ok = false;
  cases.push_back(WithArj(ext_crc, "Bad header, exit 2"));
  // Its packed size one byte long: its data ends inside the next header,
  // which recovery then cannot trust to follow it.
  Bytes long_size = basic;
  ++long_size[12];
  HeaderCase misplaced = Around("header CRC mismatch, packed size one byte long", Frame(long_size, {}, true));
  misplaced.crc_ok = false;
  misplaced.entries = 1;  // the table reads it, then meets no header where it ends
  misplaced.damaged = true;
  misplaced.recovery_skips = true;
  misplaced.divergence =
      "the entry table reads a header whose CRC fails like any other, so that its entry can be listed and "
      "named as damaged; recovery takes it only where its sizes lead to a sound header";
  cases.push_back(misplaced);

  Bytes no_nul(basic.begin(), basic.end() - 2);  // the name's NUL and the empty comment's
  cases.push_back(WithArj(Sound(Around("name without its NUL", Frame(no_nul))), "ok"));
  HeaderSpec short_fixed = EntryA();
  short_fixed.first_header_size = 26;
  cases.push_back(WithArj(Sound(Around("first header size 26", HeaderOnly(short_fixed))), "ok"));
  Bytes far_name = basic;
  far_name[0] = 200;
  cases.push_back(Sound(Around("first header size past the basic header", Frame(far_name))));
  cases.push_back(
      WithArj(Sound(Around("65 extended headers", Frame(basic, std::vector<Bytes>(65, Bytes(4, 'e'))))), "ok"));

  HeaderSpec wrap = EntryA();
  wrap.data.clear();
  wrap.packed_override = 0xFFFFFFF0;
  cases.push_back(Damaged(Around("packed size past 4 GiB", BuildHeader(wrap)), HeaderCause::kPastOffsetLimit));

  const Bytes main = MainHeader();
  auto at_end = [&main](std::string name, const Bytes& before, const Bytes& tail) {
    HeaderCase c;
    c.name = std::move(name);
    c.offset = main.size() + before.size();
    c.archive = Concat({main, before, tail});
    return c;
  };
  const Bytes whole_a = BuildHeader(EntryA());
  Bytes long_ext = Frame(basic, {Bytes(8, 'e')});
  long_ext[long_ext.size() - 2 - 4 - 8 - 2] = 0xFF;  // claims 0xFF08 bytes
  long_ext[long_ext.size() - 2 - 4 - 8 - 1] = 0xFF;
  cases.push_back(Damaged(at_end("extended header longer than the file", {}, long_ext), HeaderCause::kTruncated));
  cases.push_back(
      Damaged(at_end("basic header cut short", {}, Bytes(a.begin(), a.begin() + 20)), HeaderCause::kTruncated));
  cases.push_back(WithArj(Damaged(at_end("no header id", {}, Concat({Bytes(40, 'z'), whole_a, EndMarker()})),
                                  HeaderCause::kNoHeaderId),
                          "Bad header, exit 2"));

  HeaderCase end = at_end("end marker", {}, EndMarker());
  end.reader = ERR_END_OF_LIST;
  end.walk = HeaderCause::kEndMarker;
  cases.push_back(end);
  HeaderCase trailing = at_end("end marker and a byte after it", {}, Concat({EndMarker(), ToBytes("x")}));
  trailing.reader = ERR_END_OF_LIST;
  trailing.walk = HeaderCause::kEndMarker;
  cases.push_back(WithArj(trailing, "ok"));
  trailing = at_end("end marker and 40 bytes after it", {}, Concat({EndMarker(), Bytes(40, 0)}));
  trailing.reader = ERR_END_OF_LIST;
  trailing.walk = HeaderCause::kEndMarker;
  cases.push_back(trailing);
  HeaderCase stray = Damaged(at_end("four stray bytes instead of the end marker", whole_a, ToBytes("abcd")),
                             HeaderCause::kNoHeaderId);
  stray.entries = 1;
  cases.push_back(WithArj(stray, "Bad header, exit 2"));
  // Recovery has nothing to skip at the very end: the archive stays
  // damaged for want of its end marker.
  HeaderCase missing = Damaged(at_end("no end marker", whole_a, {}), HeaderCause::kTruncated, false);
  missing.entries = 1;
  cases.push_back(WithArj(missing, "unexpected end of file, exit 2"));
  return cases;
}

}  // namespace

const std::vector<HeaderCase>& HeaderCases() {
  static const std::vector<HeaderCase> cases = MakeCases();
  return cases;
}

}  // namespace testing_support
