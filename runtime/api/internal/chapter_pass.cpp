#include "runtime/api/internal/chapter_pass.h"

#include <cerrno>

#include "plugin/format/header_writer.h"
#include "runtime/api/internal/status_of.h"
#include "runtime/api/internal/stored_headers.h"

namespace arjhost {
namespace {

using namespace format;

// The label entry of `chapter`, stamped `now`.
std::vector<uint8_t> LabelHeader(uint8_t chapter, int64_t now) {
  uint8_t fixed[kFixedHeaderSize];
  NewChapterLabelFixed(chapter, static_cast<uint32_t>(now), fixed);
  const std::string name = ChapterLabel(chapter);
  std::vector<uint8_t> out;
  const ByteWriter writer = VectorWriter(&out);
  WriteBasicHeader(writer, BasicHeaderOf(fixed, {reinterpret_cast<const uint8_t*>(name.data()),
                                                 static_cast<uint32_t>(name.size())}, {}));
  WriteExtendedEnd(writer);
  return out;
}

// The header with the chapter bytes set.
Status WithChapters(const StoredHeader& h, uint8_t first, uint8_t last, std::vector<uint8_t>* out) {
  std::vector<uint8_t> fixed = h.FixedPart();
  if (!SetChapterRange(first, last, &fixed)) return Failure(Code::kInternal, "a header too short for chapters");
  if (!Rewritten(fixed.data(), static_cast<uint32_t>(fixed.size()), h.NameAndComment(), h.extended(), out))
    return Failure(Code::kInternal, "a header cannot be written again");
  return {};
}

}  // namespace

Status WriteChapter(const std::string& single, const ChapterPlan& plan, int64_t now, const std::string& out_path) {
  const Fd in(OpenToRead(single));
  if (in.get() < 0) return ErrnoStatus(errno, single + ": cannot be read");
  const uint64_t size = SizeOfFile(in.get());
  const Fd out(OpenToWrite(out_path));
  if (out.get() < 0) return ErrnoStatus(errno, out_path + ": cannot be written");
  uint64_t at = 0;
  auto put = [&](const uint8_t* bytes, size_t count) {
    const int e = WriteAt(out.get(), at, bytes, count);
    at += count;
    return e == 0 ? Status{} : ErrnoStatus(e, out_path + ": cannot be written");
  };
  std::vector<uint8_t> header;
  StoredHeader main;
  Status s = ReadStoredAt(in.get(), size, 0, HeaderRole::kMain, &main);
  if (s.ok()) s = WithChapters(main, 0, plan.chapter, &header);
  if (s.ok()) s = put(header.data(), header.size());
  // The entries' headers, in the rebuild's order.
  std::vector<StoredHeader> entries;
  for (uint64_t offset = main.facts.data_offset; s.ok();) {
    StoredHeader h;
    if (!(s = ReadStoredAt(in.get(), size, offset, HeaderRole::kLocal, &h)).ok() || h.bytes.empty()) break;
    offset = h.facts.next_offset;
    entries.push_back(std::move(h));
  }
  if (!s.ok()) return s;
  if (entries.size() != plan.entries.size())
    return Failure(Code::kInternal, single + ": holds " + std::to_string(entries.size()) + " entries, not " +
                                        std::to_string(plan.entries.size()));
  for (size_t index : ChapterOrder(plan)) {
    const StoredHeader& h = entries[index];
    if (!(s = WithChapters(h, plan.entries[index].first, plan.entries[index].last, &header)).ok()) return s;
    if (!(s = put(header.data(), header.size())).ok()) return s;
    const uint64_t packed = PackedSize(h.bytes.data());
    if (const int e = CopyAt(in.get(), h.facts.data_offset, out.get(), at, packed); e != 0)
      return ErrnoStatus(e, out_path + ": cannot be written from " + single);
    at += packed;
  }
  header = LabelHeader(plan.chapter, now);
  if (!(s = put(header.data(), header.size())).ok()) return s;
  const uint8_t end[kEndMarkerSize] = {kArjHeaderIdLow, static_cast<uint8_t>(kArjHeaderId >> 8), 0, 0};
  return put(end, sizeof end);
}

}  // namespace arjhost
