// One pass of the run loop. The host runs during the yields of a pass and steers the run
// through flag2 and the set-point properties, which each pass reads afresh.

#include <cmath>
#include <utility>

#include "card/wiring.hpp"
#include "controller/state.hpp"
#include "morvand/morvand.hpp"
#include "util/numeric.hpp"

namespace morvand {

namespace {

constexpr float kSupplyMinimum = wiring::kSupplyPresent;  // V
/// Charging-voltage step of the constant-energy regulation, kV per pass.
constexpr double kEnergyStep = 0.0005;
/// Identifier of the run loop in the MotorSelect event.
constexpr int16_t kRunLoopId = 6;

}  // namespace

int32_t Morvand::estimatedPulses(double now) const {
  // With internal triggering the generator ran at RepRateOld since t0; RepRate may already
  // hold a new request. An external trigger has no generator here (RepRateOld stays 0):
  // its rate is the one the host gives in RepRate.
  const int32_t rate = TrigMode == 0 ? RepRateOld : RepRate;
  // Only whole pulses: a pulse is counted once it has fired, never half a period early.
  return util::toInt32(std::floor((now - state_->run_.t0) * rate) + CounterTotal);
}

bool Morvand::runPass() {
  if (PulseNum >= MaxNum) {
    if (flag2 == kRunStop) {
      events().LaserMessenger("Laser Operation Stopped");
    } else {
      flag2 = kRunStop;
      events().LaserMessenger("Operation Completed");
    }
    return false;
  }
  if (flag2 == kRunStop) {
    events().LaserMessenger("Laser Operation Stopped");
    return false;
  }
  // A failed supply reading (-1.0) counts as a lost supply too.
  if (VoltTest12() < kSupplyMinimum) {
    // The box waits for the operator: the laser is disabled before it opens.
    if (PopupMessage) Enable(false);
    operatorMessage("LASER POWER OFF", kStyleWarning, "POWER OFF");
    return false;
  }
  yieldToHost();

  if (flag2 == kRunStop) {
    events().LaserMessenger("Laser Operation Stopped");
  } else if (flag2 == kRunStandby) {
    state_->run_.flag2Old = kRunStandby;
    events().LaserMessenger("Laser Standby");
  } else if (!runFiringStep()) {
    return false;
  }
  yieldToHost();

  const double now = myTimer();
  if (now > state_->run_.tNext) {
    // One second per block: after a stall the block runs on consecutive passes.
    state_->run_.tNext += 1.0;
    TempMes();
    if (temp > state_->model_.TempMax) {
      Enable(false);
      // OK button with the critical icon.
      operatorMessage("LASER OPERATING TEMPERATURE EXCEEDED, OPERATION HALTED", kStyleStop,
                      "OVERTEMPERATURE");
      return false;
    }
    PressMes();
    VoltageMes();
    ThyratronMes();
    events().Measurements(temp, Pressure, HVoltage, state_->thyratron_.FilaVolt,
                          state_->hv_.VoltTest);
    yieldToHost();
  }
  Waiting(0.01);
  events().ExtStartState(ExtStart());
  events().MotorSelect(mmode, kRunLoopId);
  return true;
}

bool Morvand::runFiringStep() {
  if (state_->run_.flag2Old == kRunStandby) {
    // Resume: the pulses so far become the base of the new stretch.
    CounterTotal = PulseNum;
    state_->run_.t0 = myTimer();
    // The first firing of a run started in standby clears the counting counter as a firing
    // start does: counts an earlier run or a rate measurement left there are not this run's.
    const bool firstFiring = std::exchange(state_->run_.countFromFirstFiring, false) && !CountDisabled;
    if (firstFiring) CounterStop(state_->card_.ExtTrigCounter);
    if (!runEnableFiring()) return false;
    if (firstFiring) runStartCounting();
    state_->run_.flag2Old = kRunFire;
    events().LaserMessenger("Laser Running");
    Waiting(0.02);
  }
  if (ChMode != ChModeOld) Immediate(ChMode);
  EnergyMes();

  if (mode == 1) {
    // Constant energy: step the charging voltage towards SetEnergy, within the window. The
    // stepped value stays in VoltSet also when it crossed a limit.
    if (Energy < SetEnergy) {
      VoltSet = util::toSingle(static_cast<double>(VoltSet) + kEnergyStep);
      if (VoltSet > HiVoltMax) {
        Enable(false);
        operatorMessage("Maximum Voltage Reached", kStyleInfo, "MAX VOLTAGE");
        return false;
      }
      VoltageSet(VoltSet);
    } else if (Energy > SetEnergy) {
      VoltSet = util::toSingle(static_cast<double>(VoltSet) - kEnergyStep);
      if (VoltSet < HiVoltMin) {
        Enable(false);
        operatorMessage("Minimum Voltage Reached", kStyleInfo, "MIN VOLTAGE");
        return false;
      }
      VoltageSet(VoltSet);
    }
  } else if (state_->run_.VoltSetOld != VoltSet) {
    if (VoltSet > HiVoltMax) {
      // Never sent to the charger: the run ends as at the constant-energy limit.
      Enable(false);
      operatorMessage("Maximum Voltage Reached", kStyleInfo, "MAX VOLTAGE");
      return false;
    }
    state_->run_.VoltSetOld = VoltSet;
    VoltageSet(VoltSet);
  }

  const int16_t counter = state_->card_.ExtTrigCounter;
  if (runEstimates()) {
    PulseNum = estimatedPulses(myTimer());
  } else {
    if (CounterRead(counter) && TrigMode == 1) {
      ExtRepRate = util::toSingle(state_->counters_.CountFreq[static_cast<size_t>(counter)]);
      if (static_cast<double>(ExtRepRate) != ExtRepRate1) motorRamp(RepRate, true);
    }
    PulseNum = state_->counters_.CountNow[static_cast<size_t>(counter)];
  }
  events().LaserRunning(PulseNum, Energy);

  if (TrigMode == 0 && RepRate != RepRateOld && RepRate > state_->model_.RepRateMax) {
    // The generator would stop while the run goes on: the request is refused, and the rate
    // returns to the one the generator runs at (or, stopped, was last asked for).
    RepRate = RepRateOld != 0 ? RepRateOld : state_->run_.firingRate;
    operatorMessage("REPETITION RATE IS OVERRANGE PLEASE RESET", kStyleWarning, "OVERRANGE ERROR");
  }
  if (TrigMode == 0 && RepRate != RepRateOld) {
    const bool slower = RepRate < RepRateOld;
    if (!slower) motorRamp(RepRate, true);
    if (runEstimates()) {
      // Fold the stretch fired at the old rate into the base before the rate changes.
      const double now = myTimer();
      PulseNum = estimatedPulses(now);
      CounterTotal = PulseNum;
      state_->run_.t0 = now;
    }
    Pulse(RepRate);
    state_->run_.firingRate = RepRate;
    if (slower) motorRamp(RepRate, true);
  }
  return true;
}

}  // namespace morvand
