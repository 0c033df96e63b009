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

int32_t Morvand::State::estimatedPulses(double now) const {
  // With internal triggering the generator ran at RepRateOld since t0; RepRate may already
  // hold a new request. An external trigger has no generator here (RepRateOld stays 0):
  // its rate is the one the host gives in RepRate.
  const int32_t rate = m.TrigMode == 0 ? m.RepRateOld : m.RepRate;
  // Only whole pulses: a pulse is counted once it has fired, never half a period early.
  return util::toInt32(std::floor((now - run_.t0) * rate) + m.CounterTotal);
}

bool Morvand::State::runPass() {
  if (m.PulseNum >= m.MaxNum) {
    if (m.flag2 == kRunStop) {
      events().LaserMessenger("Laser Operation Stopped");
    } else {
      m.flag2 = kRunStop;
      events().LaserMessenger("Operation Completed");
    }
    return false;
  }
  if (m.flag2 == kRunStop) {
    events().LaserMessenger("Laser Operation Stopped");
    return false;
  }
  // A failed supply reading (-1.0) counts as a lost supply too.
  if (m.VoltTest12() < kSupplyMinimum) {
    // The box waits for the operator: the laser is disabled before it opens.
    if (m.PopupMessage) m.Enable(false);
    operatorMessage("LASER POWER OFF", kStyleWarning, "POWER OFF");
    return false;
  }
  yieldToHost();

  if (m.flag2 == kRunStop) {
    events().LaserMessenger("Laser Operation Stopped");
  } else if (m.flag2 == kRunStandby) {
    run_.flag2Old = kRunStandby;
    events().LaserMessenger("Laser Standby");
  } else if (!runFiringStep()) {
    return false;
  }
  yieldToHost();

  const double now = m.myTimer();
  if (now > run_.tNext) {
    // One second per block: after a stall the block runs on consecutive passes.
    run_.tNext += 1.0;
    m.TempMes();
    if (m.temp > model_.TempMax) {
      m.Enable(false);
      // OK button with the critical icon.
      operatorMessage("LASER OPERATING TEMPERATURE EXCEEDED, OPERATION HALTED", kStyleStop,
                      "OVERTEMPERATURE");
      return false;
    }
    m.PressMes();
    m.VoltageMes();
    m.ThyratronMes();
    events().Measurements(m.temp, m.Pressure, m.HVoltage, thyratron_.FilaVolt, hv_.VoltTest);
    yieldToHost();
  }
  m.Waiting(0.01);
  events().ExtStartState(m.ExtStart());
  events().MotorSelect(m.mmode, kRunLoopId);
  return true;
}

bool Morvand::State::runFiringStep() {
  if (run_.flag2Old == kRunStandby) {
    // Resume: the pulses so far become the base of the new stretch.
    m.CounterTotal = m.PulseNum;
    run_.t0 = m.myTimer();
    // The first firing of a run started in standby clears the counting counter as a firing
    // start does: counts an earlier run or a rate measurement left there are not this run's.
    const bool firstFiring = std::exchange(run_.countFromFirstFiring, false) && !m.CountDisabled;
    if (firstFiring) m.CounterStop(card_.ExtTrigCounter);
    if (!runEnableFiring()) return false;
    if (firstFiring) runStartCounting();
    run_.flag2Old = kRunFire;
    events().LaserMessenger("Laser Running");
    m.Waiting(0.02);
  }
  if (m.ChMode != m.ChModeOld) m.Immediate(m.ChMode);
  m.EnergyMes();

  if (m.mode == 1) {
    // Constant energy: step the charging voltage towards SetEnergy, within the window. The
    // stepped value stays in VoltSet also when it crossed a limit.
    if (m.Energy < m.SetEnergy) {
      m.VoltSet = util::toSingle(static_cast<double>(m.VoltSet) + kEnergyStep);
      if (m.VoltSet > m.HiVoltMax) {
        m.Enable(false);
        operatorMessage("Maximum Voltage Reached", kStyleInfo, "MAX VOLTAGE");
        return false;
      }
      m.VoltageSet(m.VoltSet);
    } else if (m.Energy > m.SetEnergy) {
      m.VoltSet = util::toSingle(static_cast<double>(m.VoltSet) - kEnergyStep);
      if (m.VoltSet < m.HiVoltMin) {
        m.Enable(false);
        operatorMessage("Minimum Voltage Reached", kStyleInfo, "MIN VOLTAGE");
        return false;
      }
      m.VoltageSet(m.VoltSet);
    }
  } else if (run_.VoltSetOld != m.VoltSet) {
    if (m.VoltSet > m.HiVoltMax) {
      // Never sent to the charger: the run ends as at the constant-energy limit.
      m.Enable(false);
      operatorMessage("Maximum Voltage Reached", kStyleInfo, "MAX VOLTAGE");
      return false;
    }
    run_.VoltSetOld = m.VoltSet;
    m.VoltageSet(m.VoltSet);
  }

  const int16_t counter = card_.ExtTrigCounter;
  if (runEstimates()) {
    m.PulseNum = estimatedPulses(m.myTimer());
  } else {
    if (m.CounterRead(counter) && m.TrigMode == 1) {
      m.ExtRepRate = util::toSingle(counters_.CountFreq[static_cast<size_t>(counter)]);
      if (static_cast<double>(m.ExtRepRate) != m.ExtRepRate1) motorRamp(m.RepRate, true);
    }
    m.PulseNum = counters_.CountNow[static_cast<size_t>(counter)];
  }
  events().LaserRunning(m.PulseNum, m.Energy);

  if (m.TrigMode == 0 && m.RepRate != m.RepRateOld && m.RepRate > model_.RepRateMax) {
    // The generator would stop while the run goes on: the request is refused, and the rate
    // returns to the one the generator runs at (or, stopped, was last asked for).
    m.RepRate = m.RepRateOld != 0 ? m.RepRateOld : run_.firingRate;
    operatorMessage("REPETITION RATE IS OVERRANGE PLEASE RESET", kStyleWarning, "OVERRANGE ERROR");
  }
  if (m.TrigMode == 0 && m.RepRate != m.RepRateOld) {
    const bool slower = m.RepRate < m.RepRateOld;
    if (!slower) motorRamp(m.RepRate, true);
    if (runEstimates()) {
      // Fold the stretch fired at the old rate into the base before the rate changes.
      const double now = m.myTimer();
      m.PulseNum = estimatedPulses(now);
      m.CounterTotal = m.PulseNum;
      run_.t0 = now;
    }
    m.Pulse(m.RepRate);
    run_.firingRate = m.RepRate;
    if (slower) motorRamp(m.RepRate, true);
  }
  return true;
}

}  // namespace morvand
