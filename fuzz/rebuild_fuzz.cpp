// libFuzzer target: a rebuild of a fuzzed archive. The first two bytes
// choose which entries are dropped and which replaced (bit k % 8 for entry
// k), the third the method of new content (its low 7 bits) and whether the
// list gives comments, taken from the input, and a garble password (its
// top bit); the rest is the archive. A rebuild that reports success must
// have written an archive that opens again with the entries it was asked
// to keep.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "runtime/services/change_list.h"
#include "runtime/services/services.h"

namespace {

constexpr size_t kControlBytes = 3;

uint64_t CountEntries(ObjectRef archiver) {
  const MiniArchiverMethods& m = host::Archiver(archiver);
  fuzzing::AnyAnswer(m.Reset(archiver));
  uint64_t handle = 0, count = 0;
  while (count < 100000 && m.Next(archiver, &handle, handle) == RESULT_OK) ++count;
  return count;
}

// A comment of up to 300 bytes of the input, from a place of its own for
// each number, its NULs left out (a comment holding one is refused, and
// the rebuild would end there).
std::string CommentFrom(const uint8_t* data, size_t size, uint64_t number) {
  const size_t at = size == 0 ? 0 : static_cast<size_t>(number * 37 % size);
  std::string comment;
  for (size_t i = at; i < size && i - at < 300; ++i)
    if (data[i] != 0) comment.push_back(static_cast<char>(data[i]));
  return comment;
}

arjrt::ContentOpener MemoryContent(const uint8_t* data, size_t size, uint32_t method, const char* name) {
  return [=](ObjectRef list, ObjectRef* out) {
    ObjectRef io = nullptr;
    ResultCode r = host::CreateObjectQuick(list, &io, IID_BLOCK_IO, PID_MEMORY_IO);
    if (Failed(r)) return r;
    if (size != 0) r = host::Io(io).SeekWrite(io, nullptr, 0, data, static_cast<uint32_t>(size));
    if (!Failed(r) && name != nullptr)
      r = host::SetPropBuffer(io, PROP_OBJECT_NAME, name, static_cast<uint32_t>(std::strlen(name) + 1));
    if (!Failed(r)) r = host::SetPropDWord(io, PROP_ENTRY_METHOD, method);
    if (Failed(r)) {
      host::CloseIfOpen(io);
      return r;
    }
    *out = io;
    return RESULT_OK;
  };
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < kControlBytes) return 0;
  const uint8_t drop = data[0], replace = data[1], method = (data[2] & 0x7F) % 5;
  const bool commented = (data[2] & 0x80) != 0;
  const uint8_t* archive = data + kControlBytes;
  const size_t archive_size = size - kControlBytes;
  const size_t content_size = archive_size < 4096 ? archive_size : 4096;

  arjrt::Runtime& runtime = fuzzing::FuzzRuntime();
  const size_t objects = runtime.live_object_count();
  ObjectRef source = fuzzing::MakeSource(runtime);
  ObjectRef archiver = fuzzing::OpenArchiver(runtime, fuzzing::MakeMemoryIo(source, archive, archive_size, "fuzz.arj"), 0);
  if (archiver != nullptr) {
    const uint64_t entries = CountEntries(archiver);
    ObjectRef list = nullptr;
    fuzzing::Require(host::CreateObjectQuick(runtime.root(), &list, IID_CHANGE_LIST_2, arjrt::PID_CHANGE_LIST), "list");
    uint64_t kept = 1;  // the added entry
    for (uint64_t k = 1; k <= entries; ++k) {
      if (drop >> (k % 8) & 1) {
        fuzzing::Require(arjrt::ChangeListDrop(list, k), "drop");
        continue;
      }
      ++kept;
      if (replace >> (k % 8) & 1)
        fuzzing::Require(arjrt::ChangeListReplace(list, k, MemoryContent(archive, content_size, method, nullptr)),
                         "replace");
      if (commented) fuzzing::Require(arjrt::ChangeListComment(list, k, CommentFrom(archive, archive_size, k)), "comment");
    }
    std::optional<std::string> added_comment;
    if (commented) {
      fuzzing::Require(arjrt::ChangeListComment(list, 0, CommentFrom(archive, archive_size, 0)), "archive comment");
      fuzzing::Require(arjrt::ChangeListGarblePassword(list, "fuzz"), "password");
      added_comment = CommentFrom(archive, archive_size, entries + 1);
    }
    fuzzing::Require(
        arjrt::ChangeListAdd(list, MemoryContent(archive, content_size, method, "added.bin"), added_comment), "add");
    ObjectRef dest = nullptr;
    fuzzing::Require(host::CreateObjectQuick(runtime.root(), &dest, IID_BLOCK_IO, PID_MEMORY_IO), "destination");
    const ResultCode r = host::Archiver(archiver).Rebuild(archiver, list, dest);
    host::CloseIfOpen(list);
    host::CloseIfOpen(archiver);
    if (!Failed(r)) {
      uint64_t written = 0;
      fuzzing::Require(host::Io(dest).GetSize(dest, &written, 0), "written size");
      std::vector<uint8_t> bytes(written);
      if (written != 0)
        fuzzing::Require(host::Io(dest).SeekRead(dest, nullptr, 0, bytes.data(), static_cast<uint32_t>(written)),
                         "written bytes");
      ObjectRef again = fuzzing::OpenArchiver(
          runtime, fuzzing::MakeMemoryIo(source, bytes.data(), bytes.size(), "rebuilt.arj"), 0);
      if (again == nullptr || CountEntries(again) != kept) {
        std::fprintf(stderr, "a rebuild reported success but wrote an archive that does not list %llu entries\n",
                     static_cast<unsigned long long>(kept));
        std::abort();
      }
      host::CloseIfOpen(again);
    }
    host::CloseIfOpen(dest);
  }
  host::CloseIfOpen(source);
  fuzzing::CheckNothingLeft(runtime, objects);
  return 0;
}
