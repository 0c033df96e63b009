// The motor drive voltage: rate law, motor-on line, output and monitor, and the ramps.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "support/call_trace.hpp"
#include "support/fixture.hpp"

namespace morvand::test {
namespace {

using Strings = std::vector<std::string>;

class MotorDriveTest : public ControllerTest {
 protected:
  /// LM-10 (code 5, RepRateMax 310) on a PCI-1711.
  Morvand& start(int16_t model = 5) {
    dir.write(model, 2);
    make();
    selectCard("PCI-1711");
    return *m_;
  }
  /// Makes MotorR2V give volts for every rate but 0.
  void driveTo(float volts) {
    m_->Vfactor = 0.0f;
    m_->Voffset = volts;
  }
  /// Output writes, motor-line writes, monitor readings and the waits between them.
  Strings ramp() {
    trace->finish();
    return trace->entries({"AOVoltageOut", "DioWritePortByte", "AIVoltageIn"});
  }
  void startTrace() {
    trace.reset();  // the old trace lets go of the card before the new one takes it
    trace = std::make_unique<CallTrace>(*card, clock);
  }
  std::unique_ptr<CallTrace> trace;
};

TEST_F(MotorDriveTest, TheEnhancedRateLawScalesToTheTopRateWithAFloor) {
  Morvand& m = start();
  EXPECT_NEAR(m.MotorR2V(155), 0.441f, 1e-6f);
  EXPECT_NEAR(m.MotorR2V(310), 0.7505f, 1e-6f);
  EXPECT_EQ(m.MotorR2V(0), 0.0f);
  EXPECT_FLOAT_EQ(m.MotorR2V(-1000), 0.066f);
}

TEST_F(MotorDriveTest, TheStandardRateLawGivesSpeedLevelsWithTheModelExceptions) {
  Morvand& m = start();
  m.EH_sys = false;
  EXPECT_EQ(m.MotorR2V(300), 3.0f);
  EXPECT_EQ(m.MotorR2V(217), 2.0f);  // medium threshold itself is not fast
  EXPECT_EQ(m.MotorR2V(100), 2.0f);
  EXPECT_EQ(m.MotorR2V(52), 1.0f);
  EXPECT_EQ(m.MotorR2V(0), 0.0f);
  m.LaserTypeFlag = 1;  // LM-13 always runs fast
  EXPECT_EQ(m.MotorR2V(0), 3.0f);
  m.LaserTypeFlag = 3;  // LM-08 has no medium level
  m.LaserData();
  EXPECT_EQ(m.MotorR2V(50), 1.0f);
}

TEST_F(MotorDriveTest, WithoutAModelTheRateLawGivesZeroInsteadOfDividingByZero) {
  dir.write(15, 1);  // a code with fill rules but no model
  Morvand& m = make();
  ASSERT_EQ(m.limits().RepRateMax, 0);
  EXPECT_EQ(m.MotorR2V(100), 0.0f);
  EXPECT_EQ(m.MotorR2V(-5), 0.0f);
}

TEST_F(MotorDriveTest, MotorVOnSwitchesBitTwoForOddStates) {
  Morvand& m = start();
  m.MotorVOn(1);
  EXPECT_TRUE(m.MotorEnabled);
  m.MotorVOn(0);
  EXPECT_FALSE(m.MotorEnabled);
  m.MotorVOn(-1);
  EXPECT_TRUE(m.MotorEnabled);
  EXPECT_EQ(card->texts(), (Strings{"DioWritePortByte(0, 4, 4)", "DioWritePortByte(0, 4, 0)",
                                    "DioWritePortByte(0, 4, -4)"}));
}

TEST_F(MotorDriveTest, DriveFailuresAlwaysOpenATaggedBoxEvenWithoutPopups) {
  card->features.numProgrammablePorts = 1;
  Morvand& m = start();
  ASSERT_FALSE(m.PopupMessage);
  card->setErrorText(5, "bad port");
  card->failCall(Op::DioSetPortMode, 5);
  m.MotorVOn(1);
  card->failCall(Op::DioWritePortByte, 5);
  m.MotorVOn(1);
  EXPECT_FALSE(m.MotorEnabled);
  float v = 1.0f;
  card->failCall(Op::AOConfig, 5);
  EXPECT_FALSE(m.MotorVSet(v));
  card->failCall(Op::AOVoltageOut, 5);
  EXPECT_FALSE(m.MotorVSet(v));
  EXPECT_EQ(m.VoltMotorOld, 0.0f);
  card->failCall(Op::AIConfig, 5);
  EXPECT_EQ(m.MotorVMes(), 0.0f);
  card->failCall(Op::AIVoltageIn, 5);
  EXPECT_EQ(m.MotorVMes(), 0.0f);
  std::vector<std::string> titles;
  for (const auto& b : host.boxes) {
    EXPECT_EQ(b.text, "5: bad port");
    EXPECT_EQ(b.style, 0);
    titles.push_back(b.title);
  }
  EXPECT_EQ(titles, (Strings{"1-5975 Error!!", "1-5985 Error!!", "1-6246 Error!!", "1-6228 Error!!",
                             "1-7473 Error!!", "1-7484 Error!!"}));
  EXPECT_TRUE(host.messages.empty());
}

TEST_F(MotorDriveTest, MotorVSetWritesZeroForANegativeVoltageAndTellsTheCaller) {
  Morvand& m = start();
  float v = -2.0f;
  EXPECT_TRUE(m.MotorVSet(v));
  EXPECT_EQ(v, 0.0f);
  EXPECT_EQ(card->texts(), (Strings{"AOConfig(1, 5, 0)", "AOVoltageOut(1, 0)"}));
  v = 0.5f;
  EXPECT_TRUE(m.MotorVSet(v));
  EXPECT_EQ(m.VoltMotorOld, 0.5f);
  // The caller's variable changes only once the output is configured.
  v = -1.0f;
  card->failCall(Op::AOConfig, 5);
  EXPECT_FALSE(m.MotorVSet(v));
  EXPECT_EQ(v, -1.0f);
  card->failCall(Op::AOVoltageOut, 5);
  EXPECT_FALSE(m.MotorVSet(v));
  EXPECT_EQ(v, 0.0f);
  EXPECT_EQ(m.VoltMotorOld, 0.5f);
}

TEST_F(MotorDriveTest, MotorVMesReadsTheMonitorAndScalesIt) {
  Morvand& m = start();
  card->setAnalog(6, 2.0f);
  EXPECT_FLOAT_EQ(m.MotorVMes(), 10.5f);
  EXPECT_EQ(m.VmesMotor, 2.0f);
  EXPECT_EQ(card->texts(), (Strings{"AIConfig(6, 0)", "AIVoltageIn(6, 0, 0)"}));
}

TEST_F(MotorDriveTest, WithoutACardTheDriveCallsNothing) {
  dir.write(5, 2);
  Morvand& m = make();
  float v = -1.0f;
  EXPECT_FALSE(m.MotorVSet(v));
  EXPECT_EQ(m.MotorVMes(), 0.0f);
  m.MotorVOn(1);
  m.MotorVStart(100);
  EXPECT_TRUE(card->calls().empty());
  EXPECT_TRUE(host.boxes.empty());
}

TEST_F(MotorDriveTest, FromStandstillTheRampSwitchesTheMotorOnAndClimbsAFifthOfAVoltPerSecond) {
  Morvand& m = start();
  driveTo(0.2f);
  startTrace();
  m.MotorVStart(40);
  const Strings step = {"wait 0.20", "AIVoltageIn(6, 0, 0)", "wait 0.10"};
  Strings expected = {"DioWritePortByte(0, 4, 4)", "AOVoltageOut(1, 0.05)"};
  expected.insert(expected.end(), step.begin(), step.end());
  expected.push_back("AOVoltageOut(1, 0.1)");
  expected.insert(expected.end(), step.begin(), step.end());
  expected.push_back("AOVoltageOut(1, 0.15)");
  expected.insert(expected.end(), step.begin(), step.end());
  expected.push_back("AOVoltageOut(1, 0.2)");
  EXPECT_EQ(ramp(), expected);
  EXPECT_EQ(m.VoltMotorOld, 0.2f);
  EXPECT_EQ(m.RepRateMV, 40);
}

TEST_F(MotorDriveTest, ARunningMotorRampsDownATenthPerStepAndEndsOnTheTarget) {
  Morvand& m = start();
  m.VoltMotorOld = 0.5f;
  driveTo(0.3f);
  startTrace();
  m.MotorVStart(100);
  EXPECT_EQ(ramp(), (Strings{"AOVoltageOut(1, 0.4)", "wait 0.15", "AIVoltageIn(6, 0, 0)",
                             "AOVoltageOut(1, 0.3)"}));
}

TEST_F(MotorDriveTest, ARunningMotorRampsUpInSingleSteps) {
  Morvand& m = start();
  m.VoltMotorOld = 0.3f;
  driveTo(0.45f);
  startTrace();
  m.MotorVStart(100);
  // 0.3 + 0.05 is stored as the single just above 0.35; the next step lands just above
  // 0.45, which is no longer below the target.
  EXPECT_EQ(ramp(), (Strings{"AOVoltageOut(1, 0.35000002)", "wait 0.15", "AIVoltageIn(6, 0, 0)",
                             "AOVoltageOut(1, 0.40000004)", "wait 0.15", "AIVoltageIn(6, 0, 0)",
                             "AOVoltageOut(1, 0.45)"}));
}

TEST_F(MotorDriveTest, RateZeroRampsToZeroAndSwitchesTheMotorOff) {
  Morvand& m = start();
  m.VoltMotorOld = 0.25f;
  m.MotorEnabled = true;
  startTrace();
  m.MotorVStart(0);
  EXPECT_EQ(ramp(), (Strings{"AOVoltageOut(1, 0.15)", "wait 0.10", "AIVoltageIn(6, 0, 0)",
                             "AOVoltageOut(1, 0.050000004)", "wait 0.10", "AIVoltageIn(6, 0, 0)",
                             "AOVoltageOut(1, 0)", "DioWritePortByte(0, 4, 0)"}));
  EXPECT_EQ(m.VoltMotorOld, 0.0f);
  EXPECT_FALSE(m.MotorEnabled);
  EXPECT_EQ(m.RepRateMV, 0);
}

TEST_F(MotorDriveTest, TheStopRampStepsInDoublePrecisionAndStoresEachStepAsASingle) {
  Morvand& m = start();
  m.VoltMotorOld = 0.5f;
  m.MotorVStart(0);
  // Five tenths down from 0.5 do not reach 0 exactly: the last step is still above 0 and
  // is written before the final 0 (a step computed in single precision would end at
  // 1.4901161e-08 instead).
  EXPECT_EQ(card->texts(Op::AOVoltageOut),
            (Strings{"AOVoltageOut(1, 0.4)", "AOVoltageOut(1, 0.3)", "AOVoltageOut(1, 0.20000002)",
                     "AOVoltageOut(1, 0.10000002)", "AOVoltageOut(1, 1.6391278e-08)",
                     "AOVoltageOut(1, 0)"}));
}

TEST_F(MotorDriveTest, EveryRampStaysWithinTheFiveVoltRangeOfTheDriveOutput) {
  Morvand& m = start();
  // A target far above the range: the ramp from standstill ends at 5 V, a full-scale ramp.
  m.Vfactor = 1.0e9f;
  m.MotorVStart(310);
  auto out = card->texts(Op::AOVoltageOut);
  EXPECT_EQ(lastOf(out), "AOVoltageOut(1, 5)");
  EXPECT_LE(out.size(), 101u);
  // A drive voltage far above the range written by the host: the stop ramp starts at 5 V.
  card->clearCalls();
  m.VoltMotorOld = 1.0e9f;
  m.MotorVStart(0);
  out = card->texts(Op::AOVoltageOut);
  EXPECT_EQ(firstOf(out), "AOVoltageOut(1, 4.9)");
  EXPECT_EQ(lastOf(out), "AOVoltageOut(1, 0)");
  EXPECT_LE(out.size(), 51u);
  // A target that is not a number stops the motor.
  card->clearCalls();
  m.VoltMotorOld = 0.3f;
  m.Vfactor = std::nanf("");
  m.MotorVStart(310);
  EXPECT_EQ(lastOf(card->texts(Op::AOVoltageOut)), "AOVoltageOut(1, 0)");
  EXPECT_EQ(lastOf(card->texts(Op::DioWritePortByte)), "DioWritePortByte(0, 4, 0)");
}

TEST_F(MotorDriveTest, AFailedWriteDoesNotStopTheRamp) {
  Morvand& m = start();
  m.VoltMotorOld = 0.5f;
  driveTo(0.2f);
  card->failCall(Op::AOVoltageOut, 9);  // 0.4 is not written
  m.MotorVStart(100);
  // 0.3 - 0.1 is stored as the single just above 0.2, so it is still written before 0.2.
  EXPECT_EQ(card->texts(Op::AOVoltageOut),
            (Strings{"AOVoltageOut(1, 0.4)", "AOVoltageOut(1, 0.3)", "AOVoltageOut(1, 0.20000002)",
                     "AOVoltageOut(1, 0.2)"}));
  EXPECT_EQ(m.VoltMotorOld, 0.2f);
  ASSERT_EQ(host.boxes.size(), 1u);
  EXPECT_EQ(host.boxes[0].title, "1-6228 Error!!");
}

TEST_F(MotorDriveTest, TheStandardSchemeStartsThroughTheLevelsAndChangesLevelDirectlyWhenRunning) {
  Morvand& m = start();
  m.EH_sys = false;
  const std::string l1 = "DioWritePortByte(0, 14, 132)";
  const std::string l2 = "DioWritePortByte(0, 14, 136)";
  const std::string l3 = "DioWritePortByte(0, 14, 140)";
  startTrace();
  m.MotorVStart(300);
  EXPECT_EQ(ramp(), (Strings{l1, "wait 3.00", l2, "wait 1.00", l3, "wait 3.00"}));
  m.mmode = 0;
  startTrace();
  m.MotorVStart(100);
  EXPECT_EQ(ramp(), (Strings{l1, "wait 3.00", l2, "wait 3.00"}));
  m.mmode = 0;
  startTrace();
  m.MotorVStart(20);
  EXPECT_EQ(ramp(), (Strings{l1, "wait 6.00"}));
  // Running: one write to the new level, none when it is already there.
  startTrace();
  m.MotorVStart(300);
  m.MotorVStart(300);
  m.MotorVStart(0);
  EXPECT_EQ(ramp(), (Strings{l3, "DioWritePortByte(0, 14, 0)"}));
  EXPECT_EQ(m.RepRateMV, 0);
}

}  // namespace
}  // namespace morvand::test
