// Partial refill: warning and cylinder question, pre-fill below 1600 Torr, pump-down to
// 1600 Torr, fill cycles, and the closing filter step for the high-pressure model only.

#include "gas_fixture.hpp"

namespace morvand::test {
namespace {

using Patterns = std::vector<int>;
using Strings = std::vector<std::string>;

const char* const kManualValve = "THE MANUAL VALVE MUST BE OPEN FOR THIS OPERATION";
const char* const kCylinder =
    "IS A CYLINDER OF PREMIX GAS ATTACHED TO THE CORRECT LASER PORT, AND IS THE PREMIX LINE "
    "PUMPED OUT?";
const char* const kLowQuestion =
    "THERE MAY BE A PROBLEM, THE CHAMBER PRESSURE READS LESS THAN 1600 TORR, DO YOU WISH TO "
    "PROCEDE?";
const char* const kLowNotice =
    "CHAMBER PRESSURE LOW, FILLING LASER TO 2000 TORR, THEN BEGINNING PARTIAL GAS REPLACEMENT";

class PartialRefill : public PopupModeTest {
 protected:
  /// The warning and the cylinder question (or its event) that open every run.
  Strings opening() const override {
    return {say(kManualValve, 48, "MANUAL VALVE WARNING"),
            say(kCylinder, 3, "PREMIX GAS CYLINDER?")};
  }
};

TEST_P(PartialRefill, PumpsDownTo1600TorrAndRefillsWithoutTheFilterStep) {
  Morvand& m = start(5, 1, popups());
  host.answers = {1, 6};
  m.Punits = 2;
  double pumpedFor = 0.0;
  float lowest = 1e9f;
  host.onYield = [&] {
    EXPECT_TRUE(gasState().procedureActive);
    if (valvePort() == 25) pumpedFor = sinceOpened(25);
    lowest = std::min(lowest, gasState().PressTorr);
  };
  m.GasPartialRefill();
  EXPECT_EQ(valvePatterns(), (Patterns{25, 0, 10, 0}));
  EXPECT_EQ(told(), opening());
  EXPECT_EQ(m.Punits, 3);
  EXPECT_LT(pumpedFor, 45.0);  // 2400 -> 1600 Torr at 20 Torr/s, not the whole time limit
  EXPECT_LE(lowest, 1600.0f);
  EXPECT_GT(lowest, 1500.0f);  // the pump-down stops at the first reading at 1600 or below
  EXPECT_GT(m.Pressure, 2400.0f);
  EXPECT_FALSE(gasState().procedureActive);
  if (popups()) {
    EXPECT_EQ(messageState().MsgText, kCylinder);
    EXPECT_EQ(messageState().MsgTitle, "PREMIX GAS CYLINDER?");
    EXPECT_EQ(messageState().MsgStyle, 3);
  }
}

TEST_P(PartialRefill, HighPressureModelEndsEveryPathWithTheFilterStep) {
  Morvand& m = start(31, 1, popups());
  host.answers = {1, 6};
  chamber.torr = 2700.0f;
  m.GasPartialRefill();
  EXPECT_EQ(valvePatterns(), (Patterns{25, 0, 10, 0, 0, 3, 0}));
  destroy();

  Morvand& broken = start(31, 1, popups());
  chamber.torr = -5.0f;
  broken.GasPartialRefill();
  EXPECT_EQ(valvePatterns(), (Patterns{0, 3, 0}));
  EXPECT_EQ(
      told(),
      openingAnd({say("PRESSURE IS LESS THAN ZERO, CANNOT PROCEED", 48, "SERVICE REQUIRED")}));
}

TEST_P(PartialRefill, NegativeGaugeStopsWithoutMovingAValve) {
  Morvand& m = start(5, 1, popups());
  host.answers = {1, 6};
  chamber.torr = -5.0f;
  m.GasPartialRefill();
  EXPECT_TRUE(valvePatterns().empty());
  EXPECT_EQ(
      told(),
      openingAnd({say("PRESSURE IS LESS THAN ZERO, CANNOT PROCEED", 48, "SERVICE REQUIRED")}));
}

TEST_P(PartialRefill, ChamberBelow1600TorrIsPreFilledTo2000Torr) {
  Morvand& m = start(5, 1, popups());
  ASSERT_TRUE(reachable(1599.0f, scale));
  host.answers = {1, 6, 6};
  chamber.torr = 1599.0f;
  chamber.premixRate = 200.0f;
  m.GasPartialRefill();
  EXPECT_EQ(valvePatterns(), (Patterns{10, 0, 25, 0, 10, 0}));
  if (popups()) {
    EXPECT_EQ(told(), openingAnd({say(kLowQuestion, 3, "CHAMBER PRESSURE LOW"),
                                  say(kLowNotice, 48, "LOW PRESSURE")}));
  } else {
    EXPECT_EQ(told(), openingAnd({kLowNotice}));
  }
}

TEST_P(PartialRefill, ChamberAt1600TorrGoesStraightToThePumpDown) {
  Morvand& m = start(31, 1, popups());
  ASSERT_TRUE(reachable(1600.0f, scale));
  host.answers = {1, 6};
  chamber.torr = 1600.0f;
  m.GasPartialRefill();
  EXPECT_EQ(valvePatterns(), (Patterns{25, 0, 10, 0, 0, 3, 0}));
  EXPECT_EQ(told(), opening());
}

TEST_P(PartialRefill, PreFillStuckBelow2000TorrTimesOut) {
  Morvand& m = start(5, 1, popups());
  host.answers = {1, 6, 6};
  chamber.torr = 1000.0f;
  chamber.premixSupply = 1999.0f;
  double fillOpenFor = 0.0;
  host.onYield = [&] {
    if (valvePort() == 10) fillOpenFor = sinceOpened(10);
  };
  m.GasPartialRefill();
  EXPECT_EQ(valvePatterns(), (Patterns{10, 0}));
  EXPECT_GE(fillOpenFor, 39.9);
  EXPECT_LT(fillOpenFor, 40.5);
  EXPECT_EQ(told().back(),
            say("THE LASER DID NOT REACH 2000 TORR IN THE TIME ALLOWED, PARTIAL GAS REPLACEMENT "
                "CANCELLED",
                16, "TIMEOUT"));
}

TEST_P(PartialRefill, PumpDownThatDroppedExactly20TorrByTheCheckGoesOn) {
  Morvand& m = start(5, 1, popups());
  ASSERT_TRUE(reachable(1700.0f, scale) && reachable(1680.0f, scale));
  host.answers = {1, 6};
  script(1700.0f, {{25,
                    [](double t) {
                      if (t < 1.0) return 1700.0f;
                      if (t < 20.0) return 1680.0f;
                      return 1590.0f;
                    }},
                   {10, [](double) { return 2500.0f; }}});
  m.GasPartialRefill();
  EXPECT_EQ(valvePatterns(), (Patterns{25, 0, 10, 0}));
  EXPECT_EQ(told(), opening());
}

TEST_P(PartialRefill, PumpDownThatDroppedLessThan20TorrByTheCheckFails) {
  Morvand& m = start(5, 1, popups());
  host.answers = {1, 6};
  script(1700.0f, {{25, [](double t) { return t < 1.0 ? 1700.0f : 1681.0f; }}});
  double failedAfter = 0.0;
  host.onYield = [&] {
    if (valvePort() == 25) failedAfter = sinceOpened(25);
  };
  m.GasPartialRefill();
  EXPECT_EQ(valvePatterns(), (Patterns{25, 0}));
  EXPECT_GE(failedAfter, 15.0);
  EXPECT_LT(failedAfter, 15.5);
  EXPECT_EQ(told(), openingAnd({say("PUMP OUT FAILURE, THERE IS NO CHANGE IN GAS PRESSURE", 16,
                                    "PUMP TIME OUT FAILURE")}));
}

TEST_P(PartialRefill, PumpDownThatRunsOutOfTimeFails) {
  Morvand& m = start(5, 1, popups());
  host.answers = {1, 6};
  chamber.pumpRate = 5.0f;  // 2400 -> 1600 Torr would take 160 s; the limit is 60 s
  double failedAfter = 0.0;
  host.onYield = [&] {
    if (valvePort() == 25) failedAfter = sinceOpened(25);
  };
  m.GasPartialRefill();
  EXPECT_EQ(valvePatterns(), (Patterns{25, 0}));
  EXPECT_GE(failedAfter, 60.0);
  EXPECT_LT(failedAfter, 60.5);
  EXPECT_EQ(told().back(), say("PUMP OUT FAILURE, THERE IS NO CHANGE IN GAS PRESSURE", 16,
                               "PUMP TIME OUT FAILURE"));
}

TEST_P(PartialRefill, FillCyclesKeepTheirRulesWithOneReadingPerStep) {
  // No rise in the first cycle.
  Morvand& m = start(5, 1, popups());
  host.answers = {1, 6};
  script(2400.0f, {{25, [](double t) { return std::max(1500.0f, 2400.0f - 100.0f * float(t)); }},
                   {10, [](double) { return 1540.0f; }}});
  m.GasPartialRefill();
  EXPECT_EQ(valvePatterns(), (Patterns{25, 0, 10, 0}));
  EXPECT_EQ(told().back(), say("FILL FAILURE, THERE IS NO CHANGE IN GAS PRESSURE DURING GAS REFILL",
                               16, "FILL FAILURE"));
  destroy();

  // Five cycles below the target end telling the pressure reached.
  Morvand& short_ = start(5, 1, popups());
  host.answers = {1, 6};
  chamber.premixSupply = 2300.0f;
  short_.GasPartialRefill();
  EXPECT_EQ(valvePatterns(), (Patterns{25, 0, 10, 0, 10, 0, 10, 0, 10, 0, 10, 0}));
  Strings expected = opening();
  expected.push_back(
      say("FILL INCOMPLETE, THE CHAMBER PRESSURE REACHED 2300 TORR, THE FILL PRESSURE IS 2400 TORR",
          48, "FILL INCOMPLETE"));
  EXPECT_EQ(told(), expected);
}

INSTANTIATE_TEST_SUITE_P(PopupsAndEvents, PartialRefill, ::testing::Bool());

class PartialRefillQuestion : public GasTest {};

TEST_F(PartialRefillQuestion, NoOrCancelToTheCylinderQuestionClosesTheValvesAndStops) {
  for (int16_t answer : {int16_t{7}, int16_t{2}}) {
    Morvand& m = start(5, 1, true);
    host.answers = {1, answer};
    m.GasPartialRefill();
    EXPECT_EQ(valvePatterns(), Patterns{0}) << answer;
    EXPECT_EQ(host.boxes.size(), 2u);
    EXPECT_EQ(card->texts(Op::AIVoltageIn).size(), 0u);  // stopped before measuring
    EXPECT_EQ(messageState().MsgAnswer, answer);
    destroy();
  }
}

TEST_F(PartialRefillQuestion, NoOrCancelToTheLowPressureQuestionClosesTheValvesAndStops) {
  for (int16_t answer : {int16_t{7}, int16_t{2}}) {
    Morvand& m = start(31, 1, true);
    host.answers = {1, 6, answer};
    chamber.torr = 1000.0f;
    m.GasPartialRefill();
    EXPECT_EQ(valvePatterns(), (Patterns{0, 0, 3, 0})) << answer;
    ASSERT_EQ(host.boxes.size(), 3u);
    EXPECT_EQ(host.boxes.back().text, kLowQuestion);
    destroy();
  }
}

}  // namespace
}  // namespace morvand::test
