// The simulated laser as the console's back end ("sim:1711", "sim:1710", "sim:1712",
// "sim:demo").

#include <chrono>
#include <stdexcept>

#include "morvand/sim/simulation.hpp"
#include "session.hpp"

namespace morvand::cli {
namespace {

class SimBackend final : public Backend {
 public:
  SimBackend(std::unique_ptr<sim::Simulation> simulation, Speed speed)
      : sim_(std::move(simulation)) {
    // At full speed the virtual clock moves only when the controller waits or the console
    // yields; otherwise simulated time follows the wall clock times the factor.
    if (!speed.max) sim_->runLive(speed.factor);
  }
  std::shared_ptr<CardDriver> driver() override { return sim_->card; }
  Clock& clock() override { return sim_->timeBase(); }
  void installLaser(int16_t model, int16_t gas) override { sim_->plant->setLaser(model, gas); }
  // One turn of the host's message loop takes 2 ms of laser time; on a paced clock that is
  // also a short real pause, so polling loops do not spin the processor.
  void step() override { sim_->timeBase().sleepFor(std::chrono::milliseconds(2)); }
  void setExternalTrigger(double hz) override { sim_->plant->setExternalTriggerRate(hz); }
  void setFault(sim::Fault fault) { sim_->plant->setFault(fault, true); }

 private:
  std::unique_ptr<sim::Simulation> sim_;
};

}  // namespace

std::vector<std::string> faultNames() {
  std::vector<std::string> names;
  for (sim::Fault f : sim::allFaults()) names.emplace_back(sim::faultName(f));
  return names;
}

std::unique_ptr<Backend> openBackend(const std::string& uri, Speed speed, uint64_t seed,
                                     const std::vector<std::string>& faults) {
  std::unique_ptr<sim::Simulation> simulation;
  try {
    simulation = sim::makeSimulation(uri, seed);
  } catch (const std::invalid_argument&) {
    throw UsageError("unknown card \"" + uri + "\" (sim:1711, sim:1710, sim:1712 or sim:demo)");
  }
  auto backend = std::make_unique<SimBackend>(std::move(simulation), speed);
  for (const std::string& name : faults) {
    const auto fault = sim::faultByName(name);
    if (!fault) {
      std::string known;
      for (const std::string& n : faultNames()) known += (known.empty() ? "" : ", ") + n;
      throw UsageError("unknown fault \"" + name + "\" (known: " + known + ")");
    }
    backend->setFault(*fault);
  }
  return backend;
}

}  // namespace morvand::cli
