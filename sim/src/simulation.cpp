#include "morvand/sim/simulation.hpp"

#include <stdexcept>
#include <string>

namespace morvand::sim {

Simulation::Simulation(Personality personality, uint64_t seed)
    : plant(std::make_shared<LaserPlant>(clock, seed)),
      card(std::make_shared<SimulatedCard>(personality, plant)),
      host(clock) {}

void Simulation::runLive(double factor) {
  paced = std::make_unique<PacedClock>(factor, clock.now());
  plant->setClock(*paced);
  host.setClock(*paced);
}

std::unique_ptr<Simulation> makeSimulation(std::string_view uri, uint64_t seed) {
  Personality p;
  if (uri == "sim:1710") {
    p = Personality::Pci1710;
  } else if (uri == "sim:1711") {
    p = Personality::Pci1711;
  } else if (uri == "sim:1712") {
    p = Personality::Pci1712;
  } else if (uri == "sim:demo") {
    p = Personality::Demo;
  } else {
    throw std::invalid_argument("unknown simulator address: " + std::string(uri));
  }
  return std::make_unique<Simulation>(p, seed);
}

}  // namespace morvand::sim
