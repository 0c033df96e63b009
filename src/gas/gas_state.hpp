#pragma once
#include <array>
#include <cstdint>

namespace morvand::detail {

/// Pressure smoothing and the state of the gas procedures.
struct GasState {
  std::array<float, 4> PressHistory{};  ///< raw readings in Torr, newest first
  int32_t readings = 0;          ///< readings taken so far (the average fills from the first)
  float PressTorr = 0.0f;        ///< last smoothed pressure in Torr, whatever Punits says
  float FillTime = 0.0f;         ///< s, length of the current fill cycle
  bool procedureActive = false;  ///< an automatic or partial refill or optics service runs
};

}  // namespace morvand::detail
