// The scripted host, the live clock and the back-end addresses.

#include <gtest/gtest.h>

#include <stdexcept>

#include "morvand/sim/simulation.hpp"

namespace morvand::sim {
namespace {

using namespace std::chrono_literals;

TEST(SimHostTest, UnscriptedBoxesAnswerOkOrYesAndScriptedOnesTheirQueue) {
  VirtualClock clock;
  SimHost host(clock);
  EXPECT_EQ(host.messageBox("info", 64, "T"), kAnswerOk);
  EXPECT_EQ(host.messageBox("question?", 3, "Q"), kAnswerYes);
  EXPECT_EQ(host.messageBox("yes/no?", 52, "Q"), kAnswerYes);
  host.answers = {kAnswerNo, kAnswerCancel};
  EXPECT_EQ(host.messageBox("question?", 3, "Q"), kAnswerNo);
  EXPECT_EQ(host.messageBox("question?", 3, "Q"), kAnswerCancel);
  ASSERT_EQ(host.boxes.size(), 5u);
  EXPECT_EQ(host.boxes[1].title, "Q");
  EXPECT_TRUE(host.saw("yes/no?"));

  EXPECT_EQ(host.inputBox("rate?", "SET", "20"), "");
  host.inputs = {"100"};
  EXPECT_EQ(host.inputBox("rate?", "SET", "20"), "100");
  EXPECT_EQ(host.prompts.at(0).defaultText, "20");
}

TEST(SimHostTest, EachYieldMovesTheVirtualClockAndRunsTheHandler) {
  VirtualClock clock;
  SimHost host(clock, 5ms);
  int handled = 0;
  host.onYield = [&] { ++handled; };
  const auto start = clock.now();
  host.yield();
  host.yield();
  EXPECT_EQ(clock.now() - start, 10ms);
  EXPECT_EQ(handled, 2);
  EXPECT_EQ(host.yields, 2);
}

TEST(SimHostTest, EventsAreRecordedAsTextAndPassedOn) {
  struct Sink : Events {
    int valves = 0;
    void ValveStatus(int16_t, const std::string&) override { ++valves; }
  } sink;
  VirtualClock clock;
  SimHost host(clock);
  host.forwardTo(&sink);
  host.ValveStatus(25, "Pump Main Vaccume Opened");
  host.LaserMessenger("Laser Running");
  host.Measurements(25.0f, 2600.5f, 12.0f, 6.3f, 12.0f);
  bool cancel = false;
  host.onWarmingup = [](float, bool& c) { c = true; };
  host.Warmingup(120.0f, cancel);
  EXPECT_TRUE(cancel);
  EXPECT_EQ(sink.valves, 1);
  EXPECT_EQ(host.events.at(0), "ValveStatus(25, Pump Main Vaccume Opened)");
  EXPECT_EQ(host.events.at(2), "Measurements(25, 2600.5, 12, 6.3, 12)");
  EXPECT_EQ(host.messages, std::vector<std::string>{"Laser Running"});
  EXPECT_EQ(host.eventsNamed("Warmingup").size(), 1u);
}

TEST(PacedClockTest, AsFastAsPossibleMovesOnlyWhenWaitedOn) {
  PacedClock clock(0.0, 5s);
  EXPECT_EQ(clock.now(), 5s);
  clock.sleepFor(250ms);
  EXPECT_EQ(clock.now(), 5250ms);
}

TEST(PacedClockTest, PacedTimeFollowsTheWallClockTimesTheFactor) {
  PacedClock clock(1000.0, 0s);
  const auto wallStart = std::chrono::steady_clock::now();
  clock.sleepFor(2s);  // two simulated seconds: about 2 ms of wall time
  const auto wall = std::chrono::steady_clock::now() - wallStart;
  EXPECT_GE(clock.now(), 2s);
  EXPECT_LT(wall, 500ms);
  clock.setFactor(0.0);
  const auto frozen = clock.now();
  EXPECT_EQ(clock.now(), frozen);  // no wall-clock drift once fast mode is on
}

TEST(SimulationTest, AddressesChooseTheCardAndUnknownOnesAreRejected) {
  EXPECT_EQ(makeSimulation("sim:1710", 1)->card->personality(), Personality::Pci1710);
  EXPECT_EQ(makeSimulation("sim:1711", 1)->card->personality(), Personality::Pci1711);
  EXPECT_EQ(makeSimulation("sim:1712", 1)->card->personality(), Personality::Pci1712);
  EXPECT_EQ(makeSimulation("sim:demo", 1)->card->personality(), Personality::Demo);
  EXPECT_THROW(makeSimulation("sim:1713", 1), std::invalid_argument);
  EXPECT_THROW(makeSimulation("comedi:/dev/comedi0", 1), std::invalid_argument);
}

TEST(SimulationTest, TheHostsYieldsDriveThePlantsTime) {
  auto sim = makeSimulation("sim:1711", 9);
  sim->plant->setChamber(2600.0);
  sim->plant->setValveLines(25);
  for (int i = 0; i < 10000; ++i) sim->host.yield();  // 20 s at 2 ms per yield
  EXPECT_LT(sim->plant->pressure(), 1100.0);
  sim->runLive(0.0);
  const auto t = sim->timeBase().now();
  sim->host.yield();
  EXPECT_GT(sim->timeBase().now(), t);
}

}  // namespace
}  // namespace morvand::sim
