#pragma once
// Card voltages for the laser's analog inputs, from the physical values a test wants the
// controller to read: gauge (channel 0), filament (3), temperature (4), 12 V supply (8).

#include <cmath>

#include "support/scripted_card.hpp"

namespace morvand::test {

/// Gauge volts that the pressure reading turns into exactly torr (as a single) with a
/// gauge scale of scale Torr per volt above 0.1 V; the nearest volts when none is exact.
inline float gaugeVolts(float torr, int scale = 645) {
  const float guess = static_cast<float>(torr / static_cast<double>(scale) + 0.1);
  const auto reads = [&](float v) {
    return static_cast<float>((static_cast<double>(v) - 0.1) * scale);
  };
  float below = guess;
  float above = guess;
  for (int i = 0; i < 32; ++i) {
    if (reads(below) == torr) return below;
    if (reads(above) == torr) return above;
    below = std::nextafter(below, -10.0f);
    above = std::nextafter(above, 10.0f);
  }
  return guess;
}

/// Sensor volts for a gas temperature, degC (10 degC per volt).
inline float sensorVolts(float degC) { return degC / 10.0f; }

/// Monitor volts for a 12 V supply reading, V (one third).
inline float supplyVolts(float volts) { return volts / 3.0f; }

/// Input volts for a filament voltage, V (half).
inline float filamentVolts(float volts) { return volts / 2.0f; }

/// A healthy laser: 2000 Torr, 25 degC, 12 V supply, filament 6.4 V.
inline void healthyLaser(ScriptedCard& card) {
  card.setAnalog(0, gaugeVolts(2000.0f));
  card.setAnalog(3, filamentVolts(6.4f));
  card.setAnalog(4, sensorVolts(25.0f));
  card.setAnalog(8, supplyVolts(12.0f));
}

}  // namespace morvand::test
