// The simulated card on its own: personalities, validation, masked ports, analog channels,
// counters and injected failures, as a driver would answer them.

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "morvand/sim/simulated_card.hpp"

namespace morvand::sim {
namespace {

using namespace std::chrono_literals;

class CardTest : public ::testing::Test {
 protected:
  void use(Personality p) {
    card = std::make_shared<SimulatedCard>(p, plant);
    ASSERT_EQ(card->DeviceOpen(0, &handle), 0);
  }
  float readAi(int16_t channel, int16_t gain = 0) {
    float v = -99.0f;
    EXPECT_EQ(card->AIVoltageIn(handle, {channel, gain, 0, &v}), 0);
    return v;
  }
  std::string errorText(int32_t status) {
    char text[80];
    std::memset(text, 'x', sizeof text);
    EXPECT_EQ(card->GetErrorMessage(status, text), 0);
    return text;
  }

  VirtualClock clock;
  std::shared_ptr<LaserPlant> plant = std::make_shared<LaserPlant>(clock, 7);
  std::shared_ptr<SimulatedCard> card;
  int32_t handle = 0;
};

TEST_F(CardTest, EachPersonalityListsOneDeviceNamedAfterItsModel) {
  for (auto [p, model] : {std::pair{Personality::Pci1710, "1710"},
                          {Personality::Pci1711, "1711"},
                          {Personality::Pci1712, "1712"},
                          {Personality::Demo, "DEMO"}}) {
    SimulatedCard c(p, plant);
    DeviceListEntry list[4]{};
    int16_t n = -1, count = -1;
    ASSERT_EQ(c.DeviceGetList(list, 255, &n), 0);
    ASSERT_EQ(c.DeviceGetNumOfList(&count), 0);
    EXPECT_EQ(n, 1);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(list[0].deviceNum, 0);
    EXPECT_NE(std::string(list[0].deviceName).find(model), std::string::npos) << model;
    // The name ends at its terminator inside the 50-byte field.
    EXPECT_LT(std::strlen(list[0].deviceName), sizeof(list[0].deviceName));
  }
  // The demo still carries a model number, so a controller can recognise the card family.
  EXPECT_NE(personalityDeviceName(Personality::Demo).find("1711"), std::string_view::npos);
}

TEST_F(CardTest, FeatureRecordsDescribeChannelsPortsCountersAndGains) {
  use(Personality::Pci1712);
  DeviceFeatures f{};
  ASSERT_EQ(card->DeviceGetFeatures(handle, &f), 0);
  EXPECT_EQ(f.numProgrammablePorts, 2);
  EXPECT_EQ(f.numSingleEndedAI, 16);
  EXPECT_EQ(f.numAO, 2);
  EXPECT_EQ(f.numDOLines, 16);
  EXPECT_EQ(f.numDILines, 16);
  EXPECT_EQ(f.numCounters, 3);
  ASSERT_GE(f.numGains, 1);
  EXPECT_EQ(f.gains[0].gainCode, 0);
  EXPECT_STREQ(f.gains[0].name, "+/- 10 V");

  use(Personality::Pci1711);
  ASSERT_EQ(card->DeviceGetFeatures(handle, &f), 0);
  EXPECT_EQ(f.numProgrammablePorts, 0);
  EXPECT_EQ(f.numDifferentialAI, 0);
  use(Personality::Pci1710);
  ASSERT_EQ(card->DeviceGetFeatures(handle, &f), 0);
  EXPECT_STREQ(f.gains[0].name, "+/- 5 V");
  EXPECT_EQ(f.numGains, 9);

  AIConfigRecord cfg{};
  cfg.channelConfig = 99;
  ASSERT_EQ(card->AIGetConfig(handle, &cfg), 0);
  EXPECT_EQ(cfg.channelConfig, 0);  // single-ended
}

TEST_F(CardTest, InvalidRequestsAnswerANonZeroStatusWithAReadableText) {
  use(Personality::Pci1711);
  float v = 0;
  int16_t byte = 0;
  uint32_t count = 0;
  int16_t overflow = 0;
  EXPECT_EQ(card->AIVoltageIn(handle + 1, {0, 0, 0, &v}), status::kInvalidHandle);
  EXPECT_EQ(card->AIVoltageIn(handle, {16, 0, 0, &v}), status::kInvalidChannel);
  EXPECT_EQ(card->AIVoltageIn(handle, {-1, 0, 0, &v}), status::kInvalidChannel);
  EXPECT_EQ(card->AIConfig(handle, {0, 9}), status::kInvalidGain);
  EXPECT_EQ(card->AIVoltageIn(handle, {0, 0, 1, &v}), status::kInvalidParameter);
  EXPECT_EQ(card->AIVoltageIn(handle, {0, 0, 0, nullptr}), status::kNullBuffer);
  EXPECT_EQ(card->DioWritePortByte(handle, {2, 255, 1}), status::kInvalidPort);
  EXPECT_EQ(card->DioReadPortByte(handle, {-1, &byte}), status::kInvalidPort);
  EXPECT_EQ(card->DioSetPortMode(handle, {0, 1}), status::kPortNotProgrammable);
  EXPECT_EQ(card->CounterEventRead(handle, {3, &overflow, &count}), status::kInvalidCounter);
  EXPECT_EQ(card->CounterReset(handle, -1), status::kInvalidCounter);
  EXPECT_EQ(card->CounterPulseStart(handle, {0, 0.0f, 0.0f, 0}), status::kInvalidParameter);
  EXPECT_EQ(card->AOConfig(handle, {0, 7.0f, 0.0f}), status::kInvalidOutputRange);
  EXPECT_EQ(card->AOVoltageOut(handle, {2, 1.0f}), status::kInvalidChannel);
  int32_t other = 0;
  EXPECT_EQ(card->DeviceOpen(1, &other), status::kDeviceNotFound);

  EXPECT_EQ(errorText(status::kInvalidHandle), "Invalid device handle");
  EXPECT_EQ(errorText(status::kInvalidCounter), "Counter channel out of range");
  EXPECT_EQ(errorText(12345), "Unknown error code");

  // A closed handle is no longer accepted.
  int32_t h = handle;
  ASSERT_EQ(card->DeviceClose(&h), 0);
  EXPECT_EQ(card->AIConfig(handle, {0, 0}), status::kInvalidHandle);
}

TEST_F(CardTest, TheDemoAnswersOnTheNullHandleItIsNeverOpenedWith) {
  SimulatedCard demo(Personality::Demo, plant);
  float v = 0;
  EXPECT_EQ(demo.AIVoltageIn(0, {8, 0, 0, &v}), 0);
  EXPECT_NEAR(v, 4.0f, 0.05f);  // 12 V supply through its divider
  SimulatedCard real(Personality::Pci1711, plant);
  EXPECT_EQ(real.AIVoltageIn(0, {8, 0, 0, &v}), status::kInvalidHandle);
}

TEST_F(CardTest, InjectedFailuresHitOnceEveryTimeOrTheNthCallOnly) {
  use(Personality::Pci1711);
  float v = 0;
  card->failCall(DriverOp::AIVoltageIn, status::kIoFailure);
  EXPECT_EQ(card->AIVoltageIn(handle, {0, 0, 0, &v}), status::kIoFailure);
  EXPECT_EQ(card->AIVoltageIn(handle, {0, 0, 0, &v}), 0);

  card->failCall(DriverOp::DioWritePortByte, 77, 3);
  EXPECT_EQ(card->DioWritePortByte(handle, {1, 255, 1}), 0);
  EXPECT_EQ(card->DioWritePortByte(handle, {1, 255, 2}), 0);
  EXPECT_EQ(card->DioWritePortByte(handle, {1, 255, 4}), 77);
  EXPECT_EQ(card->DioWritePortByte(handle, {1, 255, 8}), 0);
  // The failed write changed nothing on the port.
  EXPECT_EQ(card->outputLatch(1), 8);

  card->setStatus(DriverOp::CounterReset, 55);
  EXPECT_EQ(card->CounterReset(handle, 0), 55);
  EXPECT_EQ(card->CounterReset(handle, 0), 55);
  card->clearFailures();
  EXPECT_EQ(card->CounterReset(handle, 0), 0);
  EXPECT_EQ(card->calls(DriverOp::CounterReset), 3u);
  EXPECT_EQ(driverOpByName("CounterReset"), DriverOp::CounterReset);
  EXPECT_EQ(driverOpName(DriverOp::AIVoltageIn), "AIVoltageIn");
  EXPECT_FALSE(driverOpByName("Nope").has_value());
}

TEST_F(CardTest, PortWritesChangeOnlyTheMaskedLines) {
  use(Personality::Pci1711);
  ASSERT_EQ(card->DioWritePortByte(handle, {0, 0xFF, 0x13}), 0);
  ASSERT_EQ(card->DioWritePortByte(handle, {0, 0x80, 0x80}), 0);
  ASSERT_EQ(card->DioWritePortByte(handle, {0, 0x10, 0x00}), 0);
  EXPECT_EQ(card->outputLatch(0), 0x83);
  EXPECT_EQ(plant->controlLines(), 0x83);
  ASSERT_EQ(card->DioWritePortByte(handle, {1, 0xFF, 25}), 0);
  EXPECT_EQ(plant->valveLines(), 25);
}

TEST_F(CardTest, On1712ReadingTheValvePortAsInputReleasesTheValves) {
  use(Personality::Pci1712);
  // Programmable ports start as inputs: nothing is driven until a port is made an output.
  ASSERT_EQ(card->DioWritePortByte(handle, {1, 0xFF, 10}), 0);
  EXPECT_EQ(plant->valveLines(), 0);
  ASSERT_EQ(card->DioSetPortMode(handle, {1, 1}), 0);
  EXPECT_EQ(plant->valveLines(), 10);
  ASSERT_EQ(card->DioSetPortMode(handle, {1, 0}), 0);
  EXPECT_EQ(plant->valveLines(), 0);
  int16_t byte = 0;
  ASSERT_EQ(card->DioReadPortByte(handle, {1, &byte}), 0);
  EXPECT_EQ(byte, 0xC0);  // power OK (bit 7) and interlock closed (bit 6)
  plant->setFault(Fault::InterlockOpen, true);
  ASSERT_EQ(card->DioReadPortByte(handle, {1, &byte}), 0);
  EXPECT_EQ(byte, 0x80);
  plant->setFault(Fault::PowerLost, true);
  ASSERT_EQ(card->DioReadPortByte(handle, {1, &byte}), 0);
  EXPECT_EQ(byte, 0x00);
}

TEST_F(CardTest, On1711PowerInterlockAndTachometerSitOnInputPortZero) {
  use(Personality::Pci1711);
  int16_t byte = 0;
  ASSERT_EQ(card->DioReadPortByte(handle, {0, &byte}), 0);
  EXPECT_EQ(byte & 0x05, 0x05);
  plant->setFault(Fault::PowerLost, true);
  ASSERT_EQ(card->DioReadPortByte(handle, {0, &byte}), 0);
  EXPECT_EQ(byte & 0x05, 0x04);
  plant->setFault(Fault::PowerLost, false);
  plant->setFault(Fault::HeadUnplugged, true);
  ASSERT_EQ(card->DioReadPortByte(handle, {0, &byte}), 0);
  EXPECT_EQ(byte & 0x05, 0x00);
  plant->setFault(Fault::HeadUnplugged, false);

  // A spinning motor toggles bit 4 on both input ports.
  ASSERT_EQ(card->DioWritePortByte(handle, {0, 0x0C, 0x0C}), 0);  // speed level 3
  clock.advance(5s);
  int highs = 0, lows = 0;
  for (int i = 0; i < 200; ++i) {
    clock.advance(1ms);
    ASSERT_EQ(card->DioReadPortByte(handle, {1, &byte}), 0);
    (byte & 0x10) ? ++highs : ++lows;
  }
  EXPECT_GT(highs, 50);
  EXPECT_GT(lows, 50);
}

TEST_F(CardTest, AnalogInputsAreClippedToTheRangeAndQuantizedTo12Bits) {
  use(Personality::Pci1710);  // first range +/- 5 V
  plant->setChamber(4000.0);  // 4000 / 645 + 0.1 = 6.3 V at the gauge
  EXPECT_NEAR(readAi(0, 0), 5.0f - 10.0f / 4096.0f, 1e-6);
  EXPECT_NEAR(readAi(0, 4), 6.3f, 0.01f);  // +/- 10 V range
  const float t = readAi(4, 4);            // +/- 10 V
  const double lsb = 20.0 / 4096.0;
  const double steps = (t + 10.0) / lsb;
  EXPECT_NEAR(steps, std::round(steps), 1e-3);
  EXPECT_NEAR(t * 10.0f, 25.0f, 0.1f);
  // A small range clips the 2.5 V temperature signal at its top code.
  EXPECT_NEAR(readAi(4, 2), 1.25f - 2.5f / 4096.0f, 1e-6);
}

TEST_F(CardTest, AnalogOutputsClipToTheConfiguredRange) {
  use(Personality::Pci1711);
  ASSERT_EQ(card->AOConfig(handle, {0, 5.0f, 0.0f}), 0);
  ASSERT_EQ(card->AOVoltageOut(handle, {0, 7.0f}), 0);
  EXPECT_NEAR(card->analogOutput(0), 5.0f - 5.0f / 4096.0f, 1e-6);
  ASSERT_EQ(card->AOVoltageOut(handle, {0, -2.0f}), 0);
  EXPECT_EQ(card->analogOutput(0), 0.0f);
  ASSERT_EQ(card->AOConfig(handle, {1, 10.0f, 0.0f}), 0);
  ASSERT_EQ(card->AOVoltageOut(handle, {1, 7.0f}), 0);
  EXPECT_NEAR(card->analogOutput(1), 7.0f, 0.003f);
}

TEST_F(CardTest, Counter0GeneratesTheTriggerAndTheTriggerCounterCountsIt) {
  use(Personality::Pci1712);
  uint32_t count = 0;
  int16_t overflow = 0;
  ASSERT_EQ(card->CounterEventStart(handle, {2, 0}), 0);
  ASSERT_EQ(card->CounterPulseStart(handle, {0, 1.0f / 100.0f, 0.0f, 0}), 0);
  EXPECT_NEAR(card->generatorRate(), 100.0, 1e-3);
  clock.advance(10s);
  ASSERT_EQ(card->CounterEventRead(handle, {2, &overflow, &count}), 0);
  EXPECT_NEAR(static_cast<double>(count), 1000.0, 1.0);
  ASSERT_EQ(card->CounterReset(handle, 0), 0);
  EXPECT_EQ(card->generatorRate(), 0.0);
  clock.advance(10s);
  uint32_t later = 0;
  ASSERT_EQ(card->CounterEventRead(handle, {2, &overflow, &later}), 0);
  EXPECT_EQ(later, count);  // the reset generator fires no more
  // A counter that was never started reads 0.
  ASSERT_EQ(card->CounterEventRead(handle, {0, &overflow, &count}), 0);
  EXPECT_EQ(count, 0u);
}

TEST_F(CardTest, FrequencyModeTakesCounter0OffTheTrigger) {
  use(Personality::Pci1711);
  ASSERT_EQ(card->CounterPulseStart(handle, {0, 0.01f, 0.0f, 0}), 0);
  ASSERT_EQ(card->CounterFreqStart(handle, {0, 1, 0}), 0);
  EXPECT_EQ(card->generatorRate(), 0.0);
  const double before = plant->triggerPulses();
  clock.advance(5s);
  EXPECT_EQ(plant->triggerPulses(), before);
}

TEST_F(CardTest, On1711Counter0CountsTheExternalTriggerAndCounter1TheTriggerLine) {
  use(Personality::Pci1711);
  plant->setExternalTriggerRate(50.0);
  ASSERT_EQ(card->CounterEventStart(handle, {0, 0}), 0);
  ASSERT_EQ(card->CounterEventStart(handle, {1, 0}), 0);
  clock.advance(2s);
  uint32_t c0 = 0, c1 = 0;
  int16_t overflow = 0;
  ASSERT_EQ(card->CounterEventRead(handle, {0, &overflow, &c0}), 0);
  ASSERT_EQ(card->CounterEventRead(handle, {1, &overflow, &c1}), 0);
  EXPECT_NEAR(c0, 100.0, 1.0);
  EXPECT_NEAR(c1, 100.0, 1.0);
}

TEST_F(CardTest, On1712Counter1CountsTheMotorTachometer) {
  use(Personality::Pci1712);
  ASSERT_EQ(card->DioSetPortMode(handle, {0, 1}), 0);
  ASSERT_EQ(card->DioWritePortByte(handle, {0, 0x04, 0x04}), 0);
  ASSERT_EQ(card->AOVoltageOut(handle, {1, 0.75f}), 0);  // 3000 rev/min
  clock.advance(10s);
  ASSERT_EQ(card->CounterEventStart(handle, {1, 0}), 0);
  clock.advance(6s);
  uint32_t revs = 0;
  int16_t overflow = 0;
  ASSERT_EQ(card->CounterEventRead(handle, {1, &overflow, &revs}), 0);
  EXPECT_NEAR(revs, 300.0, 3.0);
}

}  // namespace
}  // namespace morvand::sim
