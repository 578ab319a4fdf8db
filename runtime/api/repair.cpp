#include "runtime/api/repair.h"

#include <sys/stat.h>

#include <utility>

#include "plugin/format/arj_layout.h"
#include "plugin/format/protect_record.h"
#include "runtime/api/internal/protected_file.h"
#include "runtime/api/internal/record_rebuild.h"
#include "runtime/api/internal/temp_beside.h"

namespace arjhost {
namespace {

bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa, sb;
  return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

// What is read of a larger archive: its largest record arj writes.
constexpr uint64_t kLargeRecordsRead = 6 + 64 * 4096;

}  // namespace

RepairReport RepairInMemory(const std::string& archive, std::vector<uint8_t>* repaired) {
  RepairReport report;
  // An archive a record of factor 1 covers is read whole; of a larger one
  // only its end, for the record to say why it is not read.
  std::vector<uint8_t> bytes;
  struct stat st;
  const bool large = ::stat(archive.c_str(), &st) == 0 && static_cast<uint64_t>(st.st_size) > kLongestProtectedFile;
  if (large ? !ReadFileEnd(archive, kLargeRecordsRead, &bytes, &report.cause)
            : !ReadWholeFile(archive, kLongestProtectedFile, &bytes, &report.cause))
    return report;
  return RepairBytes(std::move(bytes), !large, repaired);
}

RepairReport RepairBytes(std::vector<uint8_t> bytes, bool whole, std::vector<uint8_t>* repaired) {
  RepairReport report;
  format::ProtectRecord record;
  report.cause = format::ReadProtectRecord(bytes.data(), bytes.size(), &record);
  if (!whole && report.cause.empty()) report.cause = "its ARJ-PROTECT record does not describe the archive before it";
  if (!report.cause.empty()) {
    report.verdict = RepairVerdict::kNoRecord;
    return report;
  }
  const format::ProtectRepair repair = format::RepairProtectedBytes(record, &bytes);
  report.damaged_blocks = repair.damaged_blocks;
  if (repair.damaged_blocks.empty() && !record.damaged) {
    report.verdict = RepairVerdict::kSound;
    return report;
  }
  if (!repair.damaged_blocks.empty() && !repair.repaired) {
    report.verdict = RepairVerdict::kBeyondRecord;
    report.cause = repair.damaged_blocks.size() > 2
                       ? std::to_string(repair.damaged_blocks.size()) + " blocks are damaged and the record rebuilds two"
                   : record.row.empty() || record.diagonal.empty()
                       ? "a parity of the record is damaged too"
                       : "the blocks rebuilt from the record do not check (the record is damaged)";
    return report;
  }
  // The record goes with the sound bytes anew: a damaged sector of it is
  // then whole again.
  report.record_rebuilt = record.damaged;
  bytes.resize(record.protected_length);
  if (std::string why = format::AppendProtectRecord(&bytes); !why.empty()) {
    report.cause = why;
    return report;
  }
  report.verdict = RepairVerdict::kRepaired;
  *repaired = std::move(bytes);
  return report;
}

RepairReport RepairArchive(const std::string& archive, const std::string& destination) {
  if (SameFile(archive, destination)) {
    RepairReport refused;
    refused.cause = "the repaired copy must not replace the archive itself";
    return refused;
  }
  std::vector<uint8_t> bytes;
  RepairReport report = RepairInMemory(archive, &bytes);
  if (report.verdict != RepairVerdict::kRepaired) return report;
  TempBeside out(destination);
  if (!out.Create(&report.cause) || !WriteWholeFile(out.path(), bytes, &report.cause) || !out.Commit(&report.cause))
    report.verdict = RepairVerdict::kFailed;
  return report;
}

}  // namespace arjhost
