#include "cli/input/name_lists.h"

#include <cerrno>
#include <cstring>
#include <algorithm>
#include <fstream>
#include <vector>

#include "cli/output/messages.h"
#include "cli/output/text_tools.h"

namespace cli {
namespace {

// A list longer than this is taken for a mistake (a binary file named
// after '@'), not read into memory.
constexpr std::streamoff kMaxListSize = 64 << 20;

bool ReadNameList(const std::string& command, const std::string& path, std::vector<std::string>* names) {
  std::ifstream in(path, std::ios::binary);
  const auto refuse = [&](const std::string& why) {
    SayError(command, "%s: the list of names cannot be read: %s", TerminalText(path).c_str(), why.c_str());
    return false;
  };
  if (!in) return refuse(std::strerror(errno));
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  if (size < 0) return refuse("it is not a file that can be read");  // a folder, for one
  if (size > kMaxListSize) return refuse("larger than 64 MiB");
  in.seekg(0);
  std::string text(static_cast<size_t>(size), '\0');
  if (!in.read(text.data(), size)) return refuse(std::strerror(errno));
  if (text.find('\0') != std::string::npos) return refuse("it holds a NUL byte: not a list of names");
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) names->push_back(std::move(line));
    start = end + 1;
  }
  return true;
}

}  // namespace

bool ExpandNameLists(const std::string& command, size_t first, Args* args) {
  std::vector<std::string> expanded(args->operands.begin(), args->operands.begin() + std::min(first, args->operands.size()));
  for (size_t i = first; i < args->operands.size(); ++i) {
    const std::string& operand = args->operands[i];
    if (operand.size() < 2 || operand[0] != '@') {
      expanded.push_back(operand);
      continue;
    }
    if (!ReadNameList(command, operand.substr(1), &expanded)) return false;
  }
  args->operands = std::move(expanded);
  return true;
}

}  // namespace cli
