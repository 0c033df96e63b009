// External start input, external trigger-rate measurements and the trigger tests.

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "support/call_trace.hpp"
#include "support/fixture.hpp"

namespace morvand::test {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

class ExtTriggerTest : public ControllerTest {
 protected:
  /// LM-10 (RepRateMax 310).
  Morvand& start(const std::string& cardName) {
    make();
    selectCard(cardName);
    return *m_;
  }
};

TEST_F(ExtTriggerTest, TheExternalStartInputHasHysteresisBetweenOneAndFourVolts) {
  Morvand& m = start("PCI-1711");
  card->queueAnalog(9, {4.5f, 2.0f, 4.0f, 0.5f, 1.0f});
  EXPECT_TRUE(m.ExtStart());
  EXPECT_TRUE(m.ExtStartFlag);
  EXPECT_FALSE(m.ExtStart());  // 2.0 V: inactive now, but the flag holds
  EXPECT_TRUE(m.ExtStartFlag);
  EXPECT_FALSE(m.ExtStart());  // 4.0 V is not above 4
  EXPECT_TRUE(m.ExtStartFlag);
  EXPECT_FALSE(m.ExtStart());  // 0.5 V clears it
  EXPECT_FALSE(m.ExtStartFlag);
  m.ExtStartFlag = true;
  EXPECT_FALSE(m.ExtStart());  // 1.0 V is not below 1
  EXPECT_TRUE(m.ExtStartFlag);
  EXPECT_EQ(firstOf(card->texts(Op::AIVoltageIn)), "AIVoltageIn(9, 0, 0)");
}

TEST_F(ExtTriggerTest, AFailedStartReadingIsReportedAndCountsAsInactive) {
  Morvand& m = start("PCI-1711");
  m.ExtStartFlag = true;
  card->failCall(Op::AIVoltageIn, 8);
  EXPECT_FALSE(m.ExtStart());
  EXPECT_FALSE(m.ExtStartFlag);
  EXPECT_EQ(host.messages, (Strings{"driver error 8"}));
}

TEST_F(ExtTriggerTest, WithoutACardNothingIsMeasured) {
  Morvand& m = make();
  m.ExtStartFlag = true;
  EXPECT_FALSE(m.ExtStart());
  EXPECT_TRUE(m.ExtStartFlag);
  EXPECT_FALSE(m.ExtRepRateMes());
  EXPECT_EQ(m.ExtRepRateMes1(), 0.0f);
  const double before = m.myTimer();
  EXPECT_EQ(m.InTrigMes(), 0);
  EXPECT_LT(m.myTimer() - before, 0.01);  // no gate to wait for
  EXPECT_TRUE(card->calls().empty());
}

struct RateCase {
  uint32_t count;  // pulses counted over 100 s
  std::string event;
};

TEST_F(ExtTriggerTest, TheTriggerCounterRateIsShownWithOneDecimalAndItsStatusText) {
  const std::vector<RateCase> cases = {
      {1234, "ExtRepRateRead(12.3, Ext. Trigger Active)"},
      {5, "ExtRepRateRead(0.1, Ext. Trigger Off)"},  // 0.05 Hz measured: off
      {31100, "ExtRepRateRead(311, Ext. Trigger Overflow)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.count);
    freshCard();
    Morvand& m = start("PCI-1711");
    EXPECT_TRUE(m.ExtRepRateMes());  // the first call starts the counter
    EXPECT_EQ(card->texts(), (Strings{"CounterEventStart(0, 0)"}));
    EXPECT_TRUE(host.events.empty());
    clock.advance(seconds(100));
    card->setCount(0, c.count);
    EXPECT_TRUE(m.ExtRepRateMes());
    EXPECT_EQ(host.eventsNamed("ExtRepRateRead"), (Strings{c.event}));
  }
}

TEST_F(ExtTriggerTest, TheTriggerRateIsMeasuredOnCounterTwoOfThe1712) {
  Morvand& m = start("PCI-1712");
  m.ExtRepRateMes();
  EXPECT_EQ(card->texts(), (Strings{"CounterEventStart(2, 0)"}));
}

TEST_F(ExtTriggerTest, WhileTheGeneratorHoldsTheCounterNoRateIsMeasuredAndCountingStartsAfresh) {
  Morvand& m = start("PCI-1711");
  m.ExtRepRateMes();
  m.CountDisabled = true;
  card->clearCalls();
  EXPECT_FALSE(m.ExtRepRateMes());
  EXPECT_TRUE(card->calls().empty());
  m.CountDisabled = false;
  EXPECT_TRUE(m.ExtRepRateMes());
  EXPECT_EQ(card->texts(), (Strings{"CounterEventStart(0, 0)"}));
}

TEST_F(ExtTriggerTest, CounterOneRateGatesOnCountPeriodAndRestartsAfterEachReport) {
  Morvand& m = start("PCI-1712");
  EXPECT_EQ(m.ExtRepRateMes1(), -1.0f);  // starts the gate
  EXPECT_EQ(card->texts(), (Strings{"CounterEventStart(1, 0)"}));
  clock.advance(seconds(1));
  EXPECT_EQ(m.ExtRepRateMes1(), -1.0f);  // 1.0 s is not more than CountPeriod
  EXPECT_EQ(card->texts().size(), 1u);
  clock.advance(milliseconds(1500));
  card->setCount(1, 50);
  m.ExtRepRate = 7.5f;
  m.ExtRepRate1 = 3;
  EXPECT_FLOAT_EQ(m.ExtRepRateMes1(), 20.0f);  // 50 pulses in 2.5 s
  EXPECT_EQ(m.ExtRepRate1, 8);                 // the previous rate, rounded half to even
  EXPECT_EQ(m.ExtRepRate2, 3);
  EXPECT_EQ(host.eventsNamed("ExtRepRateRead"),
            (Strings{"ExtRepRateRead(20, Ext. Trigger Active)"}));
  EXPECT_EQ(card->texts(),
            (Strings{"CounterEventStart(1, 0)", "CounterEventRead(1)", "CounterEventStart(1, 0)"}));
  clock.advance(milliseconds(500));
  EXPECT_EQ(m.ExtRepRateMes1(), -1.0f);  // a new gate has begun
}

TEST_F(ExtTriggerTest, CounterOneReportsOffWithoutPulsesAndOverflowAboveTheTopRate) {
  Morvand& m = start("PCI-1712");
  m.ExtRepRateMes1();
  clock.advance(seconds(2));
  card->setCount(1, 0);
  EXPECT_EQ(m.ExtRepRateMes1(), 0.0f);
  clock.advance(seconds(2));
  card->setCount(1, 700);
  EXPECT_FLOAT_EQ(m.ExtRepRateMes1(), 350.0f);
  EXPECT_EQ(host.eventsNamed("ExtRepRateRead"),
            (Strings{"ExtRepRateRead(0, Ext. Trigger Off)",
                     "ExtRepRateRead(350, Ext. Trigger Overflow)"}));
}

TEST_F(ExtTriggerTest, CounterOneRateIsOnlyMeasuredOnThe1712) {
  Morvand& m = start("PCI-1711");
  EXPECT_EQ(m.ExtRepRateMes1(), 0.0f);
  EXPECT_TRUE(card->calls().empty());
}

TEST_F(ExtTriggerTest, InTrigMesCountsOnCounterOneForTwoSeconds) {
  Morvand& m = start("PCI-1712");
  CallTrace trace(*card, clock);
  card->setCount(1, 40);
  EXPECT_EQ(m.InTrigMes(), 20);
  trace.finish();
  EXPECT_EQ(trace.entries(),
            (Strings{"CounterEventStart(1, 0)", "wait 2.00", "CounterEventRead(1)"}));
}

TEST_F(ExtTriggerTest, TriggerTestsFireTheGeneratorWithTheChargingVoltageAtZero) {
  Morvand& m = start("PCI-1711");
  host.inputs = {"100"};
  EXPECT_TRUE(m.InTrigTest());
  EXPECT_EQ(card->texts(), (Strings{"AOVoltageOut(0, 0)", "DioWritePortByte(0, 2, 0)",
                                    "CounterPulseStart(0, 0.01, 0, 0)"}));
  card->clearCalls();
  host.inputs = {"50"};
  EXPECT_TRUE(m.InTrigDCTest());
  EXPECT_EQ(card->texts(), (Strings{"AOVoltageOut(0, 0)", "DioWritePortByte(0, 2, 2)",
                                    "CounterPulseStart(0, 0.02, 0, 0)"}));
  card->clearCalls();
  m.InTrigOff();
  EXPECT_EQ(card->texts(),
            (Strings{"AOVoltageOut(0, 0)", "DioWritePortByte(0, 2, 0)", "CounterReset(0)"}));
  EXPECT_EQ(m.RepRateOld, 0);
}

TEST_F(ExtTriggerTest, ACancelledTriggerTestSwitchesTheVoltageOffAndStartsNothing) {
  Morvand& m = start("PCI-1711");
  host.inputs = {""};
  EXPECT_FALSE(m.InTrigTest());
  EXPECT_EQ(card->texts(), (Strings{"AOVoltageOut(0, 0)"}));
}

}  // namespace
}  // namespace morvand::test
