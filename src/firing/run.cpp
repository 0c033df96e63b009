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
    state_->operatorMessage("LASER IS ALREADY RUNNING", kStyleWarning, "LASER RUNNING");
    return;
  }
  if (state_->gas_.procedureActive) {
    state_->operatorMessage("GAS PROCEDURE IN PROGRESS, CANNOT START", kStyleWarning,
                            "START ABORT");
    return;
  }
  ActiveRun active(state_->run_.active);
  state_->run_.counting = false;
  state_->run_.countFromFirstFiring = false;
  state_->run_.estimating = false;

  Punits = 3;  // the pressure limits below are in Torr
  flag2 = kRunFire;
  if (mTrigMode >= 0) TrigMode = mTrigMode;

  if (!state_->runStartChecks()) return;
  // The rate a refused rate change returns to when the generator is not running.
  state_->run_.firingRate = RepRate <= state_->model_.RepRateMax ? RepRate : 0;
  try {
    if (state_->runStartSequence()) {
      while (state_->runPass()) {
      }
    }
  } catch (...) {
    // An error from a host handler or an arithmetic fault ends the call, but must not leave
    // the laser firing with no loop watching its supply and temperature, nor lose the
    // pulses fired so far.
    state_->runStopAfterError();
    throw;
  }
  state_->runStopSequence();
}

bool Morvand::State::runStartChecks() {
  if (m.MaxNum < 1) {
    if (m.PopupMessage) {
      m.MaxNumSet();
    } else {
      m.MaxNum = kContinuous;
    }
  }
  // A rate above the model's top would leave the generator stopped while the run reports
  // "Laser Running": it is handled as a rate below the card's lowest one.
  if ((m.RepRate < card_.RepRateMin || m.RepRate > model_.RepRateMax) && m.TrigMode == 0) {
    // The outcome is not tested again: whatever the operator leaves is used.
    if (m.PopupMessage) {
      m.ReprateSet();
    } else {
      if (m.RepRate < card_.RepRateMin) m.RepRate = kFallbackRate;
      if (m.RepRate > model_.RepRateMax) m.RepRate = model_.RepRateMax;
    }
  }

  m.PressMes();
  if (!modelRules(m.LaserTypeFlag).lowPressureStart) {
    if (m.Pressure < kPressureRefused) {
      host_.beep();
      operatorMessage("PRESSURE TOO LOW CANNOT START", kStyleInfo, "START ABORT");
      return false;
    }
    if (m.Pressure < kPressureLow) {
      host_.beep();
      operatorMessage("LOW GAS PRESSURE WARNING", kStyleWarning, "LOW GAS PRESSURE");
    }
  } else if (m.Pressure < kPressureRefused) {
    host_.beep();
    operatorMessage("LOW GAS PRESSURE WARNING", kStyleWarning, "LOW GAS PRESSURE");
  }
  if (m.Pressure > model_.PressMax) {
    host_.beep();
    operatorMessage("HIGH GAS PRESSURE WARNING CANNOT START", kStyleWarning, "OVER PRESSURE");
    return false;
  }

  m.TempMes();
  if (m.temp > model_.TempMax) {
    operatorMessage("LASER OPERATING TEMPERATURE EXCEEDED", kStyleWarning, "OVER HEAT");
    return false;
  }

  // Without an energy scale every energy reads 0, and constant energy would only drive the
  // charging voltage up to its limit.
  if (m.mode == 1 && !(model_.EnergyScale > 0.0f)) {
    operatorMessage(kNoEnergyScale, kStyleWarning, "START ABORT");
    return false;
  }
  // The charger is never programmed above the model's limit.
  if (m.VoltSet > m.HiVoltMax) {
    operatorMessage("Maximum Voltage Reached", kStyleInfo, "MAX VOLTAGE");
    return false;
  }
  return true;
}

bool Morvand::State::runStartSequence() {
  yieldToHost();
  m.Fan(true);
  m.Immediate(m.ChMode);
  events().LaserMessenger("Starting Laser");

  run_.t0 = m.myTimer();
  const bool fromStandby = m.ThyStandby >= 1;
  m.ThyStandbySet(0);
  motorRamp(m.ExtRepRate > 0.0f ? util::toInt32(m.ExtRepRate) : m.RepRate, true);

  if (fromStandby) m.FilamentCheck();
  m.Waiting(run_.t0 + (fromStandby ? kStartWaitFromStandby : kStartWait) - m.myTimer());

  run_.VoltSetOld = m.VoltSet;
  m.CounterTotal = 0;
  m.PulseNum = 0;
  run_.counting = true;
  // A stop asked for while the start waited (LaserStop, Halt, a failed power or interlock
  // input) stands: nothing is switched on, and the first pass ends the run.
  if (m.flag2 == kRunStop) return true;
  if (m.VoltSet > m.HiVoltMax) {
    // Raised by the host during the start wait: never sent, the run ends as at the
    // constant-energy limit.
    m.Enable(false);
    operatorMessage("Maximum Voltage Reached", kStyleInfo, "MAX VOLTAGE");
    return false;
  }
  m.VoltageSet(m.VoltSet);
  // A charger that cannot be programmed cannot fire the laser: the run ends before a pulse
  // is counted, as when the enable line cannot be switched on.
  if (cardSelected() && CardContext::current().DriverStatus != 0) {
    m.flag2 = kRunStop;
    events().LaserMessenger("Laser Operation Stopped");
    return false;
  }

  const char* text = nullptr;
  if (m.LaserStandby && m.TrigMode == 0) {
    run_.tNext = m.myTimer() + 1.0;
    m.flag2 = kRunStandby;
    run_.flag2Old = kRunStandby;
    run_.countFromFirstFiring = true;
    text = "Laser Standby";
  } else {
    if (!m.CountDisabled) m.CounterStop(card_.ExtTrigCounter);
    m.Waiting(0.1);
    if (m.flag2 == kRunStop) return true;
    if (m.TrigMode == 0) m.Pulse(m.RepRate);  // may take the counter over (CountDisabled)
    if (!runEnableFiring()) return false;
    if (!m.CountDisabled) runStartCounting();
    run_.t0 = m.myTimer();
    run_.tNext = run_.t0 + 1.0;
    m.flag2 = kRunFire;
    run_.flag2Old = kRunFire;
    text = "Laser Running";
  }
  events().LaserMessenger(text);
  return true;
}

bool Morvand::State::runEstimates() const { return m.CountDisabled || run_.estimating; }

bool Morvand::State::runEnableFiring() {
  // A laser that cannot be enabled does not fire: the run ends before a pulse is counted.
  if (setEnableLine(true) || !cardSelected()) return true;
  m.flag2 = kRunStop;
  events().LaserMessenger("Laser Operation Stopped");
  return false;
}

void Morvand::State::runStartCounting() {
  if (startCounter(card_.ExtTrigCounter) || !cardSelected()) return;
  // Without a count the budget would never end the run: it goes on by estimate.
  run_.estimating = true;
  events().LaserMessenger(kCountingFailed);
}

void Morvand::State::runStopSequence() {
  // A host handler that throws in one of the waits does not cut the sequence short: the
  // motor stop, the voltage, the control lines and the accounting still follow.
  switchOffSequence({
      [&] { m.Enable(false); },
      [&] {
        if (m.TrigMode == 0) m.PulseReset();
      },
      [&] { m.Waiting(0.1); },
      [&] { m.MotorVStart(0); },
      [&] { m.VoltageOff(); },
      [&] { m.Reset(); },
      [&] { m.Waiting(3.0); },
      [&] { accountRunPulses(); },
  });
}

void Morvand::State::runStopAfterError() noexcept {
  // The stop sequence without its two fixed waits, then the accounting.
  try {
    switchOffSequence({
        [&] { m.Enable(false); },
        [&] {
          if (m.TrigMode == 0) m.PulseReset();
        },
        [&] { m.MotorVStart(0); },
        [&] { m.VoltageOff(); },
        [&] { m.Reset(); },
        [&] {
          if (run_.counting) accountRunPulses();
        },
    });
  } catch (...) {  // the error that ended the run is the one the host gets
  }
}

void Morvand::State::accountRunPulses() {
  // PulseNum already holds every pulse of the run, those before a pause or a rate change
  // included, so it is added once.
  m.CounterTotal = m.PulseNum;
  m.CumTotalPulses = util::checkedInt32(static_cast<int64_t>(m.CumTotalPulses) + m.CounterTotal);
  m.PulsesThisFill = util::checkedInt32(static_cast<int64_t>(m.PulsesThisFill) + m.CounterTotal);
}

}  // namespace morvand
