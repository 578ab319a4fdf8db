// Embedding the ARJ host runtime: open an archive (from a file, or from
// memory), walk its entries, extract one to a file, and rebuild the archive
// without it.
//   embed_example ARCHIVE WORK_DIR
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "runtime/api/archive.h"
#include "runtime/api/host.h"
#include "runtime/api/text.h"
#include "runtime/api/version.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: embed_example ARCHIVE WORK_DIR\n");
    return 2;
  }
  const std::string path = argv[1], work = argv[2];
  std::printf("library %s, built against %s\n", arjhost::Version(), ARJHOST_VERSION);

  // One host per thread of work; it loads the plug-in installed with the
  // library (or the one $ARJHOST_PLUGIN names).
  arjhost::Host host;
  std::string error;
  if (!host.LoadPlugin("", &error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  arjhost::Limits limits;
  limits.max_entries = 100000;  // what this program is willing to list
  host.SetLimits(limits);

  std::unique_ptr<arjhost::Archive> archive = arjhost::Archive::OpenFile(host, path, {}, &error);
  if (!archive) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  const std::vector<arjhost::EntryInfo> entries = archive->Entries();
  for (const arjhost::EntryInfo& e : entries)
    std::printf("%-20s %8llu bytes, method %u, crc %08x\n", arjhost::DisplayName(e.name).c_str(),
                static_cast<unsigned long long>(e.size), e.method, e.crc);
  if (entries.empty()) return 0;

  // Extract the first entry to a file; the CRC of every part is checked.
  const std::string out_path = work + "/first.out";
  std::ofstream out(out_path, std::ios::binary);
  const arjhost::ExtractOutcome extracted = archive->Extract(
      entries[0],
      [&out](const uint8_t* data, size_t size) {
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
        return static_cast<bool>(out);
      },
      nullptr /* no passwords */);
  out.close();
  if (extracted.result != 0) {
    std::fprintf(stderr, "%s: %s\n", entries[0].name.c_str(), extracted.error.c_str());
    return 1;
  }
  std::printf("extracted %s: %llu bytes\n", entries[0].name.c_str(), static_cast<unsigned long long>(extracted.size));

  // Rebuild into a new archive: drop the first entry, append the file just
  // written under a new name, packed with method 4.
  arjhost::ChangeSet changes;
  changes.dropped.insert(entries[0].handle);
  changes.added.push_back({out_path, "again/" + entries[0].name, 4});
  const std::string rebuilt = work + "/rebuilt.arj";
  if (!archive->Rebuild(changes, rebuilt, &error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }

  // The same archive, opened from memory this time.
  std::ifstream in(rebuilt, std::ios::binary);
  const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  arjhost::OpenOptions options;
  options.name = "rebuilt.arj";
  auto again = arjhost::Archive::OpenMemory(host, bytes.data(), bytes.size(), options, &error);
  if (!again) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  std::printf("rebuilt: %zu entries, last %s\n", again->Entries().size(), again->Entries().back().name.c_str());
  return 0;
}
