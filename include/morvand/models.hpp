#pragma once
/// The laser models and gases the controller knows, as data: one table that the controller's
/// model selection and the operator console both read.

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace morvand {

/// Major version number of the controller, shown at the end of PanelText1.
inline constexpr int kControllerMajorVersion = 4;

/// Laser gases by gas code (the values of GasFlag).
enum GasCode : int16_t {
  kGasF2 = 1,
  kGasArF = 2,
  kGasKrF = 3,
  kGasXeCl = 4,
  kGasXeF = 5,
  kGasCO2 = 6,
  kGasN2 = 7,
};

struct GasInfo {
  int16_t code;
  const char* name;      ///< short name, appended to PanelText2 after a blank ("F2")
  const char* listText;  ///< text of the host's gas list ("FLUORINE 157nm")
};

/// The seven gases in code order.
std::span<const GasInfo> gases();
/// The gas with this code; nullptr for a code outside 1..7.
const GasInfo* findGas(int16_t code);

/// The word of the long title.
enum class LaserKind : uint8_t { kExcimer, kFluorine, kNitrogen, kCO2 };
const char* kindWord(LaserKind kind);

/// Which gases a model may run on; single-gas models force their gas.
enum class GasOffer : uint8_t {
  kFiveGases,  ///< F2, ArF, KrF, XeCl, XeF
  kF2ArFKrF,
  kArFOnly,
  kCO2Only,
  kN2Only,
};

/// Energy range, energy-monitor scale and high-voltage window of a model on one gas.
struct EnergyCell {
  bool defined = false;
  float MaxEnergyVal = 0.0f;
  /// Energy units per monitor volt above 0.2 V; no value leaves the previous scale in place.
  std::optional<float> EnergyScale;
  float HiVoltMax = 0.0f;  ///< kV
  float HiVoltMin = 0.0f;  ///< kV
};

/// Index into ModelInfo::energy of the cell that applies to a gas code no rule names (and the
/// one cell of a single-gas model).
inline constexpr int kOtherGasCell = 5;

struct ModelInfo {
  int16_t code;             ///< model code, the value of LaserTypeFlag
  const char* designation;  ///< "LM-13"
  LaserKind kind;
  GasOffer offer;
  int32_t RepRateMax;  ///< Hz
  float ThyLow;        ///< V, lowest acceptable filament voltage in operation
  bool listed;         ///< offered in the host's model list
  /// F2, ArF, KrF, XeCl, XeF, then the cell for any other gas code.
  EnergyCell energy[6];

  /// "LM-13 KORVEN LASER "
  std::string shortTitle() const;
  /// "LM-13 FLUORINE LASER CONTROL SOFTWARE"
  std::string longTitle() const;
  /// The gas code this model runs on when the selection holds gas; single-gas models force
  /// theirs, the three-gas models pull a code outside 1..3 back to ArF (below) or KrF (above).
  int16_t gasFor(int16_t gas) const;
  /// The energy cell for a gas code as gasFor returns it.
  const EnergyCell& cellFor(int16_t gas) const;
};

/// Every model, in list order, the unlisted ones last.
std::span<const ModelInfo> allModels();
/// The models of the host's model list, in list order.
std::span<const ModelInfo> listedModels();
/// The model with this code; nullptr for codes without a model.
const ModelInfo* findModel(int16_t code);

/// Rules by model code that also hold for codes without a model.
/// Default thyratron warm-up time, s.
float thyWarmTimeFor(int16_t code);
/// True for the codes whose slow motor threshold is a quarter of RepRateMax (else a sixth).
bool quarterSlowRate(int16_t code);
/// Pressure-gauge scale, Torr per volt above 0.1 V.
int32_t pressScaleFor(int16_t code);
/// Maximum gas pressure, Torr.
float pressMaxFor(int16_t code);

/// Gas-fill targets of a model code and gas code. Missing values leave the previous
/// selection's in place.
struct FillTarget {
  std::optional<float> FillPressLow;   ///< Torr
  std::optional<float> FillPressHigh;  ///< Torr
  const char* GasText1 = nullptr;      ///< fill description, nullptr: unchanged
  const char* GasText2 = nullptr;      ///< operation title, nullptr: unchanged
  float PartialPumpoutTime = 0.0f;     ///< s
  float PumpoutTime = 0.0f;            ///< s
};
FillTarget fillTargetFor(int16_t code, int16_t gas);

/// The high-repetition-rate regime of a model code and gas; nullptr where none applies.
struct HighRepRule {
  int16_t code;
  int16_t gas;             ///< 0: any gas
  float HiVoltMax;         ///< kV, whatever the rate
  int32_t threshold;       ///< Hz; the regime applies above it
  float HiVoltMaxAbove;    ///< kV above the threshold
  float pressureLimit;     ///< Torr; above it the high-rep fill is required
  int32_t pulledBackRate;  ///< Hz
};
const HighRepRule* findHighRepRule(int16_t code, int16_t gas);

}  // namespace morvand
