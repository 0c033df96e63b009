#pragma once
/// The physical model of the laser the simulated card is wired to: gas chamber and valves,
/// charging supply, discharge and pulse energy, gas temperature and fan, thyratron filament,
/// motor and the status inputs. It evolves on the controller's clock and is integrated on
/// demand (analytically over each interval since the last access), so hours of laser time
/// cost only the card calls made meanwhile.

#include <array>
#include <cstdint>
#include <random>

#include "morvand/clock.hpp"
#include "morvand/sim/fault.hpp"

namespace morvand::sim {

/// What the plant needs to know about the installed laser head and its gas supply.
struct PlantParameters {
  int16_t model = 0;
  int16_t gas = 0;
  float gaugeTorrPerVolt = 645.0f;      ///< pressure gauge: Torr per volt above its 0.1 V offset
  float chargerKvPerVolt = 4.0f;        ///< charging supply: kV per programming volt on AO 0
  float halfEnergyKv = 12.8f;           ///< charging voltage at which fresh gas gives half energy
  float monitorFullScaleVolts = 5.0f;   ///< energy monitor volts above 0.2 V at full energy
  double premixRegulatorTorr = 5000.0;  ///< premix regulator outlet pressure
  double heliumRegulatorTorr = 760.0 + 4.0 * 51.715;  ///< helium regulator (4 psi gauge)
  double gasLifetimePulses = 2.0e7;                   ///< pulses that deplete the halogen to 1/e
};

/// The installed laser of a model code and gas code: charger gain, gauge scale, working
/// voltage and monitor calibration of that head (defaults for codes without a model).
PlantParameters plantParametersFor(int16_t model, int16_t gas);

class LaserPlant {
 public:
  /// A healthy laser at rest: chamber filled with fresh premix, 25 degC, filament warm.
  LaserPlant(Clock& clock, uint64_t seed);

  /// The clock the plant follows (the controller's clock).
  void setClock(Clock& clock);
  /// Installs the head of a model code and gas code.
  void setLaser(int16_t model, int16_t gas);
  void setParameters(const PlantParameters& params);
  const PlantParameters& parameters() const { return params_; }

  // ---- environment, faults and initial conditions ----
  void setFault(Fault fault, bool active);
  bool fault(Fault fault) const;
  /// Rate of the external trigger source, Hz (0 = none connected).
  void setExternalTriggerRate(double hz);
  double externalTriggerRate() const { return extRate_; }
  /// External start input (AI 9): 5 V when active, 0 V otherwise.
  void setExternalStart(bool active);
  void setAmbientTemperature(double celsius);
  /// Sets the chamber pressure and, with halogen, the freshness of its gas (1 = fresh).
  void setChamber(double torr, double halogen = 1.0);

  // ---- lines driven by the card ----
  /// Effective levels of the control lines (port 0) and valve lines (port 1).
  void setControlLines(uint8_t levels);
  void setValveLines(uint8_t levels);
  /// Analog output volts: channel 0 charging set-point, channel 1 motor drive.
  void setAnalogOutput(int channel, double volts);
  /// Rate of the counter-0 pulse train wired to the trigger input, Hz (0 = stopped).
  void setInternalTriggerRate(double hz);

  // ---- signals read by the card ----
  /// Volts at an analog input (noise included; the card clips and quantizes).
  double analogInput(int channel);
  bool powerOk();
  bool interlockClosed();
  bool tachometerHigh();
  /// Cumulative pulses at the trigger input (internal and external), since creation.
  double triggerPulses();
  /// Cumulative pulses of the external trigger source alone.
  double externalPulses();
  /// Cumulative tachometer pulses (one per revolution).
  double tachometerPulses();

  // ---- true physical state, for tests and the console ----
  double pressure();          ///< Torr
  double halogen();           ///< freshness of the gas, 1 = fresh premix
  double temperature();       ///< degC
  double chargingKv();        ///< kV on the storage capacitor
  double filamentVolts();     ///< V
  double motorRpm();          ///< rev/min
  double lastPulseEnergy();   ///< relative pulse energy of the last discharge, 1 = full
  int64_t dischargesFired();  ///< discharges since creation
  uint8_t controlLines() const { return control_; }
  uint8_t valveLines() const { return valves_; }
  bool fanRunning() const;
  bool enableLine() const { return (control_ & 0x80) != 0; }

  /// Integrates the plant up to the clock's present time.
  void sync();

 private:
  double nowSeconds();
  void advance(double dt);
  void advanceGas(double dt);
  double relativeEnergy() const;
  bool canFire() const;
  double gauss();  // deterministic standard normal draw
  /// exp(-x), remembered for the last argument: polling loops advance by equal steps.
  double decay(double x, double& lastX, double& lastValue);

  Clock* clock_;
  PlantParameters params_;
  std::mt19937_64 rng_;
  double t_ = 0.0;  // s, plant time already integrated
  std::array<bool, kFaultCount> faults_{};

  uint8_t control_ = 0;
  uint8_t valves_ = 0;
  std::array<double, 2> ao_{};
  double intRate_ = 0.0;
  double extRate_ = 0.0;
  bool extStart_ = false;
  double ambient_ = 25.0;

  double pressure_ = 2600.0;
  double halogen_ = 1.0;
  double temp_ = 25.0;
  double kv_ = 0.0;
  double filament_ = 6.3;
  double rpm_ = 0.0;
  double revolutions_ = 0.0;
  double intPulses_ = 0.0;
  double extPulses_ = 0.0;
  int64_t fired_ = 0;
  double lastEnergy_ = 0.0;
  double lastFireTime_ = -1e9;
  double firingRate_ = 0.0;
  double spareGauss_ = 0.0;
  bool hasSpare_ = false;
  struct Memo {
    double x = -1.0;
    double value = 0.0;
  };
  // One per exponential of advance(), in its order: gas, charge, bleed, heat, filament, motor.
  std::array<Memo, 6> memo_{};
};

}  // namespace morvand::sim
