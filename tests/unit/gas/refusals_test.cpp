// What every gas procedure shares: it refuses to start during a run or without a fill
// target, marks itself as running, and leaves no gas line open when a fault fails the call.

#include <stdexcept>

#include "gas_fixture.hpp"

namespace morvand::test {
namespace {

using Strings = std::vector<std::string>;

class GasRefusals : public GasTest, public ::testing::WithParamInterface<bool> {
 protected:
  bool popups() const { return GetParam(); }
  /// Runs each procedure in turn; true for those that returned true.
  std::vector<bool> runAll(Morvand& m) {
    m.GasAutoRefill();
    m.GasPartialRefill();
    const bool started = m.OpticsSevStart();
    const bool finished = m.OpticsSevFinish();
    return {started, finished};
  }
};

TEST_P(GasRefusals, NoProcedureStartsDuringARun) {
  Morvand& m = start(5, 1, popups());
  setRunActive(true);
  EXPECT_EQ(runAll(m), (std::vector<bool>{false, false}));
  const std::string refusal =
      say("STOP THE LASER BEFORE STARTING A GAS PROCEDURE", 48, "LASER RUNNING");
  EXPECT_EQ(told(), (Strings(4, refusal)));
  EXPECT_TRUE(card->calls().empty());  // not a valve, not a reading
  EXPECT_NE(m.Punits, 3);
}

TEST_P(GasRefusals, FillFilterAndHighVoltageTestWaitForTheRunAndTheTestForAProcedure) {
  Morvand& m = start(5, 1, popups());
  setRunActive(true);
  m.FillLaser();
  m.GasFilterPress();
  EXPECT_EQ(m.HVTest(), 0.0f);
  const std::string running =
      say("STOP THE LASER BEFORE STARTING A GAS PROCEDURE", 48, "LASER RUNNING");
  EXPECT_EQ(
      told(),
      (Strings{running, running,
               say("STOP THE LASER BEFORE STARTING A HIGH VOLTAGE TEST", 48, "LASER RUNNING")}));
  setRunActive(false);
  gasState().procedureActive = true;
  EXPECT_EQ(m.HVTest(), 0.0f);
  EXPECT_EQ(told().back(),
            say("GAS PROCEDURE IN PROGRESS, CANNOT START A HIGH VOLTAGE TEST", 48, "START ABORT"));
  gasState().procedureActive = false;
  EXPECT_TRUE(card->calls().empty());  // no valve, no line, not a reading
  EXPECT_TRUE(host.prompts.empty());
}

TEST_P(GasRefusals, ProceduresThatFillRefuseAModelAndGasWithoutFillTarget) {
  Morvand& m = start(58, 1, popups());  // F2 on this model has no fill pressures
  ASSERT_EQ(m.limits().FillPressLow, 0.0f);
  m.GasAutoRefill();
  m.GasPartialRefill();
  EXPECT_FALSE(m.OpticsSevFinish());
  EXPECT_EQ(told(), (Strings(3, say("NO FILL PRESSURE IS DEFINED FOR THIS LASER AND GAS, "
                                    "PROCEDURE CANCELLED",
                                    48, "NO FILL PRESSURE"))));
  EXPECT_TRUE(card->calls().empty());
  // The optics start fills only helium: it is not refused.
  host.answers = {1, 7};
  m.OpticsSevStart();
  EXPECT_EQ(told().at(3),
            say("THE MANUAL VALVE MUST BE OPEN FOR THIS OPERATION", 48, "MANUAL VALVE WARNING"));
}

TEST_P(GasRefusals, ProceduresThatFillRefuseAnInvertedFillTarget) {
  Morvand& m = start(5, 1, popups());
  fillState().FillPressLow = 3000.0f;
  fillState().FillPressHigh = 2400.0f;
  m.GasAutoRefill();
  m.GasPartialRefill();
  EXPECT_FALSE(m.OpticsSevFinish());
  EXPECT_EQ(told(), (Strings(3, say("NO FILL PRESSURE IS DEFINED FOR THIS LASER AND GAS, "
                                    "PROCEDURE CANCELLED",
                                    48, "NO FILL PRESSURE"))));
  EXPECT_TRUE(card->calls().empty());
}

INSTANTIATE_TEST_SUITE_P(PopupsAndEvents, GasRefusals, ::testing::Bool());

class GasProcedure : public GasTest {};

TEST_F(GasProcedure, AutomaticRefillWithoutCardDoesNothingAtAll) {
  Morvand& m = make();
  m.Punits = 1;
  setRunActive(true);
  m.GasAutoRefill();
  EXPECT_TRUE(card->calls().empty());
  EXPECT_TRUE(host.messages.empty());
  EXPECT_EQ(m.Punits, 1);
}

TEST_F(GasProcedure, PartialRefillWithoutCardStillWarnsAndReadsTheGauge) {
  Morvand& m = make();
  card->setAnalog(0, 0.0f);  // a gauge below its zero volts
  m.GasPartialRefill();
  EXPECT_EQ(host.messages, (Strings{"THE MANUAL VALVE MUST BE OPEN FOR THIS OPERATION",
                                    "IS A CYLINDER OF PREMIX GAS ATTACHED TO THE CORRECT LASER "
                                    "PORT, AND IS THE PREMIX LINE PUMPED OUT?",
                                    "PRESSURE IS LESS THAN ZERO, CANNOT PROCEED"}));
  EXPECT_TRUE(card->texts(Op::DioWritePortByte).empty());
  EXPECT_EQ(m.Punits, 3);
}

TEST_F(GasProcedure, FaultThatFailsTheCallLeavesEveryValveClosed) {
  Morvand& m = start(5, 1, false);
  host.onYield = [&] {
    if (valvePort() == 10 && sinceOpened(10) > 1.0) throw std::runtime_error("host gone");
  };
  EXPECT_THROW(m.GasAutoRefill(), std::runtime_error);
  EXPECT_EQ(valvePort(), 0);
  EXPECT_FALSE(gasState().procedureActive);

  host.onYield = [&] {
    if (valvePort() == 12) throw std::runtime_error("host gone");
  };
  host.answers = {};
  EXPECT_THROW(m.OpticsSevStart(), std::runtime_error);
  EXPECT_EQ(valvePort(), 0);
  EXPECT_FALSE(gasState().procedureActive);

  host.onYield = [&] {
    if (valvePort() == 3) throw std::runtime_error("host gone");
  };
  EXPECT_THROW(m.GasFilterPress(), std::runtime_error);
  EXPECT_EQ(valvePort(), 0);
}

TEST_F(GasProcedure, ProcedureStartedDuringAnotherLeavesItMarkedAsRunning) {
  Morvand& m = start(5, 1, true);
  bool nested = false;
  bool stillMarked = false;
  host.onYield = [&] {
    if (nested || valvePort() != 25) return;
    nested = true;
    host.answers = {1, 7};  // the inner optics start stops at its cylinder question
    m.OpticsSevStart();
    stillMarked = gasState().procedureActive;
  };
  m.GasAutoRefill();
  EXPECT_TRUE(nested);
  EXPECT_TRUE(stillMarked);
  EXPECT_FALSE(gasState().procedureActive);
}

}  // namespace
}  // namespace morvand::test
