// Loading a model: the rules around the tables (forced gases, extra writes, starting voltage,
// starting rate, codes without a model) and the voltage window that follows it.

#include <gtest/gtest.h>

#include "morvand/models.hpp"
#include "support/fixture.hpp"
#include "support/probe.hpp"

namespace morvand::test {
namespace {

class LaserDataTest : public ControllerTest {
 protected:
  /// Selects model and gas and loads it, as construction does.
  Morvand& load(int16_t code, int16_t gas) {
    if (!m_) make();
    m_->LaserTypeFlag = code;
    m_->GasFlag = gas;
    m_->LaserData();
    return *m_;
  }
};

TEST_F(LaserDataTest, ConstructionLoadsTheStoredModelWithTitlesAndLimits) {
  dir.write(1, 1);
  Morvand& m = make();
  EXPECT_EQ(m.PanelText1, "LM-13 KORVEN LASER 4");
  EXPECT_EQ(m.PanelText2, "LM-13 FLUORINE LASER CONTROL SOFTWARE F2 Enhanced");
  EXPECT_EQ(m.limits().RepRateMax, 310);
  EXPECT_FLOAT_EQ(m.MaxEnergyVal, 5.0f);
  EXPECT_FLOAT_EQ(m.SetEnergy, 2.5f);
  EXPECT_FLOAT_EQ(m.HiVoltMax, 16.5f);
  EXPECT_FLOAT_EQ(m.HiVoltMin, 12.5f);
  EXPECT_FLOAT_EQ(m.VoltSet, 12.5f);
  // A dash in the energy table on a new controller leaves the scale at 0.
  EXPECT_FLOAT_EQ(m.limits().EnergyScale, 0.0f);
  EXPECT_FLOAT_EQ(m.limits().FillPressLow, 2400.0f);
  EXPECT_FLOAT_EQ(m.limits().FillPressHigh, 3000.0f);
  EXPECT_EQ(m.GasText1, "157nm Gas Exchange");
  EXPECT_EQ(m.GasText2, "F2 Operation");
}

TEST_F(LaserDataTest, ClearedEditionFlagGivesTheStandardTitle) {
  Morvand& m = make();
  m.EH_sys = false;
  load(1, 3);
  EXPECT_EQ(m.PanelText2, "LM-13 FLUORINE LASER CONTROL SOFTWARE KrF Standard");
}

TEST_F(LaserDataTest, SingleGasModelsForceTheirGas) {
  EXPECT_EQ(load(32, 1).GasFlag, 7);  // LM-56: nitrogen
  EXPECT_EQ(m_->PanelText2, "LM-56 NITROGEN LASER CONTROL SOFTWARE N2 Enhanced");
  for (int16_t code : {50, 53, 55, 56, 57}) EXPECT_EQ(load(code, 3).GasFlag, 6) << code;
  for (int16_t code : {59, 60, 61}) EXPECT_EQ(load(code, 5).GasFlag, 2) << code;
}

TEST_F(LaserDataTest, ThreeGasModelsPullOtherGasesBackToArFOrKrF) {
  // LM-51 stored with XeF runs on KrF with the KrF values.
  Morvand& m = load(44, 5);
  EXPECT_EQ(m.GasFlag, 3);
  EXPECT_FLOAT_EQ(m.MaxEnergyVal, 350.0f);
  EXPECT_FLOAT_EQ(m.limits().EnergyScale, 75.0f);
  EXPECT_FLOAT_EQ(m.HiVoltMax, 24.0f);
  EXPECT_FLOAT_EQ(m.HiVoltMin, 19.0f);
  EXPECT_FLOAT_EQ(m.VoltSet, 20.0f);
  EXPECT_EQ(load(45, 0).GasFlag, 2);
  EXPECT_EQ(load(45, -4).GasFlag, 2);
  EXPECT_EQ(load(44, 2).GasFlag, 2);
}

TEST_F(LaserDataTest, EnergyOffsetIsLowerOnlyForLm31WithKrF) {
  Morvand& m = load(27, 3);
  EXPECT_FLOAT_EQ(m.EoffSet, -2.0f);
  EXPECT_FLOAT_EQ(m.EoffSet0, -2.0f);
  load(27, 2);
  EXPECT_FLOAT_EQ(m.EoffSet, -0.2f);
  EXPECT_FLOAT_EQ(m.EoffSet0, -0.2f);
}

TEST_F(LaserDataTest, StartingVoltageFollowsGasAndModelAndNeverSitsBelowTheWindow) {
  Morvand& m = load(19, 1);  // LM-36, F2
  EXPECT_FLOAT_EQ(m.HiVoltMin, 13.0f);
  EXPECT_FLOAT_EQ(m.VoltSet, 13.0f);
  EXPECT_FLOAT_EQ(load(48, 1).VoltSet, 13.0f);  // LM-50, F2
  EXPECT_FLOAT_EQ(load(5, 4).VoltSet, 9.0f);    // LM-10, XeCl: 9.0 is not below 9.0
  load(8, 4);                                   // LM-26, XeCl: window floor 10.1
  EXPECT_FLOAT_EQ(m.HiVoltMin, 10.1f);
  EXPECT_FLOAT_EQ(m.VoltSet, 10.1f);
  EXPECT_FLOAT_EQ(load(32, 7).VoltSet, 8.0f);   // LM-56
  EXPECT_FLOAT_EQ(load(54, 2).VoltSet, 11.0f);  // LM-45
  EXPECT_FLOAT_EQ(load(55, 6).VoltSet, 20.0f);  // LM-53
  EXPECT_FLOAT_EQ(load(56, 6).VoltSet, 12.5f);  // LM-54
  EXPECT_FLOAT_EQ(load(3, 2).VoltSet, 12.0f);   // LM-08, ArF: the plain start
}

TEST_F(LaserDataTest, SlowThresholdRoundsHalvesToEven) {
  Morvand& m = load(32, 7);  // 210 Hz x 0.25 = 52.5
  EXPECT_EQ(m.limits().RepRateSlow, 52);
  EXPECT_EQ(m.limits().RepRateMedium, 147);
  load(44, 1);  // 25 Hz x 0.7 = 17.5
  EXPECT_EQ(m.limits().RepRateMedium, 18);
  load(38, 1);  // 75 Hz x 0.7 = 52.5
  EXPECT_EQ(m.limits().RepRateMedium, 52);
}

TEST_F(LaserDataTest, StartingRateDependsOnTheCardsLowestRate) {
  Morvand& m = make();
  cardState(m).RepRateMin = 16;
  EXPECT_EQ(load(55, 6).RepRate, 0);  // LM-53 tops out at 10 Hz
  EXPECT_EQ(load(3, 1).RepRate, 20);  // LM-08
  cardState(m).RepRateMin = 0;
  EXPECT_EQ(load(55, 6).RepRate, 0);  // 10 Hz is not above 20 Hz
  cardState(m).RepRateMin = 25;
  EXPECT_EQ(load(3, 1).RepRate, 25);
  cardState(m).RepRateMin = 100;
  EXPECT_EQ(load(3, 1).RepRate, 0);  // at the model's maximum
}

TEST_F(LaserDataTest, CodesWithoutAModelKeepTheModelValuesAndAppendSuffixesAgain) {
  Morvand& m = load(26, 1);  // LM-12
  const Limits before = m.limits();
  const float maxEnergy = m.MaxEnergyVal;
  const std::string panel1 = m.PanelText1;
  const std::string panel2 = m.PanelText2;
  m.StandbyInterval = 30.0;
  load(15, 3);
  EXPECT_EQ(m.PanelText1, panel1);
  EXPECT_EQ(m.PanelText2, panel2 + " KrF Enhanced");
  load(15, 3);
  EXPECT_EQ(m.PanelText2, panel2 + " KrF Enhanced KrF Enhanced");
  EXPECT_EQ(m.limits().RepRateMax, before.RepRateMax);
  EXPECT_FLOAT_EQ(m.limits().EnergyScale, before.EnergyScale);
  EXPECT_FLOAT_EQ(m.MaxEnergyVal, maxEnergy);
  EXPECT_EQ(m.GasFlag, 3);
  // The code rules still apply: code 15 warms up for 480 s with the 645 Torr/V gauge.
  EXPECT_FLOAT_EQ(m.limits().ThyWarmTime, 480.0f);
  EXPECT_EQ(m.limits().PressScale, 645);
  EXPECT_FLOAT_EQ(m.limits().PressMax, 3100.0f);
  EXPECT_FLOAT_EQ(m.HiVoltMax, 16.0f);  // the gas default
  EXPECT_FLOAT_EQ(m.HiVoltMin, 10.0f);
  EXPECT_DOUBLE_EQ(m.StandbyInterval, 30.0);
  load(30, 9);
  EXPECT_FLOAT_EQ(m.limits().PressMax, 3200.0f);
  EXPECT_EQ(m.PanelText2, panel2 + " KrF Enhanced KrF Enhanced Enhanced");
}

TEST_F(LaserDataTest, StandbyIntervalIsGivenOnlyWhenUnset) {
  Morvand& m = make();
  EXPECT_DOUBLE_EQ(m.StandbyInterval, 600.0);
  m.StandbyInterval = 0.0;
  load(1, 1);
  EXPECT_DOUBLE_EQ(m.StandbyInterval, 600.0);
  EXPECT_FLOAT_EQ(m.Voffset, 0.1315f);
  EXPECT_FLOAT_EQ(m.Vfactor, 0.619f);
  EXPECT_FLOAT_EQ(m.VminMotor, 0.066f);
  EXPECT_EQ(m.MotorCN, 1);
}

// ---- the charging-voltage window after the model is loaded ----

class HiVoltSetTest : public LaserDataTest {
 protected:
  Morvand& window(int16_t code, int16_t gas, int32_t rate = 20) {
    load(code, gas);
    m_->RepRate = rate;
    m_->HiVoltSet();
    return *m_;
  }
};

TEST_F(HiVoltSetTest, Lm31WithArFWidensTheWindowOnlyBelow21Hz) {
  Morvand& m = window(27, 2, 20);
  EXPECT_FLOAT_EQ(m.HiVoltMax, 16.5f);
  EXPECT_FLOAT_EQ(m.HiVoltMin, 10.0f);
  window(27, 2, 21);
  EXPECT_FLOAT_EQ(m.HiVoltMax, 16.0f);
  EXPECT_FLOAT_EQ(m.HiVoltMin, 11.0f);  // as the model table left it
}

TEST_F(HiVoltSetTest, Lm32WithXeClNarrowsTheWindowAbove101Hz) {
  Morvand& m = window(28, 4, 101);
  EXPECT_FLOAT_EQ(m.HiVoltMax, 15.0f);
  EXPECT_FLOAT_EQ(m.HiVoltMin, 9.0f);
  window(28, 4, 102);
  EXPECT_FLOAT_EQ(m.HiVoltMax, 14.0f);
  EXPECT_FLOAT_EQ(m.HiVoltMin, 10.0f);
}

TEST_F(HiVoltSetTest, ModelRulesOverrideTheGasWindowAndSetTheStartingVoltage) {
  Morvand& m = window(31, 1);
  EXPECT_FLOAT_EQ(m.HiVoltMax, 15.0f);
  EXPECT_FLOAT_EQ(m.HiVoltMin, 12.0f);
  EXPECT_FLOAT_EQ(m.VoltSet, 12.0f);
  window(31, 3);
  EXPECT_FLOAT_EQ(m.HiVoltMin, 10.0f);
  window(33, 1);
  EXPECT_FLOAT_EQ(m.HiVoltMax, 15.0f);
  EXPECT_FLOAT_EQ(m.HiVoltMin, 11.0f);
  EXPECT_FLOAT_EQ(m.VoltSet, 12.0f);
  window(32, 7);
  EXPECT_FLOAT_EQ(m.HiVoltMax, 12.0f);
  EXPECT_FLOAT_EQ(m.HiVoltMin, 8.0f);
  EXPECT_FLOAT_EQ(m.VoltSet, 12.0f);
  window(3, 1);  // no rule of its own: the fluorine window
  EXPECT_FLOAT_EQ(m.HiVoltMax, 16.5f);
  EXPECT_FLOAT_EQ(m.HiVoltMin, 12.5f);
  EXPECT_FLOAT_EQ(m.VoltSet, 12.5f);
  window(9, 2);  // LM-27 with ArF: 14 in the model table, 16.5 here
  EXPECT_FLOAT_EQ(m.HiVoltMax, 16.5f);
  EXPECT_FLOAT_EQ(m.HiVoltMin, 10.0f);
  window(9, 5);
  EXPECT_FLOAT_EQ(m.HiVoltMax, 16.5f);
  window(19, 2);  // LM-36 with ArF: the model's top of 16.5
  EXPECT_FLOAT_EQ(m.HiVoltMax, 16.5f);
  EXPECT_FLOAT_EQ(m.VoltSet, 12.0f);
  window(44, 1);  // LM-51: fluorine window replaces the model's 25-20
  EXPECT_FLOAT_EQ(m.HiVoltMax, 16.5f);
  EXPECT_FLOAT_EQ(m.HiVoltMin, 12.5f);
  window(15, 4);  // code 15 with XeCl
  EXPECT_FLOAT_EQ(m.HiVoltMax, 14.0f);
  EXPECT_FLOAT_EQ(m.HiVoltMin, 8.0f);
  EXPECT_FLOAT_EQ(m.VoltSet, 12.0f);
}

}  // namespace
}  // namespace morvand::test
