// Registration of the runtime's own services, each under its ids, through
// the root object as a plug-in would register.
#pragma once

#include "plugin/host/host_objects.h"

namespace arjrt {

// Plug-in ids of the runtime's services that the plug-in asks for by
// interface alone (plug-in id 0).
constexpr uint32_t PID_MEMORY = 64004;
constexpr uint32_t PID_STREAM = 64001;
constexpr uint32_t PID_TEXT = 101;
constexpr uint32_t PID_NATIVE_FS_SOURCE = 6;
constexpr uint32_t PID_REQUESTER = 201;

// Properties only embedders and the runtime use.
// A read-only memory I/O over caller memory: its address and size.
constexpr PropId PROP_MEMORY_VIEW_ADDRESS = 0x20501040u;
constexpr PropId PROP_MEMORY_VIEW_SIZE = 0x20501041u;
// The whole content of a text object, as UTF-8.
constexpr PropId PROP_TEXT_VALUE = 0x20901050u;
// Bytes a temporary I/O keeps in memory before it moves to a file.
constexpr PropId PROP_TEMP_MEMORY_LIMIT = 0x20501060u;
// CRC-32 of what a codec's last Process wrote.
constexpr PropId PROP_CODEC_OUTPUT_CRC = 0x20401061u;
// A native file I/O's errno of its last failed read, write or resize (0:
// none), so that a failure can be named in words.
constexpr PropId PROP_OS_ERROR = 0x20401080u;

// IID_BLOCK_IO, read-only: byte ranges of a base I/O read one after the
// other as one stream (an archive with its damaged places cut out). Set
// the base and the ranges, an array of JoinedRange, before CreateObjectDone.
constexpr uint32_t PID_JOINED_IO = 64010;
constexpr PropId PROP_JOINED_BASE = 0x23201070u;
constexpr PropId PROP_JOINED_RANGES = 0x23001071u;
struct JoinedRange {
  uint64_t offset;  // in the base
  uint64_t size;
};
// More ranges than this are refused.
constexpr uint32_t kMaxJoinedRanges = 1u << 16;

[[nodiscard]] ResultCode RegisterMemoryService(ObjectRef root);
[[nodiscard]] ResultCode RegisterRequesterService(ObjectRef root);
[[nodiscard]] ResultCode RegisterNativeFileIoService(ObjectRef root);
[[nodiscard]] ResultCode RegisterMemoryIoService(ObjectRef root);
[[nodiscard]] ResultCode RegisterStreamService(ObjectRef root);
[[nodiscard]] ResultCode RegisterTextService(ObjectRef root);
[[nodiscard]] ResultCode RegisterDigestServices(ObjectRef root);  // MD5 first, the default; then CRC-32
[[nodiscard]] ResultCode RegisterNativeFsService(ObjectRef root);
[[nodiscard]] ResultCode RegisterFsSourceService(ObjectRef root);
[[nodiscard]] ResultCode RegisterWindowIoService(ObjectRef root);
[[nodiscard]] ResultCode RegisterJoinedIoService(ObjectRef root);
[[nodiscard]] ResultCode RegisterGarbleIoService(ObjectRef root);
[[nodiscard]] ResultCode RegisterTempIoService(ObjectRef root);

}  // namespace arjrt
