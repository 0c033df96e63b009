#pragma once
// The back end over the stand-in driver library, for any test that wants a card reached
// through LoadLibrary and the driver's records (the scenario here, a driver contract suite).

#include <memory>
#include <string>

#include "morvand/backends.hpp"
#include "morvand/sim/simulation.hpp"

namespace morvand::driverlib::test {

/// Where the stand-in library lies: beside the test program, or (partial) the copy that
/// lacks DRV_CounterFreqStart, in the folder "partial" there.
std::string standInPath(bool partial = false);

/// True while a library named like the driver library is loaded in this process.
bool standInLoaded();

/// Opens "driver:" (the library's default name, found beside the test program) with a fresh
/// installation of card uri behind it.
std::unique_ptr<Backend> openStandInBackend(const std::string& uri = "sim:1712", uint64_t seed = 1);

/// The installation behind the loaded stand-in: its virtual clock, laser, card and host.
/// Only while a back end opened by openStandInBackend is alive.
sim::Simulation& standInSimulation();

}  // namespace morvand::driverlib::test
