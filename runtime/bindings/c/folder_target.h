// The folder a handle extracts into: open, with the library's extraction
// rules over it and the switches it was asked with.
#pragma once

#include <memory>
#include <string>

#include "runtime/bindings/c/c_status.h"
#include "runtime/operations/folder_extraction.h"

namespace arjhost::capi {

class FolderTarget {
 public:
  // Makes `folder` when missing and opens it; null with `failure` set.
  static std::unique_ptr<FolderTarget> Open(const std::string& folder, unsigned flags, int codepage, bool hard_links,
                                            Failure* failure);
  ~FolderTarget();
  FolderTarget(const FolderTarget&) = delete;
  FolderTarget& operator=(const FolderTarget&) = delete;

  bool Serves(const std::string& folder, unsigned flags) const { return folder == folder_ && flags == flags_; }
  FolderExtraction& extraction() { return *extraction_; }
  // The folders' stored modes and times, once their entries are in place:
  // "" or why the first of them could not take its own (`tag`: the one
  // its entry was prepared with).
  std::string Finish(size_t* tag);

 private:
  FolderTarget(std::string folder, unsigned flags, int fd) : folder_(std::move(folder)), flags_(flags), fd_(fd) {}

  std::string folder_;
  unsigned flags_;
  int fd_;
  std::unique_ptr<FolderExtraction> extraction_;
};

}  // namespace arjhost::capi
