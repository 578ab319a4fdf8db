#include "tests/support/files.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace testing_support {
namespace {

void WriteRaw(const std::string& path, const void* data, size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
  if (!out) throw std::runtime_error("cannot write " + path);
}

}  // namespace

void WriteFile(const std::string& path, const Bytes& bytes) { WriteRaw(path, bytes.data(), bytes.size()); }
void WriteFile(const std::string& path, const std::string& bytes) { WriteRaw(path, bytes.data(), bytes.size()); }

Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string ReadText(const std::string& path) { return AsString(ReadFile(path)); }

TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base != nullptr && *base ? base : "/tmp") + "/arjhost-test-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string BuildPath(const std::string& name) { return std::string(ARJHOST_BUILD_DIR) + "/" + name; }
std::string SourcePath(const std::string& name) { return std::string(ARJHOST_SOURCE_DIR) + "/" + name; }
std::string Data(const std::string& name) { return SourcePath("tests/data/" + name); }
Bytes DataFile(const std::string& name) { return ReadFile(Data(name)); }

}  // namespace testing_support
