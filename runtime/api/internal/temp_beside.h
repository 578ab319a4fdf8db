// A temporary file in the destination's folder, that either replaces the
// destination in one rename or is removed.
#pragma once

#include <string>

namespace arjhost {

class TempBeside {
 public:
  explicit TempBeside(std::string destination) : destination_(std::move(destination)) {}
  ~TempBeside();  // removes the file unless committed
  TempBeside(const TempBeside&) = delete;
  TempBeside& operator=(const TempBeside&) = delete;

  // Creates the empty file, with the destination's permissions if it
  // exists. False with `error` set when that is not possible.
  bool Create(std::string* error);
  const std::string& path() const { return path_; }
  // Renames the file over the destination.
  bool Commit(std::string* error);

 private:
  std::string destination_;
  std::string path_;
  bool committed_ = false;
};

}  // namespace arjhost
