// The motor drive: rate-to-voltage law, the motor-on line, the drive voltage on analog
// output 1 (0 to 5 V) with its monitor on analog input 6, and the voltage ramps.

#include "card/wiring.hpp"
#include "controller/state.hpp"
#include "model/model_rules.hpp"
#include "morvand/morvand.hpp"
#include "util/numeric.hpp"

namespace morvand {

namespace {
constexpr int16_t kDriveOutput = wiring::kMotorDriveOutput;      // analog output, V
constexpr int16_t kDriveMonitor = wiring::kMotorMonitorChannel;  // analog input, V
/// Monitor volts to the drive-supply scale reported with the speed.
constexpr double kMonitorFactor = 5.25;

/// A drive voltage held to the range 0 .. top of the output that drives the motor (a value
/// that is not a number counts as 0).
float onOutputRange(float volts, float top) {
  return volts > 0.0f ? (volts < top ? volts : top) : 0.0f;
}
}  // namespace

float Morvand::MotorR2V(int32_t ReprateSet) {
  if (EH_sys) {
    // Without a model there is no top rate to scale by: the motor stays off.
    if (ReprateSet == 0 || state_->model_.RepRateMax == 0) return 0.0f;
    const long double volts = static_cast<long double>(Vfactor) * ReprateSet /
                                  static_cast<long double>(state_->model_.RepRateMax) +
                              static_cast<long double>(Voffset);
    const float v = util::toSingle(static_cast<double>(volts));
    return v < VminMotor ? VminMotor : v;
  }
  // Standard scheme: a speed level.
  const MotorKind kind = modelRules(LaserTypeFlag).motorKind;
  if (ReprateSet > state_->model_.RepRateMedium || kind == MotorKind::kAlwaysFast) return 3.0f;
  if (ReprateSet > state_->model_.RepRateSlow && kind != MotorKind::kNoMiddleLevel) return 2.0f;
  if (ReprateSet < 1) return 0.0f;
  return 1.0f;
}

void Morvand::MotorVOn(int16_t MotorOnState) {
  if (!state_->cardSelected()) return;
  // Motor-on line: bit 2 of port 0, so odd states (1 and -1) switch it on.
  const int16_t value = util::checkedInt16(static_cast<int64_t>(MotorOnState) * 4);
  if (state_->writePort(wiring::kControlPort, wiring::kMotorLine, value,
                        State::Tags{"1-5975 Error!!", "1-5985 Error!!"})) {
    MotorEnabled = MotorOnState != 0;
  }
}

bool Morvand::MotorVSet(float& mVolt) {
  if (!state_->cardSelected()) return false;
  if (!state_->configureAnalogOut(kDriveOutput, "1-6246 Error!!")) return false;
  // The caller's variable takes the clamped value once the output is configured.
  mVolt = mVolt > 0.0f ? mVolt : 0.0f;
  if (!state_->writeAnalogOut(kDriveOutput, mVolt, "1-6228 Error!!")) return false;
  VoltMotorOld = mVolt;
  return true;
}

float Morvand::MotorVMes() {
  if (!state_->cardSelected()) return 0.0f;
  float volts = 0.0f;
  if (!state_->readAnalog(kDriveMonitor, volts, State::Tags{"1-7473 Error!!", "1-7484 Error!!"}))
    return 0.0f;
  VmesMotor = volts;
  return util::toSingle(static_cast<double>(volts) * kMonitorFactor);
}

void Morvand::MotorVStart(int32_t mReprate) { state_->motorRamp(mReprate, false); }

void Morvand::State::motorRamp(int32_t mReprate, bool stopInterrupts) {
  // A ramp of a run gives way to a stop before its next step, so the run ends within a pass
  // of the request; it is left where it got to and the stop sequence ramps down from there.
  const auto stopAsked = [&] { return stopInterrupts && m.flag2 == kRunStop; };
  float target = m.MotorR2V(mReprate);
  if (!m.EH_sys) {
    // Standard scheme: target is a speed level.
    if (target > 0.0f && m.mmode != 0) {
      if (target != static_cast<float>(m.mmode)) m.DCmotorOn(util::toInt16(target));
    } else if (target > 0.0f) {
      // From standstill the motor passes through each lower level.
      m.DCmotorOn(1);
      m.Waiting(3.0);
      if (stopAsked()) return;
      if (target == 3.0f) {
        m.DCmotorOn(2);
        m.Waiting(1.0);
        if (stopAsked()) return;
        m.DCmotorOn(3);
      } else if (target == 2.0f) {
        m.DCmotorOn(2);
      }
      m.Waiting(3.0);
    } else {
      m.DCmotorOn(0);
    }
    m.RepRateMV = mReprate;
    return;
  }
  // Enhanced scheme: target is a drive voltage. The ramp runs within the output's range
  // (0 to 5 V), whatever the host wrote into the law's constants or VoltMotorOld, so no
  // ramp is longer than a full-scale one.
  target = onOutputRange(target, kAnalogOutVolts);
  const float from = onOutputRange(m.VoltMotorOld, kAnalogOutVolts);
  // The step voltage x is a single; each step is added in double precision and stored back
  // as a single, so the steps land on the same values every time. A failed write does not
  // stop the ramp.
  const auto step = [](float x, double delta) { return util::toSingle(x + delta); };
  if (target != 0.0f && from != 0.0f) {
    if (target < from) {
      // Down: 0.1 V per 0.15 s.
      for (float x = step(from, -0.1); x > target; x = step(x, -0.1)) {
        if (stopAsked()) return;
        m.MotorVSet(x);
        m.Waiting(0.15);
        m.MotorVMes();
      }
    } else if (target > from) {
      // Up: 0.05 V per 0.15 s.
      for (float x = step(from, 0.05); x < target; x = step(x, 0.05)) {
        if (stopAsked()) return;
        m.MotorVSet(x);
        m.Waiting(0.15);
        m.MotorVMes();
      }
    }
    if (stopAsked()) return;
    m.MotorVSet(target);
  } else if (target != 0.0f) {
    // From standstill: motor line on, then 0.05 V per 0.3 s.
    m.MotorVOn(1);
    for (float x = 0.05f; x < target; x = step(x, 0.05)) {
      if (stopAsked()) return;
      m.MotorVSet(x);
      m.Waiting(0.2);
      m.MotorVMes();
      m.Waiting(0.1);
    }
    if (stopAsked()) return;
    m.MotorVSet(target);
  } else {
    // Stop: 0.1 V per 0.1 s down to zero, then the motor line off. It always completes: an
    // error from the host in one of its waits still leaves the motor stopped.
    const auto stopped = [this] {
      float zero = 0.0f;
      m.MotorVSet(zero);
      m.MotorVOn(0);
    };
    try {
      for (float x = step(from, -0.1); x > 0.0f; x = step(x, -0.1)) {
        m.MotorVSet(x);
        m.Waiting(0.1);
        m.MotorVMes();
      }
    } catch (...) {
      stopped();
      throw;
    }
    stopped();
  }
  m.RepRateMV = mReprate;
}

}  // namespace morvand
