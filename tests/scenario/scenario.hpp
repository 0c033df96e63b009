#pragma once
// Ground of the scenario tests: a controller on the simulated laser, through the public API
// only, in a temporary settings directory, on virtual time.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "morvand/backends.hpp"
#include "morvand/card_context.hpp"
#include "morvand/morvand.hpp"
#include "morvand/sim/backend.hpp"
#include "support/fixture.hpp"

namespace morvand::scenario {

class Scenario : public ::testing::Test {
 protected:
  ~Scenario() override {
    m.reset();
    CardContext::current().reset();
  }

  /// Builds the installation behind uri with laser model code and gas code installed and
  /// stored in the settings files, then creates the controller.
  Morvand& start(const std::string& uri, int16_t model = 5, int16_t gas = 3, uint64_t seed = 2026) {
    m.reset();  // a previous controller shuts down on its own installation
    dir.write(model, gas, 1000, 500, 25.0f);
    backend = openBackend(uri, BackendOptions{0.0, seed});
    sim = &dynamic_cast<sim::SimBackend&>(*backend).simulation();
    sim->plant->setLaser(model, gas);
    CardContext::current().reset();
    CardContext::current().setDriver(sim->card);
    m = std::make_unique<Morvand>(sim->host, &sim->host, &sim->timeBase());
    return *m;
  }
  /// Opens the card and ends a first warm-up at once, so later status polls do not start one.
  void openAndSkipWarmup() {
    ASSERT_TRUE(m->StandardCard());
    sim->host.onWarmingup = [](float, bool& cancel) { cancel = true; };
    m->MorvandStatus(false);
    sim->host.onWarmingup = nullptr;
    sim->host.clearRecords();
  }
  sim::LaserPlant& plant() { return *sim->plant; }
  sim::SimulatedCard& card() { return *sim->card; }
  sim::SimHost& host() { return sim->host; }
  double seconds() { return std::chrono::duration<double>(sim->clock.now()).count(); }
  /// The laser is safe: charger disabled and at 0 V, trigger generator stopped.
  void expectSafeState() {
    EXPECT_FALSE(plant().enableLine());
    EXPECT_EQ(card().analogOutput(0), 0.0f);
    EXPECT_EQ(card().generatorRate(), 0.0);
    EXPECT_LT(plant().chargingKv(), 1.0);
  }

  test::SettingsDir dir;
  std::unique_ptr<Backend> backend;
  sim::Simulation* sim = nullptr;
  std::unique_ptr<Morvand> m;
};

}  // namespace morvand::scenario
