// The charging-voltage window of the selected model and gas, and the starting set-point.

#include "model/model_rules.hpp"
#include "morvand/models.hpp"
#include "morvand/morvand.hpp"

namespace morvand {

namespace {

/// The XeCl window of every model without one of its own, kV.
constexpr VoltBounds kXeClWindow{.min = 9.0f, .max = 15.0f};

void applyBounds(const VoltBounds& bounds, float& min, float& max) {
  if (bounds.min) min = *bounds.min;
  if (bounds.max) max = *bounds.max;
}

}  // namespace

void Morvand::HiVoltSet() {
  const ModelRules& rules = modelRules(LaserTypeFlag);
  if (rules.hiVoltMaxFirst) HiVoltMax = *rules.hiVoltMaxFirst;

  if (GasFlag == kGasF2) {
    HiVoltMax = 16.5f;
    HiVoltMin = 12.5f;
  } else if (GasFlag == kGasXeCl) {
    applyBounds(rules.xeClWindow.value_or(kXeClWindow), HiVoltMin, HiVoltMax);
  }

  // Models whose window depends on the rate (Hz) or on their own supply.
  if (rules.rateWindow && GasFlag == rules.rateWindow->gas) {
    const RateWindow& window = *rules.rateWindow;
    applyBounds(RepRate >= window.fastFrom ? window.fast : window.slow, HiVoltMin, HiVoltMax);
  }
  applyBounds(rules.supplyWindow, HiVoltMin, HiVoltMax);
  if (GasFlag == kGasF2 && rules.supplyMinF2) HiVoltMin = *rules.supplyMinF2;

  // The run starts at 12 kV unless the window's floor is higher.
  VoltSet = HiVoltMin > 12.0f ? HiVoltMin : 12.0f;
}

}  // namespace morvand
