#pragma once
/// A complete simulated installation: the clock, the laser, the card wired to it and a
/// scripted host, chosen by a back-end address ("sim:1711").

#include <cstdint>
#include <memory>
#include <string_view>

#include "morvand/clock.hpp"
#include "morvand/sim/fault.hpp"
#include "morvand/sim/laser_plant.hpp"
#include "morvand/sim/paced_clock.hpp"
#include "morvand/sim/sim_host.hpp"
#include "morvand/sim/simulated_card.hpp"

namespace morvand::sim {

struct Simulation {
  explicit Simulation(Personality personality, uint64_t seed);

  VirtualClock clock;
  std::shared_ptr<LaserPlant> plant;
  std::shared_ptr<SimulatedCard> card;
  SimHost host;
  /// Set by runLive; then the plant and the host follow it instead of the virtual clock.
  std::unique_ptr<PacedClock> paced;

  /// The clock to give the controller.
  Clock& timeBase() { return paced ? static_cast<Clock&>(*paced) : clock; }
  /// Switches to live time: factor simulated seconds per wall second (0 = as fast as
  /// possible). Call before the controller is created, and give it timeBase().
  void runLive(double factor);
};

/// "sim:1710", "sim:1711", "sim:1712" or "sim:demo"; std::invalid_argument otherwise.
std::unique_ptr<Simulation> makeSimulation(std::string_view uri, uint64_t seed);

}  // namespace morvand::sim
