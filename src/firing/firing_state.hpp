#pragma once
#include <cstdint>

namespace morvand::detail {

/// The run loop.
struct RunState {
  float VoltSetOld = 0.0f;  ///< kV, set-point last sent in constant-voltage operation
  int16_t flag2Old = 0;     ///< state the loop last acted on: 0 firing, 2 standby
  bool active = false;      ///< a LaserRun is in progress
  float t0 = 0.0f;          ///< myTimer s, start of the current stretch of steady firing
  float tNext = 0.0f;       ///< myTimer s, when the once-a-second measurements are next due
};

/// The pulse generator.
struct PulseState {};

/// External trigger measurements.
struct ExtTriggerState {
  double Count1StartTime = 0.0;  ///< s, 0: no measurement under way
  double Count1ReadTime = 0.0;   ///< s
};

}  // namespace morvand::detail
