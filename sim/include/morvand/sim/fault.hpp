#pragma once
/// Faults the simulated laser can be given, each switchable at any virtual time.

#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

namespace morvand::sim {

enum class Fault {
  HeadUnplugged,      ///< the 25-pin cable is off: every head signal floats negative
  PowerLost,          ///< the laser's 12 V supply is off: no power-OK, no charging, no firing
  InterlockOpen,      ///< the safety interlock is open: no interlock bit, the charger is cut
  GaugeFault,         ///< the pressure gauge output drops to 0 V (reads negative Torr)
  PumpFailure,        ///< the vacuum pump does not pump
  PremixEmpty,        ///< the premix cylinder is empty: no premix flow
  HeliumEmpty,        ///< the helium cylinder is empty: no helium flow
  ValveStuck,         ///< the main (laser-head) valve is stuck closed
  Overheating,        ///< the heat-exchanger fan is dead: firing heats the gas unchecked
  EnergyMonitorDead,  ///< the energy monitor output stays at 0 V
};

inline constexpr std::size_t kFaultCount = 10;

/// Short name used by tests and the console ("pump-failure").
std::string_view faultName(Fault fault);
/// The fault with that short name, if any.
std::optional<Fault> faultByName(std::string_view name);
/// Every fault, in declaration order.
std::vector<Fault> allFaults();

}  // namespace morvand::sim
