#pragma once
// Card voltages for the laser's analog inputs, from the physical values a test wants the
// controller to read: gauge (channel 0), filament (3), temperature (4), 12 V supply (8).

#include <array>
#include <cmath>
#include <vector>

#include "support/scripted_card.hpp"

namespace morvand::test {

/// Gauge volts that the pressure reading turns into exactly torr (as a single) with a
/// gauge scale of scale Torr per volt above 0.1 V; false, with the nearest volts, when no
/// exact value exists.
inline bool exactGaugeVolts(float torr, int scale, float& volts) {
  const float guess = static_cast<float>(torr / static_cast<double>(scale) + 0.1);
  const auto reads = [&](float v) {
    return static_cast<float>((static_cast<double>(v) - 0.1) * scale);
  };
  float below = guess;
  float above = guess;
  for (int i = 0; i < 32; ++i) {
    if (reads(below) == torr) return volts = below, true;
    if (reads(above) == torr) return volts = above, true;
    below = std::nextafter(below, -10.0f);
    above = std::nextafter(above, 10.0f);
  }
  volts = guess;
  return false;
}

/// exactGaugeVolts, or the nearest volts when none is exact.
inline float gaugeVolts(float torr, int scale = 645) {
  float volts = 0.0f;
  exactGaugeVolts(torr, scale, volts);
  return volts;
}

/// True when some gauge voltage reads exactly torr.
inline bool reachable(float torr, int scale) {
  float volts = 0.0f;
  return exactGaugeVolts(torr, scale, volts);
}

/// Four gauge voltages whose readings average to exactly torr (as a single), for limits
/// that one reading cannot hit exactly. The first comes first; a fifth reading equal to it
/// keeps the average.
inline std::array<float, 4> gaugeVoltsAveraging(float torr, int scale = 645) {
  const auto reads = [&](float v) {
    return static_cast<float>((static_cast<double>(v) - 0.1) * scale);
  };
  std::vector<float> candidates;
  float v = std::nextafter(static_cast<float>(torr / static_cast<double>(scale) + 0.1), 0.0f);
  for (int i = 0; i < 4; ++i) v = std::nextafter(v, 0.0f);
  for (int i = 0; i < 9; ++i, v = std::nextafter(v, 10.0f)) candidates.push_back(v);
  const size_t n = candidates.size();
  for (size_t a = 0; a < n; ++a) {
    for (size_t b = a; b < n; ++b) {
      for (size_t c = b; c < n; ++c) {
        for (size_t d = c; d < n; ++d) {
          const std::array<float, 4> set = {candidates[a], candidates[b], candidates[c],
                                            candidates[d]};
          double sum = 0.0;
          for (float x : set) sum += reads(x);
          if (static_cast<float>(sum / 4.0) == torr) return set;
        }
      }
    }
  }
  const float g = gaugeVolts(torr, scale);
  return {g, g, g, g};
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
