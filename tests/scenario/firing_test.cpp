// Firing on the simulated laser: the pulses the run accounts for are the pulses that
// reached the trigger input, through pauses and rate changes, counted (PCI-1712) or
// estimated (PCI-1711); a lost supply ends a run safely.

#include <cmath>

#include "morvand/sim/fault.hpp"
#include "scenario.hpp"

namespace morvand::scenario {
namespace {

class FiringTest : public Scenario, public ::testing::WithParamInterface<const char*> {
 protected:
  /// Seconds since the run's first "Laser Running", -1 before.
  double firing() const { return firingSince_ < 0.0 ? -1.0 : now() - firingSince_; }
  double now() const { return std::chrono::duration<double>(sim->clock.now()).count(); }
  void watchFiring() {
    host().onEvent = [this](const std::string& e) {
      if (e == "LaserMessenger(Laser Running)" && firingSince_ < 0.0) firingSince_ = now();
    };
  }
  ~FiringTest() override {
    if (sim) {
      host().onEvent = nullptr;
      host().onYield = nullptr;
      host().onLaserRunning = nullptr;
    }
  }

 private:
  double firingSince_ = -1.0;
};

TEST_P(FiringTest, TheRunAccountsForEveryPulseFiredThroughAPauseAndRateChanges) {
  start(GetParam());
  openAndSkipWarmup();
  m->RepRate = 50;
  m->MaxNum = 50000000;
  const int32_t cumBefore = m->CumTotalPulses;
  const int32_t fillBefore = m->PulsesThisFill;
  const double pulsesBefore = plant().triggerPulses();
  watchFiring();
  int stage = 0;
  host().onYield = [&] {
    const double t = firing();
    if (stage == 0 && t >= 3.0) {
      m->RepRate = 150;
      ++stage;
    } else if (stage == 1 && t >= 6.0) {
      m->LaserPause(false);
      ++stage;
    } else if (stage == 2 && t >= 8.0) {
      m->LaserRestart(false);
      ++stage;
    } else if (stage == 3 && t >= 10.0) {
      m->RepRate = 30;
      ++stage;
    } else if (stage == 4 && t >= 13.0) {
      m->LaserStop();
      ++stage;
    }
  };
  m->LaserRun(0);
  ASSERT_EQ(stage, 5);
  expectSafeState();

  const double fired = plant().triggerPulses() - pulsesBefore;
  EXPECT_GT(fired, 800.0);
  // The count of the last pass trails the generator by at most a pass or two.
  EXPECT_NEAR(m->PulseNum, fired, 0.01 * fired);
  EXPECT_EQ(m->CounterTotal, m->PulseNum);
  EXPECT_EQ(m->CumTotalPulses, cumBefore + m->PulseNum);
  EXPECT_EQ(m->PulsesThisFill, fillBefore + m->PulseNum);
  EXPECT_EQ(host().messages.back(), "Laser Operation Stopped");
}

TEST_P(FiringTest, ALostSupplyEndsTheRunAndLeavesTheLaserSafe) {
  start(GetParam());
  openAndSkipWarmup();
  m->MaxNum = 50000000;
  watchFiring();
  host().onYield = [&] {
    if (firing() >= 2.0 && !plant().fault(sim::Fault::PowerLost)) {
      plant().setFault(sim::Fault::PowerLost, true);
    }
  };
  m->LaserRun(0);
  EXPECT_EQ(host().messages.back(), "LASER POWER OFF");
  expectSafeState();
  EXPECT_GT(m->PulseNum, 0);
}

INSTANTIATE_TEST_SUITE_P(EachCard, FiringTest, ::testing::Values("sim:1711", "sim:1712"),
                         [](const auto& p) { return std::string(p.param + 4); });

}  // namespace
}  // namespace morvand::scenario
