// Files and folders for tests: whole-file reads and writes, a temporary
// folder, and the paths of the source and build trees.
#pragma once

#include <string>

#include "tests/support/bytes.h"

namespace testing_support {

// Throws when the file cannot be written.
void WriteFile(const std::string& path, const Bytes& bytes);
void WriteFile(const std::string& path, const std::string& bytes);
// Empty when the file is missing.
Bytes ReadFile(const std::string& path);
std::string ReadText(const std::string& path);

// A fresh temporary folder, removed with its contents on destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// A file in the build folder (the tool, the plug-in library).
std::string BuildPath(const std::string& name);
std::string SourcePath(const std::string& name);
// The path and the bytes of a file under tests/data.
std::string Data(const std::string& name);
Bytes DataFile(const std::string& name);

}  // namespace testing_support
