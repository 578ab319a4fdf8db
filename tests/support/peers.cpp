#include "tests/support/peers.h"

#include <cstdlib>
#include <sstream>

#include "tests/support/test_host.h"

namespace testing_support {

bool ToolInstalled(const std::string& tool) {
  return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

bool RunningInCi() {
  const char* ci = std::getenv("CI");
  return ci != nullptr && std::string(ci) == "true";
}

int RunArj(const std::string& dir, const std::string& args, std::string* output) {
  std::string ignored;
  return RunCommand("cd '" + dir + "' && arj " + args + " -y </dev/null", output ? output : &ignored);
}

std::vector<PeerEntry> ListWith7zz(const std::string& archive) {
  std::string out;
  RunCommand("7zz l -slt '" + archive + "'", &out);
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
