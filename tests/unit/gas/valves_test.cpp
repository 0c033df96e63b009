#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/fixture.hpp"

namespace morvand::test {
namespace {

using ::testing::ElementsAre;

class ValveTest : public ControllerTest {};

TEST_F(ValveTest, EachOperationWritesItsWholePatternAndNamesTheOpenLines) {
  selectCard();
  using Op = void (Morvand::*)();
  struct Case {
    Op op;
    int16_t pattern;
    const char* text;
  };
  for (const Case& c : {
           Case{&Morvand::CloseAllValves, 0, "All Valves Closed"},
           Case{&Morvand::OpenPump, 1, "Pump Opened"},
           Case{&Morvand::OpenPremix, 2, "Premix Opened"},
           Case{&Morvand::OpenHelium, 4, "Helium Opened"},
           Case{&Morvand::OpenMain, 8, "Main Opened"},
           Case{&Morvand::OpenVacPump, 16, "Vaccume Opened"},
           Case{&Morvand::OpenFill, 10, "Premix Main Opened"},
           Case{&Morvand::PremixFill, 10, "Premix Main Opened"},
           Case{&Morvand::HeliumFill, 12, "Helium Main Opened"},
           Case{&Morvand::HeliumLineFill, 6, "Premix Helium Opened"},
           Case{&Morvand::PremixLinePump, 19, "Pump Premix Vaccume Opened"},
           Case{&Morvand::Pumpout, 25, "Pump Main Vaccume Opened"},
           Case{&Morvand::OpenAll, 31, "Pump Premix Helium Main Vaccume Opened"},
       }) {
    card->clearCalls();
    host.events.clear();
    (m_.get()->*c.op)();
    EXPECT_THAT(card->texts(),
                ElementsAre("DioWritePortByte(1, 255, " + std::to_string(c.pattern) + ")"));
    EXPECT_EQ(card->portOut[1], c.pattern);  // lines outside the pattern are closed
    EXPECT_EQ(m_->ValveState, c.pattern);
    EXPECT_EQ(m_->ValveString, c.text);
    EXPECT_THAT(host.events,
                ElementsAre("ValveStatus(" + std::to_string(c.pattern) + ", " + c.text + ")"));
  }
}

TEST_F(ValveTest, LinesWithoutAValveAreWrittenButNotNamed) {
  selectCard();
  EXPECT_TRUE(m_->OpenValves(32));
  EXPECT_EQ(m_->ValveString, "Opened");
  EXPECT_TRUE(m_->OpenValves(3 | 64));
  EXPECT_EQ(m_->ValveString, "Pump Premix Opened");
  EXPECT_EQ(card->portOut[1], 67);
}

TEST_F(ValveTest, AFailedWriteKeepsTheLastPatternAndRaisesNoStatus) {
  card->features.numProgrammablePorts = 1;
  selectCard();
  m_->Pumpout();
  host.events.clear();
  for (const Op op : {Op::DioSetPortMode, Op::DioWritePortByte}) {
    card->failCall(op, 5);
    EXPECT_FALSE(m_->OpenValves(10));
    EXPECT_EQ(m_->ValveState, 25);
    EXPECT_EQ(m_->ValveString, "Pump Main Vaccume Opened");
  }
  EXPECT_THAT(host.events,
              ElementsAre("LaserMessenger(driver error 5)", "LaserMessenger(driver error 5)"));
}

TEST_F(ValveTest, WithoutACardNoValveMoves) {
  Morvand& m = make();
  EXPECT_FALSE(m.OpenValves(31));
  m.OpenAll();
  EXPECT_EQ(m.ValveState, 0);
  EXPECT_EQ(m.ValveString, "");
  EXPECT_TRUE(card->texts().empty());
  EXPECT_TRUE(host.events.empty());
}

}  // namespace
}  // namespace morvand::test
