#include "runtime/services/native_path.h"

#include <dirent.h>
#include <strings.h>

#include <climits>
#include <exception>
#include <new>
#include <vector>

#include "runtime/core/properties.h"
#include "runtime/services/services.h"

namespace arjrt {

bool FindNameIgnoringCase(const std::string& dir, std::string_view name, std::string* found) {
  DIR* listing = ::opendir(dir.c_str());
  if (listing == nullptr) return false;
  bool any = false;
  while (const dirent* e = ::readdir(listing)) {
    const std::string_view candidate(e->d_name);
    if (candidate.size() != name.size() || ::strncasecmp(e->d_name, name.data(), name.size()) != 0) continue;
    if (!any || candidate < *found) *found = candidate;
    any = true;
  }
  ::closedir(listing);
  return any;
}

std::string_view BaseName(std::string_view path) {
  const size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string_view DirectoryName(std::string_view path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string_view::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string JoinPath(std::string_view dir, std::string_view name) {
  std::string path(dir);
  if (path.empty() || path.back() != '/') path += '/';
  path += name;
  return path;
}

bool IsSiblingName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
         name.find('\0') == std::string_view::npos;
}

ResultCode NameInText(ObjectRef text, std::string* name) {
  if (text == nullptr || text->system == nullptr || text->system->GetInterfaceId(text) != IID_TEXT)
    return ERR_BAD_PARAMETER;
  try {
    std::vector<char> buffer(PATH_MAX);
    ResultCode result = host::Text(text).CopyToBuffer(text, 0, UINT32_MAX, buffer.data(),
                                                      static_cast<uint32_t>(buffer.size()), CP_HOST_PATHS, 0);
    if (Failed(result)) return ERR_BAD_PARAMETER;  // too long for a path
    buffer.back() = '\0';
    name->assign(buffer.data());
  } catch (const std::exception&) {
    return ERR_NO_MEMORY;
  }
  // A NUL inside the text would cut the name short; our texts tell their full length.
  uint32_t length = 0;
  if (!Failed(ReadProperty(text, PROP_TEXT_VALUE, nullptr, 0, &length)) && length != name->size() + 1)
    return ERR_BAD_PARAMETER;
  return RESULT_OK;
}

bool DirectoryOfNativeFile(ObjectRef io, std::string* dir) {
  if (io == nullptr || GetDWordProperty(io, PROP_IO_ORIGIN) != IO_ORIGIN_NATIVE_FILE) return false;
  uint32_t length = 0;
  if (Failed(ReadProperty(io, PROP_OBJECT_PATH, nullptr, 0, &length)) || length <= 1) return false;
  try {
    std::vector<char> path(length);
    if (Failed(GetStringProperty(io, &length, PROP_OBJECT_PATH, path.data(), length, CP_HOST_PATHS))) return false;
    std::string_view text(path.data());
    if (text.empty()) return false;
    dir->assign(DirectoryName(text));
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

}  // namespace arjrt
