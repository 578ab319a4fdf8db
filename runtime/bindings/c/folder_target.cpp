#include "runtime/bindings/c/folder_target.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace arjhost::capi {

std::unique_ptr<FolderTarget> FolderTarget::Open(const std::string& folder, unsigned flags, int codepage,
                                                 bool hard_links, Failure* failure) {
  std::error_code ignored;  // a folder that cannot be made fails to open below
  std::filesystem::create_directories(folder, ignored);
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    failure->Set(ARJHOST_ERR_IO, folder + ": cannot open the extraction folder: " + std::strerror(errno));
    return nullptr;
  }
  std::unique_ptr<FolderTarget> target(new FolderTarget(folder, flags, fd));
  FolderExtractionOptions options;
  options.codepage = codepage;
  options.flat = (flags & ARJHOST_EXTRACT_FLAT) != 0;
  options.overwrite = (flags & ARJHOST_EXTRACT_OVERWRITE) != 0;
  options.preserve_permissions = (flags & ARJHOST_EXTRACT_PRESERVE_PERMISSIONS) != 0;
  options.keep_damaged = (flags & ARJHOST_EXTRACT_KEEP_DAMAGED) != 0;
  options.hard_links = hard_links;
  options.switches = {"ARJHOST_EXTRACT_OVERWRITE", "ARJHOST_EXTRACT_SKIP_EXISTING", "ARJHOST_EXTRACT_KEEP_DAMAGED"};
  target->extraction_ = std::make_unique<FolderExtraction>(fd, options);
  return target;
}

FolderTarget::~FolderTarget() {
  extraction_.reset();
  ::close(fd_);
}

std::string FolderTarget::Finish(size_t* tag) {
  std::string first;
  extraction_->FinishFolders([&first, tag](size_t failed, const std::string& why) {
    if (!first.empty()) return;
    first = why;
    *tag = failed;
  });
  return first;
}

}  // namespace arjhost::capi
