// A run under faults and a misbehaving host: every run ends, counts only pulses it fired,
// never programs the charger or the generator beyond the model's limits, and completes its
// stop sequence whatever the host does meanwhile.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <stdexcept>
#include <string>

#include "run_fixture.hpp"
#include "util/numeric.hpp"

namespace morvand::test {
namespace {

const std::string kMaxVoltage = "Maximum Voltage Reached";
const std::string kOverrange = "REPETITION RATE IS OVERRANGE PLEASE RESET";
const std::string kCountingFailed =
    "PULSE COUNTER FAILED, PULSES ARE ESTIMATED FROM THE REPETITION RATE";

class RunFaultsTest : public RunTest {
 protected:
  /// Moves the clock on so that it reads a quarter second plus 0.124 s: at 30 days of
  /// uptime a single-precision time would round that down by 0.124 s.
  void alignForRounding() {
    const double offset = std::fmod(timed.seconds(), 0.25);
    const double delta = std::fmod(0.124 - offset + 0.25, 0.25);
    clock.advance(
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::duration<double>(delta)));
  }
};

TEST_F(RunFaultsTest, ARunStartedInStandbyCountsOnlyItsOwnPulses) {
  Morvand& m = ready("PCI-1712");
  m.LaserStandby = true;
  m.MaxNum = 100;
  // Counter 2 still holds the counts of an earlier run; from a start it counts one a read.
  uint32_t counted = 5000;
  card->setCount(2, counted);
  card->onCall = [&](const DriverCall& c) {
    if (c.op == Op::CounterEventStart && c.fields[0] == 2) counted = 0;
    if (c.op == Op::CounterEventRead && c.fields[0] == 2) card->setCount(2, ++counted);
  };
  host.onYield = [&] {
    if (m.flag2 == 2 && timed.timeOf("Laser Standby") > 0.0) m.LaserRestart(false);
  };
  m.LaserRun(0);
  EXPECT_EQ(host.messages.back(), "Operation Completed");
  EXPECT_EQ(m.PulseNum, 100);
  EXPECT_EQ(m.CumTotalPulses, 120 + 100);
  EXPECT_EQ(m.PulsesThisFill, 30 + 100);
  // The counter is cleared and started after the enable line comes on, as at a firing start.
  EXPECT_EQ(
      callsFrom("Laser Standby",
                {"CounterReset(2", "DioWritePortByte(0, 128, 128", "CounterEventStart(2"}),
      (Strings{"CounterReset(2)", "DioWritePortByte(0, 128, 128)", "CounterEventStart(2, 0)"}));
}

TEST_F(RunFaultsTest, AtThirtyDaysOfUptimeStartWaitsAndEstimatesAreExact) {
  clock.advance(std::chrono::hours(24 * 30));
  for (int16_t standby : {0, 1}) {
    Morvand& m = ready("PCI-1712");
    m.CountDisabled = true;  // estimated: 10 Hz for 5 s are 50 pulses
    m.RepRate = 10;
    m.ThyStandby = standby;
    double setPointAt = -1.0;
    // The start and the firing stretch begin where a single would round the time down.
    timed.onText = [&](const std::string& text) {
      if (text == "Starting Laser") alignForRounding();
    };
    card->onCall = [&](const DriverCall& c) {
      if (c.op == Op::AOVoltageOut && c.fields[0] == 0 && setPointAt < 0.0) {
        setPointAt = timed.seconds();
      }
      if (c.op == Op::CounterPulseStart) alignForRounding();
    };
    stopAfter(m, 5.0);
    m.LaserRun(0);
    const double wait = standby == 1 ? 30.0 : 7.0;
    EXPECT_GE(setPointAt - timed.timeOf("Starting Laser"), wait) << standby;
    EXPECT_EQ(m.PulseNum, 50) << standby;

    card->onCall = nullptr;
    timed.onText = nullptr;
    m_.reset();
    timed.texts.clear();
    host.messages.clear();
  }
}

TEST_F(RunFaultsTest, APowerLossBoxOpensWithTheLaserAlreadyDisabled) {
  Morvand& m = ready();
  m.PopupSet(true);
  card->setAnalogSource(8, [&] { return supplyVolts(firingTime() > 1.0 ? 9.9f : 12.0f); });
  std::string enableAtBox;
  host.onBox = [&](const Box&) {
    for (const auto& c : card->texts(Op::DioWritePortByte)) {
      if (c.rfind("DioWritePortByte(0, 128,", 0) == 0) enableAtBox = c;
    }
  };
  m.LaserRun();
  ASSERT_EQ(host.boxes.size(), 1u);
  EXPECT_EQ(host.boxes[0].text, "LASER POWER OFF");
  EXPECT_EQ(enableAtBox, "DioWritePortByte(0, 128, 0)");
}

TEST_F(RunFaultsTest, AHostErrorInTheStopSequenceStillCompletesItAndItsAccounting) {
  Morvand& m = ready();
  stopAfter(m, 2.0);
  // From the stop on, every yield of the host fails.
  host.onYield = [&] {
    if (timed.timeOf("Laser Operation Stopped") > 0.0) throw std::runtime_error("host failed");
  };
  EXPECT_THROW(m.LaserRun(), std::runtime_error);
  EXPECT_EQ(callsFrom("Laser Operation Stopped", kStopPrefixes), stopLines(true));
  // The motor stop still ends at 0 V with its line off.
  const auto motor =
      callsFrom("Laser Operation Stopped", {"AOVoltageOut(1", "DioWritePortByte(0, 4"});
  EXPECT_EQ(lastOf(motor), "DioWritePortByte(0, 4, 0)");
  EXPECT_NEAR(m.PulseNum, 40, 2);
  EXPECT_EQ(m.CumTotalPulses, 120 + m.PulseNum);
  EXPECT_EQ(m.PulsesThisFill, 30 + m.PulseNum);
}

TEST_F(RunFaultsTest, ASetPointAboveTheModelLimitIsNeverSentToTheCharger) {
  // At the start: refused with the start refusals, before anything is switched on. The
  // limit itself is accepted.
  Morvand& m = ready();
  m.PopupSet(true);
  stopAfter(m, 0.0);
  const float limit = m.HiVoltMax;
  m.VoltSet = std::nextafter(limit, 100.0f);
  m.LaserRun();
  ASSERT_EQ(host.boxes.size(), 1u);
  EXPECT_EQ(host.boxes[0].text, kMaxVoltage);
  EXPECT_EQ(host.boxes[0].style, 64);
  EXPECT_EQ(host.boxes[0].title, "MAX VOLTAGE");
  EXPECT_EQ(countOf("Starting Laser"), 0u);
  EXPECT_TRUE(card->texts(Op::DioWritePortByte).empty());
  EXPECT_TRUE(card->texts(Op::AOVoltageOut).empty());
  m.VoltSet = limit;
  m.LaserRun();
  EXPECT_EQ(countOf("Starting Laser"), 1u);

  // Written during a constant-voltage run: the run ends as at the constant-energy limit.
  m.PopupSet(false);
  host.messages.clear();
  timed.texts.clear();
  card->clearCalls();
  host.onLaserRunning = [&](int32_t, float) { m.VoltSet = limit + 1.0f; };
  m.LaserRun();
  EXPECT_EQ(host.messages.back(), kMaxVoltage);
  EXPECT_EQ(card->texts().at(timed.callsBefore(kMaxVoltage) - 1), "DioWritePortByte(0, 128, 0)");
  EXPECT_EQ(callsFrom(kMaxVoltage, kStopPrefixes), stopLines(true));
  for (const auto& out : card->texts(Op::AOVoltageOut)) {
    EXPECT_NE(out, "AOVoltageOut(0, " + util::formatSingle((limit + 1.0f) / 4.0f) + ")");
  }
}

TEST_F(RunFaultsTest, ARateAboveTheModelTopIsNeverGivenToTheGenerator) {
  // At the start without pop-ups the run uses the top rate; with them the operator is asked.
  Morvand& m = ready();
  ASSERT_EQ(m.limits().RepRateMax, 310);
  stopAfter(m, 0.0);
  m.RepRate = 1000;
  m.LaserRun(0);
  EXPECT_EQ(m.RepRate, 310);
  EXPECT_EQ(lastOf(card->texts(Op::CounterPulseStart)),
            "CounterPulseStart(0, " + util::formatSingle(1.0f / 310.0f) + ", 0, 0)");
  m.PopupSet(true);
  m.RepRate = 1000;
  host.inputs = {"100"};
  m.LaserRun(0);
  ASSERT_EQ(host.prompts.size(), 1u);
  EXPECT_EQ(host.prompts[0].title, "SET REP RATE");
  EXPECT_EQ(m.RepRate, 100);

  // Written during a run: refused once, the generator keeps its rate.
  m.PopupSet(false);
  m.RepRate = 20;
  card->clearCalls();
  host.messages.clear();
  int passes = 0;
  host.onLaserRunning = [&](int32_t, float) {
    if (++passes == 3) m.RepRate = 5000;
    if (passes == 20) m.LaserStop();
  };
  m.LaserRun(0);
  EXPECT_EQ(m.RepRate, 20);
  EXPECT_EQ(countOf(kOverrange), 1u);
  EXPECT_EQ(card->texts(Op::CounterPulseStart), (Strings{"CounterPulseStart(0, 0.05, 0, 0)"}));
  // Only the start's counter stop and the stop sequence reset counter 0.
  EXPECT_EQ(card->texts(Op::CounterReset).size(), 2u);
}

TEST_F(RunFaultsTest, ConstantEnergyWithoutAnEnergyScaleIsRefusedBeforeAnythingIsSwitchedOn) {
  Morvand& m = ready();  // model 5 with fluorine has no energy scale on a new controller
  ASSERT_EQ(m.limits().EnergyScale, 0.0f);
  m.PopupSet(true);
  m.mode = 1;
  m.LaserRun();
  ASSERT_EQ(host.boxes.size(), 1u);
  EXPECT_EQ(host.boxes[0].text,
            "CONSTANT ENERGY IS NOT AVAILABLE FOR THIS LASER AND GAS, USE CONSTANT VOLTAGE "
            "OPERATION");
  EXPECT_EQ(host.boxes[0].style, 48);
  EXPECT_EQ(host.boxes[0].title, "START ABORT");
  EXPECT_EQ(countOf("Starting Laser"), 0u);
  EXPECT_TRUE(card->texts(Op::DioWritePortByte).empty());
}

TEST_F(RunFaultsTest, ARunWhoseChargerCannotBeProgrammedEndsBeforeCountingAPulse) {
  Morvand& m = ready();
  host.onLaserRunning = [&](int32_t, float) {
    if (firingTime() > 10.0) m.LaserStop();  // a run that fires on fails, not hangs
  };
  card->failText("AOConfig(0, 5, 0)", 7);
  m.LaserRun(0);
  EXPECT_EQ(host.messages, (Strings{"Starting Laser", "Laser Operation Stopped"}));
  EXPECT_EQ(m.PulseNum, 0);
  EXPECT_EQ(m.CumTotalPulses, 120);
  EXPECT_EQ(callsFrom("Laser Operation Stopped", kStopPrefixes), stopLines(true));
}

TEST_F(RunFaultsTest, ARunThatCannotEnableTheLaserEndsBeforeCountingAPulse) {
  // At the start.
  Morvand& m = ready();
  host.onLaserRunning = [&](int32_t, float) {
    if (firingTime() > 10.0) m.LaserStop();  // a run that fires on fails, not hangs
  };
  card->failText("DioWritePortByte(0, 128, 128)", 7);
  m.LaserRun(0);
  EXPECT_EQ(host.messages,
            (Strings{"Starting Laser", "driver error 7", "Laser Operation Stopped"}));
  EXPECT_EQ(m.PulseNum, 0);
  EXPECT_EQ(m.CumTotalPulses, 120);
  EXPECT_EQ(callsFrom("Laser Operation Stopped", kStopPrefixes), stopLines(true));

  // At a resume: the pulses before the pause stay, none are added after it.
  host.messages.clear();
  timed.texts.clear();
  int32_t atPause = -1;
  host.onYield = [&] {
    const double t = firingTime();
    if (t >= 2.0 && m.flag2 == 0 && atPause < 0) {
      m.LaserPause(false);
      atPause = m.PulseNum;
    }
    if (t >= 3.0 && m.flag2 == 2) {
      card->failText("DioWritePortByte(0, 128, 128)", 7);
      m.LaserRestart(false);
    }
  };
  m.LaserRun(0);
  EXPECT_EQ(host.messages.back(), "Laser Operation Stopped");
  EXPECT_EQ(countOf("Laser Running"), 1u);
  EXPECT_NEAR(atPause, 40, 2);
  EXPECT_EQ(m.PulseNum, atPause);
  EXPECT_EQ(m.CumTotalPulses, 120 + atPause);
}

TEST_F(RunFaultsTest, ACounterThatCannotStartLeavesTheRunCountingByEstimate) {
  Morvand& m = ready("PCI-1712");
  m.RepRate = 10;
  m.MaxNum = 30;  // 3 s at 10 Hz
  card->failText("CounterEventStart(2, 0)", 7);
  host.onLaserRunning = [&](int32_t, float) {
    if (firingTime() > 60.0) m.LaserStop();  // a run that never ends fails, not hangs
  };
  m.LaserRun(0);
  EXPECT_EQ(host.messages.back(), "Operation Completed");
  EXPECT_EQ(countOf(kCountingFailed), 1u);
  EXPECT_EQ(m.PulseNum, 30);
  EXPECT_LT(timed.timeOf("Operation Completed") - timed.timeOf("Laser Running"), 3.5);
  EXPECT_TRUE(card->texts(Op::CounterEventRead).empty());
}

TEST_F(RunFaultsTest, AnErrorLeavingTheRunAccountsThePulsesFiredSoFar) {
  Morvand& m = ready();
  host.onLaserRunning = [&](int32_t, float) {
    if (firingTime() >= 2.0) throw std::runtime_error("host handler failed");
  };
  EXPECT_THROW(m.LaserRun(), std::runtime_error);
  EXPECT_NEAR(m.PulseNum, 40, 2);
  EXPECT_EQ(m.CounterTotal, m.PulseNum);
  EXPECT_EQ(m.CumTotalPulses, 120 + m.PulseNum);
  EXPECT_EQ(m.PulsesThisFill, 30 + m.PulseNum);
}

TEST_F(RunFaultsTest, AStopEndsAMotorRampTowardsAnAbsurdTargetAndTheStopRampCompletes) {
  Morvand& m = ready();
  m.Vfactor = 1.0e6f;  // written by the host: the ramp would climb for ever
  host.onYield = [&] {
    const double t = timed.timeOf("Starting Laser");
    if (t > 0.0 && timed.seconds() - t > 1.0 && m.flag2 != 1) m.LaserStop();
  };
  m.LaserRun();
  EXPECT_EQ(host.messages, (Strings{"Starting Laser", "Laser Operation Stopped"}));
  // The run ends after the start wait, not after the ramp.
  EXPECT_LT(timed.timeOf("Laser Operation Stopped") - timed.timeOf("Starting Laser"), 7.5);
  const auto motor = card->texts(Op::AOVoltageOut);
  float highest = 0.0f;
  for (const auto& out : motor) {
    if (out.rfind("AOVoltageOut(1, ", 0) == 0)
      highest = std::max(highest, std::stof(out.substr(16)));
  }
  EXPECT_LE(highest, 0.25f);  // about a second of ramp from standstill
  EXPECT_EQ(
      lastOf(callsFrom("Laser Operation Stopped", {"AOVoltageOut(1", "DioWritePortByte(0, 4"})),
      "DioWritePortByte(0, 4, 0)");
  EXPECT_EQ(m.VoltMotorOld, 0.0f);
}

}  // namespace
}  // namespace morvand::test
