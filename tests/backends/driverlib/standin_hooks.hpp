#pragma once
// The stand-in driver library's extra exports, by which a test reaches the simulated
// installation behind it (its clock, laser, card and scripted host).

#include <cstdint>

namespace morvand::sim {
struct Simulation;
}

namespace morvand::driverlib {

/// The simulated card the stand-in starts with.
inline constexpr const char* kStandInDefaultCard = "sim:1712";

/// MorvandStandIn_Install(uri, seed): replaces the installation ("sim:1712") and returns it.
using StandInInstallFn = sim::Simulation* (*)(const char* uri, uint64_t seed);
/// MorvandStandIn_Simulation(): the current installation.
using StandInSimulationFn = sim::Simulation* (*)();

}  // namespace morvand::driverlib
