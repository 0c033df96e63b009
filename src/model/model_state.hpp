#pragma once
#include <cstdint>

namespace morvand::detail {

/// Limits of the selected model, written only by LaserData.
struct ModelState {
  int32_t RepRateMax = 0;     ///< Hz
  int32_t RepRateMedium = 0;  ///< Hz, medium motor-speed threshold
  int32_t RepRateSlow = 0;    ///< Hz, slow motor-speed threshold
  float TempMax = 0.0f;       ///< degC
  float EnergyScale = 0.0f;   ///< energy units per monitor volt above 0.2 V
  float ThyWarmTime = 0.0f;   ///< s
  int32_t PressScale = 0;     ///< Torr per gauge volt above 0.1 V
  float PressMax = 0.0f;      ///< Torr
};

/// Gas-fill targets of the selected model and gas, written by SetFillPress; HighRepFill is set
/// by HighRepSetup and cleared by ReprateSet when a new rate entry starts.
struct FillState {
  float FillPressLow = 0.0f;        ///< Torr
  float FillPressHigh = 0.0f;       ///< Torr
  float PartialPumpoutTime = 0.0f;  ///< s
  float PumpoutTime = 0.0f;         ///< s
  int16_t HighRepFill = 0;
};

}  // namespace morvand::detail
