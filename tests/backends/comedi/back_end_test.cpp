// What is particular to the comedi back end: the addresses it refuses and why, the statuses
// where the card cannot do what is asked, the safe outputs on open and close, the
// software-timed frequency and the bring-up probe.

#include <comedi_errno.h>
#include <comedilib.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <sstream>

#include "morvand/comedi/comedi_card.hpp"
#include "morvand/errors.hpp"
#include "morvand/sim/simulation.hpp"
#include "standin.hpp"

namespace morvand::comedi {
namespace {

class ComediBackEnd : public ::testing::Test {
 protected:
  ~ComediBackEnd() override {
    card.reset();
    comedi_standin::uninstallAll();
  }
  comedi_standin::Board& installCard(const std::string& board = "pci1711",
                                     const std::string& path = "/dev/comedi0") {
    return comedi_standin::install(path, board, sim->plant, sim->clock);
  }
  void openCard(const std::string& address = "/dev/comedi0") {
    card = std::make_unique<ComediCard>(findDevices(address), sim->clock);
    ASSERT_EQ(card->DeviceOpen(0, &handle), 0);
  }
  std::string text(int32_t status) {
    char buf[80];
    card->GetErrorMessage(status, buf);
    return buf;
  }

  std::unique_ptr<sim::Simulation> sim = sim::makeSimulation("sim:1711", 3);
  std::unique_ptr<ComediCard> card;
  int32_t handle = 0;
};

TEST_F(ComediBackEnd, AddressesThatHoldNoServedCardAreRefusedSayingWhy) {
  struct Case {
    const char* address;
    const char* driver;  // what /dev/comedi0 holds; null: nothing
    const char* board;
    std::vector<const char*> says;
  };
  const Case cases[] = {
      {"/dev/comedi5", "adv_pci1710", "pci1711", {"cannot open /dev/comedi5", "No such file"}},
      {"/dev/comedi0", "comedi_test", "comedi_test", {"comedi_test driver", "not a PCI-1710"}},
      {"/dev/comedi0", "adv_pci1710", "pci1713", {"pci1713", "does not serve"}},
      {"", nullptr, nullptr, {"no PCI-1710 or PCI-1711 found", "no comedi device could be opened"}},
      {"", "comedi_test", "comedi_test", {"no PCI-1710 or PCI-1711 found", "comedi_test driver"}},
      {"pci1712", nullptr, nullptr, {"the PCI-1712 has no Linux back end"}},
      {"comedi0", nullptr, nullptr, {"unknown comedi address \"comedi:comedi0\""}},
  };
  for (const Case& c : cases) {
    comedi_standin::uninstallAll();
    if (c.driver) comedi_standin::install("/dev/comedi0", c.board, nullptr, sim->clock, c.driver);
    try {
      openBackend(c.address, {});
      ADD_FAILURE() << c.address << " was accepted";
    } catch (const BackendError& e) {
      for (const char* part : c.says) {
        EXPECT_NE(std::string(e.what()).find(part), std::string::npos) << e.what();
      }
    }
  }
}

TEST_F(ComediBackEnd, TheCardIsListedByModelWithTheRangesOfItsBoardAsGains) {
  installCard("pci1710hg", "/dev/comedi3");
  openCard("");
  DeviceListEntry list[2]{};
  int16_t n = 0;
  ASSERT_EQ(card->DeviceGetList(list, 2, &n), 0);
  ASSERT_EQ(n, 1);
  EXPECT_STREQ(list[0].deviceName, "PCI-1710HG (/dev/comedi3)");
  DeviceFeatures f{};
  ASSERT_EQ(card->DeviceGetFeatures(handle, &f), 0);
  EXPECT_EQ(f.numSingleEndedAI, 16);
  EXPECT_EQ(f.numDifferentialAI, 8);
  EXPECT_EQ(f.numAO, 2);
  EXPECT_EQ(f.numDOLines, 16);
  EXPECT_EQ(f.numDILines, 16);
  EXPECT_EQ(f.numProgrammablePorts, 0);
  EXPECT_EQ(f.numCounters, 1);
  ASSERT_EQ(f.numGains, 12);
  EXPECT_EQ(f.gains[3].gainCode, 3);
  EXPECT_STREQ(f.gains[3].name, "+/-0.005 V");
  EXPECT_STREQ(f.gains[8].name, "0-10 V");
}

TEST_F(ComediBackEnd, WhatTheCardCannotDoIsRefusedWithComedisStatus) {
  installCard();
  openCard();
  float v = 0;
  struct Case {
    const char* what;
    int32_t status;
    int32_t expected;
  };
  const Case cases[] = {
      {"counter 1 paces the analog input", card->CounterEventStart(handle, {1, 0}), EBUSY},
      {"counter beyond the chip", card->CounterReset(handle, 3), EINVAL},
      {"fixed port direction", card->DioSetPortMode(handle, {0, 1}), EINVAL_SUBD},
      {"negative volts", card->AOVoltageOut(handle, {0, -0.5f}), ERANGE},
      {"above the 0-5 V range", card->AOVoltageOut(handle, {0, 5.5f}), ERANGE},
      {"an output range it lacks", card->AOConfig(handle, {0, 10.0f, -10.0f}), EINVAL},
      {"a period beyond 16 bits", card->CounterPulseStart(handle, {0, 0.1f, 0.0f, 0}), ERANGE},
      {"a period under 2 clocks", card->CounterPulseStart(handle, {0, 1e-6f, 0.0f, 0}), ERANGE},
      {"a gated count", card->CounterEventStart(handle, {0, 1}), EINVAL},
      {"a hardware trigger", card->AIVoltageIn(handle, {0, 0, 1, &v}), EINVAL},
      {"a gain code beyond the ranges", card->AIVoltageIn(handle, {0, 5, 0, &v}), EINVAL},
      {"a closed handle", card->AIVoltageIn(handle + 1, {0, 0, 0, &v}), EBADF},
  };
  for (const Case& c : cases) EXPECT_EQ(c.status, c.expected) << c.what;
  EXPECT_EQ(text(EBUSY), std::strerror(EBUSY));
  EXPECT_EQ(text(EINVAL_SUBD), "invalid subdevice");
}

TEST_F(ComediBackEnd, TheGeneratorGivesThePeriodAndTheNearestHighTimeTheCounterCanMake) {
  comedi_standin::Board& board = installCard();
  openCard();
  // A square wave when no high time is asked: 10000 clocks, high for 5000.
  ASSERT_EQ(card->CounterPulseStart(handle, {0, 0.01f, 0.0f, 0}), 0);
  EXPECT_DOUBLE_EQ(board.generatorRate(), 100.0);
  EXPECT_NEAR(card->producedHighTime(handle), 0.005, 1e-9);
  // A high time near the period: one clock low.
  ASSERT_EQ(card->CounterPulseStart(handle, {0, 0.01f, 0.0099f, 0}), 0);
  EXPECT_NEAR(card->producedHighTime(handle), 0.009999, 1e-9);
  // A period the counter cannot give is refused and changes nothing.
  EXPECT_EQ(card->CounterPulseStart(handle, {0, 0.5f, 0.0f, 0}), ERANGE);
  EXPECT_DOUBLE_EQ(board.generatorRate(), 100.0);
  // The frequency role takes the train off the output and times edges in software.
  ASSERT_EQ(card->CounterPulseStart(handle, {0, 0.01f, 0.0f, 0}), 0);
  ASSERT_EQ(card->CounterFreqStart(handle, {0, 1, 0}), 0);
  EXPECT_EQ(board.generatorRate(), 0.0);
  board.addExternalEdges(5000);
  sim->clock.advance(std::chrono::seconds(2));
  EXPECT_NEAR(card->measuredFrequency(handle), 2500.0, 1.0);
}

TEST_F(ComediBackEnd, OpeningAndClosingLeaveEveryOutputSafeWhateverWasLeftOn) {
  comedi_standin::Board& board = installCard();
  // Another process left the lines set, a voltage out and the generator running.
  comedi_t* other = comedi_open("/dev/comedi0");
  ASSERT_NE(other, nullptr);
  unsigned bits = 0xFFFF;
  comedi_dio_bitfield2(other, 3, 0xFFFF, &bits, 0);
  comedi_data_write(other, 1, 0, 0, AREF_GROUND, 3000);
  comedi_set_counter_mode(other, 4, 0, I8254_MODE3);
  comedi_data_write(other, 4, 0, 0, 0, 5000);
  comedi_close(other);
  ASSERT_EQ(board.doLines(), 0xFFFF);
  ASSERT_GT(board.generatorRate(), 0.0);

  openCard();
  EXPECT_EQ(board.doLines(), 0);
  EXPECT_EQ(board.aoVolts(0), 0.0);
  EXPECT_EQ(board.generatorRate(), 0.0);

  ASSERT_EQ(card->DioWritePortByte(handle, {1, 0xFF, 0x19}), 0);
  ASSERT_EQ(card->AOConfig(handle, {1, 10.0f, 0.0f}), 0);
  ASSERT_EQ(card->AOVoltageOut(handle, {1, 6.0f}), 0);
  ASSERT_EQ(card->CounterPulseStart(handle, {0, 0.02f, 0.0f, 0}), 0);
  int32_t h = handle;
  ASSERT_EQ(card->DeviceClose(&h), 0);
  EXPECT_EQ(board.doLines(), 0);
  EXPECT_EQ(board.aoVolts(1), 0.0);
  EXPECT_EQ(board.generatorRate(), 0.0);
}

TEST_F(ComediBackEnd, TheProbeDescribesTheCardAndReadsItsInputsWritingNothingUnlessAsked) {
  comedi_standin::Board& board = installCard();
  comedi_t* dev = comedi_open("/dev/comedi0");
  unsigned bits = 0x0180;
  comedi_dio_bitfield2(dev, 3, 0xFFFF, &bits, 0);
  comedi_close(dev);

  std::ostringstream out;
  EXPECT_EQ(probe("/dev/comedi0", false, out), 0);
  const std::string text = out.str();
  for (const char* part :
       {"PCI-1711 (/dev/comedi0): driver adv_pci1710, board pci1711",
        "subdevice 0: analog input, 16 channels, maxdata 4095", "range 0: +/-10 V",
        "range 2: external reference", "subdevice 4: counter, 3 channels",
        "counter 0 clock: internal, period 1000 ns", "AI 15:", "DI port 1: 0x",
        "No output written"}) {
    EXPECT_NE(text.find(part), std::string::npos) << part << "\n" << text;
  }
  // Power OK and interlock closed; the tachometer bit as the motor stands.
  EXPECT_TRUE(text.find("DI port 0: 0x5\n") != std::string::npos ||
              text.find("DI port 0: 0x15\n") != std::string::npos)
      << text;
  EXPECT_EQ(board.doLines(), 0x0180);

  std::ostringstream written;
  EXPECT_EQ(probe("/dev/comedi0", true, written), 0);
  EXPECT_NE(written.str().find("Outputs written safe"), std::string::npos);
  EXPECT_EQ(board.doLines(), 0);

  std::ostringstream missing;
  EXPECT_EQ(probe("/dev/comedi9", false, missing), ENODEV);
  EXPECT_NE(missing.str().find("cannot open /dev/comedi9"), std::string::npos);
}

}  // namespace
}  // namespace morvand::comedi
