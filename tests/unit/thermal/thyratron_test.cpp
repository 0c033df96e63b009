#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <vector>

#include "support/fixture.hpp"
#include "support/laser_readings.hpp"

namespace morvand::test {
namespace {

class ThyratronTest : public ControllerTest {
 protected:
  Morvand& ready(const std::string& cardName = "PCI-1711") {
    Morvand& m = make();
    selectCard(cardName);
    healthyLaser(*card);
    return m;
  }
  std::vector<std::string> warmingEvents() const { return host.eventsNamed("Warmingup"); }
};

// ---- warm-up ----

TEST_F(ThyratronTest, WarmupLastsThyTimeWhateverTheArgumentAndReportsWithoutDrift) {
  Morvand& m = ready();
  ASSERT_EQ(m.ThyTime, 300.0f);  // the model's warm-up time
  for (float asked : {0.0f, 1000.0f}) {
    host.events.clear();
    std::vector<double> reportTimes;
    host.onWarmingup = [&](float, bool&) { reportTimes.push_back(m.myTimer()); };
    const double start = m.myTimer();
    EXPECT_TRUE(m.ThyWarmup(asked));
    const double took = m.myTimer() - start;
    EXPECT_GE(took, 300.0);
    EXPECT_LT(took, 300.5);
    EXPECT_FALSE(m.ThyState);

    // One report a second, each within a pass of its whole second after the start: the
    // report time steps by exactly 1 s, so 299 reports accumulate no lag. (The report
    // times are singles: a reading may be a fraction of a millisecond early.)
    ASSERT_GE(reportTimes.size(), 299u);
    for (size_t k = 0; k + 1 < reportTimes.size(); ++k) {
      EXPECT_GT(reportTimes[k] - start, k + 0.999) << "report " << k;
      EXPECT_LT(reportTimes[k] - start, k + 1.25) << "report " << k;
    }
    // The countdown goes down, and the last report is 0 s.
    const auto w = warmingEvents();
    EXPECT_EQ(w.back(), "Warmingup(0)");
    EXPECT_EQ(host.eventsNamed("Measurements").size(), w.size() - 1);
  }
}

TEST_F(ThyratronTest, AtThirtyDaysOfUptimeTheWarmupIsNeverShort) {
  // 30 days and 0.124 s: a single-precision time there rounds down by 0.124 s.
  clock.advance(std::chrono::hours(24 * 30) + std::chrono::milliseconds(124));
  Morvand& m = ready();
  m.ThyTime = 5.0f;
  std::vector<double> reportTimes;
  host.onWarmingup = [&](float, bool&) { reportTimes.push_back(m.myTimer()); };
  const double start = m.myTimer();
  EXPECT_TRUE(m.ThyWarmup(0.0f));
  EXPECT_GE(m.myTimer() - start, 5.0);
  ASSERT_GE(reportTimes.size(), 4u);
  for (size_t k = 0; k + 1 < reportTimes.size(); ++k) {
    EXPECT_GT(reportTimes[k] - start, k + 1.0) << "report " << k;
  }
}

TEST_F(ThyratronTest, EachReportReadsTheInputsWithTheEnableLineOnOnlyMeanwhile) {
  Morvand& m = ready();
  m.ThyTime = 1.5f;
  EXPECT_TRUE(m.ThyWarmup(0.0f));
  // Report: enable on, pressure, high voltage, temperature (fan control), input port,
  // enable off.
  const auto calls = card->texts();
  const auto on = std::find(calls.begin(), calls.end(), "DioWritePortByte(0, 128, 128)");
  ASSERT_NE(on, calls.end());
  const std::vector<std::string> expected = {
      "DioWritePortByte(0, 128, 128)", "AIConfig(0, 0)", "AIVoltageIn(0, 0, 0)", "AIConfig(2, 0)",
      "AIVoltageIn(2, 0, 0)",          "AIConfig(4, 0)", "AIVoltageIn(4, 0, 0)"};
  EXPECT_EQ(std::vector<std::string>(on, on + 7), expected);
  const auto off = std::find(on, calls.end(), "DioWritePortByte(0, 128, 0)");
  ASSERT_NE(off, calls.end());
  EXPECT_NE(std::find(on, off, "DioReadPortByte(0)"), off);
  EXPECT_EQ(host.eventsNamed("Measurements").at(0), "Measurements(25, 2000, 0, 0, 12)");
}

TEST_F(ThyratronTest, CancelFromTheWarmingupEventEndsAtTheNextPassWithAFinalZeroReport) {
  Morvand& m = ready();
  int reports = 0;
  host.onWarmingup = [&](float left, bool& cancel) {
    if (left > 0.0f && ++reports == 3) cancel = true;
  };
  const double start = m.myTimer();
  EXPECT_TRUE(m.ThyWarmup(300.0f));
  EXPECT_LT(m.myTimer() - start, 3.5);
  EXPECT_EQ(reports, 3);
  const auto w = warmingEvents();
  ASSERT_EQ(w.size(), 4u);
  EXPECT_EQ(w.back(), "Warmingup(0)");
  EXPECT_FALSE(m.ThyState);
}

TEST_F(ThyratronTest, ThySkipEndsARunningWarmupButDoesNotCancelTheNextOne) {
  Morvand& m = ready();
  m.ThySkip();  // no warm-up: nothing to cancel
  m.ThyTime = 4.0f;
  double start = m.myTimer();
  bool skipped = false;
  host.onYield = [&] {
    if (!skipped && m.myTimer() - start > 1.5) {
      skipped = true;
      m.ThySkip();
    }
  };
  EXPECT_TRUE(m.ThyWarmup(0.0f));
  EXPECT_LT(m.myTimer() - start, 1.8);
  // The skip does not linger: the next warm-up runs its full time.
  host.onYield = nullptr;
  start = m.myTimer();
  EXPECT_TRUE(m.ThyWarmup(0.0f));
  EXPECT_GE(m.myTimer() - start, 4.0);
}

TEST_F(ThyratronTest, TwoLowSupplyReadingsInARowEndTheWarmupSilentlyWithFalse) {
  Morvand& m = ready();
  m.ThyTime = 5.0f;
  const double start = m.myTimer();
  card->setAnalogSource(8, [&] { return supplyVolts(m.myTimer() - start > 2.5 ? 9.9f : 12.0f); });
  EXPECT_FALSE(m.ThyWarmup(0.0f));
  EXPECT_FALSE(m.ThyState);
  EXPECT_LT(m.myTimer() - start, 2.7);
  // No final report and no message.
  for (const auto& w : warmingEvents()) EXPECT_NE(w, "Warmingup(0)");
  EXPECT_TRUE(host.messages.empty());
  EXPECT_TRUE(host.boxes.empty());
}

TEST_F(ThyratronTest, ASingleLowSupplyReadingIsRetriedAndDoesNotStopTheWarmup) {
  Morvand& m = ready();
  m.ThyTime = 2.0f;
  card->queueAnalog(8, {supplyVolts(9.0f), supplyVolts(12.0f), supplyVolts(9.0f)});
  EXPECT_TRUE(m.ThyWarmup(0.0f));
  EXPECT_EQ(warmingEvents().back(), "Warmingup(0)");
}

// ---- standby line ----

TEST_F(ThyratronTest, StandbyBookkeepingFollowsTheLineAndKeepsTheFirstTimeOfEachChange) {
  Morvand& m = ready();
  const double t1 = m.myTimer();
  EXPECT_TRUE(m.ThyStandbySet(1));
  EXPECT_EQ(m.ThyStandby, 2);
  EXPECT_DOUBLE_EQ(m.TimeStandby, t1 + 5.0);

  clock.advance(std::chrono::seconds(10));
  EXPECT_TRUE(m.ThyStandbySet(1));  // written again, the bookkeeping stays
  EXPECT_EQ(m.ThyStandby, 2);
  EXPECT_DOUBLE_EQ(m.TimeStandby, t1 + 5.0);

  const double t2 = m.myTimer();
  EXPECT_TRUE(m.ThyStandbySet(0));
  EXPECT_EQ(m.ThyStandby, -1);
  EXPECT_DOUBLE_EQ(m.TimeStandby, t2 + 30.0);
  EXPECT_TRUE(m.ThyStandbySet(0));
  EXPECT_EQ(m.ThyStandby, -1);
  EXPECT_DOUBLE_EQ(m.TimeStandby, t2 + 30.0);

  EXPECT_EQ(card->texts(),
            (std::vector<std::string>{"DioWritePortByte(0, 1, 1)", "DioWritePortByte(0, 1, 1)",
                                      "DioWritePortByte(0, 1, 0)", "DioWritePortByte(0, 1, 0)"}));
}

TEST_F(ThyratronTest, LeavingStandbyFromTheInitialStateWritesTheLineAndChangesNothingElse) {
  Morvand& m = ready();
  EXPECT_TRUE(m.ThyStandbySet(0));
  EXPECT_EQ(m.ThyStandby, 0);
  EXPECT_EQ(m.TimeStandby, 0.0);
  EXPECT_EQ(card->texts(), std::vector<std::string>{"DioWritePortByte(0, 1, 0)"});
}

TEST_F(ThyratronTest, StandbyLineIsLeftAloneWithoutACardOrOnTheStandardSystem) {
  Morvand& m = make();
  EXPECT_FALSE(m.ThyStandbySet(1));
  selectCard();
  m.EH_sys = false;
  EXPECT_FALSE(m.ThyStandbySet(1));
  EXPECT_EQ(m.ThyStandby, 0);
  EXPECT_TRUE(card->calls().empty());
}

TEST_F(ThyratronTest, StandbyLineFailuresAreAlwaysBoxesTitledByTheFailingCall) {
  card->features.numProgrammablePorts = 1;
  Morvand& m = ready();
  ASSERT_FALSE(m.PopupMessage);
  card->setErrorText(9, "Port busy");

  card->failCall(Op::DioSetPortMode, 9);
  EXPECT_FALSE(m.ThyStandbySet(1));
  card->failCall(Op::DioWritePortByte, 9);
  EXPECT_FALSE(m.ThyStandbySet(1));
  EXPECT_EQ(m.ThyStandby, 0);
  ASSERT_EQ(host.boxes.size(), 2u);
  EXPECT_EQ(host.boxes[0].text, "9: Port busy");
  EXPECT_EQ(host.boxes[0].style, 0);
  EXPECT_EQ(host.boxes[0].title, "1-2508 Error!!");
  EXPECT_EQ(host.boxes[1].title, "1-7558 Error!!");
  EXPECT_TRUE(host.messages.empty());
}

// ---- filament ----

struct Band {
  int16_t standby;
  float volts;
  const char* message;  // nullptr: accepted
};

TEST_F(ThyratronTest, FilamentBandsIncludeTheirEdges) {
  Morvand& m = ready();
  ASSERT_EQ(m.ThyLow, 6.0f);
  const Band bands[] = {
      {0, 5.98f, "Low Filament Voltage"},
      {0, 6.0f, nullptr},
      {0, 7.0f, nullptr},
      {0, 7.02f, "High Filament Voltage"},
      {-1, 5.0f, "Low Filament Voltage"},
      {2, 4.48f, "Low Filament Sleep Voltage"},
      {2, 4.5f, nullptr},
      {1, 5.2f, nullptr},
      {2, 5.22f, "High Filament Sleep Voltage"},
      {2, 6.4f, "High Filament Sleep Voltage"},
  };
  for (const Band& b : bands) {
    host.messages.clear();
    m.ThyStandby = b.standby;
    card->setAnalog(3, filamentVolts(b.volts));
    m.FilamentCheck();
    if (b.message == nullptr) {
      EXPECT_TRUE(host.messages.empty()) << b.standby << " " << b.volts;
    } else {
      EXPECT_EQ(host.messages, std::vector<std::string>{b.message}) << b.standby << " " << b.volts;
    }
  }
}

TEST_F(ThyratronTest, FilamentProblemWithPopupsIsAnInformationBoxKeepingItsAnswer) {
  Morvand& m = ready();
  m.PopupSet(true);
  card->setAnalog(3, filamentVolts(7.5f));
  host.answers = {2};
  m.FilamentCheck();
  ASSERT_EQ(host.boxes.size(), 1u);
  EXPECT_EQ(host.boxes[0].text, "High Filament Voltage");
  EXPECT_EQ(host.boxes[0].style, 64);
  EXPECT_EQ(host.boxes[0].title, "Error!!");
  EXPECT_TRUE(host.messages.empty());
}

TEST_F(ThyratronTest, FilamentReadsChannelThreeAtTwiceTheInputVoltage) {
  Morvand& m = ready();
  card->setAnalog(3, 3.1f);
  EXPECT_FLOAT_EQ(m.ThyratronMes(), 6.2f);
  EXPECT_EQ(card->texts(), (std::vector<std::string>{"AIConfig(3, 0)", "AIVoltageIn(3, 0, 0)"}));
  // A failed reading is reported and keeps the last value.
  card->failCall(Op::AIVoltageIn, 3);
  EXPECT_FLOAT_EQ(m.ThyratronMes(), 6.2f);
  EXPECT_EQ(host.messages.size(), 1u);
}

TEST_F(ThyratronTest, WithoutACardTheStoredFilamentVoltageIsJudged) {
  Morvand& m = make();
  EXPECT_EQ(m.ThyratronMes(), 0.0f);
  m.FilamentCheck();
  EXPECT_EQ(host.messages, std::vector<std::string>{"Low Filament Voltage"});
  EXPECT_TRUE(card->calls().empty());
}

}  // namespace
}  // namespace morvand::test
