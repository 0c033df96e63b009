// The high-voltage test: confirmation, voltage prompt and what it switches.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/call_trace.hpp"
#include "support/fixture.hpp"

namespace morvand::test {
namespace {

using Strings = std::vector<std::string>;

class HVTestTest : public ControllerTest {
 protected:
  /// LM-10: charging-voltage divisor 4.
  Morvand& start() {
    make();
    selectCard("PCI-1711");
    return *m_;
  }
  Strings boxTexts() const {
    Strings out;
    for (const auto& b : host.boxes) out.push_back(b.text);
    return out;
  }
};

TEST_F(HVTestTest, WithoutACardTheTestReturnsZeroWithoutAsking) {
  Morvand& m = make();
  EXPECT_EQ(m.HVTest(), 0.0f);
  EXPECT_TRUE(host.boxes.empty());
  EXPECT_TRUE(host.prompts.empty());
}

TEST_F(HVTestTest, DecliningTheHazardWarningSwitchesNothing) {
  Morvand& m = start();
  for (int16_t answer : {7, 2}) {
    SCOPED_TRACE(answer);
    host.boxes.clear();
    host.answers = {answer};
    EXPECT_EQ(m.HVTest(), 0.0f);
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(host.boxes[0].text,
              "THIS TEST IS HARZARDOUS, A DC HV IS APPLIED TO THE LASER HEAD, DO YOU WISH TO "
              "PROCEED?");
    EXPECT_EQ(host.boxes[0].style, 3);
    EXPECT_EQ(host.boxes[0].title, "HAZARD:HIGH VOLTAGE WARNING");
  }
  EXPECT_TRUE(host.prompts.empty());
  EXPECT_TRUE(card->calls().empty());
}

TEST_F(HVTestTest, AnEmptyVoltageAnswerEndsTheTestBeforeAnythingIsSwitched) {
  Morvand& m = start();
  host.answers = {6};
  host.inputs = {""};
  EXPECT_EQ(m.HVTest(), 0.0f);
  ASSERT_EQ(host.prompts.size(), 1u);
  EXPECT_EQ(host.prompts[0].prompt, "ENTER HIGH VOLTAGE VALUE BETWEEN 0 AND 8kV");
  EXPECT_EQ(host.prompts[0].title, "INPUT HIGH VOLTAGE");
  EXPECT_EQ(host.prompts[0].defaultText, "5");
  EXPECT_TRUE(card->calls().empty());
}

TEST_F(HVTestTest, OutOfRangeAndNonNumericVoltagesAreRefusedInModalBoxesAndAskedAgain) {
  Morvand& m = start();
  ASSERT_FALSE(m.PopupMessage);  // the test talks in boxes all the same
  host.answers = {6};
  host.inputs = {"8.01", "-0.5", "high", "8"};
  m.HVTest();
  EXPECT_EQ(boxTexts(),
            (Strings{host.boxes[0].text, "VOLTAGE IS OUT OVERRANGE PLEASE RESET",
                     "VOLTAGE IS UNDERRANGE PLEASE RESET", "YOU MUST ENTER A VOLTAGE VALUE"}));
  ASSERT_EQ(host.boxes.size(), 4u);
  EXPECT_EQ(host.boxes[1].style, 48);
  EXPECT_EQ(host.boxes[1].title, "OVERRANGE ERROR");
  EXPECT_EQ(host.boxes[2].style, 48);
  EXPECT_EQ(host.boxes[2].title, "UNDERRANGE ERROR");
  EXPECT_EQ(host.boxes[3].style, 64);
  EXPECT_EQ(host.boxes[3].title, "ERROR");
  EXPECT_EQ(host.prompts.size(), 4u);
  EXPECT_TRUE(host.messages.empty());
  // 8 kV is accepted: 8 / 4 = 2 V on the programming output.
  EXPECT_EQ(card->texts(Op::AOVoltageOut), (Strings{"AOVoltageOut(0, 2)"}));
}

TEST_F(HVTestTest, ZeroVoltsIsAValidTestVoltage) {
  Morvand& m = start();
  host.answers = {6};
  host.inputs = {"0"};
  m.HVTest();
  EXPECT_EQ(card->texts(Op::AOVoltageOut), (Strings{"AOVoltageOut(0, 0)"}));
}

TEST_F(HVTestTest, AnAcceptedVoltageIsAppliedWithBothLinesAndReadBackAfterItSettled) {
  Morvand& m = start();
  host.answers = {6};
  host.inputs = {"5"};
  card->queueAnalog(2, {0.1f, 0.3f, 0.3f});  // 2 kV before the wait, 6 kV after it
  CallTrace trace(*card, clock);
  EXPECT_FLOAT_EQ(m.HVTest(), 6.0f);
  trace.finish();
  EXPECT_EQ(
      trace.entries({"DioWritePortByte", "AOVoltageOut", "AIVoltageIn"}),
      (Strings{"DioWritePortByte(0, 130, 130)", "AOVoltageOut(0, 1.25)", "AIVoltageIn(2, 0, 0)",
               "wait 1.00", "AIVoltageIn(2, 0, 0)", "AIVoltageIn(2, 0, 0)"}));
  EXPECT_FLOAT_EQ(m.HVoltage, 6.0f);
}

}  // namespace
}  // namespace morvand::test
