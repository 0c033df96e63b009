// LaserRun: start checks, start sequence, the loop, the stop sequence and the pulse
// accounting. The passes themselves are in run_loop.cpp.

#include "morvand/morvand.hpp"
#include "util/numeric.hpp"

namespace morvand {

namespace {

constexpr int32_t kContinuous = 50000000;
/// Rate used when the run starts below the card's lowest rate and nobody can be asked, Hz.
constexpr int32_t kFallbackRate = 200;
/// Model code of the one model that may start below 500 Torr (with a warning).
constexpr int16_t kLowPressureModel = 32;
constexpr float kPressureRefused = 500.0f;  // Torr
constexpr float kPressureLow = 1200.0f;     // Torr
/// Time the discharge needs after the thyratron is switched on, s: from standby the
/// filament must first reach its operating temperature.
constexpr double kStartWait = 7.0;
constexpr double kStartWaitFromStandby = 30.0;

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

/// The switching steps of the stop sequence, without its waits or the pulse accounting,
/// each tried even when an earlier one fails: used when an error leaves the run.
void switchOffAfterError(Morvand& m) noexcept {
  const auto attempt = [](auto&& step) {
    try {
      step();
    } catch (...) {  // the error that ended the run is the one the host gets
    }
  };
  attempt([&] { m.Enable(false); });
  if (m.TrigMode == 0) attempt([&] { m.PulseReset(); });
  attempt([&] { m.MotorVStart(0); });
  attempt([&] { m.VoltageOff(); });
  attempt([&] { m.Reset(); });
}

}  // namespace

void Morvand::LaserRun(int16_t mTrigMode) {
  // A second run from a host handler, or a run during a gas procedure, would drive the
  // same lines from two loops at once: refused before anything changes.
  if (run_.active) {
    operatorMessage("LASER IS ALREADY RUNNING", 48, "LASER RUNNING");
    return;
  }
  if (gas_.procedureActive) {
    operatorMessage("GAS PROCEDURE IN PROGRESS, CANNOT START", 48, "START ABORT");
    return;
  }
  ActiveRun active(run_.active);

  Punits = 3;  // the pressure limits below are in Torr
  flag2 = 0;
  if (mTrigMode >= 0) TrigMode = mTrigMode;

  if (!runStartChecks()) return;
  try {
    runStartSequence();
    while (runPass()) {
    }
  } catch (...) {
    // An error from a host handler or an arithmetic fault ends the call, but must not leave
    // the laser firing with no loop watching its supply and temperature.
    switchOffAfterError(*this);
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
  if (RepRate < card_.RepRateMin && TrigMode == 0) {
    // The outcome is not tested again: whatever the operator leaves is used.
    if (PopupMessage) {
      ReprateSet();
    } else {
      RepRate = kFallbackRate;
    }
  }

  PressMes();
  if (LaserTypeFlag != kLowPressureModel) {
    if (Pressure < kPressureRefused) {
      host_.beep();
      operatorMessage("PRESSURE TOO LOW CANNOT START", 64, "START ABORT");
      return false;
    }
    if (Pressure < kPressureLow) {
      host_.beep();
      operatorMessage("LOW GAS PRESSURE WARNING", 48, "LOW GAS PRESSURE");
    }
  } else if (Pressure < kPressureRefused) {
    host_.beep();
    operatorMessage("LOW GAS PRESSURE WARNING", 48, "LOW GAS PRESSURE");
  }
  if (Pressure > model_.PressMax) {
    host_.beep();
    operatorMessage("HIGH GAS PRESSURE WARNING CANNOT START", 48, "OVER PRESSURE");
    return false;
  }

  TempMes();
  if (temp > model_.TempMax) {
    operatorMessage("LASER OPERATING TEMPERATURE EXCEEDED", 48, "OVER HEAT");
    return false;
  }
  return true;
}

void Morvand::runStartSequence() {
  yieldToHost();
  Fan(true);
  Immediate(ChMode);
  events().LaserMessenger("Starting Laser");

  run_.t0 = util::toSingle(myTimer());
  const bool fromStandby = ThyStandby >= 1;
  ThyStandbySet(0);
  MotorVStart(ExtRepRate > 0.0f ? util::toInt32(ExtRepRate) : RepRate);

  if (fromStandby) FilamentCheck();
  const double ready =
      static_cast<double>(run_.t0) + (fromStandby ? kStartWaitFromStandby : kStartWait);
  Waiting(ready - myTimer());

  run_.VoltSetOld = VoltSet;
  CounterTotal = 0;
  PulseNum = 0;
  // A stop asked for while the start waited (LaserStop, Halt, a failed power or interlock
  // input) stands: nothing is switched on, and the first pass ends the run.
  if (flag2 == 1) return;
  VoltageSet(VoltSet);

  const char* text = nullptr;
  if (LaserStandby && TrigMode == 0) {
    run_.tNext = util::toSingle(myTimer() + 1.0);
    flag2 = 2;
    run_.flag2Old = 2;
    text = "Laser Standby";
  } else {
    if (!CountDisabled) CounterStop(card_.ExtTrigCounter);
    Waiting(0.1);
    if (flag2 == 1) return;
    if (TrigMode == 0) Pulse(RepRate);  // may take the counter over (CountDisabled)
    Enable(true);
    if (!CountDisabled) CounterStart(card_.ExtTrigCounter);
    run_.t0 = util::toSingle(myTimer());
    run_.tNext = util::toSingle(static_cast<double>(run_.t0) + 1.0);
    flag2 = 0;
    run_.flag2Old = 0;
    text = "Laser Running";
  }
  events().LaserMessenger(text);
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

void Morvand::accountRunPulses() {
  // PulseNum already holds every pulse of the run, those before a pause or a rate change
  // included, so it is added once.
  CounterTotal = PulseNum;
  CumTotalPulses = util::checkedInt32(static_cast<int64_t>(CumTotalPulses) + CounterTotal);
  PulsesThisFill = util::checkedInt32(static_cast<int64_t>(PulsesThisFill) + CounterTotal);
}

}  // namespace morvand
