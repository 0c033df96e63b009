#include <gtest/gtest.h>

#include <vector>

#include "support/fixture.hpp"

namespace morvand::test {
namespace {

const std::string kPrompt = "SET MAXIMUM NUMBER OF PULSES (1-10,000,000 or 'c' for Continuous)";
const std::string kInvalid = "YOU MUST ENTER A VALID NUMBER 1-10,000,000 OR 'c' FOR CONTINUOUS";

class StopPauseTest : public ControllerTest {};

TEST_F(StopPauseTest, PauseStopsTheGeneratorWithInternalTriggerAndTheEnableLineOtherwise) {
  Morvand& m = make();
  selectCard("PCI-1711");
  struct Case {
    int16_t trigMode;
    bool disabled;
    std::vector<std::string> calls;
  };
  const Case cases[] = {
      {0, false, {"CounterReset(0)"}},
      {0, true, {"DioWritePortByte(0, 128, 0)"}},
      {1, false, {"DioWritePortByte(0, 128, 0)"}},
      {1, true, {"DioWritePortByte(0, 128, 0)"}},
  };
  for (const Case& c : cases) {
    card->clearCalls();
    m.TrigMode = c.trigMode;
    m.flag2 = 0;
    m.LaserPause(c.disabled);
    EXPECT_EQ(m.flag2, 2);
    EXPECT_EQ(card->texts(), c.calls) << c.trigMode << " " << c.disabled;
  }
}

TEST_F(StopPauseTest, RestartUsesTheCurrentRateOrTheEnableLine) {
  Morvand& m = make();
  selectCard("PCI-1711");
  m.TrigMode = 0;
  m.RepRate = 50;  // chosen during the pause
  m.flag2 = 2;
  m.LaserRestart(false);
  EXPECT_EQ(m.flag2, 0);
  EXPECT_EQ(card->texts(), std::vector<std::string>{"CounterPulseStart(0, 0.02, 0, 0)"});

  for (int16_t trig : {0, 1}) {
    card->clearCalls();
    m.TrigMode = trig;
    m.flag2 = 2;
    m.LaserRestart(trig == 0);
    EXPECT_EQ(m.flag2, 0);
    EXPECT_EQ(card->texts(), std::vector<std::string>{"DioWritePortByte(0, 128, 128)"});
  }
}

TEST_F(StopPauseTest, FlagIsSetEvenWhenTheLineCouldNotBeSwitched) {
  Morvand& m = make();
  selectCard("PCI-1711");
  m.TrigMode = 1;
  card->failCall(Op::DioWritePortByte, 5);
  m.LaserPause(false);
  EXPECT_EQ(m.flag2, 2);
  card->failCall(Op::DioWritePortByte, 5);
  m.LaserRestart(false);
  EXPECT_EQ(m.flag2, 0);
  EXPECT_EQ(host.messages.size(), 2u);  // both failures reported
}

TEST_F(StopPauseTest, StopAndContinuousOnlySetTheirProperty) {
  Morvand& m = make();
  selectCard("PCI-1711");
  m.LaserStop();
  EXPECT_EQ(m.flag2, 1);
  m.MaxContinue();
  EXPECT_EQ(m.MaxNum, 50000000);
  EXPECT_TRUE(card->calls().empty());
}

// ---- pulse budget prompt ----

class BudgetPromptTest : public ControllerTest {};

TEST_F(BudgetPromptTest, DefaultAnswerFollowsTheCurrentBudget) {
  Morvand& m = make();
  const std::pair<int32_t, std::string> cases[] = {
      {50000000, "CONTINUOUS"}, {250, "250"}, {1, "1"}, {0, "100"}, {-5, "100"}};
  for (const auto& [budget, offered] : cases) {
    m.MaxNum = budget;
    host.inputs = {"7"};
    EXPECT_EQ(m.MaxNumSet(), "7");
    EXPECT_EQ(host.prompts.back().defaultText, offered) << budget;
  }
  EXPECT_EQ(host.prompts.back().prompt, kPrompt);
  EXPECT_EQ(host.prompts.back().title, "MAX PULSES");
}

TEST_F(BudgetPromptTest, NumbersUpToTenMillionAreTakenWithoutALowerBound) {
  Morvand& m = make();
  for (const auto& [typed, budget] : std::vector<std::pair<std::string, int32_t>>{
           {"10000000", 10000000}, {"0", 0}, {"-3", -3}, {"2.5", 2}, {"3.5", 4}}) {
    host.inputs = {typed};
    EXPECT_EQ(m.MaxNumSet(), std::to_string(budget)) << typed;
    EXPECT_EQ(m.MaxNum, budget);
  }
  EXPECT_TRUE(host.boxes.empty());
}

TEST_F(BudgetPromptTest, TooManyPulsesOffersContinuousOperation) {
  Morvand& m = make();
  m.PopupSet(false);  // the boxes are modal in every mode
  m.MaxNum = 300;
  // No: asked again with the same default; the large value stays until the next answer.
  host.inputs = {"10000001", "20000000"};
  host.answers = {7, 6};
  std::vector<int32_t> budgetAtBox;
  host.onBox = [&](const Box&) { budgetAtBox.push_back(m.MaxNum); };
  EXPECT_EQ(m.MaxNumSet(), "CONTINUOUS");
  EXPECT_EQ(m.MaxNum, 50000000);
  ASSERT_EQ(host.boxes.size(), 2u);
  EXPECT_EQ(host.boxes[0].text, "TOO MANY PULSES, USE CONTINUOUS OPERATION");
  EXPECT_EQ(host.boxes[0].style, 4);
  EXPECT_EQ(host.boxes[0].title, "OVERFLOW");
  ASSERT_EQ(host.prompts.size(), 2u);
  EXPECT_EQ(host.prompts[1].defaultText, "300");
  EXPECT_EQ(budgetAtBox, (std::vector<int32_t>{10000001, 20000000}));
  EXPECT_TRUE(host.messages.empty());
}

TEST_F(BudgetPromptTest, OnlyTheExactContinuousWordsAreAccepted) {
  Morvand& m = make();
  for (const std::string word : {"c", "C", "CONTINUOUS"}) {
    m.MaxNum = 10;
    host.inputs = {word};
    EXPECT_EQ(m.MaxNumSet(), "CONTINUOUS");
    EXPECT_EQ(m.MaxNum, 50000000);
  }
  EXPECT_TRUE(host.boxes.empty());

  // Other letter cases, other words and a cancelled prompt bring the prompt back.
  m.MaxNum = 10;
  host.inputs = {"continuous", "Continuous", "", "ten", "12"};
  EXPECT_EQ(m.MaxNumSet(), "12");
  EXPECT_EQ(host.boxes.size(), 4u);
  EXPECT_EQ(host.beeps, 4);
  for (const Box& b : host.boxes) {
    EXPECT_EQ(b.text, kInvalid);
    EXPECT_EQ(b.style, 64);
    EXPECT_EQ(b.title, "ERROR");
  }
}

TEST_F(BudgetPromptTest, ABudgetBeyondThe32BitRangeFailsWithAnOverflowError) {
  Morvand& m = make();
  host.inputs = {"3000000000"};
  EXPECT_THROW(m.MaxNumSet(), OverflowError);
}

}  // namespace
}  // namespace morvand::test
