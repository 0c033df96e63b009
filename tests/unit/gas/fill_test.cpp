// The fill path, the pump-out path, the guarded manual fill and the closing pump-and-premix
// opening.

#include "gas_fixture.hpp"

namespace morvand::test {
namespace {

using Strings = std::vector<std::string>;

class FillTest : public GasTest {};

TEST_F(FillTest, FillOpensPremixAndMainAndRestartsThePerFillCount) {
  Morvand& m = start();
  m.PulsesThisFill = 1234;
  EXPECT_TRUE(m.GasFill());
  EXPECT_EQ(card->texts(Op::DioWritePortByte), Strings{"DioWritePortByte(1, 255, 10)"});
  EXPECT_EQ(m.PulsesThisFill, 0);
  EXPECT_EQ(m.ValveString, "Premix Main Opened");
}

TEST_F(FillTest, FillWhoseValveWriteFailsKeepsThePerFillCount) {
  Morvand& m = start();
  m.PulsesThisFill = 1234;
  card->failCall(Op::DioWritePortByte, 7);
  card->setErrorText(7, "port busy");
  EXPECT_FALSE(m.GasFill());
  EXPECT_EQ(m.PulsesThisFill, 1234);
  EXPECT_EQ(host.messages, Strings{"port busy"});

  // With no card selected nothing opens, so nothing was refilled either.
  m.PCIcard = 0;
  EXPECT_FALSE(m.GasFill());
  EXPECT_EQ(m.PulsesThisFill, 1234);
}

TEST_F(FillTest, PumpoutOpensPumpMainAndVacuumAndReportsTheWrite) {
  Morvand& m = start();
  EXPECT_TRUE(m.GasPumpout());
  EXPECT_EQ(card->texts(Op::DioWritePortByte), Strings{"DioWritePortByte(1, 255, 25)"});
  card->failCall(Op::DioWritePortByte, 3);
  EXPECT_FALSE(m.GasPumpout());
  EXPECT_EQ(m.ValveState, 25);
}

TEST_F(FillTest, ManualFillStartsAtTheModelMaximumAndAlwaysTalksThroughEvents) {
  Morvand& m = start(5, 1, /*popups=*/true);
  ASSERT_EQ(m.limits().PressMax, 3100.0f);
  ASSERT_TRUE(reachable(3100.0f, scale));
  pressure = [] { return 3100.0f; };
  m.PulsesThisFill = 9;
  m.FillLaser();
  EXPECT_EQ(host.messages, Strings{"Is a Cylinder of Premix gas Attached to the Laser, and has the "
                                   "line been pumped out?"});
  EXPECT_TRUE(host.boxes.empty());
  EXPECT_EQ(valvePatterns(), std::vector<int>{10});
  EXPECT_EQ(m.PulsesThisFill, 0);
}

TEST_F(FillTest, ManualFillAboveTheMaximumTouchesNoValve) {
  Morvand& m = start(5, 1, /*popups=*/true);
  pressure = [] { return 3101.0f; };
  m.FillLaser();
  EXPECT_EQ(host.messages,
            (Strings{"Is a Cylinder of Premix gas Attached to the Laser, and has the line been "
                     "pumped out?",
                     "THE PRESSURE IS ALREADY ABOVE THE RECOMMENDED MAXIMUM"}));
  EXPECT_TRUE(host.boxes.empty());
  EXPECT_TRUE(card->texts(Op::DioWritePortByte).empty());
}

TEST_F(FillTest, ManualFillComparesTheMaximumInTorrWhateverTheUnit) {
  Morvand& m = start();
  // 3000 Torr is 3947 mbar and 400 kPa: neither is above the 3100 Torr maximum.
  pressure = [] { return 3000.0f; };
  m.Punits = 1;
  m.FillLaser();
  m.Punits = 2;
  m.FillLaser();
  EXPECT_EQ(valvePatterns(), (std::vector<int>{10, 10}));
  // 3200 Torr is above the maximum, whichever unit Pressure is shown in.
  pressure = [] { return 3200.0f; };
  for (int i = 0; i < 4; ++i) m.PressMes();
  m.FillLaser();
  EXPECT_EQ(valvePatterns(), (std::vector<int>{10, 10}));
  EXPECT_EQ(host.messages.back(), "THE PRESSURE IS ALREADY ABOVE THE RECOMMENDED MAXIMUM");
}

TEST_F(FillTest, FilterPressOpensPumpAndPremixForTwoSecondsBetweenClosedValves) {
  Morvand& m = start();
  double opened = 0.0;
  double closed = 0.0;
  card->onCall = [&](const DriverCall& call) {
    if (call.op != Op::DioWritePortByte) return;
    if (call.fields.at(2) == 3) opened = now();
    if (call.fields.at(2) == 0 && opened > 0.0) closed = now();
  };
  m.GasFilterPress();
  card->onCall = nullptr;  // the locals above end with this test
  EXPECT_EQ(valvePatterns(), (std::vector<int>{0, 3, 0}));
  EXPECT_GE(closed - opened, 2.0);
  EXPECT_LT(closed - opened, 2.2);
}

TEST_F(FillTest, FilterPressWithoutCardNeitherWritesNorWaits) {
  Morvand& m = make();
  const double before = now();
  m.GasFilterPress();
  EXPECT_TRUE(card->texts(Op::DioWritePortByte).empty());
  EXPECT_EQ(now(), before);
  EXPECT_EQ(host.yields, 0);
}

}  // namespace
}  // namespace morvand::test
