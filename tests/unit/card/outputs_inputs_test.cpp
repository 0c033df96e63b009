#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/fixture.hpp"

namespace morvand::test {
namespace {

using ::testing::ElementsAre;

class DigitalLinesTest : public ControllerTest {};

TEST_F(DigitalLinesTest, EnableSwitchesOnlyLineSevenOfPortZero) {
  selectCard();
  m_->Enable(true);
  m_->Enable(false);
  EXPECT_THAT(card->texts(),
              ElementsAre("DioWritePortByte(0, 128, 128)", "DioWritePortByte(0, 128, 0)"));
}

TEST_F(DigitalLinesTest, WithoutACardTheOutputOperationsCallNothing) {
  Morvand& m = make();
  m.Enable(true);
  m.Reset();
  m.AllOff();
  m.AllClose();
  EXPECT_FALSE(m.Fan(true));
  EXPECT_FALSE(m.status());
  EXPECT_TRUE(card->texts().empty());
}

TEST_F(DigitalLinesTest, AllOffAndAllCloseClearTheWholeControlAndValvePorts) {
  selectCard();
  m_->AllOff();
  m_->AllClose();
  EXPECT_THAT(card->texts(),
              ElementsAre("DioWritePortByte(0, 255, 0)", "DioWritePortByte(1, 255, 0)"));
}

TEST_F(DigitalLinesTest, ResetLeavesTheValvePortAloneWhenTheEnableLineFails) {
  selectCard();
  m_->Reset();
  EXPECT_THAT(card->texts(),
              ElementsAre("DioWritePortByte(0, 128, 0)", "DioWritePortByte(1, 128, 0)"));
  card->clearCalls();
  card->failCall(Op::DioWritePortByte, 3);
  card->setErrorText(3, "port busy");
  m_->Reset();
  EXPECT_THAT(card->texts(), ElementsAre("DioWritePortByte(0, 128, 0)", "GetErrorMessage(3)"));
  EXPECT_THAT(host.messages, ElementsAre("port busy"));
}

TEST_F(DigitalLinesTest, ProgrammablePortsGetTheirDirectionBeforeEveryWrite) {
  card->features.numProgrammablePorts = 2;
  selectCard();
  m_->Enable(true);
  m_->OpenPump();
  EXPECT_THAT(card->texts(), ElementsAre("DioSetPortMode(0, 1)", "DioWritePortByte(0, 128, 128)",
                                         "DioSetPortMode(1, 1)", "DioWritePortByte(1, 255, 1)"));
  // A failing direction ends the write, as a modal box when pop-ups are on.
  card->clearCalls();
  m_->PopupSet(true);
  card->failCall(Op::DioSetPortMode, 4);
  m_->AllOff();
  EXPECT_THAT(card->texts(), ElementsAre("DioSetPortMode(0, 1)", "GetErrorMessage(4)"));
  ASSERT_EQ(host.boxes.size(), 1u);
  EXPECT_EQ(host.boxes[0].title, "Error!!");
  EXPECT_EQ(host.boxes[0].style, 0);
}

TEST_F(DigitalLinesTest, StatusReadsPortZeroOfA1711) {
  card->features.numProgrammablePorts = 1;
  selectCard("PCI-1711");
  card->setPortIn(0, 0x15);
  EXPECT_TRUE(m_->status());
  EXPECT_EQ(m_->state, 0x15);
  EXPECT_THAT(card->texts(), ElementsAre("DioSetPortMode(0, 0)", "DioReadPortByte(0)"));
}

TEST_F(DigitalLinesTest, StatusOnA1712ClosesEveryValveAfterEachRead) {
  selectCard("PCI-1712");
  card->setPortIn(1, 0xC0);
  EXPECT_TRUE(m_->status());
  EXPECT_EQ(m_->state, 0xC0);
  EXPECT_THAT(card->texts(), ElementsAre("DioReadPortByte(1)", "DioWritePortByte(1, 255, 0)"));
  EXPECT_EQ(m_->ValveString, "All Valves Closed");
}

TEST_F(DigitalLinesTest, AFailedReadLeavesStateZeroAndTheValvesAsTheyAre) {
  selectCard("PCI-1712");
  m_->state = 0xC0;
  card->failCall(Op::DioReadPortByte, 2);
  EXPECT_FALSE(m_->status());
  EXPECT_EQ(m_->state, 0);
  EXPECT_TRUE(card->texts(Op::DioWritePortByte).empty());
}

TEST_F(DigitalLinesTest, MissingPowerOrInterlockAsksTheRunToStop) {
  selectCard("PCI-1711");
  Morvand& m = *m_;
  m.flag2 = 0;
  m.state = 5;
  m.StateTest1711();
  EXPECT_TRUE(m.PowerOK);
  EXPECT_TRUE(m.InterlockActive);
  EXPECT_EQ(m.flag2, 0);
  m.state = 4;  // interlock closed, power missing
  m.StateTest1711();
  EXPECT_FALSE(m.PowerOK);
  EXPECT_TRUE(m.InterlockActive);
  EXPECT_EQ(m.flag2, 1);

  m.PCIcard = 1712;  // power OK on bit 7, interlock on bit 6
  m.flag2 = 0;
  m.state = 0x80;
  m.StateTest1711();
  EXPECT_TRUE(m.PowerOK);
  EXPECT_FALSE(m.InterlockActive);
  EXPECT_EQ(m.flag2, 1);

  m.PCIcard = 1710;  // no such inputs: nothing changes
  m.flag2 = 0;
  m.state = 0;
  m.StateTest1711();
  EXPECT_TRUE(m.PowerOK);
  EXPECT_EQ(m.flag2, 0);
}

TEST_F(DigitalLinesTest, PowerOnNeedsTenVoltsFromTheSupplyTest) {
  selectCard();
  card->setAnalog(8, 10.0f / 3.0f);
  ASSERT_EQ(m_->VoltTest12(), 10.0f);
  EXPECT_TRUE(m_->PowerOn());
  card->setAnalog(8, 9.99f / 3.0f);
  EXPECT_FALSE(m_->PowerOn());
  EXPECT_THAT(card->texts(Op::AIConfig),
              ElementsAre("AIConfig(8, 0)", "AIConfig(8, 0)", "AIConfig(8, 0)"));
  // A supply test that failed does not pass an earlier good reading off as present.
  card->setAnalog(8, 4.0f);
  ASSERT_TRUE(m_->PowerOn());
  card->failCall(Op::AIVoltageIn, 6);
  EXPECT_FALSE(m_->PowerOn());
  EXPECT_EQ(host.messages.size(), 1u);
}

}  // namespace
}  // namespace morvand::test
