// One contract for every card driver: statuses with readable texts for a bad handle,
// channel, port or counter; masked port writes; outputs that give what was written; a
// counter that counts, is extended across its hardware wrap and flags a wrap it missed.

#include "driver_contract.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace morvand::contract {

/// Test names and failure reports show the driver's name.
void PrintTo(const DriverTraits& traits, std::ostream* os) { *os << traits.name; }

namespace {

class DriverContract : public ::testing::TestWithParam<DriverTraits> {
 protected:
  void SetUp() override { h = GetParam().open(); }
  CardDriver& d() { return h->driver(); }
  int32_t handle() const { return h->handle(); }
  std::string text(int32_t status) {
    char buf[80];
    std::memset(buf, 'x', sizeof buf);
    EXPECT_EQ(d().GetErrorMessage(status, buf), 0);
    EXPECT_NE(std::memchr(buf, '\0', sizeof buf), nullptr) << "the text is not terminated";
    return buf;
  }
  /// Reads the counting counter; the status must be 0.
  uint32_t count(int16_t* overflow = nullptr) {
    int16_t of = -1;
    uint32_t c = 0;
    EXPECT_EQ(d().CounterEventRead(handle(), {GetParam().countingCounter, &of, &c}), 0);
    if (overflow) *overflow = of;
    return c;
  }

  std::unique_ptr<Harness> h;
};

TEST_P(DriverContract, TheDeviceListAndTheFeatureRecordAgree) {
  DeviceListEntry list[4]{};
  int16_t written = 0, count = 0;
  ASSERT_EQ(d().DeviceGetList(list, 4, &written), 0);
  ASSERT_EQ(d().DeviceGetNumOfList(&count), 0);
  EXPECT_EQ(written, count);
  ASSERT_GE(written, 1);
  const std::string name(list[0].deviceName);
  EXPECT_TRUE(name.find("1710") != std::string::npos || name.find("1711") != std::string::npos ||
              name.find("1712") != std::string::npos)
      << name;
  DeviceFeatures f{};
  ASSERT_EQ(d().DeviceGetFeatures(handle(), &f), 0);
  EXPECT_LE(f.numGains, 16);
  if (!GetParam().checksArguments) return;
  EXPECT_GE(f.numGains, 1);
  EXPECT_GE(f.numCounters, 1);
  // Every listed gain reads channel 0.
  for (uint16_t i = 0; i < f.numGains; ++i) {
    float v = NAN;
    EXPECT_EQ(d().AIVoltageIn(handle(), {0, f.gains[i].gainCode, 0, &v}), 0) << f.gains[i].name;
    EXPECT_TRUE(std::isfinite(v));
    EXPECT_NE(f.gains[i].name[0], '\0');
  }
}

TEST_P(DriverContract, BadHandlesChannelsPortsAndCountersGiveStatusesWithTexts) {
  if (!GetParam().checksArguments) GTEST_SKIP() << "answers what it is programmed to";
  DeviceFeatures f{};
  ASSERT_EQ(d().DeviceGetFeatures(handle(), &f), 0);
  const std::string success = text(0);
  const int32_t bad = handle() + 1000;
  float v = 0;
  int16_t byte = 0, of = 0;
  uint32_t c = 0;
  const auto ai = static_cast<int16_t>(f.numSingleEndedAI);
  const auto ao = static_cast<int16_t>(f.numAO);
  const auto port = static_cast<int16_t>(f.numDOLines / 8);
  const auto ctr = static_cast<int16_t>(f.numCounters);
  const std::vector<std::pair<const char*, std::function<int32_t()>>> calls{
      {"features, bad handle", [&] { return d().DeviceGetFeatures(bad, &f); }},
      {"port write, bad handle",
       [&] {
         return d().DioWritePortByte(bad, {0, 0xFF, 0});
       }},
      {"port read, bad handle",
       [&] {
         return d().DioReadPortByte(bad, {0, &byte});
       }},
      {"AI, bad handle",
       [&] {
         return d().AIVoltageIn(bad, {0, 0, 0, &v});
       }},
      {"AO, bad handle",
       [&] {
         return d().AOVoltageOut(bad, {0, 0.0f});
       }},
      {"count start, bad handle",
       [&] {
         return d().CounterEventStart(bad, {0, 0});
       }},
      {"count read, bad handle",
       [&] {
         return d().CounterEventRead(bad, {0, &of, &c});
       }},
      {"counter reset, bad handle", [&] { return d().CounterReset(bad, 0); }},
      {"pulse start, bad handle",
       [&] {
         return d().CounterPulseStart(bad, {0, 0.01f, 0.0f, 0});
       }},
      {"AI channel above",
       [&] {
         return d().AIVoltageIn(handle(), {ai, 0, 0, &v});
       }},
      {"AI channel -1",
       [&] {
         return d().AIVoltageIn(handle(), {-1, 0, 0, &v});
       }},
      {"AI config channel above",
       [&] {
         return d().AIConfig(handle(), {ai, 0});
       }},
      {"AO channel above",
       [&] {
         return d().AOVoltageOut(handle(), {ao, 0.0f});
       }},
      {"AO config channel above",
       [&] {
         return d().AOConfig(handle(), {ao, 5.0f, 0.0f});
       }},
      {"port write above",
       [&] {
         return d().DioWritePortByte(handle(), {port, 0xFF, 0});
       }},
      {"port read -1",
       [&] {
         return d().DioReadPortByte(handle(), {-1, &byte});
       }},
      {"count start above",
       [&] {
         return d().CounterEventStart(handle(), {ctr, 0});
       }},
      {"count read -1",
       [&] {
         return d().CounterEventRead(handle(), {-1, &of, &c});
       }},
      {"counter reset 99", [&] { return d().CounterReset(handle(), 99); }},
      {"pulse start above",
       [&] {
         return d().CounterPulseStart(handle(), {ctr, 0.01f, 0.0f, 0});
       }},
      {"freq start -1",
       [&] {
         return d().CounterFreqStart(handle(), {-1, 1, 0});
       }},
      {"period 0",
       [&] {
         return d().CounterPulseStart(handle(), {0, 0.0f, 0.0f, 0});
       }},
  };
  for (const auto& [what, call] : calls) {
    const int32_t status = call();
    EXPECT_NE(status, 0) << what;
    if (status != 0) {
      EXPECT_NE(text(status), success) << what;
    }
  }
  // Nothing of the refused calls reached the outputs.
  EXPECT_EQ(h->outputPort(0), 0);
  int32_t closed = handle();
  ASSERT_EQ(d().DeviceClose(&closed), 0);
  EXPECT_NE(d().DioWritePortByte(handle(), {0, 0xFF, 0xFF}), 0) << "a closed handle still works";
}

TEST_P(DriverContract, PortWritesChangeOnlyTheMaskedLinesOfTheirPort) {
  ASSERT_EQ(d().DioWritePortByte(handle(), {0, 0xFF, 0xA5}), 0);
  ASSERT_EQ(d().DioWritePortByte(handle(), {1, 0xFF, 0x3C}), 0);
  ASSERT_EQ(d().DioWritePortByte(handle(), {0, 0x0F, 0x00}), 0);
  ASSERT_EQ(d().DioWritePortByte(handle(), {1, 0x81, 0xFF}), 0);
  EXPECT_EQ(h->outputPort(0), 0xA0);
  EXPECT_EQ(h->outputPort(1), 0xBD);
  // Bits of the value outside the mask are ignored.
  ASSERT_EQ(d().DioWritePortByte(handle(), {0, 0x01, 0xFE}), 0);
  EXPECT_EQ(h->outputPort(0), 0xA0);
}

TEST_P(DriverContract, AnalogOutputsGiveWhatWasWrittenWithinAConverterStep) {
  const DriverTraits& t = GetParam();
  ASSERT_EQ(d().AOConfig(handle(), {0, 5.0f, 0.0f}), 0);
  ASSERT_EQ(d().AOConfig(handle(), {1, 10.0f, 0.0f}), 0);
  ASSERT_EQ(d().AOVoltageOut(handle(), {0, 2.5f}), 0);
  ASSERT_EQ(d().AOVoltageOut(handle(), {1, 7.3f}), 0);
  EXPECT_NEAR(h->analogOut(0), 2.5, t.aoStep + 1e-6);
  EXPECT_NEAR(h->analogOut(1), 7.3, 2 * t.aoStep + 1e-6);
  const int32_t below = d().AOVoltageOut(handle(), {0, -1.0f});
  switch (t.belowRange) {
    case BelowRange::Clipped:
      EXPECT_EQ(below, 0);
      EXPECT_EQ(h->analogOut(0), 0.0);
      break;
    case BelowRange::Refused:
      EXPECT_NE(below, 0);
      EXPECT_NEAR(h->analogOut(0), 2.5, t.aoStep + 1e-6);  // unchanged
      break;
    case BelowRange::Passed:
      EXPECT_EQ(below, 0);
      break;
  }
  ASSERT_EQ(d().AOVoltageOut(handle(), {0, 0.0f}), 0);
  EXPECT_EQ(h->analogOut(0), 0.0);
}

TEST_P(DriverContract, TheCounterCountsAcrossItsWrapAndFlagsAWrapItMissed) {
  const DriverTraits& t = GetParam();
  const int16_t n = t.countingCounter;
  ASSERT_EQ(d().CounterEventStart(handle(), {n, 0}), 0);
  int16_t overflow = -1;
  EXPECT_EQ(count(&overflow), 0u);
  EXPECT_EQ(overflow, 0);
  h->feedEvents(40000);
  EXPECT_EQ(count(&overflow), 40000u);
  EXPECT_EQ(overflow, 0);
  if (t.hardwareWrap != 0 && t.hardwareWrap < (uint64_t{1} << 32)) {
    // Read twice per wrap: the count goes on past the hardware counter's range.
    h->feedEvents(40000);
    EXPECT_EQ(count(&overflow), 80000u);
    h->feedEvents(t.hardwareWrap - 1);
    EXPECT_EQ(count(&overflow), 80000u + t.hardwareWrap - 1);
    EXPECT_EQ(overflow, 0);
  }
  if (t.flagsMissedWrap) {
    // A whole wrap between two reads cannot be accounted for.
    ASSERT_EQ(d().CounterEventStart(handle(), {n, 0}), 0);
    h->feedEvents(t.hardwareWrap + 5);
    const uint32_t c = count(&overflow);
    EXPECT_EQ(overflow, 1);
    EXPECT_EQ(c, 5u);
    // A restart clears the flag.
    ASSERT_EQ(d().CounterEventStart(handle(), {n, 0}), 0);
    h->feedEvents(3);
    EXPECT_EQ(count(&overflow), 3u);
    EXPECT_EQ(overflow, 0);
  }
  if (t.checksArguments) {
    // A reset counter counts nothing.
    ASSERT_EQ(d().CounterReset(handle(), n), 0);
    h->feedEvents(10);
    EXPECT_EQ(count(), 0u);
  }
}

INSTANTIATE_TEST_SUITE_P(EveryDriver, DriverContract, ::testing::ValuesIn(allDrivers()),
                         [](const auto& p) { return p.param.name; });

}  // namespace
}  // namespace morvand::contract
