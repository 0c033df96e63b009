// The driver-library back end, loaded from the stand-in library: refused libraries and
// operations are named, every record reaches the card intact, and a controller on the back
// end starts, reports, fires and refills.

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "morvand/card_context.hpp"
#include "morvand/driverlib/backend.hpp"
#include "morvand/errors.hpp"
#include "morvand/morvand.hpp"
#include "standin.hpp"
#include "support/fixture.hpp"

namespace morvand::driverlib::test {
namespace {

std::string refusal(const std::string& uri) {
  try {
    morvand::openBackend(uri);
  } catch (const BackendError& e) {
    return e.what();
  }
  return "(opened)";
}

TEST(DriverLibrary, LibrariesThatCannotServeAreRefusedByName) {
  const std::string missing = "C:\\nowhere\\adsapi32.dll";
  const std::string why = refusal("driver:" + missing);
  EXPECT_EQ(why.rfind("cannot load the card's driver library \"" + missing + "\": ", 0), 0u) << why;

  const std::string partial = standInPath(true);
  EXPECT_EQ(refusal("driver:" + partial),
            "the card's driver library \"" + partial + "\" has no operation DRV_CounterFreqStart");
  // The refused library was let go: the complete one loads by name afterwards.
  EXPECT_FALSE(standInLoaded());
  EXPECT_NE(openStandInBackend(), nullptr);

  bool listed = false;
  for (const BackendEntry& e : backends()) listed |= e.prefix == "driver:";
  EXPECT_TRUE(listed);
}

TEST(DriverLibrary, EveryRequestReachesTheCardThroughTheDriversRecords) {
  auto backend = openStandInBackend("sim:1712");
  EXPECT_FALSE(backend->simulated());
  EXPECT_EQ(&backend->clock(), &SystemClock::instance());
  CardDriver& d = *backend->driver();
  sim::SimulatedCard& card = *standInSimulation().card;

  DeviceListEntry list[4] = {};
  int16_t entries = 0;
  int16_t count = 0;
  ASSERT_EQ(d.DeviceGetList(list, 4, &entries), 0);
  ASSERT_EQ(d.DeviceGetNumOfList(&count), 0);
  ASSERT_EQ(entries, count);
  ASSERT_GE(entries, 1);
  EXPECT_NE(std::strstr(list[0].deviceName, "1712"), nullptr) << list[0].deviceName;
  int32_t handle = 0;
  ASSERT_EQ(d.DeviceOpen(list[0].deviceNum, &handle), 0);

  DeviceFeatures features{};
  ASSERT_EQ(d.DeviceGetFeatures(handle, &features), 0);
  EXPECT_GT(features.numCounters, 0);
  EXPECT_GT(features.numGains, 0);
  AIConfigRecord config{};
  EXPECT_EQ(d.AIGetConfig(handle, &config), 0);

  // Digital: only the masked lines change; the read comes back through the address.
  ASSERT_EQ(d.DioSetPortMode(handle, PortModeRequest{0, 1}), 0);
  ASSERT_EQ(d.DioWritePortByte(handle, PortWriteRequest{0, 0xFF, 0x00}), 0);
  ASSERT_EQ(d.DioWritePortByte(handle, PortWriteRequest{0, 0x0C, 0x3C}), 0);
  EXPECT_EQ(card.outputLatch(0), 0x0C);
  int16_t inputs = -1;
  EXPECT_EQ(d.DioReadPortByte(handle, PortReadRequest{0, &inputs}), 0);
  EXPECT_GE(inputs, 0);
  EXPECT_LE(inputs, 255);

  // Analog: floats land whole, the voltage comes back through the address.
  ASSERT_EQ(d.AOConfig(handle, AOConfigRequest{1, 10.0f, 0.0f}), 0);
  ASSERT_EQ(d.AOVoltageOut(handle, AOVoltageOutRequest{1, 3.25f}), 0);
  constexpr float kStep = 10.0f / 4095.0f;  // the output's 12-bit resolution on its 10 V range
  EXPECT_NEAR(card.analogOutput(1), 3.25f, kStep);
  const float written = card.analogOutput(1);
  const int16_t gain = features.gains[0].gainCode;
  ASSERT_EQ(d.AIConfig(handle, AIConfigRequest{2, gain}), 0);
  float volts = -99.0f;
  EXPECT_EQ(d.AIVoltageIn(handle, AIVoltageInRequest{2, gain, 0, &volts}), 0);
  EXPECT_NE(volts, -99.0f);

  // Counters: the pulse train runs at 1/period; a reset stops it; counts come back.
  ASSERT_EQ(d.CounterPulseStart(handle, CounterPulseStartRequest{0, 0.02f, 0.001f, 0}), 0);
  EXPECT_NEAR(card.generatorRate(), 50.0, 0.01);
  EXPECT_EQ(d.CounterEventStart(handle, CounterEventStartRequest{1, 0}), 0);
  int16_t overflow = -1;
  uint32_t counted = 0xFFFFFFFFu;
  EXPECT_EQ(d.CounterEventRead(handle, CounterEventReadRequest{1, &overflow, &counted}), 0);
  EXPECT_NE(counted, 0xFFFFFFFFu);
  EXPECT_EQ(d.CounterReset(handle, 0), 0);
  EXPECT_EQ(card.generatorRate(), 0.0);
  EXPECT_EQ(d.CounterFreqStart(handle, CounterFreqStartRequest{1, 1, 0}), 0);

  // A failing operation: its status comes back unchanged, with the driver's own text, and
  // the caller's 80 bytes stay terminated.
  card.failCall(DriverOp::AOVoltageOut, 120);
  EXPECT_EQ(d.AOVoltageOut(handle, AOVoltageOutRequest{1, 1.0f}), 120);
  EXPECT_EQ(card.analogOutput(1), written);
  char text[80];
  std::memset(text, 'x', sizeof text);
  d.GetErrorMessage(120, text);
  EXPECT_EQ(std::string(text), std::string(sim::statusText(120)));

  EXPECT_EQ(d.DeviceClose(&handle), 0);
  EXPECT_EQ(card.calls(DriverOp::DeviceClose), 1u);
}

// Start-up, a status poll, a short run and a refill, through the back end only.
class DriverLibraryScenario : public ::testing::Test {
 protected:
  ~DriverLibraryScenario() override {
    m.reset();
    CardContext::current().reset();
  }
  morvand::test::SettingsDir dir;
  std::unique_ptr<Backend> backend;
  std::unique_ptr<Morvand> m;
};

TEST_F(DriverLibraryScenario, StartsReportsFiresAndRefillsThroughTheLibrary) {
  dir.write(5, 3, 1000, 500, 25.0f);
  backend = openStandInBackend("sim:1712", 2026);
  sim::Simulation& s = standInSimulation();
  s.plant->setLaser(5, 3);
  CardContext::current().setDriver(backend->driver());
  // The real back end runs on the system clock; the stand-in's laser lives on its own
  // virtual time, which the controller must follow so nothing waits for real.
  m = std::make_unique<Morvand>(s.host, &s.host, &s.timeBase());

  ASSERT_TRUE(m->StandardCard());
  EXPECT_EQ(m->PCIcard, 1712);
  s.host.onWarmingup = [](float, bool& cancel) { cancel = true; };
  m->MorvandStatus(false);
  s.host.onWarmingup = nullptr;
  EXPECT_FALSE(s.host.eventsNamed("Measurements").empty());
  EXPECT_GT(m->Pressure, 100.0f);

  // A failing read during a status poll is reported with the driver's text.
  s.host.clearRecords();
  s.card->failCall(DriverOp::AIVoltageIn, 120);
  m->MorvandStatus(false);
  ASSERT_FALSE(s.host.messages.empty());
  EXPECT_EQ(s.host.messages.front().rfind(std::string(sim::statusText(120)), 0), 0u);

  m->RepRate = 50;
  m->MaxNum = 50000000;
  const int32_t cumBefore = m->CumTotalPulses;
  const double firedBefore = s.plant->triggerPulses();
  s.host.onLaserRunning = [&](int32_t n, float) {
    if (n >= 200) m->LaserStop();
  };
  m->LaserRun(0);
  s.host.onLaserRunning = nullptr;
  const double fired = s.plant->triggerPulses() - firedBefore;
  EXPECT_GE(m->PulseNum, 200);
  EXPECT_NEAR(m->PulseNum, fired, 0.02 * fired + 2.0);
  EXPECT_EQ(m->CumTotalPulses, cumBefore + m->PulseNum);
  EXPECT_TRUE(s.host.saw("Laser Operation Stopped"));
  EXPECT_FALSE(s.plant->enableLine());
  EXPECT_EQ(s.card->generatorRate(), 0.0);

  m->GasAutoRefill();
  const Limits lim = m->limits();
  EXPECT_GE(m->Pressure, lim.FillPressLow);
  EXPECT_LE(s.plant->pressure(), lim.FillPressHigh);
  EXPECT_EQ(s.plant->valveLines(), 0);
  EXPECT_EQ(m->PulsesThisFill, 0);
}

}  // namespace
}  // namespace morvand::driverlib::test
