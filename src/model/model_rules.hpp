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

  bool operator==(const ModelRules&) const = default;
};

/// The rules of a model code: its row, or the common rules for a code without one.
const ModelRules& modelRules(int16_t code);
/// Every row, by model code.
std::span<const ModelRules> allModelRules();

}  // namespace morvand
