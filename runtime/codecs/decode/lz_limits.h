// Sizes shared by the ARJ LZ77 methods (1..3 and 4).
#pragma once

#include <cstddef>

namespace arjrt {

inline constexpr size_t kArjDictionarySize = 26624;  // farthest match distance
inline constexpr size_t kArjMinMatch = 3;
inline constexpr size_t kArjMaxMatch = 256;

}  // namespace arjrt
