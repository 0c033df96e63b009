#pragma once
// Ground of the gas-procedure tests: a controller on a virtual clock with a card selected and a
// chamber behind the pressure gauge that reacts to the valves the controller writes.

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "support/fixture.hpp"
#include "support/laser_readings.hpp"
#include "support/probe.hpp"

namespace morvand::test {

/// A healthy chamber: each open path moves the pressure at a fixed rate towards its source.
struct Chamber {
  float torr = 2400.0f;
  float pumpRate = 20.0f;    ///< Torr/s with pump, main and vacuum open
  float premixRate = 60.0f;  ///< Torr/s with premix and main open
  float heliumRate = 40.0f;  ///< Torr/s with helium and main open
  float vacuum = 5.0f;       ///< Torr the pump reaches
  float premixSupply = 3500.0f;
  float heliumSupply = 1500.0f;
  /// Pressure now, after moving it on for the time since the last call.
  float at(double now, int16_t valves);

 private:
  double last_ = -1.0;
};

class GasTest : public ControllerTest {
 protected:
  /// The controller's destruction sequence still reads the gauge hooks set up here, but no
  /// longer the hooks of a test body whose locals are gone.
  ~GasTest() override {
    host.onYield = nullptr;
    host.onBox = nullptr;
    destroy();
  }

  /// Controller with this model and gas, a card selected, pop-ups as given, 100 ms per yield.
  Morvand& start(int16_t model = 5, int16_t gas = 1, bool popups = false);

  /// Seconds on the virtual clock.
  double now();
  /// Seconds since pattern was last written to the valve port (large when never).
  double sinceOpened(int16_t pattern);
  /// Valve patterns the ValveStatus events reported, in order.
  std::vector<int> valvePatterns() const;
  /// Every pattern written to the valve port with the time of the write, s.
  const std::vector<std::pair<int16_t, double>>& valveWrites() const { return writes_; }
  /// Lines of the valve port as last written.
  int16_t valvePort() { return card->portOut[1]; }
  /// Gauge readings (AIVoltageIn on channel 0) so far.
  size_t gaugeReadings() const;

  /// Drives the gauge from a law per valve pattern (argument: seconds since that pattern was
  /// written); under any other pattern the sealed chamber keeps its last pressure.
  void script(float initial, std::map<int16_t, std::function<float(double)>> laws);

  /// What the operator was told, in order: "text|style|title" of each box with pop-ups,
  /// the text of each LaserMessenger event without.
  std::vector<std::string> told() const;
  /// The entry told() holds for one message in the current PopupMessage mode.
  std::string say(const std::string& text, int16_t style, const std::string& title) const;

  void setRunActive(bool active);
  detail::GasState& gasState();
  detail::MessageState& messageState();
  detail::FillState& fillState();

  /// The pressure behind the gauge, Torr; by default the healthy chamber.
  std::function<float()> pressure;
  Chamber chamber;
  int32_t scale = 0;

 private:
  std::map<int16_t, double> opened_;
  std::vector<std::pair<int16_t, double>> writes_;
  std::map<int16_t, std::function<float(double)>> laws_;
  float held_ = 0.0f;
};

/// A procedure's tests, run once with pop-ups (parameter true) and once without.
class PopupModeTest : public GasTest, public ::testing::WithParamInterface<bool> {
 protected:
  bool popups() const { return GetParam(); }
  /// What every run of the procedure says first (nothing unless a test says otherwise).
  virtual Strings opening() const { return {}; }
  /// The opening followed by more.
  Strings openingAnd(const Strings& more) const {
    Strings all = opening();
    all.insert(all.end(), more.begin(), more.end());
    return all;
  }
};

}  // namespace morvand::test
