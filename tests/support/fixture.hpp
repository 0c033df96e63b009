#pragma once
// Common ground of the controller tests: a temporary settings directory, a virtual clock,
// a recording host and a scripted card installed as the thread's driver.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "morvand/card_context.hpp"
#include "morvand/morvand.hpp"
#include "support/recording_host.hpp"
#include "support/scripted_card.hpp"

namespace morvand::test {

using Strings = std::vector<std::string>;

/// First and last entry, "" when there is none (a missing call fails the check, not the run).
std::string firstOf(const Strings& v);
std::string lastOf(const Strings& v);

/// Makes a fresh temporary directory the current one for its lifetime and writes the four
/// settings files into it.
class SettingsDir {
 public:
  SettingsDir();
  ~SettingsDir();
  SettingsDir(const SettingsDir&) = delete;
  SettingsDir& operator=(const SettingsDir&) = delete;
  /// Writes the four settings files: model code and gas, counters, temperature set-point.
  void write(int16_t model = 5, int16_t gas = 1, int32_t cumTotal = 120, int32_t thisFill = 30,
             float tempSet = 25.0f);
  /// Writes one file with the given content.
  void writeFile(const std::string& name, const std::string& content);
  std::string read(const std::string& name) const;
  const std::filesystem::path& path() const { return dir_; }

 private:
  std::filesystem::path previous_;
  std::filesystem::path dir_;
};

/// A controller on a virtual clock with a scripted card and a recording host.
class ControllerTest : public ::testing::Test {
 protected:
  ControllerTest();
  ~ControllerTest() override;

  /// Creates the controller (settings files must be in place; the fixture writes defaults).
  Morvand& make();
  /// Adds a device with this name and runs StandardCard; clears the recorded calls after.
  void selectCard(const std::string& name = "PCI-1711");
  /// Destroys the controller now (its destruction sequence runs).
  void destroy() { m_.reset(); }
  /// Destroys the controller and starts over with a new card and card context.
  void freshCard();

  SettingsDir dir;
  VirtualClock clock;
  RecordingHost host{&clock};
  std::shared_ptr<ScriptedCard> card = std::make_shared<ScriptedCard>();
  std::unique_ptr<Morvand> m_;
};

}  // namespace morvand::test
