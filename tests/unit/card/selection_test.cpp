#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>

#include "support/fixture.hpp"
#include "support/probe.hpp"

namespace morvand::test {
namespace {

using ::testing::ElementsAre;

class CardSelectionTest : public ControllerTest {
 protected:
  CardForm& form() { return CardContext::current().form(); }
};

TEST_F(CardSelectionTest, NoDeviceListedLeavesNoCardAndNoSafeState) {
  Morvand& m = make();
  EXPECT_FALSE(m.StandardCard());
  EXPECT_EQ(m.PCIcard, 0);
  EXPECT_THAT(card->texts(), ElementsAre("DeviceGetList(255)", "DeviceGetNumOfList()"));
}

TEST_F(CardSelectionTest, OpensThe1711AndPutsTheLaserIntoItsSafeStateAfterwards) {
  Morvand& m = make();
  card->addDevice("PCI-1711");
  EXPECT_TRUE(m.StandardCard());
  EXPECT_EQ(m.PCIcard, 1711);
  EXPECT_EQ(m.limits().RepRateMin, 16);
  EXPECT_EQ(m.limits().ExtTrigCounter, 0);
  EXPECT_THAT(card->texts(),
              ElementsAre("DeviceGetList(255)", "DeviceGetNumOfList()", "DeviceOpen(0)",
                          "DeviceGetFeatures()", "AIGetConfig()",
                          // Reset, CloseAllValves, PulseOFF, VoltageOff, Enable(false)
                          "DioWritePortByte(0, 128, 0)", "DioWritePortByte(1, 128, 0)",
                          "DioWritePortByte(1, 255, 0)", "CounterFreqStart(0, 1, 0)",
                          "CounterReset(0)", "AOVoltageOut(0, 0)", "DioWritePortByte(0, 128, 0)"));
}

TEST_F(CardSelectionTest, The1712HasItsOwnRateFloorAndTriggerCounter) {
  Morvand& m = make();
  card->addDevice("PCI-1712L");
  EXPECT_TRUE(m.StandardCard());
  EXPECT_EQ(m.PCIcard, 1712);
  EXPECT_EQ(m.limits().RepRateMin, 1);
  EXPECT_EQ(m.limits().ExtTrigCounter, 2);
}

TEST_F(CardSelectionTest, AFailedListingMarksTheCardAsMinusOneAndOperationsStillCallTheDriver) {
  Morvand& m = make();
  card->addDevice("PCI-1711");
  card->failCall(Op::DeviceGetList, 5);
  card->setErrorText(5, "list failed");
  EXPECT_FALSE(m.StandardCard());
  EXPECT_EQ(m.PCIcard, -1);
  EXPECT_THAT(host.messages, ElementsAre("list failed"));
  card->clearCalls();
  m.Enable(true);
  EXPECT_THAT(card->texts(), ElementsAre("DioWritePortByte(0, 128, 128)"));
}

TEST_F(CardSelectionTest, AFailingOpenStepLeavesNoCardButKeepsTheModelSettings) {
  for (const Op op : {Op::DeviceOpen, Op::DeviceGetFeatures, Op::AIGetConfig}) {
    SCOPED_TRACE(driverOpName(op));
    CardContext::current().reset();
    CardContext::current().setDriver(card = std::make_shared<ScriptedCard>());
    Morvand& m = make();
    card->addDevice("PCI-1712");
    card->failCall(op, 9);
    host.messages.clear();
    EXPECT_FALSE(m.StandardCard());
    EXPECT_EQ(m.PCIcard, 0);
    EXPECT_EQ(m.limits().RepRateMin, 1);
    EXPECT_EQ(host.messages.size(), 1u);
    // No safe-state sequence after a failed selection.
    EXPECT_TRUE(card->texts(Op::DioWritePortByte).empty());
    m_.reset();
  }
}

TEST_F(CardSelectionTest, TheModelIsRecognisedInListOrderAndUnknownNamesOpenNothing) {
  Morvand& m = make();
  card->addDevice("PCI-1712 and 1710 combo");
  card->addDevice("USB-4711");
  EXPECT_TRUE(m.StandardCard());
  EXPECT_EQ(m.PCIcard, 1710);
  card->clearCalls();
  EXPECT_FALSE(m.SetPCIcard(1));
  EXPECT_EQ(m.PCIcard, 0);
  EXPECT_TRUE(card->texts().empty());
}

TEST_F(CardSelectionTest, ReselectingTheSamePositionOrMinusOneChangesNothing) {
  selectCard("PCI-1711");
  Morvand& m = *m_;
  EXPECT_TRUE(m.SetPCIcard(0));
  EXPECT_TRUE(m.SetPCIcard(-1));
  EXPECT_TRUE(card->texts().empty());
  EXPECT_EQ(m.PCIcard, 1711);
  EXPECT_THROW(m.SetPCIcard(3), ListError);
}

TEST_F(CardSelectionTest, APositionWhoseSelectionFailedIsNotReportedAsSelected) {
  Morvand& m = make();
  card->addDevice("PCI-1711");
  card->failCall(Op::DeviceOpen, 9);
  ASSERT_FALSE(m.StandardCard());
  ASSERT_EQ(m.PCIcard, 0);
  card->clearCalls();
  // The retry opens the card instead of answering True with no card open.
  EXPECT_TRUE(m.SetPCIcard(0));
  EXPECT_EQ(m.PCIcard, 1711);
  EXPECT_THAT(card->texts(), ElementsAre("DeviceOpen(0)", "DeviceGetFeatures()", "AIGetConfig()"));
}

TEST_F(CardSelectionTest, DeviceNamesAndGainNamesEndAtTheDriversTerminator) {
  Morvand& m = make();
  card->addDevice("PCI-1711 card");
  // Garbage after the terminator must not reach the list.
  std::memcpy(card->features.gains[0].name, "+/- 10 V\0garbage", 16);
  ASSERT_TRUE(m.StandardCard());
  EXPECT_EQ(form().lstDevice.List(0), "PCI-1711 card");
  EXPECT_EQ(form().lstVoltageRangeAi.List(0), "+/- 10 V");
  EXPECT_EQ(form().lstVoltageRangeAi.ListCount(), 2);
}

TEST_F(CardSelectionTest, TheCardFormListsFollowTheFeatureRecord) {
  card->features.numDOLines = 20;    // 2.5 ports: halves go to the even neighbour
  card->features.numDILines = 28;    // 3.5 ports
  card->aiConfig.channelConfig = 1;  // differential inputs
  selectCard("PCI-1711");
  CardForm& f = form();
  EXPECT_EQ(f.lstChannelAi.ListCount(), 8);
  EXPECT_EQ(f.lstChannelAi.List(7), "Chan#7");
  EXPECT_EQ(f.lstChannelAi.ListIndex(), 0);
  EXPECT_EQ(f.lstVoltageRangeAi.ListIndex(), 0);
  EXPECT_EQ(f.lstChannelAO.ListCount(), 2);
  EXPECT_EQ(f.lstVoltageRangeAO.List(0), "0 ~ 5 V");
  EXPECT_EQ(f.lstVoltageRangeAO.List(1), "0 ~ 10 V");
  EXPECT_EQ(f.lstChannelDO.ListCount(), 2);
  EXPECT_EQ(f.lstChannelDin.ListCount(), 4);
  EXPECT_EQ(f.lstChannelDin.List(3), "Port#3");
  EXPECT_EQ(f.lstChannelCount.ListCount(), 3);
  EXPECT_EQ(f.lstChannelCount.ListIndex(), 0);
}

TEST_F(CardSelectionTest, EveryReadingUsesTheDriversGainCodeOfTheFirstRange) {
  card->features.gains[0].gainCode = 4;  // a code that is not the list position
  selectCard("PCI-1711");
  Morvand& m = *m_;
  m.PressMes();
  m.EnergyMes();
  m.VoltageMes();
  m.TempMes();
  m.VprogTest();
  m.VoltTest12();
  EXPECT_THAT(card->texts(Op::AIVoltageIn),
              ElementsAre("AIVoltageIn(0, 4, 0)", "AIVoltageIn(1, 4, 0)", "AIVoltageIn(2, 4, 0)",
                          "AIVoltageIn(4, 4, 0)", "AIVoltageIn(7, 4, 0)", "AIVoltageIn(8, 4, 0)"));
  EXPECT_THAT(card->texts(Op::AIConfig), ::testing::Each(::testing::EndsWith(", 4)")));
}

TEST_F(CardSelectionTest, ADemoDeviceIsNotOpenedAndKeepsTheEarlierFeatures) {
  Morvand& m = make();
  card->addDevice("PCI-1711");
  card->addDevice("DEMO 1712");
  ASSERT_TRUE(m.StandardCard());
  card->clearCalls();
  EXPECT_TRUE(m.SetPCIcard(1));
  EXPECT_EQ(m.PCIcard, 1712);
  EXPECT_TRUE(card->texts().empty());
  EXPECT_EQ(form().lstChannelAi.ListCount(), 0);
  EXPECT_EQ(form().lstChannelCount.ListCount(), 3);
  // Selecting again does not pile up the lists.
  EXPECT_EQ(form().lstChannelAO.ListCount(), 2);
}

TEST_F(CardSelectionTest, ADeviceIsOpenedByItsListNumberAndTheEarlierOneIsClosedFirst) {
  Morvand& m = make();
  card->addDevice("PCI-1711", 3);  // the driver numbers with gaps
  card->addDevice("PCI-1712", 7);
  card->addDevice("");
  ASSERT_TRUE(m.StandardCard());
  EXPECT_THAT(card->texts(Op::DeviceOpen), ElementsAre("DeviceOpen(3)"));
  card->clearCalls();
  EXPECT_TRUE(m.SetPCIcard(1));
  EXPECT_EQ(m.PCIcard, 1712);
  EXPECT_THAT(card->texts(), ElementsAre("DeviceClose(42)", "DeviceOpen(7)", "DeviceGetFeatures()",
                                         "AIGetConfig()"));
  // An entry without a name is no card: nothing is opened or closed.
  card->clearCalls();
  EXPECT_FALSE(m.SetPCIcard(2));
  EXPECT_EQ(m.PCIcard, 0);
  EXPECT_TRUE(card->texts().empty());
  // Only an open device is closed: a failed open leaves nothing to close.
  card->failCall(Op::DeviceOpen, 9);
  EXPECT_FALSE(m.SetPCIcard(0));
  card->clearCalls();
  EXPECT_TRUE(m.SetPCIcard(1));
  EXPECT_EQ(firstOf(card->texts()), "DeviceOpen(7)");
}

TEST_F(CardSelectionTest, AListWhoseOnlyDeviceHasNoNameSelectsNoCard) {
  Morvand& m = make();
  card->addDevice("");
  EXPECT_FALSE(m.StandardCard());
  EXPECT_EQ(m.PCIcard, 0);
  EXPECT_THAT(card->texts(), ElementsAre("DeviceGetList(255)", "DeviceGetNumOfList()"));
}

}  // namespace
}  // namespace morvand::test
