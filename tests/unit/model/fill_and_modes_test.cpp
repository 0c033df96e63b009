// Fill targets across selections, the high-repetition-rate regime, operating modes and the
// set-point slider.

#include <gtest/gtest.h>

#include <limits>

#include "support/fixture.hpp"
#include "support/probe.hpp"

namespace morvand::test {
namespace {

class FillTest : public ControllerTest {
 protected:
  Morvand& fill(int16_t code, int16_t gas) {
    if (!m_) make();
    m_->LaserTypeFlag = code;
    m_->GasFlag = gas;
    m_->SetFillPress();
    return *m_;
  }
};

TEST_F(FillTest, AModelWithoutAFluorinePairKeepsThePreviousPressuresButTakesItsText) {
  Morvand& m = fill(3, 1);  // LM-08
  fill(1, 1);               // LM-13
  EXPECT_FLOAT_EQ(m.limits().FillPressLow, 2400.0f);
  EXPECT_FLOAT_EQ(m.limits().FillPressHigh, 3000.0f);
  fill(37, 1);  // LM-40: own text
  EXPECT_EQ(m.GasText1, "157nm Gas Exchange.");
  fill(10, 1);  // LM-19: no pair
  EXPECT_FLOAT_EQ(m.limits().FillPressLow, 2850.0f);
  EXPECT_FLOAT_EQ(m.limits().FillPressHigh, 3000.0f);
  EXPECT_EQ(m.GasText1, "157nm Gas Exchange");
}

TEST_F(FillTest, OnlyFluorineAndArFRenameTheOperation) {
  Morvand& m = fill(3, 2);
  EXPECT_EQ(m.GasText2, "ArF Operation");
  fill(3, 5);
  EXPECT_EQ(m.GasText2, "ArF Operation");
  fill(3, 1);
  EXPECT_EQ(m.GasText2, "F2 Operation");
  fill(3, 6);
  EXPECT_EQ(m.GasText2, "F2 Operation");
}

TEST_F(FillTest, Code30WithArFGivesALowerPressureAboveTheUpperOne) {
  Morvand& m = fill(30, 2);
  EXPECT_FLOAT_EQ(m.limits().FillPressLow, 3000.0f);
  EXPECT_FLOAT_EQ(m.limits().FillPressHigh, 2850.0f);
}

// ---- the high-repetition-rate regime ----

class HighRepTest : public ControllerTest {
 protected:
  Morvand& regime(int16_t code, int16_t gas, int32_t rate, float torr) {
    if (!m_) make();
    m_->LaserTypeFlag = code;
    m_->GasFlag = gas;
    m_->HiVoltMax = 1.0f;
    m_->RepRate = rate;
    gasState(*m_).PressTorr = torr;
    m_->HighRepSetup();
    return *m_;
  }
};

TEST_F(HighRepTest, AboveTheRateAndPressureTheOperatorIsToldAndTheRateIsPulledBack) {
  Morvand& m = regime(9, 1, 900, 2400.0f);  // LM-27, F2
  EXPECT_FLOAT_EQ(m.HiVoltMax, 15.0f);
  ASSERT_EQ(host.boxes.size(), 1u);
  EXPECT_EQ(host.boxes[0].text, "For operation above 850Hz use the high repetition rate gas fill");
  EXPECT_EQ(host.boxes[0].style, 64);
  EXPECT_EQ(host.boxes[0].title, "High Rep Fill");
  EXPECT_TRUE(host.events.empty());  // modal even with pop-ups off
  EXPECT_EQ(m.RepRate, 800);
  EXPECT_EQ(m.limits().HighRepFill, 1);
}

TEST_F(HighRepTest, AtThePressureLimitOnlyTheVoltageTopDrops) {
  Morvand& m = regime(9, 1, 900, 2350.0f);
  EXPECT_FLOAT_EQ(m.HiVoltMax, 15.0f);
  EXPECT_TRUE(host.boxes.empty());
  EXPECT_EQ(m.RepRate, 900);
  EXPECT_EQ(m.limits().HighRepFill, 0);
}

TEST_F(HighRepTest, AtTheRateThresholdOnlyTheFirstTopApplies) {
  Morvand& m = regime(9, 1, 850, 5000.0f);
  EXPECT_FLOAT_EQ(m.HiVoltMax, 16.5f);
  EXPECT_TRUE(host.boxes.empty());
  EXPECT_EQ(m.RepRate, 850);
}

TEST_F(HighRepTest, EachRegimeHasItsOwnValues) {
  struct Case {
    int16_t code, gas;
    float first;
    int32_t threshold;
    float above, limit;
    int32_t rateAfter;
  };
  const Case cases[] = {
      {9, 2, 15.0f, 850, 14.0f, 2250.0f, 800},  {14, 4, 16.5f, 850, 14.0f, 2050.0f, 800},
      {14, 0, 16.5f, 850, 14.0f, 2050.0f, 800}, {19, 1, 16.5f, 800, 15.0f, 2250.0f, 800},
      {19, 2, 14.0f, 800, 12.0f, 1900.0f, 800}, {30, 1, 16.5f, 300, 15.0f, 2250.0f, 300},
      {30, 2, 14.0f, 400, 12.0f, 1900.0f, 400},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("code " + std::to_string(c.code) + " gas " + std::to_string(c.gas));
    host.boxes.clear();
    // At the threshold only the first top applies.
    Morvand& m = regime(c.code, c.gas, c.threshold, c.limit + 1000.0f);
    EXPECT_FLOAT_EQ(m.HiVoltMax, c.first);
    EXPECT_EQ(m.RepRate, c.threshold);
    // Above it at the pressure limit the top drops and nobody is asked.
    regime(c.code, c.gas, c.threshold + 1, c.limit);
    EXPECT_FLOAT_EQ(m.HiVoltMax, c.above);
    EXPECT_EQ(m.RepRate, c.threshold + 1);
    EXPECT_TRUE(host.boxes.empty());
    regime(c.code, c.gas, c.threshold + 1, c.limit + 1.0f);
    EXPECT_FLOAT_EQ(m.HiVoltMax, c.above);
    EXPECT_EQ(m.RepRate, c.rateAfter);
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(host.boxes[0].text, "For operation above " + std::to_string(c.threshold) +
                                      "Hz use the high repetition rate gas fill");
  }
}

TEST_F(HighRepTest, OtherModelsAndGasesChangeNothing) {
  for (auto [code, gas] : {std::pair<int16_t, int16_t>{9, 3}, {19, 4}, {30, 5}, {3, 1}}) {
    Morvand& m = regime(code, gas, 2000, 5000.0f);
    EXPECT_FLOAT_EQ(m.HiVoltMax, 1.0f);
    EXPECT_EQ(m.RepRate, 2000);
  }
  EXPECT_TRUE(host.boxes.empty());
  EXPECT_EQ(m_->limits().HighRepFill, 0);
}

TEST_F(HighRepTest, ThePressureLimitIsComparedInTorrWhateverTheHostsUnit) {
  Morvand& m = make();
  m.Punits = 1;          // the host reads mbar
  m.Pressure = 3000.0f;  // 3000 mbar is about 2280 Torr, under LM-27's 2350 Torr
  regime(9, 1, 900, 2280.0f);
  EXPECT_TRUE(host.boxes.empty());
  m.Pressure = 2000.0f;  // below the limit in the host's unit, above it in Torr
  regime(9, 1, 900, 2400.0f);
  EXPECT_EQ(host.boxes.size(), 1u);
}

TEST_F(HighRepTest, OnceAskedTheHighRepFillStaysRequested) {
  Morvand& m = regime(9, 1, 900, 2400.0f);
  regime(9, 1, 100, 100.0f);
  EXPECT_EQ(m.limits().HighRepFill, 1);
}

// ---- modes and the set-point slider ----

class ModesTest : public ControllerTest {};

TEST_F(ModesTest, ModeSettersStoreTheirArgument) {
  Morvand& m = make();
  m.SetChargeMode(3);
  m.SetTriggerMode(1);
  EXPECT_EQ(m.ChMode, 3);
  EXPECT_EQ(m.TrigMode, 1);
  m.SetLaserStandby(5);
  EXPECT_TRUE(m.LaserStandby);
  m.SetLaserStandby(0);
  EXPECT_FALSE(m.LaserStandby);
}

TEST_F(ModesTest, VoltageSliderSpansTheWindowBothWays) {
  Morvand& m = make();
  m.mode = 0;
  m.HiVoltMin = 10.0f;
  m.HiVoltMax = 16.0f;
  EXPECT_EQ(m.Slider_to_EV(0.5f), "13.00");
  EXPECT_FLOAT_EQ(m.VoltSet, 13.0f);
  EXPECT_FLOAT_EQ(m.EV_to_Slider(), 0.5f);
  // No clamping at either end.
  EXPECT_EQ(m.Slider_to_EV(-2.0f), "-2.00");
  EXPECT_FLOAT_EQ(m.EV_to_Slider(), -2.0f);
  EXPECT_EQ(m.Slider_to_EV(0.123f), "10.74");
}

TEST_F(ModesTest, ASetPointHalfwayBetweenHundredthsReadsAwayFromZero) {
  Morvand& m = make();
  m.mode = 0;
  m.HiVoltMin = 10.0f;
  m.HiVoltMax = 16.0f;
  EXPECT_EQ(m.Slider_to_EV(0.1875f), "11.13");  // 11.125 kV, exact in binary
  EXPECT_FLOAT_EQ(m.VoltSet, 11.125f);
  m.HiVoltMin = 0.0f;
  m.HiVoltMax = 1.0f;
  EXPECT_EQ(m.Slider_to_EV(-0.375f), "-0.38");
}

TEST_F(ModesTest, EnergySliderSpansTwentyToNinetyPercentOfTheRange) {
  Morvand& m = make();
  m.LaserTypeFlag = 3;  // LM-08 with ArF: 25 energy units
  m.GasFlag = 2;
  m.LaserData();
  m.mode = 1;
  EXPECT_NEAR(m.EV_to_Slider(), 0.3f / 0.7f, 1e-6f);
  EXPECT_EQ(m.Slider_to_EV(0.0f), "5.00");
  EXPECT_FLOAT_EQ(m.SetEnergy, 5.0f);
  EXPECT_EQ(m.Slider_to_EV(1.0f), "22.50");
  EXPECT_FLOAT_EQ(m.SetEnergy, 22.5f);
  EXPECT_FLOAT_EQ(m.EV_to_Slider(), 1.0f);
}

TEST_F(ModesTest, AnEmptyRangeOrAnOverflowIsAFloatingPointFault) {
  Morvand& m = make();
  m.mode = 1;
  m.MaxEnergyVal = 0.0f;
  EXPECT_THROW(m.EV_to_Slider(), FloatError);
  m.mode = 0;
  m.HiVoltMax = m.HiVoltMin = 12.0f;
  EXPECT_THROW(m.EV_to_Slider(), FloatError);
  m.HiVoltMin = 0.0f;
  m.HiVoltMax = std::numeric_limits<float>::max();
  const float before = m.VoltSet;
  EXPECT_THROW(m.Slider_to_EV(4.0f), FloatError);
  EXPECT_FLOAT_EQ(m.VoltSet, before);
}

}  // namespace
}  // namespace morvand::test
