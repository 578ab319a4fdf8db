// Parameters of the two ARJ stream formats that every encoder part shares.
#pragma once

#include <cstdint>

namespace arjrt::lzh {

constexpr uint32_t kMinMatch = 3;    // shortest match either format codes
constexpr uint32_t kMaxMatch = 256;  // longest match either format codes

// Methods 1..3.
constexpr uint32_t kDictionarySize = 26624;
// The decoders keep the last kDictionarySize bytes, so a copy may reach
// back exactly that far.
constexpr uint32_t kMaxDistance = kDictionarySize;
constexpr uint32_t kCharCodes = 256 + kMaxMatch - kMinMatch + 1;  // NC = 510
constexpr uint32_t kCharCountBits = 9;                            // CBIT
constexpr uint32_t kPositionCodes = 17;                           // NP
constexpr uint32_t kPositionCountBits = 5;                        // PBIT
constexpr uint32_t kPreCodes = 19;                                // NT
constexpr uint32_t kPreCountBits = 5;                             // TBIT
constexpr uint32_t kPreZeroRunAfter = 3;  // pre-tree lengths: a 2-bit zero run follows the third
constexpr uint32_t kMaxCodeBits = 16;
constexpr uint32_t kMaxBlockCodes = 0xFFFF;  // the block header counts codes in 16 bits

// Method 4: a pointer takes 9..13 bits after a unary width prefix.
constexpr uint32_t kFastMinPointerBits = 9;
constexpr uint32_t kFastMaxPointerBits = 13;
constexpr uint32_t kFastMaxLengthBits = 7;
// The widest pointer class starts at 2^13 - 2^9 and holds 2^13 values; a
// pointer is the distance less one.
constexpr uint32_t kFastMaxDistance =
    ((1u << kFastMaxPointerBits) - (1u << kFastMinPointerBits)) + (1u << kFastMaxPointerBits);

}  // namespace arjrt::lzh
