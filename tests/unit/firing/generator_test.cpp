// The pulse generator on counter 0, the charge-mode line and the emergency halt.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/fixture.hpp"

namespace morvand::test {
namespace {

class GeneratorTest : public ControllerTest {
 protected:
  /// LM-10 (RepRateMax 310) with F2.
  Morvand& start(const std::string& cardName) {
    make();
    selectCard(cardName);
    return *m_;
  }
};

TEST_F(GeneratorTest, PulseProgramsThePeriodAndBlocksCountingOnThe1711UntilReset) {
  Morvand& m = start("PCI-1711");
  m.RepRate = 100;
  m.Pulse(100);
  EXPECT_EQ(m.RepRateOld, 100);
  EXPECT_TRUE(m.CountDisabled);
  m.PulseReset();
  EXPECT_EQ(m.RepRateOld, 0);
  EXPECT_FALSE(m.CountDisabled);
  EXPECT_EQ(card->texts(), (Strings{"CounterPulseStart(0, 0.01, 0, 0)", "CounterReset(0)"}));
}

TEST_F(GeneratorTest, PulseLooksAtTheRequestedRateButProgramsItsArgument) {
  Morvand& m = start("PCI-1712");
  m.RepRate = 100;
  m.Pulse(400);  // above RepRateMax, but the guard only sees RepRate
  EXPECT_EQ(card->texts(), (Strings{"CounterPulseStart(0, 0.0025, 0, 0)"}));
  EXPECT_EQ(m.RepRateOld, 400);
  EXPECT_FALSE(m.CountDisabled);  // the 1712 counts on another counter
}

TEST_F(GeneratorTest, PulseWithNoRateOrTooHighARateResetsTheGeneratorInstead) {
  Morvand& m = start("PCI-1711");
  for (int32_t rate : {0, 311}) {
    SCOPED_TRACE(rate);
    card->clearCalls();
    m.RepRate = rate;
    m.RepRateOld = 50;
    m.Pulse(100);
    EXPECT_EQ(card->texts(), (Strings{"CounterReset(0)"}));
    EXPECT_EQ(m.RepRateOld, 0);
  }
}

TEST_F(GeneratorTest, AFailedStartIsReportedAndLeavesTheMirroredStateAlone) {
  Morvand& m = start("PCI-1711");
  m.PopupMessage = true;
  m.RepRate = 100;
  m.RepRateOld = 20;
  card->setErrorText(11, "counter busy");
  card->failCall(Op::CounterPulseStart, 11);
  m.Pulse(100);
  EXPECT_EQ(m.RepRateOld, 20);
  EXPECT_FALSE(m.CountDisabled);
  ASSERT_EQ(host.boxes.size(), 1u);
  EXPECT_EQ(host.boxes[0].text, "counter busy");
  EXPECT_EQ(host.boxes[0].title, "Error!!");
  EXPECT_EQ(host.boxes[0].style, 0);
  m.CountDisabled = true;
  card->failCall(Op::CounterReset, 11);
  m.PulseReset();
  EXPECT_EQ(m.RepRateOld, 20);
  EXPECT_TRUE(m.CountDisabled);
}

TEST_F(GeneratorTest, PulseAndImmediateCallTheDriverEvenWithoutACard) {
  Morvand& m = make();
  m.RepRate = 100;
  m.ChMode = 1;
  m.Pulse(100);
  m.Immediate(1);
  m.PulseReset();  // this one needs a card
  EXPECT_EQ(card->texts(),
            (Strings{"CounterPulseStart(0, 0.01, 0, 0)", "DioWritePortByte(0, 2, 2)"}));
  EXPECT_EQ(m.ChModeOld, 1);
}

TEST_F(GeneratorTest, ImmediateRecordsTheRequestedChargeModeNotItsArgument) {
  Morvand& m = start("PCI-1711");
  m.ChMode = 0;
  m.ChModeOld = 5;
  m.Immediate(1);
  EXPECT_EQ(m.ChModeOld, 0);
  EXPECT_EQ(card->texts(), (Strings{"DioWritePortByte(0, 2, 2)"}));
  card->failCall(Op::DioWritePortByte, 4);
  m.ChModeOld = 5;
  m.Immediate(0);
  EXPECT_EQ(m.ChModeOld, 5);
  EXPECT_THROW(m.Immediate(20000), OverflowError);
}

TEST_F(GeneratorTest, PulseOffSwitchesCounterZeroToCountingBeforeTheResetExceptOnThe1712) {
  Morvand& m = start("PCI-1711");
  m.PulseOFF();
  EXPECT_EQ(card->texts(), (Strings{"CounterFreqStart(0, 1, 0)", "CounterReset(0)"}));
  card->clearCalls();
  card->failCall(Op::CounterFreqStart, 2);
  m.PulseOFF();
  EXPECT_EQ(card->texts(), (Strings{"CounterFreqStart(0, 1, 0)", "GetErrorMessage(2)"}));

  freshCard();
  Morvand& m2 = start("PCI-1712");
  m2.PulseOFF();
  EXPECT_EQ(card->texts(), (Strings{"CounterReset(0)"}));
}

TEST_F(GeneratorTest, HaltStopsFiringFirstThenTheMotorVoltageAndLines) {
  Morvand& m = start("PCI-1711");
  m.flag2 = 0;
  bool stopAskedBeforeMotor = false;
  card->onCall = [&](const DriverCall& c) {
    if (c.op == Op::AOConfig && c.fields[0] == 1) stopAskedBeforeMotor = m.flag2 == 1;
  };
  m.Halt();
  EXPECT_EQ(card->texts(),
            (Strings{// the card form's counter leaves pulse output, then the generator reset
                     "CounterFreqStart(0, 1, 0)", "CounterReset(0)",
                     // enable line off before the motor ramps down
                     "DioWritePortByte(0, 128, 0)",
                     // motor ramp to zero, motor line off
                     "AOConfig(1, 5, 0)", "AOVoltageOut(1, 0)", "DioWritePortByte(0, 4, 0)",
                     // no charging voltage, enable line and valve-port line 7 off
                     "AOVoltageOut(0, 0)", "DioWritePortByte(0, 128, 0)",
                     "DioWritePortByte(1, 128, 0)"}));
  EXPECT_TRUE(stopAskedBeforeMotor);
  EXPECT_EQ(m.flag2, 1);
}

TEST_F(GeneratorTest, HaltUsesTheCounterSelectedOnTheCardForm) {
  Morvand& m = start("PCI-1711");
  CardContext::current().form().lstChannelCount.SetListIndex(2);
  m.Halt();
  EXPECT_EQ(card->texts(Op::CounterFreqStart), (Strings{"CounterFreqStart(2, 1, 0)"}));
}

TEST_F(GeneratorTest, HaltOnThe1712SkipsTheCounterSwitchButDoesEverythingElse) {
  Morvand& m = start("PCI-1712");
  m.Halt();
  EXPECT_TRUE(card->texts(Op::CounterFreqStart).empty());
  EXPECT_EQ(card->texts(Op::CounterReset), (Strings{"CounterReset(0)"}));
  EXPECT_EQ(lastOf(card->texts(Op::AOVoltageOut)), "AOVoltageOut(0, 0)");
  EXPECT_EQ(lastOf(card->texts(Op::DioWritePortByte)), "DioWritePortByte(1, 128, 0)");
  EXPECT_EQ(m.flag2, 1);
}

TEST_F(GeneratorTest, AHaltWhoseCounterSwitchFailsTwiceIsReportedAndGoesOn) {
  Morvand& m = start("PCI-1711");
  m.flag2 = 0;
  card->failCall(Op::CounterFreqStart, 6, 1);
  card->failCall(Op::CounterFreqStart, 6, 2);
  m.Halt();
  EXPECT_EQ(host.messages, (Strings{"driver error 6"}));
  // The switch is tried once more before the report; every later step still runs.
  EXPECT_EQ(card->texts(Op::CounterFreqStart),
            (Strings{"CounterFreqStart(0, 1, 0)", "CounterFreqStart(0, 1, 0)"}));
  EXPECT_EQ(card->texts(Op::CounterReset), (Strings{"CounterReset(0)"}));
  EXPECT_EQ(lastOf(card->texts(Op::AOVoltageOut)), "AOVoltageOut(0, 0)");
  EXPECT_EQ(lastOf(card->texts()), "DioWritePortByte(1, 128, 0)");
  EXPECT_EQ(m.flag2, 1);
}

TEST_F(GeneratorTest, HaltWithoutACardDoesNothing) {
  Morvand& m = make();
  m.Halt();
  EXPECT_TRUE(card->calls().empty());
  EXPECT_EQ(m.flag2, 0);
}

}  // namespace
}  // namespace morvand::test
