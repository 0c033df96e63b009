// The laser plant on its own: gas handling, charging supply, discharge and gas ageing,
// thermal behaviour, thyratron, motor, faults and determinism.

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "morvand/sim/laser_plant.hpp"

namespace morvand::sim {
namespace {

using namespace std::chrono_literals;

constexpr uint8_t kPumpout = 25, kPremixFill = 10, kHeliumFill = 12;
constexpr uint8_t kEnable = 0x80, kFanOff = 0x10, kStandby = 0x01, kMotorOn = 0x04;

class PlantTest : public ::testing::Test {
 protected:
  PlantTest() { plant.setLaser(5, 1); }  // a 15 kV fluorine head, 645 Torr/V gauge
  /// Fires at rate Hz for the given time with the charger programmed to kv.
  void fire(double kv, double rate, std::chrono::seconds d) {
    plant.setControlLines(kEnable);
    plant.setAnalogOutput(0, kv / plant.parameters().chargerKvPerVolt);
    plant.setInternalTriggerRate(rate);
    clock.advance(d);
  }
  /// Pressure as the controller converts the gauge volts.
  double gaugeTorr() { return (plant.analogInput(0) - 0.1) * plant.parameters().gaugeTorrPerVolt; }

  VirtualClock clock;
  LaserPlant plant{clock, 42};
};

TEST_F(PlantTest, PumpOutEmptiesAFullChamberWellWithinTheServiceLimits) {
  plant.setChamber(4500.0);
  plant.setValveLines(kPumpout);
  clock.advance(15s);
  EXPECT_LT(plant.pressure(), 4500.0 - 30.0);
  clock.advance(185s);
  EXPECT_LT(plant.pressure(), 20.0);
  EXPECT_GT(plant.pressure(), 1.0);  // the pump has a base pressure
  clock.advance(200s);
  EXPECT_NEAR(gaugeTorr(), 2.0, 2.0);
}

TEST_F(PlantTest, PremixFillRisesQuicklyAndApproachesTheRegulatorWithoutOvershoot) {
  plant.setChamber(3.0, 0.0);
  plant.setValveLines(kPremixFill);
  clock.advance(5s);
  EXPECT_GT(plant.pressure(), 3.0 + 50.0);
  clock.advance(15s);
  EXPECT_GT(plant.pressure(), 2700.0);  // a typical fill target in one cycle
  clock.advance(40s);
  EXPECT_GT(plant.pressure(), 4300.0);  // the highest fill target in the first cycle
  clock.advance(600s);
  EXPECT_LE(plant.pressure(), plant.parameters().premixRegulatorTorr);
  EXPECT_NEAR(plant.halogen(), 1.0, 1e-3);  // the chamber now holds fresh premix
}

TEST_F(PlantTest, HeliumFillPassesNineHundredTorrAndStopsAtTheRegulator) {
  plant.setChamber(15.0);
  plant.setValveLines(kHeliumFill);
  clock.advance(30s);
  EXPECT_GT(plant.pressure(), 900.0);
  clock.advance(300s);
  EXPECT_NEAR(plant.pressure(), plant.parameters().heliumRegulatorTorr, 1.0);
  EXPECT_LT(plant.halogen(), 0.05);  // helium dilutes the laser gas
}

TEST_F(PlantTest, ClosedValvesHoldThePressureApartFromASlowLeak) {
  plant.setChamber(2600.0);
  plant.setValveLines(0);
  clock.advance(600s);
  EXPECT_NEAR(plant.pressure(), 2600.0, 10.0);
  // Inlets and pump act on the chamber only through the main valve.
  plant.setValveLines(kPumpout & ~0x08);
  clock.advance(60s);
  EXPECT_NEAR(plant.pressure(), 2600.0, 10.0);
}

TEST_F(PlantTest, GasFaultsStopTheFlowsTheyConcern) {
  plant.setChamber(2600.0);
  plant.setFault(Fault::PumpFailure, true);
  plant.setValveLines(kPumpout);
  clock.advance(20s);
  EXPECT_NEAR(plant.pressure(), 2600.0, 5.0);

  plant.setFault(Fault::PumpFailure, false);
  plant.setFault(Fault::ValveStuck, true);
  clock.advance(20s);
  EXPECT_NEAR(plant.pressure(), 2600.0, 5.0);
  plant.setFault(Fault::ValveStuck, false);

  plant.setChamber(5.0);
  plant.setFault(Fault::PremixEmpty, true);
  plant.setValveLines(kPremixFill);
  clock.advance(10s);
  EXPECT_LT(plant.pressure(), 6.0);
  plant.setFault(Fault::HeliumEmpty, true);
  plant.setValveLines(kHeliumFill);
  clock.advance(10s);
  EXPECT_LT(plant.pressure(), 6.0);
}

TEST_F(PlantTest, TheChargerFollowsTheProgrammingVoltageOnlyWhileEnabled) {
  plant.setAnalogOutput(0, 3.0);  // 12 kV on a 4 kV/V supply
  clock.advance(1s);
  EXPECT_LT(plant.chargingKv(), 0.1);
  plant.setControlLines(kEnable);
  clock.advance(1s);
  EXPECT_NEAR(plant.chargingKv(), 12.0, 0.01);
  EXPECT_NEAR(plant.analogInput(2) * 20.0, 12.0, 0.1);
  EXPECT_NEAR(plant.analogInput(7), 3.0, 1e-9);
  plant.setFault(Fault::InterlockOpen, true);
  clock.advance(5s);
  EXPECT_LT(plant.chargingKv(), 0.2);
}

TEST_F(PlantTest, PulseEnergyGrowsWithTheChargingVoltageAndReadsOnTheMonitor) {
  fire(12.8, 100.0, 2s);
  const double atHalf = plant.lastPulseEnergy();
  EXPECT_NEAR(atHalf, 0.5, 0.01);
  EXPECT_NEAR(plant.dischargesFired(), 200, 1);
  EXPECT_NEAR(plant.analogInput(1), 0.2 + 5.0 * atHalf, 0.15);
  fire(14.0, 100.0, 1s);
  EXPECT_GT(plant.lastPulseEnergy(), atHalf * 1.15);
  // Once firing stops the monitor drops back to its offset.
  plant.setInternalTriggerRate(0.0);
  clock.advance(1s);
  EXPECT_NEAR(plant.analogInput(1), 0.2, 0.01);
}

TEST_F(PlantTest, NothingFiresWithoutChargeGasOrPower) {
  plant.setInternalTriggerRate(100.0);
  clock.advance(2s);  // enable line off: the capacitor never charges
  EXPECT_EQ(plant.dischargesFired(), 0);
  plant.setChamber(100.0);
  fire(12.8, 100.0, 2s);
  EXPECT_EQ(plant.dischargesFired(), 0);
  plant.setChamber(2600.0);
  plant.setFault(Fault::PowerLost, true);
  fire(12.8, 100.0, 2s);
  EXPECT_EQ(plant.dischargesFired(), 0);
  EXPECT_NEAR(plant.analogInput(8), 0.0, 0.01);  // 12 V monitor
  plant.setFault(Fault::PowerLost, false);
  clock.advance(1s);
  EXPECT_NEAR(plant.analogInput(8) * 3.0, 12.0, 0.1);
}

TEST_F(PlantTest, TheGasAgesWithPulsesAndAFreshFillRestoresIt) {
  PlantParameters params = plant.parameters();
  params.gasLifetimePulses = 10000.0;
  plant.setParameters(params);
  fire(12.8, 100.0, 1s);
  const double fresh = plant.lastPulseEnergy();
  fire(12.8, 100.0, 100s);
  EXPECT_NEAR(plant.halogen(), std::exp(-1.01), 0.02);
  EXPECT_NEAR(plant.lastPulseEnergy() / fresh, plant.halogen(), 0.02);

  plant.setControlLines(0);
  plant.setInternalTriggerRate(0.0);
  plant.setValveLines(kPumpout);
  clock.advance(360s);
  plant.setValveLines(kPremixFill);
  clock.advance(15s);
  plant.setValveLines(0);
  EXPECT_GT(plant.halogen(), 0.99);
}

TEST_F(PlantTest, FiringHeatsTheGasAndOnlyTheFanKeepsItBelowTheLimit) {
  fire(12.8, 200.0, 300s);
  EXPECT_GT(plant.temperature(), 26.0);
  EXPECT_LT(plant.temperature(), 40.0);
  EXPECT_NEAR(plant.analogInput(4) * 10.0, plant.temperature(), 0.2);

  plant.setFault(Fault::Overheating, true);
  fire(12.8, 200.0, 120s);
  EXPECT_GT(plant.temperature(), 55.0);
  // The fan line is active low: setting it stops the fan too.
  plant.setFault(Fault::Overheating, false);
  plant.setControlLines(kEnable | kFanOff);
  EXPECT_FALSE(plant.fanRunning());
  plant.setControlLines(kEnable);
  EXPECT_TRUE(plant.fanRunning());
}

TEST_F(PlantTest, TheStandbyLineLowersTheFilamentToItsSleepVoltage) {
  EXPECT_NEAR(plant.analogInput(3) * 2.0, 6.3, 0.05);
  plant.setControlLines(kStandby);
  clock.advance(20s);
  EXPECT_NEAR(plant.analogInput(3) * 2.0, 4.9, 0.05);
}

TEST_F(PlantTest, MotorSpeedFollowsTheDriveVoltageOrTheSpeedLevels) {
  plant.setControlLines(kMotorOn);
  plant.setAnalogOutput(1, 0.7505);  // the drive of the full repetition rate
  clock.advance(8s);
  EXPECT_NEAR(plant.motorRpm(), 3002.0, 5.0);
  EXPECT_NEAR(plant.analogInput(6) * 5.25, 24.0, 0.01);
  plant.setAnalogOutput(1, 0.2);
  clock.advance(8s);
  EXPECT_NEAR(plant.motorRpm(), 800.0, 2.0);
  const double revs = plant.tachometerPulses();
  clock.advance(30s);
  EXPECT_NEAR(plant.tachometerPulses() - revs, 400.0, 1.0);

  plant.setAnalogOutput(1, 0.0);
  plant.setControlLines(0x08);  // level 2 of the digital scheme
  clock.advance(8s);
  EXPECT_NEAR(plant.motorRpm(), 2000.0, 2.0);
  plant.setControlLines(0);
  clock.advance(10s);
  EXPECT_LT(plant.motorRpm(), 1.0);
}

TEST_F(PlantTest, AnUnpluggedHeadReadsAsDisconnectedOnPressureAndTemperature) {
  plant.setFault(Fault::HeadUnplugged, true);
  EXPECT_LT(gaugeTorr(), -20.0);
  EXPECT_LT(plant.analogInput(4) * 10.0, -5.0);
  EXPECT_LT(plant.analogInput(8) * 3.0, 10.0);
  EXPECT_FALSE(plant.powerOk());
  EXPECT_FALSE(plant.interlockClosed());
}

TEST_F(PlantTest, SingleSignalFaultsAffectTheirInputOnly) {
  plant.setFault(Fault::GaugeFault, true);
  EXPECT_LT(gaugeTorr(), 0.0);
  EXPECT_GT(plant.analogInput(4) * 10.0, 20.0);
  plant.setFault(Fault::GaugeFault, false);
  plant.setFault(Fault::EnergyMonitorDead, true);
  fire(12.8, 100.0, 1s);
  EXPECT_GT(plant.dischargesFired(), 0);
  EXPECT_EQ(plant.analogInput(1), 0.0);
  EXPECT_GT(gaugeTorr(), 2500.0);
}

TEST_F(PlantTest, TheSameSeedGivesTheSameReadingsAndAnotherSeedOthers) {
  auto readings = [](uint64_t seed) {
    VirtualClock c;
    LaserPlant p(c, seed);
    p.setLaser(1, 1);
    p.setControlLines(kEnable);
    p.setAnalogOutput(0, 3.2);
    p.setInternalTriggerRate(50.0);
    std::vector<double> out;
    for (int i = 0; i < 50; ++i) {
      c.advance(13ms);
      out.push_back(p.analogInput(i % 5));
    }
    return out;
  };
  EXPECT_EQ(readings(3), readings(3));
  EXPECT_NE(readings(3), readings(4));
}

TEST(PlantParametersTest, HeadsDifferInGaugeScaleChargerGainWorkingVoltageAndMonitor) {
  EXPECT_EQ(plantParametersFor(31, 3).gaugeTorrPerVolt, 1350.0f);
  EXPECT_EQ(plantParametersFor(31, 3).chargerKvPerVolt, 3.0f);
  EXPECT_EQ(plantParametersFor(44, 3).chargerKvPerVolt, 6.0f);
  EXPECT_NEAR(plantParametersFor(44, 3).halfEnergyKv, 19.3f, 1e-5);  // KrF window 24-19 kV
  EXPECT_EQ(plantParametersFor(5, 3).gaugeTorrPerVolt, 645.0f);
  EXPECT_EQ(plantParametersFor(5, 3).chargerKvPerVolt, 4.0f);
  EXPECT_NEAR(plantParametersFor(5, 1).halfEnergyKv, 12.8f, 1e-5);  // fluorine window from 12.5 kV
  EXPECT_NEAR(plantParametersFor(5, 3).halfEnergyKv, 12.3f, 1e-5);
  // LM-10 on KrF: 45 energy units at 8 per monitor volt.
  EXPECT_NEAR(plantParametersFor(5, 3).monitorFullScaleVolts, 45.0f / 8.0f, 1e-5);
  // A cell without a monitor scale keeps the default calibration.
  EXPECT_EQ(plantParametersFor(5, 1).monitorFullScaleVolts, 5.0f);
  EXPECT_EQ(plantParametersFor(15, 1).chargerKvPerVolt, 4.0f);  // code without a model
}

TEST(FaultTest, EveryFaultHasAUniqueNameThatLeadsBackToIt) {
  const auto faults = allFaults();
  EXPECT_EQ(faults.size(), 10u);
  for (Fault f : faults) {
    EXPECT_EQ(faultByName(faultName(f)), f) << faultName(f);
  }
  EXPECT_EQ(faultByName("pump-failure"), Fault::PumpFailure);
  EXPECT_FALSE(faultByName("bogus").has_value());
}

}  // namespace
}  // namespace morvand::sim
