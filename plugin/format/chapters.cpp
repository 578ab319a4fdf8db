#include "plugin/format/chapters.h"

#include <cstdio>

#include "plugin/format/header_writer.h"

namespace arjhost::format {

std::vector<size_t> ChapterOrder(const ChapterPlan& plan) {
  std::vector<size_t> order;
  for (size_t i = 0; i < plan.entries.size(); ++i) {
    size_t at = order.size();
    if (plan.entries[i].added)
      for (size_t k = order.size(); k-- > 0;)
        if (plan.entries[order[k]].name == plan.entries[i].name) {
          at = k + 1;
          break;
        }
    order.insert(order.begin() + static_cast<std::ptrdiff_t>(at), i);
  }
  return order;
}

std::string ChapterLabel(uint8_t chapter) {
  char name[16];
  std::snprintf(name, sizeof name, "<<<%03u>>>", static_cast<unsigned>(chapter));
  return name;
}

void NewChapterLabelFixed(uint8_t chapter, uint32_t time, uint8_t* h) {
  NewFixedHeader(FileType::kChapterLabel, h);
  StoreDWord(h + fixed_header::kTime, time);
  h[fixed_header::kFirstChapter] = chapter;
  h[fixed_header::kLastChapter] = chapter;
}

bool SetChapterRange(uint8_t first, uint8_t last, std::vector<uint8_t>* fixed) {
  constexpr size_t kBasic = fixed_header::kBasicHeader;
  if (fixed->size() + kBasic < kFixedHeaderSize) return false;
  (*fixed)[fixed_header::kFirstChapter - kBasic] = first;
  (*fixed)[fixed_header::kLastChapter - kBasic] = last;
  return true;
}

}  // namespace arjhost::format
