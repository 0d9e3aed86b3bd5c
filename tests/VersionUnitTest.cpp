#include <gtest/gtest.h>

#include "base/VersionUnit.h"

namespace {

struct VersionCase {
  const char* version;
  const char* reference;
  bool atLeast;
};

TEST(VersionAtLeast, ComparesTheFirstThreeNumbers) {
  const VersionCase cases[] = {
      {"8.1", "8.1.0", true},      // a missing field counts as 0
      {"5.3.3", "5.3.4", false},
      {"5.3.4", "5.3.4", true},
      {"10.0.0", "9.9.9", true},   // numeric, not text, comparison
      {"9.9.9", "10.0.0", false},
      {"", "5.3.4", false},
      {"", "", true},
      {"7.a.9", "7.0.5", false},   // the minor field stops the reading: 7.0.0
      {"7.7.2", "7.7.3", false},
      {"8.2.0", "8.1.7", true},
      {"8.0.9", "8.1.0", false},
      {"8.2.0.99", "8.2.0.100", true},  // nothing beyond the third field counts
      {"8..5", "8.0.1", false},    // an empty field is not a number
      {"4.2.2", "4.2.2", true},
  };
  for (const VersionCase& c : cases) {
    EXPECT_EQ(VersionAtLeast(c.version, c.reference), c.atLeast)
        << c.version << " against " << c.reference;
  }
}

}  // namespace
