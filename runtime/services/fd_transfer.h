// Whole positioned transfers on a file descriptor: pread and pwrite may
// move fewer bytes than asked or be interrupted, and every caller wants
// all of them or a reason. And what a failed open(2) means to a caller.
#pragma once

#include <cstdint>

#include "plugin/host/host_types.h"

namespace arjrt {

// Reads until `size` bytes or the end of the file. Returns 0 or the errno
// of the failing read; `*done` counts the bytes read either way.
int ReadFullyAt(int fd, uint64_t offset, void* buffer, uint32_t size, uint32_t* done);
// Writes all `size` bytes. Returns 0 or an errno (EIO for a write that
// makes no progress); `*done` counts the bytes written either way.
int WriteFullyAt(int fd, uint64_t offset, const void* buffer, uint32_t size, uint32_t* done);

// Copies `size` bytes from `from_offset` of `from` to `to_offset` of `to`
// inside the kernel (copy_file_range), the bytes never passing through
// here. Returns 0 or the errno of the refusal (ENOSYS where the system has
// no such call); `*done` counts the bytes copied either way, fewer than
// `size` with 0 returned when the source ended.
int CopyFileRangeAt(int from, uint64_t from_offset, int to, uint64_t to_offset, uint64_t size, uint64_t* done);

// The result for an open that failed with `error` (an errno).
[[nodiscard]] ResultCode OpenFailure(int error);

}  // namespace arjrt
