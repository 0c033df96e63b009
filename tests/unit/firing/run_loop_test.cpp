// The run loop: how a run ends, pause and resume, rate changes, regulation, pulse counts
// and the accounting at the end.

#include <cmath>
#include <limits>
#include <stdexcept>
#include <utility>

#include "run_fixture.hpp"

namespace morvand::test {
namespace {

class RunLoopTest : public RunTest {};

// ---- ends of a run ----

TEST_F(RunLoopTest, AStopFromTheRunningEventEndsOnceThenRunsTheStopSequence) {
  Morvand& m = ready();
  int running = 0;
  host.onLaserRunning = [&](int32_t, float) {
    if (++running == 3) m.LaserStop();
  };
  m.LaserRun();
  EXPECT_EQ(running, 3);
  EXPECT_EQ(host.messages, (std::vector<std::string>{"Starting Laser", "Laser Running",
                                                     "Laser Operation Stopped"}));
  EXPECT_EQ(callsFrom("Laser Operation Stopped", kStopPrefixes), stopLines(true));
  // The stop sequence ends with a 3 s wait; flag2 stays as the run left it.
  EXPECT_GE(timed.seconds() - timed.timeOf("Laser Operation Stopped"), 3.1);
  EXPECT_EQ(m.flag2, 1);
}

TEST_F(RunLoopTest, AStopFromTheYieldAfterTheSupplyTestIsAnnouncedTwice) {
  Morvand& m = ready();
  bool armed = false;
  card->onCall = [&](const DriverCall& c) {
    if (c.op == Op::AIVoltageIn && c.fields[0] == 8) armed = true;
  };
  host.onYield = [&] {
    if (armed && m.flag2 == 0) m.LaserStop();
    armed = false;
  };
  m.LaserRun();
  EXPECT_EQ(host.messages,
            (std::vector<std::string>{"Starting Laser", "Laser Running", "Laser Operation Stopped",
                                      "Laser Operation Stopped"}));
  EXPECT_TRUE(host.eventsNamed("LaserRunning").empty());
  EXPECT_EQ(callsFrom("Laser Operation Stopped", kStopPrefixes), stopLines(true));
}

TEST_F(RunLoopTest, ASpentBudgetCompletesTheRunAndCountsEachPulseOnce) {
  Morvand& m = ready();
  m.MaxNum = 1000;
  countOnRead(0, 10);
  m.LaserRun(1);  // external trigger: the counter counts the pulses
  EXPECT_EQ(host.messages.back(), "Operation Completed");
  EXPECT_EQ(m.flag2, 1);
  EXPECT_EQ(m.PulseNum, 1000);
  EXPECT_EQ(m.CounterTotal, 1000);
  EXPECT_EQ(m.CumTotalPulses, 120 + 1000);
  EXPECT_EQ(m.PulsesThisFill, 30 + 1000);
  EXPECT_EQ(callsFrom("Operation Completed", kStopPrefixes), stopLines(false));
}

TEST_F(RunLoopTest, TheContinuousBudgetIsStillABudget) {
  Morvand& m = ready();
  m.MaxNum = 0;
  countOnRead(0, 10000000);
  m.LaserRun(1);
  EXPECT_EQ(m.MaxNum, 50000000);
  EXPECT_EQ(m.PulseNum, 50000000);
  EXPECT_EQ(host.messages.back(), "Operation Completed");
}

TEST_F(RunLoopTest, ABudgetOfZeroEndsAtTheFirstPass) {
  Morvand& m = ready();
  m.PopupSet(true);
  m.MaxNum = 0;
  host.inputs = {"0"};
  m.LaserRun();
  EXPECT_EQ(m.MaxNum, 0);
  EXPECT_EQ(host.messages.back(), "Operation Completed");
  EXPECT_TRUE(host.eventsNamed("LaserRunning").empty());
}

TEST_F(RunLoopTest, ALostSupplyEndsTheRunAsAnEventOrABoxWithoutEndText) {
  for (bool popups : {false, true}) {
    Morvand& m = ready();
    m.PopupSet(popups);
    card->setAnalogSource(8, [&] { return supplyVolts(firingTime() > 1.0 ? 9.9f : 12.0f); });
    m.LaserRun();
    if (popups) {
      ASSERT_EQ(host.boxes.size(), 1u);
      EXPECT_EQ(host.boxes[0].text, "LASER POWER OFF");
      EXPECT_EQ(host.boxes[0].style, 48);
      EXPECT_EQ(host.boxes[0].title, "POWER OFF");
      EXPECT_EQ(host.messages.back(), "Laser Running");
      EXPECT_EQ(countOf("LASER POWER OFF"), 0u);
    } else {
      EXPECT_EQ(host.messages.back(), "LASER POWER OFF");
      EXPECT_EQ(callsFrom("LASER POWER OFF", kStopPrefixes), stopLines(true));
    }
    EXPECT_EQ(countOf("Laser Operation Stopped"), 0u);
    // The stop sequence ran: the line writes after the last pass end with it.
    const auto lines = card->texts();
    EXPECT_EQ(lines.back(), "DioWritePortByte(1, 128, 0)");
    m_.reset();
    timed.texts.clear();
    host.messages.clear();
    host.boxes.clear();
  }
}

TEST_F(RunLoopTest, WithoutACardTheFirstPassEndsAsAPowerLoss) {
  Morvand& m = make();
  healthyLaser(*card);
  m.MaxNum = 50000000;
  m.LaserRun();
  EXPECT_EQ(host.messages,
            (std::vector<std::string>{"Starting Laser", "Laser Running", "LASER POWER OFF"}));
}

TEST_F(RunLoopTest, OverTemperatureHaltsTheRunAsAnEventOrACriticalBox) {
  for (bool popups : {false, true}) {
    Morvand& m = ready();
    m.PopupSet(popups);
    card->setAnalogSource(4, [&] { return sensorVolts(firingTime() > 1.0 ? 60.0f : 25.0f); });
    m.LaserRun();
    const std::string text = "LASER OPERATING TEMPERATURE EXCEEDED, OPERATION HALTED";
    if (popups) {
      ASSERT_EQ(host.boxes.size(), 1u);
      EXPECT_EQ(host.boxes[0].text, text);
      EXPECT_EQ(host.boxes[0].style, 16);
      EXPECT_EQ(host.boxes[0].title, "OVERTEMPERATURE");
      EXPECT_EQ(countOf(text), 0u);
    } else {
      EXPECT_EQ(host.messages.back(), text);
      // Enable off right away, then the whole stop sequence.
      EXPECT_EQ(card->texts().at(timed.callsBefore(text) - 1), "DioWritePortByte(0, 128, 0)");
      EXPECT_EQ(callsFrom(text, kStopPrefixes), stopLines(true));
    }
    EXPECT_GT(m.temp, 55.0f);
    EXPECT_EQ(countOf("Laser Operation Stopped"), 0u);
    EXPECT_EQ(card->texts().back(), "DioWritePortByte(1, 128, 0)");
    m_.reset();
    timed.texts.clear();
    host.messages.clear();
    host.boxes.clear();
  }
}

// ---- regulation ----

TEST_F(RunLoopTest, ConstantEnergyClimbsToTheMaximumVoltageAndStopsThere) {
  dir.write(49, 1);  // a model whose fluorine energy has a scale, with model 5's window
  for (bool popups : {false, true}) {
    Morvand& m = ready();
    m.PopupSet(popups);
    m.mode = 1;
    m.SetEnergy = 100.0f;  // the monitor reads 0: always below
    const float start = m.HiVoltMax - 0.0012f;
    m.VoltSet = start;
    m.LaserRun();
    EXPECT_GT(m.VoltSet, m.HiVoltMax);
    EXPECT_LE(m.VoltSet, m.HiVoltMax + 0.0006f);
    EXPECT_EQ(host.eventsNamed("LaserRunning").size(), 2u);  // two steps stayed in the window
    // Each step inside the window went to the card (divisor 4).
    const auto out = card->texts(Op::AOVoltageOut);
    EXPECT_EQ(
        std::count_if(out.begin(), out.end(),
                      [](const std::string& s) { return s.rfind("AOVoltageOut(0, 4.1", 0) == 0; }),
        3);  // the start set-point and two steps
    if (popups) {
      ASSERT_EQ(host.boxes.size(), 1u);
      EXPECT_EQ(host.boxes[0].text, "Maximum Voltage Reached");
      EXPECT_EQ(host.boxes[0].style, 64);
      EXPECT_EQ(host.boxes[0].title, "MAX VOLTAGE");
      EXPECT_EQ(countOf("Maximum Voltage Reached"), 0u);
    } else {
      EXPECT_EQ(host.messages.back(), "Maximum Voltage Reached");
      EXPECT_EQ(card->texts().at(timed.callsBefore("Maximum Voltage Reached") - 1),
                "DioWritePortByte(0, 128, 0)");
    }
    EXPECT_EQ(card->texts().back(), "DioWritePortByte(1, 128, 0)");
    m_.reset();
    timed.texts.clear();
    host.messages.clear();
    host.boxes.clear();
  }
}

TEST_F(RunLoopTest, ConstantEnergyFallsToTheMinimumVoltageAndStopsThere) {
  dir.write(49, 1);  // a model whose fluorine energy has a scale
  Morvand& m = ready();
  m.PopupSet(true);
  m.mode = 1;
  m.SetEnergy = -1.0f;  // the monitor reads 0: always above
  m.VoltSet = m.HiVoltMin + 0.0012f;
  m.LaserRun();
  EXPECT_LT(m.VoltSet, m.HiVoltMin);
  EXPECT_GE(m.VoltSet, m.HiVoltMin - 0.0006f);
  ASSERT_EQ(host.boxes.size(), 1u);
  EXPECT_EQ(host.boxes[0].text, "Minimum Voltage Reached");
  EXPECT_EQ(host.boxes[0].style, 64);
  EXPECT_EQ(host.boxes[0].title, "MIN VOLTAGE");
}

TEST_F(RunLoopTest, ConstantVoltageSendsANewSetPointOnceAndTheChargeModeWhenItChanges) {
  Morvand& m = ready();
  int running = 0;
  host.onLaserRunning = [&](int32_t, float) {
    ++running;
    if (running == 2) {
      m.VoltSet = 13.0f;
      m.ChMode = 1;
    }
    if (running == 6) m.LaserStop();
  };
  m.LaserRun();
  const auto out = card->texts(Op::AOVoltageOut);
  EXPECT_EQ(std::count(out.begin(), out.end(), "AOVoltageOut(0, 3.25)"), 1);
  const auto writes = card->texts(Op::DioWritePortByte);
  EXPECT_EQ(std::count(writes.begin(), writes.end(), "DioWritePortByte(0, 2, 2)"), 1);
}

// ---- counting, pause and rate changes ----

/// Pulses a generator fired between from and to, given the times and periods of its
/// starts.
double generatedPulses(const std::vector<std::pair<double, double>>& starts, double from,
                       double to) {
  double pulses = 0.0;
  for (size_t i = 0; i < starts.size(); ++i) {
    const double begin = std::max(starts[i].first, from);
    const double end = std::min(i + 1 < starts.size() ? starts[i + 1].first : to, to);
    if (end > begin) pulses += (end - begin) / starts[i].second;
  }
  return pulses;
}

TEST_F(RunLoopTest, RateChangesUpAndDownKeepTheEstimatedCountAtTheRateThatWasFired) {
  Morvand& m = ready();
  ASSERT_EQ(m.RepRate, 20);
  std::vector<std::pair<double, double>> generator;  // time, period
  std::vector<std::string> order;
  card->onCall = [&](const DriverCall& c) {
    if (c.op == Op::CounterPulseStart) {
      generator.push_back({timed.seconds(), c.fields[1]});
      order.push_back(c.text());
    }
    if (c.op == Op::AOVoltageOut && c.fields[0] == 1 && (order.empty() || order.back() != "motor")) {
      order.push_back("motor");
    }
  };
  double lastPass = 0.0;
  host.onLaserRunning = [&](int32_t, float) {
    lastPass = timed.seconds();
    const double t = firingTime();
    if (t >= 2.0 && m.RepRate == 20) m.RepRate = 100;
    if (t >= 4.0 && m.RepRate == 100) m.RepRate = 50;
    if (t >= 6.0) m.LaserStop();
  };
  m.LaserRun();
  ASSERT_EQ(generator.size(), 3u);
  // Faster: the motor is brought up before the generator; slower: the generator first.
  const auto at = [&](const std::string& s) {
    return std::find(order.begin(), order.end(), s) - order.begin();
  };
  const auto up = at("CounterPulseStart(0, 0.01, 0, 0)");
  const auto down = at("CounterPulseStart(0, 0.02, 0, 0)");
  EXPECT_EQ(order.at(static_cast<size_t>(up - 1)), "motor");
  EXPECT_EQ(order.at(static_cast<size_t>(down + 1)), "motor");

  const double fired = generatedPulses(generator, generator[0].first, lastPass);
  // Whole pulses only: each of the three stretches drops its unfinished period.
  EXPECT_LE(m.PulseNum, fired);
  EXPECT_GT(m.PulseNum, fired - 3.0);
  EXPECT_EQ(m.CumTotalPulses, 120 + m.PulseNum);
}

TEST_F(RunLoopTest, PauseAndResumeWithInternalTriggerCountOnlyTheFiringTime) {
  Morvand& m = ready();
  std::vector<std::pair<double, double>> generator;
  std::vector<double> resets;
  card->onCall = [&](const DriverCall& c) {
    if (c.op == Op::CounterPulseStart) generator.push_back({timed.seconds(), c.fields[1]});
    if (c.op == Op::CounterReset && c.fields[0] == 0) resets.push_back(timed.seconds());
  };
  int32_t atResume = -1;
  double lastPass = 0.0;
  timed.onText = [&](const std::string& text) {
    if (text == "Laser Running" && timed.timeOf("Laser Running", 2) > 0.0) {
      atResume = m.PulseNum;
    }
  };
  host.onLaserRunning = [&](int32_t, float) {
    lastPass = timed.seconds();
    if (firingTime() >= 4.0 && timed.timeOf("Laser Running", 2) > 0.0) m.LaserStop();
  };
  host.onYield = [&] {
    const double t = firingTime();
    if (t >= 2.0 && m.flag2 == 0 && timed.timeOf("Laser Standby") < 0.0) m.LaserPause(false);
    if (t >= 3.0 && m.flag2 == 2) m.LaserRestart(false);
  };
  m.LaserRun(0);

  EXPECT_GT(countOf("Laser Standby"), 10u);
  EXPECT_EQ(countOf("Laser Running"), 2u);
  // No pulses are reported while in standby.
  const auto& ev = host.events;
  const auto pause = std::find(ev.begin(), ev.end(), "LaserMessenger(Laser Standby)");
  const auto resume = std::find(pause, ev.end(), "LaserMessenger(Laser Running)");
  EXPECT_TRUE(std::none_of(pause, resume,
                           [](const std::string& e) { return e.rfind("LaserRunning(", 0) == 0; }));
  // The resume takes the count at that moment as its base; the enable line comes on again.
  ASSERT_GE(atResume, 0);
  EXPECT_NEAR(atResume, 40, 2);
  // Pulses: 20 Hz while the generator ran, none in between.
  ASSERT_EQ(generator.size(), 2u);
  ASSERT_GE(resets.size(), 2u);  // the start's counter stop, then the pause
  const double fired = (resets[1] - generator[0].first) / generator[0].second +
                       (lastPass - generator[1].first) / generator[1].second;
  EXPECT_NEAR(m.PulseNum, fired, 1.5);
  // Each pulse is added once, those before the pause included.
  EXPECT_EQ(m.CounterTotal, m.PulseNum);
  EXPECT_EQ(m.CumTotalPulses, 120 + m.PulseNum);
  EXPECT_EQ(m.PulsesThisFill, 30 + m.PulseNum);
}

TEST_F(RunLoopTest, PauseAndResumeWithExternalTriggerSwitchTheEnableLine) {
  Morvand& m = ready();
  countOnRead(0, 1);
  host.onYield = [&] {
    const double t = firingTime();
    if (t >= 1.0 && m.flag2 == 0 && timed.timeOf("Laser Standby") < 0.0) m.LaserPause(false);
    if (t >= 2.0 && m.flag2 == 2) m.LaserRestart(false);
    if (t >= 3.0 && m.flag2 == 0 && timed.timeOf("Laser Running", 2) > 0.0) m.LaserStop();
  };
  m.LaserRun(1);
  EXPECT_EQ(countOf("Laser Running"), 2u);
  EXPECT_TRUE(card->texts(Op::CounterPulseStart).empty());
  const auto lines = callsFrom("Laser Running", kStopPrefixes);
  // Firing, pause (enable off), restart and resume (enable on twice), stop sequence.
  std::vector<std::string> expected = {"DioWritePortByte(0, 128, 0)",
                                       "DioWritePortByte(0, 128, 128)",
                                       "DioWritePortByte(0, 128, 128)"};
  const auto stop = stopLines(false);
  expected.insert(expected.end(), stop.begin(), stop.end());
  EXPECT_EQ(lines, expected);
  // Counted pulses: the counter keeps its count through the pause.
  EXPECT_EQ(m.CounterTotal, m.PulseNum);
  EXPECT_EQ(m.CumTotalPulses, 120 + m.PulseNum);
  EXPECT_EQ(static_cast<size_t>(m.PulseNum), card->texts(Op::CounterEventRead).size());
}

TEST_F(RunLoopTest, EstimatedCountsFollowTheRateWithEitherTrigger) {
  // Internal trigger on a card whose generator leaves counting on, and an external trigger
  // (no generator at all) on a card that would count: the host says the pulses cannot be
  // counted, so 10 Hz for 5 s are 50 pulses either way.
  for (const auto& [cardName, trigMode] :
       {std::pair<std::string, int16_t>{"PCI-1712", 0}, {"PCI-1711", 1}}) {
    Morvand& m = ready(cardName);
    m.CountDisabled = true;
    m.RepRate = 10;
    const int32_t before = m.CumTotalPulses;
    stopAfter(m, 5.0);
    m.LaserRun(trigMode);
    EXPECT_EQ(m.RepRate, 10) << cardName;
    EXPECT_EQ(m.PulseNum, 50) << cardName;
    EXPECT_EQ(m.CumTotalPulses, before + 50) << cardName;
    EXPECT_TRUE(card->texts(Op::CounterEventRead).empty()) << cardName;
    m_.reset();
    timed.texts.clear();
    host.messages.clear();
    card->clearCalls();
  }
}

TEST_F(RunLoopTest, AnErrorInAPassSwitchesTheLaserOffBeforeItReachesTheHost) {
  Morvand& m = ready();
  int running = 0;
  size_t callsAtError = 0;
  host.onLaserRunning = [&](int32_t, float) {
    if (++running == 3) {
      callsAtError = card->calls().size();
      throw std::runtime_error("host handler failed");
    }
  };
  EXPECT_THROW(m.LaserRun(), std::runtime_error);
  const auto all = card->texts();
  std::vector<std::string> after;
  for (size_t i = callsAtError; i < all.size(); ++i) {
    for (const auto& p : kStopPrefixes) {
      if (all[i].rfind(p, 0) == 0) after.push_back(all[i]);
    }
  }
  EXPECT_EQ(after, stopLines(true));
  // The error is the host's; the run does not end as if it had been stopped or completed.
  EXPECT_EQ(host.messages.back(), "Laser Running");
  EXPECT_EQ(m.CumTotalPulses, 120 + m.PulseNum);  // the pulses fired so far are accounted

  host.onLaserRunning = nullptr;
  stopAfter(m, 0.0);
  m.LaserRun();
  EXPECT_EQ(countOf("Starting Laser"), 2u);
}

TEST_F(RunLoopTest, EveryPassReportsTheStartInputAndMotorAndEverySecondTheMeasurements) {
  Morvand& m = ready();
  card->setAnalog(3, filamentVolts(6.2f));
  stopAfter(m, 5.0);
  m.LaserRun();
  const size_t passes = host.eventsNamed("LaserRunning").size();
  EXPECT_EQ(host.eventsNamed("ExtStartState").size(), passes);
  EXPECT_EQ(host.eventsNamed("MotorSelect").size(), passes);
  EXPECT_EQ(host.eventsNamed("MotorSelect").back(), "MotorSelect(0, 6)");
  const auto measurements = host.eventsNamed("Measurements");
  EXPECT_GE(measurements.size(), 4u);
  EXPECT_LE(measurements.size(), 6u);
  EXPECT_EQ(measurements.back(), "Measurements(25, 2000, 0, 6.2, 12)");
  EXPECT_GT(passes, 100u);
}

TEST_F(RunLoopTest, AnAccountingOverflowFailsAfterTheStopSequenceAndFreesTheNextRun) {
  Morvand& m = ready();
  m.CumTotalPulses = std::numeric_limits<int32_t>::max() - 5;
  m.MaxNum = 10;
  EXPECT_THROW(m.LaserRun(), OverflowError);
  EXPECT_GE(m.PulseNum, 10);
  EXPECT_EQ(card->texts().back(), "DioWritePortByte(1, 128, 0)");

  m.CumTotalPulses = 0;
  m.LaserRun();
  EXPECT_EQ(countOf("Starting Laser"), 2u);
  EXPECT_EQ(countOf("LASER IS ALREADY RUNNING"), 0u);
  EXPECT_EQ(m.CumTotalPulses, m.PulseNum);
}

TEST_F(RunLoopTest, AStatusPollDuringARunLeavesTheLaserFiringAndStartsNoWarmup) {
  Morvand& m = ready();
  card->setPortIn(0, 0x05);  // power OK and interlock closed
  m.ThyTime = 1.0f;          // no warm-up done yet
  int yields = 0;
  bool polling = false;
  host.onYield = [&] {
    if (polling || ++yields % 10 != 0) return;
    polling = true;
    m.MorvandStatus(true);
    polling = false;
  };
  size_t to = 0;  // calls made before the stop request
  host.onLaserRunning = [&](int32_t, float) {
    if (to == 0 && firingTime() >= 2.0) {
      to = card->calls().size();
      m.LaserStop();
    }
  };
  m.LaserRun();
  host.onYield = nullptr;
  EXPECT_TRUE(host.eventsNamed("Warmingup").empty());
  // While firing the enable line is only ever switched on.
  const auto all = card->texts();
  const size_t from = timed.callsBefore("Laser Running");
  ASSERT_LT(from, to);
  EXPECT_EQ(std::count(all.begin() + static_cast<long>(from), all.begin() + static_cast<long>(to),
                       "DioWritePortByte(0, 128, 0)"),
            0);
  EXPECT_GT(std::count(all.begin() + static_cast<long>(from), all.begin() + static_cast<long>(to),
                       "DioReadPortByte(0)"),
            0);
  // The first poll after the run warms the thyratron up.
  m.MorvandStatus(false);
  EXPECT_FALSE(host.eventsNamed("Warmingup").empty());
}

}  // namespace
}  // namespace morvand::test
