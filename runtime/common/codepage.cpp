#include "runtime/common/codepage.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <iterator>
#include <utility>

#include "runtime/common/codepage_tables.h"
#include "runtime/common/utf8.h"

namespace arjrt {

namespace {

struct DosPage {
  int number;
  const CodePageTable* table;
};

const DosPage kDosPages[] = {{437, &kCodePage437}, {850, &kCodePage850}, {866, &kCodePage866}};
constexpr size_t kDosPageCount = std::size(kDosPages);

// Index into kDosPages, or kDosPageCount when the page is not a DOS one.
size_t DosPageIndex(int codepage) {
  size_t i = 0;
  while (i < kDosPageCount && kDosPages[i].number != codepage) ++i;
  return i;
}

const CodePageTable* TableFor(int codepage) {
  const size_t i = DosPageIndex(codepage);
  return i < kDosPageCount ? kDosPages[i].table : nullptr;
}

// Code point -> byte for one page's high half, sorted by code point.
using ReverseEntry = std::pair<char16_t, uint8_t>;
using ReverseTable = std::array<ReverseEntry, 128>;

const ReverseTable* ReverseFor(int codepage) {
  // Built on first use; the function-local static makes that thread-safe.
  static const auto reverse_tables = [] {
    std::array<ReverseTable, kDosPageCount> all;
    for (size_t page = 0; page < kDosPageCount; ++page) {
      const CodePageTable& table = *kDosPages[page].table;
      for (size_t i = 0; i < table.size(); ++i) {
        all[page][i] = {table[i], static_cast<uint8_t>(0x80u + i)};
      }
      std::sort(all[page].begin(), all[page].end());
    }
    return all;
  }();
  const size_t i = DosPageIndex(codepage);
  return i < kDosPageCount ? &reverse_tables[i] : nullptr;
}

std::string DecodeUtf8Lenient(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (size_t pos = 0; pos < bytes.size();) {
    const Utf8Step step = DecodeUtf8Step(bytes, pos);
    if (step.valid) {
      out.append(bytes.substr(pos, step.length));
    } else {
      AppendUtf8(kReplacementChar, &out);
    }
    pos += step.length;
  }
  return out;
}

}  // namespace

bool IsValidUtf8(std::string_view text) {
  for (size_t pos = 0; pos < text.size();) {
    const Utf8Step step = DecodeUtf8Step(text, pos);
    if (!step.valid) return false;
    pos += step.length;
  }
  return true;
}

std::string DecodeToUtf8(std::string_view bytes, int codepage) {
  if (codepage == kCodePageUtf8) return DecodeUtf8Lenient(bytes);
  const CodePageTable* table = TableFor(codepage);
  std::string out;
  out.reserve(bytes.size());
  for (const char c : bytes) {
    const auto byte = static_cast<uint8_t>(c);
    if (byte < 0x80u) {
      out.push_back(c);
    } else {
      AppendUtf8(table ? (*table)[byte - 0x80u] : kReplacementChar, &out);
    }
  }
  return out;
}

std::string DisplayName(std::string_view stored, int fallback_codepage) {
  if (IsValidUtf8(stored)) return std::string(stored);
  return DecodeToUtf8(stored, fallback_codepage);
}

bool EncodeFromUtf8(std::string_view utf8, int codepage, std::string* out) {
  if (codepage == kCodePageUtf8) {
    if (!IsValidUtf8(utf8)) return false;
    out->assign(utf8);
    return true;
  }
  const ReverseTable* reverse = ReverseFor(codepage);
  if (reverse == nullptr) return false;

  std::string encoded;
  encoded.reserve(utf8.size());
  for (size_t pos = 0; pos < utf8.size();) {
    const Utf8Step step = DecodeUtf8Step(utf8, pos);
    if (!step.valid) return false;
    pos += step.length;
    if (step.code_point < 0x80u) {
      encoded.push_back(static_cast<char>(step.code_point));
      continue;
    }
    if (step.code_point > 0xFFFFu) return false;
    const auto wanted = static_cast<char16_t>(step.code_point);
    const auto it = std::lower_bound(
        reverse->begin(), reverse->end(), wanted,
        [](const ReverseEntry& entry, char16_t cp) { return entry.first < cp; });
    if (it == reverse->end() || it->first != wanted) return false;
    encoded.push_back(static_cast<char>(it->second));
  }
  *out = std::move(encoded);
  return true;
}

}  // namespace arjrt
