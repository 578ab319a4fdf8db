// The manifest resource: the registration described as data, so that a host
// can learn what the library provides without running its code.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

constexpr size_t kManifestSize = 168;
constexpr size_t kManifestDigestOffset = 152;  // MD5 of the bytes before it

// ELF sections that carry the resources (the host reads them from the file).
#define ARJ_MANIFEST_SECTION ".tamrik.manifest"
#define ARJ_VERSION_SECTION ".tamrik.version"
// A resource must fill its section alone: clang's AddressSanitizer would pad
// it with a red zone that the host then reads as part of it.
#if defined(__clang__)
#define ARJ_RESOURCE_UNPADDED __attribute__((no_sanitize("address")))
#else
#define ARJ_RESOURCE_UNPADDED
#endif

extern const std::array<uint8_t, kManifestSize> kManifest;
extern const char kVersionResource[];
