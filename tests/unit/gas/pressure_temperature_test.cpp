#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/fixture.hpp"
#include "support/laser_readings.hpp"
#include "support/probe.hpp"

namespace morvand::test {
namespace {

using ::testing::ElementsAre;

class PressureTest : public ControllerTest {
 protected:
  /// Gauge volts that read torr on the selected model.
  float gaugeFor(float torr) { return gaugeVolts(torr, m_->limits().PressScale); }
};

TEST_F(PressureTest, TheAverageStartsFromTheFirstReading) {
  selectCard();
  card->queueAnalog(
      0, {gaugeFor(1000), gaugeFor(2000), gaugeFor(3000), gaugeFor(4000), gaugeFor(5000)});
  EXPECT_NEAR(m_->PressMes(), 1000.0, 0.05);
  EXPECT_NEAR(m_->PressMes(), 1500.0, 0.05);
  EXPECT_NEAR(m_->PressMes(), 2000.0, 0.05);
  EXPECT_NEAR(m_->PressMes(), 2500.0, 0.05);
  EXPECT_NEAR(m_->PressMes(), 3500.0, 0.05);  // the first reading has dropped out
  EXPECT_THAT(card->texts(Op::AIVoltageIn), ::testing::Each("AIVoltageIn(0, 0, 0)"));
}

TEST_F(PressureTest, TheUnitAppliesToTheAverageOnlyAndTorrIsKept) {
  selectCard();
  card->setAnalog(0, gaugeFor(760));
  m_->Punits = 1;
  EXPECT_NEAR(m_->PressMes(), 1000.0, 0.05);
  m_->Punits = 2;
  EXPECT_NEAR(m_->PressMes(), 100.0, 0.005);
  m_->Punits = 0;
  EXPECT_NEAR(m_->PressMes(), 760.0, 0.05);
  m_->Punits = 1;
  card->setAnalog(0, gaugeFor(1560));
  EXPECT_NEAR(m_->PressMes(), 960 / 0.76, 0.05);  // (760 * 3 + 1560) / 4 Torr, in mbar
  EXPECT_NEAR(gasState(*m_).PressTorr, 960.0, 0.05);
}

TEST_F(PressureTest, TheOtherUnitsConvertTheTorrAverageAsReported) {
  selectCard();
  ASSERT_EQ(m_->limits().PressScale, 645);
  // 709.500061 and 1032 Torr: their average is 870.75 Torr in single precision; converting
  // the unrounded average instead gives a different last digit in both units.
  card->queueAnalog(0, {1.2f, 1.7f, 1.2f, 1.7f});
  m_->PressMes();
  m_->Punits = 1;
  EXPECT_EQ(m_->PressMes(), static_cast<float>(870.75 / 0.76));
  m_->PressMes();
  m_->Punits = 2;  // the four readings average to the same 870.75 Torr
  EXPECT_EQ(m_->PressMes(), static_cast<float>(870.75 / 7.6));
}

TEST_F(PressureTest, AtTheGaugeOffsetTheReadingIsZeroAndBelowItNegative) {
  selectCard();
  card->queueAnalog(0, {0.1f});
  EXPECT_NEAR(m_->PressMes(), 0.0, 1e-3);
  card->setAnalog(0, 0.05f);
  EXPECT_LT(m_->PressMes(), 0.0f);
}

TEST_F(PressureTest, AFailedReadingKeepsPressureAndHistory) {
  selectCard();
  card->setAnalog(0, gaugeFor(800));
  m_->PressMes();
  card->failCall(Op::AIVoltageIn, 8);
  card->setErrorText(8, "gauge fault");
  EXPECT_EQ(m_->PressMes(), -1.0f);
  EXPECT_NEAR(m_->Pressure, 800.0, 0.05);
  EXPECT_THAT(host.messages, ElementsAre("gauge fault"));
  card->setAnalog(0, gaugeFor(1200));
  EXPECT_NEAR(m_->PressMes(), 1000.0, 0.05);
}

TEST_F(PressureTest, WithoutACardTheDriverIsStillAsked) {
  Morvand& m = make();
  card->setAnalog(0, gaugeFor(500));
  EXPECT_NEAR(m.PressMes(), 500.0, 0.05);
  EXPECT_THAT(card->texts(), ElementsAre("AIConfig(0, 0)", "AIVoltageIn(0, 0, 0)"));
  CardContext::current().setDriver(nullptr);
  EXPECT_EQ(m.PressMes(), -1.0f);
  EXPECT_THAT(host.messages, ElementsAre("no card driver"));
}

TEST_F(PressureTest, NoSelectedInputRangeFailsBeforeAnyDriverCall) {
  Morvand& m = make();
  card->addDevice("DEMO 1711");  // a first selection that lists no input ranges
  ASSERT_TRUE(m.StandardCard());
  card->clearCalls();
  EXPECT_THROW(m.PressMes(), IndexError);
  EXPECT_TRUE(card->texts().empty());
}

class TemperatureTest : public ControllerTest {
 protected:
  void SetUp() override { selectCard(); }
  /// Makes the next readings steady at degC and fills the history with them.
  void settle(float degC) {
    card->setAnalog(4, degC / 10.0f);
    for (int i = 0; i < 4; ++i) m_->TempMes();
    card->clearCalls();
  }
};

TEST_F(TemperatureTest, TheFirstReadingIsTheTemperature) {
  card->queueAnalog(4, {2.5f, 3.5f});
  EXPECT_FLOAT_EQ(m_->TempMes(), 25.0f);
  EXPECT_FLOAT_EQ(m_->TempMes(), 30.0f);
  EXPECT_THAT(card->texts(Op::AIConfig), ElementsAre("AIConfig(4, 0)", "AIConfig(4, 0)"));
  card->failCall(Op::AIConfig, 2);
  EXPECT_EQ(m_->TempMes(), -1.0f);
  EXPECT_FLOAT_EQ(m_->temp, 30.0f);
}

TEST_F(TemperatureTest, TheFanSwitchesOutsideTheDeadBandOnly) {
  m_->TempSet = 30.0f;
  struct Case {
    float degC;
    std::vector<std::string> writes;
  };
  for (const Case& c :
       {Case{30.2f, {"DioWritePortByte(0, 16, 0)"}}, Case{29.8f, {"DioWritePortByte(0, 16, 16)"}},
        Case{30.05f, {}}, Case{30.1f, {}}, Case{29.9f, {}}}) {
    settle(c.degC);
    m_->TempControl(0.1f);
    EXPECT_EQ(card->texts(Op::DioWritePortByte), c.writes) << c.degC;
  }
}

TEST_F(TemperatureTest, TheLimitIsAllowedUpToItself) {
  const float limit = m_->limits().TempMax;
  m_->TempSet = limit;
  settle(limit);
  EXPECT_TRUE(m_->TempControl(0.1f));
  settle(limit + 1.0f);
  EXPECT_FALSE(m_->TempControl(0.1f));
}

TEST_F(TemperatureTest, WithoutACardNothingIsReadAndTheFanIsNeverSwitchedOn) {
  m_->PCIcard = 0;
  m_->TempSet = -5.0f;
  m_->temp = 20.0f;
  EXPECT_EQ(m_->TempMes(), 0.0f);
  EXPECT_FALSE(m_->Fan(true));
  m_->TempControl(0.1f);
  EXPECT_FLOAT_EQ(m_->temp, 20.0f);
  EXPECT_TRUE(card->texts().empty());
}

}  // namespace
}  // namespace morvand::test
