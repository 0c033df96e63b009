#pragma once
/// The simulated laser as a card back end ("sim:1711", "sim:1710", "sim:1712", "sim:demo").

#include <memory>
#include <string>
#include <vector>

#include "morvand/backends.hpp"
#include "morvand/sim/simulation.hpp"

namespace morvand::sim {

class SimBackend final : public Backend {
 public:
  /// With options.speed above 0 simulated time follows the wall clock times that factor;
  /// with 0 it moves only when the controller waits or the host yields.
  SimBackend(std::unique_ptr<Simulation> simulation, const BackendOptions& options);

  std::shared_ptr<CardDriver> driver() override { return sim_->card; }
  Clock& clock() override { return sim_->timeBase(); }
  /// One turn of the host's message loop takes 2 ms of laser time; on a paced clock that is
  /// also a short real pause, so polling loops do not spin the processor.
  void step() override;
  bool simulated() const override { return true; }
  void installLaser(int16_t model, int16_t gas) override { sim_->plant->setLaser(model, gas); }
  void setExternalTrigger(double hz) override { sim_->plant->setExternalTriggerRate(hz); }
  std::vector<std::string> faultNames() const override;
  bool setFault(const std::string& name, bool on) override;

  /// The installation behind the back end: clock, plant, card and a scripted host.
  Simulation& simulation() { return *sim_; }

 private:
  std::unique_ptr<Simulation> sim_;
};

/// Factory of the "sim:" table entry; rest is "1710", "1711", "1712" or "demo".
std::unique_ptr<Backend> openBackend(const std::string& rest, const BackendOptions& options);

}  // namespace morvand::sim
