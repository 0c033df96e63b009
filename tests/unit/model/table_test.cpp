// Every model with every gas code 0..7 against the documented tables, after a different
// previous selection so that the "unchanged" cells are visible.

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "morvand/models.hpp"
#include "support/fixture.hpp"
#include "unit/model/model_tables.hpp"

namespace morvand::test {
namespace {

const std::string kDash = "\xE2\x80\x93";  // the range and "unchanged" dash of the tables

std::string trim(const std::string& s) {
  const auto b = s.find_first_not_of(' ');
  if (b == std::string::npos) return "";
  return s.substr(b, s.find_last_not_of(' ') - b + 1);
}

std::vector<std::vector<std::string>> rows(const char* text) {
  std::vector<std::vector<std::string>> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (line.empty()) continue;
    std::vector<std::string> cells;
    std::istringstream cs(line.substr(1, line.rfind('|') - 1));
    for (std::string c; std::getline(cs, c, '|');) cells.push_back(trim(c));
    out.push_back(cells);
  }
  return out;
}

// "3000" -> 3000; "16.5" -> 16.5
float num(const std::string& s) { return std::stof(s); }

std::pair<float, float> range(const std::string& s) {
  const auto at = s.find(kDash);
  return {num(s.substr(0, at)), num(s.substr(at + kDash.size()))};
}

// Drops a "ArF (always): " or "N2: " prefix.
std::string afterPrefix(const std::string& s) {
  const auto at = s.find(": ");
  return at == std::string::npos ? s : s.substr(at + 2);
}

struct EnergyExpect {
  float maxEnergy;
  std::optional<float> scale;
  float hiMax, hiMin;
};

std::optional<EnergyExpect> energyCell(const std::string& cell) {
  if (cell.empty() || cell[0] == '(') return std::nullopt;
  std::istringstream in(afterPrefix(cell));
  std::string m, s, hv;
  std::getline(in, m, '/');
  std::getline(in, s, '/');
  std::getline(in, hv);
  const auto [hi, lo] = range(trim(hv));
  std::optional<float> scale;
  if (trim(s) != kDash) scale = num(trim(s));
  return EnergyExpect{num(trim(m)), scale, hi, lo};
}

struct FillExpect {
  std::optional<std::pair<float, float>> pressures;
  std::optional<std::string> text;
};

const std::map<char, std::string> kLetters = {
    {'a', "157nm Gas Exchange"},  {'b', "157nm Gas Exchange High Energy"},
    {'c', "157nm Gas Exchange."}, {'d', "Gas Exchange High Energy"},
    {'e', "193nm Gas Fill"},      {'f', "193nm Gas Exchange High Energy"},
    {'g', "248nm Gas Exchange"},  {'h', "308nm Gas Exchange"},
    {'i', "351nm Gas Exchange"},  {'j', "N2 337nm"}};

FillExpect fillCell(const std::string& cell) {
  const std::string s = afterPrefix(cell);
  FillExpect e;
  const auto blank = s.find(' ');
  const std::string pair = s.substr(0, blank);
  if (pair != "unchanged") e.pressures = range(pair);
  if (blank != std::string::npos) e.text = kLetters.at(s[blank + 1]);
  return e;
}

const std::map<std::string, int16_t> kGasByName = {{"F2", 1},  {"ArF", 2}, {"KrF", 3}, {"XeCl", 4},
                                                   {"XeF", 5}, {"CO2", 6}, {"N2", 7}};

// The gas a model runs on when the selection holds gas, and the table column that applies.
std::pair<int16_t, int> gasAndColumn(const std::vector<std::string>& energyRow, int16_t gas) {
  const std::string& other = energyRow[7];
  if (other.find("(always)") != std::string::npos) {
    return {kGasByName.at(other.substr(0, other.find(' '))), 5};
  }
  if (other.find("KrF is used") != std::string::npos) {
    const int16_t g = gas < 1 ? 2 : (gas > 3 ? 3 : gas);
    return {g, g - 1};
  }
  return {gas, gas >= 1 && gas <= 5 ? gas - 1 : 5};
}

class ModelTableTest : public ControllerTest {
 protected:
  // A previous selection whose values no table cell of the later selections repeats: the
  // fill pressures and description of LM-23 with ArF and the energy scale of LM-45.
  void previousSelection(Morvand& m) {
    m.LaserTypeFlag = 14;
    m.GasFlag = 2;
    m.SetFillPress();
    m.LaserTypeFlag = 54;
    m.GasFlag = 1;
    m.LaserData();
  }
  static constexpr float kPrevScale = 1.6f;
  static constexpr float kPrevLow = 2375.0f, kPrevHigh = 2600.0f;
  const std::string kPrevText1 = "Gas Exchange High Energy";
  const std::string kPrevText2 = "ArF Operation";
};

TEST_F(ModelTableTest, EveryModelAndGasLoadsItsLimitsEnergyWindowAndTitles) {
  Morvand& m = make();
  const auto models = rows(kModelRows);
  const auto energy = rows(kEnergyRows);
  ASSERT_EQ(models.size(), 56u);
  ASSERT_EQ(energy.size(), 56u);
  for (size_t i = 0; i < models.size(); ++i) {
    const auto& row = models[i];
    ASSERT_EQ(energy[i][0], row[0]);
    const auto code = static_cast<int16_t>(std::stoi(row[1]));
    for (int16_t gas = 0; gas <= 7; ++gas) {
      SCOPED_TRACE(row[0] + " gas " + std::to_string(gas));
      previousSelection(m);
      m.LaserTypeFlag = code;
      m.GasFlag = gas;
      m.LaserData();
      const Limits l = m.limits();
      EXPECT_EQ(l.RepRateMax, std::stoi(row[4]));
      EXPECT_EQ(l.RepRateMedium, std::stoi(row[5]));
      EXPECT_EQ(l.RepRateSlow, std::stoi(row[6]));
      EXPECT_FLOAT_EQ(l.ThyWarmTime, num(row[7]));
      EXPECT_FLOAT_EQ(m.ThyTime, num(row[7]));
      EXPECT_EQ(l.PressScale, std::stoi(row[8]));
      EXPECT_FLOAT_EQ(l.PressMax, num(row[9]));
      EXPECT_FLOAT_EQ(m.ThyLow, num(row[10]));
      EXPECT_FLOAT_EQ(l.TempMax, 55.0f);

      const auto [expectGas, column] = gasAndColumn(energy[i], gas);
      EXPECT_EQ(m.GasFlag, expectGas);
      const auto cell = energyCell(energy[i][2 + column]);
      ASSERT_TRUE(cell.has_value());
      EXPECT_FLOAT_EQ(m.MaxEnergyVal, cell->maxEnergy);
      EXPECT_FLOAT_EQ(m.SetEnergy, cell->maxEnergy / 2);
      EXPECT_FLOAT_EQ(l.EnergyScale, cell->scale.value_or(kPrevScale));
      EXPECT_FLOAT_EQ(m.HiVoltMax, cell->hiMax);
      EXPECT_FLOAT_EQ(m.HiVoltMin, cell->hiMin);
      EXPECT_GE(m.VoltSet, m.HiVoltMin);

      EXPECT_EQ(m.PanelText1, row[0] + " KORVEN LASER 4");
      const GasInfo* gasInfo = findGas(expectGas);
      EXPECT_EQ(m.PanelText2, row[0] + " " + row[2] + " LASER CONTROL SOFTWARE" +
                                  (gasInfo ? std::string(" ") + gasInfo->name : "") + " Enhanced");
      // No card is open, so the lowest rate is 0 and the run starts at 20 Hz when the model
      // goes beyond it.
      EXPECT_EQ(m.RepRate, l.RepRateMax > 20 ? 20 : 0);
    }
  }
}

TEST_F(ModelTableTest, EveryModelAndGasLoadsItsFillTargetsOrKeepsThePreviousOnes) {
  Morvand& m = make();
  const auto energy = rows(kEnergyRows);
  const auto fill = rows(kFillRows);
  ASSERT_EQ(fill.size(), 58u);
  for (size_t i = 0; i < fill.size(); ++i) {
    const auto& row = fill[i];
    const auto code = static_cast<int16_t>(std::stoi(row[1]));
    const bool hasModel = i < energy.size();
    for (int16_t gas = 0; gas <= 7; ++gas) {
      SCOPED_TRACE(row[0] + " code " + row[1] + " gas " + std::to_string(gas));
      previousSelection(m);
      m.LaserTypeFlag = code;
      m.GasFlag = gas;
      m.LaserData();
      m.HiVoltSet();
      m.SetFillPress();
      const auto [expectGas, column] =
          hasModel ? gasAndColumn(energy[i], gas)
                   : std::pair<int16_t, int>{gas, gas >= 1 && gas <= 5 ? gas - 1 : 5};
      const FillExpect e = fillCell(row[2 + column]);
      const Limits l = m.limits();
      EXPECT_FLOAT_EQ(l.FillPressLow, e.pressures ? e.pressures->first : kPrevLow);
      EXPECT_FLOAT_EQ(l.FillPressHigh, e.pressures ? e.pressures->second : kPrevHigh);
      EXPECT_EQ(m.GasText1, e.text.value_or(kPrevText1));
      EXPECT_EQ(m.GasText2, expectGas == 1   ? "F2 Operation"
                            : expectGas == 2 ? "ArF Operation"
                                             : kPrevText2);
      const auto [partial, full] = [&] {
        std::istringstream t(row[8]);
        std::string a, b;
        std::getline(t, a, '/');
        std::getline(t, b);
        return std::pair<float, float>{num(trim(a)), num(trim(b))};
      }();
      EXPECT_FLOAT_EQ(l.PartialPumpoutTime, partial);
      EXPECT_FLOAT_EQ(l.PumpoutTime, full);
    }
  }
}

TEST_F(ModelTableTest, ListedModelsFollowTheListOrderAndEveryCodeHasOneModel) {
  const auto models = rows(kModelRows);
  ASSERT_EQ(allModels().size(), models.size());
  ASSERT_EQ(listedModels().size(), 54u);
  for (size_t i = 0; i < models.size(); ++i) {
    EXPECT_EQ(allModels()[i].designation, models[i][0]);
    EXPECT_EQ(allModels()[i].code, std::stoi(models[i][1]));
    EXPECT_EQ(findModel(allModels()[i].code), &allModels()[i]);
  }
  for (int16_t code : {0, 15, 16, 20, 21, 30, 62, -1}) EXPECT_EQ(findModel(code), nullptr);
}

}  // namespace
}  // namespace morvand::test
