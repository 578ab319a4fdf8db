#include "cli/output/utf8_reading.h"

namespace cli {
namespace {

// A lead byte's sequence: its length and the bounds of its second byte,
// which are what rule out overlong forms, surrogates and values past
// U+10FFFF.
struct Form {
  size_t length;
  unsigned char second_low, second_high;
};

bool FormOf(unsigned char lead, Form* form) {
  if (lead >= 0xC2 && lead <= 0xDF) *form = {2, 0x80, 0xBF};
  else if (lead == 0xE0) *form = {3, 0xA0, 0xBF};
  else if (lead == 0xED) *form = {3, 0x80, 0x9F};
  else if (lead >= 0xE1 && lead <= 0xEF) *form = {3, 0x80, 0xBF};
  else if (lead == 0xF0) *form = {4, 0x90, 0xBF};
  else if (lead >= 0xF1 && lead <= 0xF3) *form = {4, 0x80, 0xBF};
  else if (lead == 0xF4) *form = {4, 0x80, 0x8F};
  else return false;
  return true;
}

}  // namespace

Utf8Char ReadUtf8Char(std::string_view text, size_t pos) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(pos);
  if (lead < 0x80) return {lead, 1, true};
  Form form;
  if (!FormOf(lead, &form)) return {U'\uFFFD', 1, false};
  char32_t value = lead & (0x7Fu >> form.length);
  for (size_t i = 1; i < form.length; ++i) {
    const bool fits = pos + i < text.size() &&
                      (i == 1 ? byte(pos + i) >= form.second_low && byte(pos + i) <= form.second_high
                              : (byte(pos + i) & 0xC0) == 0x80);
    if (!fits) return {U'\uFFFD', i, false};
    value = (value << 6) | (byte(pos + i) & 0x3Fu);
  }
  return {value, form.length, true};
}

}  // namespace cli
