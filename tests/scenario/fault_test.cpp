// Each fault of the simulated laser leads to the message the controller prescribes and
// leaves the laser safe.

#include "scenario.hpp"

namespace morvand::scenario {
namespace {

class FaultTest : public Scenario {
 protected:
  /// A constant-voltage run at rate Hz with internal trigger; onPulse runs on every
  /// LaserRunning event with the pulse count.
  void run(int32_t rate, std::function<void(int32_t)> onPulse) {
    m->mode = 0;
    m->RepRate = rate;
    m->MaxNum = 50000000;
    host().onLaserRunning = [onPulse = std::move(onPulse)](int32_t n, float) { onPulse(n); };
    m->LaserRun(0);
    host().onLaserRunning = nullptr;
  }
};

TEST_F(FaultTest, AnOpenInterlockSeenByTheStatusPollStopsTheRun) {
  start("sim:1711");
  openAndSkipWarmup();
  run(100, [&](int32_t n) {
    if (n >= 500) plant().setFault(sim::Fault::InterlockOpen, true);
    if (n % 100 == 0) m->MorvandStatus(true);  // the host's periodic poll
  });
  EXPECT_FALSE(m->InterlockActive);
  EXPECT_TRUE(host().saw("Laser Operation Stopped"));
  EXPECT_LT(m->PulseNum, 800);
  expectSafeState();
}

TEST_F(FaultTest, LosingThe12VSupplyEndsTheRunWithPowerOff) {
  start("sim:1712");
  openAndSkipWarmup();
  run(100, [&](int32_t n) {
    if (n >= 300) plant().setFault(sim::Fault::PowerLost, true);
  });
  ASSERT_FALSE(host().messages.empty());
  EXPECT_TRUE(host().saw("LASER POWER OFF"));
  EXPECT_FALSE(host().saw("Laser Operation Stopped"));
  EXPECT_LT(m->PulseNum, 400);
  expectSafeState();
}

TEST_F(FaultTest, ADeadFanLetsTheGasOverheatAndTheRunHalts) {
  start("sim:1711");
  openAndSkipWarmup();
  plant().setFault(sim::Fault::Overheating, true);
  run(200, [](int32_t) {});
  EXPECT_TRUE(host().saw("LASER OPERATING TEMPERATURE EXCEEDED, OPERATION HALTED"));
  EXPECT_GT(m->temp, 55.0f);
  expectSafeState();
  // Hot gas refuses the next start.
  host().clearRecords();
  m->LaserRun(0);
  EXPECT_TRUE(host().saw("LASER OPERATING TEMPERATURE EXCEEDED"));
  EXPECT_TRUE(host().eventsNamed("LaserRunning").empty());
}

TEST_F(FaultTest, AnUnpluggedHeadIsReportedByTheStatusPoll) {
  start("sim:1711");
  ASSERT_TRUE(m->StandardCard());
  plant().setFault(sim::Fault::HeadUnplugged, true);
  host().clearRecords();
  const double t0 = seconds();
  m->MorvandStatus(true);
  EXPECT_TRUE(host().saw("CONNECT THE 25 PIN CONNECTOR TO THE LASER"));
  EXPECT_EQ(host().eventsNamed("Measurements"),
            std::vector<std::string>{"Measurements(-1, -1, -1, -1, -1)"});
  EXPECT_GE(seconds() - t0, 2.0);
  EXPECT_TRUE(host().eventsNamed("Warmingup").empty());
}

TEST_F(FaultTest, AFailedPumpStopsTheRefillAtItsFirstCheck) {
  start("sim:1711");
  ASSERT_TRUE(m->StandardCard());
  plant().setFault(sim::Fault::PumpFailure, true);
  const double before = plant().pressure();
  m->GasAutoRefill();
  EXPECT_TRUE(host().saw("PUMP OUT FAILURE, THERE IS NO CHANGE IN GAS PRESSURE"));
  EXPECT_NEAR(plant().pressure(), before, 10.0);
  EXPECT_EQ(plant().valveLines(), 0);
}

TEST_F(FaultTest, AStuckMainValveLooksLikeAPumpFailure) {
  start("sim:1712");
  ASSERT_TRUE(m->StandardCard());
  plant().setFault(sim::Fault::ValveStuck, true);
  m->GasAutoRefill();
  EXPECT_TRUE(host().saw("PUMP OUT FAILURE, THERE IS NO CHANGE IN GAS PRESSURE"));
  EXPECT_EQ(plant().valveLines(), 0);
}

TEST_F(FaultTest, AnEmptyPremixCylinderFailsTheFill) {
  start("sim:1711");
  ASSERT_TRUE(m->StandardCard());
  plant().setFault(sim::Fault::PremixEmpty, true);
  m->GasAutoRefill();
  EXPECT_TRUE(host().saw("FILL FAILURE, THERE IS NO CHANGE IN GAS PRESSURE DURING GAS REFILL"));
  EXPECT_LT(plant().pressure(), 20.0);  // pumped out, nothing came in
  EXPECT_EQ(plant().valveLines(), 0);
}

TEST_F(FaultTest, AFaultyGaugeStopsTheRefillBeforeAnyValveMoves) {
  start("sim:1711");
  ASSERT_TRUE(m->StandardCard());
  plant().setFault(sim::Fault::GaugeFault, true);
  for (int i = 0; i < 4; ++i) m->PressMes();  // the smoothed reading turns negative
  host().clearRecords();
  m->GasAutoRefill();
  EXPECT_TRUE(host().saw("PRESSURE IS LESS THAN ZERO, CANNOT PROCEED"));
  EXPECT_NEAR(plant().pressure(), 2600.0, 5.0);
  // The status poll reports it as a gas-pressure problem.
  host().clearRecords();
  m->MorvandStatus(false);
  EXPECT_TRUE(host().saw("GAS PRESSURE PROBLEM, THE LASER REQUIRES SERVICE"));
}

TEST_F(FaultTest, AnEmptyHeliumCylinderEndsTheOpticsServiceWithLowHelium) {
  start("sim:1711");
  ASSERT_TRUE(m->StandardCard());
  plant().setFault(sim::Fault::HeliumEmpty, true);
  EXPECT_FALSE(m->OpticsSevStart());
  bool purgeProblem = false;
  for (const auto& text : host().messages) {
    purgeProblem = purgeProblem || text.rfind("Purge Problem: Purge to ", 0) == 0;
  }
  EXPECT_TRUE(purgeProblem);
  EXPECT_TRUE(host().saw("Helium pressure in the chamber is low, use manual controls"));
  EXPECT_EQ(plant().valveLines(), 0);
}

TEST_F(FaultTest, ADeadEnergyMonitorDrivesConstantEnergyToTheVoltageLimit) {
  start("sim:1712");
  openAndSkipWarmup();
  plant().setFault(sim::Fault::EnergyMonitorDead, true);
  m->mode = 1;
  m->RepRate = 50;
  m->MaxNum = 50000000;
  m->LaserRun(0);
  EXPECT_TRUE(host().saw("Maximum Voltage Reached"));
  EXPECT_GT(m->VoltSet, m->HiVoltMax);
  expectSafeState();
}

TEST_F(FaultTest, AFailingDriverCallIsReportedAndTheRunStillEndsSafe) {
  start("sim:1711");
  openAndSkipWarmup();
  m->mode = 1;
  m->RepRate = 100;
  m->MaxNum = 50000000;
  host().onLaserRunning = [&](int32_t n, float) {
    if (n == 200) card().failCall(DriverOp::AOVoltageOut, sim::status::kIoFailure);
    if (n >= 1000) m->LaserStop();
  };
  m->LaserRun(0);
  int reports = 0;
  for (const auto& text : host().messages) {
    if (text.find(sim::statusText(sim::status::kIoFailure)) != std::string::npos) ++reports;
  }
  EXPECT_EQ(reports, 1);
  EXPECT_TRUE(host().saw("Laser Operation Stopped"));
  EXPECT_GE(m->PulseNum, 1000);
  expectSafeState();
}

TEST_F(FaultTest, AFailedGeneratorResetAtTheEndIsReportedAndTheChargerIsStillOff) {
  start("sim:1711");
  openAndSkipWarmup();
  host().onLaserRunning = [&](int32_t n, float) {
    if (n >= 300) {
      // The stop sequence tries a failed reset once more: both tries fail.
      card().failCall(DriverOp::CounterReset, sim::status::kIoFailure, 1);
      card().failCall(DriverOp::CounterReset, sim::status::kIoFailure, 2);
      m->LaserStop();
    }
  };
  m->RepRate = 100;
  m->MaxNum = 50000000;
  m->LaserRun(0);
  EXPECT_TRUE(host().saw("Laser Operation Stopped"));
  bool reported = false;
  for (const auto& text : host().messages) {
    reported = reported || text.find(sim::statusText(sim::status::kIoFailure)) != std::string::npos;
  }
  EXPECT_TRUE(reported);
  // The trigger keeps running, but with the charger disabled and at 0 V nothing fires.
  EXPECT_GT(card().generatorRate(), 0.0);
  EXPECT_FALSE(plant().enableLine());
  EXPECT_EQ(card().analogOutput(0), 0.0f);
  const int64_t fired = plant().dischargesFired();
  m->Waiting(5.0);
  EXPECT_EQ(plant().dischargesFired(), fired);
  m->Halt();
  expectSafeState();
}

}  // namespace
}  // namespace morvand::scenario
