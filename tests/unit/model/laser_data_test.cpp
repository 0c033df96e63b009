// Loading a model: titles, limits, forced gases and the starting values.

#include <gtest/gtest.h>

#include "morvand/models.hpp"
#include "support/fixture.hpp"

namespace morvand::test {
namespace {

class LaserDataTest : public ControllerTest {
 protected:
  /// Selects model and gas the way the host's selection does, then reloads.
  void select(int16_t code, int16_t gas) {
    m_->LaserTypeFlag = code;
    m_->GasFlag = gas;
    m_->LaserData();
  }
};

TEST_F(LaserDataTest, Lm13WithFluorineLoadsTitlesAndLimits) {
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
  EXPECT_FLOAT_EQ(m.limits().EnergyScale, 0.0f);
}

}  // namespace
}  // namespace morvand::test
