// Thyratron: warm-up countdown, standby line and filament-voltage checks.
//
// The filament voltage arrives on analog input 3 at half scale (two volts of filament per
// input volt). The standby line is bit 0 of output port 0: high puts the thyratron to sleep
// at a lower filament voltage.

#include "card/wiring.hpp"
#include "controller/state.hpp"
#include "morvand/morvand.hpp"
#include "util/numeric.hpp"

namespace morvand {

namespace {

constexpr int16_t kFilamentChannel = wiring::kFilamentChannel;
constexpr int16_t kStandbyPort = wiring::kControlPort;
constexpr int16_t kStandbyMask = wiring::kStandbyLine;
/// Below this the 12 V supply of the laser head counts as missing, V.
constexpr float kSupplyMinimum = wiring::kSupplyPresent;

/// Filament band while asleep (standby), V, both ends accepted.
constexpr float kSleepLow = 4.5f;
constexpr float kSleepHigh = 5.2f;
/// Upper end of the operating band, V; the lower end is the model's ThyLow.
constexpr float kOperatingHigh = 7.0f;

}  // namespace

bool Morvand::ThyWarmup(float /*WarmTime*/) {
  // The duration is always the model's ThyTime; the argument is kept for the interface.
  ThyState = true;
  state_->thyratron_.WarmupCancel = false;

  // Report and end times are clock readings in double precision, exact at any uptime. The
  // report time moves on by exactly one second per report, so reports do not drift with the
  // pass length.
  const double start = myTimer();
  double nextReport = start + 1.0;
  const double endTime = nextReport + ThyTime - 1.0;

  bool firstPass = true;
  double timeLeft = 0.0;
  while (firstPass || timeLeft >= 0.0) {
    if (state_->thyratron_.WarmupCancel) break;
    firstPass = false;
    state_->yieldToHost();

    // One low reading may be a glitch; two in a row mean the head lost its supply.
    VoltTest12();
    if (state_->hv_.VoltTest < kSupplyMinimum) {
      VoltTest12();
      if (state_->hv_.VoltTest < kSupplyMinimum) {
        ThyState = false;
        return false;
      }
    }

    const double now = myTimer();
    timeLeft = endTime - now;
    if (now > nextReport) {
      // The enable line is on only while the inputs are read.
      Enable(true);
      PressMes();
      VoltageMes();
      TempControl(0.1f);
      status();
      StateTest1711();
      state_->switchOffSequence({[this] { Enable(false); }});
      nextReport += 1.0;
      state_->events().Measurements(temp, Pressure, HVoltage, state_->thyratron_.FilaVolt,
                                    state_->hv_.VoltTest);
      state_->events().Warmingup(util::toSingle(timeLeft), state_->thyratron_.WarmupCancel);
    }
    Waiting(0.1);
  }

  state_->thyratron_.WarmupDone = 1;
  bool detached = true;  // the last report's Cancel is connected to nothing
  state_->events().Warmingup(0.0f, detached);
  ThyState = false;
  return true;
}

void Morvand::ThySkip() {
  if (ThyState) state_->thyratron_.WarmupCancel = true;
}

bool Morvand::ThyStandbySet(int16_t StandbyState) {
  if (!state_->cardSelected() || !EH_sys) return false;
  // Failures of this line are always shown as boxes, with a title per driver call.
  if (!state_->writePort(kStandbyPort, kStandbyMask, StandbyState,
                         State::Tags{"1-2508 Error!!", "1-7558 Error!!"})) {
    return false;
  }
  // TimeStandby is kept for the host: when the sleep (5 s) or the wake-up (30 s) settles.
  if (StandbyState == 1 && ThyStandby <= 0) {
    ThyStandby = 2;
    TimeStandby = myTimer() + 5.0;
  }
  if (StandbyState != 1 && ThyStandby >= 1) {
    ThyStandby = -1;
    TimeStandby = myTimer() + 30.0;
  }
  return true;
}

void Morvand::FilamentVolts() {
  float volts = 0.0f;
  if (state_->readAnalog(kFilamentChannel, volts)) state_->thyratron_.FilaVolt = 2.0f * volts;
}

float Morvand::ThyratronMes() {
  FilamentVolts();
  return state_->thyratron_.FilaVolt;
}

void Morvand::FilamentCheck() {
  FilamentVolts();
  const float volts = state_->thyratron_.FilaVolt;
  const char* problem = nullptr;
  if (ThyStandby >= 1) {
    if (volts < kSleepLow) {
      problem = "Low Filament Sleep Voltage";
    } else if (volts > kSleepHigh) {
      problem = "High Filament Sleep Voltage";
    }
  } else {
    if (volts < ThyLow) {
      problem = "Low Filament Voltage";
    } else if (volts > kOperatingHigh) {
      problem = "High Filament Voltage";
    }
  }
  // OK button with the information icon.
  if (problem != nullptr) state_->operatorMessage(problem, kStyleInfo, "Error!!", true);
}

}  // namespace morvand
