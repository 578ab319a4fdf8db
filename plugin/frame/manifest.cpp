#include "plugin/frame/manifest.h"

#include <array>

#include "plugin/frame/constant_properties.h"
#include "plugin/host/host_types.h"

namespace {

class ManifestWriter {
 public:
  constexpr void Text(const char* s, size_t n) {
    for (size_t i = 0; i < n; ++i) bytes_[at_++] = static_cast<uint8_t>(s[i]);
  }
  constexpr void Word(uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes_[at_++] = static_cast<uint8_t>(v >> (8 * i));
  }
  constexpr void Signed(int32_t v) { Word(static_cast<uint32_t>(v)); }
  // One id/length/value record.
  constexpr void Record(const ConstantDWord& c) { Word(c.id), Word(sizeof c.value), Word(c.value); }
  constexpr void Record(PropId id, const char* text, size_t size) { Word(id), Word(size), Text(text, size); }
  constexpr void Digest(const std::array<uint8_t, 16>& d) {
    for (uint8_t b : d) bytes_[at_++] = b;
  }
  constexpr size_t size() const { return at_; }
  constexpr const std::array<uint8_t, kManifestSize>& bytes() const { return bytes_; }

 private:
  std::array<uint8_t, kManifestSize> bytes_{};
  size_t at_ = 0;
};

constexpr int32_t kManifestCodePage = CP_HOST_PATHS;
constexpr uint32_t kVendorId = 0x41;

// MD5 of bytes 0..151, as the resource compiler stamps it (checked by the tests).
constexpr std::array<uint8_t, 16> kManifestMd5 = {0xE3, 0xBD, 0xDC, 0x71, 0x3C, 0xA1, 0x8C, 0xEE,
                                                  0xD1, 0x08, 0x66, 0xA5, 0xEF, 0xC6, 0x6E, 0x25};

constexpr std::array<uint8_t, kManifestSize> BuildManifest() {
  ManifestWriter w;
  w.Text("Tamrik\0metadata\0", 16);
  w.Word(20);
  w.Word(1), w.Word(0), w.Word(0), w.Word(PID_ARJ), w.Signed(kManifestCodePage);
  w.Word(36);
  w.Word(6), w.Word(PID_ARJ), w.Word(0), w.Word(1), w.Word(kVendorId), w.Word(0), w.Word(0);
  w.Word(IID_MINIARCHIVER), w.Signed(kManifestCodePage);
  // The property records, from the constants the property table serves
  // (but for the last, which the manifest alone lists).
  w.Record(kInterfaceVersion);
  w.Record(PROP_INTERFACE_COMMENT, kInterfaceCommentText, sizeof kInterfaceCommentText);
  w.Record(kReservedFlag1001);
  w.Record(kReservedDWord1000);
  w.Record(kReservedFlag1011);
  w.Record(kReservedDWord0049);
  w.Digest(kManifestMd5);
  if (w.size() != kManifestSize) throw "manifest layout";  // fails the constant evaluation
  return w.bytes();
}

}  // namespace

ARJ_RESOURCE_UNPADDED __attribute__((section(ARJ_MANIFEST_SECTION), used)) const std::array<uint8_t, kManifestSize> kManifest =
    BuildManifest();

ARJ_RESOURCE_UNPADDED __attribute__((section(ARJ_VERSION_SECTION), used)) const char kVersionResource[] =
    "FileDescription=ARJ MiniArchiver plugin\0InternalName=ARJ\0";
