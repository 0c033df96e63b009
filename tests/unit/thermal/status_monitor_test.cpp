#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "support/fixture.hpp"
#include "support/laser_readings.hpp"

namespace morvand::test {
namespace {

const std::string kUnplugged = "Measurements(-1, -1, -1, -1, -1)";

class StatusMonitorTest : public ControllerTest {
 protected:
  Morvand& ready() {
    Morvand& m = make();
    selectCard("PCI-1711");
    healthyLaser(*card);
    m.ThyTime = 1.0f;  // short warm-ups keep the tests quick
    return m;
  }
  size_t warmups() const {
    const auto w = host.eventsNamed("Warmingup");
    return static_cast<size_t>(std::count(w.begin(), w.end(), "Warmingup(0)"));
  }
  bool portWritten() const { return !card->texts(Op::DioWritePortByte).empty(); }
};

TEST_F(StatusMonitorTest, WithoutACardNothingIsMeasuredOrRaised) {
  Morvand& m = make();
  m.MorvandStatus(true);
  EXPECT_TRUE(card->calls().empty());
  EXPECT_TRUE(host.events.empty());
}

TEST_F(StatusMonitorTest, AnUnpluggedHeadIsReportedWithMinusOnesAndATwoSecondWait) {
  Morvand& m = ready();
  card->setAnalog(0, gaugeVolts(-25.0f));
  card->setAnalog(4, sensorVolts(-6.0f));
  for (bool popups : {false, true}) {
    m.PopupSet(popups);
    host.events.clear();
    host.messages.clear();
    host.boxes.clear();
    card->clearCalls();
    const double start = m.myTimer();
    m.MorvandStatus(true);
    EXPECT_GE(m.myTimer() - start, 2.0);
    EXPECT_EQ(host.eventsNamed("Measurements"), std::vector<std::string>{kUnplugged});
    if (popups) {
      ASSERT_EQ(host.boxes.size(), 1u);
      EXPECT_EQ(host.boxes[0].text, "CONNECT THE 25 PIN CONNECTOR TO THE LASER");
      EXPECT_EQ(host.boxes[0].style, 0);
      EXPECT_EQ(host.boxes[0].title, "LASER NOT CONNECTED");
    } else {
      EXPECT_EQ(host.messages,
                std::vector<std::string>{"CONNECT THE 25 PIN CONNECTOR TO THE LASER"});
    }
    // Nothing after the readings: no supply test, no warm-up, no line switched.
    const auto reads = card->texts(Op::AIConfig);
    EXPECT_EQ(std::count(reads.begin(), reads.end(), "AIConfig(8, 0)"), 0);
    EXPECT_EQ(warmups(), 0u);
    EXPECT_FALSE(portWritten());
  }
}

TEST_F(StatusMonitorTest, EitherAPlausiblePressureOrTemperatureMeansConnected) {
  Morvand& m = ready();
  card->setAnalog(0, gaugeVolts(-25.0f));
  card->setAnalog(4, sensorVolts(-4.0f));
  m.MorvandStatus(false);
  EXPECT_EQ(std::count(host.messages.begin(), host.messages.end(),
                       "CONNECT THE 25 PIN CONNECTOR TO THE LASER"),
            0);
  EXPECT_NE(host.eventsNamed("Measurements").at(0), kUnplugged);
}

TEST_F(StatusMonitorTest, TheFirstPollWarmsUpAndALostSupplyRearmsTheWarmup) {
  Morvand& m = ready();
  m.MorvandStatus(false);
  EXPECT_EQ(warmups(), 1u);
  m.MorvandStatus(false);
  EXPECT_EQ(warmups(), 1u);  // done: no second warm-up

  card->setAnalog(8, supplyVolts(9.9f));
  host.events.clear();
  m.MorvandStatus(false);
  EXPECT_EQ(host.events, std::vector<std::string>{kUnplugged});

  card->setAnalog(8, supplyVolts(12.0f));
  m.MorvandStatus(false);
  EXPECT_EQ(warmups(), 1u);  // a new, full warm-up once the supply is back
}

TEST_F(StatusMonitorTest, AWarmupStoppedByTheSupplyIsRepeatedByTheNextPoll) {
  Morvand& m = ready();
  m.ThyTime = 5.0f;
  // The supply fails during the warm-up of the first poll and is back for the second.
  const double start = m.myTimer();
  card->setAnalogSource(8, [&] {
    const double t = m.myTimer() - start;
    return supplyVolts(t > 2.0 && t < 2.6 ? 5.0f : 12.0f);
  });
  m.MorvandStatus(false);
  EXPECT_EQ(warmups(), 0u);
  clock.advance(std::chrono::seconds(1));
  m.MorvandStatus(false);
  EXPECT_EQ(warmups(), 1u);
}

TEST_F(StatusMonitorTest, PressureProblemTextsDependOnTheUnit) {
  Morvand& m = ready();
  m.MorvandStatus(false);  // the warm-up of the first poll
  const float pressMax = m.limits().PressMax;
  ASSERT_EQ(pressMax, 3100.0f);
  struct Case {
    int32_t units;
    float torr;
    std::vector<std::string> texts;
  };
  const std::string torrText = "TORR GAS PRESSURE PROBLEM, THE LASER REQUIRES SERVICE";
  const std::string kpaText = "kPASCAL GAS PRESSURE PROBLEM, THE LASER REQUIRES SERVICE";
  const std::string mbarText = "mBAR GAS PRESSURE PROBLEM, THE LASER REQUIRES SERVICE";
  const std::string negative = "GAS PRESSURE PROBLEM, THE LASER REQUIRES SERVICE";
  const Case cases[] = {
      {3, 3100.0f, {}},         {3, 3100.5f, {torrText}}, {2, 3807.6f, {kpaText}},  // 501 kPa
      {2, 3796.0f, {}},                                                             // 499.5 kPa
      {2, 3500.0f, {}},          // 460.5 kPa: the Torr limit does not apply
      {1, 3800.5f, {mbarText}},  // 5000.7 mbar
      {1, 3799.0f, {}},          // 4998.7 mbar
      {0, 5000.0f, {}},          // other units have no upper limit
      {0, -5.0f, {negative}},   {3, -5.0f, {negative}},
  };
  for (const Case& c : cases) {
    // Four equal readings fill the pressure average with the case's value.
    card->setAnalog(0, gaugeVolts(c.torr));
    m.Punits = c.units;
    for (int i = 0; i < 4; ++i) m.PressMes();
    host.messages.clear();
    m.MorvandStatus(false);
    EXPECT_EQ(host.messages, c.texts) << c.units << " " << c.torr;
  }
  // The Torr edge is the model maximum itself.
  card->setAnalog(0, gaugeVolts(pressMax));
  m.Punits = 3;
  for (int i = 0; i < 4; ++i) m.PressMes();
  EXPECT_EQ(m.Pressure, pressMax);
}

TEST_F(StatusMonitorTest, PressureTextsGoOutAsEventsEvenWithPopups) {
  Morvand& m = ready();
  m.MorvandStatus(false);
  m.PopupSet(true);
  m.Punits = 3;
  card->setAnalog(0, gaugeVolts(3500.0f));
  for (int i = 0; i < 4; ++i) m.PressMes();
  host.messages.clear();
  m.MorvandStatus(false);
  EXPECT_EQ(host.messages,
            std::vector<std::string>{"TORR GAS PRESSURE PROBLEM, THE LASER REQUIRES SERVICE"});
  EXPECT_TRUE(host.boxes.empty());
}

TEST_F(StatusMonitorTest, ChecksRunOnlyWhenAskedAndTheFilamentArgumentFollows) {
  Morvand& m = ready();
  m.MorvandStatus(false);
  card->setAnalog(3, filamentVolts(6.2f));
  card->clearCalls();
  host.events.clear();

  m.MorvandStatus(false);
  EXPECT_FALSE(portWritten());
  EXPECT_TRUE(card->texts(Op::DioReadPortByte).empty());
  EXPECT_EQ(host.eventsNamed("Measurements"),
            std::vector<std::string>{"Measurements(25, 2000, 0, -1, 12)"});

  card->clearCalls();
  host.events.clear();
  m.TempSet = 20.0f;  // warmer than the set-point: the fan goes on
  m.MorvandStatus(true);
  EXPECT_EQ(card->texts(Op::DioWritePortByte),
            (std::vector<std::string>{"DioWritePortByte(0, 128, 128)", "DioWritePortByte(0, 16, 0)",
                                      "DioWritePortByte(0, 128, 0)"}));
  EXPECT_EQ(card->texts(Op::DioReadPortByte), std::vector<std::string>{"DioReadPortByte(0)"});
  EXPECT_EQ(host.eventsNamed("Measurements"),
            std::vector<std::string>{"Measurements(25, 2000, 0, 6.2, 12)"});
}

TEST_F(StatusMonitorTest, ANegativeHighVoltageReadingIsShownAsZero) {
  Morvand& m = ready();
  m.MorvandStatus(false);
  card->setAnalog(2, -0.1f);
  host.events.clear();
  m.MorvandStatus(false);
  EXPECT_EQ(m.HVoltage, 0.0f);
  EXPECT_EQ(host.eventsNamed("Measurements"),
            std::vector<std::string>{"Measurements(25, 2000, 0, -1, 12)"});
}

TEST_F(StatusMonitorTest, TheChecksLeaveTheEnableLineAsTheyFoundItUnlessAnInputFailed) {
  Morvand& m = ready();
  m.MorvandStatus(false);    // the first warm-up
  card->setPortIn(0, 0x05);  // power OK and interlock closed
  m.flag2 = 0;
  m.Enable(true);  // as a firing run leaves it
  card->clearCalls();
  m.MorvandStatus(true);
  EXPECT_EQ(lastOf(card->texts(Op::DioWritePortByte)), "DioWritePortByte(0, 128, 128)");
  EXPECT_EQ(m.flag2, 0);
  // Off before the poll: off after it.
  m.Enable(false);
  card->clearCalls();
  m.MorvandStatus(true);
  EXPECT_EQ(lastOf(card->texts(Op::DioWritePortByte)), "DioWritePortByte(0, 128, 0)");
  // An open interlock stops the laser as before.
  m.Enable(true);
  card->setPortIn(0, 0x01);
  card->clearCalls();
  m.MorvandStatus(true);
  EXPECT_EQ(lastOf(card->texts(Op::DioWritePortByte)), "DioWritePortByte(0, 128, 0)");
  EXPECT_EQ(m.flag2, 1);
}

TEST_F(StatusMonitorTest, OnThe1712ReadingTheInputsKeepsTheValvesThatAreOpen) {
  Morvand& m = make();
  selectCard("PCI-1712");
  healthyLaser(*card);
  m.ThyTime = 1.0f;
  m.MorvandStatus(false);
  card->setPortIn(1, 0xC0);
  m.Pumpout();
  card->clearCalls();
  host.events.clear();
  m.MorvandStatus(true);
  const auto port1 = card->texts(Op::DioWritePortByte);
  EXPECT_EQ(std::count(port1.begin(), port1.end(), "DioWritePortByte(1, 255, 25)"), 1);
  EXPECT_EQ(std::count(port1.begin(), port1.end(), "DioWritePortByte(1, 255, 0)"), 0);
  EXPECT_EQ(m.ValveState, 25);
  EXPECT_EQ(host.eventsNamed("ValveStatus"),
            std::vector<std::string>{"ValveStatus(25, Pump Main Vaccume Opened)"});
}

TEST_F(StatusMonitorTest, APollDuringAWarmupStartsNoSecondOne) {
  Morvand& m = ready();
  bool polled = false;
  host.onYield = [&] {
    if (polled) return;
    polled = true;
    m.MorvandStatus(false);  // the host's timer fires inside the warm-up
  };
  m.MorvandStatus(false);
  host.onYield = nullptr;
  EXPECT_TRUE(polled);
  EXPECT_EQ(warmups(), 1u);
}

}  // namespace
}  // namespace morvand::test
