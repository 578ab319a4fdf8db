// libFuzzer target: the input is an archive whose end may hold an
// ARJ-PROTECT record; read it, rebuild what it finds damaged, and check
// that what it rebuilt then checks sound against the same record.
#include <algorithm>
#include <cstdlib>
#include <vector>

#include "plugin/format/protect_record.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace arjhost::format;
  ProtectRecord record;
  if (!ReadProtectRecord(data, size, &record).empty()) return 0;
  std::vector<uint8_t> bytes(data, data + size);
  const ProtectRepair repair = RepairProtectedBytes(record, &bytes);
  if (!repair.repaired) {
    if (!std::equal(bytes.begin(), bytes.end(), data)) std::abort();  // unchanged when not repaired
    return 0;
  }
  if (!RepairProtectedBytes(record, &bytes).damaged_blocks.empty()) std::abort();
  // A record written for the rebuilt bytes reads back.
  bytes.resize(record.protected_length);
  if (AppendProtectRecord(&bytes).empty() && !ReadProtectRecord(bytes.data(), bytes.size(), &record).empty())
    std::abort();
  return 0;
}
