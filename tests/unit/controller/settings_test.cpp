#include <gtest/gtest.h>

#include <filesystem>
#include <limits>
#include <locale>

#include "support/fixture.hpp"

namespace morvand::test {
namespace {

class SettingsTest : public ControllerTest {};

TEST_F(SettingsTest, TheExampleFilesLoadIntoTheirFields) {
  dir.writeFile("Paramdata", "25, 0, 0, 0\r\n");
  dir.writeFile("Typedata", "5,1\r\n");
  dir.writeFile("Counter", "120,30\r\n");
  dir.writeFile("Industrial", "0\r\n");
  Morvand& m = make();
  EXPECT_EQ(m.TempSet, 25.0f);
  EXPECT_EQ(m.LaserTypeFlag, 5);
  EXPECT_EQ(m.GasFlag, 1);
  EXPECT_EQ(m.CumTotalPulses, 120);
  EXPECT_EQ(m.PulsesThisFill, 30);
  EXPECT_FALSE(m.PopupMessage);
  EXPECT_TRUE(m.LowCPU);
  EXPECT_TRUE(m.EH_sys);
  EXPECT_EQ(m.CountPeriod, 1.0);
  EXPECT_EQ(m.mode, 0);
  EXPECT_EQ(m.PCIcard, 0);
}

TEST_F(SettingsTest, ValuesMaySpanLinesAndUseExponentsAndDecimalPoints) {
  dir.writeFile("Paramdata", "  2.25e1\r\n-3\n7,1.5");
  dir.writeFile("Counter", "2147483647,0\r\n");
  Morvand& m = make();
  EXPECT_EQ(m.TempSet, 22.5f);
  EXPECT_EQ(m.CumTotalPulses, 2147483647);
  destroy();
  EXPECT_EQ(dir.read("Paramdata"), "22.5,-3,7,1.5\r\n");
  EXPECT_EQ(dir.read("Counter"), "2147483647,0\r\n");
}

TEST_F(SettingsTest, AControllerThatChangesNothingWritesBackWhatItRead) {
  dir.writeFile("Paramdata", "31.5,12,-4,0.25\r\n");
  dir.writeFile("Industrial", "17\r\n");
  make();
  destroy();
  EXPECT_EQ(dir.read("Paramdata"), "31.5,12,-4,0.25\r\n");
  EXPECT_EQ(dir.read("Typedata"), "5,1\r\n");
  EXPECT_EQ(dir.read("Counter"), "120,30\r\n");
  EXPECT_EQ(dir.read("Industrial"), "17\r\n");
  Morvand& again = make();
  EXPECT_EQ(again.TempSet, 31.5f);
}

TEST_F(SettingsTest, HostChangesReachTheFilesAtDestruction) {
  Morvand& m = make();
  m.CumTotalPulses = 999;
  m.PulsesThisFill = 0;
  m.TempSet = 28.0f;
  destroy();
  EXPECT_EQ(dir.read("Counter"), "999,0\r\n");
  EXPECT_EQ(dir.read("Paramdata"), "28,0,0,0\r\n");
}

struct BadFile {
  const char* file;
  const char* content;  // nullptr: the file is missing
  const char* reason;   // a piece of the message
};

class SettingsFailureTest : public SettingsTest, public ::testing::WithParamInterface<BadFile> {};

TEST_P(SettingsFailureTest, ConstructionFailsNamingTheFileAndTheReason) {
  const BadFile& bad = GetParam();
  if (bad.content == nullptr) {
    std::filesystem::remove(dir.path() / bad.file);
  } else {
    dir.writeFile(bad.file, bad.content);
  }
  try {
    make();
    FAIL() << "construction did not fail";
  } catch (const SettingsError& e) {
    EXPECT_EQ(e.file(), bad.file);
    EXPECT_NE(std::string(e.what()).find(bad.file), std::string::npos) << e.what();
    EXPECT_NE(e.reason().find(bad.reason), std::string::npos) << e.reason();
  }
}

INSTANTIATE_TEST_SUITE_P(EachFailure, SettingsFailureTest,
                         ::testing::Values(BadFile{"Paramdata", nullptr, "missing"},
                                           BadFile{"Typedata", nullptr, "missing"},
                                           BadFile{"Counter", nullptr, "missing"},
                                           BadFile{"Industrial", nullptr, "missing"},
                                           BadFile{"Paramdata", "25,0,0\r\n", "ends before"},
                                           BadFile{"Typedata", "5\r\n", "ends before"},
                                           BadFile{"Counter", "", "ends before"},
                                           BadFile{"Typedata", "40000,1\r\n", "outside"},
                                           BadFile{"Paramdata", "25,32768,0,0\r\n", "outside"},
                                           BadFile{"Counter", "2147483648,0\r\n", "outside"},
                                           BadFile{"Paramdata", "1e39,0,0,0\r\n", "outside"},
                                           BadFile{"Typedata", "five,1\r\n", "not a number"},
                                           BadFile{"Paramdata", "nan,0,0,0\r\n", "not a number"},
                                           BadFile{"Paramdata", "25,0,0,inf\r\n", "not a number"},
                                           BadFile{"Industrial", "0x10\r\n", "not a number"}));

TEST_F(SettingsTest, AFileThatCannotBeWrittenKeepsItsOldContentAndTheOthersAreStillWritten) {
  Morvand& m = make();
  m.CumTotalPulses = 5000;
  m.TempSet = 30.0f;
  // The temporary file's place is taken, so "Paramdata" cannot be replaced.
  std::filesystem::create_directory(dir.path() / "Paramdata.tmp");
  const std::string before = dir.read("Paramdata");
  destroy();
  EXPECT_EQ(dir.read("Paramdata"), before);
  EXPECT_EQ(dir.read("Counter"), "5000,30\r\n");
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].rfind("SETTINGS FILE Paramdata COULD NOT BE SAVED: ", 0), 0u)
      << host.messages[0];
}

TEST_F(SettingsTest, AFailedWriteIsABoxWithItsTitleWhenPopupsAreOn) {
  Morvand& m = make();
  m.PopupMessage = true;
  std::filesystem::create_directory(dir.path() / "Industrial.tmp");
  destroy();
  ASSERT_EQ(host.boxes.size(), 1u);
  EXPECT_EQ(host.boxes[0].title, "SETTINGS NOT SAVED");
  EXPECT_EQ(host.boxes[0].style, 48);
  EXPECT_EQ(host.boxes[0].text.rfind("SETTINGS FILE Industrial COULD NOT BE SAVED: ", 0), 0u);
}

/// A locale whose decimal separator is a comma, as in much of Europe.
struct CommaDecimal : std::numpunct<char> {
  char do_decimal_point() const override { return ','; }
};

TEST_F(SettingsTest, NumbersAreReadAndWrittenWithAPointWhateverTheLocale) {
  const std::locale previous =
      std::locale::global(std::locale(std::locale::classic(), new CommaDecimal));
  dir.writeFile("Paramdata", "22.5,0,0,0.5\r\n");
  Morvand& m = make();
  EXPECT_EQ(m.TempSet, 22.5f);
  destroy();
  std::locale::global(previous);
  EXPECT_EQ(dir.read("Paramdata"), "22.5,0,0,0.5\r\n");
}

TEST_F(SettingsTest, EverySingleIsSavedSoItLoadsAgainAndNonNumbersAreSavedAsTheInitialValue) {
  for (float f : {std::numeric_limits<float>::max(), -std::numeric_limits<float>::max(),
                  std::numeric_limits<float>::denorm_min()}) {
    make().TempSet = f;
    destroy();
    EXPECT_EQ(make().TempSet, f) << dir.read("Paramdata");
    destroy();
  }
  EXPECT_TRUE(host.messages.empty());
  for (float f :
       {std::numeric_limits<float>::quiet_NaN(), -std::numeric_limits<float>::infinity()}) {
    host.messages.clear();
    make().TempSet = f;
    destroy();
    EXPECT_EQ(dir.read("Paramdata"), "0,0,0,0\r\n");
    EXPECT_EQ(host.messages,
              (Strings{"SETTINGS FILE Paramdata: TempSet IS NOT A FINITE NUMBER, SAVED AS 0"}));
    EXPECT_EQ(make().TempSet, 0.0f);
    destroy();
  }
}

TEST_F(SettingsTest, AKilledWritesTemporaryFileIsRemovedByTheNextWrite) {
  dir.writeFile("Paramdata.tmp", "25,0");  // a write killed before its rename
  dir.writeFile("Counter.tmp", "");
  Morvand& m = make();
  ListBox models, gasList;
  m.GetLaserList(models);
  models.SetListIndex(26);
  m.GetGasList(gasList);
  gasList.SetListIndex(0);
  m.SetLaserAndGasType(gasList, models);  // writes "Typedata" only
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "Paramdata.tmp"));
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "Counter.tmp"));
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "Typedata.tmp"));
  EXPECT_EQ(dir.read("Typedata").substr(0, 3), "9,1");
}

TEST_F(SettingsTest, AWriteThatDoesNotReachTheDiskKeepsTheOldFile) {
  Morvand& m = make();
  m.CumTotalPulses = 777;
  const std::string before = dir.read("Counter");
#ifdef _WIN32
  GTEST_SKIP() << "a file that is always full exists only where /dev/full does";
#endif
  std::filesystem::create_symlink("/dev/full", dir.path() / "Counter.tmp");
  destroy();
  EXPECT_EQ(dir.read("Counter"), before);
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0],
            "SETTINGS FILE Counter COULD NOT BE SAVED: write failed (disk full?)");
}

}  // namespace
}  // namespace morvand::test
