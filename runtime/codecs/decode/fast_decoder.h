// ARJ method 4: LZ77 without prefix-code tables. Each item starts with a
// length in a unary-prefixed code (0 = a literal byte follows), a match
// then with its distance in a second unary-prefixed code.
#pragma once

#include "runtime/codecs/decode/input_buffer.h"
#include "runtime/codecs/decode/output_window.h"

namespace arjrt {

// Decodes until `window` is finished, then checks the end of the input
// (InputBuffer::CheckEnd). Returns 0, ERR_CORRUPTED, the input's failure
// or the sink's failure. After a decoding failure the bytes decoded so far
// are still handed to the sink.
[[nodiscard]] ResultCode DecodeFast(InputBuffer& input, OutputWindow& window);

}  // namespace arjrt
