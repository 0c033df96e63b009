// Start of a run: the checks that refuse or warn, the start waits, the standby start and
// the refusal of a second run.

#include "run_fixture.hpp"

namespace morvand::test {
namespace {

class RunStartTest : public RunTest {};

struct PressureCase {
  float torr;
  bool starts;
  std::vector<Box> boxes;
};

TEST_F(RunStartTest, PressureChecksRefuseOrWarnAtTheirBoundaries) {
  Morvand& m = ready();
  m.PopupSet(true);
  ASSERT_EQ(m.limits().PressMax, 3100.0f);
  const Box low = {"LOW GAS PRESSURE WARNING", 48, "LOW GAS PRESSURE"};
  const PressureCase cases[] = {
      {499.9f, false, {{"PRESSURE TOO LOW CANNOT START", 64, "START ABORT"}}},
      {500.0f, true, {low}},
      {1199.9f, true, {low}},
      {1200.0f, true, {}},
      {3100.0f, true, {}},
      {3100.5f, false, {{"HIGH GAS PRESSURE WARNING CANNOT START", 48, "OVER PRESSURE"}}},
  };
  stopAfter(m, 0.0);
  for (const PressureCase& c : cases) {
    settle(m, c.torr, 25.0f);
    host.boxes.clear();
    host.messages.clear();
    host.beeps = 0;
    card->clearCalls();
    m.LaserRun();
    ASSERT_EQ(host.boxes.size(), c.boxes.size()) << c.torr;
    for (size_t i = 0; i < c.boxes.size(); ++i) {
      EXPECT_EQ(host.boxes[i].text, c.boxes[i].text) << c.torr;
      EXPECT_EQ(host.boxes[i].style, c.boxes[i].style) << c.torr;
      EXPECT_EQ(host.boxes[i].title, c.boxes[i].title) << c.torr;
    }
    EXPECT_EQ(host.beeps, static_cast<int64_t>(c.boxes.size())) << c.torr;
    EXPECT_EQ(countOf("Starting Laser"), c.starts ? 1u : 0u) << c.torr;
    if (!c.starts) {
      // Refused before anything is switched on.
      EXPECT_TRUE(card->texts(Op::DioWritePortByte).empty()) << c.torr;
    }
  }
}

TEST_F(RunStartTest, WithoutPopupsTheChecksAreEventsAndTheRefusalStillReturns) {
  Morvand& m = ready();
  settle(m, 400.0f, 25.0f);
  m.LaserRun();
  EXPECT_EQ(host.messages, std::vector<std::string>{"PRESSURE TOO LOW CANNOT START"});
  EXPECT_EQ(host.beeps, 1);
  EXPECT_TRUE(host.boxes.empty());
}

TEST_F(RunStartTest, TheLowPressureModelOnlyWarnsBelow500Torr) {
  dir.write(32, 1);
  Morvand& m = ready();
  ASSERT_EQ(m.LaserTypeFlag, 32);
  settle(m, 300.0f, 25.0f);
  stopAfter(m, 0.0);
  m.LaserRun();
  EXPECT_EQ(host.messages.at(0), "LOW GAS PRESSURE WARNING");
  EXPECT_EQ(host.messages.at(1), "Starting Laser");
  EXPECT_EQ(host.beeps, 1);
}

TEST_F(RunStartTest, TemperatureAboveTheLimitRefusesWithoutABeep) {
  Morvand& m = ready();
  m.PopupSet(true);
  stopAfter(m, 0.0);
  settle(m, 2000.0f, 55.0f);
  m.LaserRun();
  EXPECT_TRUE(host.boxes.empty());
  EXPECT_EQ(countOf("Starting Laser"), 1u);

  settle(m, 2000.0f, 55.1f);
  host.messages.clear();
  m.LaserRun();
  ASSERT_EQ(host.boxes.size(), 1u);
  EXPECT_EQ(host.boxes[0].text, "LASER OPERATING TEMPERATURE EXCEEDED");
  EXPECT_EQ(host.boxes[0].style, 48);
  EXPECT_EQ(host.boxes[0].title, "OVER HEAT");
  EXPECT_EQ(host.beeps, 0);
  EXPECT_EQ(countOf("Starting Laser"), 0u);
}

TEST_F(RunStartTest, ARateBelowTheCardMinimumBecomes200HzOnlyWithInternalTrigger) {
  Morvand& m = ready();
  stopAfter(m, 0.0);
  m.RepRate = 10;  // below the 16 Hz of the card
  m.LaserRun(1);
  EXPECT_EQ(m.RepRate, 10);
  EXPECT_TRUE(card->texts(Op::CounterPulseStart).empty());

  m.LaserRun(0);
  EXPECT_EQ(m.RepRate, 200);
  EXPECT_EQ(card->texts(Op::CounterPulseStart).at(0), "CounterPulseStart(0, 0.005, 0, 0)");
}

TEST_F(RunStartTest, WithPopupsTheOperatorIsAskedForARateAndABudget) {
  Morvand& m = ready();
  m.PopupSet(true);
  m.RepRate = 10;
  m.MaxNum = 0;
  host.inputs = {"5", "50"};  // budget first, then the rate
  m.LaserRun(0);
  ASSERT_EQ(host.prompts.size(), 2u);
  EXPECT_EQ(host.prompts[0].title, "MAX PULSES");
  EXPECT_EQ(host.prompts[1].title, "SET REP RATE");
  EXPECT_EQ(m.RepRate, 50);
  EXPECT_EQ(m.MaxNum, 5);
  EXPECT_EQ(host.messages.back(), "Operation Completed");
  EXPECT_GE(m.PulseNum, 5);
}

TEST_F(RunStartTest, NoBudgetWithoutPopupsMeansContinuous) {
  Morvand& m = ready();
  m.MaxNum = 0;
  stopAfter(m, 1.0);
  m.LaserRun();
  EXPECT_EQ(m.MaxNum, 50000000);
  EXPECT_EQ(host.messages.back(), "Laser Operation Stopped");
}

TEST_F(RunStartTest, StartWaitsSevenSecondsOrThirtyFromStandbyWithAFilamentCheck) {
  for (int16_t standby : {0, 1}) {
    Morvand& m = ready();
    m.ThyStandby = standby;
    stopAfter(m, 0.0);
    m.LaserRun();
    const double start = timed.timeOf("Starting Laser");
    const double firing = timed.timeOf("Laser Running");
    const double wait = standby == 1 ? 30.0 : 7.0;
    EXPECT_GE(firing - start, wait) << standby;
    EXPECT_LT(firing - start, wait + 0.5) << standby;
    EXPECT_EQ(m.ThyStandby, standby == 1 ? -1 : 0);

    // The thyratron leaves standby at once; the charging voltage is set after the wait.
    const auto calls = card->texts();
    const auto begin = calls.begin() + static_cast<long>(timed.callsBefore("Starting Laser"));
    const auto end = calls.begin() + static_cast<long>(timed.callsBefore("Laser Running"));
    const std::vector<std::string> during(begin, end);
    EXPECT_NE(std::find(during.begin(), during.end(), "DioWritePortByte(0, 1, 0)"), during.end());
    EXPECT_EQ(std::count(during.begin(), during.end(), "AIConfig(3, 0)"), standby == 1 ? 1 : 0);
    EXPECT_NE(std::find(during.begin(), during.end(), "AOVoltageOut(0, 3.125)"), during.end());

    m_.reset();
    card->clearCalls();
    timed.texts.clear();
    host.messages.clear();
  }
}

TEST_F(RunStartTest, StartSequenceSwitchesFanChargeModeThenFiresInOrder) {
  Morvand& m = ready();
  m.ChMode = 1;
  stopAfter(m, 0.0);
  m.LaserRun();
  const auto calls = card->texts();
  const std::vector<std::string> head(
      calls.begin(), calls.begin() + static_cast<long>(timed.callsBefore("Starting Laser")));
  // After the readings of the checks: fan on, then the charge-mode line.
  const std::vector<std::string> writes = {"DioWritePortByte(0, 16, 0)",
                                           "DioWritePortByte(0, 2, 2)"};
  std::vector<std::string> headWrites;
  for (const auto& c : head) {
    if (c.rfind("DioWritePortByte", 0) == 0) headWrites.push_back(c);
  }
  EXPECT_EQ(headWrites, writes);
  // Charging voltage, then the firing start: counter reset, generator, enable line.
  const auto firing = callsFrom("Starting Laser", kStopPrefixes);
  ASSERT_GE(firing.size(), 4u);
  EXPECT_EQ(std::vector<std::string>(firing.begin(), firing.begin() + 4),
            (std::vector<std::string>{"AOVoltageOut(0, 3.125)", "CounterReset(0)",
                                      "CounterPulseStart(0, 0.05, 0, 0)",
                                      "DioWritePortByte(0, 128, 128)"}));
}

TEST_F(RunStartTest, AStandbyStartWaitsWithInternalTriggerAndFiresAtOnceWithExternal) {
  Morvand& m = ready();
  m.LaserStandby = true;
  int passes = 0;
  host.onYield = [&] {
    if (timed.timeOf("Laser Standby") > 0.0 && ++passes == 200) m.LaserStop();
  };
  m.LaserRun(0);
  EXPECT_EQ(host.messages.at(1), "Laser Standby");
  EXPECT_EQ(countOf("Laser Running"), 0u);
  EXPECT_TRUE(card->texts(Op::CounterPulseStart).empty());
  const auto writes = card->texts(Op::DioWritePortByte);
  EXPECT_EQ(std::count(writes.begin(), writes.end(), "DioWritePortByte(0, 128, 128)"), 0);
  EXPECT_TRUE(host.eventsNamed("LaserRunning").empty());

  host.onYield = nullptr;
  host.messages.clear();
  stopAfter(m, 0.0);
  m.LaserRun(1);
  EXPECT_EQ(host.messages.at(1), "Laser Running");
}

TEST_F(RunStartTest, AStopOrHaltDuringTheStartWaitIsKeptAndNothingIsSwitchedOn) {
  for (bool halt : {false, true}) {
    Morvand& m = ready();
    host.onYield = [&] {
      const double t = timed.timeOf("Starting Laser");
      if (t > 0.0 && timed.seconds() - t > 3.0 && m.flag2 != 1) {
        if (halt) {
          m.Halt();
        } else {
          m.LaserStop();
        }
      }
    };
    m.LaserRun();
    EXPECT_EQ(host.messages,
              (std::vector<std::string>{"Starting Laser", "Laser Operation Stopped"}));
    EXPECT_TRUE(card->texts(Op::CounterPulseStart).empty());
    const auto calls = card->texts();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "DioWritePortByte(0, 128, 128)"), 0);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "AOVoltageOut(0, 3.125)"), 0);
    // The stop sequence still runs.
    EXPECT_EQ(callsFrom("Laser Operation Stopped", kStopPrefixes), stopLines(true));
    EXPECT_EQ(m.PulseNum, 0);

    host.onYield = nullptr;
    m_.reset();
    card->clearCalls();
    timed.texts.clear();
    host.messages.clear();
  }
}

TEST_F(RunStartTest, ASecondRunDuringARunIsRefusedAndChangesNothing) {
  for (bool popups : {false, true}) {
    Morvand& m = ready();
    m.PopupSet(popups);
    int running = 0;
    host.onLaserRunning = [&](int32_t, float) {
      if (++running == 2) {
        m.Punits = 1;
        m.MaxNum = 0;
        m.LaserRun(1);
        EXPECT_EQ(m.Punits, 1);
        EXPECT_EQ(m.TrigMode, 0);
        EXPECT_EQ(m.flag2, 0);
        EXPECT_EQ(m.MaxNum, 0);
        m.MaxNum = 50000000;
      }
      if (running == 4) m.LaserStop();
    };
    m.LaserRun(0);
    EXPECT_EQ(running, 4);  // the first run went on
    if (popups) {
      ASSERT_EQ(host.boxes.size(), 1u);
      EXPECT_EQ(host.boxes[0].text, "LASER IS ALREADY RUNNING");
      EXPECT_EQ(host.boxes[0].style, 48);
      EXPECT_EQ(host.boxes[0].title, "LASER RUNNING");
    } else {
      EXPECT_EQ(countOf("LASER IS ALREADY RUNNING"), 1u);
    }
    EXPECT_EQ(countOf("Starting Laser"), 1u);

    // Once the run has ended, a new one starts.
    host.onLaserRunning = nullptr;
    stopAfter(m, 0.0);
    m.LaserRun(0);
    EXPECT_EQ(countOf("Starting Laser"), 2u);

    m_.reset();
    timed.texts.clear();
    host.messages.clear();
    host.boxes.clear();
  }
}

TEST_F(RunStartTest, ARunDuringAGasProcedureIsRefused) {
  Morvand& m = ready();
  bool tried = false;
  host.onYield = [&] {
    if (!tried) {
      tried = true;
      m.LaserRun();
    }
  };
  m.GasAutoRefill();
  ASSERT_TRUE(tried);
  EXPECT_EQ(countOf("GAS PROCEDURE IN PROGRESS, CANNOT START"), 1u);
  EXPECT_EQ(countOf("Starting Laser"), 0u);
}

}  // namespace
}  // namespace morvand::test
