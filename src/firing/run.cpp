// LaserRun: start checks, start sequence, the loop, the stop sequence and the pulse
// accounting. The passes themselves are in run_loop.cpp.

#include "controller/state.hpp"
#include "model/model_rules.hpp"
#include "morvand/card_context.hpp"
#include "morvand/morvand.hpp"
#include "util/numeric.hpp"

namespace morvand {

namespace {

constexpr int32_t kContinuous = 50000000;
/// Rate used when the run starts below the card's lowest rate and nobody can be asked, Hz.
constexpr int32_t kFallbackRate = 200;
constexpr float kPressureRefused = 500.0f;  // Torr
constexpr float kPressureLow = 1200.0f;     // Torr
/// Time the discharge needs after the thyratron is switched on, s: from standby the
/// filament must first reach its operating temperature.
constexpr double kStartWait = 7.0;
constexpr double kStartWaitFromStandby = 30.0;
constexpr const char* kNoEnergyScale =
    "CONSTANT ENERGY IS NOT AVAILABLE FOR THIS LASER AND GAS, USE CONSTANT VOLTAGE OPERATION";
/// Told when the counting counter cannot be started and the run goes on by estimate.
constexpr const char* kCountingFailed =
    "PULSE COUNTER FAILED, PULSES ARE ESTIMATED FROM THE REPETITION RATE";

/// Marks a run as active for the lifetime of the call, whatever way it leaves.
class ActiveRun {
 public:
  explicit ActiveRun(bool& flag) : flag_(flag) { flag_ = true; }
  ~ActiveRun() { flag_ = false; }
  ActiveRun(const ActiveRun&) = delete;
  ActiveRun& operator=(const ActiveRun&) = delete;

 private:
  bool& flag_;
};

}  // namespace

void Morvand::LaserRun(int16_t mTrigMode) {
  // A second run from a host handler, or a run during a gas procedure, would drive the
  // same lines from two loops at once: refused before anything changes.
  if (state_->run_.active) {
    operatorMessage("LASER IS ALREADY RUNNING", kStyleWarning, "LASER RUNNING");
    return;
  }
  if (state_->gas_.procedureActive) {
    operatorMessage("GAS PROCEDURE IN PROGRESS, CANNOT START", kStyleWarning, "START ABORT");
    return;
  }
  ActiveRun active(state_->run_.active);
  state_->run_.counting = false;
  state_->run_.countFromFirstFiring = false;
  state_->run_.estimating = false;

  Punits = 3;  // the pressure limits below are in Torr
  flag2 = kRunFire;
  if (mTrigMode >= 0) TrigMode = mTrigMode;

  if (!runStartChecks()) return;
  // The rate a refused rate change returns to when the generator is not running.
  state_->run_.firingRate = RepRate <= state_->model_.RepRateMax ? RepRate : 0;
  try {
    if (runStartSequence()) {
      while (runPass()) {
      }
    }
  } catch (...) {
    // An error from a host handler or an arithmetic fault ends the call, but must not leave
    // the laser firing with no loop watching its supply and temperature, nor lose the
    // pulses fired so far.
    runStopAfterError();
    throw;
  }
  runStopSequence();
}

bool Morvand::runStartChecks() {
  if (MaxNum < 1) {
    if (PopupMessage) {
      MaxNumSet();
    } else {
      MaxNum = kContinuous;
    }
  }
  // A rate above the model's top would leave the generator stopped while the run reports
  // "Laser Running": it is handled as a rate below the card's lowest one.
  if ((RepRate < state_->card_.RepRateMin || RepRate > state_->model_.RepRateMax) && TrigMode == 0) {
    // The outcome is not tested again: whatever the operator leaves is used.
    if (PopupMessage) {
      ReprateSet();
    } else {
      if (RepRate < state_->card_.RepRateMin) RepRate = kFallbackRate;
      if (RepRate > state_->model_.RepRateMax) RepRate = state_->model_.RepRateMax;
    }
  }

  PressMes();
  if (!modelRules(LaserTypeFlag).lowPressureStart) {
    if (Pressure < kPressureRefused) {
      state_->host_.beep();
      operatorMessage("PRESSURE TOO LOW CANNOT START", kStyleInfo, "START ABORT");
      return false;
    }
    if (Pressure < kPressureLow) {
      state_->host_.beep();
      operatorMessage("LOW GAS PRESSURE WARNING", kStyleWarning, "LOW GAS PRESSURE");
    }
  } else if (Pressure < kPressureRefused) {
    state_->host_.beep();
    operatorMessage("LOW GAS PRESSURE WARNING", kStyleWarning, "LOW GAS PRESSURE");
  }
  if (Pressure > state_->model_.PressMax) {
    state_->host_.beep();
    operatorMessage("HIGH GAS PRESSURE WARNING CANNOT START", kStyleWarning, "OVER PRESSURE");
    return false;
  }

  TempMes();
  if (temp > state_->model_.TempMax) {
    operatorMessage("LASER OPERATING TEMPERATURE EXCEEDED", kStyleWarning, "OVER HEAT");
    return false;
  }

  // Without an energy scale every energy reads 0, and constant energy would only drive the
  // charging voltage up to its limit.
  if (mode == 1 && !(state_->model_.EnergyScale > 0.0f)) {
    operatorMessage(kNoEnergyScale, kStyleWarning, "START ABORT");
    return false;
  }
  // The charger is never programmed above the model's limit.
  if (VoltSet > HiVoltMax) {
    operatorMessage("Maximum Voltage Reached", kStyleInfo, "MAX VOLTAGE");
    return false;
  }
  return true;
}

bool Morvand::runStartSequence() {
  yieldToHost();
  Fan(true);
  Immediate(ChMode);
  events().LaserMessenger("Starting Laser");

  state_->run_.t0 = myTimer();
  const bool fromStandby = ThyStandby >= 1;
  ThyStandbySet(0);
  motorRamp(ExtRepRate > 0.0f ? util::toInt32(ExtRepRate) : RepRate, true);

  if (fromStandby) FilamentCheck();
  Waiting(state_->run_.t0 + (fromStandby ? kStartWaitFromStandby : kStartWait) - myTimer());

  state_->run_.VoltSetOld = VoltSet;
  CounterTotal = 0;
  PulseNum = 0;
  state_->run_.counting = true;
  // A stop asked for while the start waited (LaserStop, Halt, a failed power or interlock
  // input) stands: nothing is switched on, and the first pass ends the run.
  if (flag2 == kRunStop) return true;
  if (VoltSet > HiVoltMax) {
    // Raised by the host during the start wait: never sent, the run ends as at the
    // constant-energy limit.
    Enable(false);
    operatorMessage("Maximum Voltage Reached", kStyleInfo, "MAX VOLTAGE");
    return false;
  }
  VoltageSet(VoltSet);
  // A charger that cannot be programmed cannot fire the laser: the run ends before a pulse
  // is counted, as when the enable line cannot be switched on.
  if (cardSelected() && CardContext::current().DriverStatus != 0) {
    flag2 = kRunStop;
    events().LaserMessenger("Laser Operation Stopped");
    return false;
  }

  const char* text = nullptr;
  if (LaserStandby && TrigMode == 0) {
    state_->run_.tNext = myTimer() + 1.0;
    flag2 = kRunStandby;
    state_->run_.flag2Old = kRunStandby;
    state_->run_.countFromFirstFiring = true;
    text = "Laser Standby";
  } else {
    if (!CountDisabled) CounterStop(state_->card_.ExtTrigCounter);
    Waiting(0.1);
    if (flag2 == kRunStop) return true;
    if (TrigMode == 0) Pulse(RepRate);  // may take the counter over (CountDisabled)
    if (!runEnableFiring()) return false;
    if (!CountDisabled) runStartCounting();
    state_->run_.t0 = myTimer();
    state_->run_.tNext = state_->run_.t0 + 1.0;
    flag2 = kRunFire;
    state_->run_.flag2Old = kRunFire;
    text = "Laser Running";
  }
  events().LaserMessenger(text);
  return true;
}

bool Morvand::runEstimates() const { return CountDisabled || state_->run_.estimating; }

bool Morvand::runEnableFiring() {
  // A laser that cannot be enabled does not fire: the run ends before a pulse is counted.
  if (setEnableLine(true) || !cardSelected()) return true;
  flag2 = kRunStop;
  events().LaserMessenger("Laser Operation Stopped");
  return false;
}

void Morvand::runStartCounting() {
  if (startCounter(state_->card_.ExtTrigCounter) || !cardSelected()) return;
  // Without a count the budget would never end the run: it goes on by estimate.
  state_->run_.estimating = true;
  events().LaserMessenger(kCountingFailed);
}

void Morvand::runStopSequence() {
  // A host handler that throws in one of the waits does not cut the sequence short: the
  // motor stop, the voltage, the control lines and the accounting still follow.
  switchOffSequence({
      [&] { Enable(false); },
      [&] {
        if (TrigMode == 0) PulseReset();
      },
      [&] { Waiting(0.1); },
      [&] { MotorVStart(0); },
      [&] { VoltageOff(); },
      [&] { Reset(); },
      [&] { Waiting(3.0); },
      [&] { accountRunPulses(); },
  });
}

void Morvand::runStopAfterError() noexcept {
  // The stop sequence without its two fixed waits, then the accounting.
  try {
    switchOffSequence({
        [&] { Enable(false); },
        [&] {
          if (TrigMode == 0) PulseReset();
        },
        [&] { MotorVStart(0); },
        [&] { VoltageOff(); },
        [&] { Reset(); },
        [&] {
          if (state_->run_.counting) accountRunPulses();
        },
    });
  } catch (...) {  // the error that ended the run is the one the host gets
  }
}

void Morvand::accountRunPulses() {
  // PulseNum already holds every pulse of the run, those before a pause or a rate change
  // included, so it is added once.
  CounterTotal = PulseNum;
  CumTotalPulses = util::checkedInt32(static_cast<int64_t>(CumTotalPulses) + CounterTotal);
  PulsesThisFill = util::checkedInt32(static_cast<int64_t>(PulsesThisFill) + CounterTotal);
}

}  // namespace morvand
