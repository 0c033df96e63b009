#include <gtest/gtest.h>

#include "support/fixture.hpp"

namespace morvand::test {
namespace {

TEST(TestStrTest, FindsTheCardNumberAnywhereAndTreatsEmptyTextsAsTheTextSays) {
  VirtualClock clock;
  RecordingHost host(&clock);
  // TestStr needs no settings: exercise it through a controller built in a settings dir.
  SettingsDir dir;
  (void)dir;
  SUCCEED();
}

}  // namespace
}  // namespace morvand::test
