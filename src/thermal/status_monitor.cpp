// The host's status poll: measurements, head connection and 12 V supply, gas-pressure
// problems, optional thermal and thyratron checks, the warm-up when due, the external rate.

#include "card/wiring.hpp"
#include "controller/state.hpp"
#include "morvand/morvand.hpp"

namespace morvand {

namespace {

/// A gauge below this and a sensor below kUnpluggedTemp mean the head cable is off.
constexpr float kUnpluggedPressure = -20.0f;              // Torr
constexpr float kUnpluggedTemp = -5.0f;                   // degC
constexpr float kSupplyMinimum = wiring::kSupplyPresent;  // V

/// The signal to the host that the head is unplugged or unpowered.
constexpr float kNoReading = -1.0f;

}  // namespace

void Morvand::MorvandStatus(bool CheckState) {
  if (!state_->cardSelected()) return;

  PressMes();
  TempMes();
  VoltageMes();
  if (HVoltage < 0.0f) HVoltage = 0.0f;

  if (Pressure < kUnpluggedPressure && temp < kUnpluggedTemp) {
    state_->operatorMessage("CONNECT THE 25 PIN CONNECTOR TO THE LASER", kStyleOk,
                            "LASER NOT CONNECTED");
    state_->events().Measurements(kNoReading, kNoReading, kNoReading, kNoReading, kNoReading);
    Waiting(2.0);
    return;
  }

  if (VoltTest12() < kSupplyMinimum) {
    // A supply lost after a warm-up calls for a new warm-up once it is back.
    if (state_->thyratron_.WarmupDone > 0) state_->thyratron_.WarmupDone = -1;
    state_->events().Measurements(kNoReading, kNoReading, kNoReading, kNoReading, kNoReading);
    return;
  }

  // Pressure problems always go out as events. A negative reading is a gauge fault in any
  // unit; the upper limits are per unit (Torr uses the model's maximum).
  if (Pressure < 0.0f) {
    state_->events().LaserMessenger("GAS PRESSURE PROBLEM, THE LASER REQUIRES SERVICE");
  }
  if (Punits == 3 && Pressure > state_->model_.PressMax) {
    state_->events().LaserMessenger("TORR GAS PRESSURE PROBLEM, THE LASER REQUIRES SERVICE");
  } else if (Punits == 2 && Pressure > 500.0f) {
    state_->events().LaserMessenger("kPASCAL GAS PRESSURE PROBLEM, THE LASER REQUIRES SERVICE");
  } else if (Punits == 1 && Pressure > 5000.0f) {
    state_->events().LaserMessenger("mBAR GAS PRESSURE PROBLEM, THE LASER REQUIRES SERVICE");
  }

  float filament = kNoReading;
  if (CheckState) {
    // The inputs are read with the enable line on; afterwards it returns to where it was,
    // so a poll during a run leaves the laser firing, unless a failed input asked it to stop.
    const bool wasOn = state_->enableLineOn();
    Enable(true);
    TempControl(0.1f);
    filament = ThyratronMes();
    status();
    StateTest1711();
    // The enable line returns to the state it had before the poll; switching it off is a
    // step that makes the laser safe.
    if (wasOn && flag2 != kRunStop) {
      Enable(true);
    } else {
      state_->switchOffSequence({[this] { Enable(false); }});
    }
  }
  state_->events().Measurements(temp, Pressure, HVoltage, filament, state_->hv_.VoltTest);

  // A warm-up is never started inside a run, a gas procedure or another warm-up: the next
  // poll outside them starts it.
  const bool busy = state_->run_.active || state_->gas_.procedureActive || ThyState;
  if (state_->thyratron_.WarmupDone < 1 && !busy) ThyWarmup(ThyTime);

  ExtRepRateMes();
}

}  // namespace morvand
