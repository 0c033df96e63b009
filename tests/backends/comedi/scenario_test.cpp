// The controller on each card through the comedi back end, over the stand-in comedilib
// wired to the simulated laser: start-up, status poll, a run on the internal trigger
// (estimated pulses), a run on the external trigger (pulses counted on counter 0 while
// the analog inputs are read), an automatic refill and the release.

#include "scenario/scenario.hpp"

#include <memory>

#include "morvand/comedi/comedi_card.hpp"
#include "standin.hpp"

namespace morvand::scenario {
namespace {

struct ComediCase {
  const char* board;
  int16_t pciCard;
};

class ComediScenario : public Scenario, public ::testing::WithParamInterface<ComediCase> {
 protected:
  ~ComediScenario() override {
    m.reset();
    CardContext::current().reset();
    comedi_standin::uninstallAll();
  }
  /// The controller on the card found by "comedi:": a software-only device holds the first
  /// node, so the card on the second is the first supported one.
  void startOnComedi() {
    start("sim:1711");
    comedi_standin::install("/dev/comedi0", "comedi_test", nullptr, sim->clock, "comedi_test");
    board = &comedi_standin::install("/dev/comedi1", GetParam().board, sim->plant, sim->clock);
    comedi = std::make_shared<comedi::ComediCard>(comedi::findDevices(""), sim->clock);
    CardContext::current().setDriver(comedi);
  }
  void expectSafe() {
    EXPECT_FALSE(plant().enableLine());
    EXPECT_EQ(board->aoVolts(0), 0.0);
    EXPECT_EQ(board->generatorRate(), 0.0);
    EXPECT_LT(plant().chargingKv(), 1.0);
  }

  comedi_standin::Board* board = nullptr;
  std::shared_ptr<comedi::ComediCard> comedi;
};

TEST_P(ComediScenario, TheLaserRunsAndIsRefilledThroughTheComediBackEnd) {
  startOnComedi();
  ASSERT_EQ(comedi->devices().size(), 1u);
  EXPECT_EQ(comedi->devices()[0].path, "/dev/comedi1");

  // Start-up: the card is recognised by the model number in its name and left safe.
  ASSERT_TRUE(m->StandardCard());
  EXPECT_EQ(m->PCIcard, GetParam().pciCard);
  expectSafe();
  EXPECT_EQ(plant().valveLines(), 0);

  // Status poll through the analog and digital inputs.
  host().onWarmingup = [](float, bool& cancel) { cancel = true; };
  m->MorvandStatus(false);
  host().onWarmingup = nullptr;
  EXPECT_NEAR(m->Pressure, plant().pressure(), 10.0);
  EXPECT_NEAR(m->temp, 25.0, 1.0);
  m->status();
  EXPECT_EQ(m->state & 0x05, 0x05);  // power OK and interlock closed on DI port 0

  // Internal trigger: counter 0 generates, the pulses are estimated from time and rate.
  host().clearRecords();
  m->RepRate = 100;
  m->MaxNum = 50000000;
  bool estimated = false;
  double rate = 0.0;
  host().onLaserRunning = [&](int32_t n, float) {
    estimated = m->CountDisabled;
    rate = board->generatorRate();
    if (n >= 2000) m->LaserStop();
  };
  int64_t dischargesBefore = plant().dischargesFired();
  m->LaserRun(0);
  host().onLaserRunning = nullptr;
  EXPECT_TRUE(host().saw("Laser Operation Stopped"));
  EXPECT_TRUE(estimated);
  EXPECT_DOUBLE_EQ(rate, 100.0);  // 10000 ticks of the 1 MHz counter clock
  double fired = static_cast<double>(plant().dischargesFired() - dischargesBefore);
  EXPECT_NEAR(m->PulseNum, fired, 0.01 * fired + 2);
  expectSafe();

  // External trigger: counter 0 counts the edges on its clock pin; every analog reading of
  // the run puts it on the internal clock, whose ticks the back end must not count.
  host().clearRecords();
  plant().setExternalTriggerRate(80.0);
  m->MaxNum = 2000;
  dischargesBefore = plant().dischargesFired();
  m->LaserRun(1);
  EXPECT_TRUE(host().saw("Operation Completed"));
  EXPECT_NEAR(m->ExtRepRate, 80.0f, 1.0f);
  fired = static_cast<double>(plant().dischargesFired() - dischargesBefore);
  // The stop sequence lets the trigger source fire a little longer than the count it stops
  // at (the simulated card gives the same figures).
  EXPECT_GE(m->PulseNum, 2000);
  EXPECT_NEAR(m->PulseNum, fired, 0.02 * fired);
  expectSafe();
  plant().setExternalTriggerRate(0.0);

  // Automatic refill through the valve port.
  const Limits lim = m->limits();
  host().clearRecords();
  m->GasAutoRefill();
  for (const auto& text : host().messages)
    EXPECT_EQ(text.find("FAILURE"), std::string::npos) << text;
  EXPECT_GE(m->Pressure, lim.FillPressLow);
  EXPECT_LE(plant().pressure(), lim.FillPressHigh);
  EXPECT_EQ(plant().valveLines(), 0);

  // Release: the back end closes the device with every output safe.
  m.reset();
  EXPECT_EQ(board->doLines(), 0);
  EXPECT_EQ(board->aoVolts(1), 0.0);
}

INSTANTIATE_TEST_SUITE_P(EachCard, ComediScenario,
                         ::testing::Values(ComediCase{"pci1710", 1710},
                                           ComediCase{"pci1711", 1711}),
                         [](const auto& p) { return std::string(p.param.board); });

}  // namespace
}  // namespace morvand::scenario
