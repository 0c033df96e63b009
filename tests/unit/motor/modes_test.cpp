// Digital motor levels and the rate-driven motor sequences.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/call_trace.hpp"
#include "support/fixture.hpp"

namespace morvand::test {
namespace {

class MotorModesTest : public ControllerTest {
 protected:
  /// A controller for the model code (LM-10 is 5, RepRateMax 310, medium 217) on a PCI-1711.
  Morvand& start(int16_t model = 5) {
    dir.write(model, 2);
    make();
    selectCard("PCI-1711");
    return *m_;
  }
  /// The port writes and waits of what ran since the trace started.
  Strings writes() {
    trace->finish();
    return trace->entries({"DioWritePortByte"});
  }
  void startTrace() {
    trace.reset();  // the old trace lets go of the card before the new one takes it
    trace = std::make_unique<CallTrace>(*card, clock);
  }
  std::unique_ptr<CallTrace> trace;
};

TEST_F(MotorModesTest, MotorWritesTheSpeedLinesAndStoppingAlsoClearsTheChargeModeLine) {
  Morvand& m = start();
  EXPECT_TRUE(m.Motor(2));
  EXPECT_TRUE(m.Motor(0));
  EXPECT_EQ(card->texts(), (Strings{"DioWritePortByte(0, 12, 8)", "DioWritePortByte(0, 14, 0)"}));
  EXPECT_EQ(host.events, (Strings{"MotorSelect(2, 1)", "MotorSelect(0, 1)"}));
  EXPECT_EQ(m.mmode, 0);
}

TEST_F(MotorModesTest, ProgrammablePortsGetTheirDirectionBeforeEveryLevelWrite) {
  card->features.numProgrammablePorts = 2;
  Morvand& m = start();
  EXPECT_TRUE(m.DCmotorOn(1));
  EXPECT_EQ(card->texts(), (Strings{"DioSetPortMode(0, 1)", "DioWritePortByte(0, 14, 132)"}));
}

TEST_F(MotorModesTest, DCmotorOnKeepsTheChargeModeLineAsChModeAsks) {
  Morvand& m = start();
  m.ChMode = 1;
  EXPECT_TRUE(m.DCmotorOn(3));
  m.ChMode = 0;
  EXPECT_TRUE(m.DCmotorOn(3));
  EXPECT_TRUE(m.DCmotorOn(2));
  EXPECT_TRUE(m.DCmotorOn(0));
  EXPECT_EQ(card->texts(Op::DioWritePortByte),
            (Strings{"DioWritePortByte(0, 14, 142)", "DioWritePortByte(0, 14, 140)",
                     "DioWritePortByte(0, 14, 136)", "DioWritePortByte(0, 14, 0)"}));
  EXPECT_EQ(lastOf(host.eventsNamed("MotorSelect")), "MotorSelect(0, 2)");
}

TEST_F(MotorModesTest, ALevelOutsideZeroToThreeIsRefusedBeforeAnyDriverCall) {
  Morvand& m = start();
  m.Motor(2);
  m.Fan(false);  // the last port request: the fan line, value 16
  card->clearCalls();
  host.events.clear();
  for (int16_t level : {-1, 4, 5, 8191}) {
    EXPECT_THROW(m.DCmotorOn(level), IndexError) << level;
    EXPECT_THROW(m.Motor(level), IndexError) << level;
  }
  EXPECT_TRUE(card->calls().empty());
  EXPECT_TRUE(host.events.empty());
  EXPECT_EQ(m.mmode, 2);
  // A level whose line value overflows keeps its overflow error.
  EXPECT_THROW(m.Motor(8192), OverflowError);
}

TEST_F(MotorModesTest, AFailedLevelWriteIsReportedAndKeepsTheLastLevelWritten) {
  Morvand& m = start();
  m.Motor(1);
  host.events.clear();
  card->setStatus(Op::DioWritePortByte, 7);
  EXPECT_FALSE(m.Motor(3));
  EXPECT_FALSE(m.DCmotorOn(2));
  EXPECT_EQ(m.mmode, 1);
  EXPECT_EQ(host.events, (Strings{"LaserMessenger(driver error 7)", "MotorSelect(1, 0)",
                                  "LaserMessenger(driver error 7)", "MotorSelect(1, 0)"}));
  // MotorOff hides the failure in its empty result.
  EXPECT_NO_THROW(m.MotorOff());
}

TEST_F(MotorModesTest, WithoutACardNoLevelIsWrittenAndNoEventRaised) {
  dir.write(5, 2);
  Morvand& m = make();
  EXPECT_FALSE(m.Motor(1));
  EXPECT_FALSE(m.DCmotorOn(1));
  EXPECT_FALSE(m.MotorOn());
  EXPECT_FALSE(m.MotorStart());
  EXPECT_TRUE(card->calls().empty());
  EXPECT_TRUE(host.events.empty());
}

TEST_F(MotorModesTest, ALevelWhoseLineValueDoesNotFitFailsBeforeAnyWrite) {
  Morvand& m = start();
  EXPECT_THROW(m.Motor(10000), OverflowError);
  EXPECT_TRUE(card->calls().empty());
}

TEST_F(MotorModesTest, SpeedShortcutsUseTheRampInTheEnhancedSchemeAndLevelsOtherwise) {
  Morvand& m = start();
  m.EH_sys = false;
  m.MotorSlow();
  m.MotorMedium();
  m.MotorFast();
  EXPECT_EQ(card->texts(), (Strings{"DioWritePortByte(0, 12, 4)", "DioWritePortByte(0, 12, 8)",
                                    "DioWritePortByte(0, 12, 12)"}));
  m.EH_sys = true;
  m.MotorFast();
  EXPECT_EQ(m.RepRateMV, 310);
  m.MotorMedium();
  EXPECT_EQ(m.RepRateMV, m.limits().RepRateMedium);
  m.MotorSlow();
  EXPECT_EQ(m.RepRateMV, m.limits().RepRateSlow);
}

struct StartCase {
  int32_t rate;
  bool result;
  Strings writes;
};

TEST_F(MotorModesTest, MotorStartClimbsLevelByLevelToTheSpeedOfTheRate) {
  const std::vector<StartCase> cases = {
      // 310 / 8 = 38.75 > 30: the motor stays at level 1.
      {30, true, {"DioWritePortByte(0, 14, 132)", "wait 6.00"}},
      {200,
       true,
       {"DioWritePortByte(0, 14, 132)", "wait 2.00", "DioWritePortByte(0, 14, 136)", "wait 4.00"}},
      {300,
       true,
       {"DioWritePortByte(0, 14, 132)", "wait 2.00", "DioWritePortByte(0, 14, 136)", "wait 2.00",
        "DioWritePortByte(0, 14, 140)", "wait 4.00"}},
      // Above the model's top rate: false after level 1, no event, no final wait.
      {320, false, {"DioWritePortByte(0, 14, 132)", "wait 2.00"}},
  };
  Morvand& m = start();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.rate);
    m.mmode = 0;
    m.RepRate = c.rate;
    host.events.clear();
    startTrace();
    EXPECT_EQ(m.MotorStart(), c.result);
    EXPECT_EQ(writes(), c.writes);
    const Strings selects = host.eventsNamed("MotorSelect");
    if (c.result) {
      EXPECT_EQ(lastOf(selects), "MotorSelect(" + std::to_string(m.mmode) + ", 3)");
    } else {
      EXPECT_EQ(selects, (Strings{"MotorSelect(1, 2)"}));
    }
  }
  EXPECT_EQ(m.mmode, 1);  // the last case stopped at level 1
}

TEST_F(MotorModesTest, MotorStartTakesTheExternalRateRoundedHalfToEvenInExternalMode) {
  Morvand& m = start();
  m.RepRate = 300;
  m.TrigMode = 1;
  m.ExtRepRate = 38.5f;  // 38 (not 39): below 38.75, so level 1 is enough
  EXPECT_TRUE(m.MotorStart());
  EXPECT_EQ(card->texts(), (Strings{"DioWritePortByte(0, 14, 132)"}));
  m.TrigMode = 0;  // internal: the rate set-point decides
  card->clearCalls();
  EXPECT_TRUE(m.MotorStart());
  EXPECT_EQ(lastOf(card->texts()), "DioWritePortByte(0, 14, 140)");
}

TEST_F(MotorModesTest, MotorStartOnTheLm13GoesStraightToFullSpeed) {
  Morvand& m = start(1);
  m.RepRate = 20;
  startTrace();
  EXPECT_TRUE(m.MotorStart());
  EXPECT_EQ(writes(), (Strings{"DioWritePortByte(0, 12, 12)", "wait 4.00"}));
  EXPECT_EQ(host.eventsNamed("MotorSelect"), (Strings{"MotorSelect(3, 1)", "MotorSelect(3, 3)"}));
}

struct SetCase {
  int16_t model;
  int16_t level;
  int32_t rate;
  Strings writes;  // DCmotorOn levels as port values, and waits
};

TEST_F(MotorModesTest, MotorSetStepsThroughEachLowerLevelWithItsWaits) {
  const std::string l1 = "DioWritePortByte(0, 14, 132)";
  const std::string l2 = "DioWritePortByte(0, 14, 136)";
  const std::string l3 = "DioWritePortByte(0, 14, 140)";
  const std::vector<SetCase> cases = {
      // LM-10: slow below 310 / 6, fast above 217, medium between.
      {5, 0, 40, {l1, "wait 2.00"}},
      {5, 3, 40, {l1}},
      {5, 1, 40, {}},
      {5, 0, 300, {l1, "wait 2.00", l2, "wait 1.00", l3}},
      {5, 1, 300, {l2, "wait 1.00", l3}},
      {5, 2, 300, {l3}},
      {5, 3, 300, {}},
      {5, 0, 100, {l1, "wait 2.00", l2}},
      {5, 2, 100, {}},
      {5, 3, 100, {l2}},
      {5, 1, 100, {l2}},
      // LM-13: full speed from standstill whatever the rate; nothing once running.
      {1, 0, 20, {l1, "wait 2.00", l2, "wait 1.00", l3}},
      {1, 2, 20, {}},
      // LM-08: level 1 from standstill whatever the rate.
      {3, 0, 300, {l1, "wait 3.00"}},
      {3, 1, 300, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << "model " << c.model << " level " << c.level << " rate " << c.rate);
    if (!m_) start();
    m_->LaserTypeFlag = c.model;
    m_->LaserData();
    m_->mmode = c.level;
    startTrace();
    host.events.clear();
    m_->MotorSet(c.rate);
    EXPECT_EQ(writes(), c.writes);
    EXPECT_EQ(lastOf(host.eventsNamed("MotorSelect")),
              "MotorSelect(" + std::to_string(m_->mmode) + ", 4)");
  }
}

TEST_F(MotorModesTest, MotorSetGoesOnThroughFailedWritesAndStillReportsTheLevel) {
  Morvand& m = start();
  card->setStatus(Op::DioWritePortByte, 3);
  m.MotorSet(300);
  EXPECT_EQ(card->texts(Op::DioWritePortByte).size(), 3u);
  EXPECT_EQ(m.mmode, 0);
  EXPECT_EQ(lastOf(host.eventsNamed("MotorSelect")), "MotorSelect(0, 4)");
}

}  // namespace
}  // namespace morvand::test
