#include <gtest/gtest.h>

#include "support/fixture.hpp"

namespace morvand::test {
namespace {

class MessagesTest : public ControllerTest {};

TEST_F(MessagesTest, TestStrScansEveryPositionAndTreatsAnEmptyDeviceNameAsAMatch) {
  Morvand& m = make();
  EXPECT_TRUE(m.TestStr("PCI-1711 Multifunction Card I/O=0xd000", "1711"));
  EXPECT_FALSE(m.TestStr("PCI-1711 Multifunction Card I/O=0xd000", "1712"));
  EXPECT_TRUE(m.TestStr("1711", "1711"));
  EXPECT_TRUE(m.TestStr("x1711", "1711"));
  EXPECT_TRUE(m.TestStr("", "1711"));
  EXPECT_TRUE(m.TestStr("", ""));
  EXPECT_TRUE(m.TestStr("PCI-1711", ""));
  EXPECT_FALSE(m.TestStr("171", "1711"));
  EXPECT_FALSE(m.TestStr("pci-1711", "PCI"));  // case-sensitive
}

TEST_F(MessagesTest, PopupSetChoosesBoxesOrEventsAndChangesNothingElse) {
  Morvand& m = make();
  EXPECT_FALSE(m.PopupMessage);
  m.PopupSet(true);
  EXPECT_TRUE(m.PopupMessage);
  m.PopupSet(false);
  EXPECT_FALSE(m.PopupMessage);
  EXPECT_TRUE(host.boxes.empty());
  EXPECT_TRUE(host.events.empty());
}

TEST_F(MessagesTest, ADriverFailureWithoutPopupsRaisesTheDriverTextAndOpensNoBox) {
  Morvand& m = make();
  selectCard();
  card->setErrorText(-7, "Counter channel busy");
  card->failCall(Op::DioWritePortByte, -7);
  m.Enable(true);
  EXPECT_TRUE(host.boxes.empty());
  ASSERT_EQ(host.messages.size(), 1u);
  // The text ends at the driver's terminator: no padding up to the 80-byte buffer.
  EXPECT_EQ(host.messages[0], "Counter channel busy");
  EXPECT_EQ(CardContext::current().DriverStatus, -7);
}

TEST_F(MessagesTest, ADriverFailureWithPopupsShowsAnErrorBoxWithStyleZero) {
  Morvand& m = make();
  selectCard();
  m.PopupSet(true);
  card->setErrorText(5, "Invalid port");
  card->failCall(Op::DioWritePortByte, 5);
  m.Enable(true);
  ASSERT_EQ(host.boxes.size(), 1u);
  EXPECT_EQ(host.boxes[0].text, "Invalid port");
  EXPECT_EQ(host.boxes[0].style, 0);
  EXPECT_EQ(host.boxes[0].title, "Error!!");
  EXPECT_TRUE(host.messages.empty());
}

TEST_F(MessagesTest, CounterStopReportsTheStatusInFrontOfTheText) {
  Morvand& m = make();
  selectCard();
  card->setErrorText(7, "Reset failed");
  card->failCall(Op::CounterReset, 7);
  m.CounterStop(1);
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0], "7: Reset failed");
  m.PopupSet(true);
  card->failCall(Op::CounterReset, 7);
  m.CounterStop(1);
  ASSERT_EQ(host.boxes.size(), 1u);
  EXPECT_EQ(host.boxes[0].text, "7: Reset failed");
  EXPECT_EQ(host.boxes[0].title, "Error!!");
}

TEST_F(MessagesTest, TaggedReportsAreAlwaysBoxesEvenWithoutPopups) {
  Morvand& m = make();
  selectCard();
  card->setErrorText(3, "AO range");
  card->failCall(Op::AOConfig, 3);
  m.VoltageSet(10.0f);
  ASSERT_EQ(host.boxes.size(), 1u);
  EXPECT_EQ(host.boxes[0].text, "3: AO range");
  EXPECT_EQ(host.boxes[0].style, 0);
  EXPECT_EQ(host.boxes[0].title, "1-7578 Error!!");
  EXPECT_TRUE(host.messages.empty());
}

TEST_F(MessagesTest, AStatusTheDriverHasNoTextForIsReportedByItsNumber) {
  Morvand& m = make();
  selectCard();
  // An empty text from the driver: the event names the status instead of being empty.
  card->setErrorText(-9, "");
  card->failCall(Op::DioWritePortByte, -9);
  m.Enable(true);
  // The driver fails the text request itself: the box and the coded variant name it too.
  card->setStatus(Op::GetErrorMessage, 33);
  m.PopupSet(true);
  card->failCall(Op::DioWritePortByte, 21);
  m.Enable(true);
  card->failCall(Op::CounterReset, 7);
  m.CounterStop(1);
  EXPECT_EQ(host.messages, (Strings{"DRIVER ERROR -9"}));
  ASSERT_EQ(host.boxes.size(), 2u);
  EXPECT_EQ(host.boxes[0].text, "DRIVER ERROR 21");
  EXPECT_EQ(host.boxes[0].title, "Error!!");
  EXPECT_EQ(host.boxes[1].text, "7: DRIVER ERROR 7");
}

}  // namespace
}  // namespace morvand::test
