#include "tests/support/peers.h"

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "tests/support/commands.h"
#include "tests/support/files.h"

namespace testing_support {
namespace {

constexpr const char* kTimeLimit = "timeout 300 ";

int RunPeer(const std::string& tool, const std::string& dir, const std::string& args, std::string* output) {
  return RunCommand("cd " + Quote(dir) + " && " + kTimeLimit + tool + " " + args + " </dev/null", output);
}

}  // namespace

bool ToolInstalled(const std::string& tool) { return RunCommand("command -v " + tool) == 0; }

bool RunningInCi() {
  const char* ci = std::getenv("CI");
  return ci != nullptr && std::string(ci) == "true";
}

int RunArj(const std::string& dir, const std::string& args, std::string* output) {
  return RunPeer("arj", dir, args + " -y", output);
}

int Run7zz(const std::string& dir, const std::string& args, std::string* output) {
  return RunPeer("7zz", dir, args, output);
}

std::optional<Bytes> ArchiveWithArj(const std::vector<SampleFile>& files, int method,
                                    const std::vector<std::string>& options) {
  TempDir scratch;
  const std::string dir = scratch.File("files");
  std::error_code ec;
  std::filesystem::create_directory(dir, ec);
  if (ec || !WriteSampleFiles(dir, files)) return std::nullopt;
  std::string args = "a -m" + std::to_string(method);
  for (const std::string& option : options) {
    if (option.find('\'') != std::string::npos || option.find('\0') != std::string::npos) return std::nullopt;
    args += ' ';
    args += Quote(option);
  }
  // Exit code 1 is a warning only.
  if (RunArj(dir, args + " ../out.arj '*'") > 1) return std::nullopt;
  return ReadFile(scratch.File("out.arj"));
}

std::vector<PeerEntry> ListWith7zz(const std::string& archive) {
  std::string out;
  Run7zz(".", "l -slt " + Quote(archive), &out);
  std::vector<PeerEntry> entries;
  std::istringstream lines(out);
  std::string line;
  bool in_entries = false;
  while (std::getline(lines, line)) {
    if (line.rfind("----------", 0) == 0) in_entries = true;
    if (!in_entries) continue;
    auto value = [&](const char* key) -> const char* {
      size_t n = std::string(key).size();
      return line.compare(0, n, key) == 0 ? line.c_str() + n : nullptr;
    };
    if (const char* v = value("Path = ")) {
      entries.push_back({});
      entries.back().path = v;
    } else if (entries.empty()) {
      continue;
    } else if (const char* v = value("Size = ")) {
      entries.back().size = std::strtoull(v, nullptr, 10);
    } else if (const char* v = value("Packed Size = ")) {
      entries.back().packed = std::strtoull(v, nullptr, 10);
    } else if (const char* v = value("CRC = ")) {
      entries.back().crc = static_cast<uint32_t>(std::strtoul(v, nullptr, 16));
    } else if (const char* v = value("Method = ")) {
      entries.back().method = static_cast<uint32_t>(std::strtoul(v, nullptr, 10));
    } else if (const char* v = value("Encrypted = ")) {
      entries.back().encrypted = v[0] == '+';
    }
  }
  return entries;
}

std::vector<std::map<std::string, std::string>> FieldBlocks(const std::string& listing, const std::string& start) {
  std::vector<std::map<std::string, std::string>> blocks;
  std::istringstream lines(start.empty() ? listing : listing.substr(std::min(listing.find(start), listing.size())));
  std::string line;
  while (std::getline(lines, line)) {
    const size_t eq = line.find(" = ");
    if (eq == std::string::npos) continue;
    const std::string key = line.substr(0, eq);
    if (key == "Path") blocks.emplace_back();
    if (!blocks.empty()) blocks.back()[key] = line.substr(eq + 3);
  }
  return blocks;
}

}  // namespace testing_support
