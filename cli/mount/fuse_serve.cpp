#define FUSE_USE_VERSION 312
#include <fcntl.h>
#include <fuse3/fuse.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

#include "cli/commands/commands.h"
#include "cli/mount/fuse_serve.h"
#include "cli/output/messages.h"

namespace cli {
namespace {

// What the tree is is known when the mount is made, and never changes:
// the kernel may keep names, attributes and pages for as long as it likes.
constexpr double kForever = 86400.0 * 365;
constexpr unsigned kMostThreads = 16;
// Files after an opened one decoded ahead of the reader: one keeps a
// second core busy while a reader goes through a folder.
constexpr size_t kDecodedAhead = 2;

const MountService& Service() { return *static_cast<const MountService*>(fuse_get_context()->private_data); }

void Fill(size_t id, struct stat* st) {
  const MountNode& node = Service().tree->node(id);
  std::memset(st, 0, sizeof *st);
  st->st_ino = static_cast<ino_t>(id + 1);
  switch (node.kind) {
    case MountNode::Kind::kFolder: st->st_mode = S_IFDIR; break;
    case MountNode::Kind::kFile: st->st_mode = S_IFREG; break;
    case MountNode::Kind::kSymbolicLink: st->st_mode = S_IFLNK; break;
  }
  st->st_mode |= node.mode;
  st->st_nlink = node.links;
  st->st_size = static_cast<off_t>(std::min<uint64_t>(node.size, static_cast<uint64_t>(LLONG_MAX)));
  st->st_blksize = 4096;
  st->st_blocks = static_cast<blkcnt_t>((node.size + 511) / 512);
  st->st_uid = getuid();
  st->st_gid = getgid();
  st->st_mtim.tv_sec = st->st_atim.tv_sec = st->st_ctim.tv_sec = static_cast<time_t>(node.time);
}

void* Init(struct fuse_conn_info*, struct fuse_config* config) {
  config->use_ino = 1;
  config->kernel_cache = 1;
  config->entry_timeout = config->attr_timeout = config->negative_timeout = kForever;
  return fuse_get_context()->private_data;
}

int GetAttr(const char* path, struct stat* st, struct fuse_file_info*) {
  const size_t id = Service().tree->IdOf(path);
  if (id == MountTree::kNotFound) return -ENOENT;
  Fill(id, st);
  return 0;
}

int ReadLink(const char* path, char* buffer, size_t size) {
  const MountNode* node = Service().tree->Find(path);
  if (node == nullptr) return -ENOENT;
  if (node->kind != MountNode::Kind::kSymbolicLink) return -EINVAL;
  if (size == 0) return -EINVAL;
  const size_t n = std::min(size - 1, node->target.size());
  std::memcpy(buffer, node->target.data(), n);
  buffer[n] = '\0';
  return 0;
}

int ReadDir(const char* path, void* buffer, fuse_fill_dir_t fill, off_t, struct fuse_file_info*,
            enum fuse_readdir_flags) {
  const MountTree& tree = *Service().tree;
  const size_t id = tree.IdOf(path);
  if (id == MountTree::kNotFound) return -ENOENT;
  if (tree.node(id).kind != MountNode::Kind::kFolder) return -ENOTDIR;
  fill(buffer, ".", nullptr, 0, static_cast<fuse_fill_dir_flags>(0));
  fill(buffer, "..", nullptr, 0, static_cast<fuse_fill_dir_flags>(0));
  for (const auto& [name, child] : tree.node(id).children) {
    struct stat st;
    Fill(child, &st);
    if (fill(buffer, name.c_str(), &st, 0, static_cast<fuse_fill_dir_flags>(0)) != 0) break;
  }
  return 0;
}

int Open(const char* path, struct fuse_file_info* info) {
  const MountNode* node = Service().tree->Find(path);
  if (node == nullptr) return -ENOENT;
  if (node->kind == MountNode::Kind::kFolder) return -EISDIR;
  if (node->kind == MountNode::Kind::kSymbolicLink) return -ELOOP;
  if ((info->flags & O_ACCMODE) != O_RDONLY) return -EROFS;
  info->fh = node->entry;
  info->keep_cache = 1;
  Service().cache->Opened(node->entry);
  Service().cache->DecodeAhead(Service().tree->EntriesAfter(path, kDecodedAhead));
  return 0;
}

int Read(const char*, char* buffer, size_t size, off_t offset, struct fuse_file_info* info) {
  if (offset < 0) return -EINVAL;
  size = std::min<size_t>(size, INT_MAX);
  return static_cast<int>(Service().cache->Read(info->fh, static_cast<uint64_t>(offset), buffer, size));
}

int Release(const char*, struct fuse_file_info* info) {
  Service().cache->Released(info->fh);
  return 0;
}

int StatFs(const char*, struct statvfs* st) {
  std::memset(st, 0, sizeof *st);
  st->f_bsize = st->f_frsize = 4096;
  st->f_files = Service().tree->size();
  st->f_namemax = 255;
  st->f_flag = ST_RDONLY;
  return 0;
}

struct fuse_operations Operations() {
  struct fuse_operations ops {};
  ops.init = Init;
  ops.getattr = GetAttr;
  ops.readlink = ReadLink;
  ops.readdir = ReadDir;
  ops.open = Open;
  ops.read = Read;
  ops.release = Release;
  ops.statfs = StatFs;
  return ops;
}

// The tool's own handlers end it at once; the mount's unmount first, and
// libfuse puts its handlers only where none are set.
void LetFuseTakeSignals() {
  for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction previous {};
    if (sigaction(signal_number, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) continue;
    ::signal(signal_number, SIG_DFL);
  }
}

}  // namespace

bool MountSupported() { return true; }

namespace {

// Makes the mount and serves it; `ready` hears the exit code for the
// caller once the mount is in place (or why it could not be: 2).
int Serve(const MountService& service, const std::function<void(int code)>& ready) {
  std::string fs_name = "fsname=" + service.source;
  // The mount table's fields are split on commas and spaces.
  std::replace_if(fs_name.begin(), fs_name.end(), [](char c) { return c == ',' || c == ' ' || c == '\\'; }, '_');
  std::string options = "ro,default_permissions,subtype=arj," + fs_name;
  char program[] = "arjhost";
  char option_flag[] = "-o";
  char* argv[] = {program, option_flag, options.data(), nullptr};
  struct fuse_args args = FUSE_ARGS_INIT(3, argv);
  const struct fuse_operations ops = Operations();
  struct fuse* fuse = fuse_new(&args, &ops, sizeof ops, const_cast<MountService*>(&service));
  fuse_opt_free_args(&args);  // libfuse may have copied them to add its own
  if (fuse == nullptr) {
    SayError("mount", "cannot start FUSE");
    ready(kExitFailure);
    return kExitFailure;
  }
  if (fuse_mount(fuse, service.mount_point.c_str()) != 0) {
    SayError("mount", "%s: cannot mount there (is it a folder, and can /dev/fuse be opened?)",
             service.mount_point.c_str());
    fuse_destroy(fuse);
    ready(kExitFailure);
    return kExitFailure;
  }
  ready(service.ready_code);
  if (service.detached) service.detached();
  struct fuse_session* session = fuse_get_session(fuse);
  LetFuseTakeSignals();
  fuse_set_signal_handlers(session);
  struct fuse_loop_config* loop = fuse_loop_cfg_create();
  fuse_loop_cfg_set_max_threads(loop, kMostThreads);
  const int served = fuse_loop_mt(fuse, loop);
  fuse_loop_cfg_destroy(loop);
  fuse_remove_signal_handlers(session);
  fuse_unmount(fuse);
  fuse_destroy(fuse);
  // The loop ends with the number of the signal that stopped it (an
  // unmount as clean as fusermount3's), or a failure of the channel.
  return served >= 0 ? service.ready_code : kExitPartial;
}

// Leaves the caller's session and terminal, as a daemon does.
void Detach() {
  const int null = open("/dev/null", O_RDWR | O_CLOEXEC);
  if (null >= 0) {
    dup2(null, STDIN_FILENO);
    dup2(null, STDOUT_FILENO);
    dup2(null, STDERR_FILENO);
    if (null > STDERR_FILENO) close(null);
  }
  if (chdir("/") != 0) return;
}

}  // namespace

int ServeMount(const MountService& service) {
  if (service.foreground) return Serve(service, [](int) {});
  // The mount is made and served in a child, before any thread starts;
  // the caller returns the code it sends once the mount is ready.
  int pipe_fds[2];
  if (pipe2(pipe_fds, O_CLOEXEC) != 0) {
    SayError("mount", "cannot start: %s", std::strerror(errno));
    return kExitFailure;
  }
  const pid_t child = fork();
  if (child < 0) {
    SayError("mount", "cannot start: %s", std::strerror(errno));
    return kExitFailure;
  }
  if (child > 0) {
    close(pipe_fds[1]);
    char code = kExitFailure;  // the child ended before it said
    while (read(pipe_fds[0], &code, 1) < 0 && errno == EINTR) {
    }
    close(pipe_fds[0]);
    return code;
  }
  close(pipe_fds[0]);
  setsid();
  const int code = Serve(service, [&pipe_fds](int ready) {
    // Messages until here reached the caller's stderr; from here they cannot.
    if (ready == kExitFailure) return;
    Detach();
    const char byte = static_cast<char>(ready);
    while (write(pipe_fds[1], &byte, 1) < 0 && errno == EINTR) {
    }
    close(pipe_fds[1]);
  });
  _exit(code);
}

}  // namespace cli
