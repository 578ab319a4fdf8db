#include "cli/input/name_pattern.h"

#include <algorithm>

namespace cli {
namespace {

// Whether `pattern` matches `name` whole or up to one of its '/' (a
// folder above it): one pass of the glob table, a row at a time, so that
// time is bounded by the two lengths' product and memory by the name's.
bool MatchesNameOrFolder(const std::string& pattern, const std::string& name) {
  const size_t n = name.size();
  std::vector<char> row(n + 1, 0), next(n + 1, 0);  // row[j]: the pattern so far matches name[0, j)
  row[0] = 1;
  for (size_t i = 0; i < pattern.size(); ++i) {
    const char p = pattern[i];
    const bool deep = p == '*' && i + 1 < pattern.size() && pattern[i + 1] == '*';
    std::fill(next.begin(), next.end(), 0);
    if (p == '*') {
      // A run: what row reached, then onwards over characters it may take.
      for (size_t j = 0; j <= n; ++j)
        next[j] = row[j] || (j > 0 && next[j - 1] && (deep || name[j - 1] != '/'));
      if (deep) ++i;
    } else {
      for (size_t j = 1; j <= n; ++j)
        next[j] = row[j - 1] && (p == '?' ? name[j - 1] != '/' : name[j - 1] == p);
    }
    row.swap(next);
  }
  for (size_t j = 1; j < n; ++j)
    if (row[j] && name[j] == '/') return true;
  return row[n] != 0;
}

}  // namespace

bool PatternTakes(const std::string& given, const std::string& name) {
  std::string pattern = given;
  while (pattern.size() > 1 && pattern.back() == '/') pattern.pop_back();
  if (MatchesNameOrFolder(pattern, name)) return true;
  // Without '/' the pattern may match a last part further down.
  return pattern.find('/') == std::string::npos && MatchesNameOrFolder("**/" + pattern, name);
}

NameSelection::NameSelection(std::vector<std::string> patterns, const Args& args) : patterns_(std::move(patterns)) {
  auto found = args.options.find("exclude");
  if (found != args.options.end()) excluded_ = found->second;
}

bool NameSelection::Excluded(const std::string& name) const {
  return std::any_of(excluded_.begin(), excluded_.end(), [&](const std::string& x) { return PatternTakes(x, name); });
}

bool NameSelection::Takes(const std::string& stored, const std::string& shown) {
  if (Excluded(stored) || (shown != stored && Excluded(shown))) return false;
  if (patterns_.empty()) return true;
  bool taken = false;
  // Every pattern that takes it counts as matched, not only the first.
  for (const std::string& p : patterns_)
    if (PatternTakes(p, stored) || (shown != stored && PatternTakes(p, shown))) {
      matched_.insert(p);
      taken = true;
    }
  return taken;
}

std::vector<std::string> NameSelection::Unmatched() const {
  std::vector<std::string> unmatched;
  for (const std::string& p : patterns_)
    if (!matched_.count(p)) unmatched.push_back(p);
  return unmatched;
}

}  // namespace cli
