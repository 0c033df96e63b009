// Start-up, the safe state after card start-up, and shutdown.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/call_trace.hpp"
#include "support/fixture.hpp"

namespace morvand::test {
namespace {

using Strings = std::vector<std::string>;

class LifecycleTest : public ControllerTest {
 protected:
  /// Reads the settings files back through a new controller (no card involved).
  Morvand reload() { return Morvand(host, &host, &clock); }
  bool counterFileHolds(const std::string& line) { return dir.read("Counter").rfind(line, 0) == 0; }
  /// The calls of card start-up that follow the opening of the device.
  Strings afterOpen() const {
    const Strings all = card->texts();
    auto it = std::find(all.begin(), all.end(), "AIGetConfig()");
    return it == all.end() ? Strings{} : Strings(it + 1, all.end());
  }
};

TEST_F(LifecycleTest, ANewControllerHasTheStartValuesTheStoredSettingsAndNoCard) {
  dir.write(5, 1, 120, 30, 25.0f);
  Morvand& m = make();
  EXPECT_FALSE(m.PopupMessage);
  EXPECT_TRUE(m.LowCPU);
  EXPECT_TRUE(m.EH_sys);
  EXPECT_EQ(m.CountPeriod, 1.0);
  EXPECT_EQ(m.mode, 0);
  EXPECT_EQ(m.PCIcard, 0);
  EXPECT_EQ(m.TempSet, 25.0f);
  EXPECT_EQ(m.LaserTypeFlag, 5);
  EXPECT_EQ(m.GasFlag, 1);
  EXPECT_EQ(m.CumTotalPulses, 120);
  EXPECT_EQ(m.PulsesThisFill, 30);
  // The model, voltage and fill rules ran for the stored model and gas (LM-10 with F2).
  EXPECT_EQ(m.limits().RepRateMax, 310);
  EXPECT_EQ(m.HiVoltMax, 16.5f);
  EXPECT_EQ(m.HiVoltMin, 12.5f);
  EXPECT_EQ(m.limits().FillPressHigh, 3000.0f);
  EXPECT_TRUE(card->calls().empty());
}

TEST_F(LifecycleTest, CreationWithoutTheCounterFileFails) {
  std::filesystem::remove(dir.path() / "Counter");
  EXPECT_THROW(make(), SettingsError);
}

TEST_F(LifecycleTest, CardStartUpPutsTheLaserIntoItsSafeStateOnceAfterOpening) {
  Morvand& m = make();
  card->addDevice("PCI-1711");
  EXPECT_TRUE(m.StandardCard());
  EXPECT_EQ(afterOpen(), (Strings{// Reset: enable line, then valve-port line 7
                                  "DioWritePortByte(0, 128, 0)", "DioWritePortByte(1, 128, 0)",
                                  // every valve closed
                                  "DioWritePortByte(1, 255, 0)",
                                  // generator off: counter 0 back to counting, reset
                                  "CounterFreqStart(0, 1, 0)", "CounterReset(0)",
                                  // no charging voltage, enable off
                                  "AOVoltageOut(0, 0)", "DioWritePortByte(0, 128, 0)"}));
}

TEST_F(LifecycleTest, CardStartUpThatFindsNoCardLeavesTheLinesAlone) {
  Morvand& m = make();
  EXPECT_FALSE(m.StandardCard());
  EXPECT_EQ(card->texts(), (Strings{"DeviceGetList(255)", "DeviceGetNumOfList()"}));
}

TEST_F(LifecycleTest, ShutdownWithoutACardCallsNoDriverAndWritesTheSettings) {
  Morvand& m = make();
  m.CumTotalPulses = 999;
  m.PulsesThisFill = 7;
  m.TempSet = 31.5f;
  m.GasFlag = 3;
  destroy();
  EXPECT_TRUE(card->calls().empty());
  Morvand again = reload();
  EXPECT_EQ(again.CumTotalPulses, 999);
  EXPECT_EQ(again.PulsesThisFill, 7);
  EXPECT_EQ(again.TempSet, 31.5f);
  EXPECT_EQ(again.GasFlag, 3);
}

TEST_F(LifecycleTest, ShutdownWithACardStopsEverythingClosesTheCardThenWritesTheSettings) {
  make();
  selectCard("PCI-1711");
  Morvand* m = m_.get();
  m->CumTotalPulses = 999;
  m->flag2 = 0;
  bool stopAskedFirst = false;
  bool filesWrittenBeforeClose = true;
  CallTrace trace(*card, clock);
  auto traceCall = card->onCall;
  card->onCall = [&](const DriverCall& call) {
    if (call.op == Op::CounterReset && trace.entries().empty()) stopAskedFirst = m->flag2 == 1;
    if (call.op == Op::DeviceClose) filesWrittenBeforeClose = counterFileHolds("999");
    traceCall(call);
  };
  destroy();
  EXPECT_TRUE(stopAskedFirst);
  EXPECT_EQ(
      trace.entries(),
      (Strings{"CounterReset(0)", "wait 0.10",
               // fan on (its line is active low)
               "DioWritePortByte(0, 16, 0)",
               // halt: generator, enable line, motor to zero and off, voltage, lines
               "CounterFreqStart(0, 1, 0)", "CounterReset(0)", "DioWritePortByte(0, 128, 0)",
               "AOConfig(1, 5, 0)", "AOVoltageOut(1, 0)", "DioWritePortByte(0, 4, 0)",
               "AOVoltageOut(0, 0)", "DioWritePortByte(0, 128, 0)", "DioWritePortByte(1, 128, 0)",
               "DeviceClose(42)"}));
  EXPECT_FALSE(filesWrittenBeforeClose);
  EXPECT_TRUE(counterFileHolds("999,"));
}

TEST_F(LifecycleTest, AFailingCounterResetAtShutdownIsReportedAndTheShutdownGoesOn) {
  make();
  selectCard("PCI-1711");
  m_->CumTotalPulses = 999;
  card->setErrorText(5, "counter reset failed");
  card->failCall(Op::CounterReset, 5, 1);
  card->failCall(Op::CounterReset, 5, 2);  // the shutdown tries it once more
  destroy();
  EXPECT_EQ(host.messages, (Strings{"counter reset failed"}));
  EXPECT_EQ(card->texts(Op::DeviceClose), (Strings{"DeviceClose(42)"}));
  const Strings writes = card->texts(Op::DioWritePortByte);
  ASSERT_FALSE(writes.empty());
  EXPECT_EQ(writes.front(), "DioWritePortByte(0, 16, 0)");  // the fan still comes on
  EXPECT_TRUE(counterFileHolds("999,"));
}

TEST_F(LifecycleTest, AFailingDeviceCloseIsReportedAndTheSettingsAreStillWritten) {
  make();
  selectCard("PCI-1711");
  m_->PopupMessage = true;
  m_->CumTotalPulses = 999;
  card->failCall(Op::DeviceClose, 4);
  destroy();
  ASSERT_EQ(host.boxes.size(), 1u);
  EXPECT_EQ(host.boxes[0].text, "driver error 4");
  EXPECT_EQ(host.boxes[0].title, "Error!!");
  EXPECT_TRUE(counterFileHolds("999,"));
}

}  // namespace
}  // namespace morvand::test
