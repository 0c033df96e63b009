#include "morvand/sim/laser_plant.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <numbers>

#include "morvand/models.hpp"

namespace morvand::sim {

namespace {

// ---- gas system ----
constexpr double kPumpBaseTorr = 2.0;  // ultimate pressure of the vacuum pump
constexpr double kPumpTauBoth = 20.0;  // s, chamber pump-down with pump and vacuum lines
constexpr double kPumpTauOne = 60.0;   // s, through only one of the two lines
constexpr double kPremixTau = 20.0;    // s, fill time constant through the premix line
constexpr double kHeliumTau = 10.0;    // s, fill time constant through the helium line
constexpr double kLeakTau = 2.0e5;     // s, chamber leak towards atmosphere
constexpr double kAtmosphereTorr = 760.0;
constexpr double kGasStep = 0.5;  // s, longest interval integrated in one piece

// ---- charging supply, discharge, thermal, thyratron, motor ----
constexpr double kChargeTau = 0.05;          // s, capacitor charging with the enable line on
constexpr double kBleedTau = 1.0;            // s, bleeder discharge with the charger off
constexpr double kMinFiringKv = 1.0;         // kV below which the switch does not fire
constexpr double kMinFiringTorr = 200.0;     // Torr below which the gas does not break down
constexpr double kFullPressureTorr = 600.0;  // Torr from which the pressure no longer limits
constexpr double kHeatPerPulse = 0.01;       // degC/s per Hz of full-energy firing
constexpr double kFanTau = 10.0;             // s, gas cooling with the fan running
constexpr double kStillTau = 1500.0;         // s, gas cooling with the fan stopped
constexpr double kFilamentOn = 6.3;          // V, filament in operation
constexpr double kFilamentStandby = 4.9;     // V, filament with the standby line set
constexpr double kFilamentTau = 3.0;         // s
constexpr double kRpmPerDriveVolt = 4000.0;  // rev/min per volt on the motor drive input
constexpr double kRpmPerLevel = 1000.0;      // rev/min per digital speed level
constexpr double kMotorTau = 1.0;            // s
constexpr double kMotorAmpGain = 32.0;       // motor amplifier: output volts per drive volt
constexpr double kMotorSupply = 24.0;        // V, motor amplifier supply
constexpr double kMonitorDivider = 5.25;     // motor monitor divider
constexpr double kUnpluggedVolts = -1.0;     // open inputs of the card float negative

// Lines of port 0 (control) and port 1 (valves).
constexpr uint8_t kStandbyLine = 0x01;
constexpr uint8_t kMotorLine = 0x04;
constexpr uint8_t kMotorLevel2 = 0x08;
constexpr uint8_t kFanLine = 0x10;  // active low
constexpr uint8_t kEnableLine = 0x80;
constexpr uint8_t kPump = 0x01, kPremix = 0x02, kHelium = 0x04, kMain = 0x08, kVacuum = 0x10;

bool contains(std::initializer_list<int> codes, int code) {
  return std::find(codes.begin(), codes.end(), code) != codes.end();
}

}  // namespace

PlantParameters plantParametersFor(int16_t model, int16_t gas) {
  PlantParameters s;
  s.model = model;
  s.gas = gas;
  s.gaugeTorrPerVolt = static_cast<float>(pressScaleFor(model));
  // Charging supplies: the 15 kV class heads are programmed at 3 kV/V, the 25 kV class at
  // 6 kV/V, every other head at 4 kV/V.
  if (contains({31, 32, 33, 42, 50, 58}, model)) {
    s.chargerKvPerVolt = 3.0f;
  } else if (contains({44, 45, 55}, model)) {
    s.chargerKvPerVolt = 6.0f;
  }
  if (const ModelInfo* info = findModel(model)) {
    const EnergyCell& cell = info->cellFor(info->gasFor(gas));
    // The discharge reaches half its full energy a little above the low end of the head's
    // voltage window (never below 12.3 kV), and the monitor is calibrated so that full
    // energy reads the model's top of scale.
    s.halfEnergyKv = std::max(12.3f, cell.HiVoltMin + 0.3f);
    if (cell.EnergyScale && *cell.EnergyScale > 0.0f) {
      s.monitorFullScaleVolts = std::clamp(cell.MaxEnergyVal / *cell.EnergyScale, 0.5f, 9.5f);
    }
  }
  return s;
}

LaserPlant::LaserPlant(Clock& clock, uint64_t seed) : clock_(&clock), rng_(seed) {
  t_ = nowSeconds();
}

void LaserPlant::setClock(Clock& clock) {
  sync();
  clock_ = &clock;
  t_ = std::max(t_, nowSeconds());
}

void LaserPlant::setLaser(int16_t model, int16_t gas) {
  setParameters(plantParametersFor(model, gas));
}

void LaserPlant::setParameters(const PlantParameters& params) {
  sync();
  params_ = params;
}

void LaserPlant::setFault(Fault fault, bool active) {
  sync();
  faults_[static_cast<size_t>(fault)] = active;
}

bool LaserPlant::fault(Fault fault) const { return faults_[static_cast<size_t>(fault)]; }

void LaserPlant::setExternalTriggerRate(double hz) {
  sync();
  extRate_ = std::max(0.0, hz);
}

void LaserPlant::setExternalStart(bool active) {
  sync();
  extStart_ = active;
}

void LaserPlant::setAmbientTemperature(double celsius) {
  sync();
  ambient_ = celsius;
}

void LaserPlant::setChamber(double torr, double halogen) {
  sync();
  pressure_ = std::max(0.0, torr);
  halogen_ = std::clamp(halogen, 0.0, 1.0);
}

void LaserPlant::setControlLines(uint8_t levels) {
  sync();
  control_ = levels;
}

void LaserPlant::setValveLines(uint8_t levels) {
  sync();
  valves_ = levels;
}

void LaserPlant::setAnalogOutput(int channel, double volts) {
  sync();
  if (channel >= 0 && channel < static_cast<int>(ao_.size())) ao_[channel] = volts;
}

void LaserPlant::setInternalTriggerRate(double hz) {
  sync();
  intRate_ = std::max(0.0, hz);
}

double LaserPlant::nowSeconds() { return std::chrono::duration<double>(clock_->now()).count(); }

void LaserPlant::sync() {
  const double now = nowSeconds();
  if (now > t_) {
    advance(now - t_);
    t_ = now;
  }
}

bool LaserPlant::powerOk() {
  sync();
  return !fault(Fault::HeadUnplugged) && !fault(Fault::PowerLost);
}

bool LaserPlant::interlockClosed() {
  sync();
  return !fault(Fault::HeadUnplugged) && !fault(Fault::InterlockOpen);
}

bool LaserPlant::fanRunning() const {
  const bool powered = !fault(Fault::HeadUnplugged) && !fault(Fault::PowerLost);
  return powered && (control_ & kFanLine) == 0 && !fault(Fault::Overheating);
}

bool LaserPlant::canFire() const {
  return !fault(Fault::HeadUnplugged) && !fault(Fault::PowerLost) && kv_ > kMinFiringKv &&
         pressure_ > kMinFiringTorr;
}

double LaserPlant::relativeEnergy() const {
  const double rate = intRate_ + extRate_;
  const double v = kv_ / params_.halfEnergyKv;
  const double pressure =
      std::clamp((pressure_ - kMinFiringTorr) / (kFullPressureTorr - kMinFiringTorr), 0.0, 1.0);
  const double rateLoss = 1.0 / (1.0 + (rate / 2000.0) * (rate / 2000.0));
  return std::min(1.2, 0.5 * v * v * halogen_ * pressure * rateLoss);
}

void LaserPlant::advanceGas(double dt) {
  const bool mainOpen = (valves_ & kMain) != 0 && !fault(Fault::ValveStuck);
  const bool pumpLine = (valves_ & kPump) != 0;
  const bool vacuumLine = (valves_ & kVacuum) != 0;
  const double premixSource = fault(Fault::PremixEmpty) ? 0.0 : params_.premixRegulatorTorr;
  const double heliumSource = fault(Fault::HeliumEmpty) ? 0.0 : params_.heliumRegulatorTorr;
  while (dt > 0.0) {
    const double h = std::min(dt, kGasStep);
    dt -= h;
    // dP/dt = a - b P over the piece: inlets flow towards their regulator pressure (never
    // backwards), the pump towards its base pressure, the leak towards atmosphere.
    double a = kAtmosphereTorr / kLeakTau;
    double b = 1.0 / kLeakTau;
    double premixIn = 0.0, heliumIn = 0.0;
    if (mainOpen) {
      if ((valves_ & kPremix) != 0 && pressure_ < premixSource) {
        a += premixSource / kPremixTau;
        b += 1.0 / kPremixTau;
        premixIn = (premixSource - pressure_) / kPremixTau;
      }
      if ((valves_ & kHelium) != 0 && pressure_ < heliumSource) {
        a += heliumSource / kHeliumTau;
        b += 1.0 / kHeliumTau;
        heliumIn = (heliumSource - pressure_) / kHeliumTau;
      }
      if ((pumpLine || vacuumLine) && !fault(Fault::PumpFailure)) {
        const double tau = (pumpLine && vacuumLine) ? kPumpTauBoth : kPumpTauOne;
        a += kPumpBaseTorr / tau;
        b += 1.0 / tau;
      }
    }
    const double before = pressure_;
    const double settled = a / b;
    pressure_ = settled + (before - settled) * decay(b * h, memo_[0].x, memo_[0].value);
    // Fresh premix raises the halogen content, helium dilutes it; pumping keeps the mix.
    const double added = pressure_ - before;
    if (added > 0.0 && premixIn + heliumIn > 0.0 && pressure_ > 0.0) {
      const double incoming = premixIn / (premixIn + heliumIn);
      halogen_ = (halogen_ * before + incoming * added) / pressure_;
    }
  }
}

void LaserPlant::advance(double dt) {
  advanceGas(dt);

  const bool connected = !fault(Fault::HeadUnplugged);
  const bool powered = connected && !fault(Fault::PowerLost);

  // Charging supply: follows the programming voltage while enabled and permitted.
  const bool charging = powered && !fault(Fault::InterlockOpen) && (control_ & kEnableLine) != 0;
  if (charging) {
    const double target = std::max(0.0, ao_[0]) * params_.chargerKvPerVolt;
    kv_ = target + (kv_ - target) * decay(dt / kChargeTau, memo_[1].x, memo_[1].value);
  } else {
    kv_ *= decay(dt / kBleedTau, memo_[2].x, memo_[2].value);
  }

  // Discharges: every trigger pulse fires while the capacitor is charged and the gas holds.
  const double rate = intRate_ + extRate_;
  const double before = std::floor(intPulses_ + extPulses_);
  intPulses_ += intRate_ * dt;
  extPulses_ += extRate_ * dt;
  const auto triggers = static_cast<int64_t>(std::floor(intPulses_ + extPulses_) - before);
  double heat = 0.0;
  if (triggers > 0 && canFire()) {
    const double first = relativeEnergy();
    fired_ += triggers;
    halogen_ *= std::exp(-static_cast<double>(triggers) / params_.gasLifetimePulses);
    // The monitor holds the last pulse of the interval; the gas is heated by all of them.
    lastEnergy_ = relativeEnergy();
    lastFireTime_ = t_ + dt;
    firingRate_ = rate;
    heat = kHeatPerPulse * 0.5 * (first + lastEnergy_) * rate / (1.0 + rate / 500.0);
  }

  // Gas temperature: heated by the discharge, cooled through the heat exchanger.
  const double tau = fanRunning() ? kFanTau : kStillTau;
  const double settledTemp = ambient_ + heat * tau;
  temp_ = settledTemp + (temp_ - settledTemp) * decay(dt / tau, memo_[3].x, memo_[3].value);

  // Thyratron filament: the standby line lowers it to the sleep voltage.
  const double filamentTarget =
      powered ? ((control_ & kStandbyLine) != 0 ? kFilamentStandby : kFilamentOn) : 0.0;
  filament_ = filamentTarget +
              (filament_ - filamentTarget) * decay(dt / kFilamentTau, memo_[4].x, memo_[4].value);

  // Motor: analog drive while the motor line is on, else the digital speed levels.
  double rpmTarget = 0.0;
  if (powered) {
    const double drive = std::max(0.0, ao_[1]);
    if ((control_ & kMotorLine) != 0 && drive > 0.02) {
      rpmTarget = kRpmPerDriveVolt * std::min(drive, kMotorSupply / kMotorAmpGain);
    } else {
      const int level =
          ((control_ & kMotorLine) != 0 ? 1 : 0) + ((control_ & kMotorLevel2) != 0 ? 2 : 0);
      rpmTarget = kRpmPerLevel * level;
    }
  }
  const double motorDecay = decay(dt / kMotorTau, memo_[5].x, memo_[5].value);
  revolutions_ += (rpmTarget * dt + (rpm_ - rpmTarget) * kMotorTau * (1.0 - motorDecay)) / 60.0;
  rpm_ = rpmTarget + (rpm_ - rpmTarget) * motorDecay;
}

double LaserPlant::decay(double x, double& lastX, double& lastValue) {
  if (x != lastX) {
    lastX = x;
    lastValue = std::exp(-x);
  }
  return lastValue;
}

double LaserPlant::gauss() {
  // Box-Muller on the raw engine output, so the noise is the same with every library; each
  // pair of uniforms gives two draws.
  if (hasSpare_) {
    hasSpare_ = false;
    return spareGauss_;
  }
  constexpr double kScale = 1.0 / 18446744073709551616.0;  // 2^-64
  const double u1 = (static_cast<double>(rng_()) + 1.0) * kScale;
  const double u2 = static_cast<double>(rng_()) * kScale;
  const double r = std::sqrt(-2.0 * std::log(u1));
  const double angle = 2.0 * std::numbers::pi * u2;
  spareGauss_ = r * std::sin(angle);
  hasSpare_ = true;
  return r * std::cos(angle);
}

double LaserPlant::analogInput(int channel) {
  sync();
  const bool connected = !fault(Fault::HeadUnplugged);
  const bool powered = connected && !fault(Fault::PowerLost);
  if (!connected && channel >= 0 && channel <= 9 && channel != 5) {
    return kUnpluggedVolts + 0.001 * gauss();
  }
  switch (channel) {
    case 0:  // pressure gauge
      if (fault(Fault::GaugeFault)) return 0.001 * gauss();
      return (pressure_ + 0.3 * gauss()) / params_.gaugeTorrPerVolt + 0.1;
    case 1: {  // energy monitor: holds the last pulse for two periods (at least 50 ms)
      if (fault(Fault::EnergyMonitorDead)) return 0.0;
      const double hold = firingRate_ > 0.0 ? std::max(0.05, 2.0 / firingRate_) : 0.05;
      if (nowSeconds() - lastFireTime_ <= hold) {
        return 0.2 + params_.monitorFullScaleVolts * lastEnergy_ * (1.0 + 0.02 * gauss());
      }
      return 0.2 + 0.001 * gauss();
    }
    case 2:  // charging voltage monitor, 20 kV per volt
      return (kv_ + 0.01 * gauss()) / 20.0;
    case 3:  // filament monitor, 2 V per volt
      return (filament_ + 0.01 * gauss()) / 2.0;
    case 4:  // gas temperature, 10 degC per volt
      return (temp_ + 0.03 * gauss()) / 10.0;
    case 6: {  // motor amplifier output through its divider
      const double out = powered && (control_ & kMotorLine) != 0
                             ? std::min(kMotorSupply, kMotorAmpGain * std::max(0.0, ao_[1]))
                             : 0.0;
      return out / kMonitorDivider;
    }
    case 7:  // programming voltage as the charger sees it
      return powered ? ao_[0] : 0.0;
    case 8:  // 12 V supply through a 1:3 divider
      return powered ? (12.0 + 0.02 * gauss()) / 3.0 : 0.002 * gauss();
    case 9:  // external start input
      return extStart_ ? 5.0 : 0.0;
    default:
      return 0.0;
  }
}

bool LaserPlant::tachometerHigh() {
  sync();
  return revolutions_ - std::floor(revolutions_) < 0.5;
}

double LaserPlant::triggerPulses() {
  sync();
  return intPulses_ + extPulses_;
}

double LaserPlant::externalPulses() {
  sync();
  return extPulses_;
}

double LaserPlant::tachometerPulses() {
  sync();
  return revolutions_;
}

double LaserPlant::pressure() {
  sync();
  return pressure_;
}
double LaserPlant::halogen() {
  sync();
  return halogen_;
}
double LaserPlant::temperature() {
  sync();
  return temp_;
}
double LaserPlant::chargingKv() {
  sync();
  return kv_;
}
double LaserPlant::filamentVolts() {
  sync();
  return filament_;
}
double LaserPlant::motorRpm() {
  sync();
  return rpm_;
}
double LaserPlant::lastPulseEnergy() {
  sync();
  return lastEnergy_;
}
int64_t LaserPlant::dischargesFired() {
  sync();
  return fired_;
}

}  // namespace morvand::sim
