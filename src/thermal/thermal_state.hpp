#pragma once
#include <array>
#include <cstdint>

namespace morvand::detail {

/// Temperature smoothing.
struct ThermalState {
  std::array<float, 4> TempHistory{};  ///< raw readings in degC, newest first
  int32_t readings = 0;                ///< readings taken so far (the average fills from the first)
};

/// Thyratron warm-up and filament.
struct ThyratronState {
  float FilaVolt = 0.0f;  ///< V
  bool WarmupCancel = false;
  int16_t WarmupDone = 0;  ///< 0 none yet, 1 ended, -1 the 12 V supply was lost after it
};

}  // namespace morvand::detail
