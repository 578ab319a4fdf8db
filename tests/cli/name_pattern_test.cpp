// Which names a pattern takes: the wildcards, folders taking what is under
// them, and a pattern without '/' matching a name's last part.
#include <gtest/gtest.h>

#include <string>

#include "cli/input/name_pattern.h"

namespace {

TEST(NamePattern, WildcardsFoldersAndLastParts) {
  const struct {
    const char* pattern;
    const char* name;
    bool taken;
  } cases[] = {
      {"a.txt", "a.txt", true},
      {"a.txt", "b.txt", false},
      {"*.txt", "a.txt", true},
      {"*.txt", "docs/a.txt", true},       // no '/': the last part
      {"*.txt", "a.txt.bak", false},
      {"docs/*.txt", "docs/a.txt", true},
      {"docs/*.txt", "docs/sub/a.txt", false},  // '*' stays in its folder
      {"docs/**.txt", "docs/sub/a.txt", true},
      {"**/a.txt", "x/y/a.txt", true},
      {"docs/*.txt", "other/docs/a.txt", false},  // with '/': from the start
      {"?.txt", "a.txt", true},
      {"?.txt", "ab.txt", false},
      {"d?cs/a.txt", "d/cs/a.txt", false},  // '?' is no '/'
      {"docs", "docs/sub/a.txt", true},     // a folder takes what is under it
      {"docs/", "docs/sub/a.txt", true},
      {"docs/", "docs", true},
      {"doc", "docs/a.txt", false},
      {"d*", "docs/a.txt", true},          // a folder matched by a wildcard too
      {"*", "", true},
      {"", "a", false},
      {"a*b*c*d*e*f*g", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(cli::PatternTakes(c.pattern, c.name), c.taken) << c.pattern << " on " << c.name;
}

TEST(NamePattern, SelectionNamesPatternsThatTookNothingAndHonoursExclusions) {
  cli::Args args;
  args.options["exclude"] = {"*.log", "keep/old"};
  cli::NameSelection selection({"*.txt", "keep", "none*"}, args);
  EXPECT_TRUE(selection.Takes("a.txt", "a.txt"));
  EXPECT_FALSE(selection.Takes("b.log", "b.log"));
  EXPECT_TRUE(selection.Takes("keep/new/x", "keep/new/x"));
  EXPECT_FALSE(selection.Takes("keep/old/x", "keep/old/x")) << "an excluded folder takes what is under it out";
  EXPECT_FALSE(selection.Takes("other.bin", "other.bin"));
  EXPECT_EQ(selection.Unmatched(), std::vector<std::string>{"none*"});
  cli::NameSelection everything({}, cli::Args{});
  EXPECT_TRUE(everything.Takes("any/name", "any/name"));
  EXPECT_TRUE(everything.Unmatched().empty());
}

}  // namespace
