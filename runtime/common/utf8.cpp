#include "runtime/common/utf8.h"

#include <cstdint>

namespace arjrt {

namespace {

bool IsContinuation(uint8_t byte) { return (byte & 0xC0u) == 0x80u; }

}  // namespace

Utf8Step DecodeUtf8Step(std::string_view text, size_t pos) {
  const auto byte_at = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
  const uint8_t lead = byte_at(pos);
  if (lead < 0x80u) return {lead, 1, true};

  // The lead byte fixes the length and the range of the second byte; the
  // narrowed ranges are what exclude overlongs, surrogates and > U+10FFFF.
  size_t length = 0;
  uint8_t second_min = 0x80u;
  uint8_t second_max = 0xBFu;
  char32_t value = 0;
  if (lead >= 0xC2u && lead <= 0xDFu) {
    length = 2;
    value = lead & 0x1Fu;
  } else if (lead >= 0xE0u && lead <= 0xEFu) {
    length = 3;
    value = lead & 0x0Fu;
    if (lead == 0xE0u) second_min = 0xA0u;
    if (lead == 0xEDu) second_max = 0x9Fu;
  } else if (lead >= 0xF0u && lead <= 0xF4u) {
    length = 4;
    value = lead & 0x07u;
    if (lead == 0xF0u) second_min = 0x90u;
    if (lead == 0xF4u) second_max = 0x8Fu;
  } else {
    return {kReplacementChar, 1, false};
  }

  size_t used = 1;
  while (used < length) {
    if (pos + used >= text.size()) return {kReplacementChar, used, false};
    const uint8_t next = byte_at(pos + used);
    const bool in_range = used == 1 ? (next >= second_min && next <= second_max)
                                    : IsContinuation(next);
    if (!in_range) return {kReplacementChar, used, false};
    value = (value << 6) | (next & 0x3Fu);
    ++used;
  }
  return {value, length, true};
}

void AppendUtf8(char32_t code_point, std::string* out) {
  if ((code_point >= 0xD800u && code_point <= 0xDFFFu) || code_point > 0x10FFFFu) {
    code_point = kReplacementChar;
  }
  const auto put = [out](uint32_t byte) { out->push_back(static_cast<char>(byte)); };
  if (code_point < 0x80u) {
    put(code_point);
  } else if (code_point < 0x800u) {
    put(0xC0u | (code_point >> 6));
    put(0x80u | (code_point & 0x3Fu));
  } else if (code_point < 0x10000u) {
    put(0xE0u | (code_point >> 12));
    put(0x80u | ((code_point >> 6) & 0x3Fu));
    put(0x80u | (code_point & 0x3Fu));
  } else {
    put(0xF0u | (code_point >> 18));
    put(0x80u | ((code_point >> 12) & 0x3Fu));
    put(0x80u | ((code_point >> 6) & 0x3Fu));
    put(0x80u | (code_point & 0x3Fu));
  }
}

}  // namespace arjrt
