#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>

#include "support/fixture.hpp"
#include "support/probe.hpp"

namespace morvand::test {
namespace {

using ::testing::ElementsAre;

class ChargingVoltageTest : public ControllerTest {
 protected:
  void SetUp() override { selectCard(); }
};

TEST_F(ChargingVoltageTest, TheSetPointIsDividedPerModelAndCappedAtFiveVolts) {
  struct Case {
    int16_t model;
    float kv;
    const char* written;
  };
  for (const Case& c :
       {Case{31, 13.5f, "AOVoltageOut(0, 4.5)"}, Case{31, 15.0f, "AOVoltageOut(0, 5)"},
        Case{44, 15.0f, "AOVoltageOut(0, 2.5)"}, Case{5, 15.0f, "AOVoltageOut(0, 3.75)"},
        Case{5, 30.0f, "AOVoltageOut(0, 5)"}, Case{5, 20.0f, "AOVoltageOut(0, 5)"}}) {
    card->clearCalls();
    m_->LaserTypeFlag = c.model;
    m_->VoltageSet(c.kv);
    EXPECT_THAT(card->texts(), ElementsAre("AOConfig(0, 5, 0)", c.written))
        << c.model << " " << c.kv;
  }
}

TEST_F(ChargingVoltageTest, ARangeFailureIsAlwaysABoxWithItsTagAndNothingIsWritten) {
  ASSERT_FALSE(m_->PopupMessage);
  card->failCall(Op::AOConfig, 12);
  card->setErrorText(12, "range refused");
  m_->VoltageSet(12.0f);
  EXPECT_THAT(card->texts(), ElementsAre("AOConfig(0, 5, 0)", "GetErrorMessage(12)"));
  ASSERT_EQ(host.boxes.size(), 1u);
  EXPECT_EQ(host.boxes[0].text, "12: range refused");
  EXPECT_EQ(host.boxes[0].title, "1-7578 Error!!");
  EXPECT_EQ(host.boxes[0].style, 0);
  EXPECT_TRUE(host.messages.empty());
  EXPECT_EQ(messageState(*m_).MsgAnswer, 1);
}

TEST_F(ChargingVoltageTest, VoltageOffWritesZeroWithoutReconfiguring) {
  m_->VoltageOff();
  EXPECT_THAT(card->texts(), ElementsAre("AOVoltageOut(0, 0)"));
}

TEST_F(ChargingVoltageTest, TheReadBackAveragesTwoReadingsAndTheFirstStandsAlone) {
  card->queueAnalog(2, {0.5f, 0.6f});
  EXPECT_FLOAT_EQ(m_->VoltageMes(), 10.0f);
  EXPECT_FLOAT_EQ(m_->VoltageMes(), 11.0f);
  EXPECT_FLOAT_EQ(m_->HVoltage, 11.0f);
  EXPECT_THAT(card->texts(Op::AIConfig), ElementsAre("AIConfig(2, 0)", "AIConfig(2, 0)"));
  card->failCall(Op::AIVoltageIn, 3);
  EXPECT_EQ(m_->VoltageMes(), -1.0f);
  EXPECT_FLOAT_EQ(m_->HVoltage, 11.0f);
  EXPECT_FLOAT_EQ(highVoltageState(*m_).HVoltRaw, 12.0f);
}

TEST_F(ChargingVoltageTest, TheTestInputsReadTheirOwnChannels) {
  card->setAnalog(8, 4.0f);
  card->setAnalog(7, 1.25f);
  EXPECT_FLOAT_EQ(m_->VoltTest12(), 12.0f);
  EXPECT_FLOAT_EQ(m_->VprogTest(), 1.25f);
  EXPECT_THAT(card->texts(Op::AIVoltageIn),
              ElementsAre("AIVoltageIn(8, 0, 0)", "AIVoltageIn(7, 0, 0)"));
  card->failCall(Op::AIConfig, 2);
  EXPECT_EQ(m_->VoltTest12(), -1.0f);
  EXPECT_FLOAT_EQ(highVoltageState(*m_).VoltTest, 12.0f);
}

TEST_F(ChargingVoltageTest, WithoutACardNothingIsMeasuredOrWritten) {
  m_->PCIcard = 0;
  m_->HVoltage = 7.0f;
  EXPECT_EQ(m_->VoltageMes(), 0.0f);
  EXPECT_EQ(m_->VoltTest12(), 0.0f);
  EXPECT_EQ(m_->VprogTest(), 0.0f);
  m_->VoltageSet(10.0f);
  m_->VoltageOff();
  EXPECT_EQ(m_->HVoltage, 7.0f);
  EXPECT_TRUE(card->texts().empty());
}

class EnergyTest : public ControllerTest {
 protected:
  void SetUp() override {
    dir.write(31, 2);  // a model and gas whose monitor scale is 3 units per volt
    selectCard();
    scale = m_->limits().EnergyScale;
    ASSERT_GT(scale, 0.0f);
  }
  /// Measures one pulse whose monitor reading gives exactly the sample e.
  float pulse(float e) {
    float v = static_cast<float>(0.2 + e / scale);
    for (int i = 0; i < 32; ++i) v = std::nextafter(v, 0.0f);
    for (int i = 0; i < 64 && static_cast<float>((v - 0.2) * scale) != e; ++i) {
      v = std::nextafter(v, 1e9f);
    }
    EXPECT_EQ(static_cast<float>((v - 0.2) * scale), e) << "no monitor reading gives " << e;
    card->setAnalog(1, v);
    return m_->EnergyMes();
  }
  float scale = 0.0f;
};

TEST_F(EnergyTest, TheFirstSampleIsTheEnergyWithNoSpread) {
  EXPECT_FLOAT_EQ(pulse(4.0f), 4.0f);
  EXPECT_FLOAT_EQ(m_->Sigma, 0.0f);
  EXPECT_FLOAT_EQ(pulse(8.0f), 6.0f);
  EXPECT_NEAR(m_->Sigma, 100.0f / 3.0f, 1e-4);  // spread 2 of mean 6
  EXPECT_THAT(card->texts(Op::AIConfig), ElementsAre("AIConfig(1, 0)", "AIConfig(1, 0)"));
}

TEST_F(EnergyTest, TheStatisticsCoverTheLastTenSamples) {
  pulse(2.0f);
  for (int i = 0; i < 10; ++i) pulse(5.0f);
  EXPECT_FLOAT_EQ(m_->Energy, 5.0f);
  EXPECT_FLOAT_EQ(m_->Sigma, 0.0f);
}

TEST_F(EnergyTest, ImplausibleSamplesAreDroppedWithoutTouchingTheStatistics) {
  for (int i = 0; i < 10; ++i) pulse(100.0f);
  EXPECT_EQ(pulse(16.0f), 0.0f);  // below a fifth of the mean: a missed pulse
  EXPECT_EQ(pulse(260.0f), 0.0f);
  EXPECT_FLOAT_EQ(m_->Energy, 100.0f);
  EXPECT_FLOAT_EQ(energyState(*m_).EnergyHistory[0], 100.0f);
  EXPECT_GT(pulse(250.0f), 100.0f);

  m_->LaserTypeFlag = 44;  // the high-energy models allow up to 450
  for (int i = 0; i < 10; ++i) pulse(100.0f);
  EXPECT_GT(pulse(450.0f), 100.0f);
  EXPECT_EQ(pulse(452.0f), 0.0f);
}

TEST_F(EnergyTest, TheFilterWaitsForAnEarlierSampleAboveFour) {
  pulse(4.0f);
  pulse(100.0f);
  EXPECT_GT(pulse(300.0f), 0.0f);  // the sample before the newest was not above 4
}

TEST_F(EnergyTest, NoEnergyIsReportedWhileTheMeanIsNotPositive) {
  card->setAnalog(1, 0.1f);  // below the 0.2 V offset
  EXPECT_EQ(m_->EnergyMes(), 0.0f);
  EXPECT_EQ(m_->Energy, 0.0f);
  EXPECT_EQ(m_->Sigma, 0.0f);
  card->failCall(Op::AIVoltageIn, 4);
  EXPECT_EQ(m_->EnergyMes(), -1.0f);
  m_->PCIcard = 0;
  EXPECT_EQ(m_->EnergyMes(), 0.0f);
}

}  // namespace
}  // namespace morvand::test
