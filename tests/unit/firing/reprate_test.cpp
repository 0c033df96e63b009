// The repetition-rate prompt: its answers, messages and the high-rate fill pull-back.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/fixture.hpp"
#include "support/probe.hpp"

namespace morvand::test {
namespace {

using Strings = std::vector<std::string>;

class ReprateSetTest : public ControllerTest {
 protected:
  Morvand& start(const std::string& cardName, int16_t model = 5, int16_t gas = 1) {
    dir.write(model, gas);
    make();
    selectCard(cardName);
    return *m_;
  }
  std::vector<std::string> promptDefaults() const {
    std::vector<std::string> out;
    for (const auto& p : host.prompts) out.push_back(p.defaultText);
    return out;
  }
};

TEST_F(ReprateSetTest, ThePromptNamesTheCardAndModelLimitsAndOffers20WhenNoRateIsSet) {
  Morvand& m = start("PCI-1711");
  m.RepRate = 0;
  host.inputs = {"100"};
  EXPECT_TRUE(m.ReprateSet());
  EXPECT_EQ(m.RepRate, 100);
  ASSERT_EQ(host.prompts.size(), 1u);
  EXPECT_EQ(host.prompts[0].prompt, "ENTER REPETITION RATE: CHOOSE A VALUE BETWEEN 16 and 310");
  EXPECT_EQ(host.prompts[0].title, "SET REP RATE");
  EXPECT_EQ(host.prompts[0].defaultText, "20");
  EXPECT_EQ(host.beeps, 0);
}

TEST_F(ReprateSetTest, AnOverrangeRateIsRefusedWithABeepAndAskedAgain) {
  Morvand& m = start("PCI-1711");
  m.PopupMessage = true;
  m.RepRate = 50;
  host.inputs = {"311", "310"};
  EXPECT_TRUE(m.ReprateSet());
  EXPECT_EQ(m.RepRate, 310);
  ASSERT_EQ(host.boxes.size(), 1u);
  EXPECT_EQ(host.boxes[0].text, "REPETITION RATE IS OVERRANGE PLEASE RESET");
  EXPECT_EQ(host.boxes[0].style, 48);
  EXPECT_EQ(host.boxes[0].title, "OVERRANGE ERROR");
  EXPECT_EQ(host.beeps, 1);
  EXPECT_EQ(promptDefaults(), (Strings{"50", "311"}));
}

TEST_F(ReprateSetTest, On1711TheLowestRateIs16) {
  Morvand& m = start("PCI-1711");
  m.PopupMessage = true;
  host.inputs = {"10", "16"};
  EXPECT_TRUE(m.ReprateSet());
  EXPECT_EQ(m.RepRate, 16);
  ASSERT_EQ(host.boxes.size(), 1u);
  EXPECT_EQ(host.boxes[0].text, "REPETITION RATE IS UNDERRANGE FOR PCI-1711 CARD PLEASE RESET");
  EXPECT_EQ(host.boxes[0].style, 48);
  EXPECT_EQ(host.boxes[0].title, "UNDERRANGE ERROR");
}

TEST_F(ReprateSetTest, On1712TheLowestRateIs1) {
  Morvand& m = start("PCI-1712");
  host.inputs = {"0", "1"};
  EXPECT_TRUE(m.ReprateSet());
  EXPECT_EQ(m.RepRate, 1);
  EXPECT_EQ(host.prompts[0].prompt, "ENTER REPETITION RATE: CHOOSE A VALUE BETWEEN 1 and 310");
  // Without pop-ups the message goes out as an event, the beep still sounds.
  EXPECT_EQ(host.messages,
            (Strings{"REPETITION RATE IS UNDERRANGE FOR CONTROL CARD PLEASE RESET"}));
  EXPECT_EQ(host.beeps, 1);
}

TEST_F(ReprateSetTest, ATextThatIsNoNumberIsRefusedWithAnInformationBox) {
  Morvand& m = start("PCI-1711");
  m.PopupMessage = true;
  host.inputs = {"fast", " 120 "};
  EXPECT_TRUE(m.ReprateSet());
  EXPECT_EQ(m.RepRate, 120);
  ASSERT_EQ(host.boxes.size(), 1u);
  EXPECT_EQ(host.boxes[0].text, "YOU MUST ENTER A REP RATE VALUE");
  EXPECT_EQ(host.boxes[0].style, 64);
  EXPECT_EQ(host.boxes[0].title, "ERROR");
  EXPECT_EQ(host.beeps, 1);
}

TEST_F(ReprateSetTest, AFractionalRateIsRoundedHalfToEven) {
  Morvand& m = start("PCI-1711");
  host.inputs = {"100.5"};
  EXPECT_TRUE(m.ReprateSet());
  EXPECT_EQ(m.RepRate, 100);
}

TEST_F(ReprateSetTest, CancellingReturnsFalseAndKeepsTheRateItStartedWith) {
  Morvand& m = start("PCI-1711");
  m.RepRate = 50;
  host.inputs = {""};
  EXPECT_FALSE(m.ReprateSet());
  EXPECT_EQ(m.RepRate, 50);
  EXPECT_EQ(host.prompts.size(), 1u);
  // A refused entry before the cancel does not stay behind as the set-point.
  host.inputs = {"5000", ""};
  EXPECT_FALSE(m.ReprateSet());
  EXPECT_EQ(m.RepRate, 50);
}

TEST_F(ReprateSetTest, ARateBeyondSixteenBitsIsAnOverflowError) {
  Morvand& m = start("PCI-1711");
  host.inputs = {"40000"};
  EXPECT_THROW(m.ReprateSet(), OverflowError);
}

TEST_F(ReprateSetTest, AHighRateFillPullBackEndsTheEntryButNotTheNextOne) {
  Morvand& m = start("PCI-1711", 9, 1);  // LM-27 with F2: high-rate regime above 850 Hz
  gasState(m).PressTorr = 2400.0f;       // above the 2350 Torr limit of that regime
  host.inputs = {"900"};
  EXPECT_FALSE(m.ReprateSet());
  EXPECT_EQ(m.RepRate, 800);  // what the pull-back left, without a range test
  EXPECT_EQ(m.limits().HighRepFill, 1);
  ASSERT_EQ(host.boxes.size(), 1u);
  EXPECT_EQ(host.boxes[0].title, "High Rep Fill");
  // The next entry is judged on its own.
  host.inputs = {"100"};
  EXPECT_TRUE(m.ReprateSet());
  EXPECT_EQ(m.RepRate, 100);
  EXPECT_EQ(m.limits().HighRepFill, 0);
}

}  // namespace
}  // namespace morvand::test
