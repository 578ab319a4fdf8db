// What the decoder codecs tell the objects above them, beyond a result
// code. Private to the runtime: the plug-in only passes these upward.
#pragma once

#include <cstdint>

namespace arjrt {

constexpr uint32_t kMsgClassDecoder = 0x7E5C0DE0u;
// An entry's packed data runs on past the end of its stream; `buffer`
// holds the count of those bytes as a uint64_t, `*length` its size.
constexpr uint32_t kMsgUnusedPackedData = 1;

}  // namespace arjrt
