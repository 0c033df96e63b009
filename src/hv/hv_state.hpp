#pragma once
#include <array>
#include <cstdint>

namespace morvand::detail {

/// Charging-voltage read-back and the 12 V supply test.
struct HighVoltageState {
  float VoltTest = 0.0f;     ///< V, last 12 V supply reading
  float HVoltRaw = 0.0f;     ///< kV, last unaveraged read-back
  float HVoltRawOld = 0.0f;  ///< kV, the one before
  int32_t readings = 0;      ///< read-backs taken so far (the average fills from the first)
};

/// Pulse-energy statistics.
struct EnergyState {
  std::array<float, 10> EnergyHistory{};  ///< accepted samples, newest first
  float EnergyAvg = 0.0f;
  int32_t samples = 0;  ///< accepted samples so far (the statistics fill from the first)
};

}  // namespace morvand::detail
