#include "plugin/format/unix_special.h"

namespace arjhost::format {
namespace {

constexpr uint8_t kLongLength = 31;
constexpr unsigned kKindShift = 5;

}  // namespace

bool DecodeUnixSpecial(std::string_view body, UnixSpecialKind* kind, std::string_view* payload) {
  if (body.size() < 2) return false;
  const auto kind_and_length = static_cast<uint8_t>(body[1]);
  const unsigned stored_kind = kind_and_length >> kKindShift;
  size_t length = kind_and_length & kLongLength;
  size_t at = 2;
  if (length == kLongLength) {
    if (body.size() < 4) return false;
    length = static_cast<uint8_t>(body[2]) | (static_cast<size_t>(static_cast<uint8_t>(body[3])) << 8);
    at = 4;
  }
  if (stored_kind > static_cast<unsigned>(kLastUnixSpecialKind) || body.size() - at != length) return false;
  const auto read_kind = static_cast<UnixSpecialKind>(stored_kind);
  const std::string_view rest = body.substr(at);
  if (IsLink(read_kind) && (rest.empty() || rest.find('\0') != std::string_view::npos)) return false;
  *kind = read_kind;
  *payload = rest;
  return true;
}

std::string EncodeUnixSpecial(UnixSpecialKind kind, std::string_view payload) {
  const auto kind_bits = static_cast<uint8_t>(static_cast<unsigned>(kind) << kKindShift);
  std::string body(1, '\0');  // the reserved byte
  if (payload.size() < kLongLength) {
    body.push_back(static_cast<char>(kind_bits | payload.size()));
  } else {
    body.push_back(static_cast<char>(kind_bits | kLongLength));
    body.push_back(static_cast<char>(payload.size() & 0xFF));
    body.push_back(static_cast<char>(payload.size() >> 8));
  }
  return body.append(payload);
}

std::string DevicePayload(uint64_t device) {
  std::string payload;
  for (size_t i = 0; i < kDeviceNumberSize; ++i) payload.push_back(static_cast<char>(device >> (8 * i)));
  return payload;
}

}  // namespace arjhost::format
