// Reads a plug-in's resources from its ELF file without loading it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace arjrt {

// The bytes of the named section, or an empty vector with `error` set.
std::vector<uint8_t> ReadElfSection(const std::string& path, const std::string& section, std::string* error);

constexpr const char* kManifestSection = ".tamrik.manifest";
constexpr const char* kVersionSection = ".tamrik.version";

struct ManifestCheck {
  bool ok = false;
  std::vector<std::string> findings;  // one line per fact checked, "ok" or what is wrong
  uint32_t plugin_id = 0;
  uint32_t interface_id = 0;
  uint32_t vendor_id = 0;
  uint32_t property_count = 0;
};

// Checks the layout of a manifest: the leading words, the block lengths,
// the property records and, where it carries one, the trailing MD5.
ManifestCheck CheckManifest(const std::vector<uint8_t>& manifest);

}  // namespace arjrt
