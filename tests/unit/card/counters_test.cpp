#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/fixture.hpp"
#include "support/probe.hpp"

namespace morvand::test {
namespace {

using std::chrono::milliseconds;
using ::testing::ElementsAre;

class CounterTest : public ControllerTest {
 protected:
  void SetUp() override { selectCard(); }
  detail::CounterState& counters() { return counterState(*m_); }
  void after(int ms) { clock.advance(milliseconds(ms)); }
};

TEST_F(CounterTest, ARateIsComputedOnlyOnceTheGateHasPassed) {
  m_->CounterStart(1);
  EXPECT_THAT(card->texts(), ElementsAre("CounterEventStart(1, 0)"));
  EXPECT_TRUE(counters().CountActive[1]);
  after(500);
  card->setCount(1, 10);
  EXPECT_FALSE(m_->CounterRead(1));
  EXPECT_EQ(counters().CountNow[1], 10);
  after(700);
  card->setCount(1, 30);
  EXPECT_TRUE(m_->CounterRead(1));
  EXPECT_NEAR(counters().CountFreq[1], 30 / 1.2, 1e-6);
  EXPECT_EQ(counters().CountPrev[1], 30);
}

TEST_F(CounterTest, WithoutAGateEveryIncreaseGivesARate) {
  m_->CountPeriod = 0.0;
  m_->CounterStart(2);
  after(100);
  card->setCount(2, 5);
  EXPECT_TRUE(m_->CounterRead(2));
  EXPECT_NEAR(counters().CountFreq[2], 50.0, 1e-6);
}

TEST_F(CounterTest, ASilentCounterReadsZeroAndCatchesUpOneSecondPerCall) {
  m_->CounterStart(0);
  after(1500);
  card->setCount(0, 15);
  ASSERT_TRUE(m_->CounterRead(0));
  after(2900);
  EXPECT_FALSE(m_->CounterRead(0));
  EXPECT_NEAR(counters().CountFreq[0], 10.0, 1e-6);
  after(2600);  // 5.5 s since the last rate
  EXPECT_TRUE(m_->CounterRead(0));
  EXPECT_EQ(counters().CountFreq[0], 0.0);
  EXPECT_TRUE(m_->CounterRead(0));   // reference 4.5 s behind
  EXPECT_TRUE(m_->CounterRead(0));   // 3.5 s behind
  EXPECT_FALSE(m_->CounterRead(0));  // 2.5 s behind: caught up
}

TEST_F(CounterTest, FreqReadWorksOnStoredCountsOnly) {
  m_->CounterStart(1);
  EXPECT_FALSE(m_->CounterFreqRead(1));
  after(400);
  card->setCount(1, 8);
  EXPECT_FALSE(m_->CounterRead(1));
  card->clearCalls();
  EXPECT_TRUE(m_->CounterFreqRead(1));
  EXPECT_NEAR(counters().CountFreq[1], 20.0, 1e-6);
  EXPECT_FALSE(m_->CounterFreqRead(1));
  EXPECT_TRUE(card->texts().empty());
}

TEST_F(CounterTest, AnUnknownCounterFailsBeforeAnyDriverCall) {
  EXPECT_THROW(m_->CounterStart(3), IndexError);
  EXPECT_THROW(m_->CounterRead(-1), IndexError);
  EXPECT_THROW(m_->CounterStop(3), IndexError);
  EXPECT_THROW(m_->CounterFreqRead(7), IndexError);
  EXPECT_TRUE(card->texts().empty());
}

TEST_F(CounterTest, AFailedReadIsReportedAndLeavesTheRateState) {
  m_->CounterStart(1);
  after(2000);
  card->setCount(1, 40);
  card->failCall(Op::CounterEventRead, 6);
  card->setErrorText(6, "counter fault");
  EXPECT_FALSE(m_->CounterRead(1));
  EXPECT_EQ(counters().CountNow[1], 0);
  EXPECT_THAT(host.messages, ElementsAre("counter fault"));
}

TEST_F(CounterTest, StopMarksTheCounterInactiveAndReportsFailuresWithTheStatus) {
  m_->CounterStart(2);
  m_->CounterStop(2);
  EXPECT_FALSE(counters().CountActive[2]);
  m_->CounterStart(2);
  card->failCall(Op::CounterReset, 7);
  card->setErrorText(7, "no such counter");
  m_->CounterStop(2);
  EXPECT_TRUE(counters().CountActive[2]);
  EXPECT_THAT(host.messages, ElementsAre("7: no such counter"));
}

TEST_F(CounterTest, TheFixedCounterOperationsTouchOnlyTheirCounter) {
  card->setCount(1, 77);
  card->setCount(2, 99);
  m_->Counter0Start();
  m_->Counter2Start();
  m_->Counter1Read();
  m_->Counter2Read();
  EXPECT_EQ(counters().Counter1Count, 77);
  EXPECT_FALSE(counters().CountActive[0]);
  EXPECT_THAT(card->texts(), ElementsAre("CounterEventStart(0, 0)", "CounterEventStart(2, 0)",
                                         "CounterEventRead(1)", "CounterEventRead(2)"));
}

TEST_F(CounterTest, WithoutACardNothingIsCounted) {
  m_->PCIcard = 0;
  m_->CounterStart(1);
  m_->Counter1Read();
  EXPECT_FALSE(m_->CounterRead(1));
  EXPECT_FALSE(counters().CountActive[1]);
  EXPECT_TRUE(card->texts().empty());
}

}  // namespace
}  // namespace morvand::test
