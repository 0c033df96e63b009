// Loading the selected model and gas: every limit and starting value that depends on them.

#include <string>

#include "controller/state.hpp"
#include "model/model_rules.hpp"
#include "morvand/models.hpp"
#include "morvand/morvand.hpp"
#include "util/numeric.hpp"

namespace morvand {

namespace {

// Gas temperature limit of every model, degC.
constexpr float kTempMax = 55.0f;
// Standby interval given to a controller that has none, s.
constexpr double kDefaultStandbyInterval = 600.0;
// Rate a run starts at when the card allows it and the model goes beyond it, Hz.
constexpr int32_t kStartRate = 20;

// Charging-voltage window before the model speaks, kV, by gas.
struct VoltWindow {
  float max;
  float min;
};
VoltWindow defaultWindow(int16_t gas) {
  if (gas == kGasF2) return {16.5f, 12.5f};
  if (gas == kGasXeCl) return {15.0f, 9.0f};
  return {16.0f, 10.0f};
}

}  // namespace

void Morvand::LaserData() {
  EoffSet = -0.2f;
  ThyLow = 6.0f;
  state_->model_.TempMax = kTempMax;
  if (StandbyInterval == 0.0) StandbyInterval = kDefaultStandbyInterval;
  VoltSet = 12.0f;
  const VoltWindow window = defaultWindow(GasFlag);
  HiVoltMax = window.max;
  HiVoltMin = window.min;

  const ModelRules& rules = modelRules(LaserTypeFlag);
  if (const ModelInfo* model = findModel(LaserTypeFlag)) {
    state_->model_.RepRateMax = model->RepRateMax;
    ThyLow = model->ThyLow;
    GasFlag = model->gasFor(GasFlag);
    const EnergyCell& cell = model->cellFor(GasFlag);
    MaxEnergyVal = cell.MaxEnergyVal;
    if (cell.EnergyScale) state_->model_.EnergyScale = *cell.EnergyScale;
    HiVoltMax = cell.HiVoltMax;
    HiVoltMin = cell.HiVoltMin;
    PanelText1 = model->shortTitle() + std::to_string(kControllerMajorVersion);
    PanelText2 = model->longTitle();
    if (rules.eoffSetKrF && GasFlag == kGasKrF) EoffSet = *rules.eoffSetKrF;
    if (rules.voltSetF2First && GasFlag == kGasF2) VoltSet = *rules.voltSetF2First;
    if (rules.voltSetFirst) VoltSet = *rules.voltSetFirst;
  }

  // Titles: the gas, then the edition. For codes without a model the old title stays and
  // gets both suffixes again.
  if (const GasInfo* gas = findGas(GasFlag)) PanelText2 += std::string(" ") + gas->name;
  PanelText2 += EH_sys ? " Enhanced" : " Standard";

  // Starting charging voltage, kV.
  if (GasFlag == kGasXeCl) VoltSet = 9.0f;
  if (GasFlag == kGasF2) VoltSet = rules.voltSetF2;
  if (rules.voltSet) VoltSet = *rules.voltSet;
  if (VoltSet < HiVoltMin) VoltSet = HiVoltMin;

  SetEnergy = MaxEnergyVal / 2.0f;
  EoffSet0 = EoffSet;
  Voffset = 0.1315f;
  Vfactor = 0.619f;
  VminMotor = 0.066f;

  // Motor-speed thresholds, Hz, rounded half to even (0.7 x 25 Hz gives 18 Hz).
  const double rateMax = state_->model_.RepRateMax;
  state_->model_.RepRateMedium = util::toInt32(rateMax * 0.7);
  state_->model_.RepRateSlow =
      util::toInt32(quarterSlowRate(LaserTypeFlag) ? rateMax * 0.25 : rateMax / 6);
  state_->model_.ThyWarmTime = thyWarmTimeFor(LaserTypeFlag);
  ThyTime = state_->model_.ThyWarmTime;
  state_->model_.PressScale = pressScaleFor(LaserTypeFlag);
  state_->model_.PressMax = pressMaxFor(LaserTypeFlag);

  const int32_t rateMin = state_->card_.RepRateMin;
  if (rateMin >= state_->model_.RepRateMax) {
    RepRate = 0;
  } else if (rateMin < kStartRate && state_->model_.RepRateMax > kStartRate) {
    RepRate = kStartRate;
  } else {
    RepRate = rateMin;
  }
  MotorCN = 1;
}

}  // namespace morvand
