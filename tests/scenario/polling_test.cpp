// A host that polls MorvandStatus(True) from a timer, which also fires during the yields of a
// run or a gas procedure: the poll must not disturb the operation it watches.

#include <algorithm>
#include <limits>
#include <string>
#include <vector>

#include "scenario.hpp"

namespace morvand::scenario {
namespace {

class PollingTest : public Scenario {
 protected:
  ~PollingTest() override {
    if (sim) {
      host().onYield = nullptr;
      host().onLaserRunning = nullptr;
    }
  }
  /// The host's timer: a status poll at every tenth yield (never inside one of its own).
  void pollEveryTenthYield() {
    host().onYield = [this] {
      if (polling_ || ++yields_ % 10 != 0) return;
      polling_ = true;
      m->MorvandStatus(true);
      ++polls;
      polling_ = false;
    };
  }
  /// The operator texts of a gas procedure on a fresh 1712 installation, polled or not.
  std::vector<std::string> gasSession(bool polled, bool optics) {
    start("sim:1712");
    openAndSkipWarmup();
    if (polled) pollEveryTenthYield();
    if (optics) {
      EXPECT_TRUE(m->OpticsSevStart());
      EXPECT_TRUE(m->OpticsSevFinish());
    } else {
      m->GasAutoRefill();
    }
    host().onYield = nullptr;
    const Limits lim = m->limits();
    EXPECT_GE(m->Pressure, lim.FillPressLow);
    EXPECT_LE(plant().pressure(), lim.FillPressHigh);
    EXPECT_EQ(plant().valveLines(), 0);
    return host().messages;
  }

  int polls = 0;

 private:
  int yields_ = 0;
  bool polling_ = false;
};

class PolledRun : public PollingTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(PolledRun, ABudgetedRunFiresEveryPulseItCounts) {
  start(GetParam());
  openAndSkipWarmup();
  m->MaxNum = 2000;
  const int64_t firedBefore = plant().dischargesFired();
  float lowestEnergy = std::numeric_limits<float>::max();
  host().onLaserRunning = [&](int32_t pulses, float energy) {
    if (pulses > 0) lowestEnergy = std::min(lowestEnergy, energy);
  };
  pollEveryTenthYield();
  m->LaserRun(0);
  host().onYield = nullptr;
  EXPECT_GT(polls, 10);
  EXPECT_EQ(host().messages.back(), "Operation Completed");
  EXPECT_GE(m->PulseNum, 2000);
  EXPECT_EQ(plant().dischargesFired() - firedBefore, m->PulseNum);
  EXPECT_GT(lowestEnergy, 0.0f);
  EXPECT_TRUE(host().eventsNamed("Warmingup").empty());
  expectSafeState();
}

INSTANTIATE_TEST_SUITE_P(EachCard, PolledRun, ::testing::Values("sim:1710", "sim:1711", "sim:1712"),
                         [](const auto& p) { return std::string(p.param + 4); });

TEST_F(PollingTest, ARefillOnThe1712CompletesAsWithoutThePoll) {
  const auto quiet = gasSession(false, false);
  const auto polled = gasSession(true, false);
  EXPECT_GT(polls, 100);
  EXPECT_EQ(polled, quiet);
}

TEST_F(PollingTest, AnOpticsServiceOnThe1712CompletesAsWithoutThePoll) {
  const auto quiet = gasSession(false, true);
  const auto polled = gasSession(true, true);
  EXPECT_GT(polls, 100);
  EXPECT_EQ(polled, quiet);
}

TEST_F(PollingTest, TheWarmupDueAtTheStartWaitsForTheFirstPollAfterTheRefill) {
  start("sim:1712");
  ASSERT_TRUE(m->StandardCard());  // no warm-up yet
  pollEveryTenthYield();
  m->GasAutoRefill();
  host().onYield = nullptr;
  EXPECT_GT(polls, 100);
  EXPECT_TRUE(host().eventsNamed("Warmingup").empty());
  EXPECT_GE(m->Pressure, m->limits().FillPressLow);
  host().onWarmingup = [](float, bool& cancel) { cancel = true; };
  m->MorvandStatus(true);
  host().onWarmingup = nullptr;
  EXPECT_FALSE(host().eventsNamed("Warmingup").empty());
}

}  // namespace
}  // namespace morvand::scenario
