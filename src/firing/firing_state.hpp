#pragma once
#include <cstdint>

#include "morvand/host.hpp"

namespace morvand::detail {

/// The run loop.
struct RunState {
  float VoltSetOld = 0.0f;  ///< kV, set-point last sent in constant-voltage operation
  int16_t flag2Old = kRunFire;  ///< the run request the loop last acted on (firing or standby)
  bool active = false;      ///< a LaserRun is in progress
  /// myTimer s, start of the current stretch of steady firing. Double precision: a single
  /// would round it by a quarter second after 24 days of uptime.
  double t0 = 0.0;
  double tNext = 0.0;  ///< myTimer s, when the once-a-second measurements are next due
  /// PulseNum belongs to this run (the start has zeroed it), so an error may account it.
  bool counting = false;
  /// The run started in standby: its first firing restarts the counting counter.
  bool countFromFirstFiring = false;
  /// The counting counter could not be started: the run estimates its pulses.
  bool estimating = false;
  int32_t firingRate = 0;  ///< Hz, rate the run last asked the generator for
};

/// The pulse generator.
struct PulseState {};

/// External trigger measurements.
struct ExtTriggerState {
  double Count1StartTime = 0.0;  ///< s, 0: no measurement under way
  double Count1ReadTime = 0.0;   ///< s
};

}  // namespace morvand::detail
