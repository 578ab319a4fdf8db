// Writes the files of the checked-in test archives into a folder; used by
// make_data.sh.
#include <cstdio>

#include "tests/support/sample_data.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
    return 2;
  }
  return testing_support::WriteSampleFiles(argv[1], testing_support::CheckedInSamples()) ? 0 : 1;
}
