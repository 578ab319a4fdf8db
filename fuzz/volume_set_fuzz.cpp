// libFuzzer target: a multi-volume set, every volume fuzzed. The first byte
// picks the scan mode (bit 0), the volume to name (bits 1..2) and the number
// of volumes (bits 3..4, plus one); each volume but the last is preceded by
// its 16-bit length. The volumes are written as set.arj, set.a01, ... into a
// folder of this process and opened through the native file system. With
// bit 5 the set is then rewritten in place through the embedding API, its
// first entry (bit 6: its last) deleted, and with bit 7 an archive comment
// set too (a delete alone is split from the old volumes; with a comment the
// set is joined into a file first). A rewrite that reports success must
// leave a set that opens again with the entries it was asked to keep.
#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "runtime/api/archive.h"
#include "runtime/api/rebuild.h"

namespace {

const std::string& Folder() {
  static const std::string folder = [] {
    std::string pattern = std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") + "/arjfuzz-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    return pattern;
  }();
  return folder;
}

std::string VolumeName(int v) {
  char name[16];
  std::snprintf(name, sizeof name, v == 0 ? "set.arj" : "set.a%02d", v);
  return Folder() + "/" + name;
}

// Every file of the folder removed: a rewrite may leave more volumes than
// the next input writes.
void ClearFolder() {
  DIR* dir = opendir(Folder().c_str());
  if (dir == nullptr) std::abort();
  while (const dirent* e = readdir(dir))
    if (e->d_name[0] != '.') unlink((Folder() + "/" + e->d_name).c_str());
  closedir(dir);
}

// The set named by `path` rewritten without its first (or `last`) entry,
// with an archive comment when `commented`.
void Rewrite(const std::string& path, bool last, bool commented) {
  arjhost::Host& host = fuzzing::FuzzHost();
  arjhost::OpenResult opened = arjhost::Archive::OpenForWriting(host, path, {});
  if (!opened.ok() || !opened.archive->state().multi_volume) return;
  const std::vector<arjhost::EntryInfo> entries = opened.archive->Entries();
  if (entries.empty()) return;
  const size_t dropped = last ? entries.size() - 1 : 0;
  arjhost::ChangeSet changes;
  changes.dropped.insert(entries[dropped].handle);
  if (commented) changes.archive_comment = "rewritten";
  const arjhost::Status written = opened.archive->Rebuild(changes, path);
  opened.archive.reset();
  if (!written.ok()) {
    if (written.message.empty()) std::abort();  // a failure is said
    return;
  }
  std::vector<std::string> kept;
  for (size_t i = 0; i < entries.size(); ++i)
    if (i != dropped) kept.push_back(entries[i].name);
  if (kept.empty()) return;  // an emptied set is removed
  const arjhost::OpenResult again = arjhost::Archive::OpenFile(host, VolumeName(0), {});
  if (!again.ok()) std::abort();
  std::vector<std::string> listed;
  for (const arjhost::EntryInfo& e : again.archive->Entries()) listed.push_back(e.name);
  if (listed != kept) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint32_t scan_all = data[0] & 1;
  const int named = (data[0] >> 1) & 3;
  const int volumes = ((data[0] >> 3) & 3) + 1;
  size_t at = 1;
  for (int v = 0; v < 4; ++v) {
    FILE* f = v < volumes ? std::fopen(VolumeName(v).c_str(), "wb") : nullptr;
    if (f == nullptr) {
      unlink(VolumeName(v).c_str());
      continue;
    }
    size_t length = size - at;
    if (v + 1 < volumes && size - at >= 2) {
      length = std::min<size_t>(data[at] | (data[at + 1] << 8), size - at - 2);
      at += 2;
    }
    std::fwrite(data + at, 1, length, f);
    std::fclose(f);
    at += length;
  }
  arjrt::Runtime& runtime = fuzzing::FuzzRuntime();
  const size_t objects = runtime.live_object_count();
  ObjectRef source = fuzzing::MakeSource(runtime);
  ObjectRef io = nullptr;
  std::string path = VolumeName(named < volumes ? named : 0);
  fuzzing::Require(host::CreateObject(source, &io, IID_BLOCK_IO, PID_NATIVE_FILE_IO), "file I/O");
  fuzzing::Require(host::SetPropBuffer(io, PROP_OBJECT_PATH, path.c_str(), static_cast<uint32_t>(path.size() + 1)),
                   "path");
  fuzzing::Require(host::SetPropDWord(io, PROP_ACCESS_MODE, ACCESS_READ), "access mode");
  fuzzing::Require(host::SetPropDWord(io, PROP_OPEN_MODE, OPEN_EXISTING), "open mode");
  if (!Failed(host::CreateObjectDone(io))) fuzzing::ExerciseArchiver(runtime, io, scan_all, "secret");
  host::CloseIfOpen(source);
  fuzzing::CheckNothingLeft(runtime, objects);
  if ((data[0] & 0x20) != 0) {
    Rewrite(path, (data[0] & 0x40) != 0, (data[0] & 0x80) != 0);
    ClearFolder();
  }
  return 0;
}
