// A memory I/O for tests that fails on purpose: reads past a limit, writes
// past a limit, or a size it claims without holding the bytes.
#pragma once

#include <cstdint>
#include <vector>

#include "plugin/host/host_objects.h"

namespace testing_support {

constexpr uint32_t PID_FAULTY_IO = 63990;
constexpr PropId PROP_FAULT_READ_LIMIT = 0x20501091u;   // reads of bytes at or past this fail with ERR_IO
constexpr PropId PROP_FAULT_WRITE_LIMIT = 0x20501092u;  // writes reaching past this fail with ERR_IO
constexpr PropId PROP_FAULT_CLAIMED_SIZE = 0x20501093u;  // what GetSize reports, when set

// Registers the service once per runtime.
ResultCode RegisterFaultyIo(ObjectRef root);
std::vector<uint8_t>& FaultyBytes(ObjectRef io);

}  // namespace testing_support
