// Embedding the ARJ host runtime: open an archive (from a file, or from
// memory), walk its entries, extract one to a file, and rebuild the archive
// without it. Every call that can fail answers an arjhost::Status: a code
// to act on and a message naming the file, entry and cause.
//   embed_example ARCHIVE WORK_DIR
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <arjhost/archive.h>
#include <arjhost/host.h>
#include <arjhost/status.h>
#include <arjhost/text.h>
#include <arjhost/version.h>

namespace {

int Fail(const arjhost::Status& status) {
  std::fprintf(stderr, "%s (%s)\n", status.message.c_str(), arjhost::CodeName(status.code));
  return 1;
}

}  // namespace

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
  if (const arjhost::Status loaded = host.LoadPlugin(""); !loaded.ok()) return Fail(loaded);
  arjhost::Limits limits;
  limits.max_entries = 100000;  // what this program is willing to list
  host.SetLimits(limits);

  arjhost::OpenResult opened = arjhost::Archive::OpenFile(host, path, {});
  if (!opened.ok()) return Fail(opened.status);
  arjhost::Archive& archive = *opened.archive;
  const std::vector<arjhost::EntryInfo> entries = archive.Entries();
  for (const arjhost::EntryInfo& e : entries)
    std::printf("%-20s %8llu bytes, method %u, crc %08x%s\n", arjhost::DisplayName(e.name).c_str(),
                static_cast<unsigned long long>(e.size), arjhost::format::Byte(e.method), e.crc,
                e.file_type == arjhost::format::FileType::kDirectory ? ", a folder" : "");
  if (entries.empty()) return 0;

  // Extract the first entry to a file; the CRC of every part is checked.
  const std::string out_path = work + "/first.out";
  std::ofstream out(out_path, std::ios::binary);
  const arjhost::ExtractResult extracted = archive.Extract(
      entries[0],
      [&out](const uint8_t* data, size_t size) {
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
        return static_cast<bool>(out);
      },
      nullptr /* no passwords */);
  out.close();
  if (extracted.status.code == arjhost::Code::kPasswordNeeded) {
    std::fprintf(stderr, "%s is garbled: this example gives no password\n", entries[0].name.c_str());
    return 1;
  }
  if (!extracted.ok()) return Fail(extracted.status);
  std::printf("extracted %s: %llu bytes\n", entries[0].name.c_str(), static_cast<unsigned long long>(extracted.size));

  // Rebuild into a new archive: drop the first entry, append the file just
  // written under a new name, packed with method 4.
  arjhost::ChangeSet changes;
  changes.dropped.insert(entries[0].handle);
  changes.added.push_back({out_path, "again/" + entries[0].name, 4});
  const std::string rebuilt = work + "/rebuilt.arj";
  if (const arjhost::Status written = archive.Rebuild(changes, rebuilt); !written.ok()) return Fail(written);

  // The same archive, opened from memory this time.
  std::ifstream in(rebuilt, std::ios::binary);
  const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  arjhost::OpenOptions options;
  options.name = "rebuilt.arj";
  arjhost::OpenResult again = arjhost::Archive::OpenMemory(host, bytes.data(), bytes.size(), options);
  if (!again.ok()) return Fail(again.status);
  std::printf("rebuilt: %zu entries, last %s\n", again.archive->Entries().size(),
              again.archive->Entries().back().name.c_str());
  return 0;
}
