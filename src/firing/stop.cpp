// Steering a run from outside: stop, pause (standby), resume and the pulse budget.
// These never wait for the run loop; they switch the trigger source or the enable line at
// once and leave the rest to the loop's next pass through flag2.

#include <string>

#include "controller/state.hpp"
#include "morvand/morvand.hpp"
#include "util/numeric.hpp"

namespace morvand {

namespace {

/// The budget that stands for continuous operation.
constexpr int32_t kContinuous = 50000000;
/// The largest budget an operator may type.
constexpr int32_t kLargestBudget = 10000000;

}  // namespace

void Morvand::LaserStop() { flag2 = kRunStop; }

void Morvand::LaserPause(bool Disabled) {
  // With external triggering only the enable line can hold the laser; with internal
  // triggering the generator stops and the enable line stays as it is.
  if (Disabled || TrigMode == 1) {
    Enable(false);
  } else {
    PulseReset();
  }
  flag2 = kRunStandby;
}

void Morvand::LaserRestart(bool Disabled) {
  // The generator restarts at the current RepRate, so a rate chosen during the pause
  // applies at once.
  if (Disabled || TrigMode == 1) {
    Enable(true);
  } else {
    Pulse(RepRate);
  }
  flag2 = kRunFire;
}

void Morvand::MaxContinue() { MaxNum = kContinuous; }

std::string Morvand::MaxNumSet() {
  std::string offered;
  if (MaxNum == kContinuous) {
    offered = "CONTINUOUS";
  } else if (MaxNum > 0) {
    offered = std::to_string(MaxNum);
  } else {
    offered = "100";
  }

  // The prompt and its boxes are modal whatever PopupMessage says; the prompt comes back
  // until the operator gives a budget or chooses continuous operation.
  for (;;) {
    const std::string answer = state_->host_.inputBox(
        "SET MAXIMUM NUMBER OF PULSES (1-10,000,000 or 'c' for Continuous)", "MAX PULSES", offered);
    double value = 0.0;
    if (util::parseNumber(answer, value)) {
      MaxNum = util::toInt32(value);
      // No lower bound: 0 and negative budgets end a run at its first pass.
      if (MaxNum <= kLargestBudget) return std::to_string(MaxNum);
      // Yes and No buttons.
      state_->msg_.MsgAnswer =
          state_->host_.messageBox("TOO MANY PULSES, USE CONTINUOUS OPERATION", kStyleYesNo, "OVERFLOW");
      if (state_->msg_.MsgAnswer == 6) break;
      continue;
    }
    if (answer == "C" || answer == "c" || answer == "CONTINUOUS") break;
    state_->host_.beep();
    // OK button with the information icon.
    state_->host_.messageBox("YOU MUST ENTER A VALID NUMBER 1-10,000,000 OR 'c' FOR CONTINUOUS",
                             kStyleInfo, "ERROR");
  }
  MaxNum = kContinuous;
  return "CONTINUOUS";
}

}  // namespace morvand
