// ARJ methods 1..3: LZ77 with a 26624-byte dictionary, coded in blocks
// with their own prefix codes. The three methods differ only in how hard
// the encoder searched; the stream format is one.
#pragma once

#include "runtime/codecs/decode/input_buffer.h"
#include "runtime/codecs/decode/output_window.h"

namespace arjrt {

// Decodes until `window` is finished, then checks the end of the input
// (InputBuffer::CheckEnd). Returns 0, ERR_CORRUPTED, ERR_NO_MEMORY, the
// input's failure or the sink's failure. After a decoding failure the
// bytes decoded so far are still handed to the sink.
[[nodiscard]] ResultCode DecodeLzh(InputBuffer& input, OutputWindow& window);

}  // namespace arjrt
