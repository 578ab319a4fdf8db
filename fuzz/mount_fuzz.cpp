// libFuzzer target: the mount's tree built from a hostile archive's
// entries, and every file of it read through the mount's cache, as the
// FUSE calls read it, without FUSE. The first byte chooses the chapter
// rule and a cache so small that entries go through spill files. Every
// path the tree holds must lead back to its node, every read must stay
// within the entry, and a read at an offset must give the bytes a read
// from the start gave.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cli/mount/archive_pool.h"
#include "cli/mount/entry_cache.h"
#include "cli/mount/mount_tree.h"
#include "fuzz/fuzz_support.h"
#include "runtime/api/archive.h"
#include "runtime/api/internal/host_state.h"
#include "runtime/core/runtime.h"

namespace {

constexpr uint64_t kMaxReadEntry = 1 << 20;
constexpr size_t kMaxWalked = 1 << 16;

void Check(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "mount fuzz: %s\n", what);
  std::abort();
}

// Walks the tree from its root: each path found leads back to its node.
void CheckTree(const cli::MountTree& tree, const std::vector<arjhost::EntryInfo>& entries) {
  std::vector<std::pair<std::string, size_t>> todo = {{"/", cli::MountTree::kRoot}};
  for (size_t walked = 0; !todo.empty() && walked < kMaxWalked; ++walked) {
    const auto [path, id] = todo.back();
    todo.pop_back();
    Check(id < tree.size() && tree.IdOf(path) == id, "a path does not lead to its node");
    const cli::MountNode& node = tree.node(id);
    if (node.kind == cli::MountNode::Kind::kFile)
      Check(node.entry < entries.size() && entries[node.entry].size == node.size, "a file without its entry");
    for (const auto& [name, child] : node.children) {
      Check(!name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos, "a bad name");
      todo.push_back({(path == "/" ? "" : path) + "/" + name, child});
    }
  }
}

void ReadFiles(const cli::MountTree& tree, const std::vector<arjhost::EntryInfo>& entries, cli::EntryCache& cache) {
  for (size_t id = 0; id < tree.size(); ++id) {
    const cli::MountNode& node = tree.node(id);
    if (node.kind != cli::MountNode::Kind::kFile || node.size > kMaxReadEntry) continue;
    cache.Opened(node.entry);
    std::vector<uint8_t> whole(static_cast<size_t>(node.size) + 16);
    const int64_t n = cache.Read(node.entry, 0, whole.data(), whole.size());
    Check(n == -EIO || n == static_cast<int64_t>(node.size), "a whole read is neither the entry nor EIO");
    if (n > 0) {
      const uint64_t offset = node.size / 3;
      std::vector<uint8_t> part(64);
      const int64_t m = cache.Read(node.entry, offset, part.data(), part.size());
      Check(m >= 0 && static_cast<uint64_t>(m) == std::min<uint64_t>(part.size(), node.size - offset),
            "a read at an offset is short");
      Check(std::memcmp(part.data(), whole.data() + offset, static_cast<size_t>(m)) == 0,
            "a read at an offset differs from the whole");
    }
    cache.Released(node.entry);
    (void)entries;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  arjhost::Host& host = fuzzing::FuzzHost();
  arjrt::Runtime& runtime = arjhost::HostAccess::RuntimeOf(host);
  const size_t objects = runtime.live_object_count();
  {
    arjhost::OpenOptions options;
    options.name = "fuzz.arj";
    arjhost::OpenResult opened = arjhost::Archive::OpenMemory(host, data + 1, size - 1, options);
    if (opened.archive) {
      const std::vector<arjhost::EntryInfo> entries = opened.archive->Entries();
      const int chapter = opened.archive->state().chapter;
      const bool by_chapter = (data[0] & 1) != 0;
      cli::MountTree::Options tree_options;
      tree_options.codepage = (data[0] & 2) != 0 ? 866 : 437;
      const cli::MountTree tree(
          entries,
          [&](const arjhost::EntryInfo& e) { return !by_chapter || arjhost::TakenForArchiveChapter(e, chapter); },
          tree_options, [](const arjhost::EntryInfo&, const std::string& why) { Check(!why.empty(), "no cause"); });
      CheckTree(tree, entries);
      cli::ArchivePool pool(*opened.archive, nullptr, 1);
      const uint64_t cache_bytes = (data[0] & 4) != 0 ? 64 : uint64_t{4} << 20;
      cli::EntryCache cache(pool, entries,
                            [](const arjhost::EntryInfo&, int attempt, std::string* password) {
                              *password = "secret";
                              return attempt == 0;
                            },
                            cache_bytes, [](const arjhost::EntryInfo&, const std::string& why) {
                              Check(!why.empty(), "an unreadable entry without a cause");
                            });
      ReadFiles(tree, entries, cache);
    }
  }
  fuzzing::CheckNothingLeft(runtime, objects);
  return 0;
}
