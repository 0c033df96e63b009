// Constant-energy operation holds its set-point while the gas ages, the motor follows the
// repetition rate during a run, and a seed fixes the whole session.

#include <algorithm>
#include <cmath>

#include "scenario.hpp"

namespace morvand::scenario {
namespace {

class RegulationTest : public Scenario {};

TEST_F(RegulationTest, ConstantEnergyHoldsTheSetPointWhileTheGasAges) {
  start("sim:1712");
  sim::PlantParameters params = plant().parameters();
  params.gasLifetimePulses = 60000.0;  // a gas that visibly ages within the run
  plant().setParameters(params);
  openAndSkipWarmup();
  m->mode = 1;
  m->RepRate = 100;
  m->MaxNum = 8000;
  float worst = 0.0f;
  float voltAtSettle = 0.0f;
  host().onLaserRunning = [&](int32_t n, float energy) {
    if (n < 2000) return;  // the charging voltage first climbs to the working point
    if (voltAtSettle == 0.0f) voltAtSettle = m->VoltSet;
    worst = std::max(worst, std::abs(energy - m->SetEnergy) / m->SetEnergy);
  };
  const double halogenBefore = plant().halogen();
  m->LaserRun(0);
  EXPECT_TRUE(host().saw("Operation Completed"));
  EXPECT_LT(plant().halogen(), 0.92 * halogenBefore);
  EXPECT_LT(worst, 0.04f);
  // The regulation made up for the lost halogen with charging voltage.
  EXPECT_GT(m->VoltSet, voltAtSettle + 0.2f);
  EXPECT_LT(m->VoltSet, m->HiVoltMax);
}

class MotorTest : public Scenario, public ::testing::WithParamInterface<const char*> {};

TEST_P(MotorTest, MotorSpeedFollowsARateChangeDuringTheRun) {
  start(GetParam());
  openAndSkipWarmup();
  double rpmLow = 0.0, rpmHigh = 0.0;
  int stage = 0;
  m->RepRate = 100;
  m->MaxNum = 50000000;
  // Each measurement opens its window with one call and reads it 2 s later (the 1712 counts
  // tachometer pulses over the window, the 1711 times one turn at each call).
  host().onLaserRunning = [&](int32_t n, float) {
    if (stage == 0 && n >= 1000) {
      m->MotorRpmMes();
      ++stage;
    } else if (stage == 1 && n >= 1200) {
      rpmLow = m->MotorRpmMes();
      m->RepRate = 200;
      ++stage;
    } else if (stage == 2 && n >= 4000) {
      m->MotorRpmMes();
      ++stage;
    } else if (stage == 3 && n >= 4400) {
      rpmHigh = m->MotorRpmMes();
      m->LaserStop();
      ++stage;
    }
  };
  m->LaserRun(0);
  ASSERT_EQ(stage, 4);
  ASSERT_GT(rpmLow, 0.0);
  const double expected = m->MotorR2V(200) / m->MotorR2V(100);
  EXPECT_NEAR(rpmHigh / rpmLow, expected, 0.08 * expected);
  // The stop sequence ramps the drive down and switches the motor off; it coasts to rest.
  EXPECT_EQ(m->VoltMotorOld, 0.0f);
  EXPECT_FALSE(m->MotorEnabled);
  EXPECT_LT(plant().motorRpm(), 0.1 * rpmHigh);
}

INSTANTIATE_TEST_SUITE_P(EachCard, MotorTest, ::testing::Values("sim:1711", "sim:1712"),
                         [](const auto& p) { return std::string(p.param + 4); });

class DeterminismTest : public Scenario {
 protected:
  std::vector<std::string> session(uint64_t seed) {
    start("sim:1712", 5, 3, seed);
    EXPECT_TRUE(m->StandardCard());
    m->MorvandStatus(true);
    m->mode = 1;
    m->RepRate = 100;
    m->MaxNum = 2000;
    m->LaserRun(0);
    m->GasPartialRefill();
    return host().events;
  }
};

TEST_F(DeterminismTest, TheSameSeedGivesTheSameEventLogAndAnotherSeedADifferentOne) {
  const auto first = session(11);
  const auto again = session(11);
  const auto other = session(12);
  EXPECT_GT(first.size(), 1000u);
  EXPECT_EQ(first, again);
  EXPECT_NE(first, other);
}

}  // namespace
}  // namespace morvand::scenario
