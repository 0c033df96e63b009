// Sequences that make the laser safe: a failed write of one of their steps is tried once
// more before it is reported, and the steps after a failure are still attempted.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <stdexcept>
#include <string>

#include "support/fixture.hpp"
#include "support/laser_readings.hpp"

namespace morvand::test {
namespace {

constexpr int32_t kFault = 7;

struct Site {
  const char* name;
  /// Card selected before the sequence runs ("": none).
  const char* cardName;
  /// Runs the sequence (an error it lets through is expected).
  std::function<void(Morvand&)> run;
  /// The failure is armed once this call has been made ("": at once).
  const char* armAfter;
  /// The switch-off write that fails.
  const char* failing;
  /// A later step that must still be attempted after the write failed for good ("": none).
  const char* later;
};

class SwitchOffTest : public ControllerTest {
 protected:
  /// Runs the site with its write failing `failures` times; returns the calls after arming.
  Strings runWithFailures(const Site& site, int failures) {
    freshCard();
    Morvand& m = make();
    if (!std::string(site.cardName).empty()) {
      card->addDevice(site.cardName);
      m.StandardCard();
      healthyLaser(*card);
    }
    card->clearCalls();
    host.messages.clear();
    bool armed = false;
    const auto arm = [&] {
      card->failText(site.failing, kFault, failures);
      armed = true;
    };
    if (std::string(site.armAfter).empty()) {
      arm();
    } else {
      card->onCall = [&, after = std::string(site.armAfter)](const DriverCall& c) {
        if (!armed && c.text() == after) arm();
      };
    }
    try {
      site.run(m);
    } catch (const std::runtime_error&) {
    }
    card->onCall = nullptr;
    host.onYield = nullptr;
    host.onWarmingup = nullptr;
    EXPECT_TRUE(armed) << site.name;
    return card->texts();
  }

  size_t reports() const {
    return static_cast<size_t>(
        std::count(host.messages.begin(), host.messages.end(), "driver error 7"));
  }
};

TEST_F(SwitchOffTest, AFailedSwitchOffWriteIsTriedOnceMoreAndTheSequenceGoesOn) {
  const Site sites[] = {
      {"safe state at card selection", "",
       [&](Morvand& m) {
         card->addDevice("PCI-1711");
         m.StandardCard();
       },
       "", "DioWritePortByte(0, 128, 0)", "DioWritePortByte(1, 128, 0)"},
      {"halt", "PCI-1711", [](Morvand& m) { m.Halt(); }, "", "CounterFreqStart(0, 1, 0)",
       "CounterReset(0)"},
      {"closing write of a gas procedure", "PCI-1712", [](Morvand& m) { m.GasFilterPress(); },
       "DioWritePortByte(1, 255, 3)", "DioWritePortByte(1, 255, 0)", ""},
      {"end of the high-voltage test", "PCI-1711",
       [&](Morvand& m) {
         host.answers = {6};
         host.inputs = {"5"};
         host.onYield = [] { throw std::runtime_error("host handler failed"); };
         m.HVTest();
       },
       "", "DioWritePortByte(0, 128, 0)", "AOVoltageOut(0, 0)"},
      {"status poll switching the enable line off", "PCI-1711",
       [&](Morvand& m) {
         host.onWarmingup = [](float, bool& cancel) { cancel = true; };
         m.MorvandStatus(true);
       },
       "DioWritePortByte(0, 128, 128)", "DioWritePortByte(0, 128, 0)", ""},
      {"destruction", "PCI-1711", [&](Morvand&) { destroy(); }, "", "CounterReset(0)",
       "DeviceClose(42)"},
  };
  for (const Site& site : sites) {
    // The failing write: the first one after the failure was armed.
    const auto failingWrite = [&](const Strings& calls) {
      auto from = calls.cbegin();
      if (!std::string(site.armAfter).empty()) from = std::find(from, calls.cend(), site.armAfter);
      return std::find(from, calls.cend(), site.failing);
    };
    // One failure: the same write again at once, and nothing to report.
    Strings calls = runWithFailures(site, 1);
    const auto first = failingWrite(calls);
    ASSERT_NE(first, calls.cend()) << site.name;
    ASSERT_NE(first + 1, calls.cend()) << site.name;
    EXPECT_EQ(*(first + 1), site.failing) << site.name;
    EXPECT_EQ(reports(), 0u) << site.name;

    // Two failures: reported once, and the later steps are still attempted.
    calls = runWithFailures(site, 2);
    const auto failed = failingWrite(calls);
    ASSERT_NE(failed, calls.cend()) << site.name;
    EXPECT_EQ(reports(), 1u) << site.name;
    if (std::string(site.later).empty()) continue;
    EXPECT_NE(std::find(failed, calls.cend(), site.later), calls.cend()) << site.name;
  }
}

TEST_F(SwitchOffTest, OutsideASwitchOffSequenceAFailedWriteIsNotRepeated) {
  Morvand& m = make();
  selectCard("PCI-1711");
  card->failText("DioWritePortByte(0, 128, 0)", kFault, 2);
  m.Enable(false);
  m.Reset();  // its port-0 write fails: the valve port is left alone, as before
  EXPECT_EQ(card->texts(), (Strings{"DioWritePortByte(0, 128, 0)", "GetErrorMessage(7)",
                                    "DioWritePortByte(0, 128, 0)", "GetErrorMessage(7)"}));
  EXPECT_EQ(host.messages, (Strings{"driver error 7", "driver error 7"}));
}

}  // namespace
}  // namespace morvand::test
