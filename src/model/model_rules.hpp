#pragma once
// The rules of single models, keyed on the model code: each value that differs from the
// common rule is a column here, one row per model that has one. A code without a row (and
// a code without a model) follows the common rules, the column defaults.

#include <cstdint>
#include <optional>
#include <span>

namespace morvand {

/// How the speed-level motor scheme treats a model.
enum class MotorKind : uint8_t {
  kByRate,        ///< the level follows the rate
  kAlwaysFast,    ///< level 3 whatever the rate; started by MotorOn, raised straight to level 3
  kNoMiddleLevel  ///< level 1 or 3, never 2; raised from standstill to level 1 only (3 s wait)
};

/// Part of a charging-voltage window, kV: a bound without a value keeps the one before.
struct VoltBounds {
  std::optional<float> min = std::nullopt;
  std::optional<float> max = std::nullopt;

  bool operator==(const VoltBounds&) const = default;
};

/// A charging-voltage window that depends on the rate, on one gas.
struct RateWindow {
  int16_t gas = -1;      ///< GasFlag it applies to
  int32_t fastFrom = 0;  ///< Hz: from this rate up the fast bounds apply, below it the slow
  VoltBounds slow = {};
  VoltBounds fast = {};

  bool operator==(const RateWindow&) const = default;
};

struct ModelRules {
  int16_t code = 0;  ///< model code, the value of LaserTypeFlag
  /// While the model's energy cell loads: energy offset on KrF, charging voltage (kV) on F2
  /// and on any gas, in that order. The starting voltages below come after them.
  std::optional<float> eoffSetKrF = std::nullopt;
  std::optional<float> voltSetF2First = std::nullopt;
  std::optional<float> voltSetFirst = std::nullopt;
  /// Starting charging voltage on F2, kV.
  float voltSetF2 = 12.5f;
  /// Starting charging voltage whatever the gas, kV; it replaces the gas's.
  std::optional<float> voltSet = std::nullopt;
  /// Highest plausible energy sample once the filter applies.
  float energyCeiling = 250.0f;
  MotorKind motorKind = MotorKind::kByRate;
  /// The run starts below 500 Torr, with a warning instead of a refusal.
  bool lowPressureStart = false;
  /// Highest pressure a fill may reach, Torr.
  float fillCap = 3100.0f;
  /// When the pump-out drop is first checked, s.
  float pumpCheckTime = 15.0f;
  /// The partial refill ends with the gas filter step.
  bool filterAfterPartialRefill = false;
  /// Charging-voltage window (HiVoltSet), in its order: the top before the gas's window, the
  /// XeCl window in place of the common one, then a window on the rate and a window of the
  /// model's own supply (its floor on F2 apart).
  std::optional<float> hiVoltMaxFirst = std::nullopt;
  std::optional<VoltBounds> xeClWindow = std::nullopt;
  std::optional<RateWindow> rateWindow = std::nullopt;
  VoltBounds supplyWindow = {};
  std::optional<float> supplyMinF2 = std::nullopt;

  bool operator==(const ModelRules&) const = default;
};

/// The rules of a model code: its row, or the common rules for a code without one.
const ModelRules& modelRules(int16_t code);
/// Every row, by model code.
std::span<const ModelRules> allModelRules();

}  // namespace morvand
