#pragma once
// The simulated card's device: what the card and its driver do, without the recording and
// fault injection of the wrapper SimulatedCard puts around it.

#include <array>
#include <cstdint>
#include <map>
#include <memory>

#include "morvand/sim/simulated_card.hpp"

namespace morvand::sim {

class SimulatedDevice : public CardDriver {
 public:
  SimulatedDevice(Personality personality, std::shared_ptr<LaserPlant> plant);

  Personality personality() const { return personality_; }
  const DeviceFeatures& features() const { return features_; }
  LaserPlant& plant() { return *plant_; }

  // ---- what the card is doing, for tests and the console ----
  /// Latched value of an output port (all eight lines, driven or not).
  uint8_t outputLatch(int port) const { return latch_[port & 1]; }
  /// True when the port drives its lines (ports without direction control always do).
  bool drivesPort(int port) const { return output_[port & 1]; }
  float analogOutput(int channel) const { return ao_[channel & 1]; }
  /// Rate of the counter-0 pulse train, Hz (0 when not generating).
  double generatorRate() const;

  // ---- CardDriver ----
  MORVAND_DRIVER_OVERRIDES

 private:
  struct Gain {
    int16_t code;
    float low, high;  // V
  };
  enum class CounterMode { Idle, Counting, Generating, Measuring };
  struct Counter {
    CounterMode mode = CounterMode::Idle;
    double base = 0.0;    // source pulses when counting started
    double period = 0.0;  // s, when generating
  };

  bool validHandle(int32_t handle) const;
  const Gain* gain(int16_t code) const;
  int16_t analogInputs() const;
  bool validPort(int16_t port) const { return port == 0 || port == 1; }
  bool validCounter(int16_t counter) const {
    return counter >= 0 && counter < features_.numCounters;
  }
  double counterSource(int16_t counter);
  void drive(int port);
  uint8_t inputByte(int port);

  Personality personality_;
  std::shared_ptr<LaserPlant> plant_;
  DeviceFeatures features_{};
  std::array<Gain, 16> gains_{};
  size_t gainCount_ = 0;
  std::map<int32_t, bool> open_;  // handle -> open
  int32_t nextHandle_ = 0x1710;
  std::array<uint8_t, 2> latch_{};
  std::array<bool, 2> output_{};
  std::array<float, 2> ao_{};
  std::array<float, 2> aoHigh_{5.0f, 5.0f};
  std::array<Counter, 3> counters_{};
};

}  // namespace morvand::sim
