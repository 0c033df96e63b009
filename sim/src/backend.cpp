#include "morvand/sim/backend.hpp"

#include <chrono>
#include <stdexcept>

#include "morvand/errors.hpp"

namespace morvand::sim {

SimBackend::SimBackend(std::unique_ptr<Simulation> simulation, const BackendOptions& options)
    : sim_(std::move(simulation)) {
  if (options.speed > 0.0) sim_->runLive(options.speed);
}

void SimBackend::step() { sim_->timeBase().sleepFor(std::chrono::milliseconds(2)); }

std::vector<std::string> SimBackend::faultNames() const {
  std::vector<std::string> names;
  for (Fault f : allFaults()) names.emplace_back(faultName(f));
  return names;
}

bool SimBackend::setFault(const std::string& name, bool on) {
  const auto fault = faultByName(name);
  if (!fault) return false;
  sim_->plant->setFault(*fault, on);
  return true;
}

std::unique_ptr<Backend> openBackend(const std::string& rest, const BackendOptions& options) {
  std::unique_ptr<Simulation> simulation;
  try {
    simulation = makeSimulation("sim:" + rest, options.seed);
  } catch (const std::invalid_argument&) {
    throw BackendError("unknown card \"sim:" + rest +
                       "\" (sim:1711, sim:1710, sim:1712 or sim:demo)");
  }
  return std::make_unique<SimBackend>(std::move(simulation), options);
}

}  // namespace morvand::sim
