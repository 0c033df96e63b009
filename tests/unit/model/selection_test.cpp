// The host's model and gas lists, and taking the operator's choice from them.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/fixture.hpp"

namespace morvand::test {
namespace {

/// A list box that logs the writes the controller makes, in order.
class LoggingList : public ListBox {
 public:
  std::vector<std::string> log;
  void SetList(int16_t index, const std::string& text) override {
    log.push_back("List(" + std::to_string(index) + ")=" + text);
    ListBox::SetList(index, text);
  }
  void SetListIndex(int16_t index) override {
    log.push_back("ListIndex=" + std::to_string(index));
    ListBox::SetListIndex(index);
  }
  void SetEnabled(bool enabled) override {
    log.push_back(enabled ? "Enabled" : "Disabled");
    ListBox::SetEnabled(enabled);
  }
};

class SelectionTest : public ControllerTest {
 protected:
  std::vector<std::string> gasTexts(const ListControl& list) {
    std::vector<std::string> texts;
    for (int16_t i = 0; i < list.ListCount(); ++i) texts.push_back(list.List(i));
    return texts;
  }
  const std::vector<std::string> kFive = {"FLUORINE 157nm", "ArF 193nm", "KrF 248nm", "XeCl 308nm",
                                          "XeF 351nm"};
};

TEST_F(SelectionTest, ModelListHoldsTheListedModelsWithTheirCodesAndSelectsTheStoredOne) {
  dir.write(9, 1);  // LM-27
  Morvand& m = make();
  ListBox list;
  list.AddItem("left over");
  m.GetLaserList(list);
  ASSERT_EQ(list.ListCount(), 54);
  EXPECT_EQ(m.List2Max, 53);
  EXPECT_EQ(list.List(0), "LM-01");
  EXPECT_EQ(list.ItemData(0), 31);
  EXPECT_EQ(list.List(26), "LM-27");
  EXPECT_EQ(list.ItemData(26), 9);
  EXPECT_EQ(list.List(53), "LM-54");
  EXPECT_EQ(list.ItemData(53), 56);
  EXPECT_EQ(list.ListIndex(), 26);
  for (int16_t i = 0; i < 54; ++i) {
    EXPECT_EQ(list.List(i), "LM-" + std::string(i < 9 ? "0" : "") + std::to_string(i + 1));
  }
}

TEST_F(SelectionTest, ModelsOutsideTheListSelectTheFirstEntry) {
  for (int16_t code : {24, 32}) {
    dir.write(code, 1);
    Morvand& m = make();
    ListBox list;
    m.GetLaserList(list);
    EXPECT_EQ(list.ListIndex(), 0) << code;
  }
}

TEST_F(SelectionTest, AModelSearchOverTheWholeSixteenBitRangeEnds) {
  // A host control whose last entry lands on position 32767 and that answers every position.
  class EndlessList : public ListBox {
   public:
    mutable int reads = 0;
    int16_t NewIndex() const override { return 32767; }
    void SetItemData(int16_t, int32_t) override {}
    int32_t ItemData(int16_t) const override {
      if (++reads > 40000) throw ListError("read past every position");
      return 0;
    }
    void SetListIndex(int16_t index) override { selected = index; }
    int16_t selected = -2;
  } list;
  Morvand& m = make();
  m.LaserTypeFlag = 5;
  m.GetLaserList(list);
  EXPECT_EQ(m.List2Max, 32767);
  EXPECT_EQ(list.reads, 32768);
  EXPECT_EQ(list.selected, 0);
}

TEST_F(SelectionTest, GasListOffersTheModelsGasesAndCorrectsTheGasBeforeSelecting) {
  struct Case {
    int16_t code, gasBefore, gasAfter, index;
    bool enabled;
    std::vector<std::string> texts;
  };
  const std::vector<Case> cases = {
      {32, 1, 7, -1, false, {"", "", "N2 337nm", "", ""}},
      {44, 5, 2, 1, true, {"FLUORINE 157nm", "ArF 193nm", "KrF 248nm", "", ""}},
      {45, 0, 2, 1, true, {"FLUORINE 157nm", "ArF 193nm", "KrF 248nm", "", ""}},
      {45, 3, 3, 2, true, {"FLUORINE 157nm", "ArF 193nm", "KrF 248nm", "", ""}},
      {50, 1, 6, -1, false, {"", "", "CO2 10600nm", "", ""}},
      {57, 4, 6, -1, false, {"", "", "CO2 10600nm", "", ""}},
      {60, 1, 2, 1, false, {"", "ArF 193nm", "", "", ""}},
      {3, 0, 0, -1, true, kFive},
      {3, 7, 2, 1, true, kFive},
      {3, 5, 5, 4, true, kFive},
      {15, 4, 4, 3, true, kFive},
  };
  Morvand& m = make();
  for (const Case& c : cases) {
    SCOPED_TRACE("code " + std::to_string(c.code) + " gas " + std::to_string(c.gasBefore));
    m.LaserTypeFlag = c.code;
    m.GasFlag = c.gasBefore;
    LoggingList list;
    m.GetGasList(list);
    EXPECT_EQ(m.GasFlag, c.gasAfter);
    EXPECT_EQ(gasTexts(list), c.texts);
    ASSERT_EQ(list.log.size(), 7u);
    for (int i = 0; i < 5; ++i) {
      EXPECT_EQ(list.log[i], "List(" + std::to_string(i) + ")=" + c.texts[i]);
    }
    EXPECT_EQ(list.log[5], "ListIndex=" + std::to_string(c.index));
    EXPECT_EQ(list.log[6], c.enabled ? "Enabled" : "Disabled");
  }
}

TEST_F(SelectionTest, ChoosingAModelStoresItAndReloadsEverything) {
  Morvand& m = make();
  ListBox models, gasList;
  m.GetLaserList(models);
  models.SetListIndex(26);  // LM-27
  m.GetGasList(gasList);
  gasList.SetListIndex(0);  // fluorine
  m.RepRate = 900;
  m.SetLaserAndGasType(gasList, models);
  EXPECT_EQ(m.LaserTypeFlag, 9);
  EXPECT_EQ(m.GasFlag, 1);
  EXPECT_EQ(dir.read("Typedata").substr(0, 3), "9,1");
  EXPECT_EQ(m.PanelText1, "LM-27 KORVEN LASER 4");
  EXPECT_FLOAT_EQ(m.HiVoltMax, 16.5f);
  EXPECT_FLOAT_EQ(m.limits().FillPressLow, 2350.0f);
  EXPECT_EQ(m.GasText1, "157nm Gas Exchange High Energy");
  EXPECT_EQ(m.RepRate, 20);  // the model load restarted the rate
  EXPECT_EQ(gasList.ListIndex(), 0);
}

TEST_F(SelectionTest, ACarbonDioxideModelGetsItsGasFromTheGasList) {
  Morvand& m = make();
  ListBox models, gasList;
  m.GetLaserList(models);
  models.SetListIndex(6);  // LM-07
  m.LaserTypeFlag = 50;
  m.GetGasList(gasList);  // only CO2, nothing selected
  ASSERT_EQ(gasList.ListIndex(), -1);
  m.SetLaserAndGasType(gasList, models);
  EXPECT_EQ(m.GasFlag, 6);
  EXPECT_EQ(dir.read("Typedata").substr(0, 4), "50,6");
  EXPECT_EQ(m.PanelText2, "LM-07 CO2 LASER CONTROL SOFTWARE CO2 Enhanced");
}

TEST_F(SelectionTest, NoModelSelectedFailsBeforeAnythingChanges) {
  dir.write(5, 4);
  Morvand& m = make();
  const std::string stored = dir.read("Typedata");
  ListBox models, gasList;
  m.GetLaserList(models);
  models.SetListIndex(-1);
  m.GetGasList(gasList);
  gasList.SetListIndex(1);
  EXPECT_THROW(m.SetLaserAndGasType(gasList, models), ListError);
  EXPECT_EQ(m.LaserTypeFlag, 5);
  EXPECT_EQ(m.GasFlag, 4);
  EXPECT_EQ(dir.read("Typedata"), stored);
}

TEST_F(SelectionTest, ItemDataBeyondSixteenBitsIsAnOverflow) {
  Morvand& m = make();
  ListBox models, gasList;
  models.AddItem("odd");
  models.SetItemData(0, 40000);
  models.SetListIndex(0);
  EXPECT_THROW(m.SetLaserAndGasType(gasList, models), OverflowError);
  EXPECT_EQ(m.LaserTypeFlag, 5);
}

TEST_F(SelectionTest, ListErrorWhileRebuildingTheGasListLeavesTheNewCodesButNotTheFile) {
  // A negative gas code on an ordinary model asks the gas list for position below -1.
  dir.write(5, 1);
  Morvand& m = make();
  const std::string stored = dir.read("Typedata");
  ListBox models;
  m.GetLaserList(models);
  models.SetListIndex(7);  // LM-08

  class FailingGasList : public ListBox {
   public:
    int16_t ListIndex() const override { return -3; }
  } gasList;
  EXPECT_THROW(m.SetLaserAndGasType(gasList, models), ListError);
  EXPECT_EQ(m.LaserTypeFlag, 3);
  EXPECT_EQ(m.GasFlag, -2);
  EXPECT_EQ(dir.read("Typedata"), stored);
}

}  // namespace
}  // namespace morvand::test
