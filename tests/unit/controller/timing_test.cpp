#include <gtest/gtest.h>

#include "support/fixture.hpp"

namespace morvand::test {
namespace {

// Times below are differences of doubles around 1000 s: equal to within a nanosecond.
class TimingTest : public ControllerTest {};

TEST_F(TimingTest, WaitingReturnsNoEarlierThanAskedAndYieldsAndSleepsEveryPass) {
  Morvand& m = make();
  ASSERT_TRUE(m.LowCPU);
  host.yieldStep = std::chrono::microseconds(100);
  const double start = m.myTimer();
  const auto sleepsBefore = clock.sleeps();
  m.Waiting(0.1);
  EXPECT_GE(m.myTimer() - start, 0.1 - 1e-9);
  EXPECT_LT(m.myTimer() - start, 0.1 + 0.0015);
  EXPECT_GT(host.yields, 0);
  // One 1 ms sleep per pass, and one yield per pass.
  EXPECT_EQ(clock.sleeps() - sleepsBefore, host.yields);
}

TEST_F(TimingTest, WaitingWithoutLowCpuSpinsOnYieldsOnly) {
  Morvand& m = make();
  m.LowCPU = false;
  host.yieldStep = std::chrono::milliseconds(2);
  const auto sleepsBefore = clock.sleeps();
  const double start = m.myTimer();
  m.Waiting(0.01);
  EXPECT_GE(m.myTimer() - start, 0.01 - 1e-9);
  EXPECT_EQ(clock.sleeps(), sleepsBefore);
  EXPECT_EQ(host.yields, 5);
}

TEST_F(TimingTest, WaitingForZeroOrLessReturnsAtOnceWithoutYielding) {
  Morvand& m = make();
  const double start = m.myTimer();
  m.Waiting(0.0);
  m.Waiting(-1.0);
  m.Delay(0.0);
  EXPECT_EQ(host.yields, 0);
  EXPECT_EQ(m.myTimer(), start);
}

TEST_F(TimingTest, DelayWaitsLikeWaiting) {
  Morvand& m = make();
  host.yieldStep = std::chrono::microseconds(250);
  const double start = m.myTimer();
  m.Delay(0.05);
  const double delayed = m.myTimer() - start;
  const auto yieldsOfDelay = host.yields;
  host.yields = 0;
  const double start2 = m.myTimer();
  m.Waiting(0.05);
  EXPECT_NEAR(m.myTimer() - start2, delayed, 1e-9);
  EXPECT_EQ(host.yields, yieldsOfDelay);
}

TEST_F(TimingTest, TheTimerKeepsMillisecondResolutionAfterWeeksOfUptime) {
  // A tick count converted through a single would step by 128 ms here.
  clock.advance(std::chrono::hours(24 * 40));
  Morvand& m = make();
  const double t0 = m.myTimer();
  clock.advance(std::chrono::milliseconds(1));
  const double t1 = m.myTimer();
  EXPECT_NEAR(t1 - t0, 0.001, 1e-9);
  clock.advance(std::chrono::hours(24 * 20));  // past where a 32-bit tick would wrap
  EXPECT_GT(m.myTimer(), t1);
}

}  // namespace
}  // namespace morvand::test
