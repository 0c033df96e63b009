// The high-voltage test: a chosen DC charging voltage on the laser head, without any
// trigger. It always talks to the operator through modal boxes.

#include <string>

#include "controller/state.hpp"
#include "morvand/morvand.hpp"
#include "util/numeric.hpp"

namespace morvand {

namespace {
constexpr float kTestVoltMax = 8.0f;  // kV
}  // namespace

float Morvand::HVTest() {
  if (!state_->cardSelected()) return 0.0f;
  // The test drives the enable and charge lines that a run or a gas procedure in progress
  // relies on: refused before anything is asked or switched.
  if (state_->run_.active) {
    state_->operatorMessage("STOP THE LASER BEFORE STARTING A HIGH VOLTAGE TEST", kStyleWarning,
                            "LASER RUNNING");
    return 0.0f;
  }
  if (state_->gas_.procedureActive) {
    state_->operatorMessage("GAS PROCEDURE IN PROGRESS, CANNOT START A HIGH VOLTAGE TEST",
                            kStyleWarning, "START ABORT");
    return 0.0f;
  }
  state_->msg_.MsgText =
      "THIS TEST IS HARZARDOUS, A DC HV IS APPLIED TO THE LASER HEAD, DO YOU WISH TO PROCEED?";
  state_->msg_.MsgStyle = kStyleYesNoCancel;
  state_->msg_.MsgTitle = "HAZARD:HIGH VOLTAGE WARNING";
  const int16_t answer = state_->askComposed();
  if (answer == kAnswerNo || answer == kAnswerCancel) return 0.0f;

  float volts = 0.0f;  // kV
  for (;;) {
    const std::string entry = state_->host_.inputBox("ENTER HIGH VOLTAGE VALUE BETWEEN 0 AND 8kV",
                                                     "INPUT HIGH VOLTAGE", "5");
    if (entry.empty()) return 0.0f;  // nothing has been switched yet
    double value = 0.0;
    if (!util::parseNumber(entry, value)) {
      state_->host_.messageBox("YOU MUST ENTER A VOLTAGE VALUE", kStyleInfo, "ERROR");
      continue;
    }
    volts = util::toSingle(value);
    if (volts > kTestVoltMax) {
      state_->host_.messageBox("VOLTAGE IS OUT OVERRANGE PLEASE RESET", kStyleWarning,
                               "OVERRANGE ERROR");
    } else if (volts < 0.0f) {
      state_->host_.messageBox("VOLTAGE IS UNDERRANGE PLEASE RESET", kStyleWarning,
                               "UNDERRANGE ERROR");
    } else {
      break;
    }
  }
  try {
    state_->EnableDC();  // charge-mode and enable lines in one write
    VoltageSet(volts);
    VoltageMes();
    Waiting(1.0);
    // Two readings after the wait: the two-sample average then holds only settled values.
    VoltageMes();
    VoltageMes();
  } catch (...) {
    // An error (a host handler that throws during the wait) ends the test: the head is not
    // left charged behind it. The test's own error is the one the host gets.
    try {
      state_->switchOffSequence({[this] { Enable(false); }, [this] { VoltageOff(); }});
    } catch (...) {
    }
    throw;
  }
  return HVoltage;
}

}  // namespace morvand
