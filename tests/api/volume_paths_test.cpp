// The paths of a written set's volumes, and the first volume a later one's
// name leads to (the writer's lock and commit record are named after it).
#include <gtest/gtest.h>

#include "runtime/api/internal/volume_names.h"
#include "tests/support/files.h"

namespace {

using namespace testing_support;

TEST(VolumePaths, LaterVolumesTakeTheCaseOfTheFirst) {
  const struct {
    const char* first;
    size_t number;
    const char* path;
  } rows[] = {{"d.x/set.arj", 0, "d.x/set.arj"}, {"d.x/set.arj", 1, "d.x/set.a01"}, {"set.Arj", 0, "set.Arj"},
              {"SET.ARJ", 99, "SET.A99"},        {"SET.ARJ", 100, "SET.100"},       {"set.arj", 998, "set.998"}};
  for (const auto& row : rows) EXPECT_EQ(arjhost::VolumePath(row.first, row.number), row.path) << row.first;
}

TEST(VolumePaths, VolumesOfASet) {
  const struct {
    const char* first;
    const char* name;
    bool of_it;
  } rows[] = {{"d/set.arj", "set.arj", true},  {"d/set.arj", "set.a07", true},  {"d/set.arj", "set.140", true},
              {"d/SET.ARJ", "SET.A07", true},  {"d/SET.ARJ", "SET.100", true},  {"d/set.arj", "set.A07", false},
              {"d/set.arj", "set.ARJ", false}, {"d/set.arj", "set.a7", false},  {"d/set.arj", "set.007", false},
              {"d/set.arj", "set.abc", false}, {"d/set.arj", "other.a01", false}, {"d/set.arj", "set", false}};
  for (const auto& row : rows) EXPECT_EQ(arjhost::IsVolumeOf(row.first, row.name), row.of_it) << row.name;
}

TEST(VolumePaths, FirstVolumeOfALaterOne) {
  TempDir dir;
  WriteFile(dir.File("low.arj"), "x");
  WriteFile(dir.File("UP.ARJ"), "x");
  const struct {
    std::string path;
    std::string first;
  } rows[] = {
      {dir.File("low.a05"), dir.File("low.arj")},   {dir.File("low.100"), dir.File("low.arj")},  // found in its case
      {dir.File("UP.A05"), dir.File("UP.ARJ")},     {dir.File("UP.100"), dir.File("UP.ARJ")},
      {dir.File("none.a05"), dir.File("none.arj")}, {dir.File("none.100"), dir.File("none.Arj")},  // as the reader names it
      {dir.File("low.arj"), dir.File("low.arj")},   {dir.File("low.a5"), dir.File("low.a5")},     // no later volume's
      {dir.File("low.abc"), dir.File("low.abc")},   {dir.File("low.007"), dir.File("low.007")},
      {dir.File("low"), dir.File("low")},
  };
  for (const auto& row : rows) EXPECT_EQ(arjhost::FirstVolumeOf(row.path), row.first) << row.path;
}

}  // namespace
