#include "runtime/api/internal/file_stamp.h"

#include <sys/stat.h>

namespace arjhost {

FileStamp StampOfFile(const std::string& path) {
  FileStamp stamp;
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return stamp;
  stamp.known = true;
  stamp.device = st.st_dev;
  stamp.inode = st.st_ino;
  stamp.size = static_cast<uint64_t>(st.st_size);
  stamp.modified_seconds = st.st_mtim.tv_sec;
  stamp.modified_nanoseconds = st.st_mtim.tv_nsec;
  return stamp;
}

}  // namespace arjhost
